// The tree of a page as browsers build it, kept only as far as the viewer
// needs it (the stack of open elements, the tables' grids), written out for
// Qt element by element with every bound applied on the way.
#include "bounds.h"

#include "css.h"
#include "tokenizer.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace lwhtml {

const char16_t kCutMark[] = u"[\u2026]";

namespace {

enum class Kind : uint8_t {
    Inline,         // written as Qt's element
    Anchor,         // a: a new one closes the open one
    Block,          // closes an open paragraph
    Paragraph,
    Heading,
    List,           // indents
    Quote,          // indents
    DefinitionList,
    ListItem,
    DefinitionItem, // dd indents
    Pre,
    Table,
    Section,        // thead, tbody, tfoot: their rows are the table's
    Row,
    Cell,
    Caption,        // a row of one cell
    Break,
    WordBreak,
    Rule,
    Image,
    Html,
    Head,
    Body,
    Title,
    Style,
    Hidden,         // script, iframe, noembed: their raw text is not shown
    Template,       // its content is not shown
    Void,           // shows nothing (meta, link, input, ...)
    Transparent,    // not written; its content is
};

struct Element {
    const char* name;
    const char* qt; // the element written for Qt
    Kind kind;
};

// Every element browsers know that a help page may hold, by name in byte
// order; any other is transparent, as browsers show an unknown element's content.
const Element kElements[] = {
    {"a", "a", Kind::Anchor},            {"abbr", "span", Kind::Inline},     {"acronym", "span", Kind::Inline},
    {"address", "address", Kind::Block}, {"applet", "", Kind::Transparent},  {"area", "", Kind::Void},
    {"article", "div", Kind::Block},     {"aside", "div", Kind::Block},      {"audio", "", Kind::Transparent},
    {"b", "b", Kind::Inline},            {"base", "", Kind::Void},           {"basefont", "", Kind::Void},
    {"bdi", "span", Kind::Inline},       {"bdo", "span", Kind::Inline},      {"bgsound", "", Kind::Void},
    {"big", "big", Kind::Inline},        {"blink", "span", Kind::Inline},    {"blockquote", "blockquote", Kind::Quote},
    {"body", "", Kind::Body},            {"br", "br", Kind::Break},          {"button", "", Kind::Transparent},
    {"canvas", "", Kind::Transparent},   {"caption", "td", Kind::Caption},   {"center", "center", Kind::Block},
    {"cite", "cite", Kind::Inline},      {"code", "code", Kind::Inline},     {"col", "", Kind::Void},
    {"colgroup", "", Kind::Void},        {"data", "span", Kind::Inline},     {"dd", "dd", Kind::DefinitionItem},
    {"del", "s", Kind::Inline},          {"details", "div", Kind::Block},    {"dfn", "dfn", Kind::Inline},
    {"dialog", "div", Kind::Block},      {"dir", "ul", Kind::List},          {"div", "div", Kind::Block},
    {"dl", "dl", Kind::DefinitionList},  {"dt", "dt", Kind::DefinitionItem}, {"em", "em", Kind::Inline},
    {"embed", "", Kind::Void},           {"fieldset", "div", Kind::Block},   {"figcaption", "div", Kind::Block},
    {"figure", "div", Kind::Block},      {"font", "font", Kind::Inline},     {"footer", "div", Kind::Block},
    {"form", "div", Kind::Block},        {"frame", "", Kind::Void},          {"frameset", "", Kind::Transparent},
    {"h1", "h1", Kind::Heading},         {"h2", "h2", Kind::Heading},        {"h3", "h3", Kind::Heading},
    {"h4", "h4", Kind::Heading},         {"h5", "h5", Kind::Heading},        {"h6", "h6", Kind::Heading},
    {"head", "", Kind::Head},            {"header", "div", Kind::Block},     {"hgroup", "div", Kind::Block},
    {"hr", "hr", Kind::Rule},            {"html", "", Kind::Html},           {"i", "i", Kind::Inline},
    {"iframe", "", Kind::Hidden},        {"image", "img", Kind::Image},      {"img", "img", Kind::Image},
    {"input", "", Kind::Void},           {"ins", "u", Kind::Inline},         {"kbd", "kbd", Kind::Inline},
    {"keygen", "", Kind::Void},          {"label", "span", Kind::Inline},    {"legend", "div", Kind::Block},
    {"li", "li", Kind::ListItem},        {"link", "", Kind::Void},           {"listing", "pre", Kind::Pre},
    {"main", "div", Kind::Block},        {"map", "", Kind::Transparent},     {"mark", "span", Kind::Inline},
    {"marquee", "span", Kind::Inline},   {"math", "", Kind::Transparent},    {"menu", "ul", Kind::List},
    {"meta", "", Kind::Void},            {"meter", "", Kind::Transparent},   {"nav", "div", Kind::Block},
    {"nobr", "nobr", Kind::Inline},      {"noembed", "", Kind::Hidden},      {"noframes", "", Kind::Transparent},
    {"noscript", "", Kind::Transparent}, {"object", "", Kind::Transparent},  {"ol", "ol", Kind::List},
    {"optgroup", "", Kind::Transparent}, {"option", "", Kind::Transparent},  {"output", "span", Kind::Inline},
    {"p", "p", Kind::Paragraph},         {"param", "", Kind::Void},          {"picture", "", Kind::Transparent},
    {"plaintext", "pre", Kind::Pre},     {"pre", "pre", Kind::Pre},          {"progress", "", Kind::Transparent},
    {"q", "span", Kind::Inline},         {"rb", "span", Kind::Inline},       {"rp", "span", Kind::Inline},
    {"rt", "span", Kind::Inline},        {"rtc", "span", Kind::Inline},      {"ruby", "span", Kind::Inline},
    {"s", "s", Kind::Inline},            {"samp", "samp", Kind::Inline},     {"script", "", Kind::Hidden},
    {"search", "div", Kind::Block},      {"section", "div", Kind::Block},    {"select", "", Kind::Transparent},
    {"small", "small", Kind::Inline},    {"source", "", Kind::Void},         {"span", "span", Kind::Inline},
    {"strike", "s", Kind::Inline},       {"strong", "strong", Kind::Inline}, {"style", "", Kind::Style},
    {"sub", "sub", Kind::Inline},        {"summary", "div", Kind::Block},    {"sup", "sup", Kind::Inline},
    {"svg", "", Kind::Transparent},      {"table", "table", Kind::Table},    {"tbody", "", Kind::Section},
    {"td", "td", Kind::Cell},            {"template", "", Kind::Template},   {"textarea", "", Kind::Transparent},
    {"tfoot", "", Kind::Section},        {"th", "th", Kind::Cell},           {"thead", "", Kind::Section},
    {"time", "span", Kind::Inline},      {"title", "", Kind::Title},         {"tr", "tr", Kind::Row},
    {"track", "", Kind::Void},           {"tt", "tt", Kind::Inline},         {"u", "u", Kind::Inline},
    {"ul", "ul", Kind::List},            {"var", "var", Kind::Inline},       {"video", "", Kind::Transparent},
    {"wbr", "", Kind::WordBreak},        {"xmp", "pre", Kind::Pre},
};

// What an element inside a table weighs against kMaxTableContent, in
// characters: a block of its own to lay out.
constexpr size_t kElementWeight = 16;

const Element kRow = {"tr", "tr", Kind::Row};
const Element kCell = {"td", "td", Kind::Cell};

const Element* FindElement(const std::u16string& name)
{
    if (name.size() > 12)
        return nullptr;
    char key[16] = {};
    for (size_t k = 0; k < name.size(); ++k)
        key[k] = name[k] < 0x80 ? static_cast<char>(name[k]) : '?';
    const Element* end = std::end(kElements);
    const Element* found = std::lower_bound(std::begin(kElements), end, key,
                                            [](const Element& e, const char* k) { return strcmp(e.name, k) < 0; });
    return found != end && strcmp(found->name, key) == 0 ? found : nullptr;
}

bool IsBlockKind(Kind kind)
{
    switch (kind) {
    case Kind::Block: case Kind::Paragraph: case Kind::Heading: case Kind::List: case Kind::Quote:
    case Kind::DefinitionList: case Kind::ListItem: case Kind::DefinitionItem: case Kind::Pre: case Kind::Table:
    case Kind::Row: case Kind::Cell: case Kind::Caption: case Kind::Rule:
        return true;
    default:
        return false;
    }
}

bool Indents(const Element& element)
{
    return element.kind == Kind::List || element.kind == Kind::Quote || strcmp(element.name, "dd") == 0;
}

// Where searches for an open element stop: an end tag never closes anything
// outside the table cell it is in.
bool IsScopeBoundary(Kind kind)
{
    return kind == Kind::Table || kind == Kind::Cell || kind == Kind::Caption;
}

bool IsSpace(char32_t c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\f';
}

bool AllSpace(const std::u16string& text)
{
    return std::all_of(text.begin(), text.end(), [](char16_t c) { return IsSpace(c); });
}

// Characters the line breaker may break after without a space: ideographs,
// kana, hangul, the full-width forms, and the supplementary ideographs and
// pictographs.
bool BreaksLine(char32_t c)
{
    return IsSpace(c) || c == 0x200B || (c >= 0x1100 && c <= 0x11FF) || (c >= 0x2E80 && c <= 0xA4CF) ||
           (c >= 0xAC00 && c <= 0xD7AF) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) ||
           (c >= 0xFF00 && c <= 0xFFEF) || (c >= 0x1F000 && c <= 0x1FAFF) || (c >= 0x20000 && c <= 0x3FFFF);
}

