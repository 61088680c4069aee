// The movie writer over the QuickTime layer: the movie it writes (checked
// with ffprobe and decoded back with ffmpeg), its time scales, and every
// failure text through the layer's fault switch.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "converter/quicktime_video_file.h"
#include "converter/run_report.h"
#include "platform/quicktime/quicktime_faults.h"
#include "tests/converter/tool_runner.h"
#include "tests/platform/quicktime/media_tools.h"

namespace {

using qt::faults::Call;

class WriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qt::faults::Clear();
    folder_ = temp_.Path();
  }
  void TearDown() override { qt::faults::Clear(); }

  std::string Path(const std::string& name) const { return folder_ + "/" + name; }
  static TString ToTString(const std::string& s) { return TString::FromNarrow(s.c_str(), 3); }

  // Frames of a smooth moving picture, 3 bytes per pixel, rows padded to `stride`.
  static std::vector<uint8_t> Frame(int w, int h, size_t stride, int index) {
    return qttest::NaturalFrame(w, h, stride, index, 5);
  }

  convtest::ScopedTempFolder temp_;
  std::string folder_;
};

TEST_F(WriterTest, WritesAPlayableMovieAtTheTrackRate) {
  const std::string path = Path("rate25.mov");
  TPtr<TQuickTimeVideoFile> writer(new TQuickTimeVideoFile);
  ASSERT_EQ(writer->Open(ToTString(path)).Value(), 0);
  ASSERT_EQ(writer->BeginVideoTrack({96, 64}, 2, 0x61766331, 768, 24).Value(), 0);
  EXPECT_EQ(writer->TimeScale(), 2500);
  EXPECT_EQ(writer->FrameDuration(), 100);
  std::vector<std::vector<uint8_t>> frames;
  for (int i = 0; i < 6; ++i) {
    frames.push_back(Frame(96, 64, 96 * 3, i));
    ASSERT_EQ(writer->AddFrame(frames.back().data(), 96 * 3).Value(), 0);
  }
  EXPECT_EQ(writer->FramesWritten(), 6);
  ASSERT_EQ(writer->Finish().Value(), 0);
  ASSERT_EQ(writer->Close().Value(), 0);

  auto p = qttest::Probe(path);
  EXPECT_EQ(p["codec_name"], "h264");
  EXPECT_EQ(p["codec_tag_string"], "avc1");
  EXPECT_EQ(p["width"], "96");
  EXPECT_EQ(p["height"], "64");
  EXPECT_EQ(p["nb_read_frames"], "6");
  EXPECT_EQ(p["r_frame_rate"], "25/1");
  EXPECT_EQ(p["time_base"], "1/2500");
  // Display times 0, 100, 200, ... of duration 100.
  const auto packets = qttest::Packets(path);
  ASSERT_EQ(packets.size(), 6u);
  std::vector<int64_t> pts;
  for (const auto& packet : packets) {
    pts.push_back(packet.first);
    EXPECT_EQ(packet.second, 100);
  }
  std::sort(pts.begin(), pts.end());
  for (int i = 0; i < 6; ++i) EXPECT_EQ(pts[i], 100 * i);
  // The frames come back close to what went in.
  int decoded = 0;
  const std::vector<uint8_t> rgb = qttest::DecodeRgb(path, 96, 64, &decoded);
  ASSERT_EQ(decoded, 6);
  for (int i = 0; i < 6; ++i) {
    EXPECT_GT(qttest::Psnr(rgb.data() + size_t(i) * 96 * 64 * 3, 96 * 3, frames[i].data(), 96 * 3, 96, 64),
              35.0)
        << "frame " << i;
  }
  // The text item names the product.
  EXPECT_NE(
      qttest::Shell("ffprobe -v error -show_entries format_tags -of default=nw=1 " + qttest::Quote(path))
          .find("Made with Tarvo"),
      std::string::npos);
}

TEST_F(WriterTest, TimeScalesOfTheFrameRates) {
  // index: 23.976, 24, 25, 29.97, 29.97, 30, 50, 59.94, 60; beyond: whole rate x 100.
  const int expected[] = {2398, 2400, 2500, 2997, 2997, 3000, 5000, 5994, 6000};
  for (int index = 0; index < 9; ++index) {
    std::int32_t scale = 0, duration = 0;
    TimeScaleFromFrameRateIndex(scale, duration, index);
    EXPECT_EQ(scale, expected[index]) << index;
    EXPECT_EQ(duration, 100);
  }
  EXPECT_EQ(FixedRateFromFrameRateIndex(0), 1571291);
  EXPECT_EQ(FixedRateFromFrameRateIndex(3), 1964113);
  EXPECT_EQ(FixedRateFromFrameRateIndex(7), 3928227);
  EXPECT_EQ(FixedRateFromFrameRateIndex(2), 25 << 16);
  const struct {
    qt::Fixed rate;
    int scale;
  } fixed[] = {{0x17FAE1, 2398},
               {0x17F9DB, 2398},
               {0x1DF851, 2997},
               {0x3BF0A3, 5994},
               {25 << 16, 2500},
               {(30 << 16) + 5, 3000},
               {0, 0}};
  for (const auto& f : fixed) {
    std::int32_t scale = -1, duration = 0;
    qt::SCTemporalSettings settings{768, f.rate, 24};
    TimeScaleFromFixedRate(scale, duration, settings);
    EXPECT_EQ(scale, f.scale) << std::hex << f.rate;
    EXPECT_EQ(duration, 100);
  }
  // A 23.976 track through the compressor: time scale 2398, not 2300.
  TPtr<TQuickTimeVideoFile> writer(new TQuickTimeVideoFile);
  ASSERT_EQ(writer->Open(ToTString(Path("ntsc.mov"))).Value(), 0);
  ASSERT_EQ(writer->BeginVideoTrack({32, 16}, 0, 0x61766331, 768, 24).Value(), 0);
  EXPECT_EQ(writer->TimeScale(), 2398);
}

