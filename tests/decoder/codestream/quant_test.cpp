// Quantisation segments (QCD/QCC bodies), their per-tile check and the step
// of each subband.
#include <gtest/gtest.h>

#include "decoder/codestream/coding_params.h"
#include "tests/decoder/codestream_builder.h"

using namespace Codec;
using namespace codec_test;

namespace {

// Parses `body` as one quantisation segment body into q; returns the code of
// a thrown diagnostic, or 0.
std::uint32_t ParseQuant(const Bytes& body, QuantStyle& q, std::uint32_t* unread = nullptr) {
  Codec::CMemBuffInput stream;
  static const std::uint8_t kEmpty = 0;
  stream.Open(body.empty() ? &kEmpty : body.data(), static_cast<std::uint32_t>(body.size()));
  CodecAdapterBoundedInputBE in;
  in.AttachStream(&stream);
  in.PushBound(static_cast<std::uint32_t>(body.size()));
  try {
    ReadQuantBody(in, q);
  } catch (const BDiagnDescr& d) {
    return d.Code();
  }
  const std::uint32_t rest = in.PopBound();
  if (unread) *unread = rest;
  return 0;
}

Bytes Expounded(std::uint8_t sq, std::uint32_t values) {
  Builder b;
  b.u8(sq);
  for (std::uint32_t i = 0; i < values; ++i) b.u16(((10 + i) << 11) | (100 + i));
  return b.b;
}

constexpr std::uint32_t kLack = 69;

}  // namespace

TEST(Quantisation, ExpoundedLevelsCountedFromTheBody) {
  QuantStyle q;
  ASSERT_EQ(ParseQuant(Expounded(0x42, 1 + 3 * 5), q), 0u);
  EXPECT_EQ(q.style, 2u);
  EXPECT_EQ(q.guardBits, 2u);
  EXPECT_EQ(q.levelCount, 5u);
  EXPECT_FALSE(q.notRead);
  // LL first, then the coarsest level (entry 4) down to the finest (entry 0).
  EXPECT_EQ(q.ll.mantissa, 100u);
  EXPECT_EQ(q.ll.exponent, 10u);
  EXPECT_EQ(q.levels[4].hl.mantissa, 101u);
  EXPECT_EQ(q.levels[4].lh.mantissa, 102u);
  EXPECT_EQ(q.levels[4].hh.mantissa, 103u);
  EXPECT_EQ(q.levels[0].hh.mantissa, 115u);
  EXPECT_EQ(q.levels[0].hh.exponent, 25u);
}

TEST(Quantisation, NoQuantisationLevelsCountedFromTheBody) {
  QuantStyle q;
  Bytes body(17, 0);
  body[0] = 0x20;  // style 0, one guard bit
  body[1] = 9 << 3;
  body[16] = 13 << 3;
  std::uint32_t unread = 99;
  ASSERT_EQ(ParseQuant(body, q, &unread), 0u);
  EXPECT_EQ(q.levelCount, 5u);  // 16 bytes after Sqcd
  EXPECT_EQ(q.guardBits, 1u);
  EXPECT_EQ(q.ll.exponent, 9u);
  EXPECT_EQ(q.levels[0].hh.exponent, 13u);
  EXPECT_EQ(unread, 0u);
}

TEST(Quantisation, UnknownStyleReadsAsNone) {
  QuantStyle q;
  CodecAdapterDiagnOutput<2> adapter;
  RecordingSink sink;
  adapter.AttachSink(&sink);
  q.route.SetOutput(&adapter);
  ASSERT_EQ(ParseQuant({0x1F, 8 << 3, 1, 2, 3}, q), 0u);
  EXPECT_EQ(q.style, 0u);
  EXPECT_EQ(q.levelCount, 1u);
  EXPECT_EQ(sink.Codes(), (std::vector<std::uint32_t>{0}));
}

TEST(Quantisation, ShortBodiesAreRefused) {
  QuantStyle q;
  EXPECT_EQ(ParseQuant({0x00}, q), kLack);        // style 0 with no exponent at all
  EXPECT_EQ(ParseQuant({0x02, 0x12}, q), kLack);  // style 2 with one byte
  EXPECT_EQ(ParseQuant({0x01, 0x12}, q), 82u);    // derived needs two bytes
  EXPECT_EQ(ParseQuant({}, q), 82u);
  EXPECT_TRUE(q.notRead);
  // Style 2 with just the LL step: zero levels.
  EXPECT_EQ(ParseQuant({0x02, 0x50, 0x01}, q), 0u);
  EXPECT_EQ(q.levelCount, 0u);
}

