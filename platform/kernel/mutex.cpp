// Named mutexes as lock files: every handle holds a shared flock on its name's
// file, so "another handle exists" is "an exclusive lock cannot be had".
#include <winmutex.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "kernelobject.h"
#include "privatefolder.h"

namespace {

struct Mutex : KernelObject {
    int fd = -1;                    // the name's lock file; -1 for an unnamed mutex
    std::thread::id owner;          // default id: not owned
    unsigned recursion = 0;
    ~Mutex() override
    {
        if (fd >= 0)
            close(fd);              // drops this handle's share of the lock
    }
};

std::string RuntimeFolderPath() { return PrivateFolderPath(LW_SETTING("RUNTIME"), (std::string(kOwnFolderName.data()) + "-run").c_str()); }

// The lock file's name: letters, digits, '-' and '_' as they are, every other
// unit as %XXXX, so no name can form a path or clash with another.
bool LockFileName(LPCWSTR name, std::string* file)
{
    *file = "mutex-";
    size_t units = 0;
    for (const WCHAR* p = name; *p; ++p, ++units) {
        WCHAR c = *p;
        if (units >= MAX_PATH) {
            SetLastError(ERROR_FILENAME_EXCED_RANGE);
            return false;
        }
        if (c == u'\\') {
            SetLastError(ERROR_INVALID_NAME);
            return false;
        }
        bool plain = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
                     c == u'-' || c == u'_';
        if (plain) {
            file->push_back(static_cast<char>(c));
        } else {
            char escaped[8];
            snprintf(escaped, sizeof escaped, "%%%04X", static_cast<unsigned>(c));
            *file += escaped;
        }
    }
    // A file name has at most 255 bytes; longer names share a hashed tail.
    if (file->size() > 200) {
        size_t hash = std::hash<std::string>()(*file);
        file->resize(180);
        char tail[24];
        snprintf(tail, sizeof tail, "~%016zx", hash);
        *file += tail;
    }
    return true;
}

class FolderGate {
public:
    explicit FolderGate(int fd) : fd_(fd)
    {
        while (flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    ~FolderGate() { flock(fd_, LOCK_UN); }

private:
    int fd_;
};

// Opens the name's lock file and takes this handle's shared lock. *existed tells
// whether another handle held it already.
int OpenNamedLock(const std::string& folder, const std::string& file, bool* existed)
{
    int folderFd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd < 0) {
        SetLastError(ErrorFromErrno(errno));
        return -1;
    }
    int fd = -1;
    {
        // The folder's own lock makes "test, then share" one step: without it two
        // starting processes could both find the name free.
        FolderGate gate(folderFd);
        fd = openat(folderFd, file.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) {
            SetLastError(ErrorFromErrno(errno));
        } else {
            *existed = flock(fd, LOCK_EX | LOCK_NB) != 0;
            // Downgrading is not atomic, but every other opener waits at the gate.
            if (flock(fd, LOCK_SH) != 0) {
                SetLastError(ErrorFromErrno(errno));
                close(fd);
                fd = -1;
            }
        }
    }
    close(folderFd);
    return fd;
}

}  // namespace

DWORD GetRuntimeFolder(LPSTR folder, DWORD size)
{
    std::string path = RuntimeFolderPath();
    if (!EnsurePrivateFolder(path, "runtime folder"))
        return 0;
    if (!folder || path.size() + 1 > size) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    memcpy(folder, path.c_str(), path.size() + 1);
    return static_cast<DWORD>(path.size());
}

HANDLE CreateMutexW(LPSECURITY_ATTRIBUTES, BOOL initialOwner, LPCWSTR name)
{
    auto* mutex = new Mutex;
    bool existed = false;
    if (name && *name) {
        std::string file;
        char folder[MAX_PATH * 4];
        if (!LockFileName(name, &file) || !GetRuntimeFolder(folder, sizeof folder)) {
            delete mutex;
            return nullptr;
        }
        mutex->fd = OpenNamedLock(folder, file, &existed);
        if (mutex->fd < 0) {
            delete mutex;
            return nullptr;
        }
    }
    // As on Windows, asking to own a mutex that exists already does not own it.
    if (initialOwner && !existed) {
        mutex->owner = std::this_thread::get_id();
        mutex->recursion = 1;
    }
    HANDLE handle = RegisterKernelObject(mutex);
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

BOOL ReleaseMutex(HANDLE handle)
{
    Mutex* mutex = LookupKernelObjectAs<Mutex>(handle);
    if (!mutex) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (mutex->recursion == 0 || mutex->owner != std::this_thread::get_id()) {
        SetLastError(ERROR_NOT_OWNER);
        return FALSE;
    }
    if (--mutex->recursion == 0)
        mutex->owner = std::thread::id();
    return TRUE;
}