// The blocks of marks that stack on the character before them.
bool IsCombining(char32_t c)
{
    return (c >= 0x0300 && c <= 0x036F) || (c >= 0x0483 && c <= 0x0489) || (c >= 0x0591 && c <= 0x05C7) ||
           (c >= 0x0610 && c <= 0x061A) || (c >= 0x064B && c <= 0x065F) || (c >= 0x06D6 && c <= 0x06ED) ||
           (c >= 0x0E31 && c <= 0x0E4E) || (c >= 0x1AB0 && c <= 0x1AFF) || (c >= 0x1DC0 && c <= 0x1DFF) ||
           (c >= 0x20D0 && c <= 0x20FF) || (c >= 0x3099 && c <= 0x309A) || (c >= 0xFE00 && c <= 0xFE0F) ||
           (c >= 0xFE20 && c <= 0xFE2F);
}

// The colour names of CSS, by name in byte order: browsers read any other
// word by the digits it holds.
const char* const kColourNames[] = {
    "aliceblue", "antiquewhite", "aqua", "aquamarine", "azure", "beige", "bisque", "black", "blanchedalmond", "blue",
    "blueviolet", "brown", "burlywood", "cadetblue", "chartreuse", "chocolate", "coral", "cornflowerblue", "cornsilk",
    "crimson", "cyan", "darkblue", "darkcyan", "darkgoldenrod", "darkgray", "darkgreen", "darkgrey", "darkkhaki",
    "darkmagenta", "darkolivegreen", "darkorange", "darkorchid", "darkred", "darksalmon", "darkseagreen",
    "darkslateblue", "darkslategray", "darkslategrey", "darkturquoise", "darkviolet", "deeppink", "deepskyblue",
    "dimgray", "dimgrey", "dodgerblue", "firebrick", "floralwhite", "forestgreen", "fuchsia", "gainsboro",
    "ghostwhite", "gold", "goldenrod", "gray", "green", "greenyellow", "grey", "honeydew", "hotpink", "indianred",
    "indigo", "ivory", "khaki", "lavender", "lavenderblush", "lawngreen", "lemonchiffon", "lightblue", "lightcoral",
    "lightcyan", "lightgoldenrodyellow", "lightgray", "lightgreen", "lightgrey", "lightpink", "lightsalmon",
    "lightseagreen", "lightskyblue", "lightslategray", "lightslategrey", "lightsteelblue", "lightyellow", "lime",
    "limegreen", "linen", "magenta", "maroon", "mediumaquamarine", "mediumblue", "mediumorchid", "mediumpurple",
    "mediumseagreen", "mediumslateblue", "mediumspringgreen", "mediumturquoise", "mediumvioletred", "midnightblue",
    "mintcream", "mistyrose", "moccasin", "navajowhite", "navy", "oldlace", "olive", "olivedrab", "orange",
    "orangered", "orchid", "palegoldenrod", "palegreen", "paleturquoise", "palevioletred", "papayawhip", "peachpuff",
    "peru", "pink", "plum", "powderblue", "purple", "rebeccapurple", "red", "rosybrown", "royalblue", "saddlebrown",
    "salmon", "sandybrown", "seagreen", "seashell", "sienna", "silver", "skyblue", "slateblue", "slategray",
    "slategrey", "snow", "springgreen", "steelblue", "tan", "teal", "thistle", "tomato", "turquoise", "violet", "wheat",
    "white", "whitesmoke", "yellow", "yellowgreen",
};

