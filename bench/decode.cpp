// bench-libs: decoder prim_core
// Decode time of one digital-cinema frame (2K, 12-bit X'Y'Z', 9/7) through
// Codec::JPEG2000Decoder into a 32-bit caller image, single thread, in each
// processor build; Debian's opj_decompress and FFmpeg decode the same frame
// in the same run, single-threaded, as peers.  The peers' times include
// their process start and writing their output (to a temporary file or the
// null muxer); compare the decoder's builds with them as ratios.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "decoder/image_decoder.h"
#include "decoder/image_records.h"
#include "decoder/stream_input.h"
#include "primitives/core/test_hooks.h"

namespace {

std::string FramePath() {
  const char* env = std::getenv("DCP_TESTDATA_DIR");
  const std::filesystem::path root =
      env ? std::filesystem::path(env)
          : std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() / "shared" / "testdata";
  return (root / "cinema" / "X_4_2K_24_185_CBR_WB_000.j2k").string();
}

const std::vector<std::uint8_t>& Frame() {
  static const std::vector<std::uint8_t> bytes = [] {
    std::ifstream f(FramePath(), std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
  }();
  return bytes;
}

bool DecodeOnce(Codec::ImageBuffer& image) {
  const std::vector<std::uint8_t>& bytes = Frame();
  Codec::CMemBuffInput stream;
  stream.Open(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
  Codec::JPEG2000Decoder dec;
  if (dec.Init() != 0 || dec.AttachStream(&stream) != 0) return false;
  Codec::ImageHeader header;
  Codec::ImageSampling sampling;
  if (dec.ReadHeader(&header, &sampling) != 0) return false;
  if (image.PlaneCount() == 0 && image.Alloc(Codec::kImageData32s, 0, sampling, 6, 0) != 0) return false;
  return dec.ReadData(image.planePointers, &image.layout) == 0;
}

void BM_Decode(benchmark::State& state) {
  const auto gen = static_cast<std::int32_t>(state.range(0));
  if (Frame().empty()) {
    state.SkipWithError("cinema frame not found");
    return;
  }
  if (!primTestGenerationSupported(gen)) {
    state.SkipWithError("generation not supported here");
    return;
  }
  primTestForceGeneration(gen);
  Codec::ImageBuffer image;
  for (auto _ : state) {
    if (!DecodeOnce(image)) {
      state.SkipWithError("decode failed");
      break;
    }
  }
  primTestForceGeneration(0);
  state.SetLabel(std::string("build ") + std::to_string(gen));
}
BENCHMARK(BM_Decode)->DenseRange(0, 6)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void RunPeer(benchmark::State& state, const std::string& command) {
  if (Frame().empty() || std::system(("command -v " + command.substr(0, command.find(' ')) + " >/dev/null").c_str()) != 0) {
    state.SkipWithError("peer not available");
    return;
  }
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) {
      state.SkipWithError("peer failed");
      break;
    }
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
}

void BM_OpenJpeg(benchmark::State& state) {
  const std::string out = (std::filesystem::temp_directory_path() / "dcp_bench_opj.pgx").string();
  RunPeer(state, "opj_decompress -threads 1 -i '" + FramePath() + "' -o '" + out + "' >/dev/null 2>&1");
  std::error_code ec;
  for (int c = 0; c < 3; ++c) std::filesystem::remove(out.substr(0, out.size() - 4) + "_" + std::to_string(c) + ".pgx", ec);
}
BENCHMARK(BM_OpenJpeg)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_Ffmpeg(benchmark::State& state) {
  RunPeer(state, "ffmpeg -v error -threads 1 -i '" + FramePath() + "' -f null - >/dev/null 2>&1");
}
BENCHMARK(BM_Ffmpeg)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
