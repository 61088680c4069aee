// The packet iterator against an independent enumeration written from the
// loop nesting of the standard: every reference-grid position is stepped
// over one by one, the precinct tests and indices are recomputed from the
// tile geometry, and a map of layer counters stands for the emission rule.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <tuple>
#include <vector>

#include "decoder/tier2/packet_iterator.h"

using namespace Codec;

namespace {

struct Comp {
  std::uint32_t levels;
  std::uint32_t xr, yr;
  std::vector<PrecinctSize> pp;  // levels + 1
};

struct Config {
  Rect tile;
  std::vector<Comp> comps;
  std::uint32_t order;
  std::uint32_t layers;
  std::vector<ProgressionChange> pocs;
};

using Key = std::tuple<std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t>;  // c r px py
using Seq =
    std::vector<std::tuple<std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t>>;

std::uint64_t ceildiv(std::uint64_t a, std::uint64_t b) { return (a + b - 1) / b; }

struct ResGeom {
  std::uint64_t trx0, try0, trx1, try1, cols, rows;
};

ResGeom Geom(const Config& cfg, std::uint32_t c, std::uint32_t r) {
  const Comp& k = cfg.comps[c];
  const std::uint64_t tcx0 = ceildiv(cfg.tile.x, k.xr);
  const std::uint64_t tcx1 = ceildiv(std::uint64_t{cfg.tile.x} + cfg.tile.width, k.xr);
  const std::uint64_t tcy0 = ceildiv(cfg.tile.y, k.yr);
  const std::uint64_t tcy1 = ceildiv(std::uint64_t{cfg.tile.y} + cfg.tile.height, k.yr);
  const std::uint64_t d = std::uint64_t{1} << (k.levels - r);
  ResGeom g;
  g.trx0 = ceildiv(tcx0, d);
  g.trx1 = ceildiv(tcx1, d);
  g.try0 = ceildiv(tcy0, d);
  g.try1 = ceildiv(tcy1, d);
  const std::uint64_t pw = std::uint64_t{1} << k.pp[r].ppx, ph = std::uint64_t{1} << k.pp[r].ppy;
  g.cols = g.trx1 == g.trx0 ? 0 : ceildiv(g.trx1, pw) - g.trx0 / pw;
  g.rows = g.try1 == g.try0 ? 0 : ceildiv(g.try1, ph) - g.try0 / ph;
  return g;
}

class Reference {
 public:
  explicit Reference(const Config& cfg) : cfg_(cfg) {}

  Seq Run() {
    std::uint32_t maxRes = 0;
    for (const Comp& k : cfg_.comps) maxRes = std::max(maxRes, k.levels + 1);
    std::vector<ProgressionChange> records = cfg_.pocs;
    ProgressionChange def{};
    def.progressionOrder = cfg_.order;
    def.resolutionEnd = maxRes;
    def.componentEnd = static_cast<std::uint32_t>(cfg_.comps.size());
    def.layerEnd = cfg_.layers;
    records.push_back(def);
    for (std::size_t i = 0; i < records.size(); ++i) {
      const std::size_t before = out_.size();
      Record(records[i], maxRes);
      // A record loaded after another that yields nothing ends the tile (the
      // first record is searched before any is loaded).
      if (i > 0 && out_.size() == before) break;
    }
    return out_;
  }

 private:
  void Try(std::uint32_t c, std::uint32_t r, std::uint32_t px, std::uint32_t py, std::uint32_t l) {
    std::uint32_t& counter = counters_[Key{c, r, px, py}];
    if (l < counter) return;
    ++counter;
    out_.emplace_back(c, r, px, py, l);
  }

