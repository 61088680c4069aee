// Result records and frame buffers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "mxf/AS_DCP.h"

namespace {

TEST(ResultTest, RecordsCarryValueLabelAndSymbol) {
  const Kumu::Result_t r(-1, "ImageDecoder", "Failed to read JPEG data");
  EXPECT_EQ(r.Value(), -1);
  EXPECT_STREQ(r.Symbol(), "ImageDecoder");
  EXPECT_STREQ(r.Label(), "Failed to read JPEG data");
  EXPECT_TRUE(r.Failure());
  EXPECT_FALSE(r.Success());
  // Records compare by value only.
  EXPECT_TRUE(r == Kumu::RESULT_FAIL);
  EXPECT_EQ(static_cast<int>(ASDCP::RESULT_RANGE), -104);
  EXPECT_STREQ(static_cast<const char*>(ASDCP::RESULT_RANGE), "Frame number out of range.");
  EXPECT_TRUE(ASDCP_SUCCESS(Kumu::RESULT_FALSE));
  EXPECT_TRUE(ASDCP_SUCCESS(0));
  EXPECT_TRUE(ASDCP_FAILURE(ASDCP::RESULT_SMALLBUF));
  EXPECT_TRUE(KM_FAILURE(-20));
}

TEST(ResultTest, KnownCodesKeepTheirValuesAndTexts) {
  struct Expect {
    int value;
    const char* symbol;
    const char* label;
  };
  const Expect table[] = {
      {1, "FALSE", "Successful but not true."},
      {0, "OK", "Success."},
      {-4, "ALLOC", "Error allocating memory."},
      {-7, "SMALLBUF", "The given buffer is too small."},
      {-8, "INIT", "The object is not yet initialized."},
      {-13, "FILEOPEN", "File open failure."},
      {-14, "BADSEEK", "An invalid file location was requested."},
      {-15, "READFAIL", "File read error."},
      {-17, "ENDOFFILE", "Attempt to read past end of file."},
      {-101, "FORMAT", "The file format is not proper OP-Atom/AS-DCP."},
      {-104, "RANGE", "Frame number out of range."},
      {-105, "CRYPT_CTX", "AESEncContext required when writing to encrypted file."},
      {-113, "KLV_CODING", "KLV coding error."},
      {-115, "SFORMAT", "Rate mismatch, file may contain stereoscopic essence."},
  };
  for (const Expect& e : table) {
    const Kumu::Result_t& r = Kumu::Result_t::Find(e.value);
    EXPECT_EQ(r.Value(), e.value);
    EXPECT_STREQ(r.Symbol(), e.symbol);
    EXPECT_STREQ(r.Label(), e.label);
  }
  EXPECT_STREQ(Kumu::Result_t::Find(-9999).Symbol(), "UNKNOWN");
}

TEST(ResultTest, RecordsCopyAcrossThreads) {
  Kumu::Result_t shared = Kumu::RESULT_FALSE;
  std::thread t([&] { shared = Kumu::Result_t(-1, "ConvertColors", "conversion failed"); });
  t.join();
  const Kumu::Result_t copy = shared;
  EXPECT_EQ(copy.Value(), -1);
  EXPECT_STREQ(copy.Symbol(), "ConvertColors");
}

TEST(VersionTest, ThreeNumbers) {
  const std::string v = ASDCP::Version();
  int dots = 0;
  for (char c : v) {
    if (c == '.')
      ++dots;
    else
      EXPECT_TRUE(c >= '0' && c <= '9') << v;
  }
  EXPECT_EQ(dots, 2) << v;
}

TEST(FrameBufferTest, CapacityGrowsOnlyAndResetsSize) {
  ASDCP::JP2K::FrameBuffer fb;
  EXPECT_EQ(fb.Capacity(), 0u);
  EXPECT_EQ(fb.RoData(), nullptr);
  ASSERT_TRUE(fb.Capacity(1302083).Success());
  EXPECT_EQ(fb.Capacity(), 1302083u);
  ASSERT_NE(fb.Data(), nullptr);
  EXPECT_TRUE(fb.Size(1000).Success());
  const ASDCP::byte_t* block = fb.RoData();
  // Asking for less keeps the block and the size.
  EXPECT_TRUE(fb.Capacity(10).Success());
  EXPECT_EQ(fb.RoData(), block);
  EXPECT_EQ(fb.Size(), 1000u);
  EXPECT_EQ(fb.Size(2000000), ASDCP::RESULT_SMALLBUF);
  // Asking for more replaces it and empties it.
  EXPECT_TRUE(fb.Capacity(2000000).Success());
  EXPECT_EQ(fb.Capacity(), 2000000u);
  EXPECT_EQ(fb.Size(), 0u);
}

TEST(FrameBufferTest, ExternalMemoryCannotGrow) {
  std::vector<ASDCP::byte_t> mem(64);
  ASDCP::FrameBuffer fb;
  ASSERT_TRUE(fb.SetData(mem.data(), 64).Success());
  EXPECT_EQ(fb.Capacity(), 64u);
  EXPECT_EQ(fb.Capacity(128), ASDCP::RESULT_CAPEXTMEM);
  EXPECT_EQ(fb.Data(), mem.data());
}

}  // namespace
