// A light scan of the page in the manner of Qt's HTML parser: tags with their
// quoted attributes, comments, entities, and the raw text of script and style
// (which Qt skips cheaply). It counts what makes Qt's import and layout slow
// and finds where the page must be cut, and where its body begins.
#include "bounds.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace lwhtml {
namespace {

constexpr size_t kNameSize = 16; // longer tag names match none of the lists

bool IsAsciiLetter(char16_t c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsDigit(char16_t c)
{
    return c >= '0' && c <= '9';
}

bool IsHexLetter(char16_t c)
{
    return (c | 0x20) >= 'a' && (c | 0x20) <= 'f';
}

bool IsSpace(char32_t c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

// Characters the line breaker may break after without a space: ideographs,
// kana, hangul and the full-width forms (a surrogate stands for the
// supplementary ideographs).
bool BreaksLine(char32_t c)
{
    return IsSpace(c) || c == 0x200B || (c >= 0x1100 && c <= 0x11FF) || (c >= 0x2E80 && c <= 0xA4CF) ||
           (c >= 0xAC00 && c <= 0xD7AF) || (c >= 0xD800 && c <= 0xDFFF) || (c >= 0xF900 && c <= 0xFAFF) ||
           (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFFEF);
}

bool OneOf(const char* name, std::initializer_list<const char*> names)
{
    for (const char* n : names)
        if (strcmp(name, n) == 0)
            return true;
    return false;
}

// Elements whose start or end begins a new paragraph of the layout.
bool IsBlock(const char* name)
{
    return OneOf(name, {"address", "blockquote", "body", "caption", "center", "dd", "div", "dl", "dt", "h1", "h2",
                        "h3", "h4", "h5", "h6", "head", "hr", "html", "li", "ol", "p", "pre", "table", "tbody",
                        "td", "tfoot", "th", "thead", "title", "tr", "ul", "xmp", "listing"});
}

// Elements without content, and those that the next of their kind or their
// container closes: neither stays open on the parser's stack.
bool StaysOpen(const char* name)
{
    return !OneOf(name, {"area", "base", "basefont", "br", "col", "colgroup", "dd", "dt", "embed", "frame",
                         "head", "hr", "html", "body", "img", "input", "isindex", "keygen", "li", "link", "meta",
                         "option", "p", "param", "source", "tbody", "td", "tfoot", "th", "thead", "tr", "track",
                         "wbr"});
}

bool IsPreformatted(const char* name)
{
    return OneOf(name, {"pre", "xmp", "listing", "textarea"});
}

// Text that Qt reads raw up to the matching end tag.
bool IsRawText(const char* name)
{
    return OneOf(name, {"script", "style", "title"});
}

struct Tag {
    bool end = false;
    bool selfClosing = false;
    char name[kNameSize] = {};
    size_t next = 0; // just after the tag
};

// Reads the tag that starts at text[at] ('<' followed by a letter, or "</" and
// a letter): its name in lower case, its attributes (values in single or double
// quotes, or bare up to white space or '>'), up to '>' or the end of the text.
Tag ReadTag(const char16_t* text, size_t length, size_t at)
{
    Tag tag;
    size_t i = at + 1;
    if (text[i] == '/') {
        tag.end = true;
        ++i;
    }
    size_t n = 0;
    for (; i < length && (IsAsciiLetter(text[i]) || (text[i] >= '0' && text[i] <= '9')); ++i) {
        if (n + 1 < kNameSize)
            tag.name[n++] = static_cast<char>(text[i] | 0x20);
        else
            tag.name[0] = 0; // too long to be one we know
    }
    while (i < length && text[i] != '>') {
        char16_t c = text[i];
        if (c == '"' || c == '\'') {
            const char16_t* close = std::find(text + i + 1, text + length, c);
            i = close == text + length ? length : static_cast<size_t>(close - text) + 1;
            continue;
        }
        tag.selfClosing = c == '/' && i + 1 < length && text[i + 1] == '>';
        ++i;
    }
    tag.next = i < length ? i + 1 : length;
    return tag;
}

// The end of raw text that started at `at`: the start of "</name" (any case), or the end.
size_t RawTextEnd(const char16_t* text, size_t length, size_t at, const char* name)
{
    size_t nameLength = strlen(name);
    for (size_t i = at; i + 1 + nameLength < length; ++i) {
        if (text[i] != '<' || text[i + 1] != '/')
            continue;
        size_t k = 0;
        while (k < nameLength && (text[i + 2 + k] | 0x20) == name[k])
            ++k;
        if (k == nameLength)
            return i;
    }
    return length;
}

// A comment runs to "-->", a declaration or processing instruction to '>'.
size_t SkipMarkup(const char16_t* text, size_t length, size_t at)
{
    const char16_t* end = text + length;
    if (at + 3 < length && text[at + 1] == '!' && text[at + 2] == '-' && text[at + 3] == '-') {
        static const char16_t kClose[] = u"-->";
        const char16_t* found = std::search(text + at + 4, end, kClose, kClose + 3);
        return found == end ? length : static_cast<size_t>(found - text) + 3;
    }
    const char16_t* close = std::find(text + at, end, u'>');
    return close == end ? length : static_cast<size_t>(close - text) + 1;
}

// A tag starts at text[at]: '<' and a letter, or "</" and a letter.
bool StartsTag(const char16_t* text, size_t length, size_t at)
{
    if (text[at] != '<' || at + 1 >= length)
        return false;
    char16_t after = text[at + 1];
    return IsAsciiLetter(after) || (after == '/' && at + 2 < length && IsAsciiLetter(text[at + 2]));
}

// The character an entity stands for, and where it ends; numeric entities are
// decoded so that ideographs written as &#20013; still count as breakable.
char32_t ReadEntity(const char16_t* text, size_t length, size_t at, size_t* next)
{
    size_t i = at + 1;
    char32_t value = 0xFFFD;
    if (i < length && text[i] == '#') {
        ++i;
        bool hex = i < length && (text[i] | 0x20) == 'x';
        if (hex)
            ++i;
        char32_t number = 0;
        size_t digits = 0;
        for (; i < length && digits < 8; ++i, ++digits) {
            char16_t c = text[i];
            int d = c >= '0' && c <= '9' ? c - '0' : hex && (c | 0x20) >= 'a' && (c | 0x20) <= 'f' ? (c | 0x20) - 'a' + 10 : -1;
            if (d < 0)
                break;
            number = number * (hex ? 16 : 10) + static_cast<char32_t>(d);
        }
        if (digits > 0)
            value = number;
    } else {
        for (size_t letters = 0; i < length && letters < 32 && IsAsciiLetter(text[i]); ++i, ++letters) {
        }
    }
    if (i < length && text[i] == ';')
        ++i;
    *next = i;
    return value;
}

class Scan {
public:
    Scan(const char16_t* text, size_t length) : text_(text), length_(length) {}

    size_t Run()
    {
        size_t i = 0;
        while (i < length_) {
            char16_t c = text_[i];
            if (StartsTag(text_, length_, i)) {
                Tag tag = ReadTag(text_, length_, i);
                if (!Accept(tag))
                    return i;
                i = tag.next;
                if (!tag.end && IsRawText(tag.name))
                    i = RawTextEnd(text_, length_, i, tag.name);
                continue;
            }
            if (c == '<' && i + 1 < length_ && (text_[i + 1] == '!' || text_[i + 1] == '?')) {
                i = SkipMarkup(text_, length_, i);
                continue;
            }
            size_t next = i + 1;
            char32_t character = c == '&' ? ReadEntity(text_, length_, i, &next) : c;
            if (!Count(character))
                return (c >= 0xDC00 && c <= 0xDFFF && i > 0) ? i - 1 : i;
            i = next;
        }
        return length_;
    }

private:
    bool Accept(const Tag& tag)
    {
        if (++tags_ > kMaxTags)
            return false;
        if (IsBlock(tag.name))
            paragraph_ = word_ = 0;
        if (strcmp(tag.name, "br") == 0)
            word_ = 0;
        if (tag.end) {
            Close(tag.name);
            return true;
        }
        if (strcmp(tag.name, "img") == 0 && ++images_ > kMaxImages)
            return false;
        if (strcmp(tag.name, "table") == 0 && tables_ + 1 > kMaxTableDepth)
            return false;
        if (OneOf(tag.name, {"td", "th"}) && (tableWork_ += size_t{1} << (tables_ > 0 ? tables_ - 1 : 0)) > kMaxTableWork)
            return false;
        if (tag.selfClosing || !tag.name[0] || !StaysOpen(tag.name) || IsRawText(tag.name))
            return true;
        if (open_.size() >= kMaxOpenElements)
            return false;
        open_.emplace_back(tag.name);
        Tally(tag.name, 1);
        return true;
    }

    // An end tag closes the innermost element of its name and every element
    // opened inside it; one that matches nothing open is ignored.
    void Close(const char* name)
    {
        for (size_t k = open_.size(); k-- > 0;) {
            if (open_[k] == name) {
                for (size_t j = k; j < open_.size(); ++j)
                    Tally(open_[j].c_str(), -1);
                open_.resize(k);
                return;
            }
        }
    }

    void Tally(const char* name, int change)
    {
        if (strcmp(name, "table") == 0)
            tables_ = static_cast<size_t>(static_cast<long>(tables_) + change);
        if (IsPreformatted(name))
            preformatted_ = static_cast<size_t>(static_cast<long>(preformatted_) + change);
    }

    bool Count(char32_t c)
    {
        bool space = IsSpace(c);
        if (c == '\n' && preformatted_ > 0) {
            paragraph_ = word_ = 0; // every line of preformatted text is a paragraph of its own
            lastSpace_ = true;
            return true;
        }
        // White space outside preformatted text collapses to one.
        if (!(space && lastSpace_) && ++paragraph_ > kMaxParagraph)
            return false;
        lastSpace_ = space;
        if (BreaksLine(c)) {
            word_ = 0;
            return true;
        }
        return ++word_ <= kMaxWord;
    }

    const char16_t* text_;
    size_t length_;
    size_t tags_ = 0;
    size_t images_ = 0;
    size_t tableWork_ = 0;
    size_t paragraph_ = 0;
    size_t word_ = 0;
    bool lastSpace_ = false;
    std::vector<std::string> open_; // names of the elements open, outermost first
    size_t tables_ = 0;             // of them, tables
    size_t preformatted_ = 0;       // and preformatted elements
};

} // namespace

size_t BoundedLength(const char16_t* text, size_t length)
{
    if (!text)
        return 0;
    return Scan(text, std::min(length, kMaxSourceUnits)).Run();
}

} // namespace lwhtml

namespace lwhtml {

BodyStart FindBodyStart(const char16_t* text, size_t length)
{
    bool headOpen = false;
    size_t i = 0;
    while (text && i < length) {
        if (IsSpace(text[i])) {
            ++i;
        } else if (text[i] == '<' && i + 1 < length && (text[i + 1] == '!' || text[i + 1] == '?')) {
            i = SkipMarkup(text, length, i);
        } else if (StartsTag(text, length, i)) {
            Tag tag = ReadTag(text, length, i);
            if (OneOf(tag.name, {"body", "frameset"}))
                return {};
            if (strcmp(tag.name, "head") == 0)
                headOpen = !tag.end;
            else if (strcmp(tag.name, "html") != 0 &&
                     !OneOf(tag.name, {"base", "basefont", "bgsound", "link", "meta", "noscript", "script", "style",
                                       "title"}))
                return {i, headOpen};
            i = tag.next;
            if (!tag.end && IsRawText(tag.name))
                i = RawTextEnd(text, length, i, tag.name);
        } else {
            return {i, headOpen};
        }
    }
    return {};
}

} // namespace lwhtml

namespace lwhtml {

std::vector<size_t> UnterminatedReferences(const char16_t* text, size_t length)
{
    std::vector<size_t> ends;
    for (size_t i = 0; text && i + 2 < length; ++i) {
        if (text[i] != '&' || text[i + 1] != '#')
            continue;
        bool hex = (text[i + 2] | 0x20) == 'x';
        size_t digits = i + 2 + hex;
        size_t end = digits;
        while (end < length && (IsDigit(text[end]) || (hex && IsHexLetter(text[end]))))
            ++end;
        if (end > digits && (end == length || text[end] != ';'))
            ends.push_back(end);
        i = end - 1;
    }
    return ends;
}

} // namespace lwhtml

namespace lwhtml {
namespace {

bool IsHexDigit(char16_t c)
{
    return IsDigit(c) || IsHexLetter(c);
}

bool NameIs(const char16_t* name, size_t length, const char* lower)
{
    size_t k = 0;
    while (k < length && lower[k] && (name[k] | 0x20) == lower[k])
        ++k;
    return k == length && !lower[k];
}

// The attributes of the tag at text[at] (its name read, up to `end`): where a
// colour's value of bare hex digits begins.
void FindBareColours(const char16_t* text, size_t at, size_t end, std::vector<size_t>* found)
{
    size_t k = at + 1;
    while (k < end && (IsAsciiLetter(text[k]) || IsDigit(text[k])))
        ++k;
    while (k < end && text[k] != '>') {
        if (IsSpace(text[k]) || text[k] == '/' || text[k] == '=') {
            ++k;
            continue;
        }
        size_t name = k;
        while (k < end && !IsSpace(text[k]) && text[k] != '=' && text[k] != '>' && text[k] != '/')
            ++k;
        bool colour = NameIs(text + name, k - name, "bgcolor") || NameIs(text + name, k - name, "color");
        while (k < end && IsSpace(text[k]))
            ++k;
        if (k >= end || text[k] != '=')
            continue;
        for (++k; k < end && IsSpace(text[k]); ++k) {
        }
        size_t value = k;
        if (k < end && (text[k] == '"' || text[k] == '\'')) {
            char16_t quote = text[k];
            value = ++k;
            while (k < end && text[k] != quote)
                ++k;
        } else {
            while (k < end && !IsSpace(text[k]) && text[k] != '>')
                ++k;
        }
        size_t digits = k - value;
        if (colour && (digits == 3 || digits == 6) && std::all_of(text + value, text + k, IsHexDigit))
            found->push_back(value);
        if (k < end && (text[k] == '"' || text[k] == '\''))
            ++k;
    }
}

} // namespace

std::vector<size_t> BareColours(const char16_t* text, size_t length)
{
    std::vector<size_t> found;
    size_t i = 0;
    while (text && i < length) {
        if (text[i] == '<' && i + 1 < length && (text[i + 1] == '!' || text[i + 1] == '?')) {
            i = SkipMarkup(text, length, i);
        } else if (StartsTag(text, length, i)) {
            Tag tag = ReadTag(text, length, i);
            if (!tag.end)
                FindBareColours(text, i, tag.next, &found);
            i = tag.next;
            if (!tag.end && IsRawText(tag.name))
                i = RawTextEnd(text, length, i, tag.name);
        } else {
            ++i;
        }
    }
    return found;
}

} // namespace lwhtml