  // Position test and precinct index of the standard, at (x, y).
  bool At(std::uint32_t c, std::uint32_t r, std::uint64_t x, std::uint64_t y, std::uint32_t& px,
          std::uint32_t& py) {
    const Comp& k = cfg_.comps[c];
    if (r > k.levels) return false;
    const ResGeom g = Geom(cfg_, c, r);
    if (g.cols == 0 || g.rows == 0) return false;
    const std::uint32_t n = k.levels - r;
    const std::uint64_t ex = std::uint64_t{1} << (k.pp[r].ppx + n),
                        ey = std::uint64_t{1} << (k.pp[r].ppy + n);
    const bool okx = x % (k.xr * ex) == 0 || (x == cfg_.tile.x && (g.trx0 << n) % ex != 0);
    const bool oky = y % (k.yr * ey) == 0 || (y == cfg_.tile.y && (g.try0 << n) % ey != 0);
    if (!okx || !oky) return false;
    const std::uint64_t qx = ceildiv(x, std::uint64_t{k.xr} << n) >> k.pp[r].ppx;
    const std::uint64_t qy = ceildiv(y, std::uint64_t{k.yr} << n) >> k.pp[r].ppy;
    const std::uint64_t ix = qx - (g.trx0 >> k.pp[r].ppx), iy = qy - (g.try0 >> k.pp[r].ppy);
    if (ix >= g.cols || iy >= g.rows) return false;
    px = static_cast<std::uint32_t>(ix);
    py = static_cast<std::uint32_t>(iy);
    return true;
  }

  void Record(const ProgressionChange& rec, std::uint32_t maxRes) {
    const std::uint32_t order = std::min<std::uint32_t>(rec.progressionOrder, 4);
    const std::uint32_t le = std::min(rec.layerEnd, cfg_.layers);
    const std::uint32_t rs = rec.resolutionStart, re = std::min(rec.resolutionEnd, maxRes);
    const std::uint32_t cs = rec.componentStart;
    const std::uint32_t ce =
        std::min<std::uint32_t>(rec.componentEnd, static_cast<std::uint32_t>(cfg_.comps.size()));
    const std::uint64_t x0 = cfg_.tile.x, x1 = x0 + cfg_.tile.width, y0 = cfg_.tile.y,
                        y1 = y0 + cfg_.tile.height;
    auto steps = [&](std::uint32_t cFirst, std::uint32_t cEnd, std::uint64_t& sx, std::uint64_t& sy) {
      sx = sy = ~std::uint64_t{0};
      for (std::uint32_t c = cFirst; c < cEnd; ++c)
        for (std::uint32_t r = 0; r <= cfg_.comps[c].levels; ++r) {
          const Comp& k = cfg_.comps[c];
          sx = std::min<std::uint64_t>(sx, std::uint64_t{k.xr} << (k.pp[r].ppx + k.levels - r));
          sy = std::min<std::uint64_t>(sy, std::uint64_t{k.yr} << (k.pp[r].ppy + k.levels - r));
        }
    };
    std::uint32_t px, py;
    if (order == 0 || order == 1) {
      for (std::uint32_t a = 0; a < (order == 0 ? le : re); ++a)
        for (std::uint32_t b = (order == 0 ? rs : 0); b < (order == 0 ? re : le); ++b) {
          if (order == 1 && a < rs) break;
          const std::uint32_t l = order == 0 ? a : b, r = order == 0 ? b : a;
          for (std::uint32_t c = cs; c < ce; ++c) {
            if (r > cfg_.comps[c].levels) continue;
            const ResGeom g = Geom(cfg_, c, r);
            for (std::uint64_t j = 0; j < g.rows; ++j)
              for (std::uint64_t i = 0; i < g.cols; ++i)
                Try(c, r, static_cast<std::uint32_t>(i), static_cast<std::uint32_t>(j), l);
          }
        }
      return;
    }
    std::uint64_t sx, sy;
    if (order == 2) {
      steps(0, static_cast<std::uint32_t>(cfg_.comps.size()), sx, sy);
      for (std::uint32_t r = rs; r < re; ++r)
        for (std::uint64_t y = y0; y < y1; y += sy - y % sy)
          for (std::uint64_t x = x0; x < x1; x += sx - x % sx)
            for (std::uint32_t c = cs; c < ce; ++c)
              if (At(c, r, x, y, px, py))
                for (std::uint32_t l = 0; l < le; ++l) Try(c, r, px, py, l);
    } else if (order == 3) {
      steps(0, static_cast<std::uint32_t>(cfg_.comps.size()), sx, sy);
      for (std::uint64_t y = y0; y < y1; y += sy - y % sy)
        for (std::uint64_t x = x0; x < x1; x += sx - x % sx)
          for (std::uint32_t c = cs; c < ce; ++c)
            for (std::uint32_t r = rs; r < std::min(re, cfg_.comps[c].levels + 1); ++r)
              if (At(c, r, x, y, px, py))
                for (std::uint32_t l = 0; l < le; ++l) Try(c, r, px, py, l);
    } else {
      for (std::uint32_t c = cs; c < ce; ++c) {
        steps(c, c + 1, sx, sy);
        for (std::uint64_t y = y0; y < y1; y += sy - y % sy)
          for (std::uint64_t x = x0; x < x1; x += sx - x % sx)
            for (std::uint32_t r = rs; r < std::min(re, cfg_.comps[c].levels + 1); ++r)
              if (At(c, r, x, y, px, py))
                for (std::uint32_t l = 0; l < le; ++l) Try(c, r, px, py, l);
      }
    }
  }

