// Folders of the user's own that the platform keeps its state in.
#pragma once

#include "lwsettings.h"

#include <string>

// $<setting> when set, else $XDG_RUNTIME_DIR/<name>, else /tmp/<name>-<uid>;
// without trailing slashes, which would make a link to a folder pass for one.
std::string PrivateFolderPath(const char* setting, const char* name);

// Creates the folder (mode 0700) when missing. False (ERROR_ACCESS_DENIED)
// when it cannot be made, is a link or not a folder,
// belongs to someone else or can be written by others: they could plant links
// in it or hold its locks. A refusal is said once on stderr, naming `what`
// ("scratch folder"), the folder and the reason.
bool EnsurePrivateFolder(const std::string& folder, const char* what);
