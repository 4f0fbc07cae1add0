// Finding the pages of a book that hold some words.
#pragma once

#include "Book.h"

#include <string>
#include <vector>

struct SearchOptions {
    bool titlesOnly = false;  // look in the pages' titles only
    bool scanOnly = false;    // read every page even where the book's own index could answer
};

struct SearchHit {
    const ObjectEntry* page;
    ULONGLONG hits;        // occurrences of all the words together
    std::u16string title;  // of the page's first contents entry, else its own, else its file name
};

enum class SearchStatus {
    kDone,
    kNothingToFind,  // the words hold no letter or digit
    kWordTooLong,    // a word is longer than any a page can hold apart
};

struct SearchResult {
    SearchStatus status = SearchStatus::kDone;
    bool throughIndex = false;     // answered by the book's full-text index
    std::vector<SearchHit> pages;  // more hits first; ties in contents order, then by path
};

// Called as pages are read: how many so far, and of how many.
typedef void (*SearchProgress)(size_t done, size_t total, void* context);

// The pages (.htm and .html objects) of a book, as LoadContents left it,
// whose text holds every word, matched as ParseSearchWords reads them:
// case-blind, CJK words inside runs of text. Answered from the book's own
// full-text index when it has a sound one that holds every word, else by
// reading every page in the order they are stored; both give the same pages.
// Titles only (options.titlesOnly) are matched against the titles the result
// shows. A page that cannot be read is not a result.
SearchResult SearchBook(Book& book, const std::vector<std::u16string>& words, const SearchOptions& options,
                        SearchProgress progress = nullptr, void* context = nullptr);

// Whether an object path names a page: a .htm or .html object, not one of
// the container's own (#, $).
bool IsPagePath(const char* path);
