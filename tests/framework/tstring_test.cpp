#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "framework/tstring.h"
#include "tests/framework/framework_test_env.h"

namespace {

std::u16string Str(const TString& s) { return std::u16string(s.Text()); }

TEST(TStringSharing, CopiesShareOneBuffer) {
  TString a(u"hello");
  TString b(a);
  TString c;
  c = b;
  EXPECT_TRUE(a.SharesBufferWith(b));
  EXPECT_TRUE(a.SharesBufferWith(c));
  TString moved(static_cast<TString&&>(c));
  EXPECT_TRUE(moved.SharesBufferWith(a));
  EXPECT_TRUE(c.IsEmpty());
}

TEST(TStringSharing, EveryEmptyStringSharesOneBuffer) {
  TString a;
  TString b(u"");
  TString c(static_cast<const char*>(nullptr));
  TString d(u"x");
  d.SetEmpty();
  EXPECT_TRUE(a.SharesBufferWith(b));
  EXPECT_TRUE(a.SharesBufferWith(c));
  EXPECT_TRUE(a.SharesBufferWith(d));
  EXPECT_EQ(a.Capacity(), 0);
}

TEST(TStringSharing, EditOfASharedCopyCopiesFirst) {
  TString original(u"abc");
  TString copy(original);
  copy.AppendChar(u'd');
  EXPECT_EQ(Str(original), u"abc");
  EXPECT_EQ(Str(copy), u"abcd");
  EXPECT_FALSE(copy.SharesBufferWith(original));

  TString other(original);
  other.SetCharAt(0, u'X');
  other.Remove(1, 2);
  EXPECT_EQ(Str(original), u"abc");
  EXPECT_EQ(Str(other), u"Xc");
}

TEST(TStringSharing, AppendWithRoomWritesInPlace) {
  // A string made unique keeps its capacity; a removal leaves room.
  TString s(u"abcdef");
  s.Remove(3, 6);
  const char16_t* before = s.Text();
  EXPECT_EQ(s.Capacity(), 7);
  s.AppendText(u"xy");
  EXPECT_EQ(s.Text(), before);
  EXPECT_EQ(Str(s), u"abcxy");
  // No room: a new buffer of exactly the new length plus one.
  s.AppendText(u"12");
  EXPECT_EQ(s.Capacity(), 8);
  EXPECT_EQ(Str(s), u"abcxy12");

  // A shared copy with room copies once, then the original is untouched.
  TString t(u"abcdef");
  t.Remove(3, 6);
  TString shared(t);
  shared.AppendText(u"z");
  EXPECT_EQ(Str(t), u"abc");
  EXPECT_EQ(Str(shared), u"abcz");
}

TEST(TStringSharing, ConcurrentCopiesAndReleases) {
  TString text(u"shared between threads");
  std::vector<std::thread> threads;
  std::atomic<int> wrong{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 20000; ++i) {
        TString copy(text);
        TString edited(copy);
        if (i % 100 == 0) edited.AppendChar(u'!');
        if (!copy.EqualsText(u"shared between threads")) ++wrong;
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(Str(text), u"shared between threads");
}

TEST(TStringConstruction, EightBitTextIsSignExtended) {
  TString s("a\xE9\x7F");
  ASSERT_EQ(s.Length(), 3);
  EXPECT_EQ(s.CharAt(0), u'a');
  EXPECT_EQ(s.CharAt(1), 0xFFE9);
  EXPECT_EQ(s.CharAt(2), 0x7F);
}

TEST(TStringQueries, CharAtAndSetCharAtAreBounded) {
  TString s(u"ab");
  EXPECT_EQ(s.CharAt(-1), 0);
  EXPECT_EQ(s.CharAt(2), 0);
  EXPECT_EQ(s.CharAt(1000), 0);
  TString copy(s);
  copy.SetCharAt(5, u'x');
  copy.SetCharAt(-1, u'x');
  copy.SetCharAt(1, u'b');  // same unit: no copy
  EXPECT_TRUE(copy.SharesBufferWith(s));
  TString empty;
  empty.SetCharAt(0, u'x');
  EXPECT_TRUE(empty.IsEmpty());
  // A zero written inside shortens the text.
  TString cut(u"abcd");
  cut.SetCharAt(2, 0);
  EXPECT_EQ(cut.Length(), 2);
}

TEST(TStringQueries, Comparisons) {
  TString a(u"Hello");
  EXPECT_TRUE(a.Equals(TString(u"Hello")));
  EXPECT_TRUE(a.NotEquals(TString(u"Hello!")));
  EXPECT_TRUE(a.EqualsText(u"Hello"));
  EXPECT_FALSE(a.EqualsText(u"Hell"));
  EXPECT_TRUE(TString().EqualsText(nullptr));
  EXPECT_TRUE(a.EqualsNoCase(TString(u"hELLO")));
  EXPECT_LT(TString(u"apple").CompareNoCase(TString(u"BANANA")), 0);
  EXPECT_GT(TString(u"b").CompareNoCase(TString(u"A")), 0);
  EXPECT_LT(TString(u"ab").CompareNoCase(TString(u"ABC")), 0);
  // Fixed folding beyond ASCII.
  EXPECT_TRUE(TString(u"\u00c9T\u00c9").EqualsNoCase(TString(u"\u00e9t\u00e9")));
  EXPECT_TRUE(TString(u"\u0416").EqualsNoCase(TString(u"\u0436")));
  EXPECT_FALSE(TString(u"\u00d7").EqualsNoCase(TString(u"\u00f7")));
}

TEST(TStringQueries, StartsAndEnds) {
  TString s(u"Prefix");
  EXPECT_TRUE(s.StartsWith(u'P'));
  EXPECT_TRUE(s.EndsWith(u'x'));
  EXPECT_FALSE(TString().StartsWith(0));
  EXPECT_FALSE(TString().EndsWith(0));
  EXPECT_TRUE(s.StartsWithText(TString(u"Pre")));
  EXPECT_TRUE(s.StartsWithText(TString(u"Prefix")));
  EXPECT_FALSE(s.StartsWithText(TString(u"Prefix!")));
  EXPECT_FALSE(s.StartsWithText(TString()));
  EXPECT_FALSE(TString().StartsWithText(TString(u"a")));
  EXPECT_FALSE(s.StartsWithText(TString(u"pre")));
  EXPECT_TRUE(s.StartsWithNoCase(TString(u"pRE")));
  EXPECT_EQ(TString(u"a,b,,c").CountChar(u','), 3);
}

TEST(TStringFind, ForwardAndBackward) {
  TString s(u"abcabc");
  TString needle(u"bc");
  EXPECT_EQ(s.Find(needle, 0), 1);
  EXPECT_EQ(s.Find(needle, 2), 4);
  EXPECT_EQ(s.Find(needle, 5), -1);  // runs off the end
  EXPECT_EQ(s.Find(needle, 6), -1);  // start at the end marker
  EXPECT_EQ(s.Find(needle, 7), -1);
  EXPECT_EQ(s.Find(needle, -1), -1);
  EXPECT_EQ(s.Find(needle, 6, true), 4);  // backward may start at the length
  EXPECT_EQ(s.Find(needle, 3, true), 1);
  EXPECT_EQ(s.Find(needle, 0, true), -1);
  EXPECT_EQ(s.Find(TString(), 0), -1);
  EXPECT_EQ(TString().Find(needle, 0), -1);
  EXPECT_EQ(s.Find(TString(u"abcabcd"), 0), -1);
}

TEST(TStringFind, NoCaseRefusesAStartAtTheLength) {
  TString s(u"xAbCx");
  EXPECT_EQ(s.FindNoCase(TString(u"abc"), 0), 1);
  EXPECT_EQ(s.FindNoCase(TString(u"X"), 4, true), 4);
  EXPECT_EQ(s.FindNoCase(TString(u"X"), 5, true), -1);
  EXPECT_EQ(s.Find(TString(u"x"), 5, true), 4);
}

TEST(TStringSubString, BoundaryRules) {
  TString s(u"abc");
  TString whole = s.SubString(-5, 100);
  EXPECT_TRUE(whole.SharesBufferWith(s));
  EXPECT_TRUE(s.SubString(2, 2).IsEmpty());
  EXPECT_TRUE(s.SubString(4, 5).IsEmpty());
  EXPECT_TRUE(s.SubString(2, 1).IsEmpty());
  EXPECT_EQ(Str(s.SubString(1, -1)), u"bc");
  EXPECT_EQ(Str(s.SubString(0, 2)), u"ab");
  EXPECT_EQ(Str(s.SubString(3, 9)), u"");
  EXPECT_EQ(s.SubString(1, 2).Capacity(), 2);
  EXPECT_TRUE(TString().SubString(0, 0).IsEmpty());
}

TEST(TStringEdits, InsertAndRemoveAreBounded) {
  TString s(u"ace");
  s.Insert(1, u'b');
  s.Insert(3, TString(u"d"));
  s.Insert(100, u"f");
  s.Insert(-4, u"_");
  EXPECT_EQ(Str(s), u"_abcdef");
  s.Insert(2, u"");  // nothing
  EXPECT_EQ(Str(s), u"_abcdef");
  s.Remove(-3, 1);
  EXPECT_EQ(Str(s), u"abcdef");
  s.Remove(4, 400);
  EXPECT_EQ(Str(s), u"abcd");
  s.Remove(3, 1);
  s.Remove(2, 2);
  EXPECT_EQ(Str(s), u"abcd");
  // Inserting a string into itself.
  s.Insert(2, s);
  EXPECT_EQ(Str(s), u"ababcdcd");
  s.AppendText(s.Text() + 6);
  EXPECT_EQ(Str(s), u"ababcdcdcd");
}

TEST(TStringEdits, RemoveFirstAndLastNoCase) {
  TString s(u"One two ONE three one");
  s.RemoveFirstNoCase(TString(u"one"));
  EXPECT_EQ(Str(s), u" two ONE three one");
  s.RemoveLastNoCase(TString(u"ONE"));
  EXPECT_EQ(Str(s), u" two ONE three ");
  s.RemoveLastNoCase(TString(u"four"));
  EXPECT_EQ(Str(s), u" two ONE three ");
}

TEST(TStringEdits, ReplaceDoesNotRescanTheReplacement) {
  TString s(u"aaa");
  s.Replace(TString(u"a"), TString(u"aa"));
  EXPECT_EQ(Str(s), u"aaaaaa");
  EXPECT_EQ(s.Length(), 6);
  TString t(u"x--y--");
  t.Replace(TString(u"--"), TString(u"-"));
  EXPECT_EQ(Str(t), u"x-y-");
  t.Replace(TString(u"-"), TString(u""));
  EXPECT_EQ(Str(t), u"xy");
  TString same(u"keep");
  TString copy(same);
  same.Replace(TString(u"e"), TString(u"e"));
  EXPECT_TRUE(same.SharesBufferWith(copy));
}

TEST(TStringEdits, ReplaceCharAndLineBreaks) {
  TString s(u"a\r\nb\rc\n");
  TString copy(s);
  s.ReplaceLineBreaks();
  EXPECT_EQ(Str(s), u"a  b c ");
  EXPECT_EQ(Str(copy), u"a\r\nb\rc\n");
  s.ReplaceChar(u' ', u'_');
  EXPECT_EQ(Str(s), u"a__b_c_");
  TString empty;
  empty.ReplaceChar(0, u'x');
  empty.ReplaceLineBreaks();
  EXPECT_TRUE(empty.IsEmpty());
}

TEST(TStringEdits, TrimAndTabs) {
  TString s(u"\tx ");
  s.Trim();
  EXPECT_EQ(Str(s), u"x");
  TString inner(u" a\tb \t");
  inner.Trim();
  EXPECT_EQ(Str(inner), u"a  b");  // tabs inside become two blanks
  TString right(u"  keep\u3000\u00a0\r\n");
  right.TrimRight();
  EXPECT_EQ(Str(right), u"  keep");
  TString blank(u" \t ");
  blank.Trim();
  EXPECT_TRUE(blank.IsEmpty());
  TString tabs(u"a\tb");
  tabs.ExpandTabs(3);
  EXPECT_EQ(Str(tabs), u"a   b");
}

TEST(TStringNew, ConcatRepeatJoin) {
  TString left(u"ab");
  TString both = TString::Concat(left, TString(u"cd"));
  EXPECT_EQ(Str(both), u"abcd");
  EXPECT_EQ(Str(left), u"ab");
  EXPECT_EQ(Str(TString::ConcatText(left, u"!")), u"ab!");
  EXPECT_EQ(Str(TString::ConcatTemporary(TString(u"x"), TString(u"y"))), u"xy");

  EXPECT_TRUE(TString::Repeat(left, 0).IsEmpty());
  EXPECT_TRUE(TString::Repeat(left, 1).SharesBufferWith(left));
  TString three = TString::Repeat(left, 3);
  EXPECT_EQ(Str(three), u"ababab");
  EXPECT_EQ(three.Capacity(), 7);

  TStringArray parts(TString(u"a"), TString());
  parts.Append(TString(u"c"));
  EXPECT_EQ(Str(TString::Join(parts, TString(u", "))), u"a, , c");
  TStringArray none;
  EXPECT_TRUE(TString::Join(none, TString(u",")).IsEmpty());
  TStringArray empties{TString(), TString()};
  EXPECT_EQ(Str(TString::Join(empties, TString(u"+"))), u"+");
  TStringArray one{TString()};
  EXPECT_TRUE(TString::Join(one, TString()).IsEmpty());
}

TEST(TStringNew, SplitKeepsEmptyPieces) {
  TStringArray pieces = TString(u"a,b;;c,").Split(TCharSet(u',', u';'));
  ASSERT_EQ(pieces.Count(), 5);
  const char16_t* expected[] = {u"a", u"b", u"", u"c", u""};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(Str(pieces[i]), expected[i]) << i;
  TStringArray single = TString().SplitAt(u',');
  ASSERT_EQ(single.Count(), 1);
  EXPECT_TRUE(single[0].IsEmpty());
  TStringArray path = TString(u"/usr/lib").SplitAt(u'/');
  ASSERT_EQ(path.Count(), 3);
  EXPECT_TRUE(path[0].IsEmpty());
}

TEST(TStringNew, SplitLines) {
  TStringArray lines = TString(u"x\r\ny\rz\n").SplitLines();
  ASSERT_EQ(lines.Count(), 4);
  EXPECT_EQ(Str(lines[0]), u"x");
  EXPECT_EQ(Str(lines[1]), u"y");
  EXPECT_EQ(Str(lines[2]), u"z");
  EXPECT_TRUE(lines[3].IsEmpty());
  TStringArray blank = TString(u"\n\r\n\r").SplitLines();
  EXPECT_EQ(blank.Count(), 4);
  EXPECT_EQ(TString().SplitLines().Count(), 1);
  EXPECT_EQ(Str(TString::LineBreak()), u"\r\n");
}

}  // namespace
