#include "WideString.h"

#include <gtest/gtest.h>

namespace {

std::u16string Text(const WideString& s) { return s.Buffer() ? s.Buffer() : u"<null>"; }

TEST(WideString, StorageGrowsToTheRequestPlusSixteenAndKeepsTheText) {
    WideString s;
    EXPECT_EQ(s.Buffer(), nullptr);
    EXPECT_EQ(s.Capacity(), 0u);
    EXPECT_TRUE(s.Reserve(10));
    EXPECT_EQ(s.Capacity(), 26u);

    LPWSTR room = s.GetBuffer(5);
    ASSERT_NE(room, nullptr);
    EXPECT_EQ(s.Capacity(), 26u);
    StringCchCopyW(room, 6, u"hello");
    EXPECT_EQ(s.ReleaseBuffer(-1), 5u);

    LPCWSTR before = s.Buffer();
    EXPECT_TRUE(s.Reserve(20));
    EXPECT_EQ(s.Buffer(), before);
    EXPECT_EQ(s.Capacity(), 26u);
    EXPECT_TRUE(s.Reserve(30));
    EXPECT_EQ(s.Capacity(), 46u);
    EXPECT_EQ(Text(s), u"hello");
    EXPECT_EQ(s.Length(), 5u);
    // The grown part is zero-filled.
    EXPECT_EQ(s.Buffer()[45], 0);
}

TEST(WideString, AssigningAsManyUnitsAsTheRoomGrowsItForTheTerminator) {
    WideString s(u"abc");
    ASSERT_EQ(s.Capacity(), 19u);
    const std::u16string full(19, u'x');
    s.Assign(full.c_str());
    EXPECT_EQ(s.Capacity(), 35u);
    EXPECT_EQ(Text(s), full);
    s.Assign(std::u16string(18, u'y').c_str());  // fits with its terminator: kept in place
    EXPECT_EQ(s.Capacity(), 35u);
}

TEST(WideString, SizesThatWouldWrapAreRefused) {
    WideString s(u"keep");
    EXPECT_FALSE(s.Reserve(0xFFFFFFF0u));
    EXPECT_EQ(s.GetBuffer(0xFFFFFFFFu), nullptr);
    EXPECT_EQ(Text(s), u"keep");
    EXPECT_EQ(s.Capacity(), 20u);
}

TEST(WideString, AssignCopiesEmptiesAndFrees) {
    WideString s(u"abc");
    EXPECT_EQ(s.Length(), 3u);
    EXPECT_EQ(s.Capacity(), 19u);

    s.Assign(u"");
    ASSERT_NE(s.Buffer(), nullptr);
    EXPECT_EQ(s.Buffer()[0], 0);
    EXPECT_EQ(s.Length(), 0u);

    s.Assign(nullptr);
    EXPECT_EQ(s.Buffer(), nullptr);
    EXPECT_EQ(s.Length(), 0u);
    // A freed buffer leaves no room behind to copy from later.
    EXPECT_EQ(s.Capacity(), 0u);
    s.Assign(u"again");
    EXPECT_EQ(Text(s), u"again");

    WideString copy(s);
    EXPECT_NE(copy.Buffer(), s.Buffer());
    EXPECT_EQ(Text(copy), u"again");
    WideString none(nullptr);
    WideString copyOfNone(none);
    EXPECT_EQ(copyOfNone.Buffer(), nullptr);
    copy = copy;
    EXPECT_EQ(Text(copy), u"again");
    copy = none;
    EXPECT_EQ(copy.Buffer(), nullptr);
}

TEST(WideString, EqualsIgnoresCaseAndTakesMissingTextAsEmpty) {
    WideString none;
    EXPECT_TRUE(none.Equals(u""));
    EXPECT_TRUE(none.Equals(nullptr));
    EXPECT_FALSE(none.Equals(u"a"));
    WideString empty(u"");
    EXPECT_TRUE(empty.Equals(nullptr));
    WideString abc(u"ABC");
    EXPECT_TRUE(abc.Equals(u"abc"));
    EXPECT_FALSE(abc.Equals(u"abd"));
    EXPECT_FALSE(abc.Equals(u"ab"));
    EXPECT_FALSE(abc.Equals(u"abcd"));
    EXPECT_FALSE(abc.Equals(nullptr));
}

TEST(WideString, ReleaseBufferMeasuresOrCutsWithinTheRoom) {
    WideString none;
    EXPECT_EQ(none.ReleaseBuffer(-1), 0u);
    EXPECT_EQ(none.ReleaseBuffer(3), 0u);

    WideString s;
    LPWSTR room = s.GetBuffer(10);  // 27 units
    StringCchCopyW(room, 11, u"abcdefghij");
    EXPECT_EQ(s.ReleaseBuffer(-1), 10u);
    EXPECT_EQ(s.ReleaseBuffer(3), 3u);
    EXPECT_EQ(Text(s), u"abc");
    EXPECT_EQ(s.ReleaseBuffer(1000), s.Capacity() - 1);

    // No terminator anywhere: the length stops at the last unit we own.
    room = s.GetBuffer(0);
    for (DWORD i = 0; i < s.Capacity(); ++i) room[i] = u'x';
    EXPECT_EQ(s.ReleaseBuffer(-1), s.Capacity() - 1);
    EXPECT_EQ(s.Buffer()[s.Capacity() - 1], 0);
}

}  // namespace
