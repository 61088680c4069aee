// Movies written through the movie calls in the writer's order, checked
// with independent tools: ffprobe, mediainfo, frames decoded back by ffmpeg,
// and the file's atoms read directly.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <set>

#include "tests/platform/quicktime/media_tools.h"
#include "tests/platform/quicktime/movie_driver.h"

namespace qttest {
namespace {

const char kInfo[] = "Made with dcp2mov\nhttp://dcp2mov.example/";

// Measured on this content at quality 768 (CRF 18): 40.2 to 40.8 dB per
// frame for 128 x 96, a little lower for very small or odd frames.
constexpr double kMinPsnr = 37.0;

class MovieTest : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = TempFolder(); }
  void TearDown() override {
    if (getenv("QT_TEST_KEEP") == nullptr) std::filesystem::remove_all(dir_);
  }
  std::string PathOf(const std::string& name) const { return dir_ + "/" + name; }

  // Writes `frames` natural frames; every step must succeed.
  void WriteMovie(const std::string& path, int width, int height, int rateIndex, int frames,
                  size_t bytesPerRow, qt::CodecQ quality = 768) {
    MovieDriver d;
    ASSERT_TRUE(d.Open(path, kInfo)) << d.error();
    ASSERT_TRUE(d.Begin(width, height, rateIndex, quality)) << d.error();
    for (int i = 0; i < frames; ++i) {
      std::vector<uint8_t> f = NaturalFrame(width, height, bytesPerRow, i);
      ASSERT_TRUE(d.AddFrame(f.data(), bytesPerRow)) << d.error() << " at frame " << i;
    }
    ASSERT_TRUE(d.Finish()) << d.error();
    ASSERT_EQ(d.Close(), qt::noErr);
  }

  // Every decoded frame against its source, over the true size.
  void ExpectFramesMatch(const std::string& path, int width, int height, int codedWidth, int codedHeight,
                         int frames, double minPsnr) {
    int decoded = 0;
    std::vector<uint8_t> rgb = DecodeRgb(path, codedWidth, codedHeight, &decoded);
    ASSERT_EQ(decoded, frames);
    const size_t codedFrame = size_t(codedWidth) * size_t(codedHeight) * 3;
    for (int i = 0; i < frames; ++i) {
      std::vector<uint8_t> src = NaturalFrame(width, height, size_t(width) * 3, i);
      double psnr = Psnr(src.data(), size_t(width) * 3, rgb.data() + size_t(i) * codedFrame,
                         size_t(codedWidth) * 3, width, height);
      EXPECT_GE(psnr, minPsnr) << "frame " << i;
    }
  }

  std::string dir_;
};

const Atom* Find(const std::vector<Atom>& atoms, const std::string& path) {
  for (const Atom& a : atoms)
    if (a.path == path) return &a;
  return nullptr;
}

