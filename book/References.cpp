// Character references in contents titles. Some books write their titles in
// references throughout: an htm2chm book in Russian holds "&Egrave;&igrave;..."
// (the Latin-1 names of its cp1251 bytes), which a device showed in Russian
// because its help system turned each reference into a byte of the book's code
// page.
#include "References.h"

#include <algorithm>

#include "Unicode.h"

namespace {

// The longest name of HTML 4's references ("thetasym").
constexpr size_t kLongestName = 8;
constexpr DWORD kReplacement = 0xFFFD;
constexpr DWORD kLastCodePoint = 0x10FFFF;

bool IsAsciiLetterOrDigit(WCHAR c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

int HexDigit(WCHAR c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The value of the named reference whose name is `length` units at `name`,
// or 0: HTML 4's names, and &Dstrok;, which htm2chm writes for byte 0xD0 (its
// capital D with a stroke looks as Latin-1's capital eth there does), read as
// that eth.
DWORD NamedValue(LPCWSTR name, size_t length)
{
    static const WCHAR kDstrok[] = u"Dstrok";
    if (length == 6 && std::equal(name, name + length, kDstrok))
        return 0xD0;
    return NamedCharacter(name, length);
}

// Reads the reference that starts at `text` ('&'). False when there is none
// there; else its code point and the units it takes.
bool ReadReference(LPCWSTR text, DWORD* codePoint, size_t* used, bool* numeric)
{
    size_t at = 1;
    *numeric = text[at] == '#';
    if (!*numeric) {
        while (at <= kLongestName && IsAsciiLetterOrDigit(text[at]))
            ++at;
        if (at == 1 || text[at] != ';')
            return false;
        *codePoint = NamedValue(text + 1, at - 1);
        *used = at + 1;
        return *codePoint != 0;
    }
    ++at;
    int base = 10;
    if (text[at] == 'x' || text[at] == 'X') {
        base = 16;
        ++at;
    }
    size_t first = at;
    DWORD value = 0;
    for (int digit; (digit = HexDigit(text[at])) >= 0 && digit < base; ++at) {
        if (value <= kLastCodePoint)  // past it the value only has to stay past it
            value = value * base + digit;
    }
    if (at == first)
        return false;
    if (text[at] == ';')
        ++at;
    *used = at;
    *codePoint = value == 0 || value > kLastCodePoint || (value >= 0xD800 && value <= 0xDFFF) ? kReplacement : value;
    return true;
}

// Whether the references to U+0080..U+00FF stand for bytes of `codePage`.
bool BytesOfCodePage(UINT codePage)
{
    CPINFO info = {};
    UINT resolved = codePage == CP_ACP ? GetACP() : codePage;
    return resolved != 1252 && GetCPInfo(resolved, &info) && info.MaxCharSize == 1;
}

WCHAR ByteIn(UINT codePage, DWORD byte)
{
    char in = static_cast<char>(byte);
    WCHAR out = 0;
    return MultiByteToWideChar(codePage, 0, &in, 1, &out, 1) == 1 ? out : static_cast<WCHAR>(byte);
}

}  // namespace

size_t DecodeReferences(LPCWSTR text, UINT codePage, LPWSTR shown, size_t size)
{
    if (size == 0)
        return 0;
    int bytes = -1;  // whether references stand for bytes: asked at the first that needs it
    size_t written = 0;
    while (*text) {
        DWORD codePoint = *text, reference = 0;
        size_t used = 1, length = 0;
        bool numeric = false;
        if (*text == '&' && ReadReference(text, &reference, &length, &numeric)) {
            codePoint = reference;
            used = length;
            if (codePoint >= 0x80 && codePoint <= 0xFF) {
                if (bytes < 0)
                    bytes = BytesOfCodePage(codePage);
                if (bytes)
                    codePoint = ByteIn(codePage, codePoint);
                else if (numeric && codePoint <= 0x9F)
                    codePoint = ByteIn(1252, codePoint);
            }
        }
        WCHAR units[2];
        size_t count = 1;
        if (codePoint > 0xFFFF) {
            units[0] = static_cast<WCHAR>(0xD800 + ((codePoint - 0x10000) >> 10));
            units[1] = static_cast<WCHAR>(0xDC00 + ((codePoint - 0x10000) & 0x3FF));
            count = 2;
        } else {
            units[0] = static_cast<WCHAR>(codePoint);
            // A pair of the text itself goes whole or not at all.
            if (codePoint >= 0xD800 && codePoint <= 0xDBFF && text[1] >= 0xDC00 && text[1] <= 0xDFFF) {
                units[1] = text[1];
                count = used = 2;
            }
        }
        if (written + count >= size)
            break;
        for (size_t i = 0; i < count; ++i)
            shown[written++] = units[i];
        text += used;
    }
    shown[written] = 0;
    return written;
}
