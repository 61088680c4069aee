// JPEG 2000 code-block entropy decoder (tier 1).
//
// One caller-allocated PrimCodeBlockDecoderState holds everything the
// decoder needs: a fixed header (below) and, from the first 32-byte aligned
// address after it, the flag rows of the code-block being decoded.  The road
// of one code-block:
//
//   imgCodeBlockDecoderStateSize_JPEG2000(maxW, maxH, &size);   // once
//   allocate size bytes (4-byte aligned at least), then
//   imgCodeBlockDecoderInit_JPEG2000(state, maxW, maxH);        // once
//   imgCodeBlockDecodeBegin_32s_C1R_JPEG2000(dst, step, w, h, state, band, planes, flags);
//   for each segment:
//     imgCodeBlockDecodeSetPasses_JPEG2000(passes, state);
//     imgCodeBlockDecodePasses_JPEG2000(bytes, length, state);
//     imgCodeBlockDecodeGetPasses_JPEG2000(state, &left);
//
// The coefficients come out in sign-magnitude form (bit 31 the sign, bits 0
// to 30 the magnitude), each at the midpoint of the last interval decoded.
//
// The header keeps offsets from the start of the state where a 32-bit
// layout would keep pointers into the state, so that it keeps its 356 bytes
// on a 64-bit build; the addresses of the caller's destination and segment
// are kept whole.  Nothing outside the primitives reads the header.
#pragma once

#include <cstddef>

#include "primitives/core/prim_types.h"

// Bytes of the header; the work area begins at the first multiple of 32 at
// or after its end.
inline constexpr int primCodeBlockHeaderBytes = 356;

// Flags word given to begin.
enum : Prim32u {
  primCbVerticallyCausal = 0x1,       // vertically causal context formation
  primCbBypass = 0x2,                 // selective arithmetic-coding bypass
  primCbTerminateEachPass = 0x4,      // each pass is a segment of its own
  primCbResetContexts = 0x8,          // reset the contexts after every MQ-coded pass
  primCbSegmentationSymbols = 0x10,   // segmentation symbol after every clean-up pass
  primCbKeepDestination = 0x20000,    // begin does not clear the destination
  primCbKeepFlagRows = 0x80000,       // begin does not clear the flag rows
  primCbCheckTermination = 0x100000,  // check predictable termination of MQ segments
};

// Next-pass kinds: the pass the next decode call runs (PrimCbControl); begin
// sets primCbNextCleanup.
enum : Prim32s {
  primCbNextCleanup = 0,          // MQ-coded clean-up of a plane at or above the bypass limit
  primCbNextRefinement = 1,       // MQ-coded magnitude refinement
  primCbNextSignificance = 2,     // MQ-coded significance propagation
  primCbNextBypassCleanup = 3,    // MQ-coded clean-up of a plane below the bypass limit
  primCbNextRawRefinement = 4,    // raw magnitude refinement
  primCbNextRawSignificance = 5,  // raw significance propagation
};

#pragma pack(push, 4)
// The 64-bit fields lie at multiples of 8 from the start of the state.
struct PrimCbGeometry {
  Prim32s width;
  Prim32s height;
  Prim32s dstStep;            // bytes from one coefficient row to the next
  std::uint64_t destination;  // address of the first coefficient
};

struct PrimCbPassCursor {
  Prim64s stripeStep;  // 4 x destination step, in bytes
  Prim32u geometry;    // offset of the geometry group in the state
  Prim32s bitPlane;    // plane the next pass decodes; negative: finished
  Prim32u planeBit;
  Prim32u newMagnitude;
  Prim32u halfBit;
  Prim32u keepMask;
  Prim32s stripeRow;  // first row of the stripe last worked on
};

struct PrimCbFlagCursor {
  Prim32u flagRecord;    // offset of the flag-row record in the state
  Prim32u sigTable;      // zero-coding table: 0 LL and LH, 1 HL, 2 HH
  Prim32u currentRow;    // offset of the border row above the last stripe
  Prim32u columnEntry;   // offset of the last column's entry in that stripe
  Prim32u entry;         // offset of the entry last worked on
  Prim32s pairRowStep;   // 2 x flag stride
  Prim32s neighbour[6];  // byte distances: up, down, up-left, up-right, down-left, down-right
};

struct PrimCbFlagRecord {
  Prim32u flagRows;    // offset of the first flag row in the state
  Prim32s flagStride;  // bytes from one flag row to the next
  Prim32u workArea;    // offset of the work area in the state
};

