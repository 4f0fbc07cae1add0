// The page as the viewer reads it and writes it anew for Qt, and where it is
// cut: no widgets, no Qt.
#include "bounds.h"
#include "css.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using namespace lwhtml;

std::u16string Repeat(const std::u16string& piece, size_t count)
{
    std::u16string out;
    for (size_t k = 0; k < count; ++k)
        out += piece;
    return out;
}

std::string Utf8(const std::u16string& text)
{
    std::string out;
    for (char16_t c : text) {
        if (c < 0x80)
            out.push_back(static_cast<char>(c));
        else if (c < 0x800)
            out += {static_cast<char>(0xC0 | c >> 6), static_cast<char>(0x80 | (c & 0x3F))};
        else
            out += {static_cast<char>(0xE0 | c >> 12), static_cast<char>(0x80 | ((c >> 6) & 0x3F)),
                    static_cast<char>(0x80 | (c & 0x3F))};
    }
    return out;
}

BuiltPage Build(const std::u16string& page)
{
    return BuildPage(page.data(), page.size());
}

// What Qt gets between <body> and </body>.
std::u16string Body(const std::u16string& page)
{
    std::u16string html = Build(page).html;
    size_t open = html.find(u"<body");
    open = html.find(u'>', open) + 1;
    return html.substr(open, html.rfind(u"</body>") - open);
}

size_t Count(const std::u16string& text, const std::u16string& piece)
{
    size_t count = 0;
    for (size_t at = text.find(piece); at != std::u16string::npos; at = text.find(piece, at + piece.size()))
        ++count;
    return count;
}

// The UTF-16 units of what Qt gets as text, the cut mark left out.
size_t Characters(const std::u16string& page)
{
    size_t count = 0;
    bool inTag = false;
    for (char16_t c : Body(page)) {
        if (c == '<' || c == '>')
            inTag = c == '<';
        else if (!inTag)
            ++count;
    }
    return Build(page).cut ? count - std::char_traits<char16_t>::length(kCutMark) : count;
}

struct Case {
    std::u16string page;
    std::u16string body;
};

void ExpectBodies(const std::vector<Case>& cases)
{
    for (const Case& c : cases)
        EXPECT_EQ(Utf8(Body(c.page)), Utf8(c.body)) << Utf8(c.page);
}

// Tags, references, comments and raw text as browsers tokenize them: what is
// not a tag to a browser reaches Qt as text, never as markup.
TEST(PageReading, TokensAsBrowsersReadThem)
{
    ExpectBodies({
        {u"< table>< tr>x", u"&lt; table&gt;&lt; tr&gt;x"},
        {u"<ta&#98;le>x</ta&#98;le>", u"x"},
        {u"<b a\"><i>x</i></b>y", u"<b><i>x</i></b>y"},
        {u"<P TITLE=a\"b CLASS=C>x", u"<p class=\"C\">x</p>"},
        {u"<a href='x\"y'>l</a><a href=x&amp;y&copy=1&lt;>m</a>",
         u"<a href=\"x&quot;y\">l</a><a href=\"x&amp;y&amp;copy=1&lt;\">m</a>"},
        {u"&amp; &lt &copy; &notit; &#x41;&#65 &#0;&#xD800;&#x110000;&#128;&#150; &bogus; &#; &",
         u"&amp; &lt; \u00A9 \u00ACit; AA \uFFFD\uFFFD\uFFFD\u20AC\u2013 &amp;bogus; &amp;#; &amp;"},
        {u"a<!-- <b> -- > -->b<!--->c<!-->d<!--x--!>e<!DOCTYPE html><?xml x?>f</>g</ 1>h", u"abcdefgh"},
        {u"<script>a<b>c</script >d<style>p{}</style>e<iframe><b>x</b></iframe>f", u"def"},
        {u"<xmp><b>&amp;</b></xmp><textarea>&lt;x&gt;</textarea>", u"<pre>&lt;b&gt;&amp;amp;&lt;/b&gt;</pre>&lt;x&gt;"},
        {u"a<br/>b</br>c<wbr>d", u"a<br>b<br>c\u200Bd"},
        {u"a\r\nb\rc\xD800\xFDD0\xFFFC\x2029", u"a\nb\nc\uFFFD\uFFFD\uFFFD\u2028"},
        {u"x<b class=", u"x"},
        {u"<foo bar=1>x</foo><p onclick=\"y\" id=i style=\"color: red; -qt-block-indent: 9\">z",
         u"x<p id=\"i\" style=\"color: red\">z</p>"},
        {u"<template><b>hidden</b><template>x</template>y</template>shown", u"shown"},
    });
    std::u16string html = Build(u"<HEAD><TITLE>T&amp;&lt;</TITLE><META a=b><title>second</title>"
                                u"</head> <body BGCOLOR=f00>x<body bgcolor=blue>").html;
    EXPECT_EQ(Utf8(html), "<html><head><title>T&amp;&lt;</title></head><body bgcolor=\"#0f0000\">x</body></html>");
    EXPECT_EQ(BuildPage(nullptr, 5).html, u"<html><head></head><body></body></html>");
}

