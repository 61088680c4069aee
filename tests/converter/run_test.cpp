// The conversion run: the progress line, the frame range and thread count,
// then whole conversions by the tool as a child process: real picture
// tracks checked with ffprobe and against an independent conversion, track
// files made for the test (rates, a damaged frame in the middle, a frame of
// the wrong size, frames larger than the least buffer), unwritable
// destinations and a full disk, the read-only run, the line that names the
// file and cause of a failure, and the movie that replaces an earlier one
// only when it holds frames.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "converter/command_line.h"
#include "converter/conversion_run.h"
#include "converter/framework_bridge.h"
#include "mxf/AS_DCP.h"
#include "mxf/writer.h"
#include "tests/converter/reference_conversion.h"
#include "tests/converter/tool_runner.h"
#include "tests/platform/quicktime/media_tools.h"
#include "tests/support/testdata.h"

namespace {

using convtest::RunTool;
using Frames = std::vector<std::vector<std::uint8_t>>;

const std::string kErrorHead = "\n\nERROR: Program stopped with:\n";

std::string Progress(std::uint32_t frame, std::uint32_t start, std::uint32_t end, float ms) {
  char line[4096];
  EXPECT_GE(FormatProgressLine(line, sizeof(line), frame, start, end, ms), 0);
  return line;
}

TEST(ProgressLine, NoEstimateWithinTheFirstFiveFrames) {
  EXPECT_EQ(Progress(0, 0, 24, 0.0f), "\rProcessing frame 0/24");
  EXPECT_EQ(Progress(4, 0, 24, 900.0f), "\rProcessing frame 4/24");
  EXPECT_EQ(Progress(104, 100, 124, 900.0f), "\rProcessing frame 104/124");
}

TEST(ProgressLine, EstimateAndRate) {
  const std::string blanks(12, ' ');
  // 8 frames in 1 s: 16 left take 2 s.
  EXPECT_EQ(Progress(8, 0, 24, 1000.0f), "\rProcessing frame 8/24 - ETA 00:00:02 (8.0 FPS)" + blanks);
  EXPECT_EQ(Progress(5, 0, 24, 2500.0f), "\rProcessing frame 5/24 - ETA 00:00:09 (2.0 FPS)" + blanks);
  // 49,995 s left: 13 h 53 min 15 s.
  EXPECT_EQ(Progress(10, 0, 100000, 5000.0f),
            "\rProcessing frame 10/100000 - ETA 13:53:15 (2.0 FPS)" + blanks);
  EXPECT_EQ(Progress(108, 100, 140, 400.0f), "\rProcessing frame 108/140 - ETA 00:00:01 (20.0 FPS)" + blanks);
}

TEST(FrameRange, EndSaturatesAndStaysWithinTheFile) {
  EXPECT_EQ(FrameRangeEnd(0, 0xFFFFFFFFu, 24), 24u);   // the default count: the whole file
  EXPECT_EQ(FrameRangeEnd(10, 0xFFFFFFFFu, 24), 24u);  // would wrap to 9 in 32 bits
  EXPECT_EQ(FrameRangeEnd(0, 0, 24), 24u);
  EXPECT_EQ(FrameRangeEnd(5, 3, 24), 8u);
  EXPECT_EQ(FrameRangeEnd(30, 5, 24), 24u);  // start beyond the end: an empty range
  EXPECT_EQ(FrameRangeEnd(0xFFFFFFF0u, 0x20, 0xFFFFFFFFu), 0xFFFFFFFFu);
}

TEST(DecoderThreads, OneToEight) {
  EXPECT_EQ(DecoderThreadCount(-3), 1u);
  EXPECT_EQ(DecoderThreadCount(0), 1u);
  EXPECT_EQ(DecoderThreadCount(1), 1u);
  EXPECT_EQ(DecoderThreadCount(5), 5u);
  EXPECT_EQ(DecoderThreadCount(8), 8u);
  EXPECT_EQ(DecoderThreadCount(64), 8u);
}

// --- whole conversions -------------------------------------------------------

// The progress lines of a run's standard output, each checked for its form:
// the frame numbers, whether each carried an estimate, and what follows the
// last line.  False when a line is malformed.
struct ProgressLines {
  std::vector<std::uint32_t> frames;
  std::vector<bool> estimates;
  std::string tail;
};

bool ParseProgress(const std::string& out, std::uint32_t end, ProgressLines& lines) {
  if (out.empty() || out[0] != '\r') return false;
  std::size_t at = 1;
  while (true) {
    const std::size_t next = out.find('\r', at);
    std::string line = out.substr(at, next == std::string::npos ? std::string::npos : next - at);
    if (next == std::string::npos) {
      const std::size_t newline = line.find('\n');
      lines.tail = newline == std::string::npos ? "" : line.substr(newline);
      line = line.substr(0, newline);
    }
    unsigned frame = 0, last = 0, h = 0, m = 0, sec = 0;
    float fps = 0;
    int used = 0;
    if (std::sscanf(line.c_str(), "Processing frame %u/%u%n", &frame, &last, &used) != 2 || last != end)
      return false;
    if (static_cast<std::size_t>(used) == line.size()) {
      lines.estimates.push_back(false);
    } else {
      char rest[64] = {0};
      if (std::sscanf(line.c_str() + used, " - ETA %2u:%2u:%2u (%f FPS)%63[ ]", &h, &m, &sec, &fps, rest) !=
              5 ||
          std::string(rest) != std::string(12, ' ') || line.find(" FPS)") == std::string::npos ||
          line.substr(used, 7) != " - ETA " || line[used + 9] != ':' || line[used + 12] != ':') {
        return false;
      }
      lines.estimates.push_back(true);
    }
    lines.frames.push_back(frame);
    if (next == std::string::npos) return true;
    at = next + 1;
  }
}

class ConversionTest : public ::testing::Test {
 protected:
  void SetUp() override { folder_ = convtest::TempFolder(); }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  std::string Path(const std::string& name) const { return folder_ + "/" + name; }