struct PrimCbMqDecoder {
  std::uint64_t segment;  // address of the bytes last decoded
  Prim32s length;
  Prim32s position;  // index of the last byte taken into C
  Prim32u A;
  Prim32u C;  // complemented code register
  Prim32s CT;
  Prim32u state[19];  // probability-state row of each context
  Prim32u mps[19];    // more probable symbol of each context
  Prim32u end;        // 1 once a marker or the end of the segment was met
};

struct PrimCbRawReader {
  std::uint64_t segment;
  Prim32s length;
  Prim32s position;     // index of the next byte
  Prim32s bitPosition;  // next bit of the current byte, -1: a new byte is needed
  Prim32u currentByte;
};

struct PrimCbControl {
  Prim32s nextKind;     // primCbNext..., the pass the next decode call runs
  Prim32s passesToRun;  // pass budget
  Prim32s bypassLimit;  // lowest plane whose significance and refinement passes are MQ-coded
  Prim32u flags;
  Prim32u errorWord;      // 1 once a decode call found damaged data
  Prim32u attached;       // 1 after a successful begin
  Prim32u workAreaBytes;  // flag-row bytes the state was sized for at init
};

struct PrimCodeBlockDecoderState {
  Prim32u magic;  // "PAMC"
  PrimCbGeometry geometry;
  PrimCbPassCursor pass;
  PrimCbFlagCursor flagCursor;
  PrimCbFlagRecord flagRecord;
  PrimCbMqDecoder mq;
  PrimCbRawReader raw;
  PrimCbControl control;
};
#pragma pack(pop)

static_assert(sizeof(PrimCodeBlockDecoderState) <= primCodeBlockHeaderBytes,
              "the code-block decoder header must fit its 356 bytes");
static_assert(offsetof(PrimCodeBlockDecoderState, geometry.destination) % 8 == 0 &&
                  offsetof(PrimCodeBlockDecoderState, pass.stripeStep) % 8 == 0 &&
                  offsetof(PrimCodeBlockDecoderState, mq.segment) % 8 == 0 &&
                  offsetof(PrimCodeBlockDecoderState, raw.segment) % 8 == 0,
              "64-bit fields of the header are 8-byte aligned in the state");

inline constexpr Prim32u primCodeBlockMagic = 0x434d4150u;  // 'P' 'A' 'M' 'C'

// Bytes of a state for code-blocks up to width x height:
// align32(4 x width + 8) x ((height + 1) / 2 + 2) + 388.  -6 when height or
// width is below 1 or the size is above INT_MAX (tested before pSize); -8
// when pSize is null.
PrimResult imgCodeBlockDecoderStateSize_JPEG2000(int width, int height, int* pSize);

// Writes the magic, detaches and places the work area.  maxWidth and
// maxHeight are the largest code-block the state was sized for (the
// arguments given to the size query); begin refuses a code-block whose flag
// rows would not fit.  -8 null state; -6 sizes below 1 or above INT_MAX.
PrimResult imgCodeBlockDecoderInit_JPEG2000(PrimCodeBlockDecoderState* pState, int maxWidth, int maxHeight);

// Attaches a code-block.  bandOrientation 0 LL, 1 LH, 2 HL, 3 HH; bitPlanes
// 0 to 31.  Checks: -8 null pointer; -14 dstStep below 1; -6 size below 1,
// a code-block larger than the state was sized for, or bitPlanes above 31;
// -17 bad magic.
PrimResult imgCodeBlockDecodeBegin_32s_C1R_JPEG2000(Prim32s* pDst, int dstStep, int width, int height,
                                                    PrimCodeBlockDecoderState* pState, int bandOrientation,
                                                    int bitPlanes, Prim32u flags);

PrimResult imgCodeBlockDecodeSetPasses_JPEG2000(int passes, PrimCodeBlockDecoderState* pState);
PrimResult imgCodeBlockDecodeGetPasses_JPEG2000(const PrimCodeBlockDecoderState* pState, int* pPasses);

// Decodes the next passes of the attached code-block from one segment.
// -8 null pointer; -17 bad magic; -180 nothing attached; -112 damaged data
// (the passes still ran); else 0.
PrimResult imgCodeBlockDecodePasses_JPEG2000(const Prim8u* pSrc, int srcLen,
                                             PrimCodeBlockDecoderState* pState);