  const Config& cfg_;
  std::map<Key, std::uint32_t> counters_;
  Seq out_;
};

// The iterator's sequence for a configuration.
Seq Iterate(const Config& cfg, std::size_t limit = 1000000) {
  std::vector<CodingStyle> styles(cfg.comps.size());
  std::vector<IteratorComponent> ic(cfg.comps.size());
  for (std::size_t c = 0; c < cfg.comps.size(); ++c) {
    styles[c].levels = cfg.comps[c].levels;
    styles[c].precincts.Reset(cfg.comps[c].levels + 1);
    for (std::uint32_t r = 0; r <= cfg.comps[c].levels; ++r) styles[c].precincts[r] = cfg.comps[c].pp[r];
    ic[c] = {&styles[c], {cfg.comps[c].xr, cfg.comps[c].yr}};
  }
  PacketIterator it;
  it.SetUp(cfg.tile, ic.data(), static_cast<std::uint32_t>(ic.size()), cfg.order, cfg.layers, cfg.pocs.data(),
           cfg.pocs.size());
  Seq out;
  while (it.Available() && out.size() < limit) {
    const PacketPosition& p = it.Current();
    out.emplace_back(p.component, p.resolution, p.precinctX, p.precinctY, p.layer);
    it.Advance();
  }
  return out;
}

ProgressionChange Poc(std::uint32_t order, std::uint32_t rs, std::uint32_t re, std::uint32_t cs,
                      std::uint32_t ce, std::uint32_t le) {
  ProgressionChange p;
  p.progressionOrder = order;
  p.resolutionStart = rs;
  p.resolutionEnd = re;
  p.resolutionCount = re - rs;
  p.componentStart = cs;
  p.componentEnd = ce;
  p.componentCount = ce - cs;
  p.layerEnd = le;
  return p;
}

Comp Uniform(std::uint32_t levels, std::uint32_t xr, std::uint32_t yr, std::uint32_t pp) {
  Comp k{levels, xr, yr, {}};
  for (std::uint32_t r = 0; r <= levels; ++r) k.pp.push_back({pp, pp});
  return k;
}

Config Random(std::mt19937& rng) {
  auto pick = [&](std::uint32_t lo, std::uint32_t hi) {
    return std::uniform_int_distribution<std::uint32_t>(lo, hi)(rng);
  };
  Config cfg;
  cfg.tile = {pick(0, 40), pick(0, 40), pick(1, 90), pick(1, 90)};
  const std::uint32_t n = pick(1, 3);
  for (std::uint32_t c = 0; c < n; ++c) {
    Comp k;
    k.levels = pick(0, 4);
    k.xr = pick(1, 3);
    k.yr = pick(1, 2);
    for (std::uint32_t r = 0; r <= k.levels; ++r)
      k.pp.push_back({pick(r == 0 ? 0 : 1, 5), pick(r == 0 ? 0 : 1, 5)});
    cfg.comps.push_back(k);
  }
  cfg.order = pick(0, 4);
  cfg.layers = pick(1, 3);
  return cfg;
}

std::set<Key> Precincts(const Seq& s) {
  std::set<Key> k;
  for (const auto& [c, r, px, py, l] : s) k.insert({c, r, px, py});
  return k;
}

}  // namespace

