// The movie calls one by one: results, argument checks, calls out of order,
// and every failure the writer can meet, reached through the fault switch.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/quicktime/quicktime.h"
#include "platform/quicktime/quicktime_faults.h"
#include "tests/platform/quicktime/media_tools.h"
#include "tests/platform/quicktime/movie_driver.h"

namespace qttest {
namespace {

using namespace qt;

class CallsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = TempFolder();
    faults::Clear();
  }
  void TearDown() override {
    faults::Clear();
    std::filesystem::remove_all(dir_);
  }
  std::string PathOf(const std::string& name) const { return dir_ + "/" + name; }
  std::string dir_;
};

OSStatus DropFrame(void*, ICMCompressionSessionRef, OSStatus, ICMEncodedFrameRef, void*) { return noErr; }

TEST_F(CallsTest, StartAnswersTheVersion) {
  EXPECT_EQ(InitializeQTML(0), noErr);
  EXPECT_EQ(EnterMovies(), noErr);
  int32_t version = 0;
  EXPECT_EQ(Gestalt(gestaltQuickTime, &version), noErr);
  EXPECT_EQ(version, 0x07100000);
  EXPECT_EQ(Gestalt(FourCC('s', 'y', 's', 'v'), &version), gestaltUndefSelectorErr);
  EXPECT_EQ(Gestalt(gestaltQuickTime, nullptr), paramErr);
  ExitMovies();
  TerminateQTML();
}

TEST_F(CallsTest, DataReferenceFromPath) {
  // A path outside ASCII, with a character beyond the 16-bit plane.
  const std::u16string name = u"/\u00dcberfilm \u2713 \U0001F3AC.mov";
  const std::u16string full = std::u16string(dir_.begin(), dir_.end()) + name;
  CFStringRef s = CFStringCreateWithCharacters(
      kCFAllocatorDefault, reinterpret_cast<const UniChar*>(full.data()), CFIndex(full.size()));
  Handle ref = nullptr;
  OSType type = 0;
  ASSERT_EQ(QTNewDataReferenceFromFullPathCFString(s, kQTNativeDefaultPathStyle, 0, &ref, &type), noErr);
  CFRelease(s);
  EXPECT_EQ(type, rAliasType);
  const std::string utf8 = dir_ +
                           "/\xc3\x9c"
                           "berfilm \xe2\x9c\x93 \xf0\x9f\x8e\xac.mov";
  ASSERT_EQ(GetHandleSize(ref), Size(utf8.size()));
  EXPECT_EQ(std::string(*ref, utf8.size()), utf8);

  DataHandler dh = nullptr;
  Movie movie = nullptr;
  ASSERT_EQ(CreateMovieStorage(ref, type, FourCC('T', 'V', 'O', 'D'), smCurrentScript,
                               long(createMovieFileDeleteCurFile), &dh, &movie),
            noErr);
  EXPECT_TRUE(std::filesystem::exists(utf8));
  // Without leave to replace it, an existing file is refused.
  DataHandler dh2 = nullptr;
  Movie movie2 = nullptr;
  EXPECT_EQ(CreateMovieStorage(ref, type, 0, 0, 0, &dh2, &movie2), dupFNErr);
  EXPECT_EQ(dh2, nullptr);
  EXPECT_EQ(movie2, nullptr);
  EXPECT_EQ(AddMovieToStorage(movie, dh), noErr);
  EXPECT_EQ(UpdateMovieInStorage(movie, dh), noErr);
  EXPECT_EQ(CloseMovieStorage(dh), noErr);
  DisposeMovie(movie);
  DisposeHandle(ref);
  EXPECT_EQ(Probe(utf8)["format.nb_streams"], "0");

  // Bad paths.
  const UniChar lone[] = {'/', 't', 0xD800, 'x'};
  const UniChar none[] = {0};
  for (auto [chars, n] : {std::pair<const UniChar*, CFIndex>{lone, 4}, {none, 0}}) {
    CFStringRef bad = CFStringCreateWithCharacters(kCFAllocatorDefault, chars, n);
    EXPECT_EQ(QTNewDataReferenceFromFullPathCFString(bad, kQTNativeDefaultPathStyle, 0, &ref, &type),
              paramErr);
    EXPECT_EQ(ref, nullptr);
    CFRelease(bad);
  }
  EXPECT_EQ(QTNewDataReferenceFromFullPathCFString(nullptr, -1, 0, &ref, &type), paramErr);
}