TEST_F(MovieTest, MovieIsWhatTheWriterAskedFor) {
  const std::string path = PathOf("movie.mov");
  const int w = 128, h = 96, frames = 30;
  // Rows with padding at their ends, as a caller's buffer may have.
  WriteMovie(path, w, h, 2, frames, w * 3 + 13);

  auto p = Probe(path);
  EXPECT_EQ(p["codec_name"], "h264");
  EXPECT_EQ(p["codec_tag_string"], "avc1");
  EXPECT_EQ(p["profile"], "High");
  EXPECT_EQ(p["pix_fmt"], "yuv420p");
  EXPECT_EQ(p["width"], "128");
  EXPECT_EQ(p["height"], "96");
  EXPECT_EQ(p["time_base"], "1/2500");
  EXPECT_EQ(p["r_frame_rate"], "25/1");
  EXPECT_EQ(p["avg_frame_rate"], "25/1");
  EXPECT_EQ(p["nb_frames"], "30");
  EXPECT_EQ(p["nb_read_frames"], "30");
  EXPECT_EQ(p["duration_ts"], "3000");
  EXPECT_EQ(p["duration"], "1.200000");
  EXPECT_EQ(p["start_time"], "0.000000");
  EXPECT_EQ(p["color_range"], "tv");
  EXPECT_EQ(p["color_space"], "bt709");
  EXPECT_EQ(p["color_transfer"], "bt709");
  EXPECT_EQ(p["color_primaries"], "bt709");
  EXPECT_EQ(p["format.TAG:major_brand"], "qt  ");
  EXPECT_EQ(p["format.nb_streams"], "1");
  EXPECT_EQ(p["format.start_time"], "0.000000");
  EXPECT_EQ(Shell("ffprobe -v error -show_entries format_tags=comment -of default=nw=1:nk=1 " + Quote(path)),
            std::string(kInfo) + "\n");

  // Display times 0, 100, 200, ... each lasting 100, every one present.
  std::set<int64_t> pts;
  for (auto [t, d] : Packets(path)) {
    pts.insert(t);
    EXPECT_EQ(d, 100);
  }
  ASSERT_EQ(pts.size(), size_t(frames));
  int64_t expected = 0;
  for (int64_t t : pts) {
    EXPECT_EQ(t, expected);
    expected += 100;
  }

  EXPECT_EQ(MediaInfo(path, "General;%Format_Profile%|%Movie_More%"),
            "QuickTime|Made with dcp2mov / http://dcp2mov.example/");
  EXPECT_EQ(MediaInfo(path,
                      "Video;%Format%|%CodecID%|%FrameRate_Mode%|%FrameRate%|"
                      "%colour_range%|%matrix_coefficients%|%colour_primaries%"),
            "AVC|avc1|CFR|25.000|Limited|BT.709|BT.709");

  ExpectFramesMatch(path, w, h, w, h, frames, kMinPsnr);
}

TEST_F(MovieTest, AtomsHoldTheTextItemAndTimeScales) {
  const std::string path = PathOf("atoms.mov");
  WriteMovie(path, 64, 48, 1, 6, 64 * 3);
  auto atoms = ReadAtoms(path);
  ASSERT_FALSE(atoms.empty());
  EXPECT_EQ(atoms.back().path.substr(0, 4), "moov");  // the movie ends the file

  // The user data holds exactly the writer's item: length, language 0, text.
  const Atom* udta = Find(atoms, "moov/udta");
  ASSERT_NE(udta, nullptr);
  auto bytes = ReadBytes(path, udta->offset, udta->size);
  const size_t textLen = sizeof kInfo - 1;
  ASSERT_EQ(bytes.size(), 8 + 8 + 4 + textLen);
  EXPECT_EQ(BigEndian32(&bytes[8]), 8 + 4 + textLen);
  EXPECT_EQ(bytes[12], 0xA9);
  EXPECT_EQ(std::string(bytes.begin() + 13, bytes.begin() + 16), "inf");
  EXPECT_EQ((bytes[16] << 8) | bytes[17], int(textLen));
  EXPECT_EQ((bytes[18] << 8) | bytes[19], 0);
  EXPECT_EQ(std::string(bytes.begin() + 20, bytes.end()), kInfo);

  const Atom* mvhd = Find(atoms, "moov/mvhd");
  ASSERT_NE(mvhd, nullptr);
  EXPECT_EQ(BigEndian32(&ReadBytes(path, mvhd->offset + 20, 4)[0]), 600u);
  const Atom* mdhd = Find(atoms, "moov/trak/mdia/mdhd");
  ASSERT_NE(mdhd, nullptr);
  auto m = ReadBytes(path, mdhd->offset, mdhd->size);
  EXPECT_EQ(BigEndian32(&m[20]), 2400u);  // media time scale
  EXPECT_EQ(BigEndian32(&m[24]), 600u);   // 6 frames of 100
  // A first frame displayed at 0: the edit starts the track at time 0.
  const Atom* elst = Find(atoms, "moov/trak/edts/elst");
  ASSERT_NE(elst, nullptr);
  auto e = ReadBytes(path, elst->offset, elst->size);
  EXPECT_EQ(BigEndian32(&e[12]), 1u);    // one edit
  EXPECT_EQ(BigEndian32(&e[16]), 150u);  // 0.25 s in the movie's 600
  EXPECT_EQ(BigEndian32(&e[24]), 0x10000u);
}