TEST(Quantisation, LevelCountIsCappedAt32) {
  QuantStyle q;
  Bytes body(1 + 1 + 3 * 40, 8 << 3);
  body[0] = 0;
  std::uint32_t unread = 0;
  ASSERT_EQ(ParseQuant(body, q, &unread), 0u);
  EXPECT_EQ(q.levelCount, 32u);
  EXPECT_EQ(unread, 3u * 8);
  QuantStyle e;
  ASSERT_EQ(ParseQuant(Expounded(0x02, 1 + 3 * 40), e, &unread), 0u);
  EXPECT_EQ(e.levelCount, 32u);
}

TEST(Quantisation, DerivedStepsExpandPerLevel) {
  QuantStyle q;
  ASSERT_EQ(ParseQuant({0x41, (10 << 3) | 0, 100}, q), 0u);  // exponent 10, mantissa 100
  EXPECT_EQ(q.style, 1u);
  EXPECT_EQ(q.base.mantissa, 100u);
  EXPECT_EQ(q.base.exponent, 10u);
  CheckQuantValues(q, 3);
  EXPECT_EQ(q.ll.exponent, 10u);
  EXPECT_EQ(q.ll.mantissa, 100u);
  ASSERT_EQ(q.levels.Count(), 3u);
  EXPECT_EQ(q.levels[2].hl.exponent, 10u);
  EXPECT_EQ(q.levels[1].lh.exponent, 9u);
  EXPECT_EQ(q.levels[0].hh.exponent, 8u);
  EXPECT_EQ(q.levels[0].hh.mantissa, 100u);
  for (std::uint32_t k = 0; k < 3; ++k) EXPECT_EQ(QuantLevelStep(q, 3, k, 2).exponent, 8u + k);

  // Expanded again for a tile whose components have 5 levels.
  CheckQuantValues(q, 5);
  EXPECT_EQ(q.levels[0].hl.exponent, 6u);
  // The finest level would need exponent 10 - 11 + 1 = 0 at NL 11, below 0 at NL 12.
  EXPECT_NO_THROW(CheckQuantValues(q, 11));
  EXPECT_EQ(q.levels[0].hl.exponent, 0u);
  try {
    CheckQuantValues(q, 12);
    ADD_FAILURE() << "no exception";
  } catch (const BDiagnDescr& d) {
    EXPECT_EQ(d.Code(), kLack);
  }
}

TEST(Quantisation, SignalledStepsMustCoverTheLevels) {
  QuantStyle q;
  ASSERT_EQ(ParseQuant(Expounded(0x02, 1 + 3 * 3), q), 0u);
  EXPECT_NO_THROW(CheckQuantValues(q, 3));
  EXPECT_NO_THROW(CheckQuantValues(q, 2));
  try {
    CheckQuantValues(q, 5);
    ADD_FAILURE() << "no exception";
  } catch (const BDiagnDescr& d) {
    EXPECT_EQ(d.Code(), kLack);
  }
}

TEST(Quantisation, ComponentWithFewerLevelsTakesTheFirstListed) {
  // Three levels listed: LL, level 3 (values 1-3), level 2 (4-6), level 1 (7-9).
  QuantStyle q;
  ASSERT_EQ(ParseQuant(Expounded(0x02, 10), q), 0u);
  // A component with 3 levels: level k + 1 from group 3 - (k + 1).
  EXPECT_EQ(QuantLevelStep(q, 3, 2, 0).mantissa, 101u);
  EXPECT_EQ(QuantLevelStep(q, 3, 0, 2).mantissa, 109u);
  // A component with 2 levels uses LL and the first two groups listed.
  EXPECT_EQ(QuantLLStep(q).mantissa, 100u);
  EXPECT_EQ(QuantLevelStep(q, 2, 1, 0).mantissa, 101u);
  EXPECT_EQ(QuantLevelStep(q, 2, 0, 2).mantissa, 106u);
  // Out of range asks give zero steps, never a read outside the record.
  EXPECT_EQ(QuantLevelStep(q, 4, 0, 0).mantissa, 0u);
  EXPECT_EQ(QuantLevelStep(q, 2, 2, 0).mantissa, 0u);
  EXPECT_EQ(QuantLevelStep(q, 2, 0, 3).mantissa, 0u);
}