TEST_F(CallsTest, DataReferenceToAnOpenFile) {
  const std::string path = PathOf("open.mov");
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, "earlier bytes", 13), 13);
  Handle ref = nullptr;
  OSType type = 0;
  ASSERT_EQ(QTNewDataReferenceFromOpenFile(fd, &ref, &type), noErr);
  EXPECT_EQ(type, kOpenFileDataRefType);
  DataHandler dh = nullptr;
  Movie movie = nullptr;
  // Without leave to replace them, the file's bytes are refused.
  EXPECT_EQ(CreateMovieStorage(ref, type, 0, 0, 0, &dh, &movie), dupFNErr);
  EXPECT_EQ(dh, nullptr);
  // The file's name now names a link to another file: the movie goes into
  // the open file all the same, and the other file is not touched.
  ASSERT_EQ(rename(path.c_str(), PathOf("moved.mov").c_str()), 0);
  std::ofstream(PathOf("victim")) << "victim";
  ASSERT_EQ(symlink("victim", path.c_str()), 0);
  ASSERT_EQ(CreateMovieStorage(ref, type, 0, 0, long(createMovieFileDeleteCurFile), &dh, &movie), noErr);
  EXPECT_EQ(AddMovieToStorage(movie, dh), noErr);
  EXPECT_EQ(CloseMovieStorage(dh), noErr);
  DisposeMovie(movie);
  DisposeHandle(ref);
  EXPECT_EQ(Probe(PathOf("moved.mov"))["format.nb_streams"], "0");
  std::ifstream victim(PathOf("victim"));
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(victim), {}), "victim");
  EXPECT_TRUE(std::filesystem::is_symlink(path));
  // The caller's descriptor stays open.
  EXPECT_GE(fcntl(fd, F_GETFD), 0);
  close(fd);

  // A descriptor that is not open; one open for reading only.
  EXPECT_EQ(QTNewDataReferenceFromOpenFile(-1, &ref, &type), paramErr);
  EXPECT_EQ(QTNewDataReferenceFromOpenFile(fd, &ref, &type), paramErr);
  EXPECT_EQ(ref, nullptr);
  const int reading = open(PathOf("moved.mov").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(reading, 0);
  ASSERT_EQ(QTNewDataReferenceFromOpenFile(reading, &ref, &type), noErr);
  EXPECT_EQ(CreateMovieStorage(ref, type, 0, 0, long(createMovieFileDeleteCurFile), &dh, &movie), paramErr);
  DisposeHandle(ref);
  close(reading);
}

TEST_F(CallsTest, TemporalRatesAreKeptInHundredths) {
  ComponentInstance ci = OpenDefaultComponent(StandardCompressionType, StandardCompressionSubType);
  ASSERT_NE(ci, nullptr);
  const struct {
    double rate;
    Fixed expected;
  } cases[] = {{23.976, 0x17FAE1}, {24, 24 << 16}, {25, 25 << 16},
               {29.97, 0x1DF851},  {30, 30 << 16}, {50, 50 << 16},
               {59.94, 0x3BF0A3},  {60, 60 << 16}, {0, 0}};
  for (auto c : cases) {
    SCTemporalSettings t{768, Fixed(c.rate * 65536.0), 24};
    ASSERT_EQ(SCSetInfo(ci, scTemporalSettingsType, &t), noErr);
    SCTemporalSettings back{};
    ASSERT_EQ(SCGetInfo(ci, scTemporalSettingsType, &back), noErr);
    EXPECT_EQ(back.frameRate, c.expected) << c.rate;
    EXPECT_EQ(back.temporalQuality, 768u);
    EXPECT_EQ(back.keyFrameRate, 24);
  }
  SCSpatialSettings s{kH264CodecType, nullptr, 0, 768}, sb{};
  EXPECT_EQ(SCSetInfo(ci, scSpatialSettingsType, &s), noErr);
  EXPECT_EQ(SCGetInfo(ci, scSpatialSettingsType, &sb), noErr);
  EXPECT_EQ(sb.codecType, kH264CodecType);
  EXPECT_EQ(sb.spatialQuality, 768u);
  int32_t prefs = 0x1F3, pb = 0;
  EXPECT_EQ(SCSetInfo(ci, scPreferenceFlagsType, &prefs), noErr);
  EXPECT_EQ(SCGetInfo(ci, scPreferenceFlagsType, &pb), noErr);
  EXPECT_EQ(pb, 0x1F3);
  EXPECT_EQ(SCSetInfo(ci, FourCC('x', 'x', 'x', 'x'), &pb), paramErr);
  EXPECT_EQ(SCSetInfo(ci, scPreferenceFlagsType, nullptr), paramErr);
  EXPECT_EQ(SCSetInfo(nullptr, scPreferenceFlagsType, &pb), badComponentInstance);
  EXPECT_EQ(SCGetInfo(nullptr, scPreferenceFlagsType, &pb), badComponentInstance);
  EXPECT_EQ(CloseComponent(ci), noErr);
  EXPECT_EQ(OpenDefaultComponent(FourCC('x', 'x', 'x', 'x'), StandardCompressionSubType), nullptr);
}

