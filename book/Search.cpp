// Search: through the book's full-text index when it can answer, else by
// reading every page. Both ways end in the same list: the pages found, their
// hits, titles and order come from the same rules.
#include "Search.h"

#include "Charset.h"
#include "FullTextIndex.h"
#include "PageText.h"
#include "ReadAhead.h"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <unordered_map>
#include <unordered_set>

namespace {

// A page's title is looked for in its first bytes only, as for a page list.
constexpr size_t kTitleScan = 64 * 1024;
constexpr size_t kTitleLength = 255;
// Where a page declares its charset.
constexpr size_t kDeclarationBytes = 1024;

std::u16string BaseName(const char* path)
{
    const char* name = strrchr(path, '/');
    name = name ? name + 1 : path;
    WCHAR wide[MAX_PATH];
    int units = MultiByteToWideChar(CP_UTF8, 0, name, -1, wide, MAX_PATH);
    return units > 0 ? std::u16string(wide, units - 1) : std::u16string();
}

// Where each page first stands in the contents, and the title it has there.
struct ContentsPlace {
    size_t position = SIZE_MAX;
    const WCHAR* title = nullptr;
};

bool StoredBefore(const ObjectEntry* a, const ObjectEntry* b)
{
    return a->space != b->space ? a->space < b->space : a->start != b->start ? a->start < b->start
                                                                            : strcmp(a->path, b->path) < 0;
}

// File names as the book's lookup compares them (ASCII capitals made small),
// hashed a unit at a time.
constexpr uint64_t kEmptyNameKey = 14695981039346656037ull;

uint64_t NameKeyWith(uint64_t key, WCHAR unit)
{
    return (key ^ (unit >= 'A' && unit <= 'Z' ? unit + 32 : unit)) * 1099511628211ull;
}

// Whether a contents entry's local may name a page whose file name has one of
// `keys`. A local that ends in a plain file name ("dir/page.htm",
// "page.htm#part") names a page of that name or none; any other end (a
// scheme's "::", an escape, a leading dot, a surrogate) is left to the
// book's lookup.
bool MayName(const WCHAR* local, const std::unordered_set<uint64_t>& keys)
{
    const WCHAR* name = local;
    for (const WCHAR* at = local; *at; ++at) {
        if (*at == '/')
            name = at + 1;
    }
    if (name[0] == '.')
        return true;
    uint64_t key = kEmptyNameKey, beforeFragment = 0;
    bool fragment = false;
    for (const WCHAR* at = name; *at; ++at) {
        WCHAR c = *at;
        if (c == ':' || c == '%' || (c >= 0xD800 && c <= 0xDFFF))
            return true;
        if (c == '#' && !fragment) {
            fragment = true;
            beforeFragment = key;
        }
        key = NameKeyWith(key, c);
    }
    return keys.count(key) || (fragment && keys.count(beforeFragment));
}

class Pages {
public:
    explicit Pages(Book& book) : book(book) {}

    // Finds where the contents first place each of `wanted`, or every page
    // when it is null. A search through the index finds a few pages of
    // thousands, and looking every contents entry up would cost it more
    // than the rest of the search: only the entries that may name one of
    // them are looked up.
    void Place(const std::vector<const ObjectEntry*>* wanted)
    {
        places.clear();
        std::unordered_set<uint64_t> keys;
        bool everyEntry = !wanted;
        for (size_t i = 0; wanted && i < wanted->size(); ++i) {
            std::u16string name = BaseName((*wanted)[i]->path);
            everyEntry = everyEntry || name.empty();
            keys.insert(std::accumulate(name.begin(), name.end(), kEmptyNameKey, NameKeyWith));
        }
        for (size_t i = 0; i < book.contents.size(); ++i) {
            const TocEntry& entry = book.contents[i];
            if (!entry.local[0] || (!everyEntry && !MayName(entry.local, keys)))
                continue;
            const ObjectEntry* page = book.FindObject(entry.local);
            if (page && IsPagePath(page->path))
                places.emplace(page, ContentsPlace{i, entry.title});
        }
    }

    // Every page of the book, in the order the book stores them, so that
    // reading them all decodes each block of the compressed section once.
    std::vector<const ObjectEntry*> InStorageOrder() const
    {
        std::vector<const ObjectEntry*> pages;
        for (const ObjectEntry* object : book.AllObjects()) {
            if (IsPagePath(object->path))
                pages.push_back(object);
        }
        std::sort(pages.begin(), pages.end(), StoredBefore);
        return pages;
    }
    const ObjectEntry* FirstStored() const
    {
        const ObjectEntry* first = nullptr;
        for (const ObjectEntry& object : book.objects) {
            if (IsPagePath(object.path) && (!first || StoredBefore(&object, first)))
                first = &object;
        }
        return first;
    }

