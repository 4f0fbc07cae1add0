#include "hive.h"

#include <winbase.h>

#include <clocale>
#include <cstdio>
#include <cwctype>
#include <locale.h>

namespace lwreg {

namespace {

struct RootKey {
    ULONG_PTR handle;
    const char16_t* name;
};

constexpr RootKey kRoots[] = {
    {0x80000000, u"HKEY_CLASSES_ROOT"},
    {0x80000001, u"HKEY_CURRENT_USER"},
    {0x80000002, u"HKEY_LOCAL_MACHINE"},
    {0x80000003, u"HKEY_USERS"},
};

constexpr size_t kMaxComponent = 255;

// Windows compares registry names by upper-casing them; the C.UTF-8 locale
// gives the same mapping for the letters people use in names.
char16_t FoldUnit(char16_t c)
{
    if (c < 0x80)
        return (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c;
    if (c >= 0xD800 && c <= 0xDFFF)
        return c;
    static locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(0));
    if (!utf8)
        return c;
    wint_t upper = towupper_l(wint_t(c), utf8);
    return upper <= 0xFFFF ? char16_t(upper) : c;
}

bool IsHigh(char16_t c)
{
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLow(char16_t c)
{
    return c >= 0xDC00 && c <= 0xDFFF;
}

// Units that the text form escapes: controls and halves of surrogate pairs
// that have no partner (UTF-8 cannot carry them).
bool NeedsEscape(std::u16string_view s, size_t i)
{
    char16_t c = s[i];
    if (c < 0x20 || c == 0x7F)
        return true;
    if (IsHigh(c))
        return !(i + 1 < s.size() && IsLow(s[i + 1]));
    if (IsLow(c))
        return !(i > 0 && IsHigh(s[i - 1]));
    return false;
}

void AppendQuoted(std::string& out, std::u16string_view s)
{
    out += '"';
    size_t plainStart = 0;
    auto flush = [&](size_t end) { out += ToUtf8(s.substr(plainStart, end - plainStart)); };
    for (size_t i = 0; i < s.size(); ++i) {
        char16_t c = s[i];
        const char* escape = nullptr;
        char buffer[8];
        if (c == u'\\')
            escape = "\\\\";
        else if (c == u'"')
            escape = "\\\"";
        else if (c == u'\n')
            escape = "\\n";
        else if (c == u'\r')
            escape = "\\r";
        else if (c == u'\t')
            escape = "\\t";
        else if (NeedsEscape(s, i)) {
            std::snprintf(buffer, sizeof buffer, "\\u%04X", unsigned(c));
            escape = buffer;
        }
        if (escape) {
            flush(i);
            out += escape;
            plainStart = i + 1;
        }
    }
    flush(s.size());
    out += '"';
}

// A REG_SZ/REG_EXPAND_SZ written as a quoted string must come back byte for
// byte: whole units, one terminator at the end and none before it.
bool IsPlainString(const std::vector<BYTE>& data, std::u16string* text)
{
    if (data.size() < 2 || data.size() % 2 != 0)
        return false;
    size_t units = data.size() / 2;
    text->clear();
    for (size_t i = 0; i < units; ++i) {
        char16_t c = char16_t(data[2 * i] | (data[2 * i + 1] << 8));
        if ((c == 0) != (i + 1 == units))
            return false;
        if (c != 0)
            text->push_back(c);
    }
    return true;
}

void AppendHex(std::string& out, const std::vector<BYTE>& data)
{
    char buffer[4];
    for (size_t i = 0; i < data.size(); ++i) {
        std::snprintf(buffer, sizeof buffer, i ? ",%02x" : "%02x", unsigned(data[i]));
        out += buffer;
    }
}

std::vector<BYTE> StringBytes(std::u16string_view text)
{
    std::vector<BYTE> data;
    data.reserve((text.size() + 1) * 2);
    for (char16_t c : text) {
        data.push_back(BYTE(c & 0xFF));
        data.push_back(BYTE(c >> 8));
    }
    data.push_back(0);
    data.push_back(0);
    return data;
}

// ---- parsing ---------------------------------------------------------------

class LineParser {
public:
    explicit LineParser(std::string_view line) : s_(line) { }

    bool AtEnd()
    {
        SkipBlanks();
        return pos_ == s_.size();
    }
    bool Take(char c)
    {
        SkipBlanks();
        if (pos_ < s_.size() && s_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }
    bool TakeWord(std::string_view word)
    {
        SkipBlanks();
        if (s_.substr(pos_, word.size()) != word)
            return false;
        pos_ += word.size();
        return true;
    }
    bool Quoted(std::u16string* out)
    {
        if (!Take('"'))
            return false;
        std::string plain;
        out->clear();
        auto flush = [&]() {
            std::u16string part;
            if (!FromUtf8(plain, &part))
                return false;
            *out += part;
            plain.clear();
            return true;
        };
        while (pos_ < s_.size()) {
            char c = s_[pos_++];
            if (c == '"')
                return flush();
            if (c != '\\') {
                plain += c;
                continue;
            }
            if (pos_ >= s_.size())
                return false;
            char e = s_[pos_++];
            if (e == '\\' || e == '"') {
                plain += e;
                continue;
            }
            if (!flush())
                return false;
            if (e == 'n')
                out->push_back(u'\n');
            else if (e == 'r')
                out->push_back(u'\r');
            else if (e == 't')
                out->push_back(u'\t');
            else if (e == 'u') {
                unsigned value = 0;
                if (!HexDigits(4, &value))
                    return false;
                out->push_back(char16_t(value));
            } else {
                return false;
            }
        }
        return false;  // no closing quote
    }
    bool HexDigits(size_t count, unsigned* value)
    {
        if (s_.size() - pos_ < count)
            return false;
        *value = 0;
        for (size_t i = 0; i < count; ++i) {
            int digit = Digit(s_[pos_ + i]);
            if (digit < 0)
                return false;
            *value = *value * 16 + unsigned(digit);
        }
        pos_ += count;
        return true;
    }
    // "hex(7)" type numbers: one or more hex digits.
    bool HexNumber(unsigned long* value)
    {
        SkipBlanks();
        size_t start = pos_;
        *value = 0;
        while (pos_ < s_.size() && Digit(s_[pos_]) >= 0 && pos_ - start < 8)
            *value = *value * 16 + unsigned(Digit(s_[pos_++]));
        return pos_ > start;
    }
    std::string_view Rest() const { return s_.substr(pos_); }

private:
    static int Digit(char c)
    {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    }
    void SkipBlanks()
    {
        while (pos_ < s_.size() && (s_[pos_] == ' ' || s_[pos_] == '\t'))
            ++pos_;
    }
    std::string_view s_;
    size_t pos_ = 0;
};

bool ParseHexList(std::string_view list, std::vector<BYTE>* data)
{
    LineParser p(list);
    data->clear();
    if (p.AtEnd())
        return true;
    do {
        unsigned long byte = 0;
        if (!p.HexNumber(&byte) || byte > 0xFF)
            return false;
        data->push_back(BYTE(byte));
    } while (p.Take(','));
    return p.AtEnd();
}

bool ParseValueLine(std::string_view line, Value* value)
{
    LineParser p(line);
    value->name.clear();
    if (!p.Take('@') && !p.Quoted(&value->name))
        return false;
    if (!p.Take('='))
        return false;
    std::u16string text;
    if (p.Quoted(&text)) {
        value->type = 1;  // REG_SZ
        value->data = StringBytes(text);
        return p.AtEnd();
    }
    if (p.TakeWord("str(2):")) {
        if (!p.Quoted(&text))
            return false;
        value->type = 2;  // REG_EXPAND_SZ
        value->data = StringBytes(text);
        return p.AtEnd();
    }
    if (p.TakeWord("dword:")) {
        unsigned number = 0;
        if (!p.HexDigits(8, &number) || !p.AtEnd())
            return false;
        value->type = 4;  // REG_DWORD, little-endian like the device
        value->data = {BYTE(number), BYTE(number >> 8), BYTE(number >> 16), BYTE(number >> 24)};
        return true;
    }
    if (!p.TakeWord("hex"))
        return false;
    unsigned long type = 3;  // plain "hex:" is REG_BINARY
    if (p.Take('(')) {
        if (!p.HexNumber(&type) || !p.Take(')'))
            return false;
    }
    if (!p.Take(':'))
        return false;
    value->type = DWORD(type);
    return ParseHexList(p.Rest(), &value->data);
}

}  // namespace

// ---- names -------------------------------------------------------------------

std::u16string Fold(std::u16string_view name)
{
    std::u16string folded(name);
    for (char16_t& c : folded)
        c = FoldUnit(c);
    return folded;
}

bool EqualNames(std::u16string_view a, std::u16string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i] && FoldUnit(a[i]) != FoldUnit(b[i]))
            return false;
    return true;
}

const char16_t* RootName(ULONG_PTR handle)
{
    for (const RootKey& root : kRoots)
        if (root.handle == handle)
            return root.name;
    return nullptr;
}

bool ValidKeyPath(std::u16string_view path, std::u16string* canonical)
{
    size_t slash = path.find(u'\\');
    std::u16string_view root = path.substr(0, slash);
    const char16_t* rootName = nullptr;
    for (const RootKey& r : kRoots)
        if (EqualNames(root, r.name))
            rootName = r.name;
    if (!rootName)
        return false;
    *canonical = rootName;
    if (slash == std::u16string_view::npos)
        return true;
    std::u16string_view rest = path.substr(slash + 1);
    size_t componentLength = 0;
    for (size_t i = 0; i < rest.size(); ++i) {
        char16_t c = rest[i];
        if (c == u'\\') {
            if (componentLength == 0)
                return false;
            componentLength = 0;
            continue;
        }
        if (NeedsEscape(rest, i))
            return false;
        if (++componentLength > kMaxComponent)
            return false;
    }
    if (componentLength == 0)
        return false;
    *canonical += u'\\';
    *canonical += rest;
    return true;
}

// ---- UTF-8 -------------------------------------------------------------------
// The kernel's code-page conversion: unpaired surrogates become U+FFFD one
// way, and text that is not UTF-8 is refused the other.

std::string ToUtf8(std::u16string_view text)
{
    if (text.empty())
        return {};
    std::string out(text.size() * 3, '\0');  // at most three bytes a unit
    int n =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), out.data(), int(out.size()), nullptr, nullptr);
    out.resize(n > 0 ? size_t(n) : 0);
    return out;
}