TEST_F(CallsTest, CodecInfoNamesH264Only) {
  CodecInfo info;
  ASSERT_EQ(GetCodecInfo(&info, kH264CodecType, nullptr), noErr);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(info.typeName) + 1, info.typeName[0]), "H.264");
  EXPECT_EQ(GetCodecInfo(&info, FourCC('j', 'p', 'e', 'g'), nullptr), noCodecErr);
  EXPECT_EQ(GetCodecInfo(nullptr, kH264CodecType, nullptr), paramErr);
}

TEST_F(CallsTest, UserDataTextItems) {
  const std::string path = PathOf("ud.mov");
  MovieDriver d;
  ASSERT_TRUE(d.Open(path, "first"));
  // Reach the movie through a second data reference to the same kind of
  // calls: make another movie and play with its user data directly.
  Handle ref = NewHandle(Size(PathOf("u2.mov").size()));
  ASSERT_NE(ref, nullptr);
  std::memcpy(*ref, PathOf("u2.mov").data(), PathOf("u2.mov").size());
  DataHandler dh = nullptr;
  Movie movie = nullptr;
  ASSERT_EQ(CreateMovieStorage(ref, rAliasType, 0, 0, long(createMovieFileDeleteCurFile), &dh, &movie),
            noErr);
  UserData ud = GetMovieUserData(movie);
  ASSERT_NE(ud, nullptr);
  const OSType inf = FourCC(char(0xA9), 'i', 'n', 'f');
  auto text = [](const std::string& t) {
    Handle h = NewHandle(Size(t.size()));
    BlockMoveData(t.data(), *h, Size(t.size()));
    return h;
  };
  Handle a = text("one"), b = text("two"), c = text("three");
  EXPECT_EQ(AddUserDataText(ud, a, inf, 1, 0), noErr);
  EXPECT_EQ(AddUserDataText(ud, b, inf, 1, 0), noErr);     // same language: replaced
  EXPECT_EQ(AddUserDataText(ud, c, inf, 3, 0), paramErr);  // no item 2 yet
  EXPECT_EQ(AddUserDataText(ud, c, inf, 2, 0), noErr);     // a second item
  EXPECT_EQ(AddUserDataText(ud, c, inf, 0, 0), paramErr);
  EXPECT_EQ(AddUserDataText(nullptr, c, inf, 1, 0), paramErr);
  EXPECT_EQ(AddUserDataText(ud, nullptr, inf, 1, 0), paramErr);
  Handle big = NewHandle(70000);
  EXPECT_EQ(AddUserDataText(ud, big, inf, 1, 0), paramErr);
  for (Handle h : {a, b, c, big}) DisposeHandle(h);
  EXPECT_EQ(AddMovieToStorage(movie, dh), noErr);
  EXPECT_EQ(CloseMovieStorage(dh), noErr);
  DisposeMovie(movie);
  DisposeHandle(ref);
  // Two items, each one text: "two" then "three".
  auto atoms = ReadAtoms(PathOf("u2.mov"));
  std::vector<std::string> texts;
  for (const Atom& at : atoms)
    if (at.path == "moov/udta/@inf") {
      auto bytes = ReadBytes(PathOf("u2.mov"), at.offset, at.size);
      const uint32_t len = (uint32_t(bytes[8]) << 8) | bytes[9];
      ASSERT_EQ(at.size, 12 + len);
      texts.emplace_back(bytes.begin() + 12, bytes.end());
    }
  EXPECT_EQ(texts, (std::vector<std::string>{"two", "three"}));
  EXPECT_EQ(d.Close(), noErr);
}

