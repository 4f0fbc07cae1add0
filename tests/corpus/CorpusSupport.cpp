#include "CorpusSupport.h"

#include <cstdio>
#include <sstream>

namespace fs = std::filesystem;

namespace corpustest {

// Entry and page counts are those of this engine, reviewed against 7z's
// listing. The entries not found name no object of the book: a web address
// (innovasys-realworld), nine pages missing from pywin32; autoit-master-zh's
// one entry is a heading over merged books. fpc-fpdoc, without a contents
// file, lists its pages; pychm-index-only its keyword index.
const CorpusBook kCorpusBooks[] = {
    {"7zip-help-zh", 936, 65001, true, 57, 57},
    {"autohotkey-ko", 949, 949, true, 382, 362},
    {"autoit-adfs-zh", 936, 65001, true, 60, 60},
    {"autoit-master-zh", 936, 65001, true, 1, 0},
    {"doxygen-hero3d", 1252, 65001, true, 838, 817},
    {"empty-aep", 1252, 1252, false, 0, 0},
    {"fpc-fclres", 1252, 65001, true, 195, 174},
    {"fpc-fpdoc", 1252, 1252, true, 127, 127},
    {"innovasys-realworld", 1252, 65001, true, 48, 36},
    {"ms-htmlhelp-activex-ref", 1252, 1252, true, 33, 33},
    {"ms-ime-japanese", 932, 932, true, 195, 172},
    {"ms-ime-tradchinese-en", 1252, 950, true, 110, 96},
    {"pbootcms-tags-zh", 936, 936, true, 32, 32},
    {"pychm-example-nb", 1252, 1252, true, 2, 2},
    {"pychm-index-only", 1252, 1252, true, 2, 2},
    {"pywin32", 1252, 1252, true, 4196, 4187},
    {"sasplanet-ru", 1251, 1251, true, 17, 14},
    {"svn-book", 1252, 1252, true, 398, 398},
    {"taper-ru-htm2chm", 1251, 1251, true, 5, 5},
    {"truncated-oom", 1252, 1252, false, 0, 0},
};
const size_t kCorpusBookCount = sizeof kCorpusBooks / sizeof kCorpusBooks[0];

std::string ParamName(const char* name)
{
    std::string param = name;
    for (char& c : param) {
        if (c == '-')
            c = '_';
    }
    return param;
}

std::string CorpusPath(const char* name) { return std::string(LEAFWISE_CORPUS_DIR) + "/" + name + ".chm"; }

bool CorpusPresent() { return fs::exists(fs::path(LEAFWISE_CORPUS_DIR) / "MANIFEST.md"); }

std::map<std::string, std::string> ExtractWith7z(const std::string& bookPath, const fs::path& into)
{
    std::map<std::string, std::string> objects;
    booktest::RunResult result = booktest::Run({SEVENZIP, "x", "-y", "-bd", "-o" + into.string(), bookPath});
    if (result.status != 0)
        return objects;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(into)) {
        if (entry.is_regular_file())
            objects["/" + fs::relative(entry.path(), into).string()] = booktest::ReadBytes(entry.path());
    }
    return objects;
}

void CorpusBookTest::SetUp()
{
    ScratchTest::SetUp();
    if (!CorpusPresent())
        GTEST_SKIP() << "no corpus at " << LEAFWISE_CORPUS_DIR;
    ASSERT_EQ(GetACP(), 1252u) << "run with LEAFWISE_CODEPAGE unset and an en_US locale";
    path = CorpusPath(GetParam().name);
}

std::string Fingerprint(const std::string& bytes)
{
    uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : bytes)
        hash = (hash ^ c) * 1099511628211ull;
    char text[17];
    snprintf(text, sizeof text, "%016llx", (unsigned long long)hash);
    return text;
}

std::string BaselineField(const std::string& text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\\': out += "\\\\"; break;
        default: out += c;
        }
    }
    return out;
}

bool UpdatingBaselines()
{
    return getenv("LEAFWISE_UPDATE_BASELINES") != nullptr;
}

void ExpectSameLines(const std::string& dump, const std::string& reviewed, const std::string& copyName)
{
    if (dump == reviewed)
        return;
    std::istringstream a(dump), b(reviewed);
    std::string lineA, lineB;
    for (int line = 1;; ++line) {
        bool moreA = (bool)std::getline(a, lineA), moreB = (bool)std::getline(b, lineB);
        if (!moreA && !moreB)
            break;
        if (lineA != lineB || moreA != moreB) {
            ADD_FAILURE() << copyName << " line " << line << "\n  now:      " << (moreA ? lineA : "(end)")
                          << "\n  reviewed: " << (moreB ? lineB : "(end)");
            break;
        }
    }
}

}  // namespace corpustest
