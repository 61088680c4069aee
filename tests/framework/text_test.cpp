#include <gtest/gtest.h>

#include <iconv.h>

#include <atomic>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "framework/text.h"
#include "framework/tstring.h"
#include "tests/framework/framework_test_env.h"

namespace {

std::u16string Str(const TString& s) { return std::u16string(s.Text()); }

// UTF-8 of a UTF-16 text by the C library's iconv, as an independent
// reference.
std::string IconvUtf8(const std::u16string& text) {
  iconv_t cd = iconv_open("UTF-8", "UTF-16LE");
  EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1));
  std::string out(text.size() * 4 + 4, '\0');
  char* in = reinterpret_cast<char*>(const_cast<char16_t*>(text.data()));
  size_t inLeft = text.size() * 2;
  char* o = out.data();
  size_t outLeft = out.size();
  size_t r = iconv(cd, &in, &inLeft, &o, &outLeft);
  iconv_close(cd);
  EXPECT_NE(r, static_cast<size_t>(-1));
  out.resize(out.size() - outLeft);
  return out;
}

TEST(Formatting, CachedSmallIntegers) {
  TString format = TString::DefaultIntegerFormat();
  TString zero = TString::FromInt(0, format);
  EXPECT_TRUE(zero.SharesBufferWith(TString::FromInt(0, format)));
  EXPECT_TRUE(TString::FromInt(-1, format).SharesBufferWith(TString::FromInt(-1)));
  TString two = TString::FromInt(2, format);
  EXPECT_EQ(Str(two), u"2");
  EXPECT_FALSE(two.SharesBufferWith(TString::FromInt(2, format)));
  // Another format is formatted anew.
  EXPECT_FALSE(TString::FromInt(0, TString(u"%d")).SharesBufferWith(TString::FromInt(7)));
  EXPECT_EQ(Str(TString::FromInt(1, TString(u"%03d"))), u"001");
  EXPECT_EQ(Str(TString::FromByte(255, TString::DefaultUnsignedFormat())), u"255");
  EXPECT_EQ(Str(TString::FromInt(INT32_MIN)), u"-2147483648");
}

TEST(Formatting, LengthModifiersTakeTheValueAtItsWidth) {
  // "%ld" and "%lu" with a 32-bit value: the value, not 64 bits of stack.
  EXPECT_EQ(Str(TString::FormatValue(TString(u"%ld"), std::int32_t{-5})), u"-5");
  EXPECT_EQ(Str(TString::FormatValue(TString(u"%lu"), std::uint32_t{4000000000u})), u"4000000000");
  EXPECT_EQ(Str(TString::FormatValue(TString(u"%u"), std::int32_t{-1})), u"4294967295");
  EXPECT_EQ(Str(TString::FormatValue(TString(u"%lld"), std::int64_t{-9000000000})), u"-9000000000");
  EXPECT_EQ(Str(TString::FormatValue(TString(u"%I64u"), std::uint64_t{1} << 40)), u"1099511627776");
  EXPECT_EQ(Str(TString::FormatValue(TString(u"%08X"), std::uint32_t{0xBEEF})), u"0000BEEF");
  EXPECT_EQ(Str(TString::FormatValue(TString(u"%.3f"), 2.0 / 3.0)), u"0.667");
  EXPECT_EQ(Str(TString::FormatValue(TString(u"%.17lg"), 0.1)), u"0.10000000000000001");
  EXPECT_EQ(Str(TString::FormatValue(TString(u"%5.1f%%"), std::int32_t{42})), u" 42.0%");
}

TEST(Formatting, OnlyTheFirstConversionIsFilled) {
  EXPECT_EQ(Str(TString::FormatValue(TString(u"%d of %d"), std::int32_t{3})), u"3 of %d");
  EXPECT_EQ(Str(TString::FormatValue(TString(u"[%s] %d"), std::int32_t{3})), u"[%s] 3");
  EXPECT_EQ(Str(TString::FormatValue(TString(u"%n%d"), std::int32_t{3})), u"%n3");
  EXPECT_EQ(Str(TString::FormatValue(TString(u"50%"), std::int32_t{3})), u"50%");
  EXPECT_EQ(Str(TString::FormatValue(TString(u"%c!"), std::int32_t{0x263A})), u"\u263a!");
}

TEST(Formatting, ResultIsCutAt255Units) {
  TString wide = TString::FormatValue(TString(u"%999d"), std::int32_t{1});
  EXPECT_EQ(wide.Length(), 255);
  TString longFormat = TString::Repeat(TString(u"ab"), 200);
  EXPECT_EQ(TString::FormatValue(longFormat, std::int32_t{1}).Length(), 255);
}