TEST(PacketIterator, EveryOrderMatchesTheStandardLoops) {
  for (std::uint32_t order = 0; order < 5; ++order) {
    Config cfg;
    cfg.tile = {3, 5, 61, 37};
    cfg.comps = {Uniform(3, 1, 1, 3), Uniform(2, 2, 1, 2), Uniform(3, 1, 2, 4)};
    cfg.comps[0].pp[0] = {1, 2};
    cfg.order = order;
    cfg.layers = 3;
    const Seq expected = Reference(cfg).Run();
    EXPECT_EQ(Iterate(cfg), expected) << "order " << order;
    // Every precinct of every component and resolution, each layer once.
    std::size_t total = 0;
    for (std::uint32_t c = 0; c < 3; ++c)
      for (std::uint32_t r = 0; r <= cfg.comps[c].levels; ++r)
        total += Geom(cfg, c, r).cols * Geom(cfg, c, r).rows;
    EXPECT_EQ(expected.size(), total * cfg.layers);
  }
}

TEST(PacketIterator, RandomGeometriesMatchTheStandardLoops) {
  std::mt19937 rng(1234);
  for (int i = 0; i < 400; ++i) {
    const Config cfg = Random(rng);
    ASSERT_EQ(Iterate(cfg), Reference(cfg).Run()) << "case " << i;
  }
}

TEST(PacketIterator, RandomProgressionChangesMatchTheStandardLoops) {
  std::mt19937 rng(99);
  for (int i = 0; i < 400; ++i) {
    Config cfg = Random(rng);
    const std::uint32_t n = static_cast<std::uint32_t>(cfg.comps.size());
    const std::uint32_t records = std::uniform_int_distribution<std::uint32_t>(1, 3)(rng);
    for (std::uint32_t k = 0; k < records; ++k) {
      std::uniform_int_distribution<std::uint32_t> d(0, 5);
      const std::uint32_t rs = d(rng) % 3, re = rs + 1 + d(rng) % 4;
      const std::uint32_t cs = d(rng) % n, ce = cs + 1 + d(rng) % 3;
      // Orders above 4 are iterated as CPRL; layer ends beyond the tile's count are cut.
      cfg.pocs.push_back(Poc(d(rng) + (k == 2 ? 2 : 0), rs, re, cs, ce, 1 + d(rng) % 4));
    }
    ASSERT_EQ(Iterate(cfg), Reference(cfg).Run()) << "case " << i;
  }
}

TEST(PacketIterator, UncoveredPacketsFollowInCodOrderOnce) {
  Config cfg;
  cfg.tile = {0, 0, 32, 32};
  cfg.comps = {Uniform(2, 1, 1, 15), Uniform(2, 1, 1, 15)};
  cfg.order = 0;
  cfg.layers = 2;
  cfg.pocs = {Poc(1, 0, 1, 0, 2, 2)};  // resolution 0 of both components first
  const Seq s = Iterate(cfg);
  ASSERT_EQ(s.size(), 12u);
  const Seq head = {{0, 0, 0, 0, 0}, {1, 0, 0, 0, 0}, {0, 0, 0, 0, 1}, {1, 0, 0, 0, 1}};
  EXPECT_TRUE(std::equal(head.begin(), head.end(), s.begin()));
  // Then LRCP over what is left.
  EXPECT_EQ(s[4], std::make_tuple(0u, 1u, 0u, 0u, 0u));
  EXPECT_EQ(s[5], std::make_tuple(1u, 1u, 0u, 0u, 0u));
  EXPECT_EQ(Precincts(s).size(), 6u);
}

TEST(PacketIterator, OverlappingRecordsProduceEachLayerOnceInOrder) {
  Config cfg;
  cfg.tile = {0, 0, 16, 16};
  cfg.comps = {Uniform(1, 1, 1, 15)};
  cfg.order = 0;
  cfg.layers = 3;
  cfg.pocs = {Poc(0, 0, 2, 0, 1, 2), Poc(1, 0, 2, 0, 1, 3)};
  const Seq s = Iterate(cfg);
  EXPECT_EQ(s, Reference(cfg).Run());
  ASSERT_EQ(s.size(), 6u);
  EXPECT_EQ(s[4], std::make_tuple(0u, 0u, 0u, 0u, 2u));
  EXPECT_EQ(s[5], std::make_tuple(0u, 1u, 0u, 0u, 2u));
}

