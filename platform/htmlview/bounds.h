// How much of a page the HTML viewer hands to Qt's importer and layout. Both
// take time that grows faster than the page for some shapes (nested tables
// double the layout's work per level; many pictures in one paragraph, deep
// nesting and very long words are quadratic), so a page is cut at the first
// place that passes a bound; and where a page's body begins. Free of Qt, so
// that it is tested on its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace lwhtml {

constexpr size_t kMaxSourceUnits = 4u << 20;   // UTF-16 units of source kept
constexpr size_t kMaxTags = 50000;
constexpr size_t kMaxImages = 1000;
constexpr size_t kMaxOpenElements = 256;        // elements that need an end tag, open at once
constexpr size_t kMaxTableDepth = 8;
constexpr size_t kMaxTableWork = 16384;         // a cell weighs 2^(tables around it - 1)
constexpr size_t kMaxParagraph = 128u << 10;    // characters between block boundaries
constexpr size_t kMaxWord = 4096;               // characters without a place to break

// The length of the longest prefix of the source (at most kMaxSourceUnits)
// that passes no bound; the cut falls before the tag, entity or character that
// would pass one, never inside a surrogate pair.
size_t BoundedLength(const char16_t* text, size_t length);

// Where the body of a page that never opens one begins: Qt drops the content
// of a head that is never closed, and text that follows a head without a body
// tag, which browsers show. `at` is the first thing that belongs to the body
// (SIZE_MAX when the page opens its body or a frameset itself, or has no
// content); `closeHead` when the head is still open there.
struct BodyStart {
    size_t at = SIZE_MAX;
    bool closeHead = false;
};
BodyStart FindBodyStart(const char16_t* text, size_t length);

// Where numeric character references that end without their ';' ("&#174 ",
// "&#09x", as old pages write them and browsers read them) need one: Qt's
// importer shows them as written. Positions just after their digits, in order.
std::vector<size_t> UnterminatedReferences(const char16_t* text, size_t length);

// Where colours written as bare hex digits (bgcolor="999999", color=f00), as
// browsers read them, need their '#': Qt takes them for unknown names (black).
// Positions of the values' first digits, in order.
std::vector<size_t> BareColours(const char16_t* text, size_t length);

} // namespace lwhtml
