// The main menu's "Associate" command: records the program in the registry as
// the handler of .chm files, then tells the user, in a message box owned by
// the main window, whether that worked.
#pragma once

#include <windows.h>

void FileAssociation(HWND mainWindow);
