#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/exceptions.h"
#include "tests/framework/framework_test_env.h"

namespace {

class Exceptions : public FrameworkTest {
 protected:
  static std::vector<std::pair<std::string, std::u16string>> sLines;
  void SetUp() override {
    sLines.clear();
    FrameworkHooks().writeLog = [](const char* category, const TString& text) {
      sLines.emplace_back(category, text.Text());
    };
  }
};
std::vector<std::pair<std::string, std::u16string>> Exceptions::sLines;

TEST_F(Exceptions, ConstructionLogsOnceCopiesDoNot) {
  TReadableException e(TString(u"File I/O Error"));
  ASSERT_EQ(sLines.size(), 1u);
  EXPECT_EQ(sLines[0].first, "Exception");
  EXPECT_EQ(sLines[0].second, u"File I/O Error");
  TReadableException copy(e);
  TReadableException assigned(TString(u"x"));
  assigned = e;
  EXPECT_EQ(sLines.size(), 2u);
  EXPECT_STREQ(copy.what(), "File I/O Error");
  EXPECT_STREQ(assigned.what(), "File I/O Error");
}

TEST_F(Exceptions, LoggingFailuresAreSwallowed) {
  FrameworkHooks().writeLog = [](const char*, const TString&) { throw 42; };
  try {
    throw TReadableException(TString(u"still thrown"));
  } catch (const TReadableException& e) {
    EXPECT_STREQ(e.what(), "still thrown");
  }
  FrameworkHooks().writeLog = nullptr;  // no log: nothing written, no failure
  TReadableException quiet(TString(u"quiet"));
  EXPECT_TRUE(sLines.empty());
}

TEST_F(Exceptions, WhatKeepsItsTextInTheException) {
  TReadableException e(TString(u"caf\u00e9 \U0001F600"));
  const char* text = e.what();
  EXPECT_STREQ(text, "caf\xC3\xA9 \xF0\x9F\x98\x80");
  // Conversions on this thread do not touch it.
  for (int i = 0; i < 8; ++i) TString(u"other text").ToNarrow(0);
  EXPECT_STREQ(text, "caf\xC3\xA9 \xF0\x9F\x98\x80");
  EXPECT_EQ(e.what(), text);
  TReadableException empty((TString()));
  EXPECT_STREQ(empty.what(), "");
}

TEST_F(Exceptions, OutOfMemoryCarriesTheSetText) {
  try {
    throw TOutOfMemoryException();
  } catch (const TReadableException& e) {
    EXPECT_STREQ(e.what(), "Out of Memory! Please try to free up some memory and try again.");
  }
  ASSERT_EQ(sLines.size(), 1u);
  EXPECT_EQ(sLines[0].second, u"Out of Memory! Please try to free up some memory and try again.");
  ClearOutOfMemoryText();
  TOutOfMemoryException late;
  EXPECT_TRUE(late.Message().IsEmpty());
  EXPECT_STREQ(late.what(), "");
  SetOutOfMemoryText();
}

}  // namespace
