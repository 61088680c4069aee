// A real picture track with damaged header metadata, run through the tool:
// the run stops (exit 1) with the error line and a line naming the file and
// the damage, before a movie is begun.  Exit 5 stays for tracks that are not
// JPEG 2000 pictures (cli_test.cpp).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "converter/run_report.h"
#include "tests/converter/tool_runner.h"
#include "tests/support/testdata.h"

namespace {

using convtest::RunTool;

const std::string kErrorHead = "\n\nERROR: Program stopped with:\n";

std::string Be32(std::uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
          static_cast<char>(v)};
}

struct Damage {
  const char* name;
  std::string errorLine;
  std::string cause;
};

TEST(DamagedTrack, StopsBeforeTheMovieAndNamesTheDamage) {
  REQUIRE_TESTDATA(track, "mxf/smpte_dci_2k_picture.mxf");
  const std::string whole = convtest::ReadFile(track);
  // The descriptor's StoredWidth and StoredHeight (local tags 3203, 3202),
  // the descriptor's key and the body partition pack.
  const std::size_t width = whole.find(std::string("\x32\x03\x00\x04", 4));
  const std::size_t height = whole.find(std::string("\x32\x02\x00\x04", 4));
  const std::size_t descriptor = whole.find("\x06\x0e\x2b\x34\x02\x53\x01\x01\x0d\x01\x01\x01\x01\x01\x29");
  const std::size_t body = whole.find("\x06\x0e\x2b\x34\x02\x05\x01\x01\x0d\x01\x02\x01\x01\x03");
  ASSERT_NE(width, std::string::npos);
  ASSERT_NE(height, std::string::npos);
  ASSERT_NE(descriptor, std::string::npos);
  ASSERT_NE(body, std::string::npos);
  ASSERT_EQ(whole.substr(height + 4, 4), Be32(1080));
  ASSERT_EQ(whole.substr(body + 16, 2), std::string("\x83\x00", 2));
  const std::size_t packSize =
      20 + (static_cast<unsigned char>(whole[body + 18]) << 8) + static_cast<unsigned char>(whole[body + 19]);

  const std::string format = "  FORMAT: The file format is not proper OP-Atom/AS-DCP.";
  const Damage damages[] = {
      {"stray partition pack", "  KLV_CODING: KLV coding error.",
       "the MXF file is damaged: an item of its partitions, metadata or index is malformed or out of place"},
      {"no width", format, "the track announces frames of 0 x 1080 pixels (a damaged descriptor)"},
      {"huge height", format,
       "the track announces frames of 1998 x 4294967295 pixels; a movie takes at most 16384 pixels a side"},
      {"wide", format,
       "the track announces frames of 16385 x 1080 pixels; a movie takes at most 16384 pixels a side"},
      {"large", format,
       "the track announces frames of 16384 x 16384 pixels; a movie takes at most 16384 x 16128 pixels in "
       "all"},
  };
  const convtest::ScopedTempFolder temp;
  for (const Damage& d : damages) {
    SCOPED_TRACE(d.name);
    std::string bytes = whole;
    const std::string name = d.name;
    if (name == "stray partition pack") bytes.replace(descriptor, packSize, whole.substr(body, packSize));
    if (name == "no width") bytes.replace(width + 4, 4, Be32(0));
    if (name == "huge height") bytes.replace(height + 4, 4, Be32(0xFFFFFFFFu));
    if (name == "wide") bytes.replace(width + 4, 4, Be32(16385));
    if (name == "large") bytes.replace(width + 4, 4, Be32(16384)).replace(height + 4, 4, Be32(16384));
    const std::string input = temp.Path() + "/input.mxf";
    convtest::WriteFile(input, bytes);
    const auto run = RunTool({input, temp.Path() + "/movie"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, kErrorHead + d.errorLine + "\n  File '" + input + "': " + d.cause + "\n");
    // Nothing but the input is in the folder: no movie was begun.
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(temp.Path())) ++files;
    EXPECT_EQ(files, 1u);
  }
}

TEST(DamagedTrack, PictureSizesAMovieTakes) {
  // The movie's encoder takes frames up to 16384 pixels a side and, with odd
  // sides padded to even ones, 16384 x 16128 pixels in all.
  struct Size {
    std::uint32_t width, height;
    bool takes;
  };
  const Size sizes[] = {{1, 1, true},          {1998, 1080, true},     {16384, 16128, true},
                        {16128, 16384, true},  {16383, 16127, true},   {16384, 16129, false},
                        {16383, 16129, false}, {16256, 16256, false},  {0, 1080, false},
                        {16385, 1, false},     {1, 0xFFFFFFFFu, false}};
  for (const Size& s : sizes)
    EXPECT_EQ(PictureSizeCause(s.width, s.height).empty(), s.takes) << s.width << " x " << s.height;
}

}  // namespace