// The writer's nine frame-rate indices: the compressor hands back the rate
// in hundredths, which the writer turns into these time scales.
struct RateCase {
  int index;
  int timeScale;
  const char* frameRate;
  qt::Fixed readBack;
};
void PrintTo(const RateCase& c, std::ostream* os) { *os << "index " << c.index; }
class FrameRateTest : public MovieTest, public ::testing::WithParamInterface<RateCase> {};

TEST_P(FrameRateTest, TimeScaleAndFrameRate) {
  const RateCase c = GetParam();
  const std::string path = PathOf("rate.mov");
  MovieDriver d;
  ASSERT_TRUE(d.Open(path, kInfo));
  ASSERT_TRUE(d.Begin(32, 32, c.index)) << d.error();
  EXPECT_EQ(d.readBackRate(), c.readBack);
  EXPECT_EQ(d.timeScale(), c.timeScale);
  for (int i = 0; i < 8; ++i) {
    auto f = NaturalFrame(32, 32, 96, i);
    ASSERT_TRUE(d.AddFrame(f.data(), 96));
  }
  ASSERT_TRUE(d.Finish());
  ASSERT_EQ(d.Close(), qt::noErr);
  auto p = Probe(path);
  EXPECT_EQ(p["time_base"], "1/" + std::to_string(c.timeScale));
  EXPECT_EQ(p["r_frame_rate"], c.frameRate);
  EXPECT_EQ(p["duration_ts"], "800");
  EXPECT_EQ(p["nb_read_frames"], "8");
  EXPECT_EQ(p["start_time"], "0.000000");
}

INSTANTIATE_TEST_SUITE_P(
    AllIndices, FrameRateTest,
    ::testing::Values(RateCase{0, 2398, "1199/50", 0x17FAE1}, RateCase{1, 2400, "24/1", 24 << 16},
                      RateCase{2, 2500, "25/1", 25 << 16}, RateCase{3, 2997, "2997/100", 0x1DF851},
                      RateCase{4, 2997, "2997/100", 0x1DF851}, RateCase{5, 3000, "30/1", 30 << 16},
                      RateCase{6, 5000, "50/1", 50 << 16}, RateCase{7, 5994, "2997/50", 0x3BF0A3},
                      RateCase{8, 6000, "60/1", 60 << 16}),
    [](const ::testing::TestParamInfo<RateCase>& info) {
      return "Index" + std::to_string(info.param.index);
    });

TEST_F(MovieTest, KeyFrameAtLeastEveryKeyFrameRate) {
  const std::string path = PathOf("gop.mov");
  WriteMovie(path, 48, 32, 1, 75, 48 * 3);
  std::vector<bool> keys = KeyFrames(path);
  ASSERT_EQ(keys.size(), 75u);
  EXPECT_TRUE(keys[0]);
  int gap = 0, longest = 0;
  for (bool k : keys) {
    gap = k ? 1 : gap + 1;
    longest = std::max(longest, gap);
  }
  EXPECT_LE(longest, 24);
  // The stream's own settings: the key-frame rate, temporal compression with
  // reordered (B) frames, and quality 768 as rate factor 18.
  std::string settings = MediaInfo(path, "Video;%Encoded_Library_Settings%");
  EXPECT_NE(settings.find("keyint=24 "), std::string::npos) << settings;
  EXPECT_NE(settings.find("bframes=3 "), std::string::npos) << settings;
  EXPECT_NE(settings.find("crf=18.0 "), std::string::npos) << settings;
}

TEST_F(MovieTest, SessionOptionsChooseKeyFramesAndReordering) {
  const struct {
    bool temporal, reordering;
    const char* setting;
    bool allKeys;
  } cases[] = {{false, true, "bframes=0 ", true}, {true, false, "bframes=0 ", false}};
  for (const auto& c : cases) {
    const std::string path = PathOf("options.mov");
    {
      MovieDriver d;
      d.SetSessionOptions(c.temporal, c.reordering);
      ASSERT_TRUE(d.Open(path, kInfo));
      ASSERT_TRUE(d.Begin(32, 32, 2)) << d.error();
      for (int i = 0; i < 10; ++i) {
        auto f = NaturalFrame(32, 32, 96, i);
        ASSERT_TRUE(d.AddFrame(f.data(), 96));
      }
      ASSERT_TRUE(d.Finish());
      ASSERT_EQ(d.Close(), qt::noErr);
    }
    std::string settings = MediaInfo(path, "Video;%Encoded_Library_Settings%");
    EXPECT_NE(settings.find(c.setting), std::string::npos) << settings;
    std::vector<bool> keys = KeyFrames(path);
    ASSERT_EQ(keys.size(), 10u);
    EXPECT_EQ(std::count(keys.begin(), keys.end(), true) == 10, c.allKeys);
    // In display order, frame by frame, whatever the coding order.
    ExpectFramesMatch(path, 32, 32, 32, 32, 10, 35.0);  // 36.3 dB measured at 32 x 32
  }
}

