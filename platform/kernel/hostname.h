// Host file names as device names and back. Every host name has a device
// name that maps back to it byte for byte, so a file that a search lists is
// the file that CreateFileW or DeleteFileW then acts on:
//   - a UTF-8 character stands for itself, except that "\" ":" "*" "?" "\""
//     "<" ">" "|" and the controls 1 to 31, which a device name cannot hold,
//     become U+F000 plus the character (as other Windows layers on Unix do);
//   - every other byte (one that is not part of valid UTF-8, or a byte of a
//     character that the line above uses for its own) becomes the lone
//     surrogate U+DC00 plus the byte.
#pragma once

#include <windef.h>

#include <string>

std::u16string DeviceNameOf(const char* hostName, size_t length);
// False (ERROR_INVALID_NAME) for a unit that stands for no host byte: a lone
// surrogate other than U+DC80 to U+DCFF.
bool HostNameOf(const WCHAR* deviceName, size_t length, std::string* hostName);
