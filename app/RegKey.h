// One open registry key, for one sequence of operations; normally a local.
#pragma once

#include <windows.h>

#include "WideString.h"

class RegKey {
public:
    // With `create` set, creates the key or opens it when it exists (its
    // disposition is kept); otherwise opens an existing key. Reports nothing:
    // when the key cannot be had, the wrapper holds no handle and every
    // operation fails.
    RegKey(HKEY root, LPCWSTR subKey, BOOL create);
    virtual ~RegKey();

    // FALSE when no key is open; otherwise closes it and returns TRUE.
    BOOL Close();
    // Writes `text` with its terminator as a REG_SZ value; a null name is the
    // key's default value. FALSE for a null text or when the registry refuses.
    BOOL SetString(LPCWSTR valueName, LPCWSTR text);
    // The REG_SZ value's text. A value that is missing or cannot be read is
    // created with `defaultText` when one is given, which is then returned;
    // a value of another type gives `defaultText` and is left alone. Without a
    // default the result is an empty string.
    WideString QueryString(LPCWSTR valueName, LPCWSTR defaultText);

private:
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;

    HKEY handle;
    DWORD disposition;
};