  // The names in the test's folder, to see that a run leaves no file behind
  // but its movie.
  std::set<std::string> Names() const {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder_))
      names.insert(entry.path().filename());
    return names;
  }

  // The codestreams of the small real SMPTE picture track, read with the
  // project's reader.
  static Frames SmallFrames() {
    Frames frames;
    const std::string path = testDataPath("mxf/smpte_dci_2k_picture.mxf");
    if (path.empty()) return frames;
    ASDCP::JP2K::MXFReader reader;
    if (reader.OpenRead(path.c_str()).Failure()) return frames;
    ASDCP::JP2K::FrameBuffer buffer(1302083);
    for (std::uint32_t i = 0;; ++i) {
      if (reader.ReadFrame(i, buffer).Failure()) break;
      frames.emplace_back(buffer.RoData(), buffer.RoData() + buffer.Size());
    }
    return frames;
  }

  std::string Wrap(const std::string& name, const Frames& frames, ASDCP::Rational rate = {24, 1},
                   bool index = true) {
    mxfwrite::TrackFileOptions options;
    options.edit_rate = rate;
    options.write_index = index;
    const std::string path = Path(name);
    EXPECT_TRUE(mxfwrite::WriteJpeg2000TrackFile(path.c_str(), frames, options).Success());
    return path;
  }

  std::string folder_;
};

TEST_F(ConversionTest, RealPictureTrackMatchesAnIndependentConversion) {
  REQUIRE_TESTDATA(track, "mxf/smpte_dci_2k_picture.mxf");
  const auto run = RunTool({"-v", track, Path("real")});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.err, "");
  const std::string head =
      "Opening input mxf file: '" + track +
      "'\n"
      "MXF file info: AspectRatio: 1998/1080, EditRate: 24/1, SampleRate: 24/1, StoredWidth: 1998, "
      "StoredHeight: 1080, ContainerDuration: 24\n"
      "MXF file info: JPEG 2000 Metadata (bits h-sep v-sep): 12,1,1 12,1,1 12,1,1 \n"
      "MXF file info: Scod: 1, ProgressionOrder: 4, NumberOfLayers: 1, MultiCompTransform: 1, "
      "DecompositionLevels: 5, CodeblockWidth: 3, CodeblockHeight: 3, CodeblockStyle: 0, Transformation: 0\n"
      "Initializing QuickTime...\n"
      "Running QuickTime Version: 7100000\n"
      "Opening file '" +
      Path("real.mov") +
      "' for writing...\n"
      "Compressing with codec 'H.264', framerate: 24...\n";
  ASSERT_EQ(run.out.substr(0, head.size()), head);
  // One progress line per batch of as many frames as there are decoder
  // threads, the estimate from the sixth frame on, then "Done".
  const std::uint32_t n = DecoderThreadCount(ConverterNumberOfProcessors());
  ProgressLines lines;
  ASSERT_TRUE(ParseProgress(run.out.substr(head.size()), 24, lines)) << run.out.substr(head.size());
  std::vector<std::uint32_t> frames;
  std::vector<bool> estimates;
  for (std::uint32_t frame = 0; frame < 24; frame += n) {
    frames.push_back(frame);
    estimates.push_back(frame > 4);
  }
  EXPECT_EQ(lines.frames, frames);
  EXPECT_EQ(lines.estimates, estimates);
  EXPECT_EQ(lines.tail, "\nDone\n");

  const std::string movie = Path("real.mov");
  auto p = qttest::Probe(movie);
  EXPECT_EQ(p["codec_name"], "h264");
  EXPECT_EQ(p["codec_tag_string"], "avc1");
  EXPECT_EQ(p["width"], "1998");
  EXPECT_EQ(p["height"], "1080");
  EXPECT_EQ(p["nb_read_frames"], "24");
  EXPECT_EQ(p["r_frame_rate"], "24/1");
  EXPECT_EQ(p["time_base"], "1/2400");

  // Every frame decoded back against the independent conversion of the same
  // codestream (ffmpeg extracts it, opj_decompress decodes it).
  const auto codestreams = convtest::ExtractCodestreams(track, folder_);
  ASSERT_EQ(codestreams.size(), 24u);
  int decoded = 0;
  const std::vector<std::uint8_t> rgb = qttest::DecodeRgb(movie, 1998, 1080, &decoded);
  ASSERT_EQ(decoded, 24);
  const std::size_t frameBytes = std::size_t{1998} * 1080 * 3;
  double worst = 1e9;
  for (int i = 0; i < 24; i += 5) {
    convtest::ReferenceFrame reference;
    if (!convtest::IndependentConversion(codestreams[i], reference))
      GTEST_SKIP() << "opj_decompress is not available";
    const double psnr =
        qttest::Psnr(reference.rgb.data(), 1998 * 3, rgb.data() + i * frameBytes, 1998 * 3, 1998, 1080);
    worst = std::min(worst, psnr);
    EXPECT_GT(psnr, 35.0) << "frame " << i;
  }
  RecordProperty("worst_psnr", std::to_string(worst));
}

