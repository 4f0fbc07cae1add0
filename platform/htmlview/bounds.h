// The page as the HTML viewer hands it to Qt: read once by the tokenizer
// (tokenizer.h), then written anew from that reading alone (well-formed tags,
// quoted values, only the elements and attributes Qt draws), so that Qt's
// importer never meets syntax the viewer did not understand. Qt's import and
// layout take time and memory that grow faster than the page for some shapes
// (nested tables double the layout's work per level, a table's grid is rows
// times columns, deep nesting and very long words are quadratic, every style
// rule is matched against every element), so the writing stops at the first
// place that passes one of these bounds, and marks the place. Free of Qt, so
// that it is tested on its own.
#pragma once

#include <cstddef>
#include <string>

namespace lwhtml {

constexpr size_t kMaxSourceUnits = 4u << 20;  // UTF-16 units of source read
constexpr size_t kMaxTags = 50000;            // elements written for Qt
constexpr size_t kMaxImages = 1000;           // img elements written
constexpr size_t kMaxOpenElements = 256;      // elements open at once
constexpr size_t kMaxIndentDepth = 16;        // lists, blockquotes and dd open at once (each indents)
constexpr size_t kMaxTableDepth = 8;
// Cells of the tables' grids (rows times columns, as Qt makes them), each
// weighing 2^(tables around it - 1).
constexpr size_t kMaxTableWork = 16384;
constexpr size_t kMaxTableColumns = 1024;
// What lies inside tables, characters and elements, each weighing
// 2^(tables around it - 1) likewise: Qt lays a table's content out again for
// every table around it, so text nested six deep costs thirty-two times its
// length.
constexpr size_t kMaxTableContent = 256u << 10;
constexpr size_t kMaxColSpan = 1000;          // as browsers read colspan
constexpr size_t kMaxRowSpan = 1000;
// Items of one list: Qt numbers and lays out a list's items in time that
// grows with the square of their count. A longer list goes on in a list of
// its own (numbered on from where the first stopped).
constexpr size_t kMaxListItems = 500;
constexpr size_t kMaxParagraph = 128u << 10;  // characters between block boundaries
constexpr size_t kMaxWord = 4096;             // characters without a place to break
constexpr size_t kMaxCombiningMarks = 32;     // combining marks on one character
// Style rules kept of the page's <style> sheets, and their matching: Qt
// matches every rule against every element and each of its ancestors, so
// rules times the elements' depths stays below this.
constexpr size_t kMaxStyleRules = 1024;
constexpr size_t kMaxStyleWork = 4u << 20;
constexpr double kMaxDeclaredSide = 4096;     // img, table, cell and rule sizes in pixels
constexpr double kMaxTableSpacing = 64;       // border, cellspacing, cellpadding
constexpr size_t kMaxTitleUnits = 1024;

// What stands where a page was cut: a paragraph of its own.
extern const char16_t kCutMark[];

struct BuiltPage {
    std::u16string html; // the document for Qt
    bool cut = false;    // the page passed a bound; kCutMark ends what is shown
};

// The document Qt gets for a page's source (at most kMaxSourceUnits of it).
BuiltPage BuildPage(const char16_t* text, size_t length);

// A colour of an HTML attribute (bgcolor="f00", color=red, "#FFCC00") as
// browsers read it: "#rrggbb", a name for Qt to look up, or empty for none.
std::u16string LegacyColour(const std::u16string& value);

} // namespace lwhtml
