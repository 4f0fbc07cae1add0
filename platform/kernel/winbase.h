// Kernel services of the device: files and folders, code pages, the last error.
//
// Device paths use "\" and start at the device root. They are mapped onto the
// host as follows:
//   \Temp and everything below it -> the private scratch folder
//       ($LEAFWISE_TEMP, else $XDG_RUNTIME_DIR/<own>, else /tmp/<own>-<uid>, where
//       <own> is the settings' prefix in lower case without its '_'),
//       created with mode 0700 and refused (ERROR_ACCESS_DENIED, said once on
//       stderr with the reason) when it is a link, not ours, or writable by others;
//   any other path -> $LEAFWISE_ROOT (default "/") followed by the path.
// A path with a "." or ".." component is refused with ERROR_INVALID_NAME, so a
// device path never reaches outside the folder it names.
// Every host name has a device name that maps back to it exactly: a "\" and
// the other characters a device name cannot hold become U+F000 plus the
// character, bytes that are not UTF-8 the lone surrogates U+DC80 to U+DCFF.
// A lone surrogate outside that range names no host file (ERROR_INVALID_NAME).
#pragma once

#include <windef.h>
#include <cstdio>

// ---- last error -------------------------------------------------------------
#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_INVALID_DATA 13L
#define ERROR_NO_MORE_FILES 18L
#define ERROR_WRITE_FAULT 29L
#define ERROR_READ_FAULT 30L
#define ERROR_HANDLE_EOF 38L
#define ERROR_DISK_FULL 112L
#define ERROR_FILE_EXISTS 80L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_INVALID_NAME 123L
#define ERROR_DIR_NOT_EMPTY 145L
#define ERROR_BAD_PATHNAME 161L
#define ERROR_ALREADY_EXISTS 183L
#define ERROR_DIRECTORY 267L
#define ERROR_FILENAME_EXCED_RANGE 206L
#define ERROR_MORE_DATA 234L
#define ERROR_NO_UNICODE_TRANSLATION 1113L
#define ERROR_CANT_ACCESS_FILE 1920L

DWORD GetLastError();
void SetLastError(DWORD error);

// ---- code pages ----------------------------------------------------------
// CP_ACP is the device's ANSI code page: $LEAFWISE_CODEPAGE (a Windows code page
// number), else the one Windows gives the locale of $LC_ALL/$LC_CTYPE/$LANG,
// else 1252. Invalid input becomes U+FFFD (MultiByteToWideChar) or '?'
// (WideCharToMultiByte), as Windows does without MB_ERR_INVALID_CHARS.
// A length of -1 means "up to and including the terminating zero"; an output
// size of 0 asks for the size needed. Failure returns 0 with
// ERROR_INSUFFICIENT_BUFFER, ERROR_INVALID_PARAMETER (unknown code page).
// MB_ERR_INVALID_CHARS makes MultiByteToWideChar fail instead, with
// ERROR_NO_UNICODE_TRANSLATION, on input that is not valid in a UTF-8 or
// double-byte code page (single-byte code pages map every byte).
#define CP_ACP 0
#define CP_UTF8 65001
#define MB_ERR_INVALID_CHARS 0x8

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR multiByte, int multiByteLength,
                        LPWSTR wide, int wideLength);
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideLength,
                        LPSTR multiByte, int multiByteLength, LPCSTR defaultChar,
                        LPBOOL usedDefaultChar);
UINT GetACP();

// ---- files ------------------------------------------------------------------
#define GENERIC_READ 0x80000000
#define GENERIC_WRITE 0x40000000
#define FILE_SHARE_READ 0x1
#define FILE_SHARE_WRITE 0x2
#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5
#define FILE_ATTRIBUTE_READONLY 0x1
#define FILE_ATTRIBUTE_HIDDEN 0x2
#define FILE_ATTRIBUTE_SYSTEM 0x4
#define FILE_ATTRIBUTE_DIRECTORY 0x10
#define FILE_ATTRIBUTE_ARCHIVE 0x20
#define FILE_ATTRIBUTE_NORMAL 0x80
#define FILE_ATTRIBUTE_REPARSE_POINT 0x400
#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)
#define FILE_BEGIN 0
#define FILE_CURRENT 1
#define FILE_END 2
#define INVALID_SET_FILE_POINTER ((DWORD)-1)