// The elements open when the next one starts, as browsers close them: no
// element that Qt gets is left open or closed twice.
TEST(PageReading, ImpliedEndsAndTablesAsBrowsersBuildThem)
{
    ExpectBodies({
        {u"<p>a<p>b<div>c</div></p>", u"<p>a</p><p>b</p><div>c</div>"},
        {u"<ul><li>a<li>b<ol><li>c</ol></ul>", u"<ul><li>a</li><li>b<ol><li>c</li></ol></li></ul>"},
        {u"<dl><dt>a<dd>b<dt>c</dl>", u"<dl><dt>a</dt><dd>b</dd><dt>c</dt></dl>"},
        {u"<h1>a<h2>b</h1>c", u"<h1>a</h1><h2>b</h2>c"},
        {u"<b><i>x</b>y</i>", u"<b><i>x</i></b>y"},
        {u"<a href=1>x<a href=2>y", u"<a href=\"1\">x</a><a href=\"2\">y</a>"},
        {u"<td>x</td><tr>y", u"xy"},
        {u"<table> x <tr> <td>y</table>", u"<table><tr><td> x </td></tr><tr><td>y</td></tr></table>"},
        {u"<table><caption>c</caption><tbody><tr><th>h<td>d</tbody></table>",
         u"<table><tr><td>c</td></tr><tr><th>h</th><td>d</td></tr></table>"},
        {u"<table><tr><td>a<table><td>b</table>c<b></td>d</table>",
         u"<table><tr><td>a<table><tr><td>b</td></tr></table>c<b></b></td><td>d</td></tr></table>"},
        {u"<table><tr><td>a</td></tr><table><tr><td>b", u"<table><tr><td>a</td></tr></table><table><tr><td>b</td></tr></table>"},
        {u"<div><b>x</div>y</b>", u"<div><b>x</b></div>y"},
    });
}

// Attribute values as browsers read them, held to what Qt can lay out.
TEST(PageReading, AttributeValuesAreBounded)
{
    ExpectBodies({
        {u"<img src=a.gif width=100000 height=\"20px\" align=AbsMiddle><img src=b width=50% align=center>",
         u"<img src=\"a.gif\" width=\"4096\" height=\"20\" align=\"middle\"><img src=\"b\">"},
        {u"<table border=1000 cellpadding=-4 width=150% height=9e99><tr bgcolor=ff0000><td width=30% colspan=100000 "
         u"rowspan=0 valign=TOP>x",
         u"<table border=\"64\" cellpadding=\"0\" width=\"100%\" height=\"4096\"><tr bgcolor=\"#ff0000\">"
         u"<td width=\"30%\" valign=\"top\" colspan=\"1000\">x</td></tr></table>"},
        {u"<font size=100000 color=\"#f00\" face=Arial>a</font><font size=-5>b</font><font size=+2>c</font>",
         u"<font size=\"7\" color=\"#ff0000\" face=\"Arial\">a</font><font size=\"1\">b</font><font size=\"5\">c</font>"},
        {u"<ol type=I start=2147483647><li>x</ol><ul type=bogus><li>y</ul>", u"<ol type=\"I\"><li>x</li></ol><ul><li>y</li></ul>"},
        {u"<a href=\"" + std::u16string(5000, u'a') + u"\" name=n>x</a>", u"<a name=\"n\">x</a>"},
    });
    const std::pair<std::u16string, std::u16string> colours[] = {
        {u"f00", u"#0f0000"}, {u"#f00", u"#ff0000"}, {u"FF0000", u"#ff0000"}, {u" #FFCC00 ", u"#ffcc00"},
        {u"Red", u"red"}, {u"chucknorris", u"#c00000"}, {u"", u""}, {u"transparent", u""},
        {u"#1234567890abcdef", u"#1278cd"},
    };
    for (const auto& [value, colour] : colours)
        EXPECT_EQ(Utf8(LegacyColour(value)), Utf8(colour)) << Utf8(value);
}

