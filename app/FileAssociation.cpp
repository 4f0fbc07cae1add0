#include "FileAssociation.h"

#include "RegKey.h"

namespace {

// What a desktop needs besides the registry's keys to open books with the
// program: the types' names (the registered one first), the entry it lists
// the program under, and the entry an installed Leafwise comes with (named
// by its application id), which is used instead when it starts this program.
const WCHAR kExtension[] = TEXT(".chm");
const WCHAR kMimeTypes[] = TEXT("application/vnd.ms-htmlhelp;application/x-chm");
const WCHAR kDesktopEntry[] = TEXT("leafwise-chmfile");
const WCHAR kInstalledEntry[] = TEXT("example.leafwise.Leafwise");

} // namespace

void FileAssociation(HWND mainWindow)
{
    WCHAR programPath[MAX_PATH];
    WCHAR iconValue[MAX_PATH];
    WCHAR commandValue[MAX_PATH];
    DWORD pathLength = GetModuleFileNameW(nullptr, programPath, MAX_PATH);
    // An unknown path, or one too long for the values, would register a
    // command that names no program: then nothing at all is written.
    BOOL pathFits = pathLength > 0 && pathLength < MAX_PATH &&
                    SUCCEEDED(StringCchPrintfW(iconValue, MAX_PATH, TEXT("\"%s\", 0"), programPath)) &&
                    SUCCEEDED(StringCchPrintfW(commandValue, MAX_PATH, TEXT("\"%s\" %%1"), programPath));
    BOOL written = FALSE;
    if (pathFits) {
        // Told first: the registry passes each value on to the desktop as it is written.
        RegisterDesktopFileType(kExtension, kMimeTypes, kDesktopEntry, kInstalledEntry);
        RegKey extensionKey(HKEY_CLASSES_ROOT, kExtension, TRUE);
        BOOL extensionWritten = extensionKey.SetString(nullptr, TEXT("CHMFile"));
        extensionKey.Close();

        RegKey iconKey(HKEY_CLASSES_ROOT, TEXT("CHMFile\\DefaultIcon"), TRUE);
        BOOL iconWritten = iconKey.SetString(nullptr, iconValue);
        iconKey.Close();

        RegKey commandKey(HKEY_CLASSES_ROOT, TEXT("CHMFile\\Shell\\Open\\Command"), TRUE);
        BOOL commandWritten = commandKey.SetString(nullptr, commandValue);
        commandKey.Close();
        written = extensionWritten && iconWritten && commandWritten;
    }

    // Success is claimed only when all three values are in the registry.
    if (written)
        MessageBoxW(mainWindow, TEXT("CHM File associate success!"), TEXT("Leafwise"), MB_OK | MB_ICONINFORMATION);
    else
        MessageBoxW(mainWindow, TEXT("CHM File association failed!"), TEXT("Leafwise"), MB_OK | MB_ICONERROR);
}