typedef struct _SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;
typedef struct _OVERLAPPED* LPOVERLAPPED;

// Regular files only (no devices, pipes or overlapped I/O): anything else is
// ERROR_ACCESS_DENIED. Share modes and attributes are accepted and not
// enforced. Nothing is ever written through a link: opened for writing, a file
// whose last component is a link fails with ERROR_CANT_ACCESS_FILE, except
// that CREATE_ALWAYS (and _wfopen's "w") replaces the link itself by a new
// file. Reading follows links. Fails with ERROR_FILE_NOT_FOUND,
// ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_FILE_EXISTS, ERROR_INVALID_NAME.
// WriteFile fails with ERROR_DISK_FULL when the disk (or the process's file
// size limit) has no room, *written telling what did reach the file.
HANDLE CreateFileW(LPCWSTR fileName, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                   DWORD creation, DWORD flagsAndAttributes, HANDLE templateFile);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED overlapped);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED overlapped);
// 32-bit offsets only: a non-null high part is rejected with ERROR_INVALID_PARAMETER.
DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD method);
DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh);
BOOL CloseHandle(HANDLE object);
// Deletes a file, or a link itself (never what it points to); a folder is
// ERROR_ACCESS_DENIED.
BOOL DeleteFileW(LPCWSTR fileName);
DWORD GetFileAttributesW(LPCWSTR fileName);
BOOL CreateDirectoryW(LPCWSTR pathName, LPSECURITY_ATTRIBUTES security);

typedef struct _WIN32_FIND_DATAW {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwOID;
    WCHAR cFileName[MAX_PATH];
} WIN32_FIND_DATAW, *LPWIN32_FIND_DATAW;

typedef enum _FINDEX_INFO_LEVELS { FindExInfoStandard = 0 } FINDEX_INFO_LEVELS;
typedef enum _FINDEX_SEARCH_OPS {
    FindExSearchNameMatch = 0,
    FindExSearchLimitToDirectories = 1,
} FINDEX_SEARCH_OPS;

// The pattern is a folder and a last component with "*" and "?" wildcards,
// matched without regard to case; "*.*" matches every name. "." and ".." are
// never reported. A link is reported as what it points to, with
// FILE_ATTRIBUTE_REPARSE_POINT; a link that points nowhere as a file.
// FindExSearchLimitToDirectories reports folders only. Every host name is
// reported, in its device form (above).
// A search that finds nothing fails with ERROR_FILE_NOT_FOUND (folder present)
// or ERROR_PATH_NOT_FOUND; FindNextFileW ends with ERROR_NO_MORE_FILES.
HANDLE FindFirstFileExW(LPCWSTR pattern, FINDEX_INFO_LEVELS level, LPVOID findData,
                        FINDEX_SEARCH_OPS searchOp, LPVOID searchFilter, DWORD flags);
HANDLE FindFirstFileW(LPCWSTR pattern, LPWIN32_FIND_DATAW findData);
BOOL FindNextFileW(HANDLE find, LPWIN32_FIND_DATAW findData);
BOOL FindClose(HANDLE find);

// The runtime's wide fopen: a device path, a mode such as "wb".
FILE* _wfopen(LPCWSTR fileName, LPCWSTR mode);

typedef union _ULARGE_INTEGER {
    struct {
        DWORD LowPart;
        DWORD HighPart;
    };
    ULONGLONG QuadPart;
} ULARGE_INTEGER, *PULARGE_INTEGER;

// Room on the disk that holds a folder: for the caller (what a write may still
// use), in all, and free in all. Any out-pointer may be null.
BOOL GetDiskFreeSpaceExW(LPCWSTR directory, PULARGE_INTEGER freeToCaller, PULARGE_INTEGER total,
                         PULARGE_INTEGER totalFree);

