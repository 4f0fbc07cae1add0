#include "FileAssociation.h"

#include "RegKey.h"

namespace {

// Formats one value from the program's path. FALSE when the path is unknown
// or the result would not fit: a cut path would name no program at all.
BOOL FormatValue(LPWSTR value, LPCWSTR format, LPCWSTR programPath, BOOL pathKnown)
{
    value[0] = 0;
    return pathKnown && SUCCEEDED(StringCchPrintfW(value, MAX_PATH, format, programPath));
}

}  // namespace

void FileAssociation(HWND mainWindow)
{
    WCHAR programPath[MAX_PATH];
    DWORD pathLength = GetModuleFileNameW(nullptr, programPath, MAX_PATH);
    BOOL pathKnown = pathLength > 0 && pathLength < MAX_PATH;
    if (!pathKnown)
        programPath[0] = 0;

    RegKey extensionKey(HKEY_CLASSES_ROOT, TEXT(".chm"), TRUE);
    BOOL extensionWritten = extensionKey.SetString(nullptr, TEXT("CHMFile"));
    extensionKey.Close();

    WCHAR iconValue[MAX_PATH];
    RegKey iconKey(HKEY_CLASSES_ROOT, TEXT("CHMFile\\DefaultIcon"), TRUE);
    BOOL iconWritten = FormatValue(iconValue, TEXT("\"%s\", 0"), programPath, pathKnown) &&
                       iconKey.SetString(nullptr, iconValue);
    iconKey.Close();

    WCHAR commandValue[MAX_PATH];
    RegKey commandKey(HKEY_CLASSES_ROOT, TEXT("CHMFile\\Shell\\Open\\Command"), TRUE);
    BOOL commandWritten = FormatValue(commandValue, TEXT("\"%s\" %%1"), programPath, pathKnown) &&
                          commandKey.SetString(nullptr, commandValue);
    commandKey.Close();

    // Success is claimed only when all three values are in the registry.
    if (extensionWritten && iconWritten && commandWritten)
        MessageBoxW(mainWindow, TEXT("CHM File associate success!"), TEXT("Leafwise"),
                    MB_OK | MB_ICONINFORMATION);
    else
        MessageBoxW(mainWindow, TEXT("CHM File association failed!"), TEXT("Leafwise"),
                    MB_OK | MB_ICONERROR);
}
