// Files and folders on device paths, the kernel handle table and the last error.
#include <winbase.h>
#include <winerror.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <chrono>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <thread>
#include <unistd.h>
#include <unordered_set>
#include <vector>

#include "hostname.h"
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
    case ENOSPC: case EFBIG: case EDQUOT: return ERROR_DISK_FULL;
    case EIO: return ERROR_WRITE_FAULT;
    case ELOOP: return ERROR_CANT_ACCESS_FILE;
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

namespace {

// Opens a host file, never writing through a link: whatever is opened for
// writing is opened without following its last component, so a link planted
// in a shared folder cannot redirect a write to a file of the link's choosing.
// With `replaceLink` (create-or-truncate) a link in the way is removed and a
// new file made in its place; otherwise it is refused. Only regular files are
// opened: O_NONBLOCK keeps a FIFO in the file's place from hanging the open.
int OpenHostFile(const std::string& host, int flags, bool replaceLink)
{
    bool writes = (flags & O_ACCMODE) != O_RDONLY || (flags & (O_CREAT | O_TRUNC));
    if (writes)
        flags |= O_NOFOLLOW;
    flags |= O_CLOEXEC | O_NONBLOCK;
    int fd = open(host.c_str(), flags, 0644);
    if (fd < 0 && errno == ELOOP && replaceLink) {
        struct stat info;
        if (lstat(host.c_str(), &info) == 0 && S_ISLNK(info.st_mode) && unlink(host.c_str()) == 0)
            fd = open(host.c_str(), flags | O_CREAT | O_EXCL, 0644);
    }
    if (fd < 0) {
        SetLastError(ErrorFromErrno(errno));
        return -1;
    }
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        SetLastError(ERROR_ACCESS_DENIED);
        return -1;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

struct Folder : KernelObject {
    int fd;
    explicit Folder(int fd) : fd(fd) {}
    ~Folder() override { close(fd); }
};

// Opens the folder `name` in the folder `at` (or a path, with AT_FDCWD),
// never through a link in its last component.
HANDLE OpenFolderAt(int at, const std::string& name)
{
    int fd = openat(at, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0)
        return RegisterKernelObject(new Folder(fd));
    int error = errno;
    struct stat info;
    if ((error == ELOOP || error == ENOTDIR) && fstatat(at, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0)
        SetLastError(S_ISLNK(info.st_mode) ? ERROR_CANT_ACCESS_FILE : ERROR_DIRECTORY);
    else
        SetLastError(ErrorFromErrno(error));
    return INVALID_HANDLE_VALUE;
}

// The host form of one name inside a folder; false with the last error set.
bool NameInFolder(LPCWSTR name, std::string* host)
{
    if (!name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    size_t length = wcslen(name);
    bool separator = std::any_of(name, name + length, [](WCHAR c) { return c == '\\' || c == '/'; });
    if (length == 0 || separator || wcscmp(name, u".") == 0 || wcscmp(name, u"..") == 0) {
        SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    if (!HostNameOf(name, length, host))
        return false;
    if (host->size() > NAME_MAX) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    return true;
}

} // namespace

HANDLE CreateFileW(LPCWSTR fileName, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                   DWORD creation, DWORD flagsAndAttributes, HANDLE templateFile)
{
    std::string host;
    if (!HostPath(fileName, &host))
        return INVALID_HANDLE_VALUE;
    int flags = 0;
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
    struct stat before;
    bool existed = lstat(host.c_str(), &before) == 0;
    int fd = OpenHostFile(host, flags, creation == CREATE_ALWAYS);
    if (fd < 0)
        return INVALID_HANDLE_VALUE;
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
            SetLastError(n < 0 ? ErrorFromErrno(errno) : ERROR_DISK_FULL);
            if (written)
                *written = total;
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

HANDLE OpenFolderW(LPCWSTR path)
{
    std::string host;
    if (!HostPath(path, &host))
        return INVALID_HANDLE_VALUE;
    return OpenFolderAt(AT_FDCWD, host);
}

HANDLE CreateFileInFolderW(HANDLE folder, LPCWSTR name, DWORD creation, DWORD flagsAndAttributes)
{
    Folder* in = LookupKernelObjectAs<Folder>(folder);
    std::string host;
    if (!in) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_HANDLE_VALUE;
    }
    if (!NameInFolder(name, &host))
        return INVALID_HANDLE_VALUE;
    if (flagsAndAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        if (creation != CREATE_NEW && creation != OPEN_ALWAYS) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return INVALID_HANDLE_VALUE;
        }
        if (mkdirat(in->fd, host.c_str(), 0755) != 0 && (errno != EEXIST || creation == CREATE_NEW)) {
            SetLastError(errno == EEXIST ? ERROR_ALREADY_EXISTS : ErrorFromErrno(errno));
            return INVALID_HANDLE_VALUE;
        }
        return OpenFolderAt(in->fd, host);
    }
    if (creation != CREATE_NEW) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    // O_EXCL: a name that is taken, by a link too, is never opened; what
    // opens is a regular file this call made, so it needs no checking after.
    int fd = openat(in->fd, host.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
        SetLastError(ErrorFromErrno(errno));
        return INVALID_HANDLE_VALUE;
    }
    return RegisterKernelObject(new File(fd));
}

BOOL DeleteFileInFolderW(HANDLE folder, LPCWSTR name)
{
    Folder* in = LookupKernelObjectAs<Folder>(folder);
    std::string host;
    if (!in) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!NameInFolder(name, &host))
        return FALSE;
    if (unlinkat(in->fd, host.c_str(), 0) != 0) {
        SetLastError(ErrorFromErrno(errno));
        return FALSE;
    }
    return TRUE;
}

BOOL GetDiskFreeSpaceExW(LPCWSTR directory, PULARGE_INTEGER freeToCaller, PULARGE_INTEGER total,
                         PULARGE_INTEGER totalFree)
{
    std::string host;
    struct statvfs info;
    if (!HostPath(directory, &host))
        return FALSE;
    if (statvfs(host.c_str(), &info) != 0) {
        SetLastError(ErrorFromErrno(errno));
        return FALSE;
    }
    if (freeToCaller)
        freeToCaller->QuadPart = (ULONGLONG)info.f_bavail * info.f_frsize;
    if (total)
        total->QuadPart = (ULONGLONG)info.f_blocks * info.f_frsize;
    if (totalFree)
        totalFree->QuadPart = (ULONGLONG)info.f_bfree * info.f_frsize;
    return TRUE;
}

FILE* _wfopen(LPCWSTR fileName, LPCWSTR mode)
{
    std::string host;
    if (!mode || !HostPath(fileName, &host))
        return nullptr;
    char narrowMode[8];
    size_t i = 0;
    for (; mode[i] && i + 1 < sizeof narrowMode; ++i)
        narrowMode[i] = (char)mode[i];
    narrowMode[i] = 0;
    bool update = strchr(narrowMode, '+') != nullptr;
    int flags;
    switch (narrowMode[0]) {
    case 'r': flags = update ? O_RDWR : O_RDONLY; break;
    case 'w': flags = (update ? O_RDWR : O_WRONLY) | O_CREAT | O_TRUNC; break;
    case 'a': flags = (update ? O_RDWR : O_WRONLY) | O_CREAT | O_APPEND; break;
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    int fd = OpenHostFile(host, flags, narrowMode[0] == 'w');
    if (fd < 0)
        return nullptr;
    FILE* file = fdopen(fd, narrowMode);
    if (!file) {
        SetLastError(ErrorFromErrno(errno));
        close(fd);
    }
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
        // A host name has at most 255 bytes, and never more units than bytes.
        std::u16string name = DeviceNameOf(entry->d_name, strlen(entry->d_name));
        if (name.size() >= MAX_PATH)
            continue;
        memcpy(data.cFileName, name.c_str(), (name.size() + 1) * sizeof(WCHAR));
        if (!MatchesPattern(namePattern, data.cFileName))
            continue;
        // The listing's own type spares a stat where it tells all a search
        // reports: a folder (it has no size), or a file that a folders-only
        // search drops. A big folder is then listed in about the time the
        // host lists it.
        struct stat info = {};
        if (entry->d_type == DT_REG && searchOp == FindExSearchLimitToDirectories)
            continue;
        bool isLink = false;
        if (entry->d_type == DT_DIR) {
            info.st_mode = S_IFDIR;
        } else {
            // A link is reported as what it points to, marked as a link; one
            // that points nowhere is still reported, so a clear can remove it.
            if (fstatat(dirfd(dir), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
            isLink = S_ISLNK(info.st_mode);
            if (isLink && fstatat(dirfd(dir), entry->d_name, &info, 0) != 0)
                info = {};
        }
        bool isFolder = S_ISDIR(info.st_mode);
        if (searchOp == FindExSearchLimitToDirectories && !isFolder)
            continue;
        data.dwFileAttributes = isFolder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
        if (isLink)
            data.dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
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