TEST(PageReading, StyleKeepsWhatQtDrawsWithinItsBounds)
{
    const std::pair<std::u16string, std::u16string> declarations[] = {
        {u"font-size: 100000px; COLOR: red", u"font-size: 128px; color: red"},
        {u"margin: 100000px -1e400px 2px /* x; y */; padding-left: 10em", u"margin: 256px -256px 2px; padding-left: 10em"},
        {u"background: url(x.png) red; color: blue; background-image: none", u"color: blue"},
        {u"-qt-block-indent: 100000; line-height: 50; letter-spacing: -1000pt", u"line-height: 8; letter-spacing: -64px"},
        {u"width: 200%; height: 1e400px; text-indent: 100em; border-width: 99px 1px", u"width: 100%; height: 4096px; "
                                                                                      u"text-indent: 256px; border-width: 16px 1px"},
        {u"font: bold 1000pt/1000% \"Times New Roman\", serif", u"font: bold 128px/800% \"Times New Roman\", serif"},
        {u"color: expression(alert(1)); color: rgb(1, 2, 3); font-size: -3px; x", u"color: rgb(1, 2, 3); font-size: 0"},
    };
    for (const auto& [css, clean] : declarations)
        EXPECT_EQ(Utf8(CleanDeclarations(css)), Utf8(clean)) << Utf8(css);

    size_t rules = 0;
    std::u16string sheet = u"<!-- @import url(x.css); p { color: red } @media screen { p { color: blue } }\n"
                           u"a:link, .x > B { font-size: 999px } p<x { color: red } --> em { color: green }";
    EXPECT_EQ(Utf8(CleanStyleSheet(sheet, 2, &rules)), "p { color: red }\na:link, .x > B { font-size: 128px }\n");
    EXPECT_EQ(rules, 4u);
    // The page's sheets are matched by Qt against every element and its
    // ancestors: the deeper and longer the page, the fewer rules it keeps.
    std::u16string style = u"<style>" + Repeat(u"p { color: red }\n", 5000) + u"</style>";
    EXPECT_EQ(Count(Build(style + u"<p>x").html, u"color: red"), kMaxStyleRules);
    std::u16string deep = Repeat(u"<b>", 200) + Repeat(u"<i>x </i>", 20000);
    EXPECT_EQ(Count(Build(style + deep).html, u"color: red"), kMaxStyleWork / (200 * 201 / 2 + 201 * 20000));
}

// A page is written up to the first place that passes a bound, and the cut
// is marked there.
TEST(PageBounds, CountsAreCutBeforeTheElementThatPassesThem)
{
    struct Bound {
        std::u16string page;
        std::u16string element; // counted in what Qt gets
        size_t count;
    };
    const Bound bounds[] = {
        {Repeat(u"<img src=\"a.gif\">", kMaxImages + 5), u"<img", kMaxImages},
        {Repeat(u"<table><tr><td>", 20), u"<table", kMaxTableDepth},
        {Repeat(u"<span>", 1000), u"<span", kMaxOpenElements},
        {Repeat(u"<ul><li>x", 100), u"<ul", kMaxIndentDepth},
        {Repeat(u"<blockquote>", 100), u"<blockquote", kMaxIndentDepth},
        {Repeat(u"<div></div>", kMaxTags + 10), u"<div", kMaxTags},
        {u"<table><tr>" + Repeat(u"<td>x", 2000), u"<td", kMaxTableColumns},
        // Grid cells weigh twice inside a table: 100 columns a row.
        {u"<table><tr><td><table>" + Repeat(u"<tr><td colspan=100>x", 20000), u"<tr", 1 + (kMaxTableWork - 1) / 200},
        {u"<table><tr><td colspan=1000>" + Repeat(u"<tr><td>x", 20000), u"<tr", kMaxTableWork / 1000},
    };
    for (const Bound& bound : bounds) {
        BuiltPage page = Build(bound.page);
        EXPECT_TRUE(page.cut) << Utf8(bound.page.substr(0, 40));
        EXPECT_EQ(Count(page.html, bound.element), bound.count) << Utf8(bound.page.substr(0, 40));
        EXPECT_NE(page.html.find(kCutMark), std::u16string::npos);
    }
    // Closed elements, unclosed paragraphs and list items, unknown elements,
    // and tags inside scripts and comments never add up.
    for (const std::u16string& page :
         {Repeat(u"<div><p>x<li>y</div>", 2000), Repeat(u"<abcdefghijklmnopqrstu>w ", 60000), Repeat(u"< b>w ", 20000),
          u"<script>" + Repeat(u"<div><img>", 5000) + u"</script><!--" + Repeat(u"<div>", 5000) + u"-->"}) {
        BuiltPage built = Build(page);
        EXPECT_FALSE(built.cut) << Utf8(page.substr(0, 40));
    }
}

