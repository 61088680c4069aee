// bench-libs: quicktime
// Encode speed of 2048 x 1080 frames at quality 768 through the movie calls
// in the writer's order (open, begin, 48 frames, finish, close: the RGB to
// Y'CbCr conversion, the encoder's pipeline fill and drain, the file), with
// FFmpeg's command-line tool doing the same job as the peer: the same 8
// grainy frames cycled 6 times, BT.709 limited range, libx264 CRF 18,
// preset medium.  Reported: frames per second (wall) and CPU milliseconds per
// frame of the whole process (all encoder threads).
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "platform/quicktime/quicktime.h"

namespace {

using namespace qt;

constexpr int kWidth = 2048, kHeight = 1080, kDistinct = 8, kFrames = 48;

// Smooth gradients with per-pixel grain: the hard, film-like case.
const std::vector<std::vector<uint8_t>>& Frames() {
  static const std::vector<std::vector<uint8_t>> frames = [] {
    std::vector<std::vector<uint8_t>> f(kDistinct);
    std::mt19937 rng(7);
    std::normal_distribution<float> grain(0.0f, 3.0f);
    for (int i = 0; i < kDistinct; ++i) {
      f[size_t(i)].resize(size_t(kWidth) * kHeight * 3);
      uint8_t* p = f[size_t(i)].data();
      for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
          const float u = float(x) / kWidth, v = float(y) / kHeight, t = 0.1f * float(i);
          const float c[3] = {40 + 160 * u, 50 + 140 * v + 20 * std::sin(4 * u + t), 90 + 90 * (1 - u) * v};
          for (int k = 0; k < 3; ++k) *p++ = uint8_t(std::fmin(255.0f, std::fmax(0.0f, c[k] + grain(rng))));
        }
    }
    return f;
  }();
  return frames;
}

double ProcessCpuSeconds() {
  struct rusage ru;
  getrusage(RUSAGE_SELF, &ru);
  return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
         1e-6 * double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec);
}
double ChildrenCpuSeconds() {
  struct rusage ru;
  getrusage(RUSAGE_CHILDREN, &ru);
  return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
         1e-6 * double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec);
}

OSStatus OnEncodedFrame(void* refcon, ICMCompressionSessionRef, OSStatus, ICMEncodedFrameRef frame, void*) {
  return AddMediaSampleFromEncodedFrame(static_cast<Media>(refcon), frame, nullptr);
}
void OnSourceFrameTracking(void*, ICMSourceTrackingFlags flags, void* source, void*) {
  if (flags & kICMSourceTracking_ReleasedPixelBuffer)
    CVPixelBufferRelease(static_cast<CVPixelBufferRef>(source));
}

// One movie in the writer's order; false on any failure.
bool WriteMovie(const std::string& path) {
  Handle ref = NewHandle(Size(path.size()));
  BlockMoveData(path.data(), *ref, Size(path.size()));
  DataHandler dh = nullptr;
  Movie movie = nullptr;
  bool ok = CreateMovieStorage(ref, rAliasType, 0, smCurrentScript, long(createMovieFileDeleteCurFile), &dh,
                               &movie) == noErr;
  ComponentInstance ci = OpenDefaultComponent(StandardCompressionType, StandardCompressionSubType);
  SCSpatialSettings spatial{kH264CodecType, nullptr, 0, codecHighQuality};
  SCTemporalSettings temporal{codecHighQuality, 24 << 16, 24};
  SCSetInfo(ci, scSpatialSettingsType, &spatial);
  SCSetInfo(ci, scTemporalSettingsType, &temporal);
  Track track = ok ? NewMovieTrack(movie, FixRatio(kWidth, 1), FixRatio(kHeight, 1), 0) : nullptr;
  Media media = track ? NewTrackMedia(track, VideoMediaType, 2400, nullptr, 0) : nullptr;
  ICMCompressionSessionOptionsRef options = nullptr;
  ICMCompressionSessionRef session = nullptr;
  ok = media != nullptr && SCCopyCompressionSessionOptions(ci, &options) == noErr &&
       ICMCompressionSessionOptionsSetAllowTemporalCompression(options, true) == noErr &&
       ICMCompressionSessionOptionsSetAllowFrameReordering(options, true) == noErr;
  ICMEncodedFrameOutputRecord out{&OnEncodedFrame, media, nullptr};
  ok = ok && ICMCompressionSessionCreate(nullptr, kWidth, kHeight, kH264CodecType, 2400, options, nullptr,
                                         &out, &session) == noErr;
  ICMCompressionSessionOptionsRelease(options);
  ok = ok && BeginMediaEdits(media) == noErr;
  for (int i = 0; ok && i < kFrames; ++i) {
    CVPixelBufferRef pb = nullptr;
    const std::vector<uint8_t>& f = Frames()[size_t(i % kDistinct)];
    ok = CVPixelBufferCreateWithBytes(nullptr, kWidth, kHeight, k24RGBPixelFormat,
                                      const_cast<uint8_t*>(f.data()), kWidth * 3, nullptr, nullptr, nullptr,
                                      &pb) == noErr;
    ICMSourceTrackingCallbackRecord tracking{&OnSourceFrameTracking, nullptr};
    ok = ok && ICMCompressionSessionEncodeFrame(session, pb, int64_t(i) * 100, 100, 3, nullptr, &tracking,
                                                pb) == noErr;
  }
  ok = ok && ICMCompressionSessionCompleteFrames(session, true, 0, 0) == noErr;
  ok = ok && EndMediaEdits(media) == noErr &&
       InsertMediaIntoTrack(track, 0, 0, GetMediaDuration(media), fixed1) == noErr;
  ok = ok && AddMovieToStorage(movie, dh) == noErr;
  if (dh != nullptr && CloseMovieStorage(dh) != noErr) ok = false;
  ICMCompressionSessionRelease(session);
  DisposeTrackMedia(media);
  DisposeMovieTrack(track);
  DisposeMovie(movie);
  DisposeHandle(ref);
  CloseComponent(ci);
  return ok;
}

