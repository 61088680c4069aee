// Packet inputs and packet bodies.
#include "decoder/tier2/packet.h"
#include "decoder/codestream/marker_io.h"

namespace Codec {

namespace {

void ReadExactBody(CodecAdapterBoundedInputBE& in, std::uint8_t* dst, std::size_t n) {
  if (n > in.Remaining()) throw J2k::Except_noDataToRead();
  in.Consume(static_cast<std::uint32_t>(n));
  if (n) in.ReadExact(dst, n);
}

}  // namespace

void PlainPacketInput::ReadBody(std::uint8_t* dst, std::size_t n) { ReadExactBody(in_, dst, n); }

void MarkerPacketInput::BeginPacket() {
  std::uint16_t marker = 0;
  if (sop_ && in_.PeekU16(marker) && marker == kMarkerSOP) {
    in_.SkipBytes(6);
    sopSeen_ = true;
  }
}

void MarkerPacketInput::EndHeader() {
  std::uint16_t marker = 0;
  if (eph_ && in_.PeekU16(marker) && marker == kMarkerEPH) {
    in_.SkipBytes(2);
    ephSeen_ = true;
  }
}

void MarkerPacketInput::ReadBody(std::uint8_t* dst, std::size_t n) { ReadExactBody(in_, dst, n); }

void DecodePacketBody(PacketBodyInput& in, TileComponent& tc, std::uint32_t r, std::uint32_t px,
                      std::uint32_t py, std::uint32_t l) {
  Band* bands[3];
  const std::uint32_t nb = tc.BandsOf(r, bands);
  for (std::uint32_t k = 0; k < nb; ++k) {
    PrecinctBand* pb = bands[k]->At(px, py);
    if (!pb) continue;
    OwnedArray<CodeBlock>& blocks = pb->codeBlocks;
    const std::size_t count = blocks.Count();
    for (std::size_t i = 0; i < count; ++i) {
      // The next code-block's rectangle is fetched while this one decodes.
      if (i + 1 < count) blocks[i + 1].PrefetchDestination();
      blocks[i].DecodeLayers(l, in);
    }
  }
}

}  // namespace Codec