TEST_F(MovieTest, QualityMapsToRateFactor) {
  const struct {
    qt::CodecQ quality;
    const char* crf;
  } cases[] = {{256, "crf=28.0 "}, {512, "crf=23.0 "}, {1023, "crf=13.0 "}, {1024, "crf=13.0 "}};
  for (const auto& c : cases) {
    const std::string path = PathOf("q.mov");
    WriteMovie(path, 32, 32, 2, 2, 96, c.quality);
    std::string settings = MediaInfo(path, "Video;%Encoded_Library_Settings%");
    EXPECT_NE(settings.find(c.crf), std::string::npos) << c.quality << ": " << settings;
    // Never x264's lossless mode, which needs the 4:4:4 predictive profile.
    EXPECT_EQ(Probe(path)["profile"], "High");
  }
}

TEST_F(MovieTest, MovieWithoutFramesIsSavedAndReadable) {
  for (bool begin : {false, true}) {
    const std::string path = PathOf(begin ? "empty_track.mov" : "empty.mov");
    {
      MovieDriver d;
      ASSERT_TRUE(d.Open(path, kInfo));
      if (begin) {
        ASSERT_TRUE(d.Begin(64, 64, 1)) << d.error();
      }
      EXPECT_EQ(d.Close(), qt::noErr);
    }
    auto p = Probe(path);
    EXPECT_EQ(p["format.nb_streams"], "0") << path;
    EXPECT_EQ(p["format.TAG:major_brand"], "qt  ");
    EXPECT_EQ(
        Shell("ffprobe -v error -show_entries format_tags=comment -of default=nw=1:nk=1 " + Quote(path)),
        std::string(kInfo) + "\n");
    // mediainfo names the item differently when the movie has no track.
    EXPECT_NE(Shell("mediainfo " + Quote(path)).find("Made with dcp2mov / http://dcp2mov.example/"),
              std::string::npos);
    auto atoms = ReadAtoms(path);
    ASSERT_EQ(atoms.size(), 5u);
    EXPECT_EQ(atoms[0].path, "ftyp");
    EXPECT_EQ(atoms[1].path, "moov");
    EXPECT_EQ(atoms[2].path, "moov/mvhd");
    EXPECT_EQ(atoms[3].path, "moov/udta");
  }
}

TEST_F(MovieTest, OddSizesArePaddedAndTheTrackKeepsTheTrueSize) {
  const struct { int w, h; } sizes[] = {{33, 17}, {34, 17}, {33, 18}, {1, 1}};
  for (auto s : sizes) {
    const std::string path = PathOf("odd.mov");
    const int cw = (s.w + 1) & ~1, ch = (s.h + 1) & ~1;
    WriteMovie(path, s.w, s.h, 2, 5, size_t(s.w) * 3);
    auto p = Probe(path);
    EXPECT_EQ(p["width"], std::to_string(cw));
    EXPECT_EQ(p["height"], std::to_string(ch));
    auto atoms = ReadAtoms(path);
    const Atom* tkhd = Find(atoms, "moov/trak/tkhd");
    ASSERT_NE(tkhd, nullptr);
    auto t = ReadBytes(path, tkhd->offset + tkhd->size - 8, 8);
    EXPECT_EQ(BigEndian32(&t[0]), uint32_t(s.w) << 16) << s.w << "x" << s.h;
    EXPECT_EQ(BigEndian32(&t[4]), uint32_t(s.h) << 16) << s.w << "x" << s.h;
    // A 1x1 picture is one flat colour that 4:2:0 keeps well.
    ExpectFramesMatch(path, s.w, s.h, cw, ch, 5, s.w > 1 ? 33.0 : kMinPsnr);

    // The padding repeats the last column and row.
    int n = 0;
    auto rgb = DecodeRgb(path, cw, ch, &n);
    ASSERT_EQ(n, 5);
    if (cw > s.w) {
      double psnr =
          Psnr(rgb.data() + 3 * (cw - 1), size_t(cw) * 3, rgb.data() + 3 * (s.w - 1), size_t(cw) * 3, 1, ch);
      EXPECT_GE(psnr, 30.0);
    }
    if (ch > s.h) {
      double psnr =
          Psnr(rgb.data() + size_t(ch - 1) * cw * 3, 0, rgb.data() + size_t(s.h - 1) * cw * 3, 0, cw, 1);
      EXPECT_GE(psnr, 30.0);
    }
  }
}

