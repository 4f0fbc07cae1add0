// The contents of a book without a contents file: its binary table of
// contents, else its keyword index, else a list of its pages. Some writers
// leave the sitemap out (it is only an input of the compiler), and a book
// whose contents list nothing cannot be read at all.
#include "Book.h"

#include "Charset.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr size_t kTitleLength = 255;  // characters of a title, or of a local path
// Deeper entries of a binary table of contents are left out: no real book
// nests this far, and a damaged one must not nest without end.
constexpr int kMaxBinaryDepth = 31;
// A page's title is looked for in its first bytes only.
constexpr size_t kTitleScan = 64 * 1024;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

// The text between "<title ...>" and "</title" (tags in any case) with its
// white space runs made single spaces and trimmed; false when there is none.
// A "<" never stands inside a character of the ANSI code pages, so the tags
// are found in the bytes themselves.
bool FindTitle(const char* text, size_t length, std::vector<char>* title)
{
    const char* end = text + length;
    for (const char* at = text; (at = static_cast<const char*>(memchr(at, '<', end - at))) != nullptr; ++at) {
        if (end - at < 7 || _strnicmp(at + 1, "title", 5) != 0 || (at[6] != '>' && !IsSpace(at[6])))
            continue;
        const char* open = static_cast<const char*>(memchr(at, '>', end - at));
        if (!open)
            return false;
        title->clear();
        for (const char* p = open + 1; p < end; ++p) {
            if (*p == '<')
                return _strnicmp(p, "</title", std::min<size_t>(7, end - p)) == 0 && end - p >= 7;
            if (IsSpace(*p)) {
                if (!title->empty() && title->back() != ' ')
                    title->push_back(' ');
            } else {
                title->push_back(*p);
            }
        }
        return false;
    }
    return false;
}

} // namespace

size_t WidenTitle(UINT codePage, const char* bytes, size_t length, WCHAR* text)
{
    constexpr size_t kMaxBytes = 4 * kTitleLength;  // a character takes at most four
    WCHAR wide[kMaxBytes];
    int units = length ? MultiByteToWideChar(codePage, 0, bytes, (int)std::min(length, kMaxBytes), wide, (int)kMaxBytes) : 0;
    size_t count = std::min<size_t>(units > 0 ? units : 0, kTitleLength);
    memcpy(text, wide, count * sizeof(WCHAR));
    return count;
}

bool PathEndsWith(const char* path, const char* extension)
{
    size_t length = strlen(path), extensionLength = strlen(extension);
    return length > extensionLength && _stricmp(path + length - extensionLength, extension) == 0;
}

bool BinaryContents::Table::Holds(ULONGLONG offset, ULONGLONG count) const
{
    return offset <= size && count <= size - offset;
}

DWORD BinaryContents::Table::At(size_t offset) const
{
    const BYTE* p = data + offset;
    return p[0] | p[1] << 8 | p[2] << 16 | (DWORD)p[3] << 24;
}

const char* BinaryContents::Table::String(DWORD offset, size_t* length) const
{
    if (offset >= size) {
        *length = 0;
        return "";
    }
    *length = strnlen((const char*)data + offset, size - offset);
    return (const char*)data + offset;
}

bool ObjectBytes::Read(Book& book, LPCWSTR path)
{
    const ObjectEntry* entry = book.FindObject(path);
    data = entry ? book.ReadObject(*entry) : nullptr;
    size = data ? entry->length : 0;
    return data != nullptr;
}

bool ReadTopic(const BinaryContents& tables, DWORD number, TopicTexts* texts)
{
    constexpr size_t kTopic = 16, kUrl = 12, kUrlString = 8;
    *texts = {"", 0, "", 0};
    if (!tables.topics.Holds((ULONGLONG)number * kTopic, kTopic))
        return false;
    size_t topic = (size_t)number * kTopic;
    texts->title = tables.strings.String(tables.topics.At(topic + 4), &texts->titleLength);
    DWORD url = tables.topics.At(topic + 8);
    if (tables.urls.Holds(url, kUrl)) {
        DWORD record = tables.urls.At(url + 8);
        bool held = tables.urlStrings.Holds(record, kUrlString);
        texts->local = tables.urlStrings.String(held ? record + kUrlString : ~0u, &texts->localLength);
    }
    return true;
}

int Book::LoadBinaryContents()
{
    ObjectBytes toc, topics, urls, urlStrings, strings;
    if (!toc.Read(*this, u"/#TOCIDX"))
        return 0;
    topics.Read(*this, u"/#TOPICS");
    urls.Read(*this, u"/#URLTBL");
    urlStrings.Read(*this, u"/#URLSTR");
    strings.Read(*this, u"/#STRINGS");
    ParseBinaryContents({toc.Table(), topics.Table(), urls.Table(), urlStrings.Table(), strings.Table()});
    return entriesMade ? 1 : 0;
}