TEST_F(ConversionTest, DetailedCinemaFramesMatchAnIndependentConversion) {
  // The real track's frames are plain; these two are full 2K pictures.
  REQUIRE_TESTDATA(codestream, "cinema/X_4_2K_24_185_CBR_WB_000.j2k");
  convtest::ReferenceFrame reference;
  if (!convtest::IndependentConversion(codestream, reference))
    GTEST_SKIP() << "opj_decompress is not available";
  const Frames frames(2, convtest::ReadBytes(codestream));
  const auto run = RunTool({Wrap("detailed.mxf", frames), Path("detailed")});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  int decoded = 0;
  const std::vector<std::uint8_t> rgb = qttest::DecodeRgb(Path("detailed.mov"), 1998, 1080, &decoded);
  ASSERT_EQ(decoded, 2);
  for (int i = 0; i < 2; ++i) {
    const double psnr = qttest::Psnr(reference.rgb.data(), 1998 * 3,
                                     rgb.data() + std::size_t(i) * 1998 * 1080 * 3, 1998 * 3, 1998, 1080);
    // H.264 at the writer's quality with 4:2:0 chroma gives about 35.3 dB here.
    EXPECT_GT(psnr, 33.0) << "frame " << i;
    RecordProperty("psnr" + std::to_string(i), std::to_string(psnr));
  }
}

TEST_F(ConversionTest, InteropTrackAndDefaultPrefix) {
  REQUIRE_TESTDATA(track, "mxf/interop_dci_2k_picture.mxf");
  // Without a prefix the input path without its extension is the prefix.
  const std::string input = Path("reel.one.mxf");
  ASSERT_EQ(symlink(track.c_str(), input.c_str()), 0);
  const auto run = RunTool({input});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out.substr(run.out.size() - 6), "\nDone\n");
  EXPECT_EQ(qttest::Probe(Path("reel.one.mov"))["nb_read_frames"], "24");
  // ".mov" is always appended.
  const auto second = RunTool({input, Path("out.mov")});
  ASSERT_EQ(second.exitCode, 0);
  EXPECT_TRUE(std::filesystem::exists(Path("out.mov.mov")));
}

TEST_F(ConversionTest, EightBitTrackConverts) {
  // 8-bit components scale by 255 instead of 4095.
  REQUIRE_TESTDATA(track, "mxf/smpte_rgb8_picture.mxf");
  const auto run = RunTool({"-v", track, Path("rgb8")});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("MXF file info: JPEG 2000 Metadata (bits h-sep v-sep): 8,1,1 8,1,1 8,1,1 \n"),
            std::string::npos);
  EXPECT_EQ(qttest::Probe(Path("rgb8.mov"))["nb_read_frames"], "24");
}

TEST_F(ConversionTest, FrameRatesOfTheTrack) {
  Frames frames = SmallFrames();
  if (frames.empty()) GTEST_SKIP() << "test data absent";
  frames.resize(2);
  // The movie's rate, and the note a run prints (with -W too) when it is not
  // the track's.  23.976 has the time scale 2398.
  const struct {
    ASDCP::Rational rate;
    const char* note;
    const char* movieRate;
  } cases[] = {
      {{24000, 1001}, "", "1199/50"},
      {{60000, 1001}, "", "2997/50"},
      {{48, 1}, "NOTE: Invalid frame format. assuming 24FPS.\n", "24/1"},
      {{96, 1}, "NOTE: Unsupported frame rate 96 FPS. assuming 60FPS.\n", "60/1"},
      {{100, 1}, "NOTE: Unsupported frame rate 100 FPS. assuming 60FPS.\n", "60/1"},
      {{120000, 1001}, "NOTE: Unsupported frame rate 119.88 FPS. assuming 60FPS.\n", "60/1"},
      {{49, 2}, "NOTE: Unsupported frame rate 24.5 FPS. assuming 24FPS.\n", "24/1"},
      {{59, 1}, "NOTE: Unsupported frame rate 59 FPS. assuming 59.94FPS.\n", "2997/50"},
  };
  for (const auto& c : cases) {
    const std::string name = std::to_string(c.rate.Numerator) + "_" + std::to_string(c.rate.Denominator);
    const std::string track = Wrap(name + ".mxf", frames, c.rate);
    const auto run = RunTool({track, Path(name)});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, c.note) << name;
    EXPECT_EQ(RunTool({"-W", track, Path(name)}).err, c.note) << name << " -W";
    auto p = qttest::Probe(Path(name + ".mov"));
    EXPECT_EQ(p["r_frame_rate"], c.movieRate) << name;
    EXPECT_EQ(p["nb_read_frames"], "2") << name;
  }
  EXPECT_EQ(qttest::Probe(Path("24000_1001.mov"))["time_base"], "1/2398");
}

