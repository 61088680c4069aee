// Packets: headers with their tag trees, pass counts and segment lengths,
// and the bodies that the code-block driver consumes.
//
// Header bits are read with the bit stuffing of the codestream: after a byte
// 0xFF only the seven low bits of the next byte count.  Two inputs serve
// packets: the plain tile-part data, and one that also skips an SOP marker
// segment in front of a packet and an EPH marker behind its header.
#pragma once

#include <cstddef>
#include <cstdint>

#include "decoder/codestream/byte_input.h"
#include "decoder/diagnostics.h"
#include "decoder/tier2/tile_component.h"

namespace Codec {

// Packet data straight from the tile-part input.
class PlainPacketInput final : public PacketBodyInput {
 public:
  explicit PlainPacketInput(CodecAdapterBoundedInputBE& in) : in_(in) {}
  void BeginPacket() {}
  void EndHeader() {}
  std::uint8_t ReadHeaderByte() { return in_.ReadU8(); }
  void ReadBody(std::uint8_t* dst, std::size_t n) override;
  std::uint64_t Available() const override { return in_.Remaining(); }

 private:
  CodecAdapterBoundedInputBE& in_;
};

// Packet data in which SOP marker segments may precede packets and EPH
// markers may follow headers; both are skipped when present, and every other
// byte is delivered in order.
class MarkerPacketInput final : public PacketBodyInput {
 public:
  MarkerPacketInput(CodecAdapterBoundedInputBE& in, bool sop, bool eph) : in_(in), sop_(sop), eph_(eph) {}
  // Skips an SOP marker segment (marker, length, sequence number: six bytes).
  void BeginPacket();
  // Skips an EPH marker.
  void EndHeader();
  std::uint8_t ReadHeaderByte() { return in_.ReadU8(); }
  void ReadBody(std::uint8_t* dst, std::size_t n) override;
  std::uint64_t Available() const override { return in_.Remaining(); }
  bool SopSeen() const { return sopSeen_; }
  bool EphSeen() const { return ephSeen_; }

 private:
  CodecAdapterBoundedInputBE& in_;
  bool sop_;
  bool eph_;
  bool sopSeen_ = false;
  bool ephSeen_ = false;
};

// Header bits of one packet.
template <class In>
class PacketBitInput {
 public:
  explicit PacketBitInput(In& in) : in_(in) {}

  std::uint32_t ReadBit() {
    if (position_ < 0) {
      position_ = last_ < 0xFF ? 7 : 6;
      last_ = in_.ReadHeaderByte();
    }
    return (last_ >> position_--) & 1u;
  }
  // n bits (up to 32), first bit most significant.
  std::uint32_t ReadBits(std::uint32_t n) {
    std::uint32_t v = 0;
    for (std::uint32_t i = 0; i < n; ++i) v = (v << 1) | ReadBit();
    return v;
  }
  // 1 bits before the first 0 (which is consumed); stops counting past
  // `limit` and returns limit + 1.
  std::uint32_t CountOnes(std::uint32_t limit) {
    std::uint32_t n = 0;
    while (ReadBit()) {
      if (++n > limit) return n;
    }
    return n;
  }
  std::uint8_t LastByte() const { return last_; }
  int Position() const { return position_; }

