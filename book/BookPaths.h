// How a book's paths become scratch-folder names and how a page's relative
// paths resolve. The page writer and the page window both follow these, so
// that a picture written under one name is looked for under the same one.
#pragma once

#include <windows.h>

// Replaces every "%20" by a space, in place. No other escape is decoded:
// books write spaces in names this way and nothing else.
void DecodeSpaces(LPSTR text);
void DecodeSpaces(LPWSTR text);

// The part of a path after its last "/" or backslash. A page keeps this name
// in the scratch folder as the book writes it.
LPCWSTR PathBaseName(LPCWSTR path);

// The scratch-folder name of a picture named by `src` (as the page writes it,
// or as resolved against the page): its base name with "%20" read as a space.
// False when it does not fit in `size` units.
bool ImageScratchName(LPCWSTR src, LPWSTR name, size_t size);

// Joins a relative path to the folder it is relative to (no trailing "/"):
// an absolute path stays, a leading "./" is dropped, and each leading "../"
// takes the last folder off. False when the result does not fit in `size`.
bool ResolveBookPath(LPCWSTR folder, LPCWSTR target, LPWSTR result, size_t size);

// The book path of an image src value relative to the page that names it (its
// folder ends at the page path's last "/"); false when it does not fit.
bool ResolveImagePath(LPCWSTR pagePath, LPCWSTR value, LPWSTR result, size_t size);