TEST(PacketIterator, ARecordThatYieldsNothingEndsTheTile) {
  Config cfg;
  cfg.tile = {0, 0, 16, 16};
  cfg.comps = {Uniform(1, 1, 1, 15)};
  cfg.order = 0;
  cfg.layers = 2;
  // The second record repeats the first; the third is never tried.
  cfg.pocs = {Poc(0, 0, 1, 0, 1, 2), Poc(0, 0, 1, 0, 1, 2), Poc(0, 1, 2, 0, 1, 2)};
  const Seq s = Iterate(cfg);
  EXPECT_EQ(s.size(), 2u);
  EXPECT_EQ(s, Reference(cfg).Run());
}

TEST(PacketIterator, ComponentsWithFewerLevelsAndEmptyGridsAreSkipped) {
  Config cfg;
  cfg.tile = {0, 0, 1, 8};  // one column: resolution 0 of 3 levels is 1 x 1, others empty in x
  cfg.comps = {Uniform(3, 1, 1, 15), Uniform(0, 1, 1, 15)};
  for (std::uint32_t order = 0; order < 5; ++order) {
    cfg.order = order;
    cfg.layers = 1;
    const Seq s = Iterate(cfg);
    EXPECT_EQ(s, Reference(cfg).Run());
    for (const auto& [c, r, px, py, l] : s) {
      if (c == 1) {
        EXPECT_EQ(r, 0u);
      }
    }
  }
}

TEST(PacketIterator, SubsampledComponentStartsPrecinctsAtItsOwnMultiples) {
  Config cfg;
  cfg.tile = {0, 0, 64, 16};
  cfg.comps = {Uniform(0, 1, 1, 3), Uniform(0, 2, 1, 3)};
  cfg.order = 3;  // PCRL
  cfg.layers = 1;
  const Seq s = Iterate(cfg);
  EXPECT_EQ(s, Reference(cfg).Run());
  // Component 1 (XRsiz 2) has a precinct every 16 reference columns, component 0 every 8.
  std::vector<std::uint32_t> columnsOf1;
  for (const auto& [c, r, px, py, l] : s)
    if (c == 1 && py == 0) columnsOf1.push_back(px);
  EXPECT_EQ(columnsOf1, (std::vector<std::uint32_t>{0, 1, 2, 3}));
  // Row 0: c0 p0, c1 p0, c0 p1, c0 p2, c1 p1 ...
  EXPECT_EQ(s[0], std::make_tuple(0u, 0u, 0u, 0u, 0u));
  EXPECT_EQ(s[1], std::make_tuple(1u, 0u, 0u, 0u, 0u));
  EXPECT_EQ(s[2], std::make_tuple(0u, 0u, 1u, 0u, 0u));
  EXPECT_EQ(s[3], std::make_tuple(0u, 0u, 2u, 0u, 0u));
  EXPECT_EQ(s[4], std::make_tuple(1u, 0u, 1u, 0u, 0u));
}

