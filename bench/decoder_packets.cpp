// bench-libs: decoder prim_jpeg2000 prim_image prim_core
//
// Tier 2 and tier 1 of a real digital-cinema frame: main header, tile build,
// every packet header and every code-block's passes into the coefficient
// planes.  One line per primitive generation; compare each with the px line:
// the ratio is the figure to keep (the packet headers and the driver are
// the same in every line, the code-block decoder's build changes).
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "decoder/codestream/byte_input.h"
#include "decoder/codestream/codestream_header.h"
#include "decoder/codestream/marker_io.h"
#include "decoder/stream_input.h"
#include "decoder/tier2/tile.h"
#include "primitives/core/test_hooks.h"

namespace {

std::vector<std::uint8_t> Frame() {
  // The shared test data lies next to the project's root, as for the tests.
  const std::filesystem::path root = std::filesystem::path(__FILE__).parent_path().parent_path();
  const std::filesystem::path p =
      root / ".." / "shared" / "testdata" / "cinema" / "X_4_2K_24_185_CBR_WB_000.j2k";
  std::ifstream f(p, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// Decodes every packet of a single-tile codestream; returns the packet count.
std::size_t DecodeAll(const std::vector<std::uint8_t>& data) {
  using namespace Codec;
  CMemBuffInput stream;
  stream.Open(data.data(), static_cast<std::uint32_t>(data.size()));
  CodecAdapterBoundedInputBE in;
  in.AttachStream(&stream);
  CodestreamHeader header;
  if (!ReadMainHeader(in, header)) return 0;
  OwnedArray<Tile> tiles;
  tiles.Reset(header.TileCount());
  for (std::uint32_t i = 0; i < tiles.Count(); ++i) tiles[i].SetTileRect(header, i);
  in.SkipBytes(ReadMarkerLength(in));  // SOT body: a single tile-part of tile 0
  tiles[0].Start(in);
  std::size_t packets = 0;
  while (tiles[0].DecodeNextPacket(in)) ++packets;
  return packets;
}

void BM_CinemaFramePackets(benchmark::State& state) {
  const std::vector<std::uint8_t> data = Frame();
  if (data.empty()) {
    state.SkipWithError("cinema test frame not found");
    return;
  }
  if (primTestForceGeneration(static_cast<std::int32_t>(state.range(0))) != 0) {
    state.SkipWithError("generation not supported here");
    return;
  }
  std::size_t packets = 0;
  for (auto _ : state) {
    try {
      packets = DecodeAll(data);
    } catch (const Codec::BDiagnDescr&) {
      state.SkipWithError("the frame failed to decode");
      break;
    }
    benchmark::DoNotOptimize(packets);
  }
  state.counters["packets"] = static_cast<double>(packets);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
  primTestForceGeneration(0);
}

}  // namespace

BENCHMARK(BM_CinemaFramePackets)->DenseRange(0, 6)->ArgName("generation")->Unit(benchmark::kMillisecond);
