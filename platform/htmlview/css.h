// Style written by a page, rewritten for Qt's importer: only the properties it
// draws, with every size within a bound, and nothing that loads a resource.
// Free of Qt.
#pragma once

#include <cstddef>
#include <string>

namespace lwhtml {

// Sizes a page may ask for in its style, in CSS pixels (other units are
// converted; percentages have bounds of their own). Qt lays out and draws
// whatever it is given: a 100,000-pixel font or letter spacing takes seconds
// and hundreds of megabytes per line, a huge margin or indent makes every
// character a line of its own.
constexpr double kMaxFontPixels = 128;
constexpr double kMaxSpacingPixels = 64;     // letter-spacing, word-spacing
constexpr double kMaxLineHeightPixels = 256;
constexpr double kMaxLineHeightFactor = 8;   // line-height without a unit
constexpr double kMaxMarginPixels = 256;     // margins, padding, text-indent
constexpr double kMaxBorderPixels = 16;
constexpr double kMaxBoxPixels = 4096;       // width, height
constexpr double kMaxFontPercent = 800;      // font-size and line-height in %
constexpr double kMaxBoxPercent = 100;
// Units of one selector or declaration value kept; longer ones are dropped.
constexpr size_t kMaxStyleUnits = 1024;

// The declarations of a style attribute ("color: red; margin: 2px"), as Qt
// must get them: unknown properties, values that name a resource or hold
// other syntax, and -qt- extensions dropped; sizes held to the bounds above.
std::u16string CleanDeclarations(const std::u16string& css);

// A <style> sheet as Qt must get it: its first `maxRules` style rules with
// their declarations cleaned, at-rules (@import, @media, ...) and rules with
// selectors of other syntax dropped. `*rules` receives the count of rules
// the sheet holds (kept or not).
std::u16string CleanStyleSheet(const std::u16string& css, size_t maxRules, size_t* rules);

} // namespace lwhtml