TEST(PacketIterator, LaterTilePartsRestartTheListAndSkipWhatWasProduced) {
  std::vector<CodingStyle> styles(1);
  styles[0].levels = 1;
  styles[0].precincts.Reset(2);
  styles[0].precincts[0] = styles[0].precincts[1] = {15, 15};
  IteratorComponent ic{&styles[0], {1, 1}};
  const std::vector<ProgressionChange> main = {Poc(0, 0, 2, 0, 1, 1), Poc(1, 0, 2, 0, 1, 3)};
  PacketIterator it;
  it.SetUp({0, 0, 8, 8}, &ic, 1, 0, 3, main.data(), main.size());
  auto take = [&](std::size_t n) {
    Seq s;
    for (std::size_t i = 0; i < n && it.Available(); ++i) {
      s.emplace_back(it.Current().component, it.Current().resolution, it.Current().precinctX,
                     it.Current().precinctY, it.Current().layer);
      it.Advance();
    }
    return s;
  };
  EXPECT_EQ(take(1), (Seq{{0, 0, 0, 0, 0}}));
  // A later tile-part with the main list in force: record 0 again; its
  // remaining packet comes next, then record 1 goes on.
  it.ReplaceRecords(main.data(), main.size());
  EXPECT_EQ(take(10),
            (Seq{{0, 1, 0, 0, 0}, {0, 0, 0, 0, 1}, {0, 0, 0, 0, 2}, {0, 1, 0, 0, 1}, {0, 1, 0, 0, 2}}));
  EXPECT_FALSE(it.Available());

  // A tile-part with its own list, then one without: back to the saved record.
  it.SetUp({0, 0, 8, 8}, &ic, 1, 0, 3, main.data(), main.size());
  EXPECT_EQ(take(2).size(), 2u);  // record 0 done
  const std::vector<ProgressionChange> own = {Poc(0, 1, 2, 0, 1, 3)};
  it.ReplaceRecords(own.data(), own.size());
  // The packet found before the replacement is still the next one to read.
  ASSERT_TRUE(it.Available());
  EXPECT_EQ(it.Current().resolution, 0u);
  EXPECT_EQ(it.Current().layer, 1u);
  it.Advance();
  Seq rest = take(10);
  EXPECT_EQ(rest.front(), std::make_tuple(0u, 1u, 0u, 0u, 1u));
  it.ReplaceRecords(nullptr, 0);
  Seq tail = take(10);
  // Only packets not produced before come back, each once.
  std::set<std::tuple<std::uint32_t, std::uint32_t>> seen;
  for (const auto& [c, r, px, py, l] : rest) EXPECT_TRUE(seen.insert({r, l}).second);
  for (const auto& [c, r, px, py, l] : tail) EXPECT_TRUE(seen.insert({r, l}).second);
}

TEST(PacketIterator, TinyPrecinctsOnALargeTileTakeTimeByPrecinct) {
  // A 2^30-wide tile of one row, precincts of 2 samples above resolution 0:
  // stepping over every grid position would take forever; jumping from
  // precinct to precinct visits each once.  Only the first packets are taken.
  std::vector<CodingStyle> styles(1);
  styles[0].levels = 0;
  styles[0].precincts.Reset(1);
  styles[0].precincts[0] = {15, 15};
  IteratorComponent ic{&styles[0], {1, 1}};
  PacketIterator it;
  it.SetUp({1, 0, 1u << 30, 1}, &ic, 1, 2, 1, nullptr, 0);
  std::uint32_t produced = 0;
  while (it.Available() && produced < 5) {
    EXPECT_EQ(it.Current().precinctX, produced);
    it.Advance();
    ++produced;
  }
  EXPECT_EQ(produced, 5u);
}

TEST(PacketIterator, ManyLayersOverEmptyResolutionsDoNotSpin) {
  // 3000 components of 32 levels on a one-sample tile at an odd position:
  // almost every resolution is empty, and 65535 layers would make the
  // layer-led orders step over tens of billions of empty candidates.
  const std::uint32_t n = 3000;
  std::vector<CodingStyle> styles(n);
  std::vector<IteratorComponent> ic(n);
  for (std::uint32_t c = 0; c < n; ++c) {
    styles[c].levels = 32;
    styles[c].precincts.Reset(33);
    for (auto& pp : styles[c].precincts) pp = {15, 15};
    ic[c] = {&styles[c], {1, 1}};
  }
  for (std::uint32_t order : {0u, 1u}) {
    PacketIterator it;
    it.SetUp({5, 7, 1, 1}, ic.data(), n, order, 0xFFFF, nullptr, 0);
    std::size_t count = 0;
    while (it.Available() && count < 10) {
      it.Advance();
      ++count;
    }
    EXPECT_EQ(count, 10u);
    // A record that names only empty resolutions ends at once.
    const ProgressionChange empty = Poc(order, 1, 32, 0, n, 0xFFFF);
    it.SetUp({5, 7, 1, 1}, ic.data(), n, order, 0xFFFF, &empty, 1);
    EXPECT_TRUE(it.Available());  // the default record after it
  }
}