    const ContentsPlace& PlaceOf(const ObjectEntry* page) const
    {
        static const ContentsPlace kNowhere;
        auto place = places.find(page);
        return place == places.end() ? kNowhere : place->second;
    }
    bool HasContentsTitle(const ObjectEntry* page) const
    {
        const ContentsPlace& place = PlaceOf(page);
        return place.title && place.title[0];
    }

    // The contents title, else `own` (the page's title), else the file name.
    std::u16string TitleFor(const ObjectEntry* page, const std::u16string& own) const
    {
        if (HasContentsTitle(page))
            return PlaceOf(page).title;
        return own.empty() ? BaseName(page->path) : own;
    }

    void Sort(std::vector<SearchHit>* hits) const
    {
        std::sort(hits->begin(), hits->end(), [this](const SearchHit& a, const SearchHit& b) {
            if (a.hits != b.hits)
                return a.hits > b.hits;
            size_t pa = PlaceOf(a.page).position, pb = PlaceOf(b.page).position;
            if (pa != pb)
                return pa < pb;
            int order = _stricmp(a.page->path, b.page->path);
            return order != 0 ? order < 0 : strcmp(a.page->path, b.page->path) < 0;
        });
    }

private:
    Book& book;
    // The first contents entry of each page that has one.
    std::unordered_map<const ObjectEntry*, ContentsPlace> places;
};

// A #STRINGS title: the page's <title> as the compiler copied it, in
// whatever charset the page was written (UTF-8 when the bytes read as UTF-8,
// else the book's code page), and read as the scan reads a <title>.
std::u16string TopicTitle(const char* bytes, size_t length, UINT codePage)
{
    length = std::min(length, 4 * kTitleLength);
    if (length == 0)
        return {};
    WCHAR wide[4 * kTitleLength + 16] = u"<title>";
    const size_t opening = 7;
    int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes, (int)length, wide + opening,
                                    (int)(4 * kTitleLength));
    if (units <= 0)
        units = MultiByteToWideChar(codePage, 0, bytes, (int)length, wide + opening, (int)(4 * kTitleLength));
    static const std::vector<SearchTerm> kNoTerms;
    TermCounter reader(kNoTerms);
    reader.Feed(wide, opening + std::max(units, 0));
    reader.End();
    return reader.Title();
}

// A term as the index keeps words: its bytes in the index's code page. False
// when the code page cannot write it (then the index does not hold it).
bool IndexWord(const std::u16string& word, UINT codePage, std::string* bytes)
{
    char encoded[4 * kMaxWordUnits + 4];
    int length = WideCharToMultiByte(codePage, 0, word.data(), (int)word.size(), encoded, sizeof encoded, nullptr,
                                     nullptr);
    if (length <= 0)
        return false;
    // Only a faithful form is looked up: one that reads back as the word.
    WCHAR back[kMaxWordUnits + 4];
    int units = MultiByteToWideChar(codePage, 0, encoded, length, back, kMaxWordUnits + 4);
    if (units != (int)word.size() || memcmp(back, word.data(), word.size() * sizeof(WCHAR)) != 0)
        return false;
    bytes->assign(encoded, length);
    return true;
}

// Whether the pages are written in the code page the index was built in. The
// compiler reads every page in that one: UTF-8 pages of a Chinese book come
// out as GBK, and a word next to any of their letters is lost. The first page
// stored speaks for the book.
bool PagesWrittenIn(Book& book, const Pages& pages, UINT codePage)
{
    const ObjectEntry* first = pages.FirstStored();
    std::optional<ObjectReader> reader = first ? book.ReaderFor(*first) : std::nullopt;
    if (!reader)
        return true;
    BYTE head[kDeclarationBytes];
    size_t mark = 0;
    UINT declared = DeclaredCodePage(head, reader->ReadAt(0, head, sizeof head), &mark);
    UINT read = declared ? declared : book.codePage ? book.codePage : GetACP();
    return read == codePage;
}

// The #TOPICS, #URLTBL, #URLSTR and #STRINGS records of the topics found,
// read where they lie rather than whole: a search finds hundreds of topics of
// tens of thousands. Each table is read in the order of its records, so that
// each block of the compressed section that holds them is decoded once.
class TopicTable {
public:
    TopicTable(Book& book, LPCWSTR name)
    {
        if (const ObjectEntry* entry = book.FindObject(name))
            reader = book.ReaderFor(*entry);
    }
    // `count` bytes at `offset`, zero-padded past the table's end; false when
    // not one of them is in the table.
    bool Read(ULONGLONG offset, BYTE* out, size_t count) const
    {
        memset(out, 0, count);
        return reader && reader->ReadAt(offset, out, count) > 0;
    }
    bool Usable() const { return reader.has_value(); }

private:
    std::optional<ObjectReader> reader;
};

