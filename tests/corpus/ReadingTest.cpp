// Every corpus book read as a user reads it: Leafwise started with the book on
// its command line shows its contents tree, and "Browse" on the first, middle
// and last contents pages shows each page with its pictures and its own text.
#include "CorpusSupport.h"

#include "../support/modal.h"
#include "PageWindow.h"
#include "ReaderApp.h"
#include "TocWindow.h"

#include <commctrl.h>
#include <htmlctrl.h>
#include <lwdevice.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <set>

using namespace booktest;
using namespace corpustest;
namespace fs = std::filesystem;

namespace {

// What passed between the page window and its viewer for one page.
struct Traffic {
    std::map<DWORD, std::u16string> asked;  // cookie -> src as written
    std::map<DWORD, UINT> answered;         // cookie -> DTM_SETIMAGE or DTM_IMAGEFAIL
};
Traffic traffic;
WNDPROC viewerProc = nullptr;
WNDPROC pageProc = nullptr;

LRESULT CALLBACK RecordViewer(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == DTM_SETIMAGE)
        traffic.answered[reinterpret_cast<const INLINEIMAGEINFO*>(lParam)->dwCookie] = message;
    else if (message == DTM_IMAGEFAIL)
        traffic.answered[static_cast<DWORD>(lParam)] = message;
    return CallWindowProcW(viewerProc, window, message, wParam, lParam);
}

LRESULT CALLBACK RecordPage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* notice = reinterpret_cast<const NM_HTMLVIEW*>(lParam);
    if (message == WM_NOTIFY && notice->hdr.code == NM_INLINE_IMAGE)
        traffic.asked[notice->dwCookie] = notice->szTarget;
    return CallWindowProcW(pageProc, window, message, wParam, lParam);
}

HTREEITEM Item(HWND tree, UINT relation, HTREEITEM from = nullptr)
{
    return reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(from)));
}

bool ActiveClassIs(const char16_t* name) { return lwtest::ModalCloser::ActiveClassIs(name); }

// White space as a layout collapses it, ideographic and no-break spaces too.
bool Blank(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == 0xA0 || c == 0x3000 || c == 0xFEFF ||
           c == 0x2028 || c == 0x2029 || (c >= 0x2000 && c <= 0x200B);
}

// The text with every stretch of white space made one blank, none at the ends.
std::u16string Collapsed(const std::u16string& text)
{
    std::u16string out;
    for (char16_t c : text) {
        if (!Blank(c))
            out += c;
        else if (!out.empty() && out.back() != u' ')
            out += u' ';
    }
    if (!out.empty() && out.back() == u' ')
        out.pop_back();
    return out;
}

// Text between tags with its character references decoded (a numeric one
// may go without its ';'); false when it holds a named one other than the few
// that pages use most, or a C1 one, which is read as code page 1252's.
bool Decoded(const std::u16string& text, std::u16string* out)
{
    static const std::pair<const char16_t*, char16_t> kNamed[] = {
        {u"amp", u'&'}, {u"lt", u'<'}, {u"gt", u'>'}, {u"quot", u'"'}, {u"nbsp", 0xA0}, {u"copy", 0xA9}};
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != u'&') {
            *out += text[i];
            continue;
        }
        size_t end = i + 1;
        if (end < text.size() && text[end] == u'#') {
            bool hex = end + 1 < text.size() && (text[end + 1] == u'x' || text[end + 1] == u'X');
            std::string digits;
            for (end += 1 + hex; end < text.size() && isxdigit(text[end]) && (hex || isdigit(text[end])); ++end)
                digits += static_cast<char>(text[end]);
            unsigned long value = digits.size() <= 6 ? strtoul(digits.c_str(), nullptr, hex ? 16 : 10) : 0;
            if (value == 0 || value > 0xFFFF || (value >= 0x80 && value < 0xA0))
                return false;
            *out += static_cast<char16_t>(value);
        } else {
            while (end < text.size() && isalpha(text[end]))
                ++end;
            std::u16string name = text.substr(i + 1, end - i - 1);
            auto known = std::find_if(std::begin(kNamed), std::end(kNamed), [&](const auto& n) { return name == n.first; });
            if (known == std::end(kNamed) || end >= text.size() || text[end] != u';')
                return false;
            *out += known->second;
        }
        i = end < text.size() && text[end] == u';' ? end : end - 1;
    }
    return true;
}