TEST_F(WriterTest, MovieWithoutFramesIsSaved) {
  const std::string path = Path("empty.mov");
  TPtr<TQuickTimeVideoFile> writer(new TQuickTimeVideoFile);
  ASSERT_EQ(writer->Open(ToTString(path)).Value(), 0);
  ASSERT_EQ(writer->BeginVideoTrack({32, 16}, 1, 0x61766331, 768, 24).Value(), 0);
  ASSERT_EQ(writer->Finish().Value(), 0);
  ASSERT_EQ(writer->Close().Value(), 0);
  auto p = qttest::Probe(path);
  EXPECT_EQ(p["format.TAG:major_brand"], "qt  ");
  EXPECT_EQ(p["nb_read_frames"], "");
}

TEST_F(WriterTest, CloseWithoutFinishKeepsTheFramesWritten) {
  // A run that stops after some frames: the release finishes the track and
  // saves the movie.
  const std::string path = Path("partial.mov");
  {
    TPtr<TQuickTimeVideoFile> writer(new TQuickTimeVideoFile);
    ASSERT_EQ(writer->Open(ToTString(path)).Value(), 0);
    ASSERT_EQ(writer->BeginVideoTrack({64, 32}, 1, 0x61766331, 768, 24).Value(), 0);
    for (int i = 0; i < 3; ++i) {
      const auto frame = Frame(64, 32, 64 * 3 + 8, i);
      ASSERT_EQ(writer->AddFrame(frame.data(), 64 * 3 + 8).Value(), 0);
    }
  }
  auto p = qttest::Probe(path);
  EXPECT_EQ(p["nb_read_frames"], "3");
  EXPECT_EQ(p["r_frame_rate"], "24/1");
}

struct FaultCase {
  Call call;
  int stage;  // 0 open, 1 begin, 2 frame, 3 finish, 4 close
  const char* text;
};

TEST_F(WriterTest, EveryFailureHasItsText) {
  const FaultCase cases[] = {
      {Call::QTNewDataReferenceFromFullPathCFString, 0, "Failed to open the dest file for writing"},
      {Call::CreateMovieStorage, 0, "Failed to create a new movie"},
      {Call::NewMovieTrack, 1, "Failed to create video track"},
      {Call::NewTrackMedia, 1, "Failed to create video media"},
      {Call::GetCodecInfo, 1, "Failed to resolve codec info"},
      {Call::ICMCompressionSessionOptionsCreate, 1, "Failed to create compression options"},
      {Call::SCCopyCompressionSessionOptions, 1, "Failed to copy compression options"},
      {Call::SetAllowTemporalCompression, 1, "Failed to enable temporal compression options"},
      {Call::SetAllowFrameReordering, 1, "Failed to set compression options"},
      {Call::CFDictionaryCreate, 1, "Failed to create compression session"},
      {Call::ICMCompressionSessionCreate, 1, "Failed to create compression session"},
      {Call::BeginMediaEdits, 1, "Failed to start editing the video track"},
      {Call::CVPixelBufferCreateWithBytes, 2, "Failed to create a pixelbuffer for a video frame"},
      {Call::ICMCompressionSessionEncodeFrame, 2, "Failed to encode video frame"},
      {Call::ICMCompressionSessionCompleteFrames, 3, "Failed to finish compression session"},
      {Call::EndMediaEdits, 3, "Failed to finish the media edit"},
      {Call::InsertMediaIntoTrack, 3, "Failed to insert media into track"},
      // A full disk while saving: the close reports it.
      {Call::AddMovieToStorage, 4, "Failed to save the movie file"},
      {Call::UpdateMovieInStorage, 4, "Failed to save the movie file"},
      {Call::CloseMovieStorage, 4, "Failed to save the movie file"},
  };
  const auto frame = Frame(48, 32, 48 * 3, 0);
  for (const FaultCase& c : cases) {
    qt::faults::Clear();
    const std::string path = Path("fault.mov");
    TPtr<TQuickTimeVideoFile> writer(new TQuickTimeVideoFile);
    Kumu::Result_t result = Kumu::RESULT_OK;
    for (int stage = 0; stage <= 4 && result.Success(); ++stage) {
      if (stage == c.stage)
        qt::faults::Arm(c.call, c.call == Call::CloseMovieStorage ? qt::ioErr : qt::dskFulErr);
      switch (stage) {
        case 0:
          result = writer->Open(ToTString(path));
          break;
        case 1:
          result = writer->BeginVideoTrack({48, 32}, 1, 0x61766331, 768, 24);
          break;
        case 2:
          result = writer->AddFrame(frame.data(), 48 * 3);
          break;
        case 3:
          result = writer->Finish();
          break;
        default:
          result = writer->Close();
          break;
      }
      if (stage < c.stage) {
        ASSERT_TRUE(result.Success()) << c.text << " at stage " << stage;
      }
    }
    EXPECT_EQ(result.Value(), -1) << c.text;
    EXPECT_STREQ(result.Symbol(), "QuickTimeVideoFile");
    EXPECT_STREQ(result.Label(), c.text);
    qt::faults::Clear();
    // Whatever failed, the release puts everything back (the sanitizer build
    // reports anything left behind).
    writer.Reset();
  }
}

