// A codestream body walk for the decoder tests: main header, then every
// tile-part (SOT, tile-part header, packets) through the decoder's tiles, as
// the decoder entry will do it, recording the packets in the order read.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "decoder/codestream/byte_input.h"
#include "decoder/codestream/codestream_header.h"
#include "decoder/codestream/marker_io.h"
#include "decoder/diagnostics.h"
#include "decoder/stream_input.h"
#include "decoder/tier2/tile.h"
#include "tests/decoder/codestream_builder.h"

namespace codec_test {

struct WalkOutcome {
  bool failed = false;
  std::uint32_t exceptionCode = 0;
  std::vector<std::uint32_t> codes;                         // every diagnostic that reached the sink
  std::vector<std::vector<Codec::PacketPosition>> packets;  // per tile, in reading order
};

class CodestreamWalk {
 public:
  Codec::CodestreamHeader header;
  Codec::OwnedArray<Codec::Tile> tiles;

  // Walks the whole codestream; `maxPackets` bounds the packets read (0: all).
  WalkOutcome Run(const Bytes& data, std::size_t maxPackets = 0) {
    static const std::uint8_t kEmpty = 0;
    stream_.Open(data.empty() ? &kEmpty : data.data(), static_cast<std::uint32_t>(data.size()));
    adapter_.AttachSink(&sink_);
    input_.AttachStream(&stream_);
    header.Reset();
    header.SetOutput(&adapter_);
    WalkOutcome out;
    try {
      Body(out, maxPackets);
    } catch (const Codec::BDiagnDescr& d) {
      out.failed = true;
      out.exceptionCode = d.Code();
      adapter_.Error(d);
    }
    // What the tiles received is decoded even when the data ended early.
    for (Codec::Tile& t : tiles)
      if (t.TilePartsRead() > 0) t.FinishCodeBlocks();
    out.codes = sink_.Codes();
    return out;
  }

 private:
  void Body(WalkOutcome& out, std::size_t maxPackets) {
    using namespace Codec;
    if (!ReadMainHeader(input_, header)) return;
    const std::uint32_t count = header.TileCount();
    tiles.Reset(count);
    out.packets.resize(count);
    for (std::uint32_t i = 0; i < count; ++i) {
      tiles[i].SetOutput(&adapter_);
      tiles[i].SetTileRect(header, i);
    }
    std::size_t packetsRead = 0;
    bool sotRead = true;
    for (;;) {
      if (!sotRead) {
        std::uint16_t code = 0;
        for (;;) {
          code = ReadMarker(input_);
          if (code == kMarkerSOT || code == kMarkerEOC) break;
          adapter_.Warning(J2k::Warn_CodeStreamBodyUnknownMarker());
          input_.SkipBytes(ReadMarkerLength(input_));
        }
        if (code == kMarkerEOC) return;
      }
      sotRead = false;
      const std::uint32_t sotStart = input_.Consumed() - 2;
      OpenSegment(input_, ReadMarkerLength(input_), adapter_);
      const std::uint32_t isot = input_.TakeU16();
      const std::uint32_t psot = input_.TakeU32();
      input_.ReadU8();  // TPsot
      input_.ReadU8();  // TNsot
      CloseSegment(input_, adapter_);
      if (isot >= count) throw J2k::Except_SOTTileIndexExceedNOfTiles();
      Tile& tile = tiles[isot];
      if (tile.TilePartsRead() == 0)
        tile.Start(input_);
      else
        tile.Continue(input_);
      const std::uint32_t headerSize = input_.Consumed() - sotStart;
      bool known = psot != 0 && psot >= headerSize;
      std::uint64_t remaining = known ? psot - headerSize : 0;
      for (;;) {
        if (known && remaining == 0) break;
        if (maxPackets && packetsRead >= maxPackets) return;
        const bool available = tile.Iterator().Available();
        const PacketPosition p = tile.Iterator().Current();
        const std::uint32_t before = input_.Consumed();
        if (!tile.DecodeNextPacket(input_)) {
          if (known) input_.SkipBytes(static_cast<std::uint32_t>(remaining));
          break;
        }
        if (available) out.packets[isot].push_back(p);
        ++packetsRead;
        const std::uint32_t used = input_.Consumed() - before;
        if (!known) continue;
        if (used > remaining) {
          // The tile-part was longer than announced: go on without a length.
          known = false;
          remaining = 0;
          continue;
        }
        remaining -= used;
      }
    }
  }

  Codec::CMemBuffInput stream_;
  Codec::CodecAdapterBoundedInputBE input_;
  Codec::CodecAdapterDiagnOutput<2> adapter_;
  RecordingSink sink_;
};

// The contents of the contiguous codestream box of a JP2 file; the bytes
// unchanged when they are no JP2 file; empty when no codestream box is found.
inline Bytes CodestreamOf(const Bytes& file) {
  if (file.size() >= 2 && file[0] == 0xFF && file[1] == 0x4F) return file;
  std::size_t pos = 0;
  while (pos + 8 <= file.size()) {
    std::uint64_t len =
        (std::uint64_t{file[pos]} << 24) | (file[pos + 1] << 16) | (file[pos + 2] << 8) | file[pos + 3];
    const std::uint32_t type =
        (std::uint32_t{file[pos + 4]} << 24) | (file[pos + 5] << 16) | (file[pos + 6] << 8) | file[pos + 7];
    std::size_t headerLen = 8;
    if (len == 1) {
      if (pos + 16 > file.size()) break;
      len = 0;
      for (int i = 0; i < 8; ++i) len = (len << 8) | file[pos + 8 + i];
      headerLen = 16;
    } else if (len == 0) {
      len = file.size() - pos;
    }
    if (len < headerLen || len > file.size() - pos) len = file.size() - pos;
    if (type == 0x6A703263) return Bytes(file.begin() + pos + headerLen, file.begin() + pos + len);  // 'jp2c'
    if (len < headerLen) break;
    pos += len;
  }
  return {};
}

}  // namespace codec_test