TEST_F(ConversionTest, OneAndEightDecoderThreads) {
  Frames frames = SmallFrames();
  if (frames.empty()) GTEST_SKIP() << "test data absent";
  frames.resize(10);
  const std::string track = Wrap("ten.mxf", frames);
  int status = 0;
  // One processor: one frame per batch, the estimate from the sixth frame on.
  const std::string one =
      qttest::Shell("taskset -c 0 " + qttest::Quote(DCP2MOV_PATH) + " " + qttest::Quote(track) + " " +
                        qttest::Quote(Path("one")) + " 2>/dev/null",
                    &status);
  ASSERT_EQ(status, 0);
  ProgressLines lines;
  ASSERT_TRUE(ParseProgress(one, 10, lines)) << one;
  EXPECT_EQ(lines.frames, (std::vector<std::uint32_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
  EXPECT_EQ(lines.estimates,
            (std::vector<bool>{false, false, false, false, false, true, true, true, true, true}));
  EXPECT_EQ(lines.tail, "\nDone\n");
  if (ConverterNumberOfProcessors() >= 8) {
    const auto eight = RunTool({track, Path("eight")});
    ASSERT_EQ(eight.exitCode, 0);
    ProgressLines batches;
    ASSERT_TRUE(ParseProgress(eight.out, 10, batches)) << eight.out;
    EXPECT_EQ(batches.frames, (std::vector<std::uint32_t>{0, 8}));
    EXPECT_EQ(batches.estimates, (std::vector<bool>{false, true}));
    EXPECT_EQ(batches.tail, "\nDone\n");
  }
  EXPECT_EQ(qttest::Probe(Path("one.mov"))["nb_read_frames"], "10");
}

TEST_F(ConversionTest, DamagedFrameInTheMiddleStopsTheRunAndKeepsTheMovie) {
  Frames frames = SmallFrames();
  if (frames.empty()) GTEST_SKIP() << "test data absent";
  const std::uint32_t n = DecoderThreadCount(ConverterNumberOfProcessors());
  frames.resize(std::min<std::size_t>(frames.size(), 3 * n));
  while (frames.size() < 3 * n) frames.push_back(frames[frames.size() % 24]);
  // The second frame of the third batch is no codestream at all.
  std::vector<std::uint8_t>& bad = frames[2 * n + (n > 1 ? 1 : 0)];
  for (std::size_t i = 0; i < bad.size(); ++i) bad[i] = static_cast<std::uint8_t>(i * 131 + 7);
  const std::string track = Wrap("damaged.mxf", frames);
  std::set<std::string> names = Names();
  const auto run = RunTool({track, Path("damaged")});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err, kErrorHead + "  ImageDecoder: Failed to read JPEG header (not a JPEG image?)\n  File '" +
                         Path("damaged.mxf") + "', frame " + std::to_string(2 * n + (n > 1 ? 1 : 0)) +
                         ": the codestream is damaged (Codec::JPEG2000Decoder::Except_SOCNotFound)\n");
  EXPECT_EQ(run.out.find("Done"), std::string::npos);
  names.insert("damaged.mov");
  EXPECT_EQ(Names(), names);
  // The frames before it are in a movie that plays.
  const std::uint32_t kept = 2 * n + (n > 1 ? 1 : 0);
  auto p = qttest::Probe(Path("damaged.mov"));
  EXPECT_EQ(p["codec_name"], "h264");
  EXPECT_EQ(p["nb_read_frames"], std::to_string(kept));
  int decoded = 0;
  qttest::DecodeRgb(Path("damaged.mov"), 1998, 1080, &decoded);
  EXPECT_EQ(decoded, static_cast<int>(kept));
}

TEST_F(ConversionTest, FrameOfTheWrongSize) {
  Frames frames = SmallFrames();
  REQUIRE_TESTDATA(odd, "cinema/profile-cinema2k.j2c");
  if (frames.empty()) GTEST_SKIP() << "test data absent";
  frames.resize(3);
  frames.push_back(convtest::ReadBytes(odd));  // 793 x 1080 in a 1998 x 1080 track
  const auto run = RunTool({Wrap("mixed.mxf", frames), Path("mixed")});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err, kErrorHead + "  ImageDecoder: Unexpected frame width/height of decoded frame\n  File '" +
                         Path("mixed.mxf") +
                         "', frame 3: the frame is 793 x 1080 pixels, the track's frames are "
                         "1998 x 1080\n");
  EXPECT_EQ(run.out.find("Done"), std::string::npos);
}

TEST_F(ConversionTest, SubsampledComponentsAreRefused) {
  // 4:2:2 components: refused before any sample is read.
  REQUIRE_TESTDATA(track, "mxf/op1a_jpeg2000_422_10bit.mxf");
  const auto run = RunTool({track, Path("sub")});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err, kErrorHead + "  ImageDecoder: Unexpected frame width/height of decoded frame\n  File '" +
                         track +
                         "', frame 0: the frame's components are subsampled; only full-resolution components "
                         "convert\n");
}

TEST_F(ConversionTest, UnwritableDestination) {
  REQUIRE_TESTDATA(track, "mxf/smpte_dci_2k_picture.mxf");
  // A folder that does not exist, a "folder" that is a file, and a folder
  // where the movie should be: refused before the first frame, and nothing
  // is left behind.
  convtest::WriteFile(Path("file"), "not a folder");
  std::filesystem::create_directory(Path("folder.mov"));
  const std::set<std::string> names = Names();
  const struct {
    std::string prefix;
    const char* cause;
  } cases[] = {{"/nonexistent/folder/movie", "No such file or directory"},
               {Path("file/movie"), "Not a directory"},
               {Path("folder"), "Is a directory"}};
  for (const auto& c : cases) {
    const auto run = RunTool({track, c.prefix});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, kErrorHead + "  QuickTimeVideoFile: Failed to create a new movie\n  File '" +
                           c.prefix + ".mov': " + c.cause + "\n");
    EXPECT_EQ(Names(), names);
  }
}

