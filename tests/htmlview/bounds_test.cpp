// Where a page is cut before Qt sees it.
#include "bounds.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace lwhtml;

size_t Bound(const std::u16string& text)
{
    return BoundedLength(text.data(), text.size());
}

std::u16string Repeat(const std::u16string& piece, size_t count)
{
    std::u16string out;
    for (size_t k = 0; k < count; ++k)
        out += piece;
    return out;
}

TEST(Bounds, OrdinaryPagesPassWhole)
{
    std::u16string page = u"<html><head><title>t</title><style>p { x: y }</style></head><body>"
                          u"<table><tr><td><ul><li>a<li>b</ul><p>unclosed<p>again &amp; &#20013;</td></tr></table>"
                          u"<!-- <img> <table> --><pre>line\nline</pre></body></html>";
    EXPECT_EQ(Bound(page), page.size());
    EXPECT_EQ(BoundedLength(nullptr, 5), 0u);
}

TEST(Bounds, BodyStartsAtTheFirstContentOutsideTheHead)
{
    auto start = [](const std::u16string& page) { return FindBodyStart(page.data(), page.size()); };
    std::u16string open = u"<HTML>\r\n<HEAD><TITLE>a<p>b</TITLE><META NAME=\"x\" CONTENT=\"<p>\">\r\n";
    BodyStart body = start(open + u"<HR><H1>x");
    EXPECT_EQ(body.at, open.size());
    EXPECT_TRUE(body.closeHead);
    std::u16string closed = u"<!DOCTYPE html><!-- <p> --><head><script>a<b</script><style>p{}</style></head> ";
    body = start(closed + u"text");
    EXPECT_EQ(body.at, closed.size());
    EXPECT_FALSE(body.closeHead);
    EXPECT_EQ(start(u"<p>x").at, 0u);
    // Pages that open their body or a frameset themselves, or have no content, are left alone.
    for (const std::u16string& page : {closed + u"<BODY>x", open + u"<frameset>", closed, std::u16string()})
        EXPECT_EQ(start(page).at, SIZE_MAX) << std::string(page.begin(), page.end());
    EXPECT_EQ(FindBodyStart(nullptr, 3).at, SIZE_MAX);
}

TEST(Bounds, NumericReferencesWithoutTheirSemicolonAreFound)
{
    std::u16string page = u"a&#174 b&#09c&#x41;&#x4aG&#;&amp&#65";
    EXPECT_EQ(UnterminatedReferences(page.data(), page.size()), (std::vector<size_t>{6, 12, 24, 36}));
    EXPECT_TRUE(UnterminatedReferences(nullptr, 4).empty());
}

TEST(Bounds, BareHexColoursAreFound)
{
    std::u16string page = u"<td bgcolor=\"999999\" x=y><FONT COLOR=f0A size=2>bgcolor=123456"
                          u"<p title=\"color=abc\" color='#abc' bgcolor=red color=12345>"
                          u"<script>a='<td bgcolor=999999>'</script><!-- <td color=abc> -->";
    EXPECT_EQ(BareColours(page.data(), page.size()), (std::vector<size_t>{13, 37}));
    EXPECT_TRUE(BareColours(nullptr, 4).empty());
}

TEST(Bounds, CountsAreCutBeforeTheTagThatPassesThem)
{
    std::u16string image = u"<img src=\"a.gif\">";
    EXPECT_EQ(Bound(Repeat(image, kMaxImages + 5)), kMaxImages * image.size());
    std::u16string table = u"<table><tr><td>";
    EXPECT_EQ(Bound(Repeat(table, 20)), kMaxTableDepth * table.size());
    std::u16string div = u"<div>";
    EXPECT_EQ(Bound(Repeat(div, 1000)), kMaxOpenElements * div.size());
    EXPECT_EQ(Bound(Repeat(u"<div></div>", 30000)), kMaxTags * 5 + kMaxTags / 2);
    // Closed elements, unclosed paragraphs and list items, and tags inside
    // scripts and comments never add up.
    EXPECT_EQ(Bound(Repeat(u"<div><p>x<li>y</div>", 1000)), 20000u);
    std::u16string hidden = u"<script>" + Repeat(u"<div><img>", 5000) + u"</script><!--" + Repeat(u"<div>", 5000) + u"-->";
    EXPECT_EQ(Bound(hidden), hidden.size());
    // Cells weigh twice as much per table around them.
    std::u16string inner = u"<table><tr><td><table><tr>" + Repeat(u"<td>x", 20000);
    EXPECT_EQ(Bound(inner), 26 + (kMaxTableWork / 2 - 1) * 5);
}

TEST(Bounds, LongWordsAndParagraphsAreCut)
{
    EXPECT_EQ(Bound(std::u16string(10000, u'a')), kMaxWord);
    // Tags inside a word do not break it; spaces, <br> and ideographs do.
    EXPECT_EQ(Bound(Repeat(u"a<b></b>", 5000)), kMaxWord * 8);
    std::u16string words = Repeat(u"abc<br>", 2000) + Repeat(u"\u4E2D", 5000) + Repeat(u"&#20013;", 5000);
    EXPECT_EQ(Bound(words), words.size());
    std::u16string paragraph = Repeat(u"word ", kMaxParagraph);
    EXPECT_EQ(Bound(paragraph), kMaxParagraph);
    EXPECT_EQ(Bound(Repeat(u"word<p>", kMaxParagraph)), kMaxTags * 7 + 4) << "paragraphs, not one";
    // Preformatted lines are paragraphs of their own; collapsed white space counts once.
    std::u16string pre = u"<pre>" + Repeat(u"line of text\n", 20000) + u"</pre>" + Repeat(u" ", 1000000);
    EXPECT_EQ(Bound(pre), pre.size());
    // A cut never splits a surrogate pair.
    std::u16string astral = std::u16string(kMaxParagraph - 1, u'\u4E2D') + u"\U0001F600";
    EXPECT_EQ(Bound(astral), kMaxParagraph - 1);
    std::u16string huge(kMaxSourceUnits + 10, u' ');
    EXPECT_EQ(Bound(huge), kMaxSourceUnits);
}

} // namespace