TEST_F(CallsTest, NullObjectsAreRefusedWithoutACrash) {
  EXPECT_EQ(CreateMovieStorage(nullptr, rAliasType, 0, 0, 0, nullptr, nullptr), paramErr);
  EXPECT_EQ(AddMovieToStorage(nullptr, nullptr), invalidMovie);
  EXPECT_EQ(UpdateMovieInStorage(nullptr, nullptr), invalidMovie);
  EXPECT_EQ(CloseMovieStorage(nullptr), paramErr);
  EXPECT_EQ(GetMovieUserData(nullptr), nullptr);
  EXPECT_EQ(GetMoviesError(), invalidMovie);
  EXPECT_EQ(NewMovieTrack(nullptr, 1 << 16, 1 << 16, 0), nullptr);
  EXPECT_EQ(GetMoviesError(), invalidMovie);
  EXPECT_EQ(NewTrackMedia(nullptr, VideoMediaType, 2500, nullptr, 0), nullptr);
  EXPECT_EQ(GetMoviesError(), invalidTrack);
  EXPECT_EQ(BeginMediaEdits(nullptr), invalidMedia);
  EXPECT_EQ(EndMediaEdits(nullptr), invalidMedia);
  EXPECT_EQ(GetMediaDuration(nullptr), 0);
  EXPECT_EQ(InsertMediaIntoTrack(nullptr, 0, 0, 0, fixed1), invalidTrack);
  EXPECT_EQ(AddMediaSampleFromEncodedFrame(nullptr, nullptr, nullptr), invalidMedia);
  EXPECT_EQ(SCCopyCompressionSessionOptions(nullptr, nullptr), badComponentInstance);
  EXPECT_EQ(ICMCompressionSessionOptionsCreate(nullptr, nullptr), paramErr);
  EXPECT_EQ(ICMCompressionSessionOptionsSetAllowTemporalCompression(nullptr, true), paramErr);
  EXPECT_EQ(ICMCompressionSessionOptionsSetAllowFrameReordering(nullptr, true), paramErr);
  EXPECT_EQ(ICMCompressionSessionEncodeFrame(nullptr, nullptr, 0, 100, 3, nullptr, nullptr, nullptr),
            paramErr);
  EXPECT_EQ(ICMCompressionSessionCompleteFrames(nullptr, true, 0, 0), paramErr);
  EXPECT_EQ(CVPixelBufferCreateWithBytes(nullptr, 4, 4, 24, nullptr, 12, nullptr, nullptr, nullptr, nullptr),
            kCVReturnInvalidArgument);
  ICMCompressionSessionRelease(nullptr);
  ICMCompressionSessionOptionsRelease(nullptr);
  CVPixelBufferRelease(nullptr);
  DisposeTrackMedia(nullptr);
  DisposeMovieTrack(nullptr);
  DisposeMovie(nullptr);
  DisposeHandle(nullptr);
  CFRelease(nullptr);
  EXPECT_EQ(CloseComponent(nullptr), paramErr);
}

