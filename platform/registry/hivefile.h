// The hive on disk: where it lives, reading it, and changing it safely while
// other processes may be changing it too.
#pragma once

#include "hive.h"

#include <functional>
#include <string>

namespace lwreg {

// $XDG_CONFIG_HOME (when absolute), else $HOME/.config, else the password
// database's home followed by /.config. Read afresh on every call, so a test
// can point it elsewhere.
std::string ConfigHome();
std::string DataHome();
std::string HivePath();
// Creates `path` and any missing parents, private to the user as the
// base-directory rules ask. Returns 0 or an errno value.
int MakeFolders(const std::string& path);

// Reads the hive as it is on disk now. A missing file is an empty hive; a
// damaged one is moved aside (under the lock) and gives an empty hive.
// Returns ERROR_SUCCESS, ERROR_ACCESS_DENIED or ERROR_CANTREAD.
LONG LoadHive(Hive* hive);

// Under the lock: re-reads the hive, lets `change` edit it (it returns an error
// code and sets *changed), and writes the result through a temporary file and
// a rename when something changed. Then, still under the lock so that no two
// callers interleave, `saved` (optional) sees the hive as it now stands.
LONG UpdateHive(const std::function<LONG(Hive&, bool* changed)>& change, const std::function<void(const Hive&)>& saved);

}  // namespace lwreg
