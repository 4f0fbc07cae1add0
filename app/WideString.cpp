#include "WideString.h"

#include <cstring>

WideString::WideString(LPCWSTR text) : buffer(nullptr), length(0), capacity(0)
{
    Assign(text);
}

WideString::WideString(const WideString& other) : buffer(nullptr), length(0), capacity(0)
{
    Assign(other.buffer);
}

WideString& WideString::operator=(const WideString& other)
{
    if (this != &other)
        Assign(other.buffer);
    return *this;
}

WideString::~WideString()
{
    delete[] buffer;
}

void WideString::Assign(LPCWSTR text)
{
    if (!text) {
        length = 0;
        delete[] buffer;
        buffer = nullptr;
        // With the buffer gone its room is gone too; Reserve must not copy
        // from a buffer that no longer exists.
        capacity = 0;
        return;
    }
    size_t textLength = wcslen(text);
    if (textLength > 0xFFFFFFEFu || !Reserve(DWORD(textLength)))
        return;
    // The text may lie inside our own buffer; Reserve kept it in place then.
    memmove(buffer, text, (textLength + 1) * sizeof(WCHAR));
    length = DWORD(textLength);
}

BOOL WideString::Reserve(DWORD n)
{
    if (buffer && capacity >= DWORD(n + 1) && n != 0xFFFFFFFFu)
        return TRUE;
    // n + 16 must not wrap, or the copy below would run past a tiny buffer.
    if (n > 0xFFFFFFFFu - 16)
        return FALSE;
    DWORD newCapacity = n + 16;
    WCHAR* grown = new WCHAR[newCapacity]();
    if (buffer)
        memcpy(grown, buffer, capacity * sizeof(WCHAR));
    delete[] buffer;
    buffer = grown;
    capacity = newCapacity;
    return TRUE;
}

LPWSTR WideString::GetBuffer(DWORD n)
{
    if (n == 0xFFFFFFFFu || !Reserve(n + 1))
        return nullptr;
    return buffer;
}

DWORD WideString::ReleaseBuffer(int n)
{
    if (!buffer || capacity == 0)
        return 0;
    if (n < 0) {
        // Bounded by the room we own: a caller that wrote no terminator
        // gets its text cut at the last unit instead of a scan past the end.
        DWORD found = 0;
        while (found < capacity - 1 && buffer[found] != 0)
            ++found;
        length = found;
    } else {
        length = DWORD(n) < capacity - 1 ? DWORD(n) : capacity - 1;
    }
    buffer[length] = 0;
    return length;
}

BOOL WideString::Equals(LPCWSTR text) const
{
    LPCWSTR mine = buffer ? buffer : u"";
    return _wcsicmp(mine, text ? text : u"") == 0;
}
