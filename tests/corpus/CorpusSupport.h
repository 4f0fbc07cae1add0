// The corpus books, what the tests expect of each, and the reference copy of
// a book's objects as 7z extracts them.
#pragma once

#include "BookTestSupport.h"

namespace corpustest {

struct CorpusBook {
    const char* name;
    unsigned codePage;   // the ANSI code page of the book's language
    unsigned pageCodePage;  // the code page its pages declare (else the book's)
    bool hasContents;    // whether LoadContents lists contents (a contents file, or what stands in for one)
    size_t entries;      // contents entries
    size_t pagesFound;   // entries with a local path that ExtractPage finds
};

extern const CorpusBook kCorpusBooks[];
extern const size_t kCorpusBookCount;

// "svn-book" -> "svn_book", for test names.
std::string ParamName(const char* name);

std::string CorpusPath(const char* name);
bool CorpusPresent();

// The book's objects as 7z extracts them: "/path" -> bytes. Empty when 7z
// refuses the book.
std::map<std::string, std::string> ExtractWith7z(const std::string& bookPath, const std::filesystem::path& into);

// A test of each corpus book (skipped without the corpus), on a device whose
// ANSI code page is 1252; `path` is the book's host path.
class CorpusBookTest : public booktest::ScratchTest, public ::testing::WithParamInterface<CorpusBook> {
protected:
    void SetUp() override;

    std::string path;
};

// FNV-1a, 64 bits, as 16 hex digits: a short fingerprint for baselines.
std::string Fingerprint(const std::string& bytes);

// A field of a baseline's line, escaped as leafwise-book escapes it.
std::string BaselineField(const std::string& text);
// LEAFWISE_UPDATE_BASELINES=1: the reviewed copies are to be rewritten (and
// the diff reviewed) instead of compared.
bool UpdatingBaselines();
// Fails at the first line where `dump` and the reviewed copy differ.
void ExpectSameLines(const std::string& dump, const std::string& reviewed, const std::string& copyName);

}  // namespace corpustest