bool FromUtf8(std::string_view text, std::u16string* out)
{
    out->clear();
    if (text.empty())
        return true;
    out->resize(text.size());  // never more units than bytes
    int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), int(text.size()), out->data(),
                                int(out->size()));
    out->resize(n > 0 ? size_t(n) : 0);
    return n > 0;
}

// ---- keys --------------------------------------------------------------------

const Value* Key::FindValue(std::u16string_view name) const
{
    for (const Value& v : values)
        if (EqualNames(v.name, name))
            return &v;
    return nullptr;
}

bool Key::SetValue(std::u16string_view name, DWORD type, std::vector<BYTE> data)
{
    for (Value& v : values) {
        if (!EqualNames(v.name, name))
            continue;
        if (v.type == type && v.data == data)
            return false;
        v.type = type;
        v.data = std::move(data);
        return true;
    }
    values.push_back(Value{std::u16string(name), type, std::move(data)});
    return true;
}

const Key* Hive::Find(std::u16string_view path) const
{
    auto it = keys_.find(Fold(path));
    return it == keys_.end() ? nullptr : &it->second;
}

bool Hive::Exists(std::u16string_view path) const
{
    std::u16string folded = Fold(path);
    if (keys_.count(folded))
        return true;
    folded += u'\\';
    auto it = keys_.lower_bound(folded);
    return it != keys_.end() && it->first.compare(0, folded.size(), folded) == 0;
}

