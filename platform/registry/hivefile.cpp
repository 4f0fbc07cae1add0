#include "hivefile.h"

#include <winreg.h>

#include "privatefolder.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lwreg {

namespace {

// The largest hive, in its text form: the writer refuses to grow past it and
// the reader accepts everything up to it, so no write can make a hive that
// the next start refuses. Far above three association keys, and small
// enough that every call, which reads the hive whole, stays quick.
constexpr off_t kMaxHiveBytes = 16 * 1024 * 1024;

std::string Home()
{
    const char* home = std::getenv("HOME");
    if (home && *home == '/')
        return home;
    if (const passwd* pw = getpwuid(getuid()))
        return pw->pw_dir;
    return "/";
}

std::string EnvFolder(const char* name, const char* fallbackUnderHome)
{
    // The base-directory rules ignore relative values.
    const char* value = std::getenv(name);
    if (value && *value == '/')
        return value;
    return Home() + fallbackUnderHome;
}

std::string Folder()
{
    return ConfigHome() + "/" + kOwnFolderName.data();
}

LONG ReadError(int error)
{
    return error == EACCES || error == EPERM ? ERROR_ACCESS_DENIED : ERROR_CANTREAD;
}

LONG WriteError(int error)
{
    return error == EACCES || error == EPERM || error == EROFS ? ERROR_ACCESS_DENIED : ERROR_CANTWRITE;
}

enum class ReadResult { kOk, kDamaged, kError };

// Reads and parses the hive; a missing file is an empty hive.
ReadResult ReadHiveFile(const std::string& path, Hive* hive, std::string* why, LONG* error)
{
    *hive = Hive();
    // O_NONBLOCK so that a FIFO planted in the hive's place cannot hang us.
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ENOENT)
            return ReadResult::kOk;
        if (errno == EISDIR) {
            *why = "it is a folder";
            return ReadResult::kDamaged;
        }
        *error = ReadError(errno);
        return ReadResult::kError;
    }
    struct stat st;
    ReadResult result = ReadResult::kOk;
    std::string text;
    if (fstat(fd, &st) != 0) {
        *error = ReadError(errno);
        result = ReadResult::kError;
    } else if (!S_ISREG(st.st_mode)) {
        *why = "it is not a regular file";
        result = ReadResult::kDamaged;
    } else if (st.st_size > kMaxHiveBytes) {
        *why = "it is too large";
        result = ReadResult::kDamaged;
    } else {
        char buffer[65536];
        for (;;) {
            ssize_t got = read(fd, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0) {
                *error = ReadError(errno);
                result = ReadResult::kError;
                break;
            }
            if (got == 0)
                break;
            text.append(buffer, size_t(got));
            if (text.size() > size_t(kMaxHiveBytes)) {
                *why = "it is too large";
                result = ReadResult::kDamaged;
                break;
            }
        }
    }
    close(fd);
    if (result == ReadResult::kOk && !Parse(text, hive, why)) {
        *hive = Hive();
        result = ReadResult::kDamaged;
    }
    return result;
}

// Renames without ever replacing an existing file, so an earlier damaged hive
// kept aside is never lost to a later one.
bool RenameNoReplace(const std::string& from, const std::string& to)
{
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // File systems without RENAME_NOREPLACE: a hard link fails on an existing name.
    if (link(from.c_str(), to.c_str()) != 0)
        return false;
    unlink(from.c_str());
    return true;
}

// Called with the lock held. Returns false when the file could not be moved.
bool MoveAside(const std::string& path, const std::string& why)
{
    char stamp[32];
    time_t now = time(nullptr);
    struct tm local;
    localtime_r(&now, &local);
    strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    std::string base = path + ".damaged-" + stamp;
    for (int attempt = 1; attempt <= 1000; ++attempt) {
        std::string target = attempt == 1 ? base : base + "-" + std::to_string(attempt);
        if (RenameNoReplace(path, target)) {
            std::fprintf(stderr,
                         "%s: the registry %s could not be read (%s); it was kept as %s "
                         "and the registry starts empty\n",
                         program_invocation_short_name, path.c_str(), why.c_str(), target.c_str());
            return true;
        }
        if (errno != EEXIST)
            break;
    }
    std::fprintf(stderr,
                 "%s: the registry %s could not be read (%s) nor moved aside (%s); "
                 "it is left as it is\n",
                 program_invocation_short_name, path.c_str(), why.c_str(), std::strerror(errno));
    return false;
}