TEST_F(CallsTest, BadSizesAndFormatsAreRefused) {
  uint8_t pixels[64 * 3 * 4] = {};
  CVPixelBufferRef pb = nullptr;
  // The writer passes its width and height before a track exists as -1.
  EXPECT_EQ(CVPixelBufferCreateWithBytes(nullptr, size_t(-1), size_t(-1), 24, pixels, 192, nullptr, nullptr,
                                         nullptr, &pb),
            kCVReturnInvalidSize);
  EXPECT_EQ(CVPixelBufferCreateWithBytes(nullptr, 0, 4, 24, pixels, 192, nullptr, nullptr, nullptr, &pb),
            kCVReturnInvalidSize);
  EXPECT_EQ(CVPixelBufferCreateWithBytes(nullptr, 64, 4, 24, pixels, 191, nullptr, nullptr, nullptr, &pb),
            kCVReturnInvalidArgument);
  EXPECT_EQ(CVPixelBufferCreateWithBytes(nullptr, 64, 4, 24, pixels, size_t(1) << 31, nullptr, nullptr,
                                         nullptr, &pb),
            kCVReturnInvalidArgument);
  EXPECT_EQ(CVPixelBufferCreateWithBytes(nullptr, 64, 4, 32, pixels, 256, nullptr, nullptr, nullptr, &pb),
            kCVReturnInvalidPixelFormat);
  EXPECT_EQ(pb, nullptr);

  ICMEncodedFrameOutputRecord out{&DropFrame, nullptr, nullptr};
  ICMCompressionSessionRef s = nullptr;
  for (auto [w, h] : {std::pair{0, 16}, {16, 0}, {-1, 16}, {16385, 16}, {16, 16385}})
    EXPECT_EQ(ICMCompressionSessionCreate(nullptr, w, h, kH264CodecType, 2500, nullptr, nullptr, &out, &s),
              paramErr)
        << w << "x" << h;
  EXPECT_EQ(ICMCompressionSessionCreate(nullptr, 16, 16, kH264CodecType, 0, nullptr, nullptr, &out, &s),
            paramErr);
  EXPECT_EQ(ICMCompressionSessionCreate(nullptr, 16, 16, FourCC('j', 'p', 'e', 'g'), 2500, nullptr, nullptr,
                                        &out, &s),
            noCodecErr);
  EXPECT_EQ(ICMCompressionSessionCreate(nullptr, 16, 16, kH264CodecType, 2500, nullptr, nullptr, nullptr, &s),
            paramErr);
  // Attributes that do not match the session.
  for (auto [format, w, h] : {std::tuple{32, 16, 16}, {24, 18, 16}, {24, 16, 14}}) {
    const void* keys[3] = {CFSTR("PixelFormatType"), CFSTR("Width"), CFSTR("Height")};
    const void* values[3] = {CFNumberCreate(nullptr, kCFNumberIntType, &format),
                             CFNumberCreate(nullptr, kCFNumberIntType, &w),
                             CFNumberCreate(nullptr, kCFNumberIntType, &h)};
    CFDictionaryRef attributes = CFDictionaryCreate(nullptr, keys, values, 3, nullptr, nullptr);
    for (const void* v : values) CFRelease(static_cast<CFTypeRef>(v));
    ASSERT_NE(attributes, nullptr);
    EXPECT_EQ(
        ICMCompressionSessionCreate(nullptr, 16, 16, kH264CodecType, 2500, nullptr, attributes, &out, &s),
        paramErr);
    CFRelease(attributes);
  }
  EXPECT_EQ(s, nullptr);

  // Through the writer's order: a 32-bit pixel format cannot make a session.
  MovieDriver d;
  ASSERT_TRUE(d.Open(PathOf("fmt.mov"), "x"));
  EXPECT_FALSE(d.Begin(64, 64, 2, 768, 32));
  EXPECT_EQ(d.error(), "Failed to create compression session");
  EXPECT_EQ(d.Close(), noErr);
}

TEST_F(CallsTest, FramesAreRefusedOutOfOrder) {
  uint8_t rgb[16 * 16 * 3] = {};
  {
    // Before the track is begun.
    MovieDriver d;
    ASSERT_TRUE(d.Open(PathOf("a.mov"), "x"));
    EXPECT_FALSE(d.AddFrame(rgb, 48));
    EXPECT_EQ(d.error(), "Failed to create a pixelbuffer for a video frame");
    EXPECT_FALSE(d.Finish());
    EXPECT_EQ(d.error(), "Failed to finish compression session");
    EXPECT_EQ(d.Close(), noErr);
  }
  {
    // Before the movie is open.
    MovieDriver d;
    EXPECT_FALSE(d.Begin(16, 16, 2));
    EXPECT_EQ(d.error(), "Failed to create video track");
    EXPECT_EQ(d.Close(), noErr);
  }
  {
    // After the track is finished, and a second track.
    MovieDriver d;
    ASSERT_TRUE(d.Open(PathOf("b.mov"), "x"));
    ASSERT_TRUE(d.Begin(16, 16, 2));
    ASSERT_TRUE(d.AddFrame(rgb, 48));
    ASSERT_TRUE(d.Finish());
    EXPECT_FALSE(d.AddFrame(rgb, 48));
    EXPECT_FALSE(d.Begin(16, 16, 2));
    EXPECT_EQ(d.error(), "Failed to create video track");
    EXPECT_EQ(d.Close(), noErr);
    EXPECT_EQ(Probe(PathOf("b.mov"))["nb_read_frames"], "1");
  }
}