TEST_F(MovieTest, LastRowsConvertLikeTheRest) {
  // The last two rows are converted from a copy of the caller's rows.
  const std::string path = PathOf("rows.mov");
  const int w = 96, h = 64;
  WriteMovie(path, w, h, 2, 3, w * 3);
  int n = 0;
  auto rgb = DecodeRgb(path, w, h, &n);
  ASSERT_EQ(n, 3);
  for (int i = 0; i < n; ++i) {
    auto src = NaturalFrame(w, h, w * 3, i);
    const uint8_t* dec = rgb.data() + size_t(i) * w * h * 3;
    const size_t tail = size_t(h - 2) * w * 3;
    EXPECT_GE(Psnr(src.data() + tail, w * 3, dec + tail, w * 3, w, 2), 33.0) << "frame " << i;
  }
}

TEST_F(MovieTest, CallerMayReuseItsBufferOnceTheCallReturns) {
  const std::string path = PathOf("reuse.mov");
  const int w = 64, h = 48, frames = 12;
  {
    MovieDriver d;
    ASSERT_TRUE(d.Open(path, kInfo));
    ASSERT_TRUE(d.Begin(w, h, 2));
    std::vector<uint8_t> buffer(size_t(w) * h * 3);
    for (int i = 0; i < frames; ++i) {
      auto f = NaturalFrame(w, h, w * 3, i);
      std::memcpy(buffer.data(), f.data(), buffer.size());
      ASSERT_TRUE(d.AddFrame(buffer.data(), w * 3));
      std::memset(buffer.data(), 0xFF, buffer.size());  // the next frame's decode
    }
    EXPECT_EQ(d.releasedBuffers(), frames);
    EXPECT_TRUE(d.releasedBeforeReturn());
    ASSERT_TRUE(d.Finish());
    ASSERT_EQ(d.Close(), qt::noErr);
  }
  ExpectFramesMatch(path, w, h, w, h, frames, kMinPsnr);
}