// The lock is a separate file that is never replaced, so every process locks
// the same inode while the hive itself is renamed over.
class HiveLock {
public:
    explicit HiveLock(const std::string& folder)
    {
        fd_ = open((folder + "/registry.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd_ < 0) {
            error_ = errno;
            return;
        }
        while (flock(fd_, LOCK_EX) != 0) {
            if (errno != EINTR) {
                error_ = errno;
                break;
            }
        }
    }
    ~HiveLock()
    {
        if (fd_ >= 0)
            close(fd_);  // closing releases the lock
    }
    HiveLock(const HiveLock&) = delete;
    HiveLock& operator=(const HiveLock&) = delete;
    int Error() const { return error_; }

private:
    int fd_ = -1;
    int error_ = 0;
};

// Under the lock: the hive as it is, with a damaged file moved aside first.
LONG ReadLocked(const std::string& path, Hive* hive)
{
    std::string why;
    LONG error = ERROR_SUCCESS;
    switch (ReadHiveFile(path, hive, &why, &error)) {
    case ReadResult::kOk:
        return ERROR_SUCCESS;
    case ReadResult::kError:
        return error;
    case ReadResult::kDamaged:
        return MoveAside(path, why) ? ERROR_SUCCESS : ERROR_CANTREAD;
    }
    return ERROR_CANTREAD;
}

bool WriteAll(int fd, const std::string& text)
{
    size_t done = 0;
    while (done < text.size()) {
        ssize_t put = write(fd, text.data() + done, text.size() - done);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        done += size_t(put);
    }
    return true;
}

// Where a write lands: the hive itself, or, when it is a link (kept among the
// user's dotfiles, say), the file it leads to, so the link stays a link.
// Empty for a loop of links.
std::string WriteTarget(const std::string& path)
{
    std::string target = path;
    for (int hops = 0; hops < 40; ++hops) {
        char buffer[PATH_MAX];
        ssize_t n = readlink(target.c_str(), buffer, sizeof buffer - 1);
        if (n < 0)
            return target;
        buffer[n] = 0;
        if (buffer[0] == '/')
            target = buffer;
        else
            target = target.substr(0, target.find_last_of('/') + 1) + buffer;
    }
    return std::string();
}

// Writes the whole hive beside the old one (or beside the file a linked hive
// leads to), makes it durable, then renames it into place: a crash at any
// point leaves one complete hive. A hive past the size the reader accepts
// is not written: ERROR_NO_SYSTEM_RESOURCES, as Windows says when the
// registry is full.
LONG WriteHiveFile(const std::string& path, const Hive& hive)
{
    std::string text = Serialize(hive);
    if (text.size() > size_t(kMaxHiveBytes))
        return ERROR_NO_SYSTEM_RESOURCES;
    std::string target = WriteTarget(path);
    if (target.empty())
        return ERROR_CANTWRITE;
    std::string temp = target + ".tmp";
    int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return WriteError(errno);
    bool ok = WriteAll(fd, text) && fsync(fd) == 0;
    int error = errno;
    if (close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && rename(temp.c_str(), target.c_str()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        unlink(temp.c_str());
        return WriteError(error);
    }
    // The rename itself reaches the disk with the folder's entry.
    std::string folder = target.substr(0, target.find_last_of('/') + 1);
    int dir = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        fsync(dir);
        close(dir);
    }
    return ERROR_SUCCESS;
}

}  // namespace

std::string ConfigHome()
{
    return EnvFolder("XDG_CONFIG_HOME", "/.config");
}
std::string DataHome()
{
    return EnvFolder("XDG_DATA_HOME", "/.local/share");
}
std::string HivePath()
{
    return Folder() + "/registry.reg";
}

int MakeFolders(const std::string& path)
{
    struct stat st;
    if (stat(path.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0) {
        if (int error = MakeFolders(path.substr(0, slash)))
            return error;
    }
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        return errno;
    return 0;
}

LONG LoadHive(Hive* hive)
{
    // Readers need no lock: a writer replaces the file by a rename, so a read
    // sees either the old hive or the new one.
    std::string path = HivePath();
    std::string why;
    LONG error = ERROR_SUCCESS;
    switch (ReadHiveFile(path, hive, &why, &error)) {
    case ReadResult::kOk:
        return ERROR_SUCCESS;
    case ReadResult::kError:
        return error;
    case ReadResult::kDamaged:
        break;
    }
    // Only under the lock may the file be moved, and only if it is still the
    // damaged one: a writer may have just replaced it with a good hive.
    HiveLock lock(Folder());
    if (lock.Error())
        return ReadError(lock.Error());
    return ReadLocked(path, hive);
}

LONG UpdateHive(const std::function<LONG(Hive&, bool* changed)>& change, const std::function<void(const Hive&)>& saved)
{
    std::string folder = Folder();
    if (int error = MakeFolders(folder))
        return WriteError(error);
    HiveLock lock(folder);
    if (lock.Error())
        return WriteError(lock.Error());
    std::string path = HivePath();
    Hive hive;
    if (LONG error = ReadLocked(path, &hive))
        return error;
    bool changed = false;
    if (LONG error = change(hive, &changed))
        return error;
    if (changed) {
        // A hive the user made read-only stays as it is.
        struct stat st;
        if (stat(path.c_str(), &st) == 0 && !(st.st_mode & S_IWUSR))
            return ERROR_ACCESS_DENIED;
        if (LONG error = WriteHiveFile(path, hive))
            return error;
    }
    if (saved)
        saved(hive);
    return ERROR_SUCCESS;
}

}  // namespace lwreg
