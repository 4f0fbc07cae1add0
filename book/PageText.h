// A page's text as a browser shows it, read for the words it holds: tags,
// comments, scripts and styles dropped, block tags separating words while
// inline tags do not, character references decoded. Words are folded to
// their simple case folding; Chinese, Japanese and Korean letters come one
// by one, with whether each continues the run before it, so that a word of
// those scripts is found inside a run of text.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The longest word that is told apart (in UTF-16 units, folded); a longer one
// matches nothing.
constexpr size_t kMaxWordUnits = 255;

// What is looked for: a word, or a run of CJK letters.
struct SearchTerm {
    std::u16string word;          // folded units of a word
    std::vector<char32_t> run;    // folded CJK letters, when the term is a run
    bool IsRun() const { return !run.empty(); }
};

// The terms of the words a user typed, each read as page text is read; a
// WORD of several terms ("7-Zip") needs every one of them. Empty when the
// words hold nothing to look for (only punctuation). False when a word is
// longer than kMaxWordUnits.
bool ParseSearchWords(const std::vector<std::u16string>& words, std::vector<SearchTerm>* terms);

// Counts the terms in text given a piece at a time.
class TermCounter {
public:
    explicit TermCounter(const std::vector<SearchTerm>& terms);
    ~TermCounter();
    TermCounter(const TermCounter&) = delete;
    TermCounter& operator=(const TermCounter&) = delete;

    // A page's HTML, a piece at a time; a piece may end anywhere.
    void Feed(const WCHAR* text, size_t length);
    // Plain text (a title), every character as it stands.
    void FeedPlain(const WCHAR* text, size_t length);
    // The text has ended.
    void End();
    // Forget the counts and the state: a new text begins.
    void Reset();

    // Whether every term was found, and the occurrences of all of them.
    bool AllFound() const;
    ULONGLONG Hits() const;
    // The text of the page's first <title>, white space collapsed and
    // trimmed, references decoded, at most 255 characters.
    const std::u16string& Title() const;
    // The title has been read, or the page's body has begun: reading further
    // for the title alone is of no use.
    bool TitleSettled() const;

    class Scanner;

private:
    Scanner* scanner;
};
