// A program that shows what the platform's main hands to WinMain: it prints
// the command line (UTF-8) and what it was given, and ends with exit code 3.
#include <windows.h>

#include <cstdio>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR commandLine, int show)
{
    char utf8[4 * MAX_PATH];
    WideCharToMultiByte(CP_UTF8, 0, commandLine, -1, utf8, sizeof utf8, nullptr, nullptr);
    printf("[%s] instance=%d previous=%d show=%d\n", utf8, instance == GetModuleHandleW(nullptr) && instance,
           previous == nullptr, show);
    return 3;
}