std::string Narrow(const std::u16string& text)
{
    std::string out;
    for (char16_t c : text)
        out.push_back(c < 0x80 ? static_cast<char>(c >= 'A' && c <= 'Z' ? c | 0x20 : c) : '?');
    return out;
}

std::u16string Widen(const std::string& text)
{
    return std::u16string(text.begin(), text.end());
}

// A number as browsers read it in an HTML attribute: leading white space,
// then digits (with a fraction), any rest ignored; false when none.
bool LeadingNumber(const std::u16string& value, double* number, bool* percent)
{
    std::string text = Narrow(value);
    const char* start = text.c_str();
    while (IsSpace(static_cast<unsigned char>(*start)))
        ++start;
    if (!(*start >= '0' && *start <= '9') && *start != '.' && *start != '+' && *start != '-')
        return false;
    char* end = nullptr;
    *number = strtod(start, &end);
    if (end == start || *number != *number)
        return false;
    *percent = *end == '%';
    return true;
}

std::u16string Integer(double value)
{
    char text[32];
    snprintf(text, sizeof text, "%.0f", value);
    return Widen(text);
}

// A width or height: pixels up to kMaxDeclaredSide, or a percentage.
std::u16string Dimension(const std::u16string& value, bool percentAllowed)
{
    double number = 0;
    bool percent = false;
    if (!LeadingNumber(value, &number, &percent) || number < 0 || (percent && !percentAllowed))
        return u"";
    if (percent)
        return Integer(std::min(number, 100.0)) + u"%";
    return Integer(std::min(number, kMaxDeclaredSide));
}

std::u16string Spacing(const std::u16string& value)
{
    double number = 0;
    bool percent = false;
    if (!LeadingNumber(value, &number, &percent) || percent)
        return u"";
    return Integer(std::clamp(number, 0.0, kMaxTableSpacing));
}

size_t Span(const std::u16string& value, size_t bound)
{
    double number = 0;
    bool percent = false;
    if (!LeadingNumber(value, &number, &percent) || number < 1)
        return 1;
    return static_cast<size_t>(std::min(number, static_cast<double>(bound)));
}

