// The book's own full-text index, $FIftiMain: a tree of the words of its
// pages, each with the topics (#TOPICS records) that hold it and where.
#pragma once

#include "Book.h"

#include <string>
#include <vector>

class FullTextIndex {
public:
    // Reads and checks the header; false when the book has no index, or one
    // this reader cannot trust (every later read is checked as well).
    bool Open(Book& book);
    // The code page of the words (the header's, else the book's).
    UINT CodePage() const { return codePage; }

    struct Posting {
        DWORD topic;  // #TOPICS record
        DWORD count;  // occurrences in the page's text
    };
    enum class Lookup { kFound, kAbsent, kDamaged };
    // The topics whose text holds `word` (its bytes in CodePage(), as the
    // index keeps words: folded to lower case), in topic order.
    Lookup Find(const std::string& word, std::vector<Posting>* postings);

private:
    bool ReadNode(DWORD offset, std::vector<BYTE>* node);
    Lookup FindInLeaf(const std::vector<BYTE>& leaf, const std::string& word, bool* last, DWORD* wlcOffset,
                      ULONGLONG* docs, ULONGLONG* wlcSize);
    Lookup ReadLocations(DWORD offset, ULONGLONG size, ULONGLONG docs, std::vector<Posting>* postings);

    std::optional<ObjectReader> reader;
    UINT codePage = 0;
    DWORD root = 0;
    WORD depth = 0;
    DWORD nodeLength = 0;
    BYTE docRoot = 0, countRoot = 0, locationRoot = 0;
};
