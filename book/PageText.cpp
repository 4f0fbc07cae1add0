// Reading a page for its words: a small HTML scanner (a state machine that
// keeps its place from one piece of the text to the next) in front of a word
// splitter and a counter of the terms looked for.
//
// Words follow the rules of the full-text indexes that books carry, so that a
// search through a book's own index and one through its pages agree: a word
// is a run of letters, marks, digits and underscores; an apostrophe inside a
// word is dropped ("what's" is "whats"); a word that begins with a digit runs
// on through dots ("1.0.2", "2.gz").
#include "PageText.h"

#include "Unicode.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

namespace {

constexpr size_t kMaxTitleUnits = 255;
// Tag names the scanner acts on are at most this long ("blockquote").
constexpr size_t kMaxTagName = 10;
// The characters of a reference after "&"; a longer one is no reference.
constexpr size_t kMaxReference = 32;
// Dots that a word begun with a digit may run on through ("1...done").
constexpr size_t kMaxPendingDots = 8;

bool IsSpace(char32_t c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

bool IsLineBreak(char32_t c) { return c == '\n' || c == '\r' || c == 0x2028 || c == 0x2029; }

bool IsAsciiLetter(WCHAR c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }

bool IsTagSpace(WCHAR c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

// The kinds of the ASCII characters, read for every character of a page.
const std::array<CharKind, 128> kAsciiKinds = [] {
    std::array<CharKind, 128> kinds{};
    for (int c = 0; c < 128; ++c) {
        bool word = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
        kinds[c] = word ? CharKind::kWord : CharKind::kSeparator;
    }
    return kinds;
}();

// Splits visible text into words and CJK letters, and hands them to a sink:
// OnWord(units, count) with a folded word, OnRun(letter, joined) with a folded
// CJK letter and whether it continues the run before it, OnTooLong() for a
// word longer than kMaxWordUnits. White space that
// holds a line break does not end a run (it is only the source's wrapping of
// a line); other white space, punctuation, words and block tags do.
template <typename Sink>
class WordSplitter {
public:
    explicit WordSplitter(Sink& sink) : sink(sink) {}

    // The common case, kept inline: ASCII letters and digits that go on a
    // word with nothing pending, from `at`; returns where they stop (at
    // itself when the word cannot take them so).
    const WCHAR* AppendAscii(const WCHAR* at, const WCHAR* end)
    {
        if (length == 0 || pendingDots != 0 || pendingApostrophe)
            return at;
        const WCHAR* stop = at + std::min<size_t>(end - at, kMaxWordUnits - length);
        const WCHAR* from = at;
        for (; at < stop && *at < 0x80 && kAsciiKinds[*at] == CharKind::kWord; ++at)
            word[length++] = (WCHAR)(*at >= 'A' && *at <= 'Z' ? *at + 32 : *at);
        if (at != from)
            runOpen = false;
        return at;
    }

    void Put(char32_t c)
    {
        CharKind kind = c < 0x80 ? kAsciiKinds[c] : KindOf(c);
        bool inWord = length > 0 || tooLong;
        switch (kind) {
        case CharKind::kIgnored:
            return;
        case CharKind::kWord:
            if (inWord) {
                for (; pendingDots > 0; --pendingDots)
                    Append('.');
                pendingApostrophe = false;
            } else {
                digitLed = c >= '0' && c <= '9';
            }
            Append(c < 0x80 ? (c >= 'A' && c <= 'Z' ? c + 32 : c) : FoldCase(c));
            runOpen = false;
            return;
        case CharKind::kCjk: {
            EndWord();
            bool joined = runOpen && (!spaceSince || lineBreakSince);
            sink.OnRun(FoldCase(c), joined);
            runOpen = true;
            spaceSince = lineBreakSince = false;
            return;
        }
        case CharKind::kSeparator:
            break;
        }
        if (inWord) {
            if ((c == '\'' || c == 0x2019) && !pendingApostrophe && pendingDots == 0) {
                pendingApostrophe = true;
                return;
            }
            if (c == '.' && digitLed && !pendingApostrophe && pendingDots < kMaxPendingDots) {
                ++pendingDots;
                return;
            }
        }
        EndWord();
        if (IsSpace(c)) {
            spaceSince = true;
            lineBreakSince = lineBreakSince || IsLineBreak(c);
        } else {
            runOpen = false;
        }
    }

    // A block tag: the text on either side is apart.
    void Break()
    {
        EndWord();
        runOpen = false;
    }

    void End() { Break(); }

private:
    void Append(char32_t folded)
    {
        size_t units = folded < 0x10000 ? 1 : 2;
        if (tooLong || length + units > kMaxWordUnits) {
            tooLong = true;
            return;
        }
        if (units == 1) {
            word[length++] = (WCHAR)folded;
        } else {
            word[length++] = (WCHAR)(0xD800 + ((folded - 0x10000) >> 10));
            word[length++] = (WCHAR)(0xDC00 + ((folded - 0x10000) & 0x3FF));
        }
    }

    void EndWord()
    {
        if (tooLong)
            sink.OnTooLong();
        else if (length > 0)
            sink.OnWord(word, length);
        length = 0;
        tooLong = digitLed = pendingApostrophe = false;
        pendingDots = 0;
    }

    Sink& sink;
    WCHAR word[kMaxWordUnits];
    size_t length = 0;
    bool tooLong = false;
    bool digitLed = false;
    size_t pendingDots = 0;         // dots after a word begun with a digit, kept if a letter follows
    bool pendingApostrophe = false;  // dropped if a letter follows, else it ends the word
    bool runOpen = false;           // the last thing seen was a CJK letter (white space aside)
    bool spaceSince = false, lineBreakSince = false;
};

// Collects the terms of the words a user typed.
struct TermCollector {
    std::vector<SearchTerm>* terms;
    bool tooLong = false;

    void OnTooLong() { tooLong = true; }
    void OnWord(const WCHAR* units, size_t count)
    {
        SearchTerm term;
        term.word.assign(units, count);
        terms->push_back(std::move(term));
    }
    void OnRun(char32_t letter, bool joined)
    {
        if (!joined || terms->empty() || !terms->back().IsRun())
            terms->emplace_back();
        terms->back().run.push_back(letter);
    }
};

// Counts the terms in the words and runs it is handed.
class TermSink {
public:
    explicit TermSink(const std::vector<SearchTerm>& terms) : terms(terms), counts(terms.size())
    {
        for (const SearchTerm& term : terms)
            longestRun = std::max(longestRun, term.run.size());
        recent.assign(std::max<size_t>(longestRun, 1), 0);
    }

    void OnTooLong() {}

    void OnWord(const WCHAR* units, size_t count)
    {
        for (size_t t = 0; t < terms.size(); ++t) {
            const std::u16string& word = terms[t].word;
            if (word.size() == count && memcmp(word.data(), units, count * sizeof(WCHAR)) == 0)
                ++counts[t];
        }
    }

    // The last letters of the current run are kept in a ring, as many as the
    // longest run looked for; a run term is found when it ends them.
    void OnRun(char32_t letter, bool joined)
    {
        if (longestRun == 0)
            return;
        runLength = joined ? std::min(runLength + 1, longestRun) : 1;
        next = (next + 1) % recent.size();
        recent[next] = letter;
        for (size_t t = 0; t < terms.size(); ++t) {
            const std::vector<char32_t>& run = terms[t].run;
            if (run.empty() || run.size() > runLength)
                continue;
            bool same = true;
            for (size_t k = 0; k < run.size() && same; ++k)
                same = recent[(next + recent.size() - k) % recent.size()] == run[run.size() - 1 - k];
            if (same)
                ++counts[t];
        }
    }

    void Reset()
    {
        std::fill(counts.begin(), counts.end(), 0);
        runLength = 0;
    }

    bool AllFound() const
    {
        return !counts.empty() && std::all_of(counts.begin(), counts.end(), [](ULONGLONG n) { return n > 0; });
    }
    ULONGLONG Hits() const
    {
        ULONGLONG sum = 0;
        for (ULONGLONG n : counts)
            sum += n;
        return sum;
    }

private:
    const std::vector<SearchTerm>& terms;
    std::vector<ULONGLONG> counts;
    size_t longestRun = 0;
    std::vector<char32_t> recent;
    size_t next = 0;
    size_t runLength = 0;
};

// What a tag does to the text around it.
enum class TagRole { kInline, kBlock, kSkipped, kTitle, kBody };

// Tags whose element is a block (or a control, a picture, a frame): the text
// before and after it is apart, as a browser lays it out. Sorted.
const char* const kBlockTags[] = {
    "address", "applet", "area", "article", "aside", "audio", "blockquote", "br", "button", "canvas",
    "caption", "center", "col", "colgroup", "dd", "details", "dialog", "dir", "div", "dl",
    "dt", "embed", "fieldset", "figcaption", "figure", "footer", "form", "frame", "frameset", "h1",
    "h2", "h3", "h4", "h5", "h6", "head", "header", "hr", "html", "iframe",
    "img", "input", "isindex", "legend", "li", "link", "main", "menu", "meta", "nav",
    "object", "ol", "optgroup", "option", "p", "param", "pre", "section", "select", "source",
    "summary", "table", "tbody", "td", "textarea", "tfoot", "th", "thead", "tr", "track",
    "ul", "video",
};

// A tag name of up to ten letters and digits as one number, six bits a
// character: tags come every few dozen characters of a page, and their role
// is looked up by it.
constexpr uint64_t NameKey(const char* name)
{
    uint64_t key = 0;
    size_t length = 0;
    for (; name[length]; ++length) {
        char c = name[length];
        uint64_t code = c >= '0' && c <= '9' ? c - '0' + 1 : c >= 'a' && c <= 'z' ? c - 'a' + 11 : 0;
        if (code == 0 || length == 10)
            return 0;
        key = key << 6 | code;
    }
    return key;
}

struct TagKey {
    uint64_t key;
    TagRole role;
};

const std::vector<TagKey>& TagKeys()
{
    static const std::vector<TagKey> keys = [] {
        std::vector<TagKey> list;
        for (const char* name : kBlockTags)
            list.push_back({NameKey(name), TagRole::kBlock});
        for (const char* name : {"script", "style", "noframes"})
            list.push_back({NameKey(name), TagRole::kSkipped});
        list.push_back({NameKey("title"), TagRole::kTitle});
        list.push_back({NameKey("body"), TagRole::kBody});
        std::sort(list.begin(), list.end(), [](const TagKey& a, const TagKey& b) { return a.key < b.key; });
        return list;
    }();
    return keys;
}

TagRole RoleOf(const char* name)
{
    uint64_t key = NameKey(name);
    const std::vector<TagKey>& keys = TagKeys();
    auto at = std::lower_bound(keys.begin(), keys.end(), key, [](const TagKey& a, uint64_t k) { return a.key < k; });
    return key != 0 && at != keys.end() && at->key == key ? at->role : TagRole::kInline;
}

// The characters that HTML gives the numbers 128 to 159 of a numeric
// reference: those of windows-1252, as pages of its time meant them.
const char16_t kWindows1252High[32] = {
    0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x8D,   0x017D, 0x8F,   0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178,
};

} // namespace

// The HTML scanner. Text goes to the word splitter, or, inside the first
// <title>, to the title; nothing inside other tags, comments, scripts,
// styles or a noframes section is text.
class TermCounter::Scanner {
public:
    explicit Scanner(const std::vector<SearchTerm>& terms) : sink(terms), splitter(sink) {}

    void Feed(const WCHAR* text, size_t length)
    {
        for (size_t i = 0; i < length; ++i) {
            // Most of a page is runs that only one state acts on: plain text
            // goes straight to the words, and tags, scripts and comments are
            // skipped to the character that ends them.
            if (!high)
                i = SkipRun(text, i, length);
            if (i == length)
                return;
            WCHAR unit = text[i];
            // Surrogate pairs are put together, even across pieces.
            if (high) {
                char32_t c = unit >= 0xDC00 && unit <= 0xDFFF ? 0x10000 + ((high - 0xD800) << 10) + (unit - 0xDC00)
                                                               : 0xFFFD;
                bool paired = c != 0xFFFD;
                high = 0;
                Step(c);
                if (paired)
                    continue;
            }
            if (unit >= 0xD800 && unit <= 0xDBFF) {
                high = unit;
                continue;
            }
            Step(unit >= 0xDC00 && unit <= 0xDFFF ? 0xFFFD : unit);
        }
    }

    // Past the units from `i` on that the state would take one by one with
    // nothing to decide; returns where one that matters stands.
    size_t SkipRun(const WCHAR* text, size_t i, size_t length)
    {
        auto special = [](WCHAR u) { return u >= 0xD800 && u <= 0xDFFF; };
        switch (state) {
        case State::kText:
            while (i < length) {
                size_t after = splitter.AppendAscii(text + i, text + length) - text;
                if (after != i) {
                    i = after;
                    continue;
                }
                WCHAR u = text[i];
                if (u == '<' || u == '&' || special(u))
                    break;
                splitter.Put(u);
                ++i;
            }
            return i;
        case State::kTagName:
            for (; i < length; ++i) {
                WCHAR u = text[i];
                if (u >= 0x80 || !(IsAsciiLetter(u) || (u >= '0' && u <= '9')))
                    break;
                if (nameLength <= kMaxTagName)
                    name[nameLength++] = (char)(u >= 'A' && u <= 'Z' ? u + 32 : u);
            }
            return i;
        case State::kInTag:
            if (quote) {
                while (i < length && text[i] != quote)
                    ++i;
            } else if (!afterEquals) {
                while (i < length && text[i] != '>' && text[i] != '=')
                    ++i;
            }
            return i;
        case State::kRaw:
            if (!titleOpen && rawMatched == 0) {
                while (i < length && text[i] != '<')
                    ++i;
            }
            return i;
        case State::kComment: {
            size_t from = i;
            while (i < length && text[i] != '-' && text[i] != '>')
                ++i;
            if (i > from)
                dashes = 0;
            return i;
        }
        default:
            return i;
        }
    }

    void FeedPlain(const WCHAR* text, size_t length)
    {
        for (size_t i = 0; i < length; ++i) {
            char32_t c = text[i];
            if (c >= 0xD800 && c <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF)
                c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
            else if (c >= 0xD800 && c <= 0xDFFF)
                c = 0xFFFD;
            splitter.Put(c);
        }
    }

    void End()
    {
        if (high) {
            high = 0;
            Step(0xFFFD);
        }
        if (state == State::kReference || state == State::kReferenceHash)
            EndReference(0, false);
        splitter.End();
    }

    void Reset()
    {
        state = State::kText;
        high = 0;
        splitter.End();
        sink.Reset();
        title.clear();
        titleRead = titleOpen = bodySeen = titleSpace = false;
    }

    TermSink sink;
    std::u16string title;
    bool titleRead = false;
    bool bodySeen = false;

private:
    enum class State {
        kText,         // page text (or title text while titleOpen)
        kTagOpen,      // after "<"
        kTagName,      // a start or end tag's name
        kInTag,        // its attributes, up to ">"
        kMarkup,       // after "<!"
        kComment,      // after "<!--", up to "-->"
        kBogus,        // "<?...>", "<!DOCTYPE ...>": up to ">"
        kReference,    // after "&"
        kReferenceHash,  // after "&#"
        kRaw,          // inside a skipped element or the title, up to its end tag
    };

    void Step(char32_t c)
    {
        switch (state) {
        case State::kText:
            if (c == '<')
                state = State::kTagOpen;
            else if (c == '&')
                StartReference();
            else
                Emit(c);
            return;
        case State::kTagOpen:
            if (c < 0x80 && IsAsciiLetter((WCHAR)c)) {
                StartTag(false, (char)(c | 0x20));
            } else if (c == '/') {
                endTag = true;
                nameLength = 0;
                state = State::kTagName;
            } else if (c == '!') {
                dashes = 0;
                state = State::kMarkup;
            } else if (c == '?') {
                state = State::kBogus;
            } else {
                // Not a tag: the "<" was text.
                state = State::kText;
                Emit('<');
                Step(c);
            }
            return;
        case State::kTagName:
            if (IsTagSpace((WCHAR)c) || c == '/' || c == '>') {
                if (nameLength == 0 && endTag) {
                    // "</>" is nothing, "</ x>" a bogus comment.
                    state = c == '>' ? State::kText : State::kBogus;
                    return;
                }
                quote = 0;
                afterEquals = false;
                state = State::kInTag;
                if (c == '>')
                    EndTag();
                return;
            }
            if (nameLength <= kMaxTagName)
                name[nameLength++] = c < 0x80 ? (char)(c >= 'A' && c <= 'Z' ? c + 32 : c) : '?';
            return;
        case State::kInTag:
            // Only a quote right after "=" opens a value, as in HTML; a ">"
            // inside the value does not end the tag.
            if (quote) {
                if (c == quote)
                    quote = 0;
            } else if (c == '>') {
                EndTag();
            } else if (c == '=') {
                afterEquals = true;
            } else if (afterEquals && !IsTagSpace((WCHAR)c)) {
                if (c == '"' || c == '\'')
                    quote = c;
                afterEquals = false;
            }
            return;
        case State::kMarkup:
            if (c == '-' && ++dashes == 2) {
                dashes = 0;
                state = State::kComment;
            } else if (c != '-') {
                state = c == '>' ? State::kText : State::kBogus;
            }
            return;
        case State::kComment:
            if (c == '>' && dashes >= 2)
                state = State::kText;
            dashes = c == '-' ? dashes + 1 : 0;
            return;
        case State::kBogus:
            if (c == '>')
                state = State::kText;
            return;
        case State::kReference:
        case State::kReferenceHash:
            Reference(c);
            return;
        case State::kRaw:
            Raw(c);
            return;
        }
    }

    void StartTag(bool isEnd, char first)
    {
        endTag = isEnd;
        name[0] = first;
        nameLength = 1;
        state = State::kTagName;
    }

    void EndTag()
    {
        state = State::kText;
        name[std::min(nameLength, kMaxTagName + 1)] = 0;
        TagRole role = nameLength <= kMaxTagName ? RoleOf(name) : TagRole::kInline;
        if (role == TagRole::kBlock) {
            splitter.Break();
        } else if (role == TagRole::kBody && !endTag) {
            bodySeen = true;
            splitter.Break();
        } else if ((role == TagRole::kSkipped || role == TagRole::kTitle) && !endTag) {
            // A second title is skipped like a script.
            titleOpen = role == TagRole::kTitle && !titleRead;
            memcpy(rawName, name, nameLength + 1);
            rawLength = nameLength;
            rawMatched = 0;
            splitter.Break();
            state = State::kRaw;
        }
    }

    // Inside a raw element: everything up to "</name" followed by a space,
    // "/" or ">" is its content (the title's text, or nothing).
    void Raw(char32_t c)
    {
        if (rawMatched == rawLength + 2) {
            if (IsTagSpace((WCHAR)c) || c == '/' || c == '>') {
                if (titleOpen) {
                    titleOpen = false;
                    titleRead = true;
                }
                endTag = true;
                quote = 0;
                afterEquals = false;
                state = State::kInTag;
                nameLength = 0;  // the end tag of a raw element does nothing more
                if (c == '>')
                    state = State::kText;
                return;
            }
            RawMismatch(c);
            return;
        }
        char32_t expected = rawMatched == 0 ? '<' : rawMatched == 1 ? '/' : (char32_t)rawName[rawMatched - 2];
        char32_t lower = c >= 'A' && c <= 'Z' ? c + 32 : c;
        if (lower == expected) {
            ++rawMatched;
            return;
        }
        RawMismatch(c);
    }

    // What looked like the end tag was content after all.
    void RawMismatch(char32_t c)
    {
        if (titleOpen) {
            static const char kOpening[] = "</";
            for (size_t k = 0; k < rawMatched; ++k)
                TitleChar(k < 2 ? (char32_t)kOpening[k] : (char32_t)rawName[k - 2]);
        }
        rawMatched = 0;
        if (c == '<') {
            rawMatched = 1;
        } else if (titleOpen && c == '&') {
            StartReference();
        } else if (titleOpen) {
            TitleChar(c);
        }
    }

    void StartReference()
    {
        referenceLength = 0;
        state = State::kReference;
    }

    // "&name;", "&#123;", "&#x1F;". A number needs no ";"; a name does,
    // except the old ones of Latin-1 ("&nbsp", "&amp"), as browsers read them.
    void Reference(char32_t c)
    {
        if (state == State::kReference && referenceLength == 0 && c == '#') {
            state = State::kReferenceHash;
            hexReference = false;
            return;
        }
        bool part;
        if (state == State::kReferenceHash && referenceLength == 0 && !hexReference && (c | 0x20) == 'x') {
            hexReference = true;
            return;
        }
        if (state == State::kReferenceHash)
            part = hexReference ? IsHexDigit(c) : c >= '0' && c <= '9';
        else
            part = c < 0x80 && (IsAsciiLetter((WCHAR)c) || (c >= '0' && c <= '9'));
        if (part && referenceLength < kMaxReference) {
            reference[referenceLength++] = (WCHAR)c;
            return;
        }
        EndReference(c, true);
    }

    static bool IsHexDigit(char32_t c)
    {
        return (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'f');
    }

    // The reference has ended at `c` (none when `more` is false); a ";" is
    // part of it, anything else is read again as text.
    void EndReference(char32_t c, bool more)
    {
        bool numeric = state == State::kReferenceHash;
        state = titleOpen ? State::kRaw : State::kText;
        char32_t value = 0;
        if (numeric && referenceLength > 0) {
            ULONGLONG number = 0;
            for (size_t k = 0; k < referenceLength && number <= 0x10FFFF; ++k) {
                WCHAR d = reference[k];
                number = number * (hexReference ? 16 : 10) + (d <= '9' ? d - '0' : (d | 0x20) - 'a' + 10);
            }
            value = number == 0 || number > 0x10FFFF || (number >= 0xD800 && number <= 0xDFFF) ? 0xFFFD
                    : number >= 0x80 && number < 0xA0 ? kWindows1252High[number - 0x80]
                                                      : (char32_t)number;
        } else if (!numeric) {
            value = NamedCharacter(reference, referenceLength);
            if (value >= 0x100 && !(more && c == ';'))
                value = 0;
        }
        if (value == 0) {
            // Not a reference: "&" and what followed are text.
            Out('&');
            if (numeric)
                Out('#');
            if (hexReference)
                Out('x');
            for (size_t k = 0; k < referenceLength; ++k)
                Out(reference[k]);
        } else {
            Out(value);
            if (more && c == ';')
                return;
        }
        if (more)
            Step(c);
    }

    // A character of text, to the title or to the words.
    void Out(char32_t c)
    {
        if (titleOpen)
            TitleChar(c);
        else
            Emit(c);
    }

    void Emit(char32_t c) { splitter.Put(c); }

    void TitleChar(char32_t c)
    {
        if (IsSpace(c)) {
            titleSpace = !title.empty();
            return;
        }
        size_t units = c < 0x10000 ? 1 : 2;
        if (title.size() + (titleSpace ? 1 : 0) + units > kMaxTitleUnits)
            return;
        if (titleSpace)
            title.push_back(' ');
        titleSpace = false;
        if (units == 1) {
            title.push_back((char16_t)c);
        } else {
            title.push_back((char16_t)(0xD800 + ((c - 0x10000) >> 10)));
            title.push_back((char16_t)(0xDC00 + ((c - 0x10000) & 0x3FF)));
        }
    }

    WordSplitter<TermSink> splitter;
    State state = State::kText;
    WCHAR high = 0;
    char name[kMaxTagName + 2];
    size_t nameLength = 0;
    bool endTag = false;
    char32_t quote = 0;
    bool afterEquals = false;
    int dashes = 0;
    WCHAR reference[kMaxReference];
    size_t referenceLength = 0;
    bool hexReference = false;
    char rawName[kMaxTagName + 2];
    size_t rawLength = 0;
    size_t rawMatched = 0;
    bool titleOpen = false;
    bool titleSpace = false;
};

bool ParseSearchWords(const std::vector<std::u16string>& words, std::vector<SearchTerm>* terms)
{
    terms->clear();
    TermCollector collector{terms};
    WordSplitter<TermCollector> splitter(collector);
    for (const std::u16string& word : words) {
        for (size_t i = 0; i < word.size(); ++i) {
            char32_t c = word[i];
            if (c >= 0xD800 && c <= 0xDBFF && i + 1 < word.size() && word[i + 1] >= 0xDC00 && word[i + 1] <= 0xDFFF)
                c = 0x10000 + ((c - 0xD800) << 10) + (word[++i] - 0xDC00);
            splitter.Put(c);
        }
        splitter.Break();
    }
    for (const SearchTerm& term : *terms)
        collector.tooLong = collector.tooLong || term.run.size() > kMaxWordUnits;
    return !collector.tooLong;
}

TermCounter::TermCounter(const std::vector<SearchTerm>& terms) : scanner(new Scanner(terms)) {}

TermCounter::~TermCounter() { delete scanner; }

void TermCounter::Feed(const WCHAR* text, size_t length) { scanner->Feed(text, length); }

void TermCounter::FeedPlain(const WCHAR* text, size_t length) { scanner->FeedPlain(text, length); }

void TermCounter::End() { scanner->End(); }

void TermCounter::Reset() { scanner->Reset(); }

bool TermCounter::AllFound() const { return scanner->sink.AllFound(); }

ULONGLONG TermCounter::Hits() const { return scanner->sink.Hits(); }

const std::u16string& TermCounter::Title() const { return scanner->title; }

bool TermCounter::TitleSettled() const { return scanner->titleRead || scanner->bodySeen; }
