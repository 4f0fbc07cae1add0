// A small reader of CSS as pages write it: rules, declarations, values split
// into their words. It keeps what Qt's rich text draws and bounds the sizes.
#include "css.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace lwhtml {
namespace {

enum class Size { None, Font, Spacing, LineHeight, Margin, Border, Box };

struct Property {
    const char* name;
    Size size;
};

// What Qt's importer draws of CSS, by name in byte order.
const Property kProperties[] = {
    {"background", Size::None},     {"background-color", Size::None},    {"border", Size::Border},
    {"border-bottom", Size::Border}, {"border-bottom-width", Size::Border}, {"border-collapse", Size::None},
    {"border-color", Size::None},   {"border-left", Size::Border},       {"border-left-width", Size::Border},
    {"border-right", Size::Border}, {"border-right-width", Size::Border}, {"border-style", Size::None},
    {"border-top", Size::Border},   {"border-top-width", Size::Border},  {"border-width", Size::Border},
    {"color", Size::None},          {"float", Size::None},               {"font", Size::Font},
    {"font-family", Size::None},    {"font-size", Size::Font},           {"font-style", Size::None},
    {"font-variant", Size::None},   {"font-weight", Size::None},         {"height", Size::Box},
    {"letter-spacing", Size::Spacing}, {"line-height", Size::LineHeight}, {"list-style", Size::None},
    {"list-style-type", Size::None}, {"margin", Size::Margin},           {"margin-bottom", Size::Margin},
    {"margin-left", Size::Margin},  {"margin-right", Size::Margin},      {"margin-top", Size::Margin},
    {"padding", Size::Margin},      {"padding-bottom", Size::Margin},    {"padding-left", Size::Margin},
    {"padding-right", Size::Margin}, {"padding-top", Size::Margin},      {"text-align", Size::None},
    {"text-decoration", Size::None}, {"text-indent", Size::Margin},      {"text-transform", Size::None},
    {"vertical-align", Size::None}, {"white-space", Size::None},         {"width", Size::Box},
    {"word-spacing", Size::Spacing},
};

// The only functions a value may call: colours.
const char* const kFunctions[] = {"rgb", "rgba", "hsl", "hsla"};

constexpr size_t kMaxPropertyName = 24;

bool IsSpace(char16_t c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

bool IsAsciiAlnum(char16_t c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

std::u16string Trim(const std::u16string& text)
{
    size_t from = 0, to = text.size();
    while (from < to && IsSpace(text[from]))
        ++from;
    while (to > from && IsSpace(text[to - 1]))
        --to;
    return text.substr(from, to - from);
}

std::string Narrow(const std::u16string& text)
{
    std::string out;
    for (char16_t c : text)
        out.push_back(c < 0x80 ? static_cast<char>(c >= 'A' && c <= 'Z' ? c | 0x20 : c) : '?');
    return out;
}

const Property* FindProperty(const std::u16string& name)
{
    if (name.size() > kMaxPropertyName)
        return nullptr;
    std::string key = Narrow(name);
    const Property* end = std::end(kProperties);
    const Property* found = std::lower_bound(std::begin(kProperties), end, key.c_str(),
                                             [](const Property& p, const char* k) { return strcmp(p.name, k) < 0; });
    return found != end && key == found->name ? found : nullptr;
}

// The text with its comments taken out (not inside strings).
std::u16string WithoutComments(const std::u16string& css)
{
    std::u16string out;
    char16_t quote = 0;
    for (size_t i = 0; i < css.size(); ++i) {
        char16_t c = css[i];
        if (quote) {
            quote = c == quote ? 0 : quote;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '/' && i + 1 < css.size() && css[i + 1] == '*') {
            size_t end = css.find(u"*/", i + 2);
            i = end == std::u16string::npos ? css.size() : end + 1;
            out.push_back(' ');
            continue;
        }
        out.push_back(c);
    }
    return out;
}

// Where the character `stop` (or `otherStop`) ends the text from `at`,
// outside strings and brackets; the text's size when it never does.
size_t FindOutside(const std::u16string& css, size_t at, char16_t stop, char16_t otherStop = 0)
{
    char16_t quote = 0;
    int depth = 0;
    for (size_t i = at; i < css.size(); ++i) {
        char16_t c = css[i];
        if (quote) {
            quote = c == quote ? 0 : quote;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if ((c == stop || (otherStop && c == otherStop)) && depth == 0) {
            return i;
        } else if (c == '(' || c == '[') {
            ++depth;
        } else if ((c == ')' || c == ']') && depth > 0) {
            --depth;
        }
    }
    return css.size();
}

// The end of the block whose '{' is at `open`: just after its '}'.
size_t BlockEnd(const std::u16string& css, size_t open)
{
    char16_t quote = 0;
    int depth = 0;
    for (size_t i = open; i < css.size(); ++i) {
        char16_t c = css[i];
        if (quote)
            quote = c == quote ? 0 : quote;
        else if (c == '"' || c == '\'')
            quote = c;
        else if (c == '{')
            ++depth;
        else if (c == '}' && --depth == 0)
            return i + 1;
    }
    return css.size();
}

bool ValueCharacter(char16_t c)
{
    return c >= 0x80 || IsAsciiAlnum(c) || IsSpace(c) || strchr("#%.,-+()\"'!/_", static_cast<char>(c)) != nullptr;
}

// Values name no resource and call no function but a colour's.
bool SafeValue(const std::u16string& value)
{
    if (value.size() > kMaxStyleUnits || !std::all_of(value.begin(), value.end(), ValueCharacter))
        return false;
    for (size_t at = value.find('('); at != std::u16string::npos; at = value.find('(', at + 1)) {
        size_t start = at;
        while (start > 0 && IsAsciiAlnum(value[start - 1]))
            --start;
        std::string name = Narrow(value.substr(start, at - start));
        if (std::none_of(std::begin(kFunctions), std::end(kFunctions), [&](const char* f) { return name == f; }))
            return false;
    }
    return true;
}

bool SelectorCharacter(char16_t c)
{
    return c >= 0x80 || IsAsciiAlnum(c) || IsSpace(c) || strchr("-_.#*,>+~:[]=\"'", static_cast<char>(c)) != nullptr;
}

double PixelsPer(const std::string& unit, bool* known)
{
    static const std::pair<const char*, double> kUnits[] = {{"px", 1},  {"pt", 4.0 / 3}, {"pc", 16},  {"in", 96},
                                                            {"cm", 96 / 2.54}, {"mm", 96 / 25.4}, {"em", 16}, {"ex", 8},
                                                            {"rem", 16}};
    for (const auto& [name, factor] : kUnits) {
        if (unit == name) {
            *known = true;
            return factor;
        }
    }
    *known = false;
    return 1;
}

std::u16string Pixels(double value)
{
    char text[32];
    snprintf(text, sizeof text, "%.0fpx", value);
    return std::u16string(text, text + strlen(text));
}

// One word of a value, held to the bound of its property.
std::u16string BoundWord(const std::u16string& word, Size size)
{
    std::string narrow = Narrow(word);
    const char* start = narrow.c_str();
    if (!*start || !(strchr("+-.", *start) || (*start >= '0' && *start <= '9')))
        return word;
    char* end = nullptr;
    double number = strtod(start, &end);
    if (end == start)
        return word;
    std::string unit = end;
    if (!std::isfinite(number))
        number = std::signbit(number) ? -1e9 : 1e9;
    bool signedValue = size == Size::Margin || size == Size::Spacing;
    if (!signedValue && number < 0)
        return u"0";
    if (unit == "%") {
        double bound = size == Size::Font || size == Size::LineHeight ? kMaxFontPercent : kMaxBoxPercent;
        if (std::fabs(number) <= bound)
            return word;
        char text[32];
        snprintf(text, sizeof text, "%.0f%%", std::copysign(bound, number));
        return std::u16string(text, text + strlen(text));
    }
    if (unit.empty() && size == Size::LineHeight)
        return number <= kMaxLineHeightFactor ? word : u"8";
    bool known = unit.empty();
    double pixels = number * (unit.empty() ? 1 : PixelsPer(unit, &known));
    if (!known)
        return word;
    double bound = size == Size::Font         ? kMaxFontPixels
                   : size == Size::Spacing    ? kMaxSpacingPixels
                   : size == Size::LineHeight ? kMaxLineHeightPixels
                   : size == Size::Margin     ? kMaxMarginPixels
                   : size == Size::Border     ? kMaxBorderPixels
                                              : kMaxBoxPixels;
    return std::fabs(pixels) <= bound ? word : Pixels(std::copysign(bound, pixels));
}

std::u16string BoundValue(const std::u16string& value, Size size)
{
    if (size == Size::None)
        return value;
    std::u16string out, word;
    for (size_t i = 0; i <= value.size(); ++i) {
        char16_t c = i < value.size() ? value[i] : u' ';
        if (IsSpace(c) || c == ',' || c == '/') {
            out += BoundWord(word, size);
            word.clear();
            if (i < value.size())
                out.push_back(c);
        } else {
            word.push_back(c);
        }
    }
    return out;
}

} // namespace

std::u16string CleanDeclarations(const std::u16string& css)
{
    std::u16string text = WithoutComments(css);
    std::u16string out;
    for (size_t at = 0; at < text.size();) {
        size_t end = FindOutside(text, at, ';');
        std::u16string declaration = text.substr(at, end - at);
        at = end + 1;
        size_t colon = declaration.find(':');
        if (colon == std::u16string::npos)
            continue;
        std::u16string name = Trim(declaration.substr(0, colon));
        std::u16string value = Trim(declaration.substr(colon + 1));
        const Property* property = FindProperty(name);
        if (!property || value.empty() || !SafeValue(value))
            continue;
        if (!out.empty())
            out += u"; ";
        out += std::u16string(property->name, property->name + strlen(property->name)) + u": " +
               BoundValue(value, property->size);
    }
    return out;
}

std::u16string CleanStyleSheet(const std::u16string& css, size_t maxRules, size_t* rules)
{
    std::u16string text = WithoutComments(css);
    std::u16string out;
    size_t count = 0;
    size_t at = 0;
    while (at < text.size()) {
        if (IsSpace(text[at]) || text[at] == '}') {
            ++at;
            continue;
        }
        // The comment marks old pages wrap their styles in.
        if (text.compare(at, 4, u"<!--") == 0 || text.compare(at, 3, u"-->") == 0) {
            at += text[at] == '<' ? 4 : 3;
            continue;
        }
        // One scan per rule, never past its own block: a search of the whole
        // rest of the sheet for each rule is quadratic in a sheet of many
        // rules (50,000 rules without a ';' took seconds here alone).
        bool atRule = text[at] == '@';
        size_t open = FindOutside(text, at, '{', atRule ? u';' : u'{');
        if (open < text.size() && text[open] == ';') {
            at = open + 1; // an at-rule without a block (@import, @charset)
            continue;
        }
        if (open == text.size())
            break;
        size_t end = BlockEnd(text, open);
        std::u16string selector = Trim(text.substr(at, open - at));
        size_t bodyEnd = text[end - 1] == '}' && end - 1 > open ? end - 1 : end;
        std::u16string body = text.substr(open + 1, bodyEnd - open - 1);
        at = end;
        if (atRule)
            continue;
        ++count;
        if (count > maxRules || selector.empty() || selector.size() > kMaxStyleUnits ||
            !std::all_of(selector.begin(), selector.end(), SelectorCharacter))
            continue;
        out += selector + u" { " + CleanDeclarations(body) + u" }\n";
    }
    *rules = count;
    return out;
}

} // namespace lwhtml