// A page as a reader sees it, read here without the viewer: its runs of text
// (outside tags, comments, scripts, styles and the title; white space
// collapsed) and the distinct sources of its img tags (of at most the
// viewer's 1,000 tags), which the viewer asks for once each.
struct PageSource {
    std::vector<std::u16string> runs;  // a run with an unknown entity is left out
    size_t images = 0;
};

// The '>' that ends the tag opened at `open`, outside quoted attribute values
// (a quote opens one only right after '='); npos when there is none.
size_t TagEnd(const std::u16string& page, size_t open)
{
    char16_t quote = 0;
    bool afterEquals = false;
    for (size_t i = open + 1; i < page.size(); ++i) {
        char16_t c = page[i];
        if (quote) {
            quote = c == quote ? 0 : quote;
        } else if ((c == u'"' || c == u'\'') && afterEquals) {
            quote = c;
        } else if (c == u'>') {
            return i;
        }
        if (!Blank(c))
            afterEquals = c == u'=';
    }
    return std::u16string::npos;
}

// The src of the img tag at [open, end) of the page (names in `lower`).
std::u16string SourceOf(const std::u16string& page, const std::u16string& lower, size_t open, size_t end)
{
    for (size_t at = lower.find(u"src", open); at != std::u16string::npos && at < end; at = lower.find(u"src", at + 3)) {
        if (!Blank(lower[at - 1]))
            continue;
        size_t i = at + 3;
        while (i < end && Blank(lower[i]))
            ++i;
        if (i >= end || lower[i] != u'=')
            continue;
        for (++i; i < end && Blank(lower[i]); ++i) {
        }
        char16_t quote = i < end && (lower[i] == u'"' || lower[i] == u'\'') ? lower[i++] : 0;
        size_t stop = i;
        while (stop < end && (quote ? lower[stop] != quote : !Blank(lower[stop]) && lower[stop] != u'>'))
            ++stop;
        std::u16string value = page.substr(i, stop - i), decoded;
        return Decoded(value, &decoded) ? decoded : value;
    }
    return u"";
}

PageSource ReadSource(const std::u16string& page)
{
    std::u16string lower = page;
    for (char16_t& c : lower)
        c = c < 0x80 ? static_cast<char16_t>(tolower(c)) : c;
    PageSource source;
    auto text = [&](size_t from, size_t to) {
        std::u16string decoded;
        if (Decoded(page.substr(from, to - from), &decoded) && !Collapsed(decoded).empty())
            source.runs.push_back(Collapsed(decoded));
    };
    std::set<std::u16string> sources;
    size_t tags = 0;
    size_t at = 0;
    while (at < lower.size()) {
        size_t open = lower.find(u'<', at);
        text(at, open == std::u16string::npos ? lower.size() : open);
        if (open == std::u16string::npos)
            break;
        std::u16string close = lower.compare(open, 4, u"<!--") == 0 ? u"-->" : u">";
        for (const char16_t* raw : {u"script", u"style", u"title"}) {
            if (lower.compare(open + 1, std::char_traits<char16_t>::length(raw), raw) == 0)
                close = std::u16string(u"</") + raw;
        }
        bool image = lower.compare(open, 5, u"<img ") == 0 || lower.compare(open, 5, u"<img\t") == 0 ||
                     lower.compare(open, 5, u"<img\n") == 0 || lower.compare(open, 5, u"<img\r") == 0;
        size_t end = close == u">" ? TagEnd(lower, open) : lower.find(close, open + 1);
        if (image && ++tags <= 1000)
            sources.insert(SourceOf(page, lower, open, end == std::u16string::npos ? lower.size() : end));
        if (end != std::u16string::npos && close[0] == u'<')
            end = TagEnd(lower, end);  // the end tag's own '>'
        at = end == std::u16string::npos ? lower.size() : end + (close == u"-->" ? 3 : 1);
    }
    source.images = sources.size();
    return source;
}

