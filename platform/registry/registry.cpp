// The registry calls over the hive file. A handle remembers only its key's
// path; every call reads the hive afresh, so what another process wrote is
// seen at once.
#include <winreg.h>

#include "desktop.h"
#include "hive.h"
#include "hivefile.h"

#include <mutex>
#include <unordered_map>

namespace {

// Handles are numbers that are never handed out twice, so a closed handle
// stays invalid even when a later key is opened.
std::mutex handlesMutex;
ULONG_PTR lastHandle = 0x10000;

std::unordered_map<ULONG_PTR, std::u16string>& OpenHandles()
{
    static std::unordered_map<ULONG_PTR, std::u16string> handles;
    return handles;
}

bool KeyPath(HKEY key, std::u16string* path)
{
    if (const char16_t* root = lwreg::RootName(ULONG_PTR(key))) {
        *path = root;
        return true;
    }
    std::lock_guard<std::mutex> guard(handlesMutex);
    auto it = OpenHandles().find(ULONG_PTR(key));
    if (it == OpenHandles().end())
        return false;
    *path = it->second;
    return true;
}

HKEY NewHandle(std::u16string path)
{
    std::lock_guard<std::mutex> guard(handlesMutex);
    lastHandle += 4;
    OpenHandles().emplace(lastHandle, std::move(path));
    return HKEY(lastHandle);
}

std::u16string_view View(LPCWSTR text)
{
    return text ? std::u16string_view(text) : std::u16string_view();
}

// The full path of `subKey` below `key`; one trailing backslash is allowed,
// as Windows allows it.
LONG JoinPath(HKEY key, LPCWSTR subKey, std::u16string* full)
{
    std::u16string base;
    if (!KeyPath(key, &base))
        return ERROR_INVALID_HANDLE;
    std::u16string_view sub = View(subKey);
    if (!sub.empty() && sub.back() == u'\\')
        sub.remove_suffix(1);
    if (sub.empty()) {
        *full = base;
        return ERROR_SUCCESS;
    }
    std::u16string joined = base + u'\\' + std::u16string(sub);
    return lwreg::ValidKeyPath(joined, full) ? ERROR_SUCCESS : ERROR_BAD_PATHNAME;
}

bool IsRootPath(std::u16string_view path)
{
    return path.find(u'\\') == std::u16string_view::npos;
}

bool UnderClassesRoot(std::u16string_view path)
{
    return lwreg::EqualNames(path.substr(0, path.find(u'\\')), lwreg::RootName(0x80000000));
}

}  // namespace

LONG RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR keyClass, DWORD options, REGSAM desired,
                     LPSECURITY_ATTRIBUTES security, PHKEY result, LPDWORD disposition)
{
    if (!result)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    std::u16string path;
    if (LONG error = JoinPath(key, subKey, &path))
        return error;

    // Opening an existing key writes nothing, so it works on a read-only hive.
    lwreg::Hive hive;
    if (LONG error = lwreg::LoadHive(&hive))
        return error;
    bool created = false;
    if (!IsRootPath(path) && !hive.Exists(path)) {
        LONG error = lwreg::UpdateHive(
            [&](lwreg::Hive& h, bool* changed) {
                // Another process may have made it since we looked.
                if (!h.Exists(path))
                    h.Create(path, &created);
                *changed = created;
                return ERROR_SUCCESS;
            },
            [&](const lwreg::Hive& saved) {
                if (created && UnderClassesRoot(path))
                    lwreg::SyncDesktop(saved);
            });
        if (error)
            return error;
    }
    if (disposition)
        *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    *result = NewHandle(std::move(path));
    return ERROR_SUCCESS;
}

LONG RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM desired, PHKEY result)
{
    if (!result)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    std::u16string path;
    if (LONG error = JoinPath(key, subKey, &path))
        return error;
    lwreg::Hive hive;
    if (LONG error = lwreg::LoadHive(&hive))
        return error;
    if (!IsRootPath(path) && !hive.Exists(path))
        return ERROR_FILE_NOT_FOUND;
    *result = NewHandle(std::move(path));
    return ERROR_SUCCESS;
}

LONG RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD reserved, DWORD type, const BYTE* data, DWORD size)
{
    std::u16string path;
    if (!KeyPath(key, &path))
        return ERROR_INVALID_HANDLE;
    if ((!data && size) || size > LW_REG_MAX_DATA)
        return ERROR_INVALID_PARAMETER;
    size_t nameLength = 0;
    while (valueName && valueName[nameLength] && nameLength <= LW_REG_MAX_VALUE_NAME)
        ++nameLength;
    if (nameLength > LW_REG_MAX_VALUE_NAME)
        return ERROR_INVALID_PARAMETER;
    std::vector<BYTE> bytes(data, data + size);
    std::u16string_view name = View(valueName);
    return lwreg::UpdateHive(
        [&](lwreg::Hive& h, bool* changed) {
            bool created = false;
            lwreg::Key& k = h.Create(path, &created);
            *changed = k.SetValue(name, type, bytes) || created;
            return ERROR_SUCCESS;
        },
        [&](const lwreg::Hive& saved) {
            // Even an unchanged value is told again: the desktop's copy may
            // have been removed since, and associating again restores it.
            if (UnderClassesRoot(path))
                lwreg::SyncDesktop(saved);
        });
}

LONG RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size)
{
    std::u16string path;
    if (!KeyPath(key, &path))
        return ERROR_INVALID_HANDLE;
    if (data && !size)
        return ERROR_INVALID_PARAMETER;
    lwreg::Hive hive;
    if (LONG error = lwreg::LoadHive(&hive))
        return error;
    const lwreg::Key* k = hive.Find(path);
    const lwreg::Value* value = k ? k->FindValue(View(valueName)) : nullptr;
    if (!value)
        return ERROR_FILE_NOT_FOUND;
    DWORD needed = DWORD(value->data.size());
    if (type)
        *type = value->type;
    if (data) {
        if (*size < needed) {
            *size = needed;
            return ERROR_MORE_DATA;
        }
        std::copy(value->data.begin(), value->data.end(), data);
    }
    if (size)
        *size = needed;
    return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key)
{
    if (lwreg::RootName(ULONG_PTR(key)))
        return ERROR_SUCCESS;
    std::lock_guard<std::mutex> guard(handlesMutex);
    return OpenHandles().erase(ULONG_PTR(key)) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}