// A long list goes on in lists of its own, numbered on, nothing cut.
TEST(PageBounds, LongListsGoOnInListsOfTheirOwn)
{
    BuiltPage ordered = Build(u"<ol type=I>" + Repeat(u"<li>x", 2 * kMaxListItems + 1) + u"</ol>");
    BuiltPage plain = Build(u"<ul>" + Repeat(u"<li>x", 2 * kMaxListItems + 1) + u"</ul>");
    EXPECT_FALSE(ordered.cut || plain.cut);
    EXPECT_EQ(Count(ordered.html, u"<ol"), 3u);
    EXPECT_EQ(Count(plain.html, u"<ul"), 3u);
    EXPECT_EQ(Count(ordered.html, u"<li>"), 2 * kMaxListItems + 1);
    EXPECT_NE(ordered.html.find(u"<li>DI. x</li>"), std::u16string::npos) << "501 in the numbering asked for";
    EXPECT_NE(ordered.html.find(u"<li>MI. x</li>"), std::u16string::npos);
    EXPECT_EQ(Count(plain.html, u". x"), 0u);
}

TEST(PageBounds, LongWordsParagraphsAndMarksAreCut)
{
    struct Text {
        std::u16string page;
        size_t shown; // characters of it that Qt gets
    };
    const Text texts[] = {
        {std::u16string(10000, u'a'), kMaxWord},
        {Repeat(u"a<b></b>", 5000), kMaxWord}, // tags inside a word do not break it
        {Repeat(u"&#xD800;", 10000), kMaxWord},
        {Repeat(u"&#x1D400;", 10000), 2 * kMaxWord}, // a pair of units each
        {u"a" + Repeat(u"\u0301", 100), 1 + kMaxCombiningMarks},
        {Repeat(u"word ", kMaxParagraph), kMaxParagraph},
        {u"<pre>" + std::u16string(kMaxParagraph + 10, u'\t') + u"</pre>", kMaxParagraph},
        {std::u16string(kMaxParagraph, u'\u4E2D') + u"\U0001F600", kMaxParagraph}, // never half a pair
    };
    for (const Text& text : texts) {
        EXPECT_TRUE(Build(text.page).cut) << Utf8(text.page.substr(0, 20));
        EXPECT_EQ(Characters(text.page), text.shown) << Utf8(text.page.substr(0, 20));
    }
    // Text nested six tables deep weighs 2^5 a character.
    std::u16string nested = Repeat(u"<table><tr><td>", 6) + std::u16string(20000, u'\u4E2D');
    EXPECT_TRUE(Build(nested).cut);
    EXPECT_LE(Characters(nested) * 32, kMaxTableContent);
    EXPECT_GT(Characters(nested) * 32, kMaxTableContent - 4096) << "less only the tables' own rows and cells";
    // Spaces, <br> and ideographs break words; block boundaries and
    // preformatted lines end paragraphs; collapsed white space counts once.
    for (const std::u16string& page :
         {Repeat(u"abc<br>", 2000) + Repeat(u"\u4E2D", 5000) + Repeat(u"&#20013;", 5000) + Repeat(u"\U00020000", 5000),
          Repeat(u"word<p>", kMaxParagraph / 4), u"<pre>" + Repeat(u"line of text\n", 20000) + u"</pre>" +
                                                 Repeat(u" ", 1000000)})
        EXPECT_FALSE(Build(page).cut) << Utf8(page.substr(0, 20));
    std::u16string huge(kMaxSourceUnits + 10, u' ');
    huge[kMaxSourceUnits] = u'x';
    EXPECT_EQ(Body(huge).find(u'x'), std::u16string::npos) << "read up to kMaxSourceUnits";
}

} // namespace
