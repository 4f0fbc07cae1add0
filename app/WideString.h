// A small owning UTF-16 string: registry values come back in it and the image
// view keeps a path in it.
#pragma once

#include <windows.h>

class WideString {
public:
    // Starts without a buffer, then assigns `text` (which may be null).
    WideString(LPCWSTR text = nullptr);
    WideString(const WideString& other);
    WideString& operator=(const WideString& other);
    virtual ~WideString();

    // A null text frees the buffer; any other text is copied with its
    // terminator (an empty text keeps a buffer holding only the terminator).
    void Assign(LPCWSTR text);
    // Makes room for n characters and a terminator. Storage only grows, and
    // always to n + 16 characters; the text is kept. Returns TRUE, or FALSE
    // (nothing changed) when n + 16 would not fit in 32 bits.
    BOOL Reserve(DWORD n);
    // Room for n characters plus a terminator, for the caller to fill in;
    // follow with ReleaseBuffer. Null only when Reserve refused n.
    LPWSTR GetBuffer(DWORD n);
    // Fixes the length after GetBuffer: a negative n measures up to the first
    // terminator; otherwise the text is cut at min(n, capacity - 1). Returns
    // the length, or 0 when there is no buffer.
    DWORD ReleaseBuffer(int n = -1);
    // Compares ignoring case; a missing buffer and a null text are both empty.
    BOOL Equals(LPCWSTR text) const;

    // The text, or null when there is none.
    LPCWSTR Buffer() const { return buffer; }
    DWORD Length() const { return length; }
    DWORD Capacity() const { return capacity; }

private:
    WCHAR* buffer;
    DWORD length;
    DWORD capacity;
};
