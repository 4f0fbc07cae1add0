// Files and folders on device paths, the kernel handle table and the last error.
#include <windows.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <unordered_set>
#include <vector>

#include "kernelobject.h"

// ---- last error and handles ---------------------------------------------------

static thread_local DWORD lastError = ERROR_SUCCESS;

DWORD GetLastError() { return lastError; }
void SetLastError(DWORD error) { lastError = error; }

DWORD ErrorFromErrno(int error)
{
    switch (error) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES: case EPERM: case EISDIR: case EROFS: return ERROR_ACCESS_DENIED;
    case EEXIST: return ERROR_FILE_EXISTS;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case ENOSPC: case EIO: return ERROR_WRITE_FAULT;
    default: return ERROR_INVALID_PARAMETER;
    }
}

namespace {

std::mutex handleLock;
std::unordered_set<KernelObject*>& LiveObjects()
{
    static std::unordered_set<KernelObject*> live;
    return live;
}

} // namespace

HANDLE RegisterKernelObject(KernelObject* object)
{
    std::lock_guard<std::mutex> guard(handleLock);
    LiveObjects().insert(object);
    return object;
}

KernelObject* LookupKernelObject(HANDLE handle)
{
    std::lock_guard<std::mutex> guard(handleLock);
    auto it = LiveObjects().find(static_cast<KernelObject*>(handle));
    return it == LiveObjects().end() ? nullptr : *it;
}

BOOL CloseHandle(HANDLE handle)
{
    KernelObject* object = nullptr;
    {
        std::lock_guard<std::mutex> guard(handleLock);
        auto it = LiveObjects().find(static_cast<KernelObject*>(handle));
        if (it != LiveObjects().end()) {
            object = *it;
            LiveObjects().erase(it);
        }
    }
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    delete object;
    return TRUE;
}

// ---- files -------------------------------------------------------------------------

namespace {

struct File : KernelObject {
    int fd;
    explicit File(int fd) : fd(fd) {}
    ~File() override { close(fd); }
};

// The host path of a device path, or false with the last error set.
bool HostPath(LPCWSTR devicePath, std::string* host)
{
    char buffer[4096];
    if (!devicePath) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    if (DeviceToHostPath(devicePath, buffer, sizeof buffer) == 0)
        return false;
    *host = buffer;
    return true;
}

} // namespace