TEST_F(WriterTest, AFailedSampleWriteEndsTheFrames) {
  // The encoded-frame callback's error reaches AddFrame or Finish.
  qt::faults::Arm(Call::AddMediaSampleFromEncodedFrame, qt::dskFulErr);
  TPtr<TQuickTimeVideoFile> writer(new TQuickTimeVideoFile);
  ASSERT_EQ(writer->Open(ToTString(Path("sample.mov"))).Value(), 0);
  ASSERT_EQ(writer->BeginVideoTrack({48, 32}, 1, 0x61766331, 768, 24).Value(), 0);
  Kumu::Result_t result = Kumu::RESULT_OK;
  for (int i = 0; i < 40 && result.Success(); ++i) {
    const auto frame = Frame(48, 32, 48 * 3, i);
    result = writer->AddFrame(frame.data(), 48 * 3);
  }
  if (result.Success()) result = writer->Finish();
  EXPECT_EQ(result.Value(), -1);
  EXPECT_TRUE(std::string(result.Label()) == "Failed to encode video frame" ||
              std::string(result.Label()) == "Failed to finish compression session")
      << result.Label();
}

TEST_F(WriterTest, AFullDiskIsNamedInTheSystemsWords) {
  // Every write to /dev/full fails as on a full disk.
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "/dev/full cannot be written";
  TPtr<TQuickTimeVideoFile> writer(new TQuickTimeVideoFile);
  ASSERT_EQ(writer->Open(ToTString("/dev/full")).Value(), 0);
  ASSERT_EQ(writer->BeginVideoTrack({48, 32}, 1, 0x61766331, 768, 24).Value(), 0);
  Kumu::Result_t result = Kumu::RESULT_OK;
  for (int i = 0; i < 3 && result.Success(); ++i) {
    const auto frame = Frame(48, 32, 48 * 3, i);
    result = writer->AddFrame(frame.data(), 48 * 3);
  }
  if (result.Success()) result = writer->Finish();
  if (result.Success()) result = writer->Close();
  EXPECT_EQ(result.Value(), -1);
  EXPECT_EQ(writer->SystemError(), ENOSPC);
  EXPECT_EQ(MovieCause("/dev/full", result, writer->SystemError()),
            "the movie could not be written: No space left on device");
}

TEST_F(WriterTest, WritesIntoAFileTheCallerHoldsOpen) {
  const std::string path = Path("held.mov");
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  ASSERT_GE(fd, 0);
  {
    TPtr<TQuickTimeVideoFile> writer(new TQuickTimeVideoFile);
    ASSERT_EQ(writer->PrepareOpen(ToTString(Path("shown.mov"))).Value(), 0);
    ASSERT_EQ(writer->OpenOnFile(fd).Value(), 0);
    ASSERT_EQ(writer->BeginVideoTrack({48, 32}, 1, 0x61766331, 768, 24).Value(), 0);
    for (int i = 0; i < 2; ++i) {
      const auto frame = Frame(48, 32, 48 * 3, i);
      ASSERT_EQ(writer->AddFrame(frame.data(), 48 * 3).Value(), 0);
    }
    ASSERT_EQ(writer->Finish().Value(), 0);
    ASSERT_EQ(writer->Close().Value(), 0);
  }
  close(fd);
  EXPECT_EQ(qttest::Probe(path)["nb_read_frames"], "2");
  EXPECT_FALSE(std::filesystem::exists(Path("shown.mov")));
  // A descriptor that is not open.
  TPtr<TQuickTimeVideoFile> writer(new TQuickTimeVideoFile);
  EXPECT_STREQ(writer->OpenOnFile(-1).Label(), "Failed to open the dest file for writing");
}

TEST_F(WriterTest, UnwritableDestination) {
  TPtr<TQuickTimeVideoFile> writer(new TQuickTimeVideoFile);
  const Kumu::Result_t result = writer->Open(ToTString("/nonexistent/folder/x.mov"));
  EXPECT_EQ(result.Value(), -1);
  EXPECT_STREQ(result.Label(), "Failed to create a new movie");
}

}  // namespace
