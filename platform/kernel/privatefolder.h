// Folders of the user's own that the platform keeps its state in.
#pragma once

#include <string>

// $<setting> when set, else $XDG_RUNTIME_DIR/<name>, else /tmp/<name>-<uid>.
std::string PrivateFolderPath(const char* setting, const char* name);

// Creates the folder (mode 0700) when missing. False (last error set) when it
// cannot be made, is a link or not a folder, or belongs to someone else: a
// folder another user made in /tmp could be read or written by them.
bool EnsurePrivateFolder(const std::string& folder);