TEST_F(CallsTest, SessionRulesOnTimesAndCompletion) {
  ICMEncodedFrameOutputRecord out{&DropFrame, nullptr, nullptr};
  ICMCompressionSessionRef s = nullptr;
  ASSERT_EQ(ICMCompressionSessionCreate(nullptr, 16, 16, kH264CodecType, 2500, nullptr, nullptr, &out, &s),
            noErr);
  uint8_t rgb[16 * 16 * 3] = {};
  CVPixelBufferRef pb = nullptr;
  ASSERT_EQ(CVPixelBufferCreateWithBytes(nullptr, 16, 16, 24, rgb, 48, nullptr, nullptr, nullptr, &pb),
            noErr);
  CVPixelBufferRef wrong = nullptr;
  ASSERT_EQ(CVPixelBufferCreateWithBytes(nullptr, 8, 16, 24, rgb, 48, nullptr, nullptr, nullptr, &wrong),
            noErr);
  EXPECT_EQ(ICMCompressionSessionEncodeFrame(s, pb, 0, 100, 1, nullptr, nullptr, nullptr),
            paramErr);  // duration not valid
  EXPECT_EQ(ICMCompressionSessionEncodeFrame(s, pb, 0, 0, 3, nullptr, nullptr, nullptr), paramErr);
  EXPECT_EQ(ICMCompressionSessionEncodeFrame(s, wrong, 0, 100, 3, nullptr, nullptr, nullptr),
            kCVReturnInvalidSize);
  EXPECT_EQ(ICMCompressionSessionEncodeFrame(s, pb, 100, 100, 3, nullptr, nullptr, nullptr), noErr);
  EXPECT_EQ(ICMCompressionSessionEncodeFrame(s, pb, 100, 100, 3, nullptr, nullptr, nullptr),
            paramErr);  // display times must increase
  EXPECT_EQ(ICMCompressionSessionEncodeFrame(s, pb, 0, 100, 3, nullptr, nullptr, nullptr), paramErr);
  EXPECT_EQ(ICMCompressionSessionEncodeFrame(s, pb, 200, 100, 3, nullptr, nullptr, nullptr), noErr);
  EXPECT_EQ(ICMCompressionSessionCompleteFrames(s, false, 200, 0), paramErr);
  EXPECT_EQ(ICMCompressionSessionCompleteFrames(s, true, 0, 0), noErr);
  EXPECT_EQ(ICMCompressionSessionCompleteFrames(s, true, 0, 0), noErr);
  EXPECT_EQ(ICMCompressionSessionEncodeFrame(s, pb, 300, 100, 3, nullptr, nullptr, nullptr),
            paramErr);  // nothing after completion
  CVPixelBufferRelease(pb);
  CVPixelBufferRelease(wrong);
  ICMCompressionSessionRelease(s);
}

int gReleased = 0;
void CountRelease(void* refcon, const void* base) {
  EXPECT_EQ(refcon, &gReleased);
  EXPECT_NE(base, nullptr);
  ++gReleased;
}

TEST_F(CallsTest, PixelBufferReleaseCallsTheOwnersCallback) {
  uint8_t rgb[12] = {};
  CVPixelBufferRef pb = nullptr;
  gReleased = 0;
  ASSERT_EQ(CVPixelBufferCreateWithBytes(nullptr, 2, 2, 24, rgb, 6, &CountRelease, &gReleased, nullptr, &pb),
            noErr);
  EXPECT_EQ(gReleased, 0);
  CVPixelBufferRelease(pb);
  EXPECT_EQ(gReleased, 1);
}