TEST_F(ConversionTest, FullDiskGivesNoDone) {
  REQUIRE_TESTDATA(track, "mxf/smpte_dci_2k_picture.mxf");
  // A file-size limit stands in for a full disk: writes beyond it fail.  The
  // limit (in 512-byte blocks) is set once far below the movie's size, where
  // the frames do not fit, and once just below it, where only the saving of
  // the movie's index fails.
  ASSERT_EQ(RunTool({track, Path("unlimited")}).exitCode, 0);
  const auto size = std::filesystem::file_size(Path("unlimited.mov"));
  const struct {
    std::uintmax_t blocks;
    const char* error;  // null: any of the writer's
  } limits[] = {{1, nullptr}, {(size - 1) / 512, "Failed to save the movie file"}};
  for (const auto& limit : limits) {
    int status = 0;
    const std::string out =
        qttest::Shell("sh -c " +
                          qttest::Quote("trap '' XFSZ; ulimit -f " + std::to_string(limit.blocks) +
                                        "; exec " + qttest::Quote(DCP2MOV_PATH) + " " + qttest::Quote(track) +
                                        " " + qttest::Quote(Path("full"))) +
                          " 2>&1",
                      &status);
    EXPECT_EQ(status, 1) << out;
    EXPECT_EQ(out.find("Done"), std::string::npos) << out;
    const std::string head = kErrorHead + "  QuickTimeVideoFile: ";
    EXPECT_NE(out.find(limit.error ? head + limit.error + "\n" : head), std::string::npos) << out;
    // The cause carries the system's own words for the failed write.
    EXPECT_NE(out.find(": the movie could not be written: File too large\n"), std::string::npos) << out;
  }
}

// The frame range is not on the command line; the run itself takes it.
TEST_F(ConversionTest, FrameRangeOfTheRun) {
  REQUIRE_TESTDATA(track, "mxf/smpte_dci_2k_picture.mxf");
  TStringArray arguments;
  arguments.Append(TString(u"dcp2mov"));
  arguments.Append(TString::FromNarrow(track.c_str(), 3));
  arguments.Append(TString::FromNarrow(Path("range").c_str(), 3));
  TCommandLineOptions options(arguments);
  ASSERT_FALSE(options.HasParseError());
  // Frames 5, 6, 7.
  options.mStartFrame = 5;
  options.mFrameCount = 3;
  testing::internal::CaptureStdout();
  Kumu::Result_t result = ConvertTrackFile(options);
  std::string out = testing::internal::GetCapturedStdout();
  ASSERT_EQ(result.Value(), 0) << result.Label();
  EXPECT_EQ(out.substr(0, 21), "\rProcessing frame 5/8");
  EXPECT_EQ(out.substr(out.size() - 6), "\nDone\n");
  EXPECT_EQ(qttest::Probe(Path("range.mov"))["nb_read_frames"], "3");
  // A start beyond the file: no progress line, an empty movie, "Done".
  options.mStartFrame = 30;
  options.mFrameCount = -1;
  options.mOutputPrefix = TString::FromNarrow(Path("none").c_str(), 3);
  testing::internal::CaptureStdout();
  result = ConvertTrackFile(options);
  out = testing::internal::GetCapturedStdout();
  ASSERT_EQ(result.Value(), 0) << result.Label();
  EXPECT_EQ(out, "\nDone\n");
  EXPECT_TRUE(std::filesystem::exists(Path("none.mov")));
  EXPECT_EQ(qttest::Probe(Path("none.mov"))["format.TAG:major_brand"], "qt  ");
}

// A small codestream of `components` 8-bit components made by opj_compress
// (or a JP2 file when `name` ends in .jp2); empty when that tool is missing.
std::vector<std::uint8_t> MakeCodestream(const std::string& folder, const std::string& name, int components,
                                         int width = 64) {
  std::string pixels;
  for (int i = 0; i < width * 32 * components; ++i) pixels += static_cast<char>((i * 7) & 0xFF);
  convtest::WriteFile(folder + "/in.raw", pixels);
  int status = 0;
  qttest::Shell("opj_compress -i " + qttest::Quote(folder + "/in.raw") + " -F " + std::to_string(width) +
                    ",32," + std::to_string(components) + ",8,u -o " + qttest::Quote(folder + "/" + name) +
                    " >/dev/null 2>&1",
                &status);
  return status == 0 ? convtest::ReadBytes(folder + "/" + name) : std::vector<std::uint8_t>();
}

TEST_F(ConversionTest, OnlyThreeComponentFramesConvert) {
  const std::string countError =
      kErrorHead +
      "  ImageDecoder: Unexpected number of color channels in JPEG. Expected 3, found 1 (gray scale?)\n";
  for (int components : {1, 2, 4}) {
    const Frames frames{MakeCodestream(folder_, "c.j2c", components)};
    if (frames[0].empty()) GTEST_SKIP() << "opj_compress is not available";
    const auto run = RunTool({"-v", Wrap("c.mxf", frames), Path("c")});
    EXPECT_EQ(run.exitCode, 1) << components;
    EXPECT_EQ(run.err, countError + "  File '" + Path("c.mxf") + "', frame 0: the frame has " +
                           std::to_string(components) + " components, a colour picture has 3\n")
        << components;
    // The verbose line lists the components the descriptor describes (at
    // most three), never more.
    std::string listed;
    for (int c = 0; c < std::min(components, 3); ++c) listed += "8,1,1 ";
    EXPECT_NE(run.out.find("(bits h-sep v-sep): " + listed + "\n"), std::string::npos) << run.out;
  }
  // Three components of the same codestream family convert.
  const Frames three{MakeCodestream(folder_, "c.j2c", 3)};
  const auto run = RunTool({Wrap("c3.mxf", three), Path("c3")});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(qttest::Probe(Path("c3.mov"))["width"], "64");
}

