// Memory stream, bounded big-endian byte input, look-ahead window and the
// block segment chain.
#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "decoder/codestream/byte_input.h"
#include "decoder/stream_input.h"

using namespace Codec;

namespace {

std::vector<std::uint8_t> Sequence(std::size_t n) {
  std::vector<std::uint8_t> v(n);
  std::iota(v.begin(), v.end(), std::uint8_t{0});
  return v;
}

template <typename F>
std::uint32_t CodeOf(F&& f) {
  try {
    f();
  } catch (const BDiagnDescr& d) {
    return d.Code();
  }
  return 0;
}

constexpr std::uint32_t kNoData = 82;

}  // namespace

TEST(MemoryStream, ReadsAndShortReads) {
  const auto data = Sequence(20);
  CMemBuffInput s;
  ASSERT_EQ(s.Open(data.data(), 20), 0);
  std::uint64_t size = 0, pos = 0, got = 0;
  EXPECT_EQ(s.Size(size), 0);
  EXPECT_EQ(size, 20u);
  ASSERT_EQ(s.Seek(16, BaseStreamInput::SeekBegin), 0);
  std::uint8_t dst[10] = {};
  EXPECT_EQ(s.Read(dst, 10, got), 1);  // 4 of 10
  EXPECT_EQ(got, 4u);
  EXPECT_EQ(dst[0], 16);
  EXPECT_EQ(dst[3], 19);
  EXPECT_EQ(s.Position(pos), 0);
  EXPECT_EQ(pos, 20u);
  EXPECT_EQ(s.Read(dst, 1, got), 1);
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(s.Read(dst, 0, got), 0);
  // A huge request is compared as a whole 64-bit number.
  ASSERT_EQ(s.Seek(0, BaseStreamInput::SeekBegin), 0);
  std::vector<std::uint8_t> all(20);
  EXPECT_EQ(s.Read(all.data(), 0x100000000ull + 1, got), 1);
  EXPECT_EQ(got, 20u);
  EXPECT_EQ(all, data);
}

TEST(MemoryStream, SeekRules) {
  const auto data = Sequence(20);
  CMemBuffInput s;
  ASSERT_EQ(s.Open(data.data(), 20), 0);
  std::uint64_t pos = 0;
  EXPECT_EQ(s.Seek(20, BaseStreamInput::SeekBegin), 1);  // the end is not reachable from the beginning
  EXPECT_EQ(s.Seek(-1, BaseStreamInput::SeekBegin), 1);
  EXPECT_EQ(s.Seek(0, BaseStreamInput::SeekEnd), 0);
  s.Position(pos);
  EXPECT_EQ(pos, 20u);
  EXPECT_EQ(s.Seek(5, BaseStreamInput::SeekEnd), 0);
  s.Position(pos);
  EXPECT_EQ(pos, 15u);
  EXPECT_EQ(s.Seek(20, BaseStreamInput::SeekEnd), 1);
  EXPECT_EQ(s.Seek(5, BaseStreamInput::SeekCurrent), 0);  // size - position: to the end
  s.Position(pos);
  EXPECT_EQ(pos, 20u);
  EXPECT_EQ(s.Skip(1), 1);
  EXPECT_EQ(s.Seek(-20, BaseStreamInput::SeekCurrent), 0);
  EXPECT_EQ(s.Seek(-1, BaseStreamInput::SeekCurrent), 1);
  EXPECT_EQ(s.Seek(0, 3), 1);
  EXPECT_EQ(s.Seek(INT64_MIN, BaseStreamInput::SeekCurrent), 1);
  EXPECT_EQ(s.Seek(INT64_MAX, BaseStreamInput::SeekCurrent), 1);
  s.Position(pos);
  EXPECT_EQ(pos, 0u);
}

TEST(MemoryStream, OpenAndClose) {
  CMemBuffInput s;
  EXPECT_EQ(s.Open(nullptr, 100), 1);
  std::uint64_t size = 7, got = 7;
  s.Size(size);
  EXPECT_EQ(size, 0u);
  const std::uint8_t b = 1;
  EXPECT_EQ(s.Open(&b, 0), 0);
  std::uint8_t dst = 0;
  EXPECT_EQ(s.Read(&dst, 1, got), 1);
  EXPECT_EQ(got, 0u);
  s.Close();
  s.Size(size);
  EXPECT_EQ(size, 0u);
}

TEST(ByteInput, BigEndianConsumingReads) {
  const std::vector<std::uint8_t> data = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE};
  CMemBuffInput s;
  s.Open(data.data(), 7);
  CodecAdapterBoundedInputBE in;
  in.AttachStream(&s);
  EXPECT_EQ(in.Remaining(), 7u);
  EXPECT_EQ(in.TakeU16(), 0x1234u);
  EXPECT_EQ(in.TakeU32(), 0x56789ABCu);
  EXPECT_EQ(in.Remaining(), 1u);
  EXPECT_EQ(CodeOf([&] { in.TakeU16(); }), kNoData);
  EXPECT_EQ(in.Remaining(), 1u);  // a refused Consume leaves the bound
  EXPECT_EQ(in.ReadU8(), 0xDEu);
  EXPECT_EQ(CodeOf([&] { in.ReadU8(); }), kNoData);
}