TEST_F(CallsTest, OutputCallbackFailureFailsTheSessionForGood) {
  struct Counter {
    int calls = 0;
  } counter;
  auto failing = [](void* refcon, ICMCompressionSessionRef, OSStatus, ICMEncodedFrameRef, void*) -> OSStatus {
    ++static_cast<Counter*>(refcon)->calls;
    return dskFulErr;
  };
  ICMEncodedFrameOutputRecord out{failing, &counter, nullptr};
  ICMCompressionSessionRef s = nullptr;
  ASSERT_EQ(ICMCompressionSessionCreate(nullptr, 16, 16, kH264CodecType, 2500, nullptr, nullptr, &out, &s),
            noErr);
  uint8_t rgb[16 * 16 * 3] = {};
  CVPixelBufferRef pb = nullptr;
  ASSERT_EQ(CVPixelBufferCreateWithBytes(nullptr, 16, 16, 24, rgb, 48, nullptr, nullptr, nullptr, &pb),
            noErr);
  // Default options: no temporal compression; the frames come out at the end.
  for (int i = 0; i < 3; ++i)
    ICMCompressionSessionEncodeFrame(s, pb, i * 100, 100, 3, nullptr, nullptr, nullptr);
  EXPECT_EQ(ICMCompressionSessionCompleteFrames(s, true, 0, 0), dskFulErr);
  EXPECT_EQ(counter.calls, 1);  // no frame is handed out after the failure
  EXPECT_EQ(ICMCompressionSessionEncodeFrame(s, pb, 900, 100, 3, nullptr, nullptr, nullptr), dskFulErr);
  CVPixelBufferRelease(pb);
  ICMCompressionSessionRelease(s);
}

// ------------------------------------------------------------ fault switch

enum class Step { Open, Begin, AddFrame, Finish, Close, None };
struct FaultCase {
  faults::Call call;
  unsigned skip;
  Step step;         // where the writer's sequence stops
  const char* text;  // the writer's text for it
  bool infoItem;     // the saved movie has the text item
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << "call " << int(c.call) << " after " << c.skip; }
class FaultTest : public CallsTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(FaultTest, ReachesTheWritersFailure) {
  const FaultCase c = GetParam();
  const std::string path = PathOf("fault.mov");
  faults::Arm(c.call, c.call == faults::Call::GetMovieUserData ? invalidMovie : ioErr, c.skip);
  MovieDriver d;
  Step failed = Step::None;
  OSErr closeResult = noErr;
  const int frames = 4;
  if (!d.Open(path, "info")) {
    failed = Step::Open;
  } else if (!d.Begin(32, 32, 2)) {
    failed = Step::Begin;
  } else {
    for (int i = 0; i < frames && failed == Step::None; ++i) {
      auto f = NaturalFrame(32, 32, 96, i);
      if (!d.AddFrame(f.data(), 96)) failed = Step::AddFrame;
    }
    if (failed == Step::None && !d.Finish()) failed = Step::Finish;
  }
  closeResult = d.Close();
  if (failed == Step::None && closeResult != noErr) failed = Step::Close;
  EXPECT_EQ(int(failed), int(c.step));
  if (c.step != Step::None && c.step != Step::Close) {
    EXPECT_EQ(d.error(), c.text);
  }

  // Whatever failed after the storage was made, the movie is saved and
  // readable, unless saving itself was what failed.
  if (c.step != Step::Open && c.step != Step::Close) {
    auto p = Probe(path);
    EXPECT_TRUE(p.count("format.nb_streams")) << "unreadable movie";
    EXPECT_EQ(p.count("format.TAG:comment") > 0, c.infoItem);
  }
}

std::string FaultName(const ::testing::TestParamInfo<FaultCase>& info) {
  static const char* const kNames[] = {"InitializeQTML",
                                       "EnterMovies",
                                       "Gestalt",
                                       "CFStringCreateWithCharacters",
                                       "QTNewDataReference",
                                       "CreateMovieStorage",
                                       "GetMovieUserData",
                                       "NewHandle",
                                       "AddUserDataText",
                                       "OpenDefaultComponent",
                                       "SCGetInfo",
                                       "NewMovieTrack",
                                       "NewTrackMedia",
                                       "GetCodecInfo",
                                       "OptionsCreate",
                                       "SCCopyCompressionSessionOptions",
                                       "SetAllowTemporalCompression",
                                       "SetAllowFrameReordering",
                                       "CFNumberCreate",
                                       "CFDictionaryCreate",
                                       "SessionCreate",
                                       "BeginMediaEdits",
                                       "PixelBufferCreate",
                                       "EncodeFrame",
                                       "AddMediaSample",
                                       "CompleteFrames",
                                       "EndMediaEdits",
                                       "InsertMediaIntoTrack",
                                       "AddMovieToStorage",
                                       "UpdateMovieInStorage",
                                       "CloseMovieStorage"};
  static_assert(sizeof kNames / sizeof kNames[0] == size_t(faults::Call::Count));
  return std::string(kNames[size_t(info.param.call)]) + "_" + std::to_string(info.param.skip);
}