TEST_F(ConversionTest, JP2FramesGoToTheJP2Decoder) {
  // Frames carrying the JP2 signature decode through the JP2 file decoder:
  // the same picture as a raw codestream and as a JP2 file converts alike.
  const std::vector<std::uint8_t> raw = MakeCodestream(folder_, "c.j2c", 3);
  const std::vector<std::uint8_t> jp2 = MakeCodestream(folder_, "c.jp2", 3);
  if (raw.empty() || jp2.empty()) GTEST_SKIP() << "opj_compress is not available";
  ASSERT_EQ(std::string(jp2.begin() + 4, jp2.begin() + 8), "jP  ");
  const auto run = RunTool({Wrap("jp2.mxf", Frames{raw, jp2, jp2}), Path("jp2")});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  int decoded = 0;
  const std::vector<std::uint8_t> rgb = qttest::DecodeRgb(Path("jp2.mov"), 64, 32, &decoded);
  ASSERT_EQ(decoded, 3);
  const std::size_t frame = 64 * 32 * 3;
  EXPECT_GT(qttest::Psnr(rgb.data(), 64 * 3, rgb.data() + frame, 64 * 3, 64, 32), 40.0);
  // A JP2 file whose codestream box is damaged fails like a damaged codestream.
  std::vector<std::uint8_t> damaged = jp2;
  damaged.resize(60);
  const auto bad = RunTool({Wrap("jp2bad.mxf", Frames{raw, damaged}), Path("jp2bad")});
  EXPECT_EQ(bad.exitCode, 1);
  EXPECT_EQ(bad.err.find(kErrorHead + "  ImageDecoder: "), 0u) << bad.err;
}

// --- frames larger than the least buffer, -W, the cause line, empty movies --

std::uint32_t Be16(const std::vector<std::uint8_t>& b, std::size_t at) { return (b[at] << 8) | b[at + 1]; }

// The codestream grown to exactly `size` bytes by comment segments (at most
// 65,537 bytes each) after its SIZ segment; the picture stays the same.
std::vector<std::uint8_t> PadWithComments(std::vector<std::uint8_t> codestream, std::size_t size) {
  const std::size_t at = 4 + Be16(codestream, 4);  // after SOC and SIZ
  std::size_t extra = size - codestream.size();
  std::vector<std::uint8_t> segments;
  while (extra > 0) {
    const std::size_t total = extra > 65537 ? std::min<std::size_t>(65537, extra - 6) : extra;
    const std::size_t length = total - 2;  // Lcom counts itself, Rcom and the text
    segments.insert(segments.end(), {0xFF, 0x64, std::uint8_t(length >> 8), std::uint8_t(length), 0, 1});
    segments.resize(segments.size() + total - 6, 'x');
    extra -= total;
  }
  codestream.insert(codestream.begin() + static_cast<std::ptrdiff_t>(at), segments.begin(), segments.end());
  return codestream;
}

// The codestream with the COD segment's code-block style announcing
// high-throughput code-blocks.
std::vector<std::uint8_t> WithHighThroughputStyle(std::vector<std::uint8_t> codestream) {
  for (std::size_t at = 2; at + 4 <= codestream.size(); at += 2 + Be16(codestream, at + 2)) {
    if (Be16(codestream, at) == 0xFF52) {
      codestream[at + 12] |= 0x40;  // marker, Lcod, Scod, SGcod (4), levels, width, height, then the style
      return codestream;
    }
  }
  ADD_FAILURE() << "no COD segment";
  return codestream;
}

class LargeFrames : public ConversionTest, public ::testing::WithParamInterface<bool> {};

TEST_P(LargeFrames, ConvertWithAndWithoutAnIndex) {
  // Without an index the buffers start at their least size and grow.
  const std::vector<std::uint8_t> small = MakeCodestream(folder_, "c.j2c", 3);
  if (small.empty()) GTEST_SKIP() << "opj_compress is not available";
  const Frames frames{small, PadWithComments(small, 1302084), PadWithComments(small, 1302095),
                      PadWithComments(small, 4000000)};
  ASSERT_EQ(frames[3].size(), 4000000u);
  const std::string track = Wrap("large.mxf", frames, {24, 1}, GetParam());
  const auto run = RunTool({track, Path("large")});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.err, "");
  int decoded = 0;
  const std::vector<std::uint8_t> rgb = qttest::DecodeRgb(Path("large.mov"), 64, 32, &decoded);
  ASSERT_EQ(decoded, 4);
  EXPECT_GT(qttest::Psnr(rgb.data(), 64 * 3, rgb.data() + 3 * 64 * 32 * 3, 64 * 3, 64, 32), 40.0);

  // A frame beyond the bound is refused, and the cause says so.
  ASDCP::JP2K::MXFReader reader;
  ASSERT_EQ(reader.OpenRead(track.c_str()), Kumu::RESULT_OK);
  ASDCP::JP2K::FrameBuffer buffer(1302083);
  bool tooLarge = false;
  EXPECT_EQ(ReadFrameGrowing(reader, 3, buffer, tooLarge, 2u << 20), Kumu::RESULT_SMALLBUF);
  EXPECT_TRUE(tooLarge);
  EXPECT_EQ(buffer.Capacity(), 2u << 20);
  EXPECT_EQ(FrameReadCause(Kumu::RESULT_SMALLBUF, true),
            "the frame is larger than 256 MiB, the most a frame may take");
  EXPECT_EQ(ReadFrameGrowing(reader, 3, buffer, tooLarge, 4u << 20), Kumu::RESULT_OK);
  EXPECT_FALSE(tooLarge);
  EXPECT_EQ(buffer.Size(), 4000000u);
}

