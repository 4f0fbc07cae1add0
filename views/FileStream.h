// The page window's file interface, and its implementation over one platform
// file handle.
#pragma once

#include <windows.h>

class StreamBase {
public:
    virtual ~StreamBase() {}
    // 0 on success, 1 on failure.
    virtual int Open(LPCWSTR path, DWORD flags) = 0;
    virtual int Close() = 0;
    // The bytes transferred.
    virtual DWORD Read(void* buffer, DWORD count) = 0;
    virtual DWORD Write(const void* buffer, DWORD count) = 0;
    virtual DWORD Length() = 0;
    virtual DWORD Tell() = 0;
    virtual DWORD Seek(LONG offset, DWORD origin) = 0;
    virtual DWORD SeekToEnd() = 0;
    virtual DWORD SeekToBegin() = 0;
};

class FileStream : public StreamBase {
public:
    // Open flags. Access: read, write (neither: read). Sharing: read, write
    // (neither: none). Creation, the first of these that is set: create always,
    // open existing, create new, open always (none: open existing).
    enum : DWORD {
        kRead = 0x1,
        kWrite = 0x2,
        kShareRead = 0x10,
        kShareWrite = 0x20,
        kCreateNew = 0x100,
        kCreateAlways = 0x200,
        kOpenExisting = 0x400,
        kOpenAlways = 0x800,
    };

    FileStream() : handle(INVALID_HANDLE_VALUE) {}
    ~FileStream() override;
    FileStream(const FileStream&) = delete;
    FileStream& operator=(const FileStream&) = delete;

    // Closes a file still open, then opens the path. 0 on success, 1 on failure.
    int Open(LPCWSTR path, DWORD flags) override;
    // 0 when the file was closed; 1 when there was none or closing failed.
    int Close() override;
    // The bytes read or written: 0 for a count of 0 or a failure.
    DWORD Read(void* buffer, DWORD count) override;
    DWORD Write(const void* buffer, DWORD count) override;
    // The file's size, the position left where it was; 0 without an open file.
    DWORD Length() override;
    DWORD Tell() override;
    // The new position (origin FILE_BEGIN, FILE_CURRENT or FILE_END);
    // INVALID_SET_FILE_POINTER on failure.
    DWORD Seek(LONG offset, DWORD origin) override;
    DWORD SeekToEnd() override;
    DWORD SeekToBegin() override;

    // The platform file handle, INVALID_HANDLE_VALUE while no file is open.
    HANDLE Handle() const { return handle; }

private:
    HANDLE handle;
};
