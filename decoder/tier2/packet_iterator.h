// The packet iterator of a tile.
//
// Packets of a tile follow each other in the order of the COD progression
// and of the POC records in force.  The iterator names them one at a time as
// (component, resolution, precinct column, precinct row, layer).  Each
// precinct keeps a counter of the next layer to produce, so every packet
// comes out once and the layers of a precinct in order, whatever records
// overlap.  Packets that no POC record covers follow in the COD order.
//
// The position-driven orders (RPCL, PCRL, CPRL) step over reference-grid
// positions; the iterator moves from one precinct start straight to the next
// one instead of visiting every position in between, so a large tile with
// small precincts costs time in proportion to its precincts.
#pragma once

#include <cstddef>
#include <cstdint>

#include "decoder/codestream/codestream_header.h"
#include "decoder/codestream/coding_params.h"
#include "decoder/geometry.h"
#include "decoder/holders.h"

namespace Codec {

struct PacketPosition {
  std::uint32_t component = 0;
  std::uint32_t resolution = 0;
  std::uint32_t precinctX = 0;
  std::uint32_t precinctY = 0;
  std::uint32_t layer = 0;
};

// What the iterator needs of one component of the tile.
struct IteratorComponent {
  const CodingStyle* style = nullptr;  // NL and precinct exponents
  SamplingPair sampling{1, 1};
};

class PacketIterator {
 public:
  // A (c, r) with its next lattice point in x or y.
  struct Candidate {
    std::uint64_t pos;
    std::uint32_t c;
    std::uint32_t r;
    std::uint64_t lattice;
  };

  PacketIterator() = default;
  PacketIterator(const PacketIterator&) = delete;
  PacketIterator& operator=(const PacketIterator&) = delete;

  // At tile start: the tile rectangle on the reference grid, one entry per
  // component, the COD order and layer count, and the progression changes in
  // force (none: the COD order alone).  Ends with Restart, so the first
  // packet is available at once when there is one.
  void SetUp(const Rect& tile, const IteratorComponent* components, std::uint32_t componentCount,
             std::uint32_t order, std::uint32_t layers, const ProgressionChange* changes,
             std::size_t changeCount);

  // Every layer counter back to 0; the search starts over.
  void Restart();
  // Moves to the next packet.
  void Advance();
  // For a later tile-part: the progression changes in force for it.
  void ReplaceRecords(const ProgressionChange* changes, std::size_t count);

  bool Available() const { return available_; }
  const PacketPosition& Current() const { return current_; }

  // Precinct grid of resolution r of component c (0 x 0 outside the tile's
  // components or resolutions).
  std::uint32_t PrecinctColumns(std::uint32_t c, std::uint32_t r) const;
  std::uint32_t PrecinctRows(std::uint32_t c, std::uint32_t r) const;

 private:
  struct ResolutionGrid {
    std::uint32_t columns = 0;
    std::uint32_t rows = 0;
    std::uint32_t trx0 = 0;
    std::uint32_t try0 = 0;
    std::uint32_t ppx = 0;
    std::uint32_t ppy = 0;
    OwnedArray<std::uint32_t> counters;  // rows x columns, next layer to produce
  };
  struct ComponentGrid {
    std::uint32_t levels = 0;  // NL
    SamplingPair sampling{1, 1};
    OwnedArray<ResolutionGrid> resolutions;  // NL + 1
  };

  void Load(const ProgressionChange& record, bool isDefault);
  // Steps of SetUp: the tile's precinct grids per component and resolution
  // with their layer counters; the components with a grid at each resolution
  // and the heaps of the position-driven orders; the default record and the
  // tile's progression changes, with the first record loaded.
  void SetUpGrids(const Rect& tile, const IteratorComponent* components, std::uint32_t componentCount);
  void IndexGrids();
  void SetUpProgression(std::uint32_t order, std::uint32_t layers, const ProgressionChange* changes,
                        std::size_t changeCount);
  const ProgressionChange& RecordAt(std::size_t i) const;
  std::size_t CurrentCount() const;
  bool Search();
  bool SearchLRCP(bool resume);
  bool SearchRLCP(bool resume);
  bool SearchRPCL(bool resume);
  bool SearchPCRL(bool resume);
  bool SearchCPRL(bool resume);