INSTANTIATE_TEST_SUITE_P(Index, LargeFrames, ::testing::Bool());

TEST_F(ConversionTest, ReadOnlyRunDecodesEveryFrameAndWritesNoMovie) {
  const std::vector<std::uint8_t> good = MakeCodestream(folder_, "c.j2c", 3);
  if (good.empty()) GTEST_SKIP() << "opj_compress is not available";
  const std::string track = Wrap("w.mxf", Frames(3, good));
  // No file is made.
  const std::set<std::string> names = Names();
  auto run = RunTool({"-W", track, Path("dry")});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out.substr(run.out.size() - 6), "\nDone\n");
  EXPECT_EQ(Names(), names);
  // An existing movie stays as it is, also when a frame fails.
  convtest::WriteFile(Path("dry.mov"), "an earlier movie");
  run = RunTool({"-W", track, Path("dry")});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  const std::string damaged = Wrap("wbad.mxf", Frames{good, good, WithHighThroughputStyle(good)});
  run = RunTool({"-W", damaged, Path("dry")});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("  File '" + damaged + "', frame 2: "), std::string::npos) << run.err;
  EXPECT_EQ(convtest::ReadFile(Path("dry.mov")), "an earlier movie");
}

// The processors `count` decoder threads need: the first `count` this
// process may run on, as a list for taskset; empty when there are fewer.
std::string FirstProcessors(int count) {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) != 0) return "";
  std::string list;
  for (int cpu = 0; cpu < CPU_SETSIZE && count > 0; ++cpu) {
    if (!CPU_ISSET(cpu, &set)) continue;
    if (!list.empty()) list += ',';
    list += std::to_string(cpu);
    --count;
  }
  return count == 0 ? list : "";
}

// A failing frame stops the run with the frames before it in the movie.
TEST_F(ConversionTest, FramesBeforeAFailureStayWhateverTheThreadCount) {
  const std::vector<std::uint8_t> good = MakeCodestream(folder_, "c.j2c", 3);
  if (good.empty()) GTEST_SKIP() << "opj_compress is not available";
  std::vector<std::uint8_t> garbage(good.size());
  for (std::size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<std::uint8_t>(i * 131 + 7);
  // A frame that does not decode, and frames whose KLV key is damaged, so
  // that they cannot be read: in the first batch and in a later one.
  const struct {
    std::uint32_t frame;
    bool unreadable;
  } cases[] = {{1, false}, {3, true}, {10, true}};
  for (const auto& c : cases) {
    Frames frames(12, good);
    if (!c.unreadable) frames[c.frame] = garbage;
    const std::string name = "damaged" + std::to_string(c.frame);
    const std::string track = Wrap(name + ".mxf", frames);
    if (c.unreadable) {
      // The frame's codestream, then the key before it.
      std::string bytes = convtest::ReadFile(track);
      const std::string start(good.begin(), good.begin() + 16);
      std::size_t at = bytes.find(start);
      for (std::uint32_t i = 0; i < c.frame && at != std::string::npos; ++i) at = bytes.find(start, at + 1);
      ASSERT_NE(at, std::string::npos);
      at = bytes.rfind("\x06\x0e\x2b\x34", at);
      ASSERT_NE(at, std::string::npos);
      bytes[at] = 0;
      convtest::WriteFile(track, bytes);
    }
    // One, two and eight decoder threads give the same failure and the same
    // movie: the frames before the failing one.
    std::string first;
    for (int processors : {1, 2, 8}) {
      const std::string cpus = FirstProcessors(processors);
      if (cpus.empty()) continue;  // the machine has fewer processors
      const std::string movie = Path(name + "_" + std::to_string(processors));
      int status = 0;
      const std::string err =
          qttest::Shell("taskset -c " + cpus + " " + qttest::Quote(DCP2MOV_PATH) + " " +
                            qttest::Quote(track) + " " + qttest::Quote(movie) + " 2>&1 >/dev/null",
                        &status);
      const std::string where = name + " on " + std::to_string(processors);
      EXPECT_EQ(status, 1) << where;
      EXPECT_NE(err.find("  File '" + track + "', frame " + std::to_string(c.frame) + ": "),
                std::string::npos)
          << where << ": " << err;
      if (first.empty()) first = err;
      EXPECT_EQ(err, first) << where;
      EXPECT_EQ(qttest::Probe(movie + ".mov")["nb_read_frames"], std::to_string(c.frame)) << where;
    }
  }
}

// Each failure keeps its error lines and adds the file, the frame and the
// cause; the exit code stays.
struct CauseCase {
  const char* name;
  int exitCode;
  const char* errorLine;
  const char* where;  // after the file's name
  const char* cause;
};
void PrintTo(const CauseCase& c, std::ostream* os) { *os << c.name; }

class CauseLine : public ConversionTest, public ::testing::WithParamInterface<CauseCase> {};

TEST_P(CauseLine, NamesTheFileFrameAndCause) {
  const CauseCase& c = GetParam();
  const std::vector<std::uint8_t> good = MakeCodestream(folder_, "c.j2c", 3);
  if (good.empty()) GTEST_SKIP() << "opj_compress is not available";
  std::string input = Path("input.mxf");
  const std::string name = c.name;
  if (name == "not MXF") convtest::WriteFile(input, "JPEG 2000 frames are not an MXF file");
  if (name == "folder") std::filesystem::create_directory(input);  // no file to read
  if (name == "high-throughput") input = Wrap("ht.mxf", Frames{good, WithHighThroughputStyle(good), good});
  if (name == "wrong size")
    input = Wrap("size.mxf", Frames{good, good, MakeCodestream(folder_, "n.j2c", 3, 32)});
  const auto run = RunTool({input, Path("movie")});
  EXPECT_EQ(run.exitCode, c.exitCode);
  EXPECT_EQ(run.err, kErrorHead + c.errorLine + "\n  File '" + input + "'" + c.where + ": " + c.cause + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    Failures, CauseLine,
    ::testing::Values(
        CauseCase{"missing", 1, "  FILEOPEN: File open failure.", "", "No such file or directory"},
        CauseCase{"folder", 1, "  FILEOPEN: File open failure.", "", "Is a directory"},
        CauseCase{"not MXF", 1, "  FAIL: An undefined error was detected.", "", "not an MXF file"},
        CauseCase{"high-throughput", 1, "  ImageDecoder: Failed to read JPEG header (not a JPEG image?)",
                  ", frame 1", "high-throughput coding is not supported"},
        CauseCase{"wrong size", 1, "  ImageDecoder: Unexpected frame width/height of decoded frame",
                  ", frame 2", "the frame is 32 x 32 pixels, the track's frames are 64 x 32"}),
    [](const ::testing::TestParamInfo<CauseCase>& info) {
      std::string n = info.param.name;
      for (char& ch : n) ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
      return n;
    });

// The line of an input that is not a regular file.
std::string NotARegularFile(const std::string& input) {
  return kErrorHead + "  FILEOPEN: File open failure.\n  File '" + input +
         "': the input is not a regular file\n";
}

// A FIFO that no process writes to is refused at once: the run does not
// wait for a writer, and makes nothing.
TEST_F(ConversionTest, FifoInputIsRefusedAtOnce) {
  const std::string fifo = Path("reel.mxf");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::set<std::string> names = Names();
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{fifo}, {fifo, Path("movie")}, {"-W", fifo}, {"-v", fifo}}) {
    const auto run = convtest::RunToolWithin(arguments, -1, 120);
    ASSERT_FALSE(run.stopped) << "the run waited for a process to write into the FIFO";
    EXPECT_EQ(run.exitCode, 1) << arguments[0];
    EXPECT_EQ(run.err, NotARegularFile(fifo)) << arguments[0];
  }
  EXPECT_EQ(Names(), names);
}