// LEAFWISE_CORPUS_ALL_PAGES=1: every contents page, not three (minutes).
bool AllPages()
{
    const char* all = getenv("LEAFWISE_CORPUS_ALL_PAGES");
    return all && *all == '1';
}

bool HasOtherScript(const std::u16string& run)
{
    return std::any_of(run.begin(), run.end(), [](char16_t c) { return c >= 0x80 && !Blank(c); });
}

// The code page a page declares, else the book's.
unsigned DeclaredCodePage(const std::string& bytes, unsigned bookCodePage)
{
    std::string head = bytes.substr(0, 2048);
    std::transform(head.begin(), head.end(), head.begin(), [](unsigned char c) { return tolower(c); });
    size_t at = head.find("charset=");
    if (at == std::string::npos)
        return bookCodePage;
    static const std::pair<const char*, unsigned> kCharsets[] = {
        {"utf-8", 65001},  {"gb2312", 936}, {"gbk", 936},          {"big5", 950},         {"shift_jis", 932},
        {"euc-kr", 949},   {"ks_c_5601", 949}, {"windows-1251", 1251}, {"iso-8859-1", 1252}, {"windows-1252", 1252}};
    for (const auto& [name, codePage] : kCharsets) {
        if (head.compare(at + 8, strlen(name), name) == 0)
            return codePage;
    }
    return bookCodePage;
}