// <font size>: 1 to 7, a sign making it relative to 3.
std::u16string FontSize(const std::u16string& value)
{
    std::string text = Narrow(value);
    const char* start = text.c_str();
    while (IsSpace(static_cast<unsigned char>(*start)))
        ++start;
    char sign = *start == '+' || *start == '-' ? *start++ : 0;
    if (!(*start >= '0' && *start <= '9'))
        return u"";
    double n = std::min(strtod(start, nullptr), 100.0);
    double size = sign == '+' ? 3 + n : sign == '-' ? 3 - n : n;
    return Integer(std::clamp(size, 1.0, 7.0));
}

std::u16string OneOf(const std::u16string& value, std::initializer_list<const char*> allowed, bool caseSensitive)
{
    std::string text = caseSensitive ? std::string(value.begin(), value.end()) : Narrow(value);
    if (value.size() > 16)
        return u"";
    for (const char* a : allowed)
        if (text == a)
            return Widen(a);
    return u"";
}

void AppendEscaped(std::u16string* out, const std::u16string& text)
{
    for (char16_t c : text) {
        switch (c) {
        case '&': *out += u"&amp;"; break;
        case '<': *out += u"&lt;"; break;
        case '>': *out += u"&gt;"; break;
        case '"': *out += u"&quot;"; break;
        // Qt's own marks of frames, objects and blocks stand for nothing here.
        case 0xFDD0: case 0xFDD1: case 0xFFFC: out->push_back(0xFFFD); break;
        case 0x2029: out->push_back(0x2028); break;
        default: out->push_back(c);
        }
    }
}

const std::u16string* Find(const std::vector<Attribute>& attributes, const char* name)
{
    for (const Attribute& a : attributes)
        if (Narrow(a.name) == name)
            return &a.value;
    return nullptr;
}

// A list's marker as text: "12", "l", "XII"; past 3,999 a roman numeral is
// written in digits, as Qt writes it.
std::u16string ListMarker(size_t number, char style)
{
    if (style == 'a' || style == 'A') {
        std::u16string letters;
        for (size_t n = number; n > 0; n = (n - 1) / 26)
            letters.insert(letters.begin(), static_cast<char16_t>((style == 'a' ? 'a' : 'A') + (n - 1) % 26));
        return letters;
    }
    if ((style == 'i' || style == 'I') && number > 0 && number < 4000) {
        static const std::pair<size_t, const char*> kNumerals[] = {{1000, "m"}, {900, "cm"}, {500, "d"}, {400, "cd"},
                                                                  {100, "c"},  {90, "xc"},  {50, "l"},  {40, "xl"},
                                                                  {10, "x"},   {9, "ix"},   {5, "v"},   {4, "iv"},
                                                                  {1, "i"}};
        std::u16string roman;
        for (const auto& [value, numeral] : kNumerals)
            for (; number >= value; number -= value)
                for (const char* c = numeral; *c; ++c)
                    roman.push_back(static_cast<char16_t>(style == 'i' ? *c : *c - 32));
        return roman;
    }
    return Integer(static_cast<double>(number));
}

// The numbering an <ol> asks for: '1', 'a', 'A', 'i' or 'I'.
char ListStyle(const std::vector<Attribute>& attributes)
{
    for (const Attribute& a : attributes) {
        std::string name = Narrow(a.name);
        if (name == "type" && a.value.size() == 1 && strchr("1aAiI", static_cast<char>(a.value[0])))
            return static_cast<char>(a.value[0]);
        if (name == "style") {
            std::string style = Narrow(a.value);
            const std::pair<const char*, char> kStyles[] = {
                {"lower-alpha", 'a'}, {"lower-latin", 'a'}, {"upper-alpha", 'A'}, {"upper-latin", 'A'},
                {"lower-roman", 'i'}, {"upper-roman", 'I'}};
            for (const auto& [keyword, letter] : kStyles)
                if (style.find(keyword) != std::string::npos)
                    return letter;
        }
    }
    return '1';
}

struct List {
    size_t stack;             // its place on the stack
    const Element* element;
    std::vector<Attribute> attributes;
    size_t items = 0;
    size_t first = 1;         // the number of its first item
    bool numberedAsText = false; // a continuation of a long ordered list
    char style = '1';
};

struct Table {
    size_t stack;       // its place on the stack
    size_t weight;      // 2^(tables around it)
    size_t rows = 0;
    size_t columns = 0; // of the widest row
    size_t column = 0;  // the next column of the current row
    size_t row = SIZE_MAX;  // stack place of the open row
    size_t cell = SIZE_MAX; // and cell
    std::vector<size_t> coveredUntil; // per column, the first row that a rowspan above leaves free
};

class Builder {
public:
    BuiltPage Run(const char16_t* text, size_t length);

private:
    void StartTag(const Token& token, const Element& element);
    void EndTag(const Element& element);
    void Text(const std::u16string& text);

