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

TEST_P(BaselineTest, DumpMatchesTheReviewedCopy)
{
    if (!CorpusPresent())
        GTEST_SKIP() << "no corpus at " << LEAFWISE_CORPUS_DIR;
    std::string dump = Dump();
    fs::path copy = fs::path(LEAFWISE_BASELINES) / (std::string(GetParam()) + ".txt");
    if (UpdatingBaselines()) {
        std::ofstream(copy, std::ios::binary) << dump;
        GTEST_SKIP() << "rewrote " << copy;
    }
    std::string reviewed = ReadBytes(copy);
    ASSERT_FALSE(reviewed.empty()) << "no baseline " << copy;
    ExpectSameLines(dump, reviewed, copy.string());
}

INSTANTIATE_TEST_SUITE_P(Corpus, BaselineTest,
                         ::testing::Values("svn-book", "fpc-fclres", "sasplanet-ru", "pbootcms-tags-zh",
                                           "taper-ru-htm2chm", "ms-ime-tradchinese-en"),
                         [](const ::testing::TestParamInfo<const char*>& info) { return ParamName(info.param); });

}  // namespace