class ReadingTest : public ScratchTest, public ::testing::WithParamInterface<CorpusBook> {
protected:
    void SetUp() override
    {
        ScratchTest::SetUp();
        if (!CorpusPresent())
            GTEST_SKIP() << "no corpus at " << LEAFWISE_CORPUS_DIR;
        char runtime[] = "/tmp/leafwise-reading-test-XXXXXX";
        ASSERT_NE(mkdtemp(runtime), nullptr);
        runtimeFolder = runtime;
        setenv("LEAFWISE_RUNTIME", runtime, 1);
        LwDeviceStart();
        devicePath = DevicePath(CorpusPath(GetParam().name));
        book.LoadContents(devicePath.c_str());
    }
    void TearDown() override
    {
        lwtest::Drain();
        MSG msg;
        while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        }
        UnregisterClassW(u"Leafwise", GetModuleHandleW(nullptr));
        std::error_code ignored;
        if (!runtimeFolder.empty())
            fs::remove_all(runtimeFolder, ignored);
        ScratchTest::TearDown();
    }

    // Books in a script other than Latin: their language's or their pages' code page.
    bool OtherScript() const
    {
        for (unsigned codePage : {932u, 936u, 949u, 950u, 1251u})
            if (GetParam().codePage == codePage || GetParam().pageCodePage == codePage)
                return true;
        return false;
    }
    const ObjectEntry* PageObject(const TocEntry& entry)
    {
        const ObjectEntry* object = entry.local[0] ? book.FindObject(entry.local) : nullptr;
        return object && object->path[strlen(object->path) - 1] != '/' ? object : nullptr;
    }
    // The page of a contents entry as the book holds it, decoded here by iconv
    // in the charset its mark or its head declares; empty when the book has no such page.
    std::u16string PageText(const TocEntry& entry)
    {
        const ObjectEntry* object = PageObject(entry);
        BYTE* raw = object ? book.ReadObject(*object) : nullptr;
        if (!raw)
            return u"";
        std::string bytes(reinterpret_cast<const char*>(raw), object->length);
        free(raw);
        bool utf8Mark = bytes.rfind("\xEF\xBB\xBF", 0) == 0;
        if (utf8Mark)
            bytes.erase(0, 3);
        unsigned codePage = utf8Mark ? 65001 : DeclaredCodePage(bytes, GetParam().codePage);
        std::string utf16 = ExpectedPageFile(bytes, codePage).substr(2);
        return std::u16string(reinterpret_cast<const char16_t*>(utf16.data()), utf16.size() / 2);
    }
    // The contents entries whose page the book has: the first, middle and last
    // (or all), and in a book of another script the first page with text in it.
    std::vector<size_t> SamplePages()
    {
        std::vector<size_t> pages;
        for (size_t i = 0; i < book.contents.size(); ++i) {
            if (PageObject(book.contents[i]))
                pages.push_back(i);
        }
        if (pages.size() > 3 && !AllPages())
            pages = {pages.front(), pages[pages.size() / 2], pages.back()};
        for (size_t i = 0; OtherScript() && i < book.contents.size(); ++i) {
            std::vector<std::u16string> runs = ReadSource(PageText(book.contents[i])).runs;
            if (std::any_of(runs.begin(), runs.end(), HasOtherScript)) {
                if (std::find(pages.begin(), pages.end(), i) == pages.end())
                    pages.push_back(i);
                break;
            }
        }
        return pages;
    }

    // "Browse" on entry `index` of the tree; checks what the page window shows.
    void ShowPage(HWND dialog, HWND tree, size_t index)
    {
        const TocEntry& entry = book.contents[index];
        SCOPED_TRACE(Utf8(entry.local));
        // The tree's items in list order are the entries in list order.
        HTREEITEM item = Item(tree, TVGN_ROOT);
        for (size_t i = 0; i < index && item; ++i)
            item = NextInOrder(tree, item);
        ASSERT_NE(item, nullptr);
        SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
        traffic = Traffic{};
        SendMessageW(dialog, WM_COMMAND, IDOK, 0);  // "Browse"; pictures are asked for from the loop
        ASSERT_NE(currentPageWindow, nullptr);
        HWND page = currentPageWindow->window;
        HWND viewer = currentPageWindow->viewer;
        ASSERT_TRUE(IsWindow(page) && IsWindow(viewer));
        pageProc = reinterpret_cast<WNDPROC>(SetWindowLongW(page, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(RecordPage)));
        viewerProc =
            reinterpret_cast<WNDPROC>(SetWindowLongW(viewer, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(RecordViewer)));

        PageSource source = ReadSource(PageText(entry));
        bool laidOut = lwtest::PumpUntil(
            [&] { return traffic.asked.size() >= source.images && traffic.answered.size() >= traffic.asked.size(); },
            20000);
        EXPECT_TRUE(laidOut) << traffic.asked.size() << " of " << source.images << " pictures asked for, "
                             << traffic.answered.size() << " answered";
        // A picture the book wrote beside the page arrives; any other is marked
        // broken. A picture the page names below its own folder, when the book
        // has it, is one the book writes.
        for (const auto& [cookie, src] : traffic.asked) {
            std::u16string name = src.substr(src.find_last_of(u"/\\") + 1);
            for (size_t at; (at = name.find(u"%20")) != std::u16string::npos;)
                name.replace(at, 3, u" ");
            bool written = fs::is_regular_file(Scratch() / Utf8(name));
            EXPECT_EQ(traffic.answered[cookie], static_cast<UINT>(written ? DTM_SETIMAGE : DTM_IMAGEFAIL)) << Utf8(src);
            std::u16string folder = entry.local;
            folder.erase(folder.find_last_of(u'/') + 1);
            bool plain = src.find_first_of(u":%\\") == std::u16string::npos && src[0] != u'/' && src.find(u"..") == std::u16string::npos;
            if (plain && book.FindObject((folder + src).c_str())) {
                EXPECT_TRUE(written) << Utf8(src) << " is in the book but was not written";
            }
        }

        // Every run of the page's text shows, in its order.
        int length = GetWindowTextLengthW(viewer);
        std::u16string shown(static_cast<size_t>(length) + 1, u'\0');
        shown.resize(GetWindowTextW(viewer, shown.data(), length + 1));
        shown = Collapsed(shown);
        size_t at = 0;
        for (const std::u16string& run : source.runs) {
            size_t found = shown.find(run, at);
            EXPECT_NE(found, std::u16string::npos) << "not shown: " << Utf8(run);
            if (found == std::u16string::npos)
                break;
            at = found + run.size();
            otherScriptShown += HasOtherScript(run);
        }

        SendMessageW(page, WM_COMMAND, IDCANCEL, 0);
        EXPECT_TRUE(lwtest::PumpUntil([] { return ActiveClassIs(u"#32770"); }));
    }
    static HTREEITEM NextInOrder(HWND tree, HTREEITEM item)
    {
        if (HTREEITEM child = Item(tree, TVGN_CHILD, item))
            return child;
        for (; item; item = Item(tree, TVGN_PARENT, item)) {
            if (HTREEITEM next = Item(tree, TVGN_NEXT, item))
                return next;
        }
        return nullptr;
    }

    // Each title the book writes with a character reference, and what the
    // tree shows for it: "title\tshown" lines in list order.
    std::string TreeTitles(HWND tree)
    {
        std::string lines;
        size_t index = 0;
        for (HTREEITEM item = Item(tree, TVGN_ROOT); item && index < book.contents.size();
             item = NextInOrder(tree, item), ++index) {
            const TocEntry& entry = book.contents[index];
            if (std::u16string_view(entry.title).find(u'&') == std::u16string_view::npos)
                continue;
            WCHAR shown[256] = {};
            TVITEMW get = {};
            get.mask = TVIF_TEXT;
            get.hItem = item;
            get.pszText = shown;
            get.cchTextMax = 256;
            SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&get));
            lines += BaselineField(Utf8(entry.title)) + "\t" + BaselineField(Utf8(shown)) + "\n";
        }
        return lines;
    }

    std::string runtimeFolder;
    std::u16string devicePath;
    Book book;  // the same book, read beside the program for what it must show
    int otherScriptShown = 0;  // runs of text outside ASCII found on the pages
    std::string treeTitles;
};

