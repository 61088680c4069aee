// The command-line splitting rule, the rebuilt process command line and the
// options parse.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "converter/command_line.h"

namespace {

std::vector<std::string> ToStrings(const TStringArray& array) {
  std::vector<std::string> out;
  for (std::int32_t i = 0; i < array.Count(); ++i) out.emplace_back(array[i].ToNarrow(3));
  return out;
}

std::vector<std::string> Split(const char* line) {
  return ToStrings(SplitCommandLineText(TString::FromNarrow(line, 3)));
}

TStringArray Arguments(const std::vector<std::string>& args) {
  TStringArray out;
  for (const std::string& a : args) out.Append(TString::FromNarrow(a.c_str(), 3));
  return out;
}

using Strings = std::vector<std::string>;

TEST(SplitCommandLineText, BlanksSeparateOutsideQuotes) {
  EXPECT_EQ(Split(""), Strings{});
  EXPECT_EQ(Split("   "), Strings{});
  EXPECT_EQ(Split("prog"), (Strings{"prog"}));
  EXPECT_EQ(Split("  prog   a  b   "), (Strings{"prog", "a", "b"}));
  EXPECT_EQ(Split("prog \"a b\" c"), (Strings{"prog", "a b", "c"}));
  EXPECT_EQ(Split("\"/opt/my tools/prog\" in.mxf"), (Strings{"/opt/my tools/prog", "in.mxf"}));
  // Tabs become two blanks before the split.
  EXPECT_EQ(Split("prog\ta\t\tb"), (Strings{"prog", "a", "b"}));
  EXPECT_EQ(Split("prog \"a\tb\""), (Strings{"prog", "a  b"}));
}

TEST(SplitCommandLineText, QuotesAndBackslashes) {
  // A backslash-quote pair becomes a lone quote and does not toggle quoting.
  EXPECT_EQ(Split("prog a\\\"b"), (Strings{"prog", "a\"b"}));
  EXPECT_EQ(Split("prog \"a \\\" b\" c"), (Strings{"prog", "a \" b", "c"}));
  EXPECT_EQ(Split("prog a\\\" b"), (Strings{"prog", "a\"", "b"}));
  // Enclosing quotes go, as often as they enclose; inner ones stay.
  EXPECT_EQ(Split("prog \"\"x\"\""), (Strings{"prog", "x"}));
  EXPECT_EQ(Split("prog a\"b c\"d"), (Strings{"prog", "a\"b c\"d"}));
  EXPECT_EQ(Split("prog \"\""), (Strings{"prog", ""}));
  // Other backslashes are ordinary characters.
  EXPECT_EQ(Split("prog C:\\dir\\ x\\y"), (Strings{"prog", "C:\\dir\\", "x\\y"}));
  // An unclosed quote runs to the end of the line.
  EXPECT_EQ(Split("prog \"a b"), (Strings{"prog", "\"a b"}));
}

// Arguments the rule can carry: anything but a tab, and no backslash right
// before the closing quote of an argument that needs quotes.
bool RuleCarries(const std::string& a) {
  if (a.find('\t') != std::string::npos) return false;
  const bool quoted = a.empty() || a.find(' ') != std::string::npos;
  return !(quoted && !a.empty() && a.back() == '\\');
}

TEST(JoinCommandLine, RandomArgumentsSurviveTheRoundTrip) {
  std::mt19937 random(7);
  const char alphabet[] = {'a', 'b', ' ', '"', '\\', '.', '/', '\t', '-'};
  int carried = 0;
  for (int round = 0; round < 3000; ++round) {
    Strings args{"prog"};
    const int count = 1 + static_cast<int>(random() % 4);
    for (int k = 0; k < count; ++k) {
      std::string a;
      const int length = static_cast<int>(random() % 7);
      for (int i = 0; i < length; ++i) a += alphabet[random() % sizeof(alphabet)];
      args.push_back(a);
    }
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    bool all = true;
    for (const std::string& a : args) all = all && RuleCarries(a);
    if (all) {
      ++carried;
      const TString line = JoinCommandLine(static_cast<int>(argv.size()), argv.data());
      EXPECT_EQ(ToStrings(SplitCommandLineText(line)), args) << line.ToNarrow(3);
    }
    // The process's arguments always arrive unchanged.
    EXPECT_EQ(ToStrings(SplitProcessArguments(static_cast<int>(argv.size()), argv.data())), args);
  }
  EXPECT_GT(carried, 1000);
}

TEST(CommandLineOptions, DefaultsAndFlags) {
  const TCommandLineOptions o(Arguments({"prog", "-v", "-W", "in.mxf"}));
  EXPECT_FALSE(o.HasParseError());
  EXPECT_EQ(o.mVerbose, 1);
  EXPECT_EQ(o.mReadOnly, 1);
  EXPECT_EQ(o.mHelpRequested, 0);
  EXPECT_EQ(o.mVersionRequested, 0);
  EXPECT_EQ(o.mStartFrame, 0);
  EXPECT_EQ(o.mFrameCount, -1);
  EXPECT_EQ(o.mCodecType, 0x61766331u);  // 'avc1'
  EXPECT_STREQ(o.mInputPath.ToNarrow(3), "in.mxf");
  EXPECT_STREQ(o.mOutputPrefix.ToNarrow(3), "in");
}

TEST(CommandLineOptions, OutputPrefix) {
  struct Case {
    Strings args;
    const char* prefix;
  };
  const Case cases[] = {
      {{"prog", "movie.mxf"}, "movie"},
      {{"prog", "/data/reel.v1/movie.mxf"}, "/data/reel.v1/movie"},
      {{"prog", "/data/reel.v1/movie"}, "/data/reel.v1/movie"},
      {{"prog", "a.b.c"}, "a.b"},
      {{"prog", ".hidden"}, ".hidden"},
      {{"prog", "in.mxf", "out.mov"}, "out.mov"},
      {{"prog", "in.mxf", "out", "third"}, "out"},
      {{"prog", "in.mxf", "-v", "out"}, "out"},
  };
  for (const Case& c : cases) {
    const TCommandLineOptions o(Arguments(c.args));
    EXPECT_FALSE(o.HasParseError()) << c.args[1];
    EXPECT_STREQ(o.mOutputPrefix.ToNarrow(3), c.prefix) << c.args[1];
  }
}

TEST(CommandLineOptions, HelpAndVersionLeaveTheErrorFlagSet) {
  const TCommandLineOptions help(Arguments({"prog", "-HeLp", "in.mxf"}));
  EXPECT_EQ(help.mHelpRequested, 1);
  EXPECT_TRUE(help.HasParseError());
  const TCommandLineOptions version(Arguments({"prog", "-V"}));
  EXPECT_EQ(version.mVersionRequested, 1);
  EXPECT_TRUE(version.HasParseError());
  const TCommandLineOptions none(Arguments({"prog"}));
  EXPECT_TRUE(none.HasParseError());
  const TCommandLineOptions stopped(Arguments({"prog", "in.mxf", "-q"}));
  EXPECT_TRUE(stopped.HasParseError());
  EXPECT_STREQ(stopped.mInputPath.ToNarrow(3), "in.mxf");
  EXPECT_TRUE(stopped.mOutputPrefix.IsEmpty());
}

}  // namespace
