// The charset a page or contents file declares for itself, read from its raw
// bytes before it is converted. Books of every language carry pages whose
// declaration says more than the book's language does: UTF-8 pages in
// Chinese books, Big5 pages in a book marked English.
#include "Charset.h"

#include <strings.h>

#include <cstring>

namespace {

// Only the head of a text is searched, as browsers search it: a declaration
// further in would come after text already shown in another charset.
constexpr size_t kDeclarationWindow = 1024;

struct Charset {
    const char* name;
    UINT codePage;
};

const Charset kCharsets[] = {
    {"utf-8", 65001},
    {"gb2312", 936},        {"gbk", 936},           {"x-gbk", 936},     {"gb18030", 54936},
    {"big5", 950},          {"big5-hkscs", 950},
    {"shift_jis", 932},     {"shift-jis", 932},     {"sjis", 932},      {"windows-31j", 932},
    {"euc-kr", 949},        {"ks_c_5601-1987", 949},
    {"windows-1250", 1250}, {"windows-1251", 1251}, {"windows-1252", 1252}, {"windows-1253", 1253},
    {"windows-1254", 1254}, {"windows-1255", 1255}, {"windows-1256", 1256}, {"windows-1257", 1257},
    {"windows-1258", 1258},
    {"iso-8859-1", 1252},   {"latin1", 1252},       {"us-ascii", 1252},
    {"koi8-r", 20866},      {"koi8-u", 21866},
};

bool IsSpace(BYTE c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

// A span of the text's bytes.
struct Span {
    const BYTE* at = nullptr;
    size_t length = 0;

    bool Is(const char* lower) const
    {
        return at && length == strlen(lower) && strncasecmp((const char*)at, lower, length) == 0;
    }
};

// The attributes of one tag, read from just after its name. Everything stays
// inside [at, end): a tag that runs past the end is cut, and declares nothing.
class TagReader {
public:
    TagReader(const BYTE* at, const BYTE* end) : at(at), end(end) {}

    // The next attribute; false at the tag's end or where the text is cut.
    bool Next(Span* name, Span* value)
    {
        while (at < end && (IsSpace(*at) || *at == '/'))
            ++at;
        if (at >= end || *at == '>')
            return false;
        name->at = at;
        while (at < end && !IsSpace(*at) && *at != '=' && *at != '>' && *at != '/')
            ++at;
        name->length = at - name->at;
        *value = {};
        const BYTE* after = Skip(at);
        if (after >= end || *after != '=')
            return at < end;
        at = Skip(after + 1);
        if (at >= end)
            return false;
        if (*at == '"' || *at == '\'') {
            const BYTE* close = static_cast<const BYTE*>(memchr(at + 1, *at, end - at - 1));
            if (!close)
                return false;
            *value = {at + 1, (size_t)(close - at - 1)};
            at = close + 1;
            return true;
        }
        value->at = at;
        while (at < end && !IsSpace(*at) && *at != '>')
            ++at;
        value->length = at - value->at;
        return at < end;
    }

private:
    const BYTE* Skip(const BYTE* from) const
    {
        while (from < end && IsSpace(*from))
            ++from;
        return from;
    }

    const BYTE* at;
    const BYTE* end;
};

// The charset named by a Content-Type value ("text/html; charset=big5"): the
// first "charset" followed by "=", its value quoted or up to ";" or a space.
Span CharsetOfContentType(Span content)
{
    const BYTE* end = content.at + content.length;
    for (const BYTE* at = content.at; at + 7 <= end; ++at) {
        if (strncasecmp((const char*)at, "charset", 7) != 0)
            continue;
        const BYTE* p = at + 7;
        while (p < end && IsSpace(*p))
            ++p;
        if (p >= end || *p != '=')
            continue;
        ++p;
        while (p < end && IsSpace(*p))
            ++p;
        if (p < end && (*p == '"' || *p == '\'')) {
            const BYTE* close = static_cast<const BYTE*>(memchr(p + 1, *p, end - p - 1));
            return close ? Span{p + 1, (size_t)(close - p - 1)} : Span{};
        }
        const BYTE* value = p;
        while (p < end && !IsSpace(*p) && *p != ';')
            ++p;
        return {value, (size_t)(p - value)};
    }
    return {};
}

// The charset a meta tag declares, by its charset attribute or by an
// http-equiv="Content-Type" with its content; none (a null span) otherwise.
Span DeclaredByMeta(const BYTE* attributes, const BYTE* end)
{
    TagReader tag(attributes, end);
    Span name, value, httpEquiv, content;
    while (tag.Next(&name, &value)) {
        if (name.Is("charset") && value.length > 0)
            return value;
        if (name.Is("http-equiv"))
            httpEquiv = value;
        else if (name.Is("content"))
            content = value;
    }
    if (httpEquiv.Is("content-type") && content.at)
        return CharsetOfContentType(content);
    return {};
}

UINT CodePageOfCharset(Span name)
{
    for (const Charset& charset : kCharsets) {
        if (name.Is(charset.name))
            return charset.codePage;
    }
    return 0;
}

} // namespace

UINT DeclaredCodePage(const BYTE* head, size_t length, size_t* markLength)
{
    size_t nameAt, nameLength;
    return DeclaredCodePage(head, length, markLength, &nameAt, &nameLength);
}

UINT DeclaredCodePage(const BYTE* head, size_t length, size_t* markLength, size_t* nameAt, size_t* nameLength)
{
    *markLength = 0;
    *nameAt = *nameLength = 0;
    if (length >= 3 && memcmp(head, "\xEF\xBB\xBF", 3) == 0) {
        *markLength = 3;
        return CP_UTF8;
    }
    const BYTE* end = head + (length < kDeclarationWindow ? length : kDeclarationWindow);
    for (const BYTE* at = head; (at = static_cast<const BYTE*>(memchr(at, '<', end - at))) != nullptr;) {
        if (end - at >= 4 && memcmp(at, "<!--", 4) == 0) {
            // A meta tag inside a comment declares nothing.
            const BYTE* close = static_cast<const BYTE*>(memmem(at + 4, end - at - 4, "-->", 3));
            if (!close)
                return 0;
            at = close + 3;
            continue;
        }
        if (end - at >= 6 && strncasecmp((const char*)at + 1, "meta", 4) == 0 &&
            (IsSpace(at[5]) || at[5] == '/')) {
            Span charset = DeclaredByMeta(at + 5, end);
            if (charset.at) {
                *nameAt = charset.at - head;
                *nameLength = charset.length;
                UINT codePage = CodePageOfCharset(charset);
                return codePage && IsValidCodePage(codePage) ? codePage : 0;
            }
        }
        ++at;
    }
    return 0;
}
