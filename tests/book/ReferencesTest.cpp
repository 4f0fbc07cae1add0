// Contents titles as the tree shows them: character references decoded, the
// Latin-1 ones as bytes of a single-byte code page other than 1252.
#include "BookTestSupport.h"

#include <References.h>

namespace {

std::u16string Shown(const std::u16string& title, UINT codePage, size_t size = 256)
{
    std::u16string out(size, u'#');
    size_t length = DecodeReferences(title.c_str(), codePage, out.data(), size);
    EXPECT_EQ(out[length], u'\0');
    return out.substr(0, length);
}

TEST(References, NamedAndNumericOnesAreDecodedAndOtherTextStays)
{
    struct Case {
        const char16_t* title;
        const char16_t* shown;
    };
    const Case cases[] = {
        {u"h3d::Color&lt; T &gt;", u"h3d::Color< T >"},
        {u"Tom &amp; Jerry &quot;&apos;", u"Tom & Jerry \"'"},
        {u"&cent;quoted&pound;", u"\u00A2quoted\u00A3"},
        {u"&Alpha;&omega;&hellip;&euro;&nbsp;&thetasym;", u"\u0391\u03C9\u2026\u20AC\u00A0\u03D1"},
        {u"&#233;&#xE9;&#XE9;&#233 x&#x1F4D6;", u"\u00E9\u00E9\u00E9\u00E9 x\U0001F4D6"},
        {u"&#150;&#x80;", u"\u2013\u20AC"},  // C1 numbers read as code page 1252's, as browsers do
        {u"&#0;&#xD800;&#1114112;&#99999999999999;", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
        {u"AT&T &unknown; &amp &AMP; &#; &#x; & ;", u"AT&T &unknown; &amp &AMP; &#; &#x; & ;"},
        {u"&amp;lt; once", u"&lt; once"},
        {u"cut &am", u"cut &am"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Shown(c.title, 1252), c.shown) << booktest::Utf8(c.title);
}

// An htm2chm book in Russian writes its cp1251 bytes as Latin-1 names; in a
// double-byte book, UTF-8 or 1252 they are the Latin-1 characters.
TEST(References, LatinOneReferencesAreBytesOfASingleByteCodePage)
{
    std::u16string title = u"&Egrave;&igrave;&iuml;&icirc;&eth;&ograve; &#200;&#xE8; &cent;";
    EXPECT_EQ(Shown(title, 1251), u"\u0418\u043C\u043F\u043E\u0440\u0442 \u0418\u0438 \u045E");
    // htm2chm writes byte 0xD0 (cp1251's capital er) as &Dstrok;.
    EXPECT_EQ(Shown(u"&Dstrok;&agrave;&aacute;", 1251), u"\u0420\u0430\u0431");
    EXPECT_EQ(Shown(u"&Dstrok;&zwnj;&AElig;&yuml;", 1252), u"\u00D0\u200C\u00C6\u00FF") << "the table's ends";
    EXPECT_EQ(Shown(title, 1253).substr(0, 1), u"\u0398");
    for (UINT codePage : {1252u, 932u, 65001u, static_cast<UINT>(CP_ACP)})  // CP_ACP is 1252 here
        EXPECT_EQ(Shown(title, codePage), u"\u00C8\u00EC\u00EF\u00EE\u00F0\u00F2 \u00C8\u00E8 \u00A2") << codePage;
    EXPECT_EQ(Shown(u"&lt;&#1048;&#150;", 1251), u"<\u0418\u2013") << "only U+0080..U+00FF are bytes";
}

// The shown title is cut to its buffer before a character that does not fit
// whole: a reference's pair of surrogates, or one of the text itself.
TEST(References, ATitleTooLongForItsBufferIsCutAtAWholeCharacter)
{
    EXPECT_EQ(Shown(u"ab&#x1F4D6;", 1252, 4), u"ab");
    EXPECT_EQ(Shown(u"ab\U0001F4D6", 1252, 4), u"ab");
    EXPECT_EQ(Shown(u"ab&lt;", 1252, 4), u"ab<");
    EXPECT_EQ(Shown(u"abc", 1252, 1), u"");
    WCHAR untouched = u'#';
    EXPECT_EQ(DecodeReferences(u"abc", 1252, &untouched, 0), 0u);
    EXPECT_EQ(untouched, u'#');
}

}  // namespace
