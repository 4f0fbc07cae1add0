#include "HostilePages.h"

#include "../support/images.h"

#include <QImage>

#include <functional>
#include <map>

namespace hostile {
namespace {

std::u16string Repeat(const std::u16string& piece, size_t count)
{
    std::u16string out;
    out.reserve(piece.size() * count);
    for (size_t k = 0; k < count; ++k)
        out += piece;
    return out;
}

std::u16string Number(size_t n)
{
    std::string digits = std::to_string(n);
    return std::u16string(digits.begin(), digits.end());
}

std::string Bytes(const QByteArray& bytes)
{
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

// 2048 x 2048 in a file of a few kilobytes.
std::string BigPng()
{
    QImage image(2048, 2048, QImage::Format_RGB32);
    image.fill(QColor(40, 120, 200));
    for (int k = 0; k < 2048; k += 64)
        for (int x = 0; x < 2048; ++x)
            image.setPixel(x, k, qRgb(255, 255, 0));
    return Bytes(lwtest::Encode(image, "PNG"));
}

pagedrive::Pictures Bombs()
{
    lwtest::GifPicture gif;
    gif.screenWidth = gif.screenHeight = 65535;
    return {
        {"bomb.png", Bytes(lwtest::PngClaiming(65535, 65535))},
        {"bomb.gif", Bytes(lwtest::Gif(gif))},
        {"bomb.jpg", Bytes(lwtest::JpegClaiming(65535, 65535))},
        {"bomb.bmp", Bytes(lwtest::BmpClaiming(65535, 65535))},
        {"bomb.ico", Bytes(lwtest::IconOf(1000, lwtest::PngClaiming(65535, 65535)))},
        {"bomb.xbm", Bytes(lwtest::XbmClaiming(65535, 65535))},
        {"bomb.xpm", "/* XPM */\nstatic char *b[] = {\n\"65535 65535 1 1\",\n\"a c #ff0000\",\n\"a\"};\n"},
        {"bomb.ppm", std::string("P6\n65535 65535\n255\n") + std::string(64, '\x7f')},
        {"bomb.pgm", std::string("P5\n65535 65535\n255\n") + std::string(64, '\x7f')},
        {"bomb.pbm", std::string("P4\n65535 65535\n") + std::string(64, '\x7f')},
    };
}

std::u16string ImagesOf(const pagedrive::Pictures& pictures)
{
    std::u16string page = u"<p>pictures:</p>";
    for (const auto& picture : pictures)
        page += u"<img src=\"" + std::u16string(picture.first.begin(), picture.first.end()) + u"\"> ";
    return page + u"<p>end</p>";
}

std::u16string Paragraphs(size_t count)
{
    return Repeat(u"<p class=\"c7\">a paragraph of words</p>", count);
}

std::u16string StyleRules(size_t count, const std::u16string& declarations)
{
    std::u16string rules;
    for (size_t k = 0; k < count; ++k)
        rules += u"p.c" + Number(k) + u" { " + declarations + u" }\n";
    return u"<style>" + rules + u"</style>";
}

const char16_t kHugeCss[] = u"font-size:100000px; letter-spacing:100000px; word-spacing:100000px; "
                            u"line-height:100000px; margin:100000px; padding:100000px; text-indent:100000px; "
                            u"border-width:100000px";

struct Maker {
    std::function<std::u16string()> page;
    std::function<pagedrive::Pictures()> pictures;
    bool cut;
};

const std::map<std::string, Maker>& Makers()
{
    static const std::map<std::string, Maker> makers = {
        // The cutter's view of a tag once differed from the importer's.
        {"space-after-lt", {[] { return Repeat(u"< table>< tr>< td>cell ", 20); }, nullptr, false}},
        {"reference-in-tag-name", {[] { return Repeat(u"<ta&#98;le><tr><td>cell ", 20); }, nullptr, false}},
        {"quote-in-attribute-name",
         {[] { return u"<b a\">" + Repeat(u"<table><tr><td>cell ", 20); }, nullptr, true}},
        {"long-element-names", {[] { return Repeat(u"<abcdefghijklmnopqrstuvwxyz>word ", 50000); }, nullptr, true}},
        {"space-before-b", {[] { return Repeat(u"< b>word ", 20000); }, nullptr, true}},
        // What one tag creates.
        {"span-bomb-5-rows",
         {[] { return u"<table>" + Repeat(u"<tr><td colspan=100000 rowspan=100000>x</td></tr>", 5) + u"</table>"; },
          nullptr, true}},
        {"span-bomb-50-rows",
         {[] { return u"<table>" + Repeat(u"<tr><td colspan=100000 rowspan=100000>x</td></tr>", 50) + u"</table>"; },
          nullptr, true}},
        {"colspan-50-rows",
         {[] { return u"<table>" + Repeat(u"<tr><td colspan=100000>x</td></tr>", 50) + u"</table>"; }, nullptr,
          true}},
        {"wide-table",
         {[] { return u"<table>" + Repeat(u"<tr>" + Repeat(u"<td>x", 2000) + u"</tr>", 8) + u"</table>"; }, nullptr,
          true}},
        {"nested-tables", {[] { return Repeat(u"<table><tr><td>t", 10000); }, nullptr, true}},
        // One picture, many tags.
        {"picture-100-tags",
         {[] { return Repeat(u"<img src=\"big.png\" width=20 height=20>", 100); },
          [] { return pagedrive::Pictures{{"big.png", BigPng()}}; }, false}},
        {"picture-1000-tags",
         {[] { return Repeat(u"<img src=\"big.png\" width=20 height=20>", 1000); },
          [] { return pagedrive::Pictures{{"big.png", BigPng()}}; }, false}},
        {"img-100000-tags", {[] { return Repeat(u"<img src=\"x.gif\">", 100000); }, nullptr, true}},
        {"declared-image-sizes",
         {[] { return Repeat(u"<img src=\"none.gif\" width=100000 height=100000>", 100); }, nullptr, false}},
        {"image-bombs", {[] { return ImagesOf(Bombs()); }, Bombs, false}},
        // References and code points.
        {"lone-surrogate-references", {[] { return Repeat(u"&#xD800;", 100000); }, nullptr, true}},
        {"invalid-code-points", {[] { return Repeat(u"&#xD800;&#0;&#x110000;", 40000); }, nullptr, true}},
        {"reference-flood", {[] { return Repeat(u"&amp; &lt; &#20013; ", 200000); }, nullptr, true}},
        {"combining-marks", {[] { return u"a" + Repeat(u"\u0301", 100000) + u" end"; }, nullptr, true}},
        {"bidi-controls", {[] { return Repeat(u"\u202Eabc\u202D\u202Bdef\u202A", 50000); }, nullptr, true}},
        // Style.
        {"style-rules-50000",
         {[] { return StyleRules(50000, u"color: red; margin-left: 2px") + Paragraphs(2000); }, nullptr, false}},
        // Rules of one declaration each, so that no ';' stands between them.
        {"style-rules-one-declaration",
         {[] { return StyleRules(50000, u"color: red") + Paragraphs(2000); }, nullptr, false}},
        {"css-sizes-in-attributes",
         {[] { return Repeat(u"<p style=\"" + std::u16string(kHugeCss) + u"\">some words here</p>", 200); }, nullptr,
          false}},
        {"css-sizes-in-style-block",
         {[] { return u"<style>p, div { " + std::u16string(kHugeCss) + u" }</style>" + Repeat(u"<p>some words here</p>", 200); },
          nullptr, false}},
        {"font-size-attribute", {[] { return Repeat(u"<font size=100000>big</font> ", 1000); }, nullptr, false}},
        {"nested-margins",
         {[] { return Repeat(u"<div style=\"margin-left:1000px; margin-right:1000px\">", 200) + u"deep text"; },
          nullptr, false}},
        {"nested-blockquotes", {[] { return Repeat(u"<blockquote>", 300) + u"deep text"; }, nullptr, true}},
        {"nested-lists", {[] { return Repeat(u"<ul><li>item", 300); }, nullptr, true}},
        {"list-numbering",
         {[] { return u"<ol type=I start=2147483647 style=\"list-style-type: upper-roman\">" + Repeat(u"<li>x", 20000); },
          nullptr, false}},
        // Sheer size.
        {"nested-inline-tags", {[] { return Repeat(u"<b>", 100000) + u"text"; }, nullptr, true}},
        {"million-attributes", {[] { return u"<p" + Repeat(u" a=1", 1000000) + u">text</p>"; }, nullptr, false}},
        {"long-attribute-values",
         {[] { return Repeat(u"<a href=\"" + std::u16string(1 << 20, u'a') + u"\">link</a> ", 4); }, nullptr, false}},
        {"long-line", {[] { return std::u16string(5u << 20, u'a'); }, nullptr, true}},
        {"page-50-mb", {[] { return Repeat(u"<p>lorem ipsum dolor sit amet</p>\n", 25u << 20 >> 5); }, nullptr, true}},
        {"pre-tabs", {[] { return u"<pre>" + std::u16string(1000000, u'\t') + u"x</pre>"; }, nullptr, true}},
    };
    return makers;
}

} // namespace

std::vector<std::string> Names()
{
    std::vector<std::string> names;
    for (const auto& [name, maker] : Makers())
        names.push_back(name);
    return names;
}

Family Build(const std::string& name)
{
    auto found = Makers().find(name);
    if (found == Makers().end())
        return {"", {}, {}, false};
    const Maker& maker = found->second;
    return {found->first.c_str(), maker.page(), maker.pictures ? maker.pictures() : pagedrive::Pictures{},
            maker.cut};
}

} // namespace hostile