DWORD Le32(const BYTE* p) { return p[0] | p[1] << 8 | p[2] << 16 | (DWORD)p[3] << 24; }

// The pages of the topics found, titled and counted.
bool TopicPages(Book& book, const std::vector<FullTextIndex::Posting>& found, Pages& pages,
                std::vector<SearchHit>* hits)
{
    constexpr size_t kTopic = 16, kUrl = 12, kUrlString = 8, kTitleBytes = 4 * kTitleLength;
    TopicTable topics(book, u"/#TOPICS"), urls(book, u"/#URLTBL"), urlStrings(book, u"/#URLSTR"),
        strings(book, u"/#STRINGS");
    if (!topics.Usable())
        return false;
    struct Topic {
        const FullTextIndex::Posting* posting;
        DWORD title, url, urlString;
        const ObjectEntry* page;
    };
    std::vector<Topic> list;
    list.reserve(found.size());
    for (const FullTextIndex::Posting& posting : found) {
        BYTE record[kTopic];
        // An index that names topics the book does not have is not to be trusted.
        if (!topics.Read((ULONGLONG)posting.topic * kTopic, record, kTopic))
            return false;
        list.push_back({&posting, Le32(record + 4), Le32(record + 8), ~0u, nullptr});
    }
    auto inOrderOf = [&list](DWORD Topic::*field) {
        std::vector<Topic*> order;
        for (Topic& topic : list)
            order.push_back(&topic);
        std::stable_sort(order.begin(), order.end(), [field](Topic* a, Topic* b) { return a->*field < b->*field; });
        return order;
    };
    for (Topic* topic : inOrderOf(&Topic::url)) {
        BYTE record[kUrl];
        if (urls.Read(topic->url, record, kUrl))
            topic->urlString = Le32(record + 8);
    }
    std::unordered_map<const ObjectEntry*, bool> seen;
    std::vector<const ObjectEntry*> foundPages;
    for (Topic* topic : inOrderOf(&Topic::urlString)) {
        char path[MAX_PATH + 1];
        WCHAR local[MAX_PATH];
        if (topic->urlString == ~0u || !urlStrings.Read((ULONGLONG)topic->urlString + kUrlString, (BYTE*)path, MAX_PATH))
            continue;
        path[MAX_PATH] = 0;
        int units = MultiByteToWideChar(book.codePage, 0, path, (int)strnlen(path, MAX_PATH), local, MAX_PATH - 1);
        if (units <= 0)
            continue;
        local[units] = 0;
        // Only pages of this book are results, each once.
        const ObjectEntry* page = book.FindObject(local);
        if (page && IsPagePath(page->path) && seen.emplace(page, true).second) {
            topic->page = page;
            foundPages.push_back(page);
        }
    }
    pages.Place(&foundPages);
    for (Topic* topic : inOrderOf(&Topic::title)) {
        if (!topic->page)
            continue;
        std::u16string own;
        char title[kTitleBytes + 1];
        if (!pages.HasContentsTitle(topic->page) && strings.Read(topic->title, (BYTE*)title, kTitleBytes)) {
            title[kTitleBytes] = 0;
            own = TopicTitle(title, strnlen(title, kTitleBytes), book.codePage);
        }
        hits->push_back({topic->page, topic->posting->count, pages.TitleFor(topic->page, own)});
    }
    return true;
}

// The answer of the book's full-text index; false when it cannot give one (a
// CJK run, a word it does not hold, a damaged index, an index built in
// another code page than the pages'): the pages are read then.
bool SearchIndex(Book& book, const std::vector<SearchTerm>& terms, Pages& pages, std::vector<SearchHit>* hits)
{
    for (const SearchTerm& term : terms) {
        if (term.IsRun())
            return false;
    }
    FullTextIndex index;
    if (!index.Open(book) || !PagesWrittenIn(book, pages, index.CodePage()))
        return false;
    // The topics that hold every term, with the occurrences of all.
    std::vector<FullTextIndex::Posting> found, postings;
    for (size_t t = 0; t < terms.size(); ++t) {
        std::string word;
        if (!IndexWord(terms[t].word, index.CodePage(), &word) ||
            index.Find(word, &postings) != FullTextIndex::Lookup::kFound)
            return false;
        if (t == 0) {
            found.swap(postings);
            continue;
        }
        std::vector<FullTextIndex::Posting> both;
        for (size_t a = 0, b = 0; a < found.size() && b < postings.size();) {
            if (found[a].topic < postings[b].topic) {
                ++a;
            } else if (found[a].topic > postings[b].topic) {
                ++b;
            } else {
                both.push_back({found[a].topic, found[a].count + postings[b].count});
                ++a;
                ++b;
            }
        }
        found.swap(both);
    }
    return TopicPages(book, found, pages, hits);
}

