// Hostile pages and pictures through the page window, as "Browse" shows a
// page: each hostile family shows (cut and marked where it passes a bound)
// and leaves the window answering, and every input the page fuzzers found
// replays without a fault. Their times and memory are bench_hostile's.
#include "FuzzInputs.h"
#include "HostilePages.h"

#include <bounds.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <dirent.h>
#include <fstream>
#include <iterator>

namespace {

class HostilePage : public ::testing::TestWithParam<std::string> {};

TEST_P(HostilePage, ShowsWithTheCutMarkedAndTheWindowAnswers)
{
    pagedrive::Start();
    hostile::Family family = hostile::Build(GetParam());
    ASSERT_TRUE(family.name[0]);
    bool onlyPictures = family.page.find(u"<img") != std::u16string::npos && family.page.find(u"<p>") == std::u16string::npos;
    pagedrive::WritePage(family.page, family.pictures);
    family.page.clear();
    pagedrive::Outcome outcome = pagedrive::ShowPage({});
    EXPECT_TRUE(outcome.created);
    EXPECT_TRUE(outcome.settled) << "laid out whole within the bound";
    EXPECT_TRUE(outcome.answers);
    EXPECT_TRUE(onlyPictures || !outcome.text.empty()) << "the page shows its text";
    bool marked = outcome.text.size() >= 3 && outcome.text.compare(outcome.text.size() - 3, 3, lwhtml::kCutMark) == 0;
    EXPECT_EQ(marked, family.cut) << "the cut is marked at the end, and only a cut";
}

INSTANTIATE_TEST_SUITE_P(Families, HostilePage, ::testing::ValuesIn(hostile::Names()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             std::string name = info.param;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

std::vector<std::string> FilesIn(const std::string& folder, const char* suffix)
{
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* item = readdir(dir)) {
            std::string name = item->d_name;
            size_t length = strlen(suffix);
            if (name[0] != '.' && name != "README.md" && name.size() > length &&
                name.compare(name.size() - length, length, suffix) == 0)
                names.push_back(folder + "/" + name);
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Every input the page fuzzers kept, run as its fuzzer ran it; the books the
// book fuzzer kept are shown page by page too.
TEST(PageFuzzerFinding, NeverFaultsAndTheWindowAnswers)
{
    const std::string root = LEAFWISE_DAMAGE_REGRESSIONS;
    const std::pair<fuzzinput::Target, std::vector<std::string>> sets[] = {
        {fuzzinput::Target::Page, FilesIn(root + "/page", "")},
        {fuzzinput::Target::Image, FilesIn(root + "/image", "")},
        {fuzzinput::Target::BookPage, FilesIn(root, ".chm")},
    };
    size_t replayed = 0;
    for (const auto& [target, files] : sets) {
        for (const std::string& file : files) {
            SCOPED_TRACE(file);
            std::ifstream in(file, std::ios::binary);
            std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            EXPECT_TRUE(fuzzinput::Run(target, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
            ++replayed;
        }
    }
    if (replayed == 0)
        GTEST_SKIP() << "no findings kept yet";
}

} // namespace
