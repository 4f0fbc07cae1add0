// A contents title as a reader sees it: the book keeps "&amp;" as written,
// the contents tree shows "&".
#pragma once

#include <windows.h>

// Writes `text` into `shown` (`size` units with the terminator) with every
// named reference of HTML ("&amp;", "&Egrave;", "&apos;"; the ';' required)
// and every numeric one ("&#233;", "&#xE9;"; the ';' optional) decoded, and
// anything else left as it is ("AT&T", "&unknown;", "&#;"). A numeric
// reference to nothing (0, a surrogate, past U+10FFFF) shows U+FFFD, and one
// to U+0080..U+009F the character of code page 1252 there, as browsers show
// them. In a text read in a single-byte code page other than 1252
// (`codePage`; CP_ACP stands for the device's), a reference to U+0080..U+00FF
// stands for that byte of the code page. A text that does not fit is cut
// before the first character that does not fit whole. Returns the units written.
size_t DecodeReferences(LPCWSTR text, UINT codePage, LPWSTR shown, size_t size);