    bool Cut()
    {
        cut_ = true;
        return false;
    }
    bool Open(const Element& element, const std::vector<Attribute>& attributes, const std::u16string& extra = u"");
    void Pop();
    void CloseTo(size_t index);
    // The innermost open element for which `match` holds, searched no
    // further than the innermost table cell; SIZE_MAX when none.
    template <typename Match> size_t FindOpen(Match match) const
    {
        for (size_t k = stack_.size(); k-- > 0;) {
            if (match(*stack_[k]))
                return k;
            if (IsScopeBoundary(stack_[k]->kind))
                break;
        }
        return SIZE_MAX;
    }
    void CloseParagraph();
    bool InTableOutsideCells() const { return !tables_.empty() && tables_.back().cell == SIZE_MAX; }
    bool EnsureCell();
    bool StartListItem(const Element& element, const std::vector<Attribute>& attributes);
    bool StartRow(const std::vector<Attribute>& attributes);
    bool StartCell(const Element& element, const std::vector<Attribute>& attributes);
    size_t TableWork() const;
    std::u16string Attributes(const Element& element, const std::vector<Attribute>& attributes) const;
    bool CountCharacter(char32_t c);
    void Boundary() { paragraph_ = word_ = combining_ = 0; }
    // Counts `units` of content of the innermost table; false past the bound.
    bool InTableContent(size_t units)
    {
        if (!tables_.empty())
            tableContent_ += units * tables_.back().weight;
        return tableContent_ <= kMaxTableContent;
    }
    void WriteText(const std::u16string& text);

    std::u16string body_;
    std::u16string title_;
    std::u16string style_;
    std::u16string bodyAttributes_;
    bool titleSeen_ = false;
    bool bodySeen_ = false;
    std::vector<const Element*> stack_;
    std::vector<Table> tables_;
    std::vector<List> lists_;
    std::u16string* collect_ = nullptr; // the title or style being read
    bool hideText_ = false;             // the raw text of a hidden element comes next
    size_t templates_ = 0;              // templates open: nothing shows
    bool cut_ = false;
    size_t tags_ = 0;
    size_t images_ = 0;
    size_t indents_ = 0;
    size_t preformatted_ = 0;
    size_t closedTableWork_ = 0;
    size_t tableContent_ = 0;
    size_t depthSum_ = 0;
    size_t paragraph_ = 0;
    size_t word_ = 0;
    size_t combining_ = 0;
    bool lastSpace_ = false;
};

bool Builder::Open(const Element& element, const std::vector<Attribute>& attributes, const std::u16string& extra)
{
    bool isVoid = element.kind == Kind::Break || element.kind == Kind::Rule || element.kind == Kind::Image;
    if (++tags_ > kMaxTags || (!isVoid && stack_.size() >= kMaxOpenElements))
        return Cut();
    if (element.kind == Kind::Image && ++images_ > kMaxImages)
        return Cut();
    if (Indents(element) && ++indents_ > kMaxIndentDepth)
        return Cut();
    if (!InTableContent(kElementWeight))
        return Cut();
    depthSum_ += stack_.size() + 1;
    if (IsBlockKind(element.kind))
        Boundary();
    body_ += u"<";
    body_ += Widen(element.qt);
    body_ += Attributes(element, attributes);
    body_ += extra;
    body_ += u">";
    if (isVoid) {
        if (element.kind == Kind::Break)
            word_ = 0;
        return true;
    }
    stack_.push_back(&element);
    if (element.kind == Kind::Pre)
        ++preformatted_;
    if (element.kind == Kind::List)
        lists_.push_back(List{stack_.size() - 1, &element, attributes});
    return true;
}

void Builder::Pop()
{
    const Element& element = *stack_.back();
    stack_.pop_back();
    body_ += u"</";
    body_ += Widen(element.qt);
    body_ += u">";
    if (IsBlockKind(element.kind))
        Boundary();
    if (Indents(element))
        --indents_;
    if (element.kind == Kind::Pre)
        --preformatted_;
    if (!lists_.empty() && lists_.back().stack == stack_.size())
        lists_.pop_back();
    if (tables_.empty())
        return;
    Table& table = tables_.back();
    size_t at = stack_.size();
    if (at == table.cell)
        table.cell = SIZE_MAX;
    if (at == table.row)
        table.row = SIZE_MAX;
    if (at == table.stack) {
        closedTableWork_ += table.rows * table.columns * table.weight;
        tables_.pop_back();
    }
}

void Builder::CloseTo(size_t index)
{
    while (stack_.size() > index)
        Pop();
}

void Builder::CloseParagraph()
{
    size_t p = FindOpen([](const Element& e) { return e.kind == Kind::Paragraph; });
    if (p != SIZE_MAX)
        CloseTo(p);
}

size_t Builder::TableWork() const
{
    size_t work = closedTableWork_;
    for (const Table& table : tables_)
        work += table.rows * table.columns * table.weight;
    return work;
}

// Text or an element outside the cells of a table goes into a cell of its
// own (browsers move it before the table; here it is never lost).
bool Builder::EnsureCell()
{
    if (!InTableOutsideCells())
        return true;
    if (tables_.back().row == SIZE_MAX && !StartRow({}))
        return false;
    return StartCell(kCell, {});
}

