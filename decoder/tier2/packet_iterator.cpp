// The packet iterator: five progression orders, POC records, layer counters.
#include "decoder/tier2/packet_iterator.h"

#include <algorithm>
#include <numeric>

namespace Codec {

namespace {

constexpr std::uint64_t kBeyond = ~std::uint64_t{0};
// Periods above this cannot have a multiple inside a tile other than 0.
constexpr std::uint64_t kHugePeriod = std::uint64_t{1} << 40;

std::uint64_t CeilShift(std::uint64_t a, std::uint32_t s) { return (a + (std::uint64_t{1} << s) - 1) >> s; }

std::uint64_t Lcm(std::uint64_t a, std::uint64_t b) {
  if (a >= kHugePeriod || b >= kHugePeriod) return kBeyond;
  const std::uint64_t g = std::gcd(a, b);
  // Both are below 2^40, so the product may need 80 bits: anything from
  // 2^40 up is as good as no multiple at all.
  if (a / g > kHugePeriod / b) return kBeyond;
  return (a / g) * b;
}

}  // namespace

void PacketIterator::SetUp(const Rect& tile, const IteratorComponent* components,
                           std::uint32_t componentCount, std::uint32_t order, std::uint32_t layers,
                           const ProgressionChange* changes, std::size_t changeCount) {
  SetUpGrids(tile, components, componentCount);
  IndexGrids();
  SetUpProgression(order, layers, changes, changeCount);
}

void PacketIterator::SetUpGrids(const Rect& tile, const IteratorComponent* components,
                                std::uint32_t componentCount) {
  tx0_ = tile.x;
  ty0_ = tile.y;
  tx1_ = std::uint64_t{tile.x} + tile.width;
  ty1_ = std::uint64_t{tile.y} + tile.height;
  componentCount_ = componentCount;
  comps_.Reset(componentCount);
  maxResolutions_ = 0;
  for (std::uint32_t c = 0; c < componentCount; ++c) {
    ComponentGrid& g = comps_[c];
    const CodingStyle& style = *components[c].style;
    g.levels = style.levels;
    g.sampling = components[c].sampling;
    if (g.sampling.x == 0) g.sampling.x = 1;
    if (g.sampling.y == 0) g.sampling.y = 1;
    if (g.levels + 1 > maxResolutions_) maxResolutions_ = g.levels + 1;
    const Rect tc = ComponentRect(tile, g.sampling);
    const std::uint64_t tcx1 = std::uint64_t{tc.x} + tc.width;
    const std::uint64_t tcy1 = std::uint64_t{tc.y} + tc.height;
    g.resolutions.Reset(g.levels + 1);
    for (std::uint32_t r = 0; r <= g.levels; ++r) {
      ResolutionGrid& rg = g.resolutions[r];
      const std::uint32_t shift = g.levels - r;
      const std::uint64_t x0 = CeilShift(tc.x, shift), x1 = CeilShift(tcx1, shift);
      const std::uint64_t y0 = CeilShift(tc.y, shift), y1 = CeilShift(tcy1, shift);
      rg.trx0 = static_cast<std::uint32_t>(x0);
      rg.try0 = static_cast<std::uint32_t>(y0);
      const PrecinctSize pp = r < style.precincts.Count() ? style.precincts[r] : PrecinctSize{15, 15};
      rg.ppx = pp.ppx;
      rg.ppy = pp.ppy;
      rg.columns = x1 == x0 ? 0 : static_cast<std::uint32_t>(CeilShift(x1, pp.ppx) - (x0 >> pp.ppx));
      rg.rows = y1 == y0 ? 0 : static_cast<std::uint32_t>(CeilShift(y1, pp.ppy) - (y0 >> pp.ppy));
      const std::uint64_t cells = std::uint64_t{rg.columns} * rg.rows;
      if (cells > 0x7FFFFFFFu) ThrowFaultMalloc();
      rg.counters.Reset(static_cast<std::size_t>(cells));
    }
  }
}

void PacketIterator::IndexGrids() {
  const std::uint32_t componentCount = componentCount_;
  gridStart_.Reset(std::size_t{maxResolutions_} + 1);
  for (std::uint32_t r = 0; r <= maxResolutions_; ++r) gridStart_[r] = 0;
  for (std::uint32_t c = 0; c < componentCount; ++c)
    for (std::uint32_t r = 0; r < maxResolutions_; ++r)
      if (HasGrid(c, r)) ++gridStart_[r + 1];
  for (std::uint32_t r = 0; r < maxResolutions_; ++r) gridStart_[r + 1] += gridStart_[r];
  gridComps_.Reset(gridStart_[maxResolutions_]);
  std::size_t pairs = 0;
  for (std::uint32_t c = 0; c < componentCount; ++c) pairs += comps_[c].resolutions.Count();
  rowHeap_.Reset(pairs);
  colHeap_.Reset(pairs);
  rowCount_ = 0;
  colCount_ = 0;
  for (std::uint32_t r = 0; r < maxResolutions_; ++r) {
    std::size_t at = gridStart_[r];
    for (std::uint32_t c = 0; c < componentCount; ++c)
      if (HasGrid(c, r)) gridComps_[at++] = c;
  }
}

void PacketIterator::SetUpProgression(std::uint32_t order, std::uint32_t layers,
                                      const ProgressionChange* changes, std::size_t changeCount) {
  const std::uint32_t componentCount = componentCount_;
  layers_ = layers;
  default_ = {};
  default_.progressionOrder = order;
  default_.resolutionStart = 0;
  default_.resolutionEnd = maxResolutions_;
  default_.resolutionCount = maxResolutions_;
  default_.componentStart = 0;
  default_.componentEnd = componentCount;
  default_.componentCount = componentCount;
  default_.layerEnd = layers;

  startList_.Reset(changeCount);
  list_.Reset(changeCount);
  for (std::size_t i = 0; i < changeCount; ++i) {
    startList_[i] = changes[i];
    list_[i] = changes[i];
  }
  savedIndex_ = -1;
  index_ = 0;
  available_ = false;
  Load(RecordAt(0), list_.Empty());
  Restart();
}

const ProgressionChange& PacketIterator::RecordAt(std::size_t i) const {
  return (list_.Empty() || i >= list_.Count()) ? default_ : list_[i];
}

std::size_t PacketIterator::CurrentCount() const { return list_.Empty() ? 1 : list_.Count(); }

void PacketIterator::Load(const ProgressionChange& rec, bool isDefault) {
  order_ = rec.progressionOrder > kCPRL ? static_cast<std::uint32_t>(kCPRL) : rec.progressionOrder;
  resStart_ = rec.resolutionStart;
  resEnd_ = rec.resolutionEnd < maxResolutions_ ? rec.resolutionEnd : maxResolutions_;
  compStart_ = rec.componentStart;
  compEnd_ = rec.componentEnd < componentCount_ ? rec.componentEnd : componentCount_;
  layerEnd_ = rec.layerEnd < layers_ ? rec.layerEnd : layers_;
  onDefault_ = isDefault;
  restart_ = true;
}

void PacketIterator::Restart() {
  for (ComponentGrid& g : comps_)
    for (ResolutionGrid& rg : g.resolutions)
      for (std::uint32_t& counter : rg.counters) counter = 0;
  restart_ = true;
  Advance();
}

void PacketIterator::Advance() {
  if (Search()) {
    available_ = true;
    return;
  }
  ++index_;
  if (index_ < CurrentCount() && !onDefault_) {
    Load(RecordAt(index_), list_.Empty());
  } else if (!onDefault_) {
    // Packets that no record of the list covers come in the COD order.
    Load(default_, true);
  } else {
    available_ = false;
    return;
  }
  available_ = Search();
}

void PacketIterator::ReplaceRecords(const ProgressionChange* changes, std::size_t count) {
  if (count > 0) {
    if (savedIndex_ < 0) savedIndex_ = static_cast<std::ptrdiff_t>(index_);
    list_.Reset(count);
    for (std::size_t i = 0; i < count; ++i) list_[i] = changes[i];
    index_ = 0;
    Load(list_[0], false);
    return;
  }
  if (savedIndex_ >= 0) {
    list_.Reset(startList_.Count());
    for (std::size_t i = 0; i < startList_.Count(); ++i) list_[i] = startList_[i];
    index_ = static_cast<std::size_t>(savedIndex_);
    const bool isDefault = list_.Empty() || index_ >= list_.Count();
    Load(RecordAt(index_), isDefault);
  } else {
    list_.Reset();
    index_ = 0;
    Load(default_, true);
  }
}

std::uint32_t PacketIterator::PrecinctColumns(std::uint32_t c, std::uint32_t r) const {
  if (c >= comps_.Count() || r >= comps_[c].resolutions.Count()) return 0;
  return comps_[c].resolutions[r].columns;
}

std::uint32_t PacketIterator::PrecinctRows(std::uint32_t c, std::uint32_t r) const {
  if (c >= comps_.Count() || r >= comps_[c].resolutions.Count()) return 0;
  return comps_[c].resolutions[r].rows;
}

bool PacketIterator::HasGrid(std::uint32_t c, std::uint32_t r) const {
  const ComponentGrid& g = comps_[c];
  if (r > g.levels) return false;
  const ResolutionGrid& rg = g.resolutions[r];
  return rg.columns > 0 && rg.rows > 0;
}

std::size_t PacketIterator::FirstGridEntry(std::uint32_t r, std::uint32_t c) const {
  std::size_t lo = gridStart_[r], hi = gridStart_[r + 1];
  while (lo < hi) {
    const std::size_t mid = lo + (hi - lo) / 2;
    if (gridComps_[mid] < c)
      lo = mid + 1;
    else
      hi = mid;
  }
  return lo;
}

bool PacketIterator::AnyGridInRecord(std::uint32_t r) const {
  const std::size_t g = FirstGridEntry(r, compStart_);
  return g < gridStart_[r + 1] && gridComps_[g] < compEnd_;
}

bool PacketIterator::Emit() {
  ResolutionGrid& rg = comps_[c_].resolutions[r_];
  std::uint32_t& counter = rg.counters[std::size_t{py_} * rg.columns + px_];
  if (l_ < counter) return false;
  ++counter;
  current_ = {c_, r_, px_, py_, l_};
  return true;
}

std::uint32_t PacketIterator::FirstLayer() const {
  // Layers below the precinct's counter were produced already; starting at
  // the counter skips them at no cost and produces the same packets.
  const ResolutionGrid& rg = comps_[c_].resolutions[r_];
  return rg.counters[std::size_t{py_} * rg.columns + px_];
}

bool PacketIterator::Search() {
  const bool resume = !restart_;
  restart_ = false;
  if (compStart_ >= compEnd_ || resStart_ >= resEnd_ || layerEnd_ == 0) return false;
  switch (order_) {
    case kLRCP:
      return SearchLRCP(resume);
    case kRLCP:
      return SearchRLCP(resume);
    case kRPCL:
      return SearchRPCL(resume);
    case kPCRL:
      return SearchPCRL(resume);
    default:
      return SearchCPRL(resume);
  }
}

// The searches resume inside their innermost loop, at the candidate after
// the packet produced last; every loop variable is a member, so the jump
// crosses no initialisation.

bool PacketIterator::SearchLRCP(bool resume) {
  if (resume) goto next;
  for (l_ = 0; l_ < layerEnd_; ++l_) {
    for (r_ = resStart_; r_ < resEnd_; ++r_) {
      for (g_ = FirstGridEntry(r_, compStart_); g_ < gridStart_[r_ + 1] && gridComps_[g_] < compEnd_; ++g_) {
        c_ = gridComps_[g_];
        for (py_ = 0; py_ < comps_[c_].resolutions[r_].rows; ++py_) {
          for (px_ = 0; px_ < comps_[c_].resolutions[r_].columns; ++px_) {
            if (Emit()) return true;
          next:;
          }
        }
      }
    }
  }
  return false;
}

bool PacketIterator::SearchRLCP(bool resume) {
  if (resume) goto next;
  for (r_ = resStart_; r_ < resEnd_; ++r_) {
    if (!AnyGridInRecord(r_)) continue;
    for (l_ = 0; l_ < layerEnd_; ++l_) {
      for (g_ = FirstGridEntry(r_, compStart_); g_ < gridStart_[r_ + 1] && gridComps_[g_] < compEnd_; ++g_) {
        c_ = gridComps_[g_];
        for (py_ = 0; py_ < comps_[c_].resolutions[r_].rows; ++py_) {
          for (px_ = 0; px_ < comps_[c_].resolutions[r_].columns; ++px_) {
            if (Emit()) return true;
          next:;
          }
        }
      }
    }
  }
  return false;
}

void PacketIterator::ComputeSteps(std::uint32_t only, bool all) {
  stepX_ = kBeyond;
  stepY_ = kBeyond;
  const std::uint32_t first = all ? 0 : only;
  const std::uint32_t end = all ? componentCount_ : only + 1;
  for (std::uint32_t c = first; c < end; ++c) {
    const ComponentGrid& g = comps_[c];
    for (std::uint32_t r = 0; r <= g.levels; ++r) {
      const ResolutionGrid& rg = g.resolutions[r];
      const std::uint64_t sx = std::uint64_t{g.sampling.x} << (rg.ppx + g.levels - r);
      const std::uint64_t sy = std::uint64_t{g.sampling.y} << (rg.ppy + g.levels - r);
      if (sx < stepX_) stepX_ = sx;
      if (sy < stepY_) stepY_ = sy;
    }
  }
}

bool PacketIterator::StartsPrecinct(std::uint32_t c, std::uint32_t r) {
  if (!HasGrid(c, r)) return false;
  const ComponentGrid& g = comps_[c];
  const ResolutionGrid& rg = g.resolutions[r];
  const std::uint32_t down = g.levels - r;
  const std::uint64_t periodX = std::uint64_t{g.sampling.x} << (rg.ppx + down);
  const std::uint64_t periodY = std::uint64_t{g.sampling.y} << (rg.ppy + down);
  const std::uint64_t maskX = (std::uint64_t{1} << (rg.ppx + down)) - 1;
  const std::uint64_t maskY = (std::uint64_t{1} << (rg.ppy + down)) - 1;
  const bool startX = x_ % periodX == 0 || (x_ == tx0_ && ((std::uint64_t{rg.trx0} << down) & maskX) != 0);
  const bool startY = y_ % periodY == 0 || (y_ == ty0_ && ((std::uint64_t{rg.try0} << down) & maskY) != 0);
  if (!startX || !startY) return false;
  const std::uint64_t cx =
      (x_ + (std::uint64_t{g.sampling.x} << down) - 1) / (std::uint64_t{g.sampling.x} << down);
  const std::uint64_t cy =
      (y_ + (std::uint64_t{g.sampling.y} << down) - 1) / (std::uint64_t{g.sampling.y} << down);
  const std::uint64_t px = (cx >> rg.ppx) - (rg.trx0 >> rg.ppx);
  const std::uint64_t py = (cy >> rg.ppy) - (rg.try0 >> rg.ppy);
  // On a grid that the subsampling does not divide evenly the position can
  // name a precinct outside the grid: such a candidate is no packet.
  if (px >= rg.columns || py >= rg.rows) return false;
  px_ = static_cast<std::uint32_t>(px);
  py_ = static_cast<std::uint32_t>(py);
  return true;
}

std::uint64_t PacketIterator::Lattice(std::uint32_t c, std::uint32_t r, bool vertical) const {
  const ComponentGrid& g = comps_[c];
  const ResolutionGrid& rg = g.resolutions[r];
  const std::uint32_t e = (vertical ? rg.ppy : rg.ppx) + g.levels - r;
  const std::uint64_t period = std::uint64_t{vertical ? g.sampling.y : g.sampling.x} << e;
  // Only positions on the lattice of the step are visited; of those, a
  // precinct of (c, r) starts at the multiples of both.
  return Lcm(vertical ? stepY_ : stepX_, period);
}

namespace {

// Heap order: the smallest position first, then component, then resolution.
bool Later(const PacketIterator::Candidate& a, const PacketIterator::Candidate& b) {
  if (a.pos != b.pos) return a.pos > b.pos;
  if (a.c != b.c) return a.c > b.c;
  return a.r > b.r;
}

std::uint64_t NextOnLattice(std::uint64_t v, std::uint64_t lattice) {
  return lattice == kBeyond ? kBeyond : (v / lattice + 1) * lattice;
}

}  // namespace

void PacketIterator::PushRow(std::uint32_t c, std::uint32_t r) {
  rowHeap_[rowCount_++] = {ty0_, c, r, Lattice(c, r, true)};
  std::push_heap(rowHeap_.Data(), rowHeap_.Data() + rowCount_, Later);
}

bool PacketIterator::StartOuter() {
  rowCount_ = 0;
  colCount_ = 0;
  inRow_ = false;
  switch (order_) {
    case kRPCL:
      if (outer_ >= resEnd_) return false;
      for (std::size_t g = FirstGridEntry(outer_, compStart_);
           g < gridStart_[outer_ + 1] && gridComps_[g] < compEnd_; ++g)
        PushRow(gridComps_[g], outer_);
      return true;
    case kPCRL:
      if (outer_ > 0) return false;
      for (std::uint32_t c = compStart_; c < compEnd_; ++c)
        for (std::uint32_t r = resStart_; r < resEnd_ && r < comps_[c].levels + 1; ++r)
          if (HasGrid(c, r)) PushRow(c, r);
      return true;
    default:  // CPRL
      if (outer_ >= compEnd_) return false;
      ComputeSteps(outer_, false);
      for (std::uint32_t r = resStart_; r < resEnd_ && r < comps_[outer_].levels + 1; ++r)
        if (HasGrid(outer_, r)) PushRow(outer_, r);
      return true;
  }
}

// The position-driven orders visit, row by row and within a row from left to
// right, only the positions at which some (c, r) of the loop has a lattice
// point; at each, the (c, r) with a point there come in component and
// resolution order.  Two heaps of (c, r) keyed by their next lattice point
// drive the rows and the positions of a row, so the work follows the
// precincts and not the product of the grids of different (c, r).
bool PacketIterator::SearchByPosition(bool resume) {
  if (!resume) {
    if (order_ != kCPRL) ComputeSteps(0, true);
    outer_ = order_ == kRPCL ? resStart_ : order_ == kCPRL ? compStart_ : 0;
    atCandidate_ = false;
    if (!StartOuter()) return false;
  }
  for (;;) {
    if (atCandidate_) {
      for (++l_; l_ < layerEnd_; ++l_)
        if (Emit()) return true;
      atCandidate_ = false;
    }
    if (inRow_ && colCount_ > 0) {
      std::pop_heap(colHeap_.Data(), colHeap_.Data() + colCount_, Later);
      const Candidate next = colHeap_[colCount_ - 1];
      const std::uint64_t after = NextOnLattice(next.pos, next.lattice);
      if (after < tx1_) {
        colHeap_[colCount_ - 1].pos = after;
        std::push_heap(colHeap_.Data(), colHeap_.Data() + colCount_, Later);
      } else {
        --colCount_;
      }
      x_ = next.pos;
      c_ = next.c;
      r_ = next.r;
      if (!StartsPrecinct(c_, r_)) continue;
      for (l_ = FirstLayer(); l_ < layerEnd_; ++l_) {
        if (Emit()) {
          atCandidate_ = true;
          return true;
        }
      }
      continue;
    }
    inRow_ = false;
    if (rowCount_ > 0) {
      // The next row: every (c, r) with a lattice point on it starts the row
      // at the tile's left edge.
      y_ = rowHeap_[0].pos;
      colCount_ = 0;
      while (rowCount_ > 0 && rowHeap_[0].pos == y_) {
        std::pop_heap(rowHeap_.Data(), rowHeap_.Data() + rowCount_, Later);
        Candidate& e = rowHeap_[rowCount_ - 1];
        colHeap_[colCount_++] = {tx0_, e.c, e.r, Lattice(e.c, e.r, false)};
        const std::uint64_t after = NextOnLattice(e.pos, e.lattice);
        if (after < ty1_) {
          e.pos = after;
          std::push_heap(rowHeap_.Data(), rowHeap_.Data() + rowCount_, Later);
        } else {
          --rowCount_;
        }
      }
      std::make_heap(colHeap_.Data(), colHeap_.Data() + colCount_, Later);
      inRow_ = true;
      continue;
    }
    ++outer_;
    if (!StartOuter()) return false;
  }
}

bool PacketIterator::SearchRPCL(bool resume) { return SearchByPosition(resume); }
bool PacketIterator::SearchPCRL(bool resume) { return SearchByPosition(resume); }
bool PacketIterator::SearchCPRL(bool resume) { return SearchByPosition(resume); }

}  // namespace Codec
