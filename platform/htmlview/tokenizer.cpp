#include "tokenizer.h"

#include <algorithm>
#include <cstring>

namespace lwhtml {
namespace {

struct Entity {
    const char* name;
    char16_t code;
    bool legacy; // also read without its ';', as pages written for old browsers use it
};

// The named references of HTML 4 with &apos; and the upper-case forms
// browsers read, by name in byte order.
const Entity kEntities[] = {
    {"AElig", 0x00C6, true}, {"AMP", 0x0026, true}, {"Aacute", 0x00C1, true}, {"Acirc", 0x00C2, true},
    {"Agrave", 0x00C0, true}, {"Alpha", 0x0391, false}, {"Aring", 0x00C5, true}, {"Atilde", 0x00C3, true},
    {"Auml", 0x00C4, true}, {"Beta", 0x0392, false}, {"COPY", 0x00A9, true}, {"Ccedil", 0x00C7, true},
    {"Chi", 0x03A7, false}, {"Dagger", 0x2021, false}, {"Delta", 0x0394, false}, {"ETH", 0x00D0, true},
    {"Eacute", 0x00C9, true}, {"Ecirc", 0x00CA, true}, {"Egrave", 0x00C8, true}, {"Epsilon", 0x0395, false},
    {"Eta", 0x0397, false}, {"Euml", 0x00CB, true}, {"GT", 0x003E, true}, {"Gamma", 0x0393, false},
    {"Iacute", 0x00CD, true}, {"Icirc", 0x00CE, true}, {"Igrave", 0x00CC, true}, {"Iota", 0x0399, false},
    {"Iuml", 0x00CF, true}, {"Kappa", 0x039A, false}, {"LT", 0x003C, true}, {"Lambda", 0x039B, false},
    {"Mu", 0x039C, false}, {"Ntilde", 0x00D1, true}, {"Nu", 0x039D, false}, {"OElig", 0x0152, false},
    {"Oacute", 0x00D3, true}, {"Ocirc", 0x00D4, true}, {"Ograve", 0x00D2, true}, {"Omega", 0x03A9, false},
    {"Omicron", 0x039F, false}, {"Oslash", 0x00D8, true}, {"Otilde", 0x00D5, true}, {"Ouml", 0x00D6, true},
    {"Phi", 0x03A6, false}, {"Pi", 0x03A0, false}, {"Prime", 0x2033, false}, {"Psi", 0x03A8, false},
    {"QUOT", 0x0022, true}, {"REG", 0x00AE, true}, {"Rho", 0x03A1, false}, {"Scaron", 0x0160, false},
    {"Sigma", 0x03A3, false}, {"THORN", 0x00DE, true}, {"Tau", 0x03A4, false}, {"Theta", 0x0398, false},
    {"Uacute", 0x00DA, true}, {"Ucirc", 0x00DB, true}, {"Ugrave", 0x00D9, true}, {"Upsilon", 0x03A5, false},
    {"Uuml", 0x00DC, true}, {"Xi", 0x039E, false}, {"Yacute", 0x00DD, true}, {"Yuml", 0x0178, false},
    {"Zeta", 0x0396, false}, {"aacute", 0x00E1, true}, {"acirc", 0x00E2, true}, {"acute", 0x00B4, true},
    {"aelig", 0x00E6, true}, {"agrave", 0x00E0, true}, {"alefsym", 0x2135, false}, {"alpha", 0x03B1, false},
    {"amp", 0x0026, true}, {"and", 0x2227, false}, {"ang", 0x2220, false}, {"apos", 0x0027, false},
    {"aring", 0x00E5, true}, {"asymp", 0x2248, false}, {"atilde", 0x00E3, true}, {"auml", 0x00E4, true},
    {"bdquo", 0x201E, false}, {"beta", 0x03B2, false}, {"brvbar", 0x00A6, true}, {"bull", 0x2022, false},
    {"cap", 0x2229, false}, {"ccedil", 0x00E7, true}, {"cedil", 0x00B8, true}, {"cent", 0x00A2, true},
    {"chi", 0x03C7, false}, {"circ", 0x02C6, false}, {"clubs", 0x2663, false}, {"cong", 0x2245, false},
    {"copy", 0x00A9, true}, {"crarr", 0x21B5, false}, {"cup", 0x222A, false}, {"curren", 0x00A4, true},
    {"dArr", 0x21D3, false}, {"dagger", 0x2020, false}, {"darr", 0x2193, false}, {"deg", 0x00B0, true},
    {"delta", 0x03B4, false}, {"diams", 0x2666, false}, {"divide", 0x00F7, true}, {"eacute", 0x00E9, true},
    {"ecirc", 0x00EA, true}, {"egrave", 0x00E8, true}, {"empty", 0x2205, false}, {"emsp", 0x2003, false},
    {"ensp", 0x2002, false}, {"epsilon", 0x03B5, false}, {"equiv", 0x2261, false}, {"eta", 0x03B7, false},
    {"eth", 0x00F0, true}, {"euml", 0x00EB, true}, {"euro", 0x20AC, false}, {"exist", 0x2203, false},
    {"fnof", 0x0192, false}, {"forall", 0x2200, false}, {"frac12", 0x00BD, true}, {"frac14", 0x00BC, true},
    {"frac34", 0x00BE, true}, {"frasl", 0x2044, false}, {"gamma", 0x03B3, false}, {"ge", 0x2265, false},
    {"gt", 0x003E, true}, {"hArr", 0x21D4, false}, {"harr", 0x2194, false}, {"hearts", 0x2665, false},
    {"hellip", 0x2026, false}, {"iacute", 0x00ED, true}, {"icirc", 0x00EE, true}, {"iexcl", 0x00A1, true},
    {"igrave", 0x00EC, true}, {"image", 0x2111, false}, {"infin", 0x221E, false}, {"int", 0x222B, false},
    {"iota", 0x03B9, false}, {"iquest", 0x00BF, true}, {"isin", 0x2208, false}, {"iuml", 0x00EF, true},
    {"kappa", 0x03BA, false}, {"lArr", 0x21D0, false}, {"lambda", 0x03BB, false}, {"lang", 0x27E8, false},
    {"laquo", 0x00AB, true}, {"larr", 0x2190, false}, {"lceil", 0x2308, false}, {"ldquo", 0x201C, false},
    {"le", 0x2264, false}, {"lfloor", 0x230A, false}, {"lowast", 0x2217, false}, {"loz", 0x25CA, false},
    {"lrm", 0x200E, false}, {"lsaquo", 0x2039, false}, {"lsquo", 0x2018, false}, {"lt", 0x003C, true},
    {"macr", 0x00AF, true}, {"mdash", 0x2014, false}, {"micro", 0x00B5, true}, {"middot", 0x00B7, true},
    {"minus", 0x2212, false}, {"mu", 0x03BC, false}, {"nabla", 0x2207, false}, {"nbsp", 0x00A0, true},
    {"ndash", 0x2013, false}, {"ne", 0x2260, false}, {"ni", 0x220B, false}, {"not", 0x00AC, true},
    {"notin", 0x2209, false}, {"nsub", 0x2284, false}, {"ntilde", 0x00F1, true}, {"nu", 0x03BD, false},
    {"oacute", 0x00F3, true}, {"ocirc", 0x00F4, true}, {"oelig", 0x0153, false}, {"ograve", 0x00F2, true},
    {"oline", 0x203E, false}, {"omega", 0x03C9, false}, {"omicron", 0x03BF, false}, {"oplus", 0x2295, false},
    {"or", 0x2228, false}, {"ordf", 0x00AA, true}, {"ordm", 0x00BA, true}, {"oslash", 0x00F8, true},
    {"otilde", 0x00F5, true}, {"otimes", 0x2297, false}, {"ouml", 0x00F6, true}, {"para", 0x00B6, true},
    {"part", 0x2202, false}, {"permil", 0x2030, false}, {"perp", 0x22A5, false}, {"phi", 0x03C6, false},
    {"pi", 0x03C0, false}, {"piv", 0x03D6, false}, {"plusmn", 0x00B1, true}, {"pound", 0x00A3, true},
    {"prime", 0x2032, false}, {"prod", 0x220F, false}, {"prop", 0x221D, false}, {"psi", 0x03C8, false},
    {"quot", 0x0022, true}, {"rArr", 0x21D2, false}, {"radic", 0x221A, false}, {"rang", 0x27E9, false},
    {"raquo", 0x00BB, true}, {"rarr", 0x2192, false}, {"rceil", 0x2309, false}, {"rdquo", 0x201D, false},
    {"real", 0x211C, false}, {"reg", 0x00AE, true}, {"rfloor", 0x230B, false}, {"rho", 0x03C1, false},
    {"rlm", 0x200F, false}, {"rsaquo", 0x203A, false}, {"rsquo", 0x2019, false}, {"sbquo", 0x201A, false},
    {"scaron", 0x0161, false}, {"sdot", 0x22C5, false}, {"sect", 0x00A7, true}, {"shy", 0x00AD, true},
    {"sigma", 0x03C3, false}, {"sigmaf", 0x03C2, false}, {"sim", 0x223C, false}, {"spades", 0x2660, false},
    {"sub", 0x2282, false}, {"sube", 0x2286, false}, {"sum", 0x2211, false}, {"sup", 0x2283, false},
    {"sup1", 0x00B9, true}, {"sup2", 0x00B2, true}, {"sup3", 0x00B3, true}, {"supe", 0x2287, false},
    {"szlig", 0x00DF, true}, {"tau", 0x03C4, false}, {"there4", 0x2234, false}, {"theta", 0x03B8, false},
    {"thetasym", 0x03D1, false}, {"thinsp", 0x2009, false}, {"thorn", 0x00FE, true}, {"tilde", 0x02DC, false},
    {"times", 0x00D7, true}, {"trade", 0x2122, false}, {"uArr", 0x21D1, false}, {"uacute", 0x00FA, true},
    {"uarr", 0x2191, false}, {"ucirc", 0x00FB, true}, {"ugrave", 0x00F9, true}, {"uml", 0x00A8, true},
    {"upsih", 0x03D2, false}, {"upsilon", 0x03C5, false}, {"uuml", 0x00FC, true}, {"weierp", 0x2118, false},
    {"xi", 0x03BE, false}, {"yacute", 0x00FD, true}, {"yen", 0x00A5, true}, {"yuml", 0x00FF, true},
    {"zeta", 0x03B6, false}, {"zwj", 0x200D, false}, {"zwnj", 0x200C, false},
};

constexpr size_t kLongestEntity = 8;
constexpr size_t kLongestLegacyEntity = 6;
constexpr char32_t kReplacement = 0xFFFD;
constexpr char32_t kBeyondUnicode = 0x110000;

// What browsers read for the references &#128; to &#159;: the characters of
// code page 1252 (its five unused bytes stand for themselves).
const char16_t kWindows1252[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                   0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                   0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                   0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

bool IsAlpha(char16_t c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsDigit(char16_t c)
{
    return c >= '0' && c <= '9';
}

bool IsAlnum(char16_t c)
{
    return IsAlpha(c) || IsDigit(c);
}

int HexValue(char16_t c)
{
    if (IsDigit(c))
        return c - '0';
    char16_t lower = c | 0x20;
    return lower >= 'a' && lower <= 'f' ? lower - 'a' + 10 : -1;
}

bool IsSpace(char16_t c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\f';
}

char16_t Lower(char16_t c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char16_t>(c | 0x20) : c;
}

const Entity* FindEntity(const char16_t* name, size_t length)
{
    if (length == 0 || length > kLongestEntity)
        return nullptr;
    char key[kLongestEntity + 1] = {};
    for (size_t k = 0; k < length; ++k)
        key[k] = static_cast<char>(name[k]);
    const Entity* end = std::end(kEntities);
    const Entity* found =
        std::lower_bound(std::begin(kEntities), end, key, [](const Entity& e, const char* k) { return strcmp(e.name, k) < 0; });
    return found != end && strcmp(found->name, key) == 0 ? found : nullptr;
}

char32_t NumericValue(char32_t value)
{
    if (value == 0 || value >= kBeyondUnicode || (value >= 0xD800 && value <= 0xDFFF))
        return kReplacement;
    if (value >= 0x80 && value < 0xA0)
        return kWindows1252[value - 0x80];
    return value;
}

void Append(std::u16string* out, char32_t c)
{
    if (c < 0x10000) {
        out->push_back(static_cast<char16_t>(c));
        return;
    }
    c -= 0x10000;
    out->push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
    out->push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
}

} // namespace

char32_t ReadReference(const char16_t* at, size_t available, bool inAttribute, size_t* used)
{
    auto get = [&](size_t i) -> char16_t { return i < available ? at[i] : 0; };
    if (get(0) == '#') {
        bool hex = (get(1) | 0x20) == 'x';
        size_t i = hex ? 2 : 1;
        size_t first = i;
        char32_t value = 0;
        for (;; ++i) {
            int digit = hex ? HexValue(get(i)) : IsDigit(get(i)) ? get(i) - '0' : -1;
            if (digit < 0)
                break;
            // Past the last code point every value reads the same: saturate.
            value = std::min<char32_t>(kBeyondUnicode, value * (hex ? 16 : 10) + static_cast<char32_t>(digit));
        }
        if (i == first)
            return 0;
        *used = get(i) == ';' ? i + 1 : i;
        return NumericValue(value);
    }
    size_t run = 0;
    while (run <= kLongestEntity && IsAlnum(get(run)))
        ++run;
    if (get(run) == ';') {
        if (const Entity* entity = FindEntity(at, run)) {
            *used = run + 1;
            return entity->code;
        }
    }
    // Without its ';' only an old Latin-1 name counts, its longest match.
    for (size_t length = std::min(run, kLongestLegacyEntity); length >= 2; --length) {
        const Entity* entity = FindEntity(at, length);
        if (!entity || !entity->legacy)
            continue;
        if (inAttribute && (IsAlnum(get(length)) || get(length) == '='))
            return 0;
        *used = length;
        return entity->code;
    }
    return 0;
}

Tokenizer::Tokenizer(const char16_t* text, size_t length)
{
    source_.reserve(length);
    for (size_t i = 0; i < length; ++i) {
        char16_t c = text[i];
        if (c == '\r') {
            if (i + 1 < length && text[i + 1] == '\n')
                continue;
            c = '\n';
        } else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            source_.push_back(c);
            c = text[++i];
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = static_cast<char16_t>(kReplacement);
        }
        source_.push_back(c);
    }
    text_ = source_.data();
    length_ = source_.size();
}

bool Tokenizer::StartsWithIgnoringCase(size_t at, const char* lower) const
{
    for (size_t k = 0; lower[k]; ++k)
        if (Lower(At(at + k)) != lower[k])
            return false;
    return true;
}

void Tokenizer::AppendReference(std::u16string* out, bool inAttribute)
{
    size_t used = 0;
    char32_t c = ReadReference(text_ + pos_ + 1, length_ - pos_ - 1, inAttribute, &used);
    if (!c) {
        out->push_back('&');
        ++pos_;
        return;
    }
    Append(out, c);
    pos_ += 1 + used;
}

bool Tokenizer::Next(Token* token)
{
    token->name.clear();
    token->attributes.clear();
    token->text.clear();
    token->selfClosing = false;
    token->kind = Token::Kind::Text;
    if (raw_ != Raw::None && pos_ < length_) {
        ReadRawText(token);
        if (!token->text.empty())
            return true;
    }
    while (pos_ < length_) {
        char16_t next = At(pos_ + 1);
        if (At(pos_) == '<' && (IsAlpha(next) || (next == '/' && IsAlpha(At(pos_ + 2))))) {
            if (!ReadTag(token))
                return false;
            if (token->kind == Token::Kind::StartTag) {
                const std::u16string& name = token->name;
                raw_ = name == u"script"                                           ? Raw::Script
                       : name == u"style" || name == u"xmp" || name == u"iframe" || name == u"noembed" ? Raw::RawText
                       : name == u"title" || name == u"textarea"                   ? Raw::RcData
                       : name == u"plaintext"                                      ? Raw::PlainText
                                                                                   : Raw::None;
                rawEnd_ = name;
            }
            return true;
        }
        if (At(pos_) == '<' && (next == '!' || next == '?' || (next == '/' && pos_ + 2 < length_))) {
            SkipMarkup();
            continue;
        }
        ReadText(token);
        return true;
    }
    return false;
}

bool Tokenizer::ReadTag(Token* token)
{
    size_t i = pos_ + 1;
    token->kind = Token::Kind::StartTag;
    if (At(i) == '/') {
        token->kind = Token::Kind::EndTag;
        ++i;
    }
    for (; i < length_ && !IsSpace(text_[i]) && text_[i] != '/' && text_[i] != '>'; ++i)
        if (token->name.size() <= kMaxNameUnits)
            token->name.push_back(Lower(text_[i]));
    pos_ = i;
    ReadAttributes(token);
    if (pos_ > length_) {
        pos_ = length_;
        return false;
    }
    if (token->kind == Token::Kind::EndTag) {
        token->attributes.clear();
        token->selfClosing = false;
    }
    return true;
}

// From after the tag's name to just after its '>'; pos_ past the end when
// the source ends inside the tag.
void Tokenizer::ReadAttributes(Token* token)
{
    for (;;) {
        while (pos_ < length_ && IsSpace(text_[pos_]))
            ++pos_;
        if (pos_ >= length_)
            break;
        char16_t c = text_[pos_];
        if (c == '>') {
            ++pos_;
            return;
        }
        if (c == '/') {
            ++pos_;
            if (At(pos_) == '>') {
                token->selfClosing = true;
                ++pos_;
                return;
            }
            continue;
        }
        Attribute attribute;
        size_t nameLength = 0;
        for (bool first = true; pos_ < length_; first = false, ++pos_) {
            c = text_[pos_];
            if (IsSpace(c) || c == '/' || c == '>' || (c == '=' && !first))
                break;
            if (++nameLength <= kMaxNameUnits)
                attribute.name.push_back(Lower(c));
        }
        while (pos_ < length_ && IsSpace(text_[pos_]))
            ++pos_;
        bool fits = nameLength <= kMaxNameUnits;
        if (At(pos_) == '=') {
            ++pos_;
            while (pos_ < length_ && IsSpace(text_[pos_]))
                ++pos_;
            fits = ReadAttributeValue(&attribute.value) && fits;
        }
        if (pos_ >= length_)
            break;
        bool known = std::any_of(token->attributes.begin(), token->attributes.end(),
                                 [&](const Attribute& a) { return a.name == attribute.name; });
        if (fits && !known && token->attributes.size() < kMaxAttributes)
            token->attributes.push_back(std::move(attribute));
    }
    pos_ = length_ + 1;
}

// False when the value is longer than kMaxAttributeUnits (it is read past).
bool Tokenizer::ReadAttributeValue(std::u16string* value)
{
    char16_t quote = At(pos_);
    if (quote == '"' || quote == '\'')
        ++pos_;
    else
        quote = 0;
    while (pos_ < length_) {
        char16_t c = text_[pos_];
        if (quote ? c == quote : (IsSpace(c) || c == '>'))
            break;
        if (value->size() > kMaxAttributeUnits) {
            ++pos_;
            continue;
        }
        if (c == '&')
            AppendReference(value, true);
        else {
            value->push_back(c);
            ++pos_;
        }
    }
    if (quote && pos_ < length_)
        ++pos_;
    if (value->size() > kMaxAttributeUnits) {
        value->clear();
        return false;
    }
    return true;
}

// A comment, declaration, processing instruction or "</" that starts no tag:
// none of it is shown.
void Tokenizer::SkipMarkup()
{
    if (StartsWithIgnoringCase(pos_, "<!--")) {
        size_t i = pos_ + 4;
        // "<!-->" and "<!--->" end at once.
        if (At(i) == '>' || (At(i) == '-' && At(i + 1) == '>')) {
            pos_ = i + (At(i) == '>' ? 1 : 2);
            return;
        }
        while (i + 1 < length_) {
            if (text_[i] != '-' || text_[i + 1] != '-') {
                ++i;
                continue;
            }
            size_t k = i + 2;
            while (At(k) == '-')
                ++k;
            if (At(k) == '>') {
                pos_ = k + 1;
                return;
            }
            if (At(k) == '!' && At(k + 1) == '>') {
                pos_ = k + 2;
                return;
            }
            i = k; // no end inside a run of dashes that this character follows
        }
        pos_ = length_;
        return;
    }
    const char16_t* close = std::find(text_ + pos_, text_ + length_, u'>');
    pos_ = close == text_ + length_ ? length_ : static_cast<size_t>(close - text_) + 1;
}

// Text up to the next '<' that opens markup.
void Tokenizer::ReadText(Token* token)
{
    token->kind = Token::Kind::Text;
    while (pos_ < length_) {
        char16_t c = text_[pos_];
        if (c == '<' && !token->text.empty()) {
            char16_t next = At(pos_ + 1);
            if (IsAlpha(next) || next == '!' || next == '?' || (next == '/' && pos_ + 2 < length_))
                return;
        }
        if (c == '&') {
            AppendReference(&token->text, false);
        } else {
            token->text.push_back(c);
            ++pos_;
        }
    }
}

// Text up to the end tag of the raw element (its name in any case, then white
// space, '/' or '>'), which is left for the next token.
void Tokenizer::ReadRawText(Token* token)
{
    token->kind = Token::Kind::Text;
    Raw raw = raw_;
    raw_ = Raw::None;
    size_t end = length_;
    if (raw != Raw::PlainText) {
        for (size_t i = pos_; i + 1 < length_; ++i) {
            if (text_[i] != '<' || text_[i + 1] != '/')
                continue;
            size_t k = 0;
            while (k < rawEnd_.size() && Lower(At(i + 2 + k)) == rawEnd_[k])
                ++k;
            char16_t after = At(i + 2 + k);
            if (k == rawEnd_.size() && (IsSpace(after) || after == '/' || after == '>')) {
                end = i;
                break;
            }
        }
    }
    if (raw != Raw::RcData) {
        token->text.assign(text_ + pos_, end - pos_);
        pos_ = end;
        return;
    }
    while (pos_ < end) {
        if (text_[pos_] == '&')
            AppendReference(&token->text, false);
        else
            token->text.push_back(text_[pos_++]);
    }
}

} // namespace lwhtml