// An item of the innermost list (when no table cell lies between them); the
// list goes on in a new one when it is full.
bool Builder::StartListItem(const Element& element, const std::vector<Attribute>& attributes)
{
    bool inList = !lists_.empty() && (tables_.empty() || lists_.back().stack > tables_.back().stack);
    if (inList && lists_.back().items == kMaxListItems) {
        List full = lists_.back();
        bool ordered = strcmp(full.element->qt, "ol") == 0;
        CloseTo(full.stack);
        std::vector<Attribute> continued = full.attributes;
        if (ordered)
            continued = {Attribute{u"style", u"list-style-type: none"}};
        if (!Open(*full.element, continued))
            return false;
        List& next = lists_.back();
        next.first = full.first + full.items;
        next.numberedAsText = ordered;
        next.style = full.numberedAsText ? full.style : ListStyle(full.attributes);
    }
    if (!Open(element, attributes))
        return false;
    if (!inList)
        return true;
    List& list = lists_.back();
    size_t number = list.first + list.items++;
    if (list.numberedAsText)
        WriteText(ListMarker(number, list.style) + u". ");
    return !cut_;
}

bool Builder::StartRow(const std::vector<Attribute>& attributes)
{
    Table& table = tables_.back();
    if (table.row != SIZE_MAX)
        CloseTo(table.row);
    ++table.rows;
    table.column = 0;
    if (TableWork() > kMaxTableWork)
        return Cut();
    size_t at = stack_.size();
    if (!Open(kRow, attributes))
        return false;
    tables_.back().row = at;
    return true;
}

bool Builder::StartCell(const Element& element, const std::vector<Attribute>& attributes)
{
    Table& table = tables_.back();
    if (table.cell != SIZE_MAX)
        CloseTo(table.cell);
    size_t row = table.rows - 1;
    size_t column = table.column;
    while (column < table.coveredUntil.size() && table.coveredUntil[column] > row)
        ++column;
    const std::u16string* colspan = Find(attributes, "colspan");
    const std::u16string* rowspan = Find(attributes, "rowspan");
    size_t columns = colspan ? Span(*colspan, kMaxColSpan) : 1;
    size_t rows = rowspan ? Span(*rowspan, kMaxRowSpan) : 1;
    if (column + columns > kMaxTableColumns)
        return Cut();
    if (table.coveredUntil.size() < column + columns)
        table.coveredUntil.resize(column + columns, 0);
    for (size_t k = column; k < column + columns; ++k)
        table.coveredUntil[k] = row + rows;
    table.column = column + columns;
    table.columns = std::max(table.columns, table.column);
    if (TableWork() > kMaxTableWork)
        return Cut();
    std::u16string spans;
    if (columns > 1)
        spans += u" colspan=\"" + Integer(static_cast<double>(columns)) + u"\"";
    if (rows > 1)
        spans += u" rowspan=\"" + Integer(static_cast<double>(rows)) + u"\"";
    size_t at = stack_.size();
    if (!Open(element, attributes, spans))
        return false;
    tables_.back().cell = at;
    return true;
}

std::u16string Builder::Attributes(const Element& element, const std::vector<Attribute>& attributes) const
{
    std::u16string out;
    auto put = [&](const char* name, const std::u16string& value) {
        if (value.empty())
            return;
        out += u" ";
        out += Widen(name);
        out += u"=\"";
        AppendEscaped(&out, value);
        out += u"\"";
    };
    Kind kind = element.kind;
    bool cellLike = kind == Kind::Cell || kind == Kind::Row || kind == Kind::Table;
    for (const Attribute& attribute : attributes) {
        std::string name = Narrow(attribute.name);
        const std::u16string& value = attribute.value;
        if (name == "id" || name == "class") {
            put(name.c_str(), value);
        } else if (name == "style") {
            put("style", CleanDeclarations(value));
        } else if (name == "dir") {
            put("dir", OneOf(value, {"ltr", "rtl"}, false));
        } else if (name == "align" && kind == Kind::Image) {
            // Old pages write "absmiddle" and "texttop", as browsers read them.
            std::string align = Narrow(value);
            put("align", OneOf(align == "absmiddle" ? u"middle" : align == "texttop" ? u"top" : value,
                               {"left", "right", "middle", "top"}, false));
        } else if (name == "align") {
            put("align", OneOf(value, {"left", "right", "center", "justify"}, false));
        } else if (name == "valign" && cellLike) {
            put("valign", OneOf(value, {"top", "middle", "bottom"}, false));
        } else if (name == "bgcolor" && cellLike) {
            put("bgcolor", LegacyColour(value));
        } else if (kind == Kind::Anchor && (name == "href" || name == "name")) {
            put(name.c_str(), value);
        } else if (kind == Kind::Image && name == "src") {
            put("src", value);
        } else if ((kind == Kind::Image || kind == Kind::Table) && (name == "width" || name == "height")) {
            put(name.c_str(), Dimension(value, kind == Kind::Table));
        } else if ((kind == Kind::Cell || kind == Kind::Rule) && name == "width") {
            put("width", Dimension(value, true));
        } else if (kind == Kind::Table && (name == "border" || name == "cellspacing" || name == "cellpadding")) {
            put(name.c_str(), Spacing(value));
        } else if (kind == Kind::Table && name == "bordercolor") {
            put("bordercolor", LegacyColour(value));
        } else if (kind == Kind::List && name == "type") {
            put("type", OneOf(value, {"1", "a", "A", "i", "I", "square", "disc", "circle", "none"}, true));
        } else if (strcmp(element.qt, "font") == 0) {
            if (name == "size")
                put("size", FontSize(value));
            else if (name == "color")
                put("color", LegacyColour(value));
            else if (name == "face")
                put("face", value.substr(0, kMaxStyleUnits));
        }
    }
    return out;
}

