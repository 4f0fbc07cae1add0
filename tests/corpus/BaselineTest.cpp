// A text dump of a few real books (objects, contents entries, the files that
// each contents page writes, with their fingerprints) compared against a
// reviewed copy in tests/corpus/baseline. After a deliberate change, rewrite
// the copies with LEAFWISE_UPDATE_BASELINES=1 and review the diff.
#include "CorpusSupport.h"

#include <fstream>

using namespace booktest;
using namespace corpustest;
namespace fs = std::filesystem;

namespace {

class BaselineTest : public ScratchTest, public ::testing::WithParamInterface<const char*> {
protected:
    std::string Dump()
    {
        std::ostringstream out;
        Book book;
        book.LoadContents(DevicePath(CorpusPath(GetParam())).c_str());
        out << "objects " << book.objects.size() << "\n";
        for (const ObjectEntry& entry : book.objects)
            out << BaselineField(entry.path) << "\t" << entry.length << "\t" << entry.space << "\t" << entry.start
                << "\n";
        out << "contents " << book.contents.size() << "\n";
        for (const TocEntry& entry : book.contents)
            out << entry.level << "\t" << BaselineField(Utf8(entry.title)) << "\t" << BaselineField(Utf8(entry.local))
                << "\n";
        out << "pages\n";
        std::map<std::u16string, bool> seen;
        for (const TocEntry& entry : book.contents) {
            if (!entry.local[0] || seen[entry.local])
                continue;
            seen[entry.local] = true;
            book.ClearTempFolder();
            out << BaselineField(Utf8(entry.local)) << "\t" << book.ExtractPage(entry.local, u"\\Temp");
            for (const auto& [name, bytes] : ScratchFiles())
                out << "\t" << BaselineField(name) << " " << bytes.size() << " " << Fingerprint(bytes);
            out << "\n";
        }
        return out.str();
    }
};

// The dump against its reviewed copy: equal, or the first line that differs.
void CompareWithReviewedCopy(const std::string& dump, const fs::path& copy)
{
    if (UpdatingBaselines()) {
        std::ofstream(copy, std::ios::binary) << dump;
        GTEST_SKIP() << "rewrote " << copy;
    }
    std::string reviewed = ReadBytes(copy);
    ASSERT_FALSE(reviewed.empty()) << "no baseline " << copy;
    ExpectSameLines(dump, reviewed, copy.string());
}

TEST_P(BaselineTest, DumpMatchesTheReviewedCopy)
{
    if (!CorpusPresent())
        GTEST_SKIP() << "no corpus at " << LEAFWISE_CORPUS_DIR;
    CompareWithReviewedCopy(Dump(), fs::path(LEAFWISE_BASELINES) / (std::string(GetParam()) + ".txt"));
}

INSTANTIATE_TEST_SUITE_P(Corpus, BaselineTest,
                         ::testing::Values("svn-book", "fpc-fclres", "sasplanet-ru", "pbootcms-tags-zh",
                                           "taper-ru-htm2chm", "ms-ime-tradchinese-en"),
                         [](const ::testing::TestParamInfo<const char*>& info) { return ParamName(info.param); });

// The keyword index of every corpus book that has one, as `leafwise-book
// index` lists it, reviewed against the book's .hhk.
class KeywordBaselineTest : public ScratchTest, public ::testing::WithParamInterface<const char*> {};

void AppendKeyword(const TocEntry& entry, size_t titleLength, size_t localLength, void* context)
{
    *static_cast<std::string*>(context) += std::to_string(entry.level) + "\t" +
                                           BaselineField(Utf8(std::u16string(entry.title, titleLength))) + "\t" +
                                           BaselineField(Utf8(std::u16string(entry.local, localLength))) + "\n";
}

TEST_P(KeywordBaselineTest, IndexMatchesTheReviewedCopy)
{
    if (!CorpusPresent())
        GTEST_SKIP() << "no corpus at " << LEAFWISE_CORPUS_DIR;
    Book book;
    ASSERT_TRUE(book.Open(DevicePath(CorpusPath(GetParam())).c_str()));
    std::string lines;
    size_t count = book.ReadKeywordIndex(AppendKeyword, &lines);
    CompareWithReviewedCopy("index " + std::to_string(count) + "\n" + lines,
                            fs::path(LEAFWISE_BASELINES) / (std::string(GetParam()) + ".index.txt"));
}

INSTANTIATE_TEST_SUITE_P(Corpus, KeywordBaselineTest,
                         ::testing::Values("7zip-help-zh", "autohotkey-ko", "autoit-adfs-zh", "autoit-master-zh",
                                           "doxygen-hero3d", "fpc-fclres", "innovasys-realworld",
                                           "ms-htmlhelp-activex-ref", "ms-ime-japanese", "ms-ime-tradchinese-en",
                                           "pychm-index-only", "pywin32", "sasplanet-ru", "svn-book",
                                           "taper-ru-htm2chm"),
                         [](const ::testing::TestParamInfo<const char*>& info) { return ParamName(info.param); });

}  // namespace
