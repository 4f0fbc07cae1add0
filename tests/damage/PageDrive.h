// A page taken the way the page window takes it: its file written into a
// private scratch folder, loaded by a new PageWindow (which answers every
// picture from that folder), shown, and waited for until the viewer has laid
// it out whole. Shared by the hostile-page tests, the replay of fuzzer
// findings, the page fuzzers and the hostile-page benchmark.
#pragma once

#include <windows.h>

class Book;

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace pagedrive {

// Files written beside the page: base name, bytes.
using Pictures = std::vector<std::pair<std::string, std::string>>;

// Points LEAFWISE_ROOT and LEAFWISE_TEMP at a private folder made for this
// process, and starts the device. Idempotent.
void Start();
// The host paths of the device's root ("\") and of the scratch folder ("\Temp").
const std::string& RootHost();
const std::string& ScratchHost();

// Empties the scratch folder and writes `page` into it as the book writes a
// page (UTF-16 little-endian after the mark FF FE), as "page.htm", and the
// pictures beside it.
void WritePage(const std::u16string& page, const Pictures& pictures = {});
// The page text of `bytes` as the book reads a page: UTF-16 as it is after the
// mark FF FE, else in the charset the page declares, else code page 1252.
std::u16string DecodePage(const uint8_t* data, size_t size);

struct Outcome {
    bool created = false;   // the page window was made
    double shownMs = 0;     // from LoadPage to the shown window painted
    double settledMs = 0;   // to the whole page laid out, every picture asked for
    bool settled = false;   // within the bound
    bool answers = false;   // a key, WM_GETTEXT and the soft key "Cancel" were handled after it
    std::u16string text;    // the viewer's text (WM_GETTEXT)
};

struct Options {
    // The page file of the scratch folder, and its folder inside the book.
    std::u16string file = u"page.htm";
    std::u16string folder;
    ::Book* book = nullptr; // the book links are followed in; none: links do nothing
    int settleLimitMs = 20000;
    // Paint the last screen, then the first, and walk the first links by Tab.
    bool exercise = false;
};

// Shows the page file of the scratch folder in a new page window, and closes it.
Outcome ShowPage(const Options& options);

} // namespace pagedrive
