// Code-page conversion. UTF-8 and the single-byte code pages are converted by
// hand (a table built once through iconv) because whole pages and contents
// files pass through here; the double-byte code pages go through iconv.
#include <winbase.h>
#include <winerror.h>
#include <winnls.h>

#include "lwsettings.h"

#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <iconv.h>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "UTF-16LE is taken as the native WCHAR order");

namespace {

constexpr WCHAR kReplacement = 0xFFFD;

struct LocaleCodePage {
    const char* language;
    UINT codePage;
};

// The ANSI code page that Windows gives each language (territory where it matters).
const LocaleCodePage kLocaleCodePages[] = {
    {"zh_TW", 950}, {"zh_HK", 950}, {"zh_MO", 950}, {"zh", 936},  {"ja", 932},   {"ko", 949},
    {"ru", 1251},   {"uk", 1251},   {"be", 1251},   {"bg", 1251}, {"sr", 1251},  {"mk", 1251},
    {"kk", 1251},   {"el", 1253},   {"tr", 1254},   {"az", 1254}, {"he", 1255},  {"iw", 1255},
    {"ar", 1256},   {"fa", 1256},   {"ur", 1256},   {"et", 1257}, {"lt", 1257},  {"lv", 1257},
    {"vi", 1258},   {"th", 874},    {"pl", 1250},   {"cs", 1250}, {"sk", 1250},  {"hu", 1250},
    {"sl", 1250},   {"hr", 1250},   {"ro", 1250},   {"sq", 1250}, {"bs", 1250},
};

UINT CodePageFromLocale()
{
    const char* locale = nullptr;
    for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = getenv(name);
        if (value && *value) {
            locale = value;
            break;
        }
    }
    if (!locale)
        return 1252;
    for (const LocaleCodePage& entry : kLocaleCodePages) {
        size_t n = strlen(entry.language);
        if (strncmp(locale, entry.language, n) == 0 && (locale[n] == 0 || strchr("_.@", locale[n])))
            return entry.codePage;
    }
    return 1252;
}

bool IsMultiByte(UINT codePage)
{
    switch (codePage) {
    case 932: case 936: case 949: case 950: case 1361: case 20932: case 51949: case 54936:
        return true;
    default:
        return false;
    }
}

std::string IconvName(UINT codePage)
{
    switch (codePage) {
    case 20866: return "KOI8-R";
    case 21866: return "KOI8-U";
    case 932: return "CP932";
    case 936: return "GBK";
    case 949: return "CP949";
    case 950: return "BIG5";
    case 1361: return "JOHAB";
    case 20127: return "ASCII";
    case 20932: return "EUC-JP";
    case 51949: return "EUC-KR";
    case 54936: return "GB18030";
    default:
        if (codePage >= 28591 && codePage <= 28606)
            return "ISO-8859-" + std::to_string(codePage - 28590);
        return "CP" + std::to_string(codePage);
    }
}

// A single-byte code page: one UTF-16 unit per byte. Bytes that the code page
// leaves undefined map to the unit of the same value, as Windows does.
struct ByteTable {
    WCHAR toWide[256];
    bool asciiSame = true;  // bytes below 0x80 are themselves (every ANSI code page)
    std::unordered_map<WCHAR, char> toByte;
};

std::unique_ptr<ByteTable> BuildByteTable(UINT codePage)
{
    iconv_t cd = iconv_open("UTF-16LE", IconvName(codePage).c_str());
    if (cd == (iconv_t)-1)
        return nullptr;
    auto table = std::make_unique<ByteTable>();
    for (int b = 255; b >= 0; --b) {
        char in = (char)b;
        WCHAR out[2] = {};
        char* inPtr = &in;
        char* outPtr = (char*)out;
        size_t inLeft = 1, outLeft = sizeof out;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        bool ok = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != (size_t)-1 && outLeft == 2;
        table->toWide[b] = ok ? out[0] : (WCHAR)b;
        table->toByte[table->toWide[b]] = (char)b;
        table->asciiSame &= b >= 0x80 || table->toWide[b] == b;
    }
    iconv_close(cd);
    return table;
}

const ByteTable* ByteTableFor(UINT codePage)
{
    static std::mutex lock;
    static std::unordered_map<UINT, std::unique_ptr<ByteTable>> tables;
    std::lock_guard<std::mutex> guard(lock);
    auto it = tables.find(codePage);
    if (it == tables.end())
        it = tables.emplace(codePage, BuildByteTable(codePage)).first;
    return it->second.get();
}