TEST_P(ReadingTest, OpensFromTheCommandLineAndShowsPages)
{
    ReaderApp app;
    ASSERT_TRUE(app.Init(GetModuleHandleW(nullptr)));
    std::u16string caption;
    size_t items = 0;
    bool mainShown = true;
    lwtest::ModalCloser closer([] { return ActiveClassIs(u"#32770"); },
                               [&] {
                                   HWND dialog = GetActiveWindow();
                                   HWND tree = GetDlgItem(dialog, kContentsTreeId);
                                   caption = LwDeviceTitle();
                                   mainShown = IsWindowVisible(app.mainWindow);
                                   items = static_cast<size_t>(SendMessageW(tree, TVM_GETCOUNT, 0, 0));
                                   treeTitles = TreeTitles(tree);
                                   if (items == book.contents.size()) {
                                       for (size_t index : SamplePages())
                                           ShowPage(dialog, tree, index);
                                   }
                                   LwDevicePressKey(VK_F2);  // "Close"
                               },
                               AllPages() ? 3600000 : 30000);
    EXPECT_EQ(app.Run(devicePath.c_str(), SW_SHOW), 0);
    EXPECT_EQ(Utf8(caption), std::string(GetParam().name) + ".chm");
    EXPECT_FALSE(mainShown);
    EXPECT_EQ(items, GetParam().entries);
    if (OtherScript() && GetParam().pagesFound > 0) {
        EXPECT_GT(otherScriptShown, 0) << "no page showed text in the book's own script";
    }
    // The tree shows titles with their references decoded, against a copy
    // reviewed by hand (a book without such titles has none).
    fs::path copy = fs::path(LEAFWISE_BASELINES) / "tree" / (std::string(GetParam().name) + ".txt");
    if (UpdatingBaselines()) {
        std::error_code ignored;
        if (treeTitles.empty())
            fs::remove(copy, ignored);
        else
            std::ofstream(copy, std::ios::binary) << treeTitles;
    } else {
        ExpectSameLines(treeTitles, ReadBytes(copy), copy.string());
    }
}

INSTANTIATE_TEST_SUITE_P(Corpus, ReadingTest, ::testing::ValuesIn(kCorpusBooks, kCorpusBooks + kCorpusBookCount),
                         [](const ::testing::TestParamInfo<CorpusBook>& info) { return ParamName(info.param.name); });

}  // namespace
