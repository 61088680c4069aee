// bench-libs: decoder mxf prim_core
// Decode time of real 2K cinema frames, one thread, in-process: this
// project's Codec::JPEG2000Decoder against OpenJPEG (libopenjp2) and Grok
// (libgrokj2k) decoding the same frames from memory in the same run.  Each
// iteration decodes every frame of a set once; the decoder's lines carry the
// ratios "x_openjpeg" and "x_grok" (peer time / our time, wall clock), and a
// summary follows the table.
//
// Frame sets:
//   "cinema"  the real 2K frames of the shared test data (cinema/*.j2k above
//             100 KB); DCP_TESTDATA_DIR names another test-data root.
//   "frames"  DCP_BENCH_FRAMES: a folder of codestreams (*.j2c, *.j2k) or a
//             frame-wrapped picture track file (*.mxf), e.g. the 48 frames
//             scripts/make_sample.sh writes.
// Run it pinned to one processor, e.g.
//   DCP_BENCH_FRAMES=sample.mxf taskset -c 2 build-release/bench/decode
//       --benchmark_filter='^(openjpeg|grok|ours)/' --benchmark_repetitions=3
//       --benchmark_enable_random_interleaving=true
// (one command line; the summary keeps each decoder's fastest repetition).
// The decoder runs in the build start-up dispatch picks; the lines
// "ours_build/N" force generation N (0 px .. 6 avx2).
//
// "ours" decodes as the converter does: the caller's 32-bit planes laid out
// as the converter lays them out (rows rounded up to 32 bytes) and lent to
// the decoder (LendCallerPlanes); the ratios are this configuration's.
// "ours/<set>/default" decodes with the decoder's default, planes of its own,
// into 32-bit planes whose rows are rounded up to 64 bytes (as the decoder's
// tests lay them out); the summary shows its figure beside, as ours_default.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "decoder/image_decoder.h"
#include "decoder/image_records.h"
#include "decoder/stream_input.h"
#include "mxf/AS_DCP.h"
#include "primitives/core/cpu.h"
#include "primitives/core/test_hooks.h"

#ifdef DCP_BENCH_HAVE_OPENJPEG
#include <openjpeg.h>
#endif
#ifdef DCP_BENCH_HAVE_GROK
#include <grok.h>
#endif