// ---- memory -------------------------------------------------------------------
// Regions for data that runs to megabytes, outside the heap. Only what the
// program asks for: a new region (address NULL, MEM_RESERVE | MEM_COMMIT,
// PAGE_READWRITE), zero-filled; decommitting whole pages of it (MEM_DECOMMIT:
// the memory goes back to the system and the pages may not be touched again);
// and its release (MEM_RELEASE, size 0, the address VirtualAlloc gave). A
// region of whole 2 MB units starts on a 2 MB boundary and is offered to the
// system for huge pages: filling it costs a few page faults instead of one per
// 4 KB. Failure: NULL or FALSE with ERROR_INVALID_PARAMETER, or
// ERROR_NOT_ENOUGH_MEMORY.
#define MEM_COMMIT 0x1000
#define MEM_RESERVE 0x2000
#define MEM_DECOMMIT 0x4000
#define MEM_RELEASE 0x8000
#define PAGE_READWRITE 0x04
LPVOID VirtualAlloc(LPVOID address, SIZE_T size, DWORD allocationType, DWORD protect);
BOOL VirtualFree(LPVOID address, SIZE_T size, DWORD freeType);

// ---- module and timing --------------------------------------------------------
DWORD GetModuleFileNameW(HANDLE module, LPWSTR fileName, DWORD size);
void Sleep(DWORD milliseconds);
DWORD GetTickCount();

// ---- platform's own -----------------------------------------------------------
// Not part of the device API: where the device's libraries take a wide path,
// a Linux library (chmlib) takes a host path. Writes the host form of a device
// path, zero-terminated; returns its length, or 0 (with the last error set) when
// the path is refused or does not fit.
DWORD DeviceToHostPath(LPCWSTR devicePath, LPSTR hostPath, DWORD size);
// The device form of a host path (absolute or relative to the current folder);
// 0 when the path lies outside $LEAFWISE_ROOT (ERROR_PATH_NOT_FOUND), does not
// fit, or has a device form that names another host folder
// (ERROR_BAD_PATHNAME: $LEAFWISE_ROOT/temp is hidden by the scratch folder).
DWORD HostToDevicePath(LPCSTR hostPath, LPWSTR devicePath, DWORD size);

// Folders held open, in which files and folders are made by name: whatever
// the names hold and whatever links appear in the folder meanwhile, nothing
// made through such a handle lands outside the folder.
//
// An existing folder, by its device path; close it with CloseHandle. A link
// in the last component is not followed (ERROR_CANT_ACCESS_FILE); a file is
// ERROR_DIRECTORY; else ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND,
// ERROR_ACCESS_DENIED, ERROR_INVALID_NAME.
HANDLE OpenFolderW(LPCWSTR path);
// One name directly in a folder that OpenFolderW or this call opened: a
// single component in the device's form (ERROR_INVALID_NAME for an empty
// one, ".", "..", or one that holds "\" or "/"; ERROR_FILENAME_EXCED_RANGE
// past the host's 255 bytes). With FILE_ATTRIBUTE_DIRECTORY a folder:
// CREATE_NEW makes it (ERROR_ALREADY_EXISTS when the name is taken), and
// OPEN_ALWAYS also opens one that is there; the result is a folder handle.
// A link or file in the way is not followed or opened (ERROR_CANT_ACCESS_FILE,
// ERROR_DIRECTORY). Without it a new regular file, opened for writing
// (CREATE_NEW only; ERROR_FILE_EXISTS when the name is taken, by a link too).
// A bad folder handle is ERROR_INVALID_HANDLE; a full disk ERROR_DISK_FULL.
HANDLE CreateFileInFolderW(HANDLE folder, LPCWSTR name, DWORD creation, DWORD flagsAndAttributes);
// Deletes the file (or link itself, never what it points to) of that name in
// the folder; a folder is ERROR_ACCESS_DENIED. Names as for CreateFileInFolderW.
BOOL DeleteFileInFolderW(HANDLE folder, LPCWSTR name);

#include <strsafe.h>
#include <winnls.h>
#include <wcs16.h>
#include <winmutex.h>
