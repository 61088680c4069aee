// Coding style and quantisation parameters (COD, COC, QCD, QCC), per
// component, with the main-header values as defaults and per-component
// overrides.
#pragma once

#include <cstddef>
#include <cstdint>

#include "decoder/codestream/byte_input.h"
#include "decoder/diagnostics.h"
#include "decoder/holders.h"

namespace Codec {

// Highest number of decomposition levels a codestream may ask for.
inline constexpr std::uint32_t kMaxDecompositionLevels = 32;

// Code-block decoding flags, from the code-block style byte of COD/COC.
enum CodeBlockFlags : std::uint32_t {
  kCbVerticallyCausal = 0x1,             // style 0x08
  kCbBypass = 0x2,                       // style 0x01
  kCbTerminateEachPass = 0x4,            // style 0x04
  kCbResetContexts = 0x8,                // style 0x02
  kCbSegmentationSymbols = 0x10,         // style 0x20
  kCbPredictableTermination = 0x100000,  // style 0x10
};
std::uint32_t MapCodeBlockStyle(std::uint8_t styleByte);

struct PrecinctSize {
  std::uint32_t ppx = 0;  // exponent of the precinct width
  std::uint32_t ppy = 0;  // exponent of the precinct height
};

struct CodingStyle {
  std::uint32_t codeBlockFlags = 0;
  std::uint32_t transform = 1;           // 0 irreversible 9/7, 1 reversible 5/3
  std::uint32_t levels = 0;              // decomposition levels NL
  std::uint32_t codeBlockWidthExp = 0;   // xcb + 2
  std::uint32_t codeBlockHeightExp = 0;  // ycb + 2
  OwnedArray<PrecinctSize> precincts;    // NL + 1 entries, resolution 0 first
};

enum ProgressionOrder : std::uint32_t { kLRCP = 0, kRLCP = 1, kRPCL = 2, kPCRL = 3, kCPRL = 4 };

struct GlobalCodingStyle {
  std::uint32_t progressionOrder = 0;
  std::uint32_t layers = 0;
  bool sop = false;  // SOP markers may precede packets
  bool eph = false;  // EPH markers follow packet headers
  bool mct = false;  // multiple component transform
};

struct SubbandStep {
  std::uint32_t mantissa = 0;  // 11 bits used
  std::uint32_t exponent = 0;  // 5 bits used
};

// The steps of one decomposition level, in the order HL, LH, HH.
struct LevelSteps {
  SubbandStep hl;
  SubbandStep lh;
  SubbandStep hh;
};

enum QuantisationStyle : std::uint32_t { kQuantNone = 0, kQuantDerived = 1, kQuantExpounded = 2 };

struct QuantStyle {
  DiagnRoute route;
  std::uint32_t style = kQuantNone;
  SubbandStep ll;
  OwnedArray<LevelSteps> levels;  // entry k: decomposition level k + 1 (0 finest)
  SubbandStep base;               // derived style: the one step signalled
  std::uint32_t guardBits = 0;
  std::uint32_t levelCount = 0;  // levels the segment gave
  bool notRead = true;
};

// Per-component records: every component designates the embedded default
// record or one of its own (from COC / QCC), which the container owns.
template <typename Record>
class ComponentStyles {
 public:
  ComponentStyles() = default;
  ComponentStyles(const ComponentStyles&) = delete;
  ComponentStyles& operator=(const ComponentStyles&) = delete;

  // Every owned record destroyed; n components, all on the default.
  void SetUp(std::size_t n) {
    refs_.Reset(n);
    for (auto& r : refs_) r.SetShared(&default_);
  }
  // Destroys c's own record, if any, and gives c a fresh one.
  Record& OwnRecord(std::size_t c) { return refs_[c].MakeOwn(); }
  bool HasOwn(std::size_t c) const { return refs_[c].Owned(); }
  Record& Get(std::size_t c) const { return *refs_[c].Get(); }
  Record& Default() { return default_; }
  const Record& Default() const { return default_; }
  std::size_t Count() const { return refs_.Count(); }
  void Clear() { refs_.Reset(); }

 private:
  Record default_;
  OwnedArray<OwnedRef<Record>> refs_;
};

using ComponentCodingStyles = ComponentStyles<CodingStyle>;
using ComponentQuantStyles = ComponentStyles<QuantStyle>;

// Back to the construction values (a quantisation record keeps its route).
void ClearRecord(CodingStyle& style);
void ClearRecord(QuantStyle& q);

// COD body (after the marker and length): Scod, SGcod, then SPcod into the
// target coding style.  Zero layers and an unknown MCT value warn through out.
void ReadCODBody(CodecAdapterBoundedInputBE& in, BDiagnOutput& out, GlobalCodingStyle& global,
                 CodingStyle& style);

// COC body after the component index: Scoc, then SPcoc.
void ReadCOCBody(CodecAdapterBoundedInputBE& in, CodingStyle& style);

// SPcod / SPcoc: levels, code-block size and style, transform, precincts.
void ReadSPcod(CodecAdapterBoundedInputBE& in, CodingStyle& style, bool precinctsFollow);

// QCD body, or QCC body after the component index, into q.  An unknown style
// warns through q's route.
void ReadQuantBody(CodecAdapterBoundedInputBE& in, QuantStyle& q);

// Run when a tile's first tile-part header ends, with the component's NL:
// expands a derived record to NL levels, checks that a signalled one gives
// enough levels.
void CheckQuantValues(QuantStyle& q, std::uint32_t levels);

// The step of one subband for a component with `levels` decomposition
// levels: band 0 HL, 1 LH, 2 HH of decomposition level k + 1 (k = 0 finest).
// A segment lists the coarsest level first, so when it gives more levels than
// the component has, the component takes the first ones listed (entries
// k + levelCount - levels); a derived record is expanded from its base step.
// Reads nothing outside the record; values a record cannot give are {0, 0}.
SubbandStep QuantLevelStep(const QuantStyle& q, std::uint32_t levels, std::uint32_t k, std::uint32_t band);
SubbandStep QuantLLStep(const QuantStyle& q);

}  // namespace Codec