// Collects converted units into a bounded buffer, or only counts them when
// there is no buffer.
template <typename Unit>
struct Output {
    Unit* buffer;
    int capacity;
    int count = 0;
    bool overflow = false;
    bool strict = false;   // MB_ERR_INVALID_CHARS: an invalid sequence ends the conversion
    bool invalid = false;

    void Put(Unit u)
    {
        if (buffer) {
            if (count >= capacity) {
                overflow = true;
                return;
            }
            buffer[count] = u;
        }
        ++count;
    }
};

// Whole pages and contents files pass through here, nearly all ASCII: eight
// bytes at a time are widened while none of them has its high bit set.
inline bool EightAscii(const unsigned char* in)
{
    uint64_t word;
    memcpy(&word, in, sizeof word);
    return (word & 0x8080808080808080ull) == 0;
}

// Widens a run of ASCII bytes from `in` (at most `length`); returns how many.
size_t WidenAscii(const unsigned char* in, size_t length, WCHAR* out)
{
    size_t i = 0;
#ifdef __SSE2__
    const __m128i zero = _mm_setzero_si128();
    while (i + 16 <= length) {
        __m128i bytes = _mm_loadu_si128((const __m128i*)(in + i));
        if (_mm_movemask_epi8(bytes) != 0)
            break;
        _mm_storeu_si128((__m128i*)(out + i), _mm_unpacklo_epi8(bytes, zero));
        _mm_storeu_si128((__m128i*)(out + i + 8), _mm_unpackhi_epi8(bytes, zero));
        i += 16;
    }
#endif
    while (i + 8 <= length && EightAscii(in + i)) {
        for (int k = 0; k < 8; ++k)
            out[i + k] = in[i + k];
        i += 8;
    }
    while (i < length && in[i] < 0x80) {
        out[i] = in[i];
        ++i;
    }
    return i;
}

void DecodeUtf8(const unsigned char* in, size_t length, Output<WCHAR>& out)
{
    size_t i = 0;
    while (i < length && !out.overflow) {
        unsigned c = in[i];
        if (c < 0x80) {
            // A run of ASCII straight into the buffer when it surely fits.
            if (out.buffer && (size_t)(out.capacity - out.count) >= length - i) {
                size_t n = WidenAscii(in + i, length - i, out.buffer + out.count);
                out.count += (int)n;
                i += n;
                continue;
            }
            if (!out.buffer) {
                size_t n = 0;
                while (i + n < length && in[i + n] < 0x80)
                    ++n;
                out.count += (int)n;
                i += n;
                continue;
            }
            out.Put((WCHAR)c);
            ++i;
            continue;
        }
        int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : -1;
        unsigned cp = extra == 3 ? c & 7 : extra == 2 ? c & 15 : c & 31;
        bool valid = extra > 0 && c < 0xF5;
        for (int k = 1; valid && k <= extra; ++k) {
            if (i + k >= length || (in[i + k] & 0xC0) != 0x80)
                valid = false;
            else
                cp = (cp << 6) | (in[i + k] & 0x3F);
        }
        // Overlong forms and encoded surrogates are invalid too.
        if (valid && ((extra == 1 && cp < 0x80) || (extra == 2 && cp < 0x800) ||
                      (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp <= 0xDFFF)))
            valid = false;
        if (!valid) {
            if (out.strict) {
                out.invalid = true;
                return;
            }
            out.Put(kReplacement);
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.Put((WCHAR)(0xD800 + (cp >> 10)));
            out.Put((WCHAR)(0xDC00 + (cp & 0x3FF)));
        } else {
            out.Put((WCHAR)cp);
        }
        i += extra + 1;
    }
}

// The number of units below 0x80 at the start of `in` (at most `length`).
size_t AsciiRun(const WCHAR* in, size_t length)
{
    size_t n = 0;
#ifdef __SSE2__
    const __m128i high = _mm_set1_epi16((short)0xFF80);
    while (n + 8 <= length) {
        __m128i units = _mm_loadu_si128((const __m128i*)(in + n));
        if (_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(units, high), _mm_setzero_si128())) != 0xFFFF)
            break;
        n += 8;
    }
#endif
    while (n < length && in[n] < 0x80)
        ++n;
    return n;
}

