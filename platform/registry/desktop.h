// File-type associations written under HKEY_CLASSES_ROOT, told to the Linux
// desktop the freedesktop way: a desktop entry, the default application in
// mimeapps.list, and a refreshed desktop database.
#pragma once

#include "hive.h"

#include <string>
#include <string_view>
#include <vector>

namespace lwreg {

// Registers every complete association of the hive (".ext" -> class ->
// class\Shell\Open\Command) whose extension the program told of
// (RegisterDesktopFileType) and has MIME types. Files are
// only rewritten when their content changes; failures are silent, as the
// registry write that led here has already succeeded.
void SyncDesktop(const Hive& hive);

// The pieces, exposed for tests.

// MIME types of a told extension (with its dot): the type the desktop's MIME
// database gives it first, then the told ones; empty for an extension not told.
std::vector<std::string> MimeTypesFor(std::u16string_view extension);

// The type of the heaviest "*.ext" glob (case folded unless the glob says
// "cs") in the globs2 files of $XDG_DATA_HOME/mime and $XDG_DATA_DIRS/*/mime;
// empty when none names the extension.
std::string DatabaseMimeType(std::string_view extension);

// A shell command as the registry holds it ("\"\\dir\\app.exe\" %1") turned into
// a desktop entry's Exec value: the quoted device path becomes its host path,
// %1 (quoted or not) becomes %f, which is added when the command has none.
// False when the program's path cannot be mapped or holds a control character.
bool DesktopExec(std::u16string_view command, std::string* exec, std::string* hostProgram);

// mimeapps.list with `desktopId` made the default application for `types` and
// listed first among their added associations; everything else kept as it was.
std::string SetDefaultApplication(std::string_view mimeapps, const std::string& desktopId,
                                  const std::vector<std::string>& types);

}  // namespace lwreg