HANDLE CreateFileW(LPCWSTR fileName, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                   DWORD creation, DWORD flagsAndAttributes, HANDLE templateFile)
{
    std::string host;
    if (!HostPath(fileName, &host))
        return INVALID_HANDLE_VALUE;
    int flags = O_CLOEXEC;
    if ((access & GENERIC_READ) && (access & GENERIC_WRITE))
        flags |= O_RDWR;
    else if (access & GENERIC_WRITE)
        flags |= O_WRONLY;
    else
        flags |= O_RDONLY;
    switch (creation) {
    case CREATE_NEW: flags |= O_CREAT | O_EXCL; break;
    case CREATE_ALWAYS: flags |= O_CREAT | O_TRUNC; break;
    case OPEN_EXISTING: break;
    case OPEN_ALWAYS: flags |= O_CREAT; break;
    case TRUNCATE_EXISTING: flags |= O_TRUNC; break;
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    bool existed = ::access(host.c_str(), F_OK) == 0;
    int fd = open(host.c_str(), flags, 0644);
    if (fd < 0) {
        SetLastError(ErrorFromErrno(errno));
        return INVALID_HANDLE_VALUE;
    }
    struct stat info;
    if (fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
        close(fd);
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    // Windows reports an existing file that was opened or replaced this way.
    SetLastError((existed && (creation == CREATE_ALWAYS || creation == OPEN_ALWAYS)) ? ERROR_ALREADY_EXISTS
                                                                                     : ERROR_SUCCESS);
    return RegisterKernelObject(new File(fd));
}

BOOL ReadFile(HANDLE handle, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED overlapped)
{
    File* file = LookupKernelObjectAs<File>(handle);
    if (read)
        *read = 0;
    if (!file || overlapped) {
        SetLastError(file ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    DWORD total = 0;
    while (total < toRead) {
        ssize_t n = ::read(file->fd, (char*)buffer + total, toRead - total);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            SetLastError(ERROR_READ_FAULT);
            return FALSE;
        }
        if (n == 0)
            break;
        total += (DWORD)n;
    }
    if (read)
        *read = total;
    return TRUE;
}

BOOL WriteFile(HANDLE handle, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED overlapped)
{
    File* file = LookupKernelObjectAs<File>(handle);
    if (written)
        *written = 0;
    if (!file || overlapped) {
        SetLastError(file ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    DWORD total = 0;
    while (total < toWrite) {
        ssize_t n = ::write(file->fd, (const char*)buffer + total, toWrite - total);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            SetLastError(ERROR_WRITE_FAULT);
            return FALSE;
        }
        total += (DWORD)n;
    }
    if (written)
        *written = total;
    return TRUE;
}

DWORD SetFilePointer(HANDLE handle, LONG distance, LONG* distanceHigh, DWORD method)
{
    File* file = LookupKernelObjectAs<File>(handle);
    if (!file || (distanceHigh && *distanceHigh != 0 && *distanceHigh != -1) || method > FILE_END) {
        SetLastError(file ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return INVALID_SET_FILE_POINTER;
    }
    static const int whence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
    off_t position = lseek(file->fd, distance, whence[method]);
    if (position < 0 || position > 0xFFFFFFFE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    if (distanceHigh)
        *distanceHigh = 0;
    SetLastError(ERROR_SUCCESS);
    return (DWORD)position;
}

DWORD GetFileSize(HANDLE handle, LPDWORD sizeHigh)
{
    File* file = LookupKernelObjectAs<File>(handle);
    struct stat info;
    if (!file || fstat(file->fd, &info) != 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return (DWORD)-1;
    }
    if (sizeHigh)
        *sizeHigh = (DWORD)((uint64_t)info.st_size >> 32);
    SetLastError(ERROR_SUCCESS);
    return (DWORD)info.st_size;
}

BOOL DeleteFileW(LPCWSTR fileName)
{
    std::string host;
    if (!HostPath(fileName, &host))
        return FALSE;
    struct stat info;
    if (lstat(host.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (unlink(host.c_str()) != 0) {
        SetLastError(ErrorFromErrno(errno));
        return FALSE;
    }
    return TRUE;
}

DWORD GetFileAttributesW(LPCWSTR fileName)
{
    std::string host;
    struct stat info;
    if (!HostPath(fileName, &host))
        return INVALID_FILE_ATTRIBUTES;
    if (stat(host.c_str(), &info) != 0) {
        SetLastError(ErrorFromErrno(errno));
        return INVALID_FILE_ATTRIBUTES;
    }
    return S_ISDIR(info.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
}

BOOL CreateDirectoryW(LPCWSTR pathName, LPSECURITY_ATTRIBUTES security)
{
    std::string host;
    if (!HostPath(pathName, &host))
        return FALSE;
    if (mkdir(host.c_str(), 0755) != 0) {
        SetLastError(errno == EEXIST ? ERROR_ALREADY_EXISTS : ErrorFromErrno(errno));
        return FALSE;
    }
    return TRUE;
}

FILE* _wfopen(LPCWSTR fileName, LPCWSTR mode)
{
    char narrowMode[8];
    std::string host;
    if (!mode || !HostPath(fileName, &host))
        return nullptr;
    size_t i = 0;
    for (; mode[i] && i + 1 < sizeof narrowMode; ++i)
        narrowMode[i] = (char)mode[i];
    narrowMode[i] = 0;
    FILE* file = fopen(host.c_str(), narrowMode);
    if (!file)
        SetLastError(ErrorFromErrno(errno));
    return file;
}

// ---- search ----------------------------------------------------------------------

namespace {

struct Search : KernelObject {
    std::vector<WIN32_FIND_DATAW> found;
    size_t next = 0;
};

// "*" and "?" wildcards over UTF-16 names, ASCII case ignored, as the device's
// file system does. "*.*" matches every name, also one without a dot.
bool MatchesPattern(const WCHAR* pattern, const WCHAR* name)
{
    if (wcscmp(pattern, u"*.*") == 0)
        return true;
    const WCHAR* starPattern = nullptr;
    const WCHAR* starName = nullptr;
    while (*name) {
        if (*pattern == '*') {
            starPattern = ++pattern;
            starName = name;
        } else if (*pattern == '?' || (*pattern && towlower(*pattern) == towlower(*name))) {
            ++pattern;
            ++name;
        } else if (starPattern) {
            pattern = starPattern;
            name = ++starName;
        } else {
            return false;
        }
    }
    while (*pattern == '*')
        ++pattern;
    return *pattern == 0;
}

} // namespace

HANDLE FindFirstFileExW(LPCWSTR pattern, FINDEX_INFO_LEVELS level, LPVOID findData, FINDEX_SEARCH_OPS searchOp,
                        LPVOID searchFilter, DWORD flags)
{
    if (!pattern || !findData || level != FindExInfoStandard || searchFilter) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    const WCHAR* last = pattern;
    for (const WCHAR* p = pattern; *p; ++p) {
        if (*p == '\\' || *p == '/')
            last = p + 1;
    }
    std::u16string folder(pattern, last - pattern);
    const WCHAR* namePattern = last;
    std::string host;
    if (!HostPath(folder.empty() ? u"\\" : folder.c_str(), &host))
        return INVALID_HANDLE_VALUE;
    DIR* dir = opendir(host.c_str());
    if (!dir) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    auto search = std::make_unique<Search>();
    while (struct dirent* entry = readdir(dir)) {
        if (strcmp(entry->d_name, ".") == 0 || strcmp(entry->d_name, "..") == 0)
            continue;
        WIN32_FIND_DATAW data = {};
        // Host names that are not valid UTF-8 or too long have no device name.
        if (MultiByteToWideChar(CP_UTF8, 0, entry->d_name, -1, data.cFileName, MAX_PATH) == 0 ||
            wcschr(data.cFileName, 0xFFFD))
            continue;
        if (!MatchesPattern(namePattern, data.cFileName))
            continue;
        struct stat info;
        std::string full = host + (host.back() == '/' ? "" : "/") + entry->d_name;
        if (stat(full.c_str(), &info) != 0)
            continue;
        bool isFolder = S_ISDIR(info.st_mode);
        if (searchOp == FindExSearchLimitToDirectories && !isFolder)
            continue;
        data.dwFileAttributes = isFolder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
        if (entry->d_name[0] == '.')
            data.dwFileAttributes |= FILE_ATTRIBUTE_HIDDEN;
        data.nFileSizeLow = isFolder ? 0 : (DWORD)info.st_size;
        data.nFileSizeHigh = isFolder ? 0 : (DWORD)((uint64_t)info.st_size >> 32);
        search->found.push_back(data);
    }
    closedir(dir);
    if (search->found.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    *(WIN32_FIND_DATAW*)findData = search->found[0];
    search->next = 1;
    return RegisterKernelObject(search.release());
}

HANDLE FindFirstFileW(LPCWSTR pattern, LPWIN32_FIND_DATAW findData)
{
    return FindFirstFileExW(pattern, FindExInfoStandard, findData, FindExSearchNameMatch, nullptr, 0);
}

BOOL FindNextFileW(HANDLE find, LPWIN32_FIND_DATAW findData)
{
    Search* search = LookupKernelObjectAs<Search>(find);
    if (!search || !findData) {
        SetLastError(search ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (search->next >= search->found.size()) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    *findData = search->found[search->next++];
    return TRUE;
}

BOOL FindClose(HANDLE find)
{
    if (!LookupKernelObjectAs<Search>(find)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return CloseHandle(find);
}

// ---- module and timing ---------------------------------------------------------------

DWORD GetModuleFileNameW(HANDLE module, LPWSTR fileName, DWORD size)
{
    char exe[4096];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0 || !fileName || size == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    exe[n] = 0;
    DWORD length = HostToDevicePath(exe, fileName, size);
    if (length == 0)
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return length;
}

void Sleep(DWORD milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

DWORD GetTickCount()
{
    using namespace std::chrono;
    return (DWORD)duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}