Key& Hive::Create(std::u16string_view path, bool* created)
{
    // Parents first, so that every key of the file names a key that exists
    // in its own right and a person reading it sees the whole tree.
    for (size_t slash = path.find(u'\\'); slash != std::u16string_view::npos; slash = path.find(u'\\', slash + 1)) {
        std::u16string_view parent = path.substr(0, slash);
        if (parent.find(u'\\') == std::u16string_view::npos)
            continue;  // the root itself
        keys_.try_emplace(Fold(parent), Key{std::u16string(parent), {}});
    }
    auto [it, inserted] = keys_.try_emplace(Fold(path), Key{std::u16string(path), {}});
    if (created)
        *created = inserted;
    return it->second;
}

// ---- text form -----------------------------------------------------------------

std::string Serialize(const Hive& hive)
{
    std::string out = "; Device registry, UTF-8. One [key] section per key, \"name\"=data per value,\n"
                      "; @ for the default value. A file that does not parse is moved aside.\n";
    for (const auto& [folded, key] : hive.Keys()) {
        out += "\n[";
        out += ToUtf8(key.path);
        out += "]\n";
        for (const Value& v : key.values) {
            if (v.name.empty())
                out += '@';
            else
                AppendQuoted(out, v.name);
            out += '=';
            std::u16string text;
            char number[32];
            if ((v.type == 1 || v.type == 2) && IsPlainString(v.data, &text)) {
                if (v.type == 2)
                    out += "str(2):";
                AppendQuoted(out, text);
            } else if (v.type == 4 && v.data.size() == 4) {
                unsigned value = v.data[0] | (v.data[1] << 8) | (v.data[2] << 16) | (unsigned(v.data[3]) << 24);
                std::snprintf(number, sizeof number, "dword:%08x", value);
                out += number;
            } else {
                if (v.type == 3) {
                    out += "hex:";
                } else {
                    std::snprintf(number, sizeof number, "hex(%x):", unsigned(v.type));
                    out += number;
                }
                AppendHex(out, v.data);
            }
            out += '\n';
        }
    }
    return out;
}