TEST(Parsing, ToIntWithRangeChecks) {
  TString format = TString::DefaultIntegerFormat();
  std::int32_t v = 99;
  EXPECT_TRUE(TString::ToInt(TString(u"-1"), format, &v));
  EXPECT_EQ(v, -1);
  EXPECT_TRUE(TString::ToInt(TString(u"  1234xyz"), format, &v));
  EXPECT_EQ(v, 1234);
  EXPECT_TRUE(TString::ToInt(TString(u"-2147483648"), format, &v));
  EXPECT_EQ(v, INT32_MIN);
  v = 7;
  EXPECT_FALSE(TString::ToInt(TString(u"2147483648"), format, &v));
  EXPECT_FALSE(TString::ToInt(TString(u"99999999999999999999"), format, &v));
  EXPECT_FALSE(TString::ToInt(TString(u"abc"), format, &v));
  EXPECT_FALSE(TString::ToInt(TString(), format, &v));
  EXPECT_EQ(v, 7);
  EXPECT_EQ(TString::ToIntOr0(TString(u"x"), format), 0);
  EXPECT_EQ(TString::ToIntOr0(TString(u"+17"), format), 17);
  EXPECT_TRUE(TString::ToInt(TString(u"ff"), TString(u"%x"), &v));
  EXPECT_EQ(v, 255);
  EXPECT_TRUE(TString::ToInt(TString(u"4294967295"), TString(u"%u"), &v));
  EXPECT_EQ(v, -1);
  EXPECT_FALSE(TString::ToInt(TString(u"-3"), TString(u"%u"), &v));
  EXPECT_EQ(TString::Scan(TString(u"v=12"), TString(u"v=%d"), &v), 1);
  EXPECT_EQ(v, 12);
  EXPECT_EQ(TString::Scan(TString(u"w=12"), TString(u"v=%d"), &v), 0);
}

TEST(Templates, TextWithoutMarkerIsReturnedShared) {
  TString plain(u"nothing to expand here $ M");
  EXPECT_TRUE(TString::ExpandTemplates(plain).SharesBufferWith(plain));
}

TEST(Templates, EveryTemplateExpands) {
  TString text(
      u"$MProductString|$MVersionString|$MAlphaOrBetaVersionString|$MBuildNumberString|"
      u"$MProductNameAndVersionString|$MBugReportEMailAddress|$MSupportEMailAddress|"
      u"$MProductHomeURL|$MUnknown");
  std::u16string expected = u"Tarvo|V0.0.1||V0.0.1 (Built: Dec  7 2016)|Tarvo V0.0.1|" +
                            Str(GetProductSupportEmail()) + u"|" + Str(GetProductSupportEmail()) + u"|" +
                            Str(GetProductHomeURL()) + u"|$MUnknown";
  EXPECT_EQ(Str(TString::ExpandTemplates(text)), expected);
}

TEST(Templates, ExpandWhileTheStringSystemIsStopped) {
  StopStringSystem();
  TString expanded = TString::ExpandTemplates(TString(u"Restart $MProductString."));
  std::u16string text = Str(expanded);
  // Numbers are formatted without the cache as well.
  std::u16string version = Str(GetVersionText());
  expanded.Release();
  StartStringSystem();
  EXPECT_EQ(text, u"Restart Tarvo.");
  EXPECT_EQ(version, u"V0.0.1");
}

TEST(CodePages, SevenBitConversion) {
  TString s(u"A\u00e9\u007f~");
  EXPECT_STREQ(s.ToNarrow(2), "A??~");
  TByteArray bytes;
  s.ToNarrowArray(bytes, 2);
  ASSERT_EQ(bytes.Size(), 4);
  EXPECT_EQ(std::memcmp(bytes.Data(), "A??~", 4), 0);
  TString back = TString::FromNarrow("a\x7f\xE9", 2);
  ASSERT_EQ(back.Length(), 3);
  EXPECT_EQ(back.CharAt(1), u'?');
  EXPECT_EQ(back.CharAt(2), 0xFFE9);
}

TEST(CodePages, Utf8AgreesWithIconv) {
  std::mt19937 rng(1234);
  for (int round = 0; round < 300; ++round) {
    std::u16string text;
    int length = 1 + static_cast<int>(rng() % 40);
    for (int i = 0; i < length; ++i) {
      std::uint32_t pick = rng() % 5;
      std::uint32_t cp = pick == 0   ? 0x20 + rng() % 0x5F
                         : pick == 1 ? 0x80 + rng() % 0x780
                         : pick == 2 ? 0x800 + rng() % (0xD800 - 0x800)
                         : pick == 3 ? 0xE000 + rng() % 0x1FFE
                                     : 0x10000 + rng() % 0x100000;
      if (cp >= 0x10000) {
        text += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
        text += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
      } else {
        text += static_cast<char16_t>(cp);
      }
    }
    TString s(text.c_str());
    std::string reference = IconvUtf8(text);
    for (std::int32_t encoding : {0, 1, 3, 77}) {
      ASSERT_EQ(std::string(s.ToNarrow(encoding)), reference) << "round " << round;
      TString back = TString::FromNarrow(reference.c_str(), encoding);
      ASSERT_EQ(Str(back), text) << "round " << round;
    }
    TByteArray bytes;
    s.ToNarrowArray(bytes, 0);
    ASSERT_EQ(std::string(bytes.Data(), static_cast<size_t>(bytes.Size())), reference);
  }
}