TEST(ByteInput, StreamShorterThanItsBound) {
  const std::vector<std::uint8_t> data = {1, 2};
  CMemBuffInput s;
  s.Open(data.data(), 2);
  CodecAdapterBoundedInputBE in;
  in.AttachStream(&s);
  in.PushBound(10);  // shortened to 2
  EXPECT_EQ(in.Remaining(), 2u);
  in.ResetInput();  // the segment is removed and the stream forgotten
  EXPECT_EQ(in.BoundDepth(), 1u);
  EXPECT_EQ(in.Stream(), nullptr);
  EXPECT_EQ(CodeOf([&] { in.ReadU8(); }), kNoData);  // bound has room, no stream
  CodecAdapterBoundedInputBE none;
  EXPECT_EQ(CodeOf([&] { none.ReadU8(); }), kNoData);  // no bound at all
}

TEST(ByteInput, NestedSegments) {
  const auto data = Sequence(100);
  CMemBuffInput s;
  s.Open(data.data(), 100);
  CodecAdapterBoundedInputBE in;
  in.AttachStream(&s);
  in.Consume(2);
  in.ReadU16();
  EXPECT_EQ(in.PushBound(10), 10u);
  in.ReadU8();
  in.TakeU32();
  // A nested segment asking for more than its container has left is shortened.
  EXPECT_EQ(in.PushBound(100), 5u);
  in.ReadU8();
  EXPECT_EQ(in.PopBound(), 4u);  // the rest is skipped
  EXPECT_EQ(in.Remaining(), 0u);
  EXPECT_EQ(in.PopBound(), 0u);
  // The outer bound was charged the whole segment, read or skipped.
  EXPECT_EQ(in.Consumed(), 12u);
  EXPECT_EQ(in.ReadU8(), 12u);  // and the stream is where the segment ended

  // A body two bytes longer than what is read: PopBound skips 2 and says so.
  in.PushBound(6);
  in.TakeU32();
  EXPECT_EQ(in.PopBound(), 2u);
  EXPECT_EQ(in.ReadU8(), 19u);
  EXPECT_EQ(in.Remaining(), 100u - 20u);
  in.SkipBytes(30);
  EXPECT_EQ(in.ReadU8(), 50u);
  EXPECT_EQ(CodeOf([&] { in.SkipBytes(50); }), kNoData);
  EXPECT_EQ(in.Remaining(), 49u);
}

TEST(ByteInput, LookAheadWindow) {
  const std::vector<std::uint8_t> data = {0xFF, 0x91, 0x00, 0x04, 0x07};
  CMemBuffInput s;
  s.Open(data.data(), 5);
  CodecAdapterBoundedInputBE in;
  in.AttachStream(&s);
  ByteInputLookAhead<CodecAdapterBoundedInputBE> la;
  la.Prime(&in);
  EXPECT_EQ(la.SourceInput(), &in);
  const std::uint8_t* w = la.Window();
  EXPECT_EQ(w[0], 0xFF);
  EXPECT_EQ(w[1], 0x91);
  EXPECT_EQ(w[2], 0x00);
  EXPECT_EQ(la.Advance(), 0x04);
  w = la.Window();
  EXPECT_EQ(w[0], 0x91);
  EXPECT_EQ(w[1], 0x00);
  EXPECT_EQ(w[2], 0x04);
  la.Advance();
  w = la.Window();
  EXPECT_EQ(w[2], 0x07);
  EXPECT_EQ(CodeOf([&] { la.Advance(); }), kNoData);
}

TEST(SegmentChainTest, ReadAcrossBlocks) {
  SegmentChain chain;
  const auto data = Sequence(1024);
  chain.Append(data.data(), 1024);
  EXPECT_EQ(chain.BlockCount(), 2u);
  EXPECT_EQ(chain.Unread(), 1024u);
  std::vector<std::uint8_t> dst(600);
  chain.ReadBlockExact(dst.data(), 600);
  EXPECT_TRUE(std::equal(dst.begin(), dst.end(), data.begin()));
  EXPECT_EQ(chain.BlockCount(), 1u);  // the first block was dropped
  EXPECT_EQ(chain.Unread(), 424u);
  // Asking for more than is there copies what is there; the exact form throws.
  EXPECT_EQ(chain.ReadBlock(dst.data(), 500), 424u);
  EXPECT_EQ(dst[0], data[600]);
  EXPECT_EQ(chain.Unread(), 0u);
  EXPECT_EQ(CodeOf([&] { chain.ReadBlockExact(dst.data(), 1); }), kNoData);
  // Appending after a partial read fills the newest block first.
  chain.Clear();
  chain.Append(data.data(), 100);
  chain.ReadBlock(dst.data(), 50);
  chain.Append(data.data() + 100, 500);
  EXPECT_EQ(chain.BlockCount(), 2u);
  EXPECT_EQ(chain.ReadBlock(dst.data(), 550), 550u);
  EXPECT_TRUE(std::equal(dst.begin(), dst.begin() + 550, data.begin() + 50));
}
