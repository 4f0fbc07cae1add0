#include "RegKey.h"

RegKey::RegKey(HKEY root, LPCWSTR subKey, BOOL create) : handle(nullptr), disposition(0)
{
    if (create) {
        if (RegCreateKeyExW(root, subKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle,
                            &disposition) != ERROR_SUCCESS)
            handle = nullptr;
    } else {
        if (RegOpenKeyExW(root, subKey, 0, KEY_ALL_ACCESS, &handle) != ERROR_SUCCESS)
            handle = nullptr;
    }
}

RegKey::~RegKey()
{
    if (handle)
        Close();
}

BOOL RegKey::Close()
{
    if (!handle)
        return FALSE;
    RegCloseKey(handle);
    handle = nullptr;
    return TRUE;
}

BOOL RegKey::SetString(LPCWSTR valueName, LPCWSTR text)
{
    if (!text)
        return FALSE;
    size_t units = wcslen(text) + 1;  // the terminator is part of the value
    if (units > 0x7FFFFFFFu / sizeof(WCHAR))
        return FALSE;
    return RegSetValueExW(handle, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                          DWORD(units * sizeof(WCHAR))) == ERROR_SUCCESS;
}

WideString RegKey::QueryString(LPCWSTR valueName, LPCWSTR defaultText)
{
    DWORD type = REG_SZ;
    DWORD size = 0;
    if (RegQueryValueExW(handle, valueName, nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
        if (type != REG_SZ)
            return WideString(defaultText ? defaultText : u"");
        WideString text;
        // The size is in bytes, so size + 1 characters is ample room.
        LPWSTR room = text.GetBuffer(size + 1);
        if (room) {
            // One unit stays zero, so a value stored without its terminator
            // still ends inside the buffer.
            DWORD roomBytes = (text.Capacity() - 1) * sizeof(WCHAR);
            if (RegQueryValueExW(handle, valueName, nullptr, &type, reinterpret_cast<BYTE*>(room),
                                 &roomBytes) == ERROR_SUCCESS) {
                text.ReleaseBuffer(-1);
                return text;
            }
        }
    }
    if (defaultText) {
        SetString(valueName, defaultText);
        return WideString(defaultText);
    }
    return WideString(u"");
}