namespace {

using Bytes = std::vector<std::uint8_t>;

struct FrameSet {
  std::string name;
  std::vector<Bytes> frames;
  std::size_t bytes = 0;
};

Bytes ReadFile(const std::filesystem::path& p) {
  std::ifstream f(p, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

void AddFrame(FrameSet& set, Bytes&& b) {
  if (b.empty()) return;
  set.bytes += b.size();
  set.frames.push_back(std::move(b));
}

void LoadFolder(FrameSet& set, const std::filesystem::path& dir, std::uintmax_t minBytes) {
  std::vector<std::filesystem::path> files;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(dir, ec)) {
    const std::string ext = e.path().extension().string();
    if ((ext == ".j2c" || ext == ".j2k") && e.file_size(ec) >= minBytes) files.push_back(e.path());
  }
  std::sort(files.begin(), files.end());
  for (const auto& f : files) AddFrame(set, ReadFile(f));
}

void LoadTrackFile(FrameSet& set, const std::string& path) {
  ASDCP::JP2K::MXFReader reader;
  if (reader.OpenRead(path.c_str()).Failure()) return;
  ASDCP::JP2K::PictureDescriptor desc{};
  if (reader.FillPictureDescriptor(desc).Failure()) return;
  ASDCP::JP2K::FrameBuffer buf(16u << 20);
  for (std::uint32_t i = 0; i < desc.ContainerDuration; ++i) {
    if (reader.ReadFrame(i, buf).Failure()) break;
    if (buf.Size() == 0) continue;
    set.frames.emplace_back(buf.RoData(), buf.RoData() + buf.Size());
    set.bytes += buf.Size();
  }
}

std::vector<FrameSet>& Sets() {
  static std::vector<FrameSet> sets;
  return sets;
}

void LoadSets() {
  const char* env = std::getenv("DCP_TESTDATA_DIR");
  const std::filesystem::path root =
      env ? std::filesystem::path(env)
          : std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() / "shared" / "testdata";
  FrameSet cinema{"cinema", {}, 0};
  LoadFolder(cinema, root / "cinema", 100 * 1024);
  if (cinema.frames.empty())
    std::fprintf(stderr, "decode bench: no cinema frames under %s (DCP_TESTDATA_DIR names the test data)\n",
                 (root / "cinema").string().c_str());
  else
    Sets().push_back(std::move(cinema));
  if (const char* frames = std::getenv("DCP_BENCH_FRAMES")) {
    FrameSet set{"frames", {}, 0};
    if (std::filesystem::is_directory(frames))
      LoadFolder(set, frames, 0);
    else
      LoadTrackFile(set, frames);
    if (set.frames.empty())
      std::fprintf(stderr, "decode bench: no frames read from DCP_BENCH_FRAMES=%s\n", frames);
    else
      Sets().push_back(std::move(set));
  }
}

// ---------------------------------------------------------------------------
// The decoders.  Each decodes one codestream into 32-bit planes and returns
// false on failure; `planes` (when given) receives the samples, component by
// component, row by row, for the cross-check.

using Planes = std::vector<std::vector<std::int32_t>>;

// Our decoder in one of two configurations: as the converter calls it
// (`converters`: lent planes, the converter's plane layout) or with the
// decoder's defaults.  The image is laid out again only when the size changes.
struct Ours {
  explicit Ours(bool converters = true) : converters(converters) {}
  bool converters;
  Codec::ImageBuffer image;
  bool Decode(const Bytes& bytes, Planes* planes) {
    Codec::CMemBuffInput stream;
    stream.Open(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    Codec::JPEG2000Decoder dec;
    if (dec.Init() != 0 || dec.AttachStream(&stream) != 0) return false;
    dec.LendCallerPlanes(converters);
    Codec::ImageHeader header;
    Codec::ImageSampling sampling;
    if (dec.ReadHeader(&header, &sampling) != 0) return false;
    const Codec::Rect& r = sampling.rect;
    if (image.PlaneCount() == 0 || image.layout.sampling.rect.width != r.width ||
        image.layout.sampling.rect.height != r.height) {
      image.Free();
      // The converter's layout (converter/frame_decoding.cpp), or rows
      // rounded up to 64 bytes.
      const std::int32_t made =
          converters ? image.Alloc(Codec::kImageData32s, Codec::kPlanePerComponent, sampling, 5, 1)
                     : image.Alloc(Codec::kImageData32s, Codec::kPlanePerComponent, sampling, 6, 0);
      if (made != 0) return false;
    }
    if (dec.ReadData(image.planePointers, &image.layout) != 0) return false;
    if (planes) {
      planes->clear();
      for (std::uint32_t c = 0; c < image.PlaneCount(); ++c) {
        const Codec::Rect cr = image.layout.sampling.ComponentRectOf(c);
        std::vector<std::int32_t> p;
        for (std::uint32_t y = 0; y < cr.height; ++y) {
          const auto* row = reinterpret_cast<const std::int32_t*>(
              static_cast<const std::uint8_t*>(image.planePointers[c]) + y * image.layout.rowSteps[c]);
          p.insert(p.end(), row, row + cr.width);
        }
        planes->push_back(std::move(p));
      }
    }
    return true;
  }
};

#ifdef DCP_BENCH_HAVE_OPENJPEG
// OpenJPEG reads the codestream through a memory stream.
struct MemoryStream {
  const Bytes* bytes;
  std::size_t pos;
};

OPJ_SIZE_T OpjRead(void* buf, OPJ_SIZE_T n, void* user) {
  auto* m = static_cast<MemoryStream*>(user);
  const std::size_t left = m->bytes->size() - m->pos;
  if (left == 0) return static_cast<OPJ_SIZE_T>(-1);
  const std::size_t k = std::min<std::size_t>(n, left);
  std::memcpy(buf, m->bytes->data() + m->pos, k);
  m->pos += k;
  return k;
}
OPJ_OFF_T OpjSkip(OPJ_OFF_T n, void* user) {
  auto* m = static_cast<MemoryStream*>(user);
  const auto size = static_cast<OPJ_OFF_T>(m->bytes->size());
  const OPJ_OFF_T to = std::clamp<OPJ_OFF_T>(static_cast<OPJ_OFF_T>(m->pos) + n, 0, size);
  const OPJ_OFF_T moved = to - static_cast<OPJ_OFF_T>(m->pos);
  m->pos = static_cast<std::size_t>(to);
  return moved;
}
OPJ_BOOL OpjSeek(OPJ_OFF_T to, void* user) {
  auto* m = static_cast<MemoryStream*>(user);
  if (to < 0 || static_cast<std::size_t>(to) > m->bytes->size()) return OPJ_FALSE;
  m->pos = static_cast<std::size_t>(to);
  return OPJ_TRUE;
}

bool OpenJpegDecode(const Bytes& bytes, Planes* planes) {
  MemoryStream mem{&bytes, 0};
  opj_stream_t* stream = opj_stream_create(1u << 20, OPJ_TRUE);
  opj_stream_set_user_data(stream, &mem, nullptr);
  opj_stream_set_user_data_length(stream, bytes.size());
  opj_stream_set_read_function(stream, OpjRead);
  opj_stream_set_skip_function(stream, OpjSkip);
  opj_stream_set_seek_function(stream, OpjSeek);
  opj_codec_t* codec = opj_create_decompress(OPJ_CODEC_J2K);
  opj_dparameters_t params;
  opj_set_default_decoder_parameters(&params);
  opj_image_t* image = nullptr;
  bool ok = opj_setup_decoder(codec, &params) && opj_codec_set_threads(codec, 0) &&
            opj_read_header(stream, codec, &image) && opj_decode(codec, stream, image) &&
            opj_end_decompress(codec, stream);
  if (ok && planes) {
    planes->clear();
    for (OPJ_UINT32 c = 0; c < image->numcomps; ++c) {
      const opj_image_comp_t& comp = image->comps[c];
      planes->emplace_back(comp.data, comp.data + static_cast<std::size_t>(comp.w) * comp.h);
    }
  }
  opj_image_destroy(image);
  opj_destroy_codec(codec);
  opj_stream_destroy(stream);
  return ok;
}
#endif

#ifdef DCP_BENCH_HAVE_GROK
bool GrokDecode(const Bytes& bytes, Planes* planes) {
  grk_stream_params stream{};
  stream.buf = const_cast<std::uint8_t*>(bytes.data());
  stream.len = bytes.size();
  grk_decompress_core_params params{};
  grk_decompress_set_default_params(&params);
  grk_codec* codec = grk_decompress_init(&stream, &params);
  if (!codec) return false;
  grk_header_info header{};
  bool ok = grk_decompress_read_header(codec, &header) && grk_decompress(codec, nullptr);
  if (ok && planes) {
    const grk_image* image = grk_decompress_get_composited_image(codec);
    ok = image != nullptr;
    planes->clear();
    for (std::uint16_t c = 0; ok && c < image->numcomps; ++c) {
      const grk_image_comp& comp = image->comps[c];
      std::vector<std::int32_t> p;
      for (std::uint32_t y = 0; y < comp.h; ++y)
        p.insert(p.end(), comp.data + static_cast<std::size_t>(y) * comp.stride,
                 comp.data + static_cast<std::size_t>(y) * comp.stride + comp.w);
      planes->push_back(std::move(p));
    }
  }
  grk_object_unref(codec);
  return ok;
}

void QuietGrok(const char*, void*) {}
#endif

// ---------------------------------------------------------------------------
// Times: seconds per pass over a set, by set name and decoder.  The ratios
// use the process's processor time (every thread counted), which a busy
// machine disturbs less than wall time; both are kept.

struct PassTime {
  double cpu = 0;
  double wall = 0;
};

std::map<std::string, std::map<std::string, PassTime>>& Times() {
  static std::map<std::string, std::map<std::string, PassTime>> t;
  return t;
}

double ProcessCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

template <class Fn>
void RunSet(benchmark::State& state, const FrameSet& set, const std::string& who, Fn&& decode) {
  double wall = 0;
  double cpu = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = ProcessCpuSeconds();
    for (const Bytes& f : set.frames)
      if (!decode(f)) {
        state.SkipWithError((who + ": decode failed").c_str());
        return;
      }
    cpu += ProcessCpuSeconds() - cpuStart;
    wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  const double n = static_cast<double>(state.iterations());
  const PassTime t{cpu / n, wall / n};
  // With repetitions, the fastest pass of each decoder is kept: on a busy
  // machine the others carry other processes' disturbance.
  PassTime& best = Times()[set.name][who];
  if (best.cpu == 0 || t.cpu < best.cpu) best = t;
  state.counters["frames/s"] = benchmark::Counter(static_cast<double>(set.frames.size() * state.iterations()),
                                                  benchmark::Counter::kIsRate);
  state.counters["cpu_ms/frame"] = 1000.0 * t.cpu / static_cast<double>(set.frames.size());
  state.SetBytesProcessed(static_cast<std::int64_t>(set.bytes * state.iterations()));
}

void SetRatios(benchmark::State& state, const std::string& set, const std::string& who) {
  auto& t = Times()[set];
  const double ours = t[who].cpu;
  if (ours <= 0) return;
  if (t.count("openjpeg")) state.counters["x_openjpeg"] = t["openjpeg"].cpu / ours;
  if (t.count("grok")) state.counters["x_grok"] = t["grok"].cpu / ours;
}

// The converter's configuration, or with `gen` >= 0 the same in build `gen`.
void BM_Ours(benchmark::State& state, const FrameSet* set, std::int32_t gen) {
  std::string who = "ours";
  if (gen >= 0) {
    if (!primTestGenerationSupported(gen)) {
      state.SkipWithError("generation not supported here");
      return;
    }
    primTestForceGeneration(gen);
    who += "_build" + std::to_string(gen);
  }
  Ours ours;
  RunSet(state, *set, who, [&](const Bytes& b) { return ours.Decode(b, nullptr); });
  if (gen >= 0) primInitCpuDispatch();
  SetRatios(state, set->name, who);
}

// The decoder's default configuration: planes of its own.
void BM_OursDefault(benchmark::State& state, const FrameSet* set) {
  Ours ours(false);
  RunSet(state, *set, "ours_default", [&](const Bytes& b) { return ours.Decode(b, nullptr); });
  SetRatios(state, set->name, "ours_default");
}

void Summary() {
  std::printf(
      "\nSummary (seconds per pass over a set, fastest repetition, one thread; ratio = peer / ours, "
      "processor time; ours = the converter's configuration, lent planes; ours_default = planes of the "
      "decoder's own)\n");
  for (const FrameSet& set : Sets()) {
    auto& t = Times()[set.name];
    std::printf("  %s: %zu frames, %.1f KB a frame\n", set.name.c_str(), set.frames.size(),
                static_cast<double>(set.bytes) / 1024.0 / static_cast<double>(set.frames.size()));
    for (const auto& [who, s] : t) {
      std::printf("    %-14s cpu %8.3f s  wall %8.3f s", who.c_str(), s.cpu, s.wall);
      if (who == "ours_default") {
        // Beside the converter's configuration, which the ratios are of.
        if (t.count("ours")) std::printf("   %.2fx the time of ours (lent planes)", s.cpu / t["ours"].cpu);
      } else if (who.rfind("ours", 0) == 0) {
        if (t.count("openjpeg")) std::printf("   %.2fx OpenJPEG", t["openjpeg"].cpu / s.cpu);
        if (t.count("grok")) std::printf("   %.2fx Grok", t["grok"].cpu / s.cpu);
      }
      std::printf("\n");
    }
  }
}

// Largest difference between our samples and a peer's on the first frame of
// each set: the timing means little if the decoders disagree.
void CrossCheck() {
  Ours ours, plain(false);
  for (const FrameSet& set : Sets()) {
    Planes mine, own;
    if (!ours.Decode(set.frames.front(), &mine) || !plain.Decode(set.frames.front(), &own)) {
      std::printf("cross-check %s: our decode failed\n", set.name.c_str());
      continue;
    }
    // Both configurations give the same samples.
    if (own != mine)
      std::printf("cross-check %s: planes of the decoder's own give other samples\n", set.name.c_str());
    auto compare = [&](const char* peer, bool ok, const Planes& theirs) {
      if (!ok || theirs.size() != mine.size()) {
        std::printf("cross-check %s: %s gave no comparable image\n", set.name.c_str(), peer);
        return;
      }
      std::int64_t worst = 0;
      for (std::size_t c = 0; c < mine.size(); ++c) {
        if (mine[c].size() != theirs[c].size()) {
          worst = -1;
          break;
        }
        for (std::size_t i = 0; i < mine[c].size(); ++i)
          worst = std::max<std::int64_t>(worst, std::llabs(std::int64_t{mine[c][i]} - theirs[c][i]));
      }
      std::printf("cross-check %s, first frame: largest difference from %s %lld%s\n", set.name.c_str(), peer,
                  static_cast<long long>(worst), worst < 0 ? " (sizes differ)" : "");
    };
    Planes theirs;
#ifdef DCP_BENCH_HAVE_OPENJPEG
    compare("OpenJPEG", OpenJpegDecode(set.frames.front(), &theirs), theirs);
#endif
#ifdef DCP_BENCH_HAVE_GROK
    compare("Grok", GrokDecode(set.frames.front(), &theirs), theirs);
#endif
    (void)compare;
  }
}

}  // namespace

int main(int argc, char** argv) {
  primInitCpuDispatch();
#ifdef DCP_BENCH_HAVE_GROK
  grk_initialize(nullptr, 1);
  grk_set_msg_handlers(QuietGrok, nullptr, QuietGrok, nullptr, QuietGrok, nullptr);
#endif
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  LoadSets();
  if (Sets().empty()) {
    std::fprintf(stderr, "decode bench: no frames (shared test data absent and DCP_BENCH_FRAMES unset)\n");
    return 1;
  }
  CrossCheck();
  // Peers first, so that the decoder's lines can carry the ratios.
  for (const FrameSet& set : Sets()) {
    const FrameSet* s = &set;
#ifdef DCP_BENCH_HAVE_OPENJPEG
    benchmark::RegisterBenchmark(("openjpeg/" + set.name).c_str(),
                                 [s](benchmark::State& st) {
                                   RunSet(st, *s, "openjpeg",
                                          [](const Bytes& b) { return OpenJpegDecode(b, nullptr); });
                                 })
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->MinTime(1.0);
#endif
#ifdef DCP_BENCH_HAVE_GROK
    benchmark::RegisterBenchmark(("grok/" + set.name).c_str(),
                                 [s](benchmark::State& st) {
                                   RunSet(st, *s, "grok",
                                          [](const Bytes& b) { return GrokDecode(b, nullptr); });
                                 })
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->MinTime(1.0);
#endif
    benchmark::RegisterBenchmark(("ours/" + set.name).c_str(), BM_Ours, s, -1)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->MinTime(1.0);
    // Named under "ours/" so that the usual filter runs it too.
    benchmark::RegisterBenchmark(("ours/" + set.name + "/default").c_str(), BM_OursDefault, s)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->MinTime(1.0);
    for (std::int32_t gen = 0; gen <= 6; ++gen)
      benchmark::RegisterBenchmark(("ours_build" + std::to_string(gen) + "/" + set.name).c_str(), BM_Ours, s,
                                   gen)
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime()
          ->MinTime(1.0);
  }
  benchmark::RunSpecifiedBenchmarks();
  Summary();
  benchmark::Shutdown();
#ifdef DCP_BENCH_HAVE_GROK
  grk_deinitialize();
#endif
  return 0;
}