// A track file handed over through a pipe (cat reel.mxf | dcp2mov
// /dev/stdin) is refused for what it is, not as a damaged track.
TEST_F(ConversionTest, PipedTrackIsRefusedAsNotARegularFile) {
  REQUIRE_TESTDATA(track, "mxf/smpte_dci_2k_picture.mxf");
  const std::string bytes = convtest::ReadFile(track);
  int ends[2];
  ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);
  // The whole file fits the pipe's buffer: the write end is closed before
  // the run starts.
  ASSERT_LT(bytes.size(), static_cast<std::size_t>(fcntl(ends[1], F_GETPIPE_SZ)));
  ASSERT_EQ(write(ends[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  close(ends[1]);
  const auto run = convtest::RunToolWithin({"/dev/stdin", Path("movie")}, ends[0], 120);
  close(ends[0]);
  ASSERT_FALSE(run.stopped);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, NotARegularFile("/dev/stdin"));
  EXPECT_FALSE(std::filesystem::exists(Path("movie.mov")));
}

TEST_F(ConversionTest, FailureBeforeTheFirstFrameLeavesNoMovie) {
  const std::vector<std::uint8_t> good = MakeCodestream(folder_, "c.j2c", 3);
  if (good.empty()) GTEST_SKIP() << "opj_compress is not available";
  const std::string track = Wrap("first.mxf", Frames{WithHighThroughputStyle(good), good});
  const std::string converts = Wrap("good.mxf", Frames{good, good});
  std::set<std::string> names = Names();
  auto run = RunTool({track, Path("first")});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(Names(), names);
  // A movie that was there before the run stays as it was.
  convtest::WriteFile(Path("first.mov"), "an earlier movie");
  names.insert("first.mov");
  run = RunTool({track, Path("first")});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(convtest::ReadFile(Path("first.mov")), "an earlier movie");
  EXPECT_EQ(Names(), names);
  // Frames that convert replace it; a link to it stays a link, and the
  // movie keeps the permissions of the file it replaces.
  ASSERT_EQ(symlink("first.mov", Path("link.mov").c_str()), 0);
  ASSERT_EQ(chmod(Path("first.mov").c_str(), 0640), 0);
  names.insert("link.mov");
  run = RunTool({converts, Path("link")});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_TRUE(std::filesystem::is_symlink(Path("link.mov")));
  EXPECT_EQ(qttest::Probe(Path("first.mov"))["nb_read_frames"], "2");
  EXPECT_EQ(std::filesystem::status(Path("first.mov")).permissions(), std::filesystem::perms(0640));
  EXPECT_EQ(Names(), names);
}

}  // namespace