// #TOCIDX holds the tree of entries, each an offset record: flags, a number,
// and the offsets of its parent, next sibling and (with children) first child.
// An entry with a page names it by its #TOPICS record (title in #STRINGS,
// #URLTBL record, whose #URLSTR record holds the page's path); an entry without
// one gives its title in #STRINGS directly.
void Book::ParseBinaryContents(const BinaryContents& tables)
{
    enum { kHasChildren = 0x4, kHasTopic = 0x8 };
    constexpr size_t kEntry = 20, kEntryWithChildren = 24;
    const BinaryContents::Table& toc = tables.toc;
    if (toc.size < 4)
        return;
    // Every entry is visited once: an offset met again is a loop, and ends
    // the chain that leads to it.
    std::vector<bool> visited(toc.size);
    std::vector<DWORD> siblings;  // the next sibling of each open parent
    WCHAR title[kTitleLength], local[kTitleLength];
    int level = 1;
    DWORD at = toc.At(0);
    for (;;) {
        if (at == 0 || !toc.Holds(at, kEntry) || visited[at]) {
            if (siblings.empty())
                break;
            at = siblings.back();
            siblings.pop_back();
            --level;
            continue;
        }
        visited[at] = true;
        DWORD flags = toc.At(at + 4), number = toc.At(at + 8);
        size_t length = 0, titleLength = 0, localLength = 0;
        const char* text;
        if (flags & kHasTopic) {
            TopicTexts texts;
            ReadTopic(tables, number, &texts);
            titleLength = WidenTitle(codePage, texts.title, texts.titleLength, title);
            localLength = WidenTitle(codePage, texts.local, texts.localLength, local);
        } else {
            text = tables.strings.String(number, &length);
            titleLength = WidenTitle(codePage, text, length, title);
        }
        // An entry without a page, or whose page cannot be read, has an empty local.
        const WCHAR* kept = nullptr;
        AppendEntry(title, titleLength, &kept, localLength ? local : nullptr, localLength, level);
        DWORD next = toc.At(at + 16);
        if ((flags & kHasChildren) && toc.Holds(at, kEntryWithChildren) && level < kMaxBinaryDepth) {
            siblings.push_back(next);
            ++level;
            at = toc.At(at + 20);
        } else {
            at = next;
        }
    }
}

// The keyword index is a sitemap too; its entries keep their levels.
int Book::LoadKeywordIndex()
{
    const ObjectEntry* index = nullptr;
    for (const ObjectEntry& entry : objects) {
        if (PathEndsWith(entry.path, ".hhk")) {
            index = &entry;
            break;
        }
    }
    if (!index)
        index = NamedBySystem(namedIndexFile, ".hhk");
    if (index)
        ParseSitemap(*index);
    return entriesMade ? 1 : 0;
}

// One entry per page, the default topic first, then every ".htm" and ".html"
// object in directory order, titled by the page's <title>, else by its name.
// The objects that chmlib's enumeration misses are listed too.
int Book::LoadPageList()
{
    auto appendPage = [this](const ObjectEntry& page) {
        WCHAR title[kTitleLength];
        size_t titleLength = 0;
        chmUnitInfo unit;
        if (ResolveUnit(page, &unit)) {
            size_t length = std::min<size_t>(page.length, kTitleScan);
            std::vector<char> head(length), text;
            LONGINT64 got = length ? container.Retrieve(unit, (BYTE*)head.data(), 0, length) : 0;
            head.resize(got > 0 ? (size_t)got : 0);
            size_t mark = 0;
            UINT declared = DeclaredCodePage((const BYTE*)head.data(), head.size(), &mark);
            if (FindTitle(head.data() + mark, head.size() - mark, &text))
                titleLength = WidenTitle(declared ? declared : codePage, text.data(), text.size(), title);
        }
        if (titleLength == 0) {
            const char* name = strrchr(page.path, '/');
            name = name ? name + 1 : page.path;
            titleLength = WidenTitle(CP_UTF8, name, strlen(name), title);
        }
        // Object paths are UTF-8 and start with "/", which AppendEntry puts back.
        WCHAR local[MAX_PATH];
        int localLength = MultiByteToWideChar(CP_UTF8, 0, page.path + 1, -1, local, MAX_PATH);
        const WCHAR* kept = nullptr;
        AppendEntry(title, titleLength, &kept, local, localLength > 0 ? localLength - 1 : 0, 1);
    };

    std::string first;
    if (defaultTopic && *defaultTopic) {
        WCHAR topic[MAX_PATH] = {};
        MultiByteToWideChar(codePage, 0, defaultTopic, -1, topic, MAX_PATH - 1);
        if (const ObjectEntry* page = FindObject(topic)) {
            first = page->path;
            appendPage(*page);
        }
    }
    auto isPage = [&first](const char* path) {
        return (PathEndsWith(path, ".htm") || PathEndsWith(path, ".html")) && _stricmp(path, first.c_str()) != 0;
    };
    for (const std::string& path : container.Limits().unlistedPaths) {
        WCHAR wide[MAX_PATH];
        if (isPage(path.c_str()) && MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, wide, MAX_PATH) > 0) {
            if (const ObjectEntry* page = FindObject(wide))
                appendPage(*page);
        }
    }
    for (const ObjectEntry& object : objects) {
        if (isPage(object.path))
            appendPage(object);
    }
    return entriesMade ? 1 : 0;
}