void BM_MovieCalls_2K_Quality768(benchmark::State& state) {
  Frames();
  EnterMovies();
  const std::string path = "/tmp/qt_bench_" + std::to_string(getpid()) + ".mov";
  double cpu = 0;
  int64_t frames = 0;
  for (auto _ : state) {
    const double c0 = ProcessCpuSeconds();
    if (!WriteMovie(path)) {
      state.SkipWithError("movie calls failed");
      break;
    }
    cpu += ProcessCpuSeconds() - c0;
    frames += kFrames;
  }
  std::remove(path.c_str());
  state.counters["fps"] = benchmark::Counter(double(frames), benchmark::Counter::kIsRate);
  state.counters["cpu_ms_per_frame"] = frames > 0 ? 1000.0 * cpu / double(frames) : 0.0;
}
BENCHMARK(BM_MovieCalls_2K_Quality768)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

// The peer: ffmpeg reading the same raw frames, converting and encoding
// with the same settings into a QuickTime movie.
void BM_FFmpegPeer_2K_Crf18(benchmark::State& state) {
  const std::string raw = "/tmp/qt_bench_" + std::to_string(getpid()) + ".rgb";
  const std::string mov = "/tmp/qt_bench_peer_" + std::to_string(getpid()) + ".mov";
  {
    std::ofstream out(raw, std::ios::binary);
    for (const auto& f : Frames()) out.write(reinterpret_cast<const char*>(f.data()), long(f.size()));
  }
  const std::string cmd =
      "ffmpeg -v error -y -f rawvideo -pix_fmt rgb24 -s 2048x1080 -framerate 24 -stream_loop " +
      std::to_string(kFrames / kDistinct - 1) + " -i " + raw +
      " -vf scale=out_color_matrix=bt709:out_range=tv,format=yuv420p -c:v libx264 -preset medium"
      " -crf 18 -g 24 -color_primaries bt709 -color_trc bt709 -colorspace bt709 -f mov " +
      mov + " > /dev/null 2>&1";
  double cpu = 0;
  int64_t frames = 0;
  for (auto _ : state) {
    const double c0 = ChildrenCpuSeconds();
    if (std::system(cmd.c_str()) != 0) {
      state.SkipWithError("ffmpeg failed");
      break;
    }
    cpu += ChildrenCpuSeconds() - c0;
    frames += kFrames;
  }
  std::remove(raw.c_str());
  std::remove(mov.c_str());
  state.counters["fps"] = benchmark::Counter(double(frames), benchmark::Counter::kIsRate);
  state.counters["cpu_ms_per_frame"] = frames > 0 ? 1000.0 * cpu / double(frames) : 0.0;
}
BENCHMARK(BM_FFmpegPeer_2K_Crf18)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

}  // namespace