// Counts a character written; false when it passes a bound.
bool Builder::CountCharacter(char32_t c)
{
    bool space = IsSpace(c);
    if (preformatted_ > 0) {
        if (c == '\n') {
            Boundary(); // every line of preformatted text is a paragraph of its own
            return true;
        }
        if (++paragraph_ > kMaxParagraph)
            return false;
    } else {
        // White space outside preformatted text collapses to one.
        if (space && lastSpace_)
            return true;
        if (++paragraph_ > kMaxParagraph)
            return false;
        lastSpace_ = space;
    }
    if (!InTableContent(1))
        return false;
    if (IsCombining(c)) {
        if (++combining_ > kMaxCombiningMarks)
            return false;
    } else {
        combining_ = 0;
    }
    if (BreaksLine(c)) {
        word_ = 0;
        return true;
    }
    return ++word_ <= kMaxWord;
}

void Builder::WriteText(const std::u16string& text)
{
    size_t i = 0;
    while (i < text.size()) {
        char32_t c = text[i];
        size_t units = 1;
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            units = 2;
        }
        if (!CountCharacter(c)) {
            Cut();
            break;
        }
        i += units;
    }
    AppendEscaped(&body_, text.substr(0, i));
}

void Builder::Text(const std::u16string& text)
{
    if (collect_) {
        collect_->append(text, 0, std::min(text.size(), (collect_ == &title_ ? kMaxTitleUnits : kMaxSourceUnits)));
        return;
    }
    if (hideText_ || templates_ > 0)
        return;
    if (AllSpace(text) && (!bodySeen_ || InTableOutsideCells()))
        return;
    bodySeen_ = true;
    if (EnsureCell())
        WriteText(text);
}

void Builder::StartTag(const Token& token, const Element& element)
{
    const std::vector<Attribute>& attributes = token.attributes;
    switch (element.kind) {
    case Kind::Html:
    case Kind::Head:
    case Kind::Void:
    case Kind::Transparent:
        return;
    case Kind::Body:
        if (!bodySeen_ || bodyAttributes_.empty()) {
            for (const Attribute& a : attributes)
                if (Narrow(a.name) == "bgcolor" && !LegacyColour(a.value).empty())
                    bodyAttributes_ = u" bgcolor=\"" + LegacyColour(a.value) + u"\"";
        }
        bodySeen_ = true;
        return;
    case Kind::Title:
        collect_ = titleSeen_ ? nullptr : &title_;
        hideText_ = titleSeen_;
        titleSeen_ = true;
        return;
    case Kind::Style:
        style_ += u"\n";
        collect_ = &style_;
        return;
    case Kind::Hidden:
        hideText_ = true;
        return;
    case Kind::Template:
        ++templates_;
        return;
    default:
        break;
    }
    bodySeen_ = true;
    Kind kind = element.kind;
    if (kind == Kind::Section || kind == Kind::Row || kind == Kind::Cell || kind == Kind::Caption) {
        if (tables_.empty())
            return; // browsers drop table parts outside a table
        if (kind == Kind::Section) {
            if (tables_.back().row != SIZE_MAX)
                CloseTo(tables_.back().row);
        } else if (kind == Kind::Row || kind == Kind::Caption) {
            if (StartRow(kind == Kind::Row ? attributes : std::vector<Attribute>{}) && kind == Kind::Caption)
                StartCell(kCell, {});
        } else if (tables_.back().row != SIZE_MAX || StartRow({})) {
            StartCell(element, attributes);
        }
        return;
    }
    if (kind == Kind::Table && InTableOutsideCells())
        CloseTo(tables_.back().stack); // a table inside a table's rows ends that table
    if (!EnsureCell())
        return;
    if (kind == Kind::Anchor) {
        size_t open = FindOpen([](const Element& e) { return e.kind == Kind::Anchor; });
        if (open != SIZE_MAX)
            CloseTo(open);
    } else if (kind == Kind::ListItem || kind == Kind::DefinitionItem) {
        // The item open in this list, not one of a list around it.
        for (size_t k = stack_.size(); k-- > 0;) {
            const Element& e = *stack_[k];
            if (e.kind == kind) {
                CloseTo(k);
                break;
            }
            if (IsBlockKind(e.kind) && e.kind != Kind::Paragraph && strcmp(e.qt, "div") != 0 &&
                strcmp(e.qt, "address") != 0)
                break;
        }
        CloseParagraph();
    } else if (kind == Kind::Heading) {
        CloseParagraph();
        if (!stack_.empty() && stack_.back()->kind == Kind::Heading)
            Pop();
    } else if (IsBlockKind(kind)) {
        CloseParagraph();
    }
    if (kind == Kind::Table) {
        if (tables_.size() >= kMaxTableDepth) {
            Cut();
            return;
        }
        size_t at = stack_.size();
        size_t weight = size_t{1} << tables_.size();
        if (Open(element, attributes))
            tables_.push_back(Table{at, weight, 0, 0, 0, SIZE_MAX, SIZE_MAX, {}});
        return;
    }
    if (kind == Kind::WordBreak) {
        WriteText(u"\u200B");
        return;
    }
    if (kind == Kind::ListItem) {
        StartListItem(element, attributes);
        return;
    }
    Open(element, attributes);
}

