#include "FileStream.h"

namespace {

DWORD CreationOf(DWORD flags)
{
    if (flags & FileStream::kCreateAlways)
        return CREATE_ALWAYS;
    if (flags & FileStream::kOpenExisting)
        return OPEN_EXISTING;
    if (flags & FileStream::kCreateNew)
        return CREATE_NEW;
    if (flags & FileStream::kOpenAlways)
        return OPEN_ALWAYS;
    return OPEN_EXISTING;
}

} // namespace

FileStream::~FileStream()
{
    if (handle != INVALID_HANDLE_VALUE && handle != nullptr)
        CloseHandle(handle);
}

int FileStream::Open(LPCWSTR path, DWORD flags)
{
    if (handle != INVALID_HANDLE_VALUE)
        Close();
    DWORD access = 0;
    if (flags & kRead)
        access |= GENERIC_READ;
    if (flags & kWrite)
        access |= GENERIC_WRITE;
    if (access == 0)
        access = GENERIC_READ;
    DWORD share = 0;
    if (flags & kShareRead)
        share |= FILE_SHARE_READ;
    if (flags & kShareWrite)
        share |= FILE_SHARE_WRITE;
    handle = CreateFileW(path, access, share, nullptr, CreationOf(flags), FILE_ATTRIBUTE_NORMAL, nullptr);
    return handle == INVALID_HANDLE_VALUE ? 1 : 0;
}

int FileStream::Close()
{
    if (handle == nullptr)
        return 1;
    BOOL closed = CloseHandle(handle);
    handle = INVALID_HANDLE_VALUE;
    return closed ? 0 : 1;
}

// A failed transfer reports what it moved (ReadFile and WriteFile set the
// count to 0 when they fail), never a made-up count the caller would trust.
DWORD FileStream::Read(void* buffer, DWORD count)
{
    DWORD read = 0;
    if (count == 0 || !ReadFile(handle, buffer, count, &read, nullptr))
        return 0;
    return read;
}

DWORD FileStream::Write(const void* buffer, DWORD count)
{
    DWORD written = 0;
    if (count == 0 || !WriteFile(handle, buffer, count, &written, nullptr))
        return 0;
    return written;
}

DWORD FileStream::Length()
{
    DWORD position = Seek(0, FILE_CURRENT);
    if (position == INVALID_SET_FILE_POINTER)
        return 0;
    DWORD end = SeekToEnd();
    Seek(static_cast<LONG>(position), FILE_BEGIN);
    return end == INVALID_SET_FILE_POINTER ? 0 : end;
}

DWORD FileStream::Tell()
{
    return Seek(0, FILE_CURRENT);
}

DWORD FileStream::Seek(LONG offset, DWORD origin)
{
    return SetFilePointer(handle, offset, nullptr, origin);
}

DWORD FileStream::SeekToEnd()
{
    return Seek(0, FILE_END);
}

DWORD FileStream::SeekToBegin()
{
    return Seek(0, FILE_BEGIN);
}