// A frame whose last row ends right before an unmapped page: any read past
// the caller's rows faults.
TEST_F(MovieTest, NoReadPastTheCallersLastRow) {
  const long page = sysconf(_SC_PAGESIZE);
  const struct {
    int w, h;
    size_t extra;
  } cases[] = {{64, 32, 0}, {64, 32, 5}, {63, 31, 0}, {6, 4, 0}, {8, 2, 0}, {160, 90, 0}};
  for (auto c : cases) {
    const size_t bpr = size_t(c.w) * 3 + c.extra;
    const size_t bytes = bpr * size_t(c.h - 1) + size_t(c.w) * 3;  // no padding after the last row
    const size_t pages = (bytes + size_t(page) - 1) / size_t(page) + 1;
    auto* map = static_cast<uint8_t*>(
        mmap(nullptr, pages * size_t(page), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(map, MAP_FAILED);
    uint8_t* guard = map + (pages - 1) * size_t(page);
    ASSERT_EQ(mprotect(guard, size_t(page), PROT_NONE), 0);
    uint8_t* frame = guard - bytes;

    const std::string path = PathOf("guard.mov");
    {
      MovieDriver d;
      ASSERT_TRUE(d.Open(path, kInfo));
      ASSERT_TRUE(d.Begin(c.w, c.h, 2));
      for (int i = 0; i < 3; ++i) {
        auto f = NaturalFrame(c.w, c.h, bpr, i);
        std::memcpy(frame, f.data(), bytes);
        ASSERT_TRUE(d.AddFrame(frame, bpr)) << c.w << "x" << c.h;
      }
      ASSERT_TRUE(d.Finish());
      ASSERT_EQ(d.Close(), qt::noErr);
    }
    munmap(map, pages * size_t(page));
    EXPECT_EQ(Probe(path)["nb_read_frames"], "3") << c.w << "x" << c.h;
  }
}

TEST_F(MovieTest, UnwritableDestinationFailsToCreateTheMovie) {
  const std::string paths[] = {PathOf("no/such/folder/x.mov"), "/proc/version/x.mov", dir_};
  for (const std::string& path : paths) {
    MovieDriver d;
    EXPECT_FALSE(d.Open(path, kInfo)) << path;
    EXPECT_EQ(d.error(), "Failed to create a new movie") << path;
    EXPECT_EQ(d.Close(), qt::noErr);
  }
}

// Runs a movie in a child process whose files may not grow past `limit`
// bytes; the child's exit code names the first step that failed (0: none).
int WriteWithFileSizeLimit(const std::string& path, rlim_t limit, int frames) {
  pid_t pid = fork();
  if (pid == 0) {
    signal(SIGXFSZ, SIG_IGN);  // a write past the limit then fails with EFBIG
    struct rlimit rl {
      limit, limit
    };
    setrlimit(RLIMIT_FSIZE, &rl);
    int code = 0;
    {
      MovieDriver d;
      if (!d.Open(path, kInfo)) code = 1;
      if (code == 0 && !d.Begin(64, 64, 2, 1023)) code = 2;
      for (int i = 0; code == 0 && i < frames; ++i) {
        auto f = NaturalFrame(64, 64, 192, i, 99);
        if (!d.AddFrame(f.data(), 192)) code = 3;
      }
      if (code == 0 && !d.Finish()) code = 4;
      qt::OSErr e = d.Close();
      if (code == 0 && e != qt::noErr) code = e == qt::dskFulErr ? 5 : 6;
    }
    _exit(code);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

TEST_F(MovieTest, FullDiskFailsInsteadOfReportingSuccess) {
  const std::string path = PathOf("full.mov");
  // The samples cannot all be written: a frame (or the flush at finish) fails.
  int code = WriteWithFileSizeLimit(path, 3000, 40);
  EXPECT_TRUE(code == 3 || code == 4) << "exit " << code;

  // Room for every sample but not for the movie atoms: saving fails.
  const std::string full = PathOf("unlimited.mov");
  ASSERT_EQ(WriteWithFileSizeLimit(full, RLIM_INFINITY, 40), 0);
  const Atom* moov = nullptr;
  auto atoms = ReadAtoms(full);
  for (const Atom& a : atoms)
    if (a.path == "moov") moov = &a;
  ASSERT_NE(moov, nullptr);
  EXPECT_EQ(WriteWithFileSizeLimit(path, moov->offset + 16, 40), 5);
}

TEST_F(MovieTest, FramesWrittenBeforeAFailureAreSaved) {
  // The writer's close finishes the track after a failed frame, so the
  // frames encoded so far still make a playable movie.
  const std::string path = PathOf("partial.mov");
  {
    MovieDriver d;
    ASSERT_TRUE(d.Open(path, kInfo));
    ASSERT_TRUE(d.Begin(64, 48, 2));
    for (int i = 0; i < 7; ++i) {
      auto f = NaturalFrame(64, 48, 192, i);
      ASSERT_TRUE(d.AddFrame(f.data(), 192));
    }
    std::vector<uint8_t> f(10);
    EXPECT_FALSE(d.AddFrame(nullptr, 192));
    EXPECT_EQ(d.error(), "Failed to create a pixelbuffer for a video frame");
    EXPECT_EQ(d.Close(), qt::noErr);
  }
  auto p = Probe(path);
  EXPECT_EQ(p["nb_read_frames"], "7");
  EXPECT_EQ(p["duration_ts"], "700");
  ExpectFramesMatch(path, 64, 48, 64, 48, 7, kMinPsnr);
}

}  // namespace
}  // namespace qttest