// Reads a page through `counter` as far as its title; false when it cannot
// be read.
bool ReadTitle(Book& book, const ObjectEntry& page, TermCounter& counter, std::vector<WCHAR>& units)
{
    std::optional<ObjectReader> object = book.ReaderFor(page);
    if (!object)
        return false;
    TextReader text(*object, book.codePage);
    counter.Reset();
    for (size_t read = 0; !text.Done() && !counter.TitleSettled() && read < kTitleScan;
         read += TextReader::kPieceBytes)
        counter.Feed(units.data(), text.Next(units.data(), units.size()));
    counter.End();
    return true;
}

// Every page read whole, in the order the book stores them, the next ones
// decoded while one is read.
void ScanPages(Book& book, const std::vector<SearchTerm>& terms, const Pages& pages, SearchProgress progress,
               void* context, std::vector<SearchHit>* hits)
{
    std::vector<const ObjectEntry*> order = pages.InStorageOrder();
    std::vector<WCHAR> units(TextReader::kMaxPieceUnits);
    TermCounter counter(terms);
    ReadAhead ahead(book, order);
    for (size_t i = 0; i < order.size(); ++i) {
        if (progress)
            progress(i, order.size(), context);
        TextReader text(*ahead.NextObject(), book.codePage);
        counter.Reset();
        while (!text.Done())
            counter.Feed(units.data(), text.Next(units.data(), units.size()));
        counter.End();
        if (counter.AllFound())
            hits->push_back({order[i], counter.Hits(), pages.TitleFor(order[i], counter.Title())});
    }
    if (progress)
        progress(order.size(), order.size(), context);
}

// The pages whose titles hold the terms. A page in the contents has its
// title there; another one is read as far as its own title.
void SearchTitles(Book& book, const std::vector<SearchTerm>& terms, const Pages& pages, SearchProgress progress,
                  void* context, std::vector<SearchHit>* hits)
{
    std::vector<const ObjectEntry*> order = pages.InStorageOrder();
    std::vector<WCHAR> units(TextReader::kMaxPieceUnits);
    TermCounter counter(terms), titleMatcher(terms);
    for (size_t i = 0; i < order.size(); ++i) {
        const ObjectEntry* page = order[i];
        if (progress)
            progress(i, order.size(), context);
        std::u16string title;
        if (pages.HasContentsTitle(page))
            title = pages.TitleFor(page, u"");
        else
            title = pages.TitleFor(page, ReadTitle(book, *page, counter, units) ? counter.Title() : u"");
        titleMatcher.Reset();
        titleMatcher.FeedPlain(title.data(), title.size());
        titleMatcher.End();
        if (titleMatcher.AllFound())
            hits->push_back({page, titleMatcher.Hits(), title});
    }
    if (progress)
        progress(order.size(), order.size(), context);
}

} // namespace

bool IsPagePath(const char* path)
{
    return path[0] == '/' && path[1] != '#' && path[1] != '$' && (PathEndsWith(path, ".htm") || PathEndsWith(path, ".html"));
}

SearchResult SearchBook(Book& book, const std::vector<std::u16string>& words, const SearchOptions& options,
                        SearchProgress progress, void* context)
{
    SearchResult result;
    std::vector<SearchTerm> terms;
    if (!ParseSearchWords(words, &terms)) {
        result.status = SearchStatus::kWordTooLong;
        return result;
    }
    if (terms.empty()) {
        result.status = SearchStatus::kNothingToFind;
        return result;
    }
    Pages pages(book);
    if (!options.scanOnly && !options.titlesOnly)
        result.throughIndex = SearchIndex(book, terms, pages, &result.pages);
    if (!result.throughIndex) {
        result.pages.clear();
        pages.Place(nullptr);
        if (options.titlesOnly)
            SearchTitles(book, terms, pages, progress, context, &result.pages);
        else
            ScanPages(book, terms, pages, progress, context, &result.pages);
    }
    pages.Sort(&result.pages);
    return result;
}