  // Emission rule at the current candidate.
  bool Emit();
  std::uint32_t FirstLayer() const;
  bool HasGrid(std::uint32_t c, std::uint32_t r) const;
  // Index in gridComps_ of the first component >= c with a grid at r (the
  // end of r's run when there is none).
  std::size_t FirstGridEntry(std::uint32_t r, std::uint32_t c) const;
  // Whether some component of the record in force has a grid at r.
  bool AnyGridInRecord(std::uint32_t r) const;
  // Whether the current position starts a precinct of (c, r); sets the
  // current precinct indices when it does.
  bool StartsPrecinct(std::uint32_t c, std::uint32_t r);
  // Lattice steps of the position-driven orders, over all components or one.
  void ComputeSteps(std::uint32_t onlyComponent, bool allComponents);
  // The lattice of (c, r) in x or y: the multiples of both the step and its
  // precinct period (all ones when no multiple but 0 can lie in a tile).
  std::uint64_t Lattice(std::uint32_t c, std::uint32_t r, bool vertical) const;
  // RPCL, PCRL and CPRL.
  bool SearchByPosition(bool resume);
  // Fills the row heap for the current outer loop value (RPCL: resolution,
  // CPRL: component, PCRL: one pass); false when the outer loop is done.
  bool StartOuter();
  void PushRow(std::uint32_t c, std::uint32_t r);

  OwnedArray<ComponentGrid> comps_;
  std::uint32_t componentCount_ = 0;
  std::uint32_t maxResolutions_ = 0;  // largest NL + 1
  std::uint32_t layers_ = 0;          // COD layer count
  std::uint64_t tx0_ = 0, tx1_ = 0, ty0_ = 0, ty1_ = 0;
  // The components with a precinct grid at each resolution, in component
  // order: resolution r's run is gridComps_[gridStart_[r] .. gridStart_[r + 1]).
  // The layer-major orders walk only these, so a resolution that is empty
  // in most components costs nothing per layer.
  OwnedArray<std::size_t> gridStart_;
  OwnedArray<std::uint32_t> gridComps_;

  // Record in force.
  std::uint32_t order_ = 0;
  std::uint32_t layerEnd_ = 0;
  std::uint32_t resStart_ = 0, resEnd_ = 0;
  std::uint32_t compStart_ = 0, compEnd_ = 0;
  bool restart_ = true;

  // Loop state.
  std::uint32_t l_ = 0, r_ = 0, c_ = 0, px_ = 0, py_ = 0;
  std::size_t g_ = 0;  // entry of c_ in gridComps_ (layer-major orders)
  std::uint64_t x_ = 0, y_ = 0;
  std::uint64_t stepX_ = 1, stepY_ = 1;
  // Position-driven orders: (c, r) by next row, (c, r) of the current row by
  // next position; outer loop value; whether the layer loop of the current
  // candidate is under way.
  OwnedArray<Candidate> rowHeap_, colHeap_;
  std::size_t rowCount_ = 0, colCount_ = 0;
  std::uint32_t outer_ = 0;
  bool inRow_ = false;
  bool atCandidate_ = false;

  bool available_ = false;
  PacketPosition current_;

  ProgressionChange default_;
  OwnedArray<ProgressionChange> startList_;  // in force at tile start (empty: default only)
  OwnedArray<ProgressionChange> list_;       // current list (empty: default only)
  std::ptrdiff_t savedIndex_ = -1;
  std::size_t index_ = 0;
  bool onDefault_ = false;
};

}  // namespace Codec