void Builder::EndTag(const Element& element)
{
    Kind kind = element.kind;
    size_t open = SIZE_MAX;
    switch (kind) {
    case Kind::Break:
        StartTag(Token{}, element); // </br> is read as <br>
        return;
    case Kind::Table:
        if (!tables_.empty())
            CloseTo(tables_.back().stack);
        return;
    case Kind::Section:
    case Kind::Row:
    case Kind::Caption:
        if (!tables_.empty() && tables_.back().row != SIZE_MAX)
            CloseTo(tables_.back().row);
        return;
    case Kind::Cell:
        if (!tables_.empty() && tables_.back().cell != SIZE_MAX)
            CloseTo(tables_.back().cell);
        return;
    case Kind::Heading:
        open = FindOpen([](const Element& e) { return e.kind == Kind::Heading; });
        break;
    default:
        if (IsBlockKind(kind) || kind == Kind::Inline || kind == Kind::Anchor)
            open = FindOpen([&](const Element& e) { return &e == &element; });
        break;
    }
    if (open != SIZE_MAX)
        CloseTo(open);
}

BuiltPage Builder::Run(const char16_t* text, size_t length)
{
    Tokenizer tokenizer(text, std::min(length, kMaxSourceUnits));
    Token token;
    while (!cut_ && tokenizer.Next(&token)) {
        if (token.kind == Token::Kind::Text) {
            Text(token.text);
            continue;
        }
        collect_ = nullptr;
        hideText_ = false;
        const Element* element = FindElement(token.name);
        if (!element)
            continue;
        if (element->kind == Kind::Template) {
            if (token.kind == Token::Kind::StartTag)
                ++templates_;
            else if (templates_ > 0)
                --templates_;
            continue;
        }
        if (templates_ > 0)
            continue;
        if (token.kind == Token::Kind::StartTag)
            StartTag(token, *element);
        else
            EndTag(*element);
    }
    CloseTo(0);
    if (cut_) {
        body_ += u"<p><font color=\"#808080\">";
        body_ += kCutMark;
        body_ += u"</font></p>";
    }

    BuiltPage page;
    page.cut = cut_;
    page.html = u"<html><head>";
    if (!title_.empty()) {
        page.html += u"<title>";
        AppendEscaped(&page.html, title_);
        page.html += u"</title>";
    }
    if (!style_.empty()) {
        size_t rules = 0;
        size_t budget = std::min(kMaxStyleRules, kMaxStyleWork / std::max<size_t>(1, depthSum_));
        page.html += u"<style>" + CleanStyleSheet(style_, budget, &rules) + u"</style>";
    }
    page.html += u"</head><body" + bodyAttributes_ + u">";
    page.html += body_;
    page.html += u"</body></html>";
    return page;
}

} // namespace

BuiltPage BuildPage(const char16_t* text, size_t length)
{
    if (!text)
        return Builder().Run(u"", 0);
    return Builder().Run(text, length);
}

std::u16string LegacyColour(const std::u16string& value)
{
    std::u16string text;
    for (char16_t c : value)
        if (!IsSpace(c) || !text.empty())
            text.push_back(c);
    while (!text.empty() && IsSpace(text.back()))
        text.pop_back();
    if (text.empty() || text.size() > 128 || Narrow(text) == "transparent")
        return u"";
    auto hex = [](char16_t c) { return (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'f'); };
    std::string name = Narrow(text);
    if (std::binary_search(std::begin(kColourNames), std::end(kColourNames), name,
                           [](const auto& a, const auto& b) { return std::string_view(a) < std::string_view(b); }))
        return Widen(name); // for Qt to look up
    if (text.size() == 4 && text[0] == '#' && std::all_of(text.begin() + 1, text.end(), hex)) {
        std::u16string out = u"#";
        for (size_t k = 1; k < 4; ++k)
            out.append(2, text[k]);
        return Widen(Narrow(out));
    }
    if (text[0] == '#')
        text.erase(0, 1);
    for (char16_t& c : text)
        if (!hex(c))
            c = '0';
    while (text.empty() || text.size() % 3 != 0)
        text.push_back('0');
    size_t part = text.size() / 3;
    std::u16string components[3] = {text.substr(0, part), text.substr(part, part), text.substr(2 * part, part)};
    if (part > 8) {
        for (std::u16string& c : components)
            c.erase(0, part - 8);
        part = 8;
    }
    while (part > 2 && std::all_of(std::begin(components), std::end(components), [](const std::u16string& c) { return c[0] == '0'; })) {
        for (std::u16string& c : components)
            c.erase(0, 1);
        --part;
    }
    std::u16string out = u"#";
    for (std::u16string& c : components) {
        c = c.substr(0, 2);
        if (c.size() == 1)
            c.insert(0, 1, '0');
        out += c;
    }
    return Widen(Narrow(out));
}

} // namespace lwhtml