bool Parse(std::string_view text, Hive* hive, std::string* error)
{
    *hive = Hive();
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    Key* current = nullptr;
    size_t lineNumber = 0;
    std::string joined;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        // A long hex list may go on over several lines, each but the last
        // ending in a backslash, as exported registry files write them.
        if (!joined.empty() || (!line.empty() && line.back() == '\\' && line.find("=hex") != std::string_view::npos)) {
            joined += line;
            if (!joined.empty() && joined.back() == '\\') {
                joined.pop_back();
                if (start < text.size())
                    continue;
            }
            line = joined;
        }
        size_t first = line.find_first_not_of(" \t");
        if (first == std::string_view::npos || line[first] == ';' || line == "Windows Registry Editor Version 5.00" ||
            line == "REGEDIT4") {
            joined.clear();
            continue;
        }
        auto fail = [&](const char* why) {
            *error = "line " + std::to_string(lineNumber) + ": " + why;
            return false;
        };
        if (line[first] == '[') {
            size_t close = line.find_last_of(']');
            if (close == std::string_view::npos || close < first ||
                line.find_first_not_of(" \t", close + 1) != std::string_view::npos)
                return fail("unterminated key name");
            std::u16string path, canonical;
            if (!FromUtf8(line.substr(first + 1, close - first - 1), &path))
                return fail("key name is not UTF-8");
            if (!ValidKeyPath(path, &canonical))
                return fail("not a key name");
            current = &hive->Create(canonical, nullptr);
        } else {
            if (!current)
                return fail("a value before any key");
            Value value;
            if (!ParseValueLine(line, &value))
                return fail("not a value");
            current->SetValue(value.name, value.type, std::move(value.data));
        }
        joined.clear();
    }
    return true;
}

}  // namespace lwreg