INSTANTIATE_TEST_SUITE_P(
    EveryCall, FaultTest,
    ::testing::Values(
        // QTML failing alone is noted by the writer, which goes on.
        FaultCase{faults::Call::InitializeQTML, 0, Step::None, "", true},
        FaultCase{faults::Call::EnterMovies, 0, Step::Open, "QuickTime 7.1 or higher must be installed",
                  false},
        FaultCase{faults::Call::Gestalt, 0, Step::Open, "QuickTime 7.1 or higher must be installed", false},
        FaultCase{faults::Call::CFStringCreateWithCharacters, 0, Step::Open,
                  "Failed to open the dest file for writing", false},
        FaultCase{faults::Call::QTNewDataReferenceFromFullPathCFString, 0, Step::Open,
                  "Failed to open the dest file for writing", false},
        FaultCase{faults::Call::CreateMovieStorage, 0, Step::Open, "Failed to create a new movie", false},
        // User data failures are not examined: a movie without the item.
        FaultCase{faults::Call::GetMovieUserData, 0, Step::None, "", false},
        FaultCase{faults::Call::NewHandle, 0, Step::None, "", false},
        FaultCase{faults::Call::AddUserDataText, 0, Step::None, "", false},
        FaultCase{faults::Call::OpenDefaultComponent, 0, Step::Begin, "Failed to copy compression options",
                  true},
        // Read-back spatial settings cleared: no codec type.
        FaultCase{faults::Call::SCGetInfo, 1, Step::Begin, "Failed to resolve codec info", true},
        // Read-back rate cleared: the writer takes the index's time scale.
        FaultCase{faults::Call::SCGetInfo, 2, Step::None, "", true},
        FaultCase{faults::Call::NewMovieTrack, 0, Step::Begin, "Failed to create video track", true},
        FaultCase{faults::Call::NewTrackMedia, 0, Step::Begin, "Failed to create video media", true},
        FaultCase{faults::Call::GetCodecInfo, 0, Step::Begin, "Failed to resolve codec info", true},
        FaultCase{faults::Call::ICMCompressionSessionOptionsCreate, 0, Step::Begin,
                  "Failed to create compression options", true},
        FaultCase{faults::Call::SCCopyCompressionSessionOptions, 0, Step::Begin,
                  "Failed to copy compression options", true},
        FaultCase{faults::Call::SetAllowTemporalCompression, 0, Step::Begin,
                  "Failed to enable temporal compression options", true},
        FaultCase{faults::Call::SetAllowFrameReordering, 0, Step::Begin, "Failed to set compression options",
                  true},
        // Without the attributes dictionary the session still takes 24-bit RGB.
        FaultCase{faults::Call::CFNumberCreate, 0, Step::None, "", true},
        FaultCase{faults::Call::CFDictionaryCreate, 0, Step::None, "", true},
        FaultCase{faults::Call::ICMCompressionSessionCreate, 0, Step::Begin,
                  "Failed to create compression session", true},
        FaultCase{faults::Call::BeginMediaEdits, 0, Step::Begin, "Failed to start editing the video track",
                  true},
        FaultCase{faults::Call::CVPixelBufferCreateWithBytes, 2, Step::AddFrame,
                  "Failed to create a pixelbuffer for a video frame", true},
        FaultCase{faults::Call::ICMCompressionSessionEncodeFrame, 1, Step::AddFrame,
                  "Failed to encode video frame", true},
        // Samples come out of the encoder only when it is drained here.
        FaultCase{faults::Call::AddMediaSampleFromEncodedFrame, 0, Step::Finish,
                  "Failed to finish compression session", true},
        FaultCase{faults::Call::ICMCompressionSessionCompleteFrames, 0, Step::Finish,
                  "Failed to finish compression session", true},
        FaultCase{faults::Call::EndMediaEdits, 0, Step::Finish, "Failed to finish the media edit", true},
        FaultCase{faults::Call::InsertMediaIntoTrack, 0, Step::Finish, "Failed to insert media into track",
                  true},
        FaultCase{faults::Call::AddMovieToStorage, 0, Step::Close, "", false},
        FaultCase{faults::Call::UpdateMovieInStorage, 0, Step::Close, "", false},
        FaultCase{faults::Call::CloseMovieStorage, 0, Step::Close, "", false}),
    FaultName);

}  // namespace
}  // namespace qttest
