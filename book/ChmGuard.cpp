// First cut: only the file's presence and size are checked.
#include "ChmGuard.h"

BOOL CheckContainer(LPCWSTR bookPath, ContainerLimits* limits)
{
    HANDLE file = CreateFileW(bookPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return FALSE;
    DWORD high = 0;
    DWORD low = GetFileSize(file, &high);
    CloseHandle(file);
    limits->fileSize = ((ULONGLONG)high << 32) | low;
    limits->section0Size = limits->fileSize;
    limits->section1Size = ~0ULL;
    limits->directoryEntries = 0;
    return TRUE;
}

BOOL ObjectFits(const ContainerLimits& limits, int space, ULONGLONG start, ULONGLONG length)
{
    ULONGLONG size = space == 0 ? limits.section0Size : limits.section1Size;
    return start <= size && length <= size - start;
}
