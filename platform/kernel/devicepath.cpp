// Device paths on the host: "\Temp" is the user's private scratch folder, every
// other path lies below $LEAFWISE_ROOT.
#include <winbase.h>
#include <winerror.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "hostname.h"
#include "kernelobject.h"
#include "privatefolder.h"

// ---- names ------------------------------------------------------------------

namespace {

constexpr char16_t kPrivateBase = 0xF000;
constexpr char16_t kByteBase = 0xDC00;

// ASCII characters that Windows keeps out of file names ("/" never reaches a
// name on either side).
bool Unsayable(unsigned c) { return c != 0 && (c < 0x20 || (c < 0x80 && strchr("\\:*?\"<>|", (int)c))); }

// The length of the valid UTF-8 character at `at` (at most `left` bytes) and
// its code point, or 0 when the bytes there are not one.
size_t Utf8Character(const unsigned char* at, size_t left, char32_t* cp)
{
    unsigned c = at[0];
    size_t extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    if (c < 0x80) {
        *cp = c;
        return 1;
    }
    if (extra == 0 || c >= 0xF5 || extra >= left)
        return 0;
    char32_t value = c & (0x3F >> extra);
    for (size_t k = 1; k <= extra; ++k) {
        if ((at[k] & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (at[k] & 0x3F);
    }
    static const char32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
    if (value < kLeast[extra] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    *cp = value;
    return extra + 1;
}

} // namespace

std::u16string DeviceNameOf(const char* hostName, size_t length)
{
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(hostName);
    std::u16string name;
    name.reserve(length);
    for (size_t i = 0; i < length;) {
        char32_t cp = 0;
        size_t n = Utf8Character(bytes + i, length - i, &cp);
        bool taken = cp >= kPrivateBase && cp < kPrivateBase + 0x80 && Unsayable(cp - kPrivateBase);
        if (n == 0 || taken) {
            // Byte by byte: all of these are 0x80 or above.
            for (size_t k = 0; k < (n ? n : 1); ++k)
                name.push_back((char16_t)(kByteBase + bytes[i + k]));
            i += n ? n : 1;
            continue;
        }
        if (Unsayable(cp))
            name.push_back((char16_t)(kPrivateBase + cp));
        else if (cp >= 0x10000) {
            name.push_back((char16_t)(0xD800 + ((cp - 0x10000) >> 10)));
            name.push_back((char16_t)(0xDC00 + ((cp - 0x10000) & 0x3FF)));
        } else {
            name.push_back((char16_t)cp);
        }
        i += n;
    }
    return name;
}

bool HostNameOf(const WCHAR* deviceName, size_t length, std::string* hostName)
{
    hostName->clear();
    // Runs of ordinary units are UTF-8 as they stand; the units that stand for
    // a host byte or a character a device name cannot hold break them.
    size_t run = 0;
    auto flush = [&](size_t end) {
        if (end == run)
            return;
        size_t at = hostName->size();
        hostName->resize(at + 3 * (end - run));  // at most three bytes a unit
        int n = WideCharToMultiByte(CP_UTF8, 0, deviceName + run, (int)(end - run), hostName->data() + at,
                                    (int)(3 * (end - run)), nullptr, nullptr);
        hostName->resize(at + (n > 0 ? n : 0));
    };
    for (size_t i = 0; i < length; ++i) {
        char16_t c = deviceName[i];
        char byte;
        if (c >= kPrivateBase && c < kPrivateBase + 0x80 && Unsayable(c - kPrivateBase))
            byte = (char)(c - kPrivateBase);
        else if (c >= kByteBase + 0x80 && c <= kByteBase + 0xFF)
            byte = (char)(c - kByteBase);
        else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < length && deviceName[i + 1] >= 0xDC00 && deviceName[i + 1] <= 0xDFFF) {
            ++i;  // a pair: ordinary
            continue;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            SetLastError(ERROR_INVALID_NAME);
            return false;
        } else {
            continue;
        }
        flush(i);
        hostName->push_back(byte);
        run = i + 1;
    }
    flush(length);
    return true;
}

// ---- paths ------------------------------------------------------------------

namespace {

// A folder named in the environment, without the trailing slashes that would
// make lstat and open follow it when it is a link.
std::string WithoutTrailingSlashes(std::string folder)
{
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder;
}

std::string RootFolder()
{
    const char* root = getenv(LW_SETTING("ROOT"));
    return WithoutTrailingSlashes(root && *root ? root : "/");
}

std::string TempFolderPath() { return PrivateFolderPath(LW_SETTING("TEMP"), kOwnFolderName.data()); }

bool IsSeparator(WCHAR c) { return c == '\\' || c == '/'; }

// The host path of a device path; with `ensureTemp`, a path in the scratch
// folder makes sure the folder is there and private first.
bool MapDevicePath(LPCWSTR devicePath, std::string* host, bool ensureTemp)
{
    std::vector<std::u16string> parts;
    for (const WCHAR* p = devicePath; *p;) {
        while (IsSeparator(*p))
            ++p;
        const WCHAR* start = p;
        while (*p && !IsSeparator(*p))
            ++p;
        if (p == start)
            break;
        std::u16string part(start, p - start);
        if (part == u"." || part == u"..") {
            SetLastError(ERROR_INVALID_NAME);
            return false;
        }
        parts.push_back(part);
    }
    size_t first = 0;
    if (!parts.empty() && _wcsicmp(parts[0].c_str(), u"Temp") == 0) {
        *host = TempFolderPath();
        if (ensureTemp && !EnsurePrivateFolder(*host, "scratch folder"))
            return false;
        first = 1;
    } else {
        *host = RootFolder();
    }
    for (size_t i = first; i < parts.size(); ++i) {
        std::string name;
        if (!HostNameOf(parts[i].c_str(), parts[i].size(), &name))
            return false;
        if (host->back() != '/')
            *host += '/';
        *host += name;
    }
    return true;
}

// Makes a host path absolute and folds "." and ".." without touching the disk.
std::string AbsoluteHostPath(const std::string& path)
{
    std::string full;
    if (path[0] != '/') {
        char cwd[PATH_MAX];
        if (!getcwd(cwd, sizeof cwd))
            return {};
        full = std::string(cwd) + "/";
    }
    full += path;
    std::vector<std::string> parts;
    size_t pos = 0;
    while (pos <= full.size()) {
        size_t next = full.find('/', pos);
        if (next == std::string::npos)
            next = full.size();
        std::string part = full.substr(pos, next - pos);
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        pos = next + 1;
    }
    std::string result;
    for (const std::string& part : parts)
        result += "/" + part;
    return result.empty() ? "/" : result;
}

// The rest of `path` below `folder`, or false when it does not lie there.
bool Below(const std::string& path, const std::string& folder, std::string* rest)
{
    if (folder == "/") {
        *rest = path;
        return true;
    }
    if (path.compare(0, folder.size(), folder) != 0 || (path.size() > folder.size() && path[folder.size()] != '/'))
        return false;
    *rest = path.substr(folder.size());
    return true;
}

} // namespace

std::string PrivateFolderPath(const char* setting, const char* name)
{
    if (const char* folder = getenv(setting); folder && *folder)
        return WithoutTrailingSlashes(folder);
    if (const char* runtime = getenv("XDG_RUNTIME_DIR"); runtime && *runtime)
        return WithoutTrailingSlashes(runtime) + "/" + name;
    return std::string("/tmp/") + name + "-" + std::to_string(getuid());
}

// Folders that were refused, each said once: a refused scratch folder is met
// at every page, and one line tells the user all there is to know.
static void SayRefused(const std::string& folder, const char* what, const std::string& reason)
{
    static std::mutex lock;
    static std::set<std::string> said;
    std::lock_guard<std::mutex> guard(lock);
    if (said.insert(std::string(what) + "\n" + folder + "\n" + reason).second)
        fprintf(stderr, "%s: the %s %s is refused: %s\n", program_invocation_short_name, what, folder.c_str(),
                reason.c_str());
}

bool EnsurePrivateFolder(const std::string& folder, const char* what)
{
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        int error = errno;
        SayRefused(folder, what, std::string("it cannot be made (") + strerror(error) + ")");
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    // Looked at without following: a link could lead anywhere, and a folder
    // that others can write into lets them plant links or hold our locks.
    struct stat info;
    std::string reason;
    if (lstat(folder.c_str(), &info) != 0)
        reason = std::string("it cannot be read (") + strerror(errno) + ")";
    else if (S_ISLNK(info.st_mode))
        reason = "it is a link";
    else if (!S_ISDIR(info.st_mode))
        reason = "it is not a folder";
    else if (info.st_uid != getuid())
        reason = "it belongs to another user";
    else if (info.st_mode & (S_IWGRP | S_IWOTH))
        reason = "other users can write into it";
    if (reason.empty())
        return true;
    SayRefused(folder, what, reason);
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
}

DWORD DeviceToHostPath(LPCWSTR devicePath, LPSTR hostPath, DWORD size)
{
    if (!devicePath || !hostPath || size == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string host;
    if (!MapDevicePath(devicePath, &host, true))
        return 0;
    if (host.size() + 1 > size) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return 0;
    }
    memcpy(hostPath, host.c_str(), host.size() + 1);
    return (DWORD)host.size();
}

DWORD HostToDevicePath(LPCSTR hostPath, LPWSTR devicePath, DWORD size)
{
    if (!hostPath || !*hostPath || !devicePath || size == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string absolute = AbsoluteHostPath(hostPath);
    std::string rest;
    std::u16string device;
    if (Below(absolute, AbsoluteHostPath(TempFolderPath()), &rest))
        device = u"\\Temp";
    else if (!Below(absolute, AbsoluteHostPath(RootFolder()), &rest)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return 0;
    }
    for (size_t pos = 0; pos < rest.size();) {
        size_t next = rest.find('/', pos + 1);
        if (next == std::string::npos)
            next = rest.size();
        device += u'\\';
        device += DeviceNameOf(rest.data() + pos + 1, next - pos - 1);
        pos = next;
    }
    if (device.empty())
        device = u"\\";
    // The device's names are not the host's: "\Temp" is the scratch folder
    // wherever the root is, and the device ignores case there. A host path
    // whose device form names another folder is refused, never confused.
    std::string back;
    if (!MapDevicePath(device.c_str(), &back, false) || AbsoluteHostPath(back) != absolute) {
        SetLastError(ERROR_BAD_PATHNAME);
        return 0;
    }
    if (device.size() + 1 > size) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return 0;
    }
    memcpy(devicePath, device.c_str(), (device.size() + 1) * sizeof(WCHAR));
    return (DWORD)device.size();
}