TEST(CodePages, UndecodableBytesSurviveARoundTrip) {
  // Latin-1 bytes, a truncated sequence, an encoded surrogate, an overlong.
  const char* names[] = {"caf\xE9.mxf", "x\xE2\x82", "\xED\xA0\x80z", "\xC0\xAF", "\xFF\xFE"};
  for (const char* name : names) {
    TString s = TString::FromNarrow(name, 0);
    EXPECT_FALSE(s.IsEmpty());
    EXPECT_STREQ(s.ToNarrow(0), name);
  }
  TString cafe = TString::FromNarrow("caf\xE9", 0);
  EXPECT_EQ(cafe.CharAt(3), 0xDCE9);
  // A lone surrogate of other origin becomes U+FFFD.
  EXPECT_STREQ(TString(u"a\xD800"
                       u"b")
                   .ToNarrow(0),
               "a\xEF\xBF\xBD"
               "b");
  EXPECT_STREQ(TString(u"\xDC00").ToNarrow(0), "\xEF\xBF\xBD");
}

TEST(CodePages, EmptyTextsAndTheRing) {
  EXPECT_STREQ(TString().ToNarrow(0), "");
  EXPECT_TRUE(TString::FromNarrow("", 0).IsEmpty());
  EXPECT_TRUE(TString::FromNarrow(nullptr, 3).IsEmpty());
  TByteArray bytes(5);
  TString().ToNarrowArray(bytes, 0);
  EXPECT_EQ(bytes.Data(), nullptr);

  // A result stays valid through three more conversions on this thread and
  // is overwritten by the fourth.
  const char* first = TString(u"first").ToNarrow(0);
  TString(u"second").ToNarrow(0);
  TString(u"third").ToNarrow(0);
  TString(u"fourth").ToNarrow(0);
  EXPECT_STREQ(first, "first");
  TString(u"fifth").ToNarrow(0);
  EXPECT_STREQ(first, "fifth");
}

TEST(CodePages, ThreadsWithoutLogicalIdDoNotShareTheRing) {
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &wrong] {
      std::string mine = "thread-" + std::to_string(t) + "-text";
      TString text = TString::FromNarrow(mine.c_str(), 0);
      for (int i = 0; i < 5000; ++i) {
        const char* narrow = text.ToNarrow(0);
        for (int k = 0; k < 20; ++k) {
          if (mine != narrow) ++wrong;
        }
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(wrong.load(), 0);
}

TEST_F(FrameworkTest, LogicalThreadsUseTheirOwnRow) {
  static thread_local std::int32_t logicalId = -1;
  FrameworkHooks().threadManagerExists = [] { return true; };
  FrameworkHooks().logicalThreadId = [] { return logicalId; };
  logicalId = 3;
  const char* onThree = TString(u"main").ToNarrow(0);
  logicalId = 5;
  for (int i = 0; i < 8; ++i) TString(u"other").ToNarrow(0);
  logicalId = 3;
  EXPECT_STREQ(onThree, "main");
  logicalId = -1;
}

TEST(DatesAndTimes, Texts) {
  EXPECT_TRUE(DateText(TDate{}).IsEmpty());
  EXPECT_EQ(Str(DateText(TDate{2016, 12, 7})), u"2016-12-07");
  EXPECT_EQ(Str(DateText(TDate{987, 1, 31})), u"0987-01-31");
  EXPECT_TRUE(TimeText(TTime{}).IsEmpty());
  EXPECT_EQ(Str(TimeText(TTime{9, 5, 3})), u"09:05:03");
  EXPECT_EQ(Str(TimeText(TTime{0, 0, 1})), u"00:00:01");
  TDate today = TDate::Today();
  EXPECT_GE(today.year, 2000);
  EXPECT_GE(today.month, 1);
  EXPECT_LE(today.month, 12);
  EXPECT_EQ(DateText(today).Length(), 10);
}

TEST(DatesAndTimes, TripleOrder) {
  EXPECT_TRUE(TripleGreater(2016, 12, 7, 2016, 11, 30));
  EXPECT_FALSE(TripleGreater(2016, 12, 7, 2016, 12, 7));
  EXPECT_TRUE(TripleLess(0, 0, 1, 0, 1, 0));
  EXPECT_FALSE(TripleLess(1, 0, 0, 0, 9, 9));
  EXPECT_TRUE(TripleGreater(0, 0, 2, 0, 0, 1));
}

}  // namespace