 private:
  In& in_;
  std::uint8_t last_ = 0;
  int position_ = -1;
};

// Number of new coding passes.
template <class BitIn>
std::uint32_t ReadPassCount(BitIn& bits) {
  if (!bits.ReadBit()) return 1;
  if (!bits.ReadBit()) return 2;
  std::uint32_t v = bits.ReadBits(2);
  if (v < 3) return 3 + v;
  v = bits.ReadBits(5);
  if (v < 31) return 6 + v;
  return 37 + bits.ReadBits(7);
}

// Passes one codeword segment may take when the code-block has received p.
inline std::uint32_t PassesPerSegment(bool terminateEachPass, bool bypass, std::uint32_t p) {
  if (terminateEachPass) return 1;
  if (!bypass) return 94;
  if (p <= 9) return 10 - p;
  return p % 3 == 1 ? 2 : 1;
}

// floor(log2(v)) for v >= 1.
inline std::uint32_t FloorLog2(std::uint32_t v) {
  std::uint32_t n = 0;
  while (v >>= 1) ++n;
  return n;
}

// The header of the packet (r, px, py, l) of tile-component tc.  Returns
// whether the packet has contributions.  Segment lengths that cannot be
// (more than 32 length bits, or more bytes than the input still holds)
// throw Except_noDataToRead before anything is stored for them.
template <class In>
bool DecodePacketHeader(In& in, TileComponent& tc, std::uint32_t r, std::uint32_t px, std::uint32_t py,
                        std::uint32_t l, const DiagnRoute& route) {
  in.BeginPacket();
  PacketBitInput<In> bits(in);
  const bool contributions = bits.ReadBit() != 0;
  Band* bands[3];
  const std::uint32_t nb = tc.BandsOf(r, bands);
  std::uint64_t announced = 0;
  if (contributions) {
    for (std::uint32_t k = 0; k < nb; ++k) {
      PrecinctBand* pb = bands[k]->At(px, py);
      if (!pb) continue;
      const std::size_t count = pb->codeBlocks.Count();
      for (std::size_t i = 0; i < count; ++i) {
        CodeBlock& cb = pb->codeBlocks[i];
        bool included;
        if (cb.Included())
          included = bits.ReadBit() != 0;
        else
          included = pb->inclusion.Decode(bits, i, l + 1);
        if (!included) continue;
        if (!cb.Included()) {
          std::uint32_t t = 1;
          while (!pb->zeroBitPlanes.Decode(bits, i, t) && t < 0x7FFFFFFFu) ++t;
          cb.Begin(t - 1);
        }
        const std::uint32_t n = ReadPassCount(bits);
        const std::uint32_t ones = bits.CountOnes(32);
        const std::uint64_t lblock = std::uint64_t{cb.Lblock()} + ones;
        if (lblock > 32) throw J2k::Except_noDataToRead();
        cb.SetLblock(static_cast<std::uint32_t>(lblock));
        std::uint32_t left = n;
        std::uint32_t p = cb.PassesReceived();
        while (left > 0) {
          std::uint32_t take = PassesPerSegment(pb->terminateEachPass, pb->bypass, p);
          if (take > left) take = left;
          const std::uint32_t lengthBits = cb.Lblock() + FloorLog2(take);
          if (lengthBits > 32) throw J2k::Except_noDataToRead();
          const std::uint32_t length = bits.ReadBits(lengthBits);
          announced += length;
          if (announced > in.Available()) throw J2k::Except_noDataToRead();
          cb.AddSegment(l, length, take);
          p += take;
          left -= take;
        }
      }
    }
  }
  // Padding to the byte boundary; after a 0xFF the next byte belongs to the
  // header too.
  std::uint32_t padBits = 0, padOnes = 0;
  auto pad = [&](std::uint32_t n) {
    for (std::uint32_t i = 0; i < n; ++i) {
      const std::uint32_t b = bits.ReadBit();
      if (padBits < 7 && b) ++padOnes;
      ++padBits;
    }
  };
  if (bits.Position() >= 0)
    pad(static_cast<std::uint32_t>(bits.Position() + 1));
  else if (bits.LastByte() == 0xFF)
    pad(7);
  if (bits.LastByte() == 0xFF) pad(7);
  if (!contributions && padOnes != 0) route.Warn(J2k::Warn_BadPacketHeaderPadding());
  in.EndHeader();
  return contributions;
}

// The body of the packet: every code-block of the precinct consumes layer l.
void DecodePacketBody(PacketBodyInput& in, TileComponent& tc, std::uint32_t r, std::uint32_t px,
                      std::uint32_t py, std::uint32_t l);

}  // namespace Codec
