// Device paths on the host: "\Temp" is the user's private scratch folder, every
// other path lies below $LEAFWISE_ROOT.
#include <windows.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "kernelobject.h"
#include "privatefolder.h"

namespace {

std::string RootFolder()
{
    const char* root = getenv("LEAFWISE_ROOT");
    std::string folder = root && *root ? root : "/";
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder;
}

std::string TempFolderPath() { return PrivateFolderPath("LEAFWISE_TEMP", "leafwise"); }

bool IsSeparator(WCHAR c) { return c == '\\' || c == '/'; }

} // namespace

std::string PrivateFolderPath(const char* setting, const char* name)
{
    if (const char* folder = getenv(setting); folder && *folder)
        return folder;
    if (const char* runtime = getenv("XDG_RUNTIME_DIR"); runtime && *runtime)
        return std::string(runtime) + "/" + name;
    return std::string("/tmp/") + name + "-" + std::to_string(getuid());
}

// The scratch folder holds what the program extracts from untrusted books, and
// the runtime folder the program's locks, so each must be ours alone.
bool EnsurePrivateFolder(const std::string& folder)
{
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        SetLastError(ErrorFromErrno(errno));
        return false;
    }
    struct stat info;
    if (lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != getuid()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    return true;
}

DWORD DeviceToHostPath(LPCWSTR devicePath, LPSTR hostPath, DWORD size)
{
    if (!devicePath || !hostPath || size == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
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
            return 0;
        }
        parts.push_back(part);
    }
    std::string host;
    size_t first = 0;
    if (!parts.empty() && _wcsicmp(parts[0].c_str(), u"Temp") == 0) {
        host = TempFolderPath();
        if (!EnsurePrivateFolder(host))
            return 0;
        first = 1;
    } else {
        host = RootFolder();
    }
    for (size_t i = first; i < parts.size(); ++i) {
        char utf8[4 * MAX_PATH];
        int n = WideCharToMultiByte(CP_UTF8, 0, parts[i].c_str(), (int)parts[i].size(), utf8, sizeof utf8,
                                    nullptr, nullptr);
        if (n <= 0) {
            SetLastError(ERROR_FILENAME_EXCED_RANGE);
            return 0;
        }
        if (host.back() != '/')
            host += '/';
        host.append(utf8, n);
    }
    if (host.size() + 1 > size) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return 0;
    }
    memcpy(hostPath, host.c_str(), host.size() + 1);
    return (DWORD)host.size();
}

namespace {

// Makes a host path absolute and folds "." and ".." without touching the disk.
std::string AbsoluteHostPath(const char* path)
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

DWORD HostToDevicePath(LPCSTR hostPath, LPWSTR devicePath, DWORD size)
{
    if (!hostPath || !*hostPath || !devicePath || size == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string absolute = AbsoluteHostPath(hostPath);
    std::string rest, device;
    if (Below(absolute, AbsoluteHostPath(TempFolderPath().c_str()), &rest))
        device = "/Temp" + rest;
    else if (Below(absolute, AbsoluteHostPath(RootFolder().c_str()), &rest))
        device = rest.empty() ? "/" : rest;
    else {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return 0;
    }
    for (char& c : device) {
        if (c == '/')
            c = '\\';
    }
    int n = MultiByteToWideChar(CP_UTF8, 0, device.c_str(), (int)device.size() + 1, devicePath, (int)size);
    if (n <= 0) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return 0;
    }
    return (DWORD)(n - 1);
}