void EncodeUtf8(const WCHAR* in, size_t length, Output<char>& out)
{
    for (size_t i = 0; i < length && !out.overflow; ++i) {
        // A run of ASCII: counted, or copied when it surely fits.
        if (in[i] < 0x80) {
            size_t n = AsciiRun(in + i, length - i);
            if (!out.buffer) {
                out.count += (int)n;
                i += n - 1;
                continue;
            }
            if ((size_t)(out.capacity - out.count) >= n) {
                size_t k = 0;
#ifdef __SSE2__
                for (; k + 8 <= n; k += 8) {
                    __m128i units = _mm_loadu_si128((const __m128i*)(in + i + k));
                    _mm_storel_epi64((__m128i*)(out.buffer + out.count + k), _mm_packus_epi16(units, units));
                }
#endif
                for (; k < n; ++k)
                    out.buffer[out.count + k] = (char)in[i + k];
                out.count += (int)n;
                i += n - 1;
                continue;
            }
        }
        unsigned cp = in[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < length && in[i + 1] >= 0xDC00 && in[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (in[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = kReplacement;
        }
        if (cp < 0x80) {
            out.Put((char)cp);
        } else if (cp < 0x800) {
            out.Put((char)(0xC0 | (cp >> 6)));
            out.Put((char)(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.Put((char)(0xE0 | (cp >> 12)));
            out.Put((char)(0x80 | ((cp >> 6) & 0x3F)));
            out.Put((char)(0x80 | (cp & 0x3F)));
        } else {
            out.Put((char)(0xF0 | (cp >> 18)));
            out.Put((char)(0x80 | ((cp >> 12) & 0x3F)));
            out.Put((char)(0x80 | ((cp >> 6) & 0x3F)));
            out.Put((char)(0x80 | (cp & 0x3F)));
        }
    }
}

// Runs iconv over the whole input; an invalid or cut sequence becomes one
// `replacement` unit and conversion goes on after its first byte.
template <typename OutUnit, typename InUnit>
bool ConvertWithIconv(const char* toName, const char* fromName, const InUnit* in, size_t inUnits,
                      Output<OutUnit>& out, OutUnit replacement)
{
    iconv_t cd = iconv_open(toName, fromName);
    if (cd == (iconv_t)-1)
        return false;
    char* inPtr = (char*)in;
    size_t inLeft = inUnits * sizeof(InUnit);
    OutUnit chunk[1024];
    while (inLeft > 0 && !out.overflow) {
        char* outPtr = (char*)chunk;
        size_t outLeft = sizeof chunk;
        size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        int error = r == (size_t)-1 ? errno : 0;
        for (OutUnit* p = chunk; p < (OutUnit*)outPtr; ++p)
            out.Put(*p);
        if ((error == EILSEQ || error == EINVAL) && out.strict) {
            out.invalid = true;
            break;
        }
        if (error == EILSEQ || error == EINVAL) {
            out.Put(replacement);
            size_t skip = error == EINVAL ? inLeft : sizeof(InUnit);
            inPtr += skip;
            inLeft -= skip;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        } else if (error && error != E2BIG) {
            break;
        }
    }
    iconv_close(cd);
    return true;
}

// The code page fixed by LEAFWISE_CODEPAGE, or 0. Read once: the device has
// one ANSI code page for the life of a process.
UINT FixedCodePage()
{
    static const UINT codePage = [] {
        const char* setting = getenv(LW_SETTING("CODEPAGE"));
        if (setting && *setting) {
            char* end = nullptr;
            unsigned long value = strtoul(setting, &end, 10);
            if (end && *end == 0 && value > 0 && value < 65536)
                return (UINT)value;
        }
        return 0u;
    }();
    return codePage;
}

bool IconvConverts(UINT codePage)
{
    iconv_t cd = iconv_open("UTF-16LE", IconvName(codePage).c_str());
    if (cd == (iconv_t)-1)
        return false;
    iconv_close(cd);
    return true;
}

struct LanguageCodePage {
    WORD language;  // a whole language id, or a primary language alone (below 0x400)
    UINT codePage;  // 0: the language has no ANSI code page
};

// The ANSI code page that Windows gives each language. Languages whose script
// depends on the sublanguage are listed whole first; the rest by primary language.
const LanguageCodePage kLanguageCodePages[] = {
    // Chinese: Taiwan, Hong Kong and Macao write traditional characters.
    {0x0404, 950}, {0x0C04, 950}, {0x1404, 950}, {0x7C04, 950}, {0x0804, 936}, {0x1004, 936}, {0x7804, 936},
    // Serbian, Bosnian, Azerbaijani, Uzbek and Mongolian in Cyrillic or in Latin letters.
    {0x0C1A, 1251}, {0x1C1A, 1251}, {0x281A, 1251}, {0x301A, 1251}, {0x201A, 1251}, {0x082C, 1251},
    {0x0843, 1251}, {0x0450, 1251}, {0x0850, 0}, {0x042C, 1254}, {0x0443, 1254},
    {0x1A, 1250},  // Croatian, and Serbian and Bosnian in Latin letters
    {0x04, 936}, {0x11, 932}, {0x12, 949},
    // Cyrillic
    {0x19, 1251}, {0x22, 1251}, {0x23, 1251}, {0x02, 1251}, {0x2F, 1251}, {0x3F, 1251}, {0x40, 1251},
    {0x44, 1251}, {0x28, 1251}, {0x6D, 1251}, {0x85, 1251},
    // Central European
    {0x05, 1250}, {0x0E, 1250}, {0x15, 1250}, {0x18, 1250}, {0x1B, 1250}, {0x1C, 1250}, {0x24, 1250},
    {0x42, 1250},
    {0x08, 1253},                                          // Greek
    {0x1F, 1254}, {0x2C, 1254}, {0x43, 1254},             // Turkish, Azerbaijani, Uzbek
    {0x0D, 1255},                                          // Hebrew
    {0x01, 1256}, {0x20, 1256}, {0x29, 1256}, {0x80, 1256}, {0x8C, 1256},  // Arabic script
    {0x25, 1257}, {0x26, 1257}, {0x27, 1257},             // Baltic
    {0x2A, 1258},                                          // Vietnamese
    {0x1E, 874},                                           // Thai
    // Western European and the other Latin-script languages
    {0x03, 1252}, {0x06, 1252}, {0x07, 1252}, {0x09, 1252}, {0x0A, 1252}, {0x0B, 1252}, {0x0C, 1252},
    {0x0F, 1252}, {0x10, 1252}, {0x13, 1252}, {0x14, 1252}, {0x16, 1252}, {0x17, 1252}, {0x21, 1252},
    {0x2D, 1252}, {0x2E, 1252}, {0x32, 1252}, {0x34, 1252}, {0x35, 1252}, {0x36, 1252}, {0x38, 1252},
    {0x3B, 1252}, {0x3C, 1252}, {0x3E, 1252}, {0x41, 1252}, {0x52, 1252}, {0x56, 1252}, {0x62, 1252},
    {0x64, 1252}, {0x68, 1252}, {0x6A, 1252}, {0x6B, 1252}, {0x6C, 1252}, {0x6E, 1252}, {0x6F, 1252},
    {0x70, 1252}, {0x7A, 1252}, {0x7E, 1252}, {0x82, 1252}, {0x83, 1252}, {0x84, 1252}, {0x86, 1252},
    {0x87, 1252}, {0x88, 1252}, {0x91, 1252}, {0x7F, 1252},  // the invariant locale
    // Languages whose scripts have no ANSI code page
    {0x2B, 0}, {0x37, 0}, {0x39, 0}, {0x45, 0}, {0x46, 0}, {0x47, 0}, {0x48, 0}, {0x49, 0}, {0x4A, 0},
    {0x4B, 0}, {0x4C, 0}, {0x4D, 0}, {0x4E, 0}, {0x4F, 0}, {0x51, 0}, {0x53, 0}, {0x54, 0}, {0x57, 0},
    {0x5A, 0}, {0x5B, 0}, {0x5E, 0}, {0x5D, 0}, {0x61, 0}, {0x65, 0}, {0x81, 0},
};

// The language's entry, or null when this platform does not know it.
const LanguageCodePage* FindLanguage(WORD language)
{
    for (const LanguageCodePage& entry : kLanguageCodePages) {
        if (entry.language == language)
            return &entry;
    }
    for (const LanguageCodePage& entry : kLanguageCodePages) {
        if (entry.language < 0x400 && entry.language == (language & 0x3FF))
            return &entry;
    }
    return nullptr;
}

} // namespace

UINT GetACP()
{
    static const UINT codePage = FixedCodePage() ? FixedCodePage() : CodePageFromLocale();
    return codePage;
}

BOOL IsValidCodePage(UINT codePage)
{
    if (codePage == CP_ACP || codePage == CP_UTF8)
        return TRUE;
    if (IsMultiByte(codePage))
        return IconvConverts(codePage);
    return ByteTableFor(codePage) != nullptr;
}

BOOL GetCPInfo(UINT codePage, LPCPINFO info)
{
    if (codePage == CP_ACP)
        codePage = GetACP();
    if (!info || !IsValidCodePage(codePage)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *info = CPINFO{};
    info->MaxCharSize = codePage == CP_UTF8 || codePage == 54936 ? 4 : IsMultiByte(codePage) ? 2 : 1;
    info->DefaultChar[0] = '?';
    return TRUE;
}

int GetLocaleInfoW(LCID locale, LCTYPE type, LPWSTR data, int size)
{
    if (type != LOCALE_IDEFAULTANSICODEPAGE) {
        SetLastError(ERROR_INVALID_FLAGS);
        return 0;
    }
    if (size < 0 || (size > 0 && !data)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    WORD language = (WORD)(locale & 0xFFFF);
    UINT codePage = 0;
    if (language == LOCALE_NEUTRAL || language == LOCALE_USER_DEFAULT || language == LOCALE_SYSTEM_DEFAULT) {
        codePage = GetACP();
    } else if (const LanguageCodePage* entry = FindLanguage(language)) {
        codePage = FixedCodePage() ? FixedCodePage() : entry->codePage;
    } else {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    char digits[8];
    int count = snprintf(digits, sizeof digits, "%u", codePage) + 1;
    if (size == 0)
        return count;
    if (size < count) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    for (int i = 0; i < count; ++i)
        data[i] = (WCHAR)digits[i];
    return count;
}

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR multiByte, int multiByteLength, LPWSTR wide,
                        int wideLength)
{
    if (!multiByte || multiByteLength == 0 || multiByteLength < -1 || wideLength < 0 ||
        (wideLength > 0 && !wide)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (codePage == CP_ACP)
        codePage = GetACP();
    size_t length = multiByteLength == -1 ? strlen(multiByte) + 1 : (size_t)multiByteLength;
    const unsigned char* in = (const unsigned char*)multiByte;
    Output<WCHAR> out{wideLength ? wide : nullptr, wideLength};
    out.strict = (flags & MB_ERR_INVALID_CHARS) != 0;

    if (codePage == CP_UTF8) {
        DecodeUtf8(in, length, out);
    } else if (!IsMultiByte(codePage)) {
        const ByteTable* table = ByteTableFor(codePage);
        if (!table) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        if (out.buffer && length > (size_t)wideLength) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return 0;
        }
        if (out.buffer) {
            for (size_t i = 0; i < length;) {
                if (table->asciiSame)
                    i += WidenAscii(in + i, length - i, wide + i);
                // Then the bytes up to the next ASCII run, through the table.
                for (; i < length && (in[i] >= 0x80 || !table->asciiSame); ++i)
                    wide[i] = table->toWide[in[i]];
            }
        }
        out.count = (int)length;
    } else if (!ConvertWithIconv<WCHAR, char>("UTF-16LE", IconvName(codePage).c_str(), multiByte, length,
                                               out, kReplacement)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (out.invalid) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
    }
    if (out.overflow) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    return out.count;
}

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideLength, LPSTR multiByte,
                        int multiByteLength, LPCSTR defaultChar, LPBOOL usedDefaultChar)
{
    if (!wide || wideLength == 0 || wideLength < -1 || multiByteLength < 0 ||
        (multiByteLength > 0 && !multiByte)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (codePage == CP_ACP)
        codePage = GetACP();
    size_t length = wideLength == -1 ? wcslen(wide) + 1 : (size_t)wideLength;
    Output<char> out{multiByteLength ? multiByte : nullptr, multiByteLength};
    char fallback = defaultChar && *defaultChar ? *defaultChar : '?';
    bool usedDefault = false;

    if (codePage == CP_UTF8) {
        EncodeUtf8(wide, length, out);
    } else if (!IsMultiByte(codePage)) {
        const ByteTable* table = ByteTableFor(codePage);
        if (!table) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        for (size_t i = 0; i < length && !out.overflow; ++i) {
            auto it = table->toByte.find(wide[i]);
            usedDefault |= it == table->toByte.end();
            out.Put(it == table->toByte.end() ? fallback : it->second);
        }
    } else if (!ConvertWithIconv<char, WCHAR>(IconvName(codePage).c_str(), "UTF-16LE", wide, length, out,
                                               fallback)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (usedDefaultChar)
        *usedDefaultChar = usedDefault;
    if (out.overflow) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    return out.count;
}
