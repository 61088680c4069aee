// Reference tier-1 encoder (see codeblock_encoder.h).
#include "tests/primitives/jpeg2000/codeblock_encoder.h"

#include <algorithm>
#include <cstdlib>

namespace cbtest {
namespace {

// The standard's probability estimation table: Qe, next index after an MPS,
// next index after an LPS, MPS exchange on LPS.
struct QeRow {
  std::uint32_t qe;
  int nmps, nlps, sw;
};
const QeRow kQe[47] = {
    {0x5601, 1, 1, 1},   {0x3401, 2, 6, 0},   {0x1801, 3, 9, 0},   {0x0ac1, 4, 12, 0},  {0x0521, 5, 29, 0},
    {0x0221, 38, 33, 0}, {0x5601, 7, 6, 1},   {0x5401, 8, 14, 0},  {0x4801, 9, 14, 0},  {0x3801, 10, 14, 0},
    {0x3001, 11, 17, 0}, {0x2401, 12, 18, 0}, {0x1c01, 13, 20, 0}, {0x1601, 29, 21, 0}, {0x5601, 15, 14, 1},
    {0x5401, 16, 14, 0}, {0x5101, 17, 15, 0}, {0x4801, 18, 16, 0}, {0x3801, 19, 17, 0}, {0x3401, 20, 18, 0},
    {0x3001, 21, 19, 0}, {0x2801, 22, 19, 0}, {0x2401, 23, 20, 0}, {0x2201, 24, 21, 0}, {0x1c01, 25, 22, 0},
    {0x1801, 26, 23, 0}, {0x1601, 27, 24, 0}, {0x1401, 28, 25, 0}, {0x1201, 29, 26, 0}, {0x1101, 30, 27, 0},
    {0x0ac1, 31, 28, 0}, {0x09c1, 32, 29, 0}, {0x08a1, 33, 30, 0}, {0x0521, 34, 31, 0}, {0x0441, 35, 32, 0},
    {0x02a1, 36, 33, 0}, {0x0221, 37, 34, 0}, {0x0141, 38, 35, 0}, {0x0111, 39, 36, 0}, {0x0085, 40, 37, 0},
    {0x0049, 41, 38, 0}, {0x0025, 42, 39, 0}, {0x0015, 43, 40, 0}, {0x0009, 44, 41, 0}, {0x0005, 45, 42, 0},
    {0x0001, 45, 43, 0}, {0x5601, 46, 46, 0},
};

// Context labels: the standard's 0..16 for significance (0-8), sign (9-13)
// and refinement (14-16), plus run-length and uniform.
constexpr int kCtxRunLength = 17;
constexpr int kCtxUniform = 18;

class MqEncoder {
 public:
  void resetContexts() {
    for (int i = 0; i < 19; ++i) {
      index_[i] = 0;
      mps_[i] = 0;
    }
    index_[kCtxUniform] = 46;
    index_[kCtxRunLength] = 3;
    index_[0] = 4;
  }
  void start() {
    a_ = 0x8000;
    c_ = 0;
    ct_ = 12;
    out_.assign(1, 0);  // the byte before the segment; never emitted
  }
  void encode(int cx, int bit) {
    const QeRow& r = kQe[index_[cx]];
    if (bit == mps_[cx]) {
      a_ -= r.qe;
      if ((a_ & 0x8000) == 0) {
        if (a_ < r.qe)
          a_ = r.qe;
        else
          c_ += r.qe;
        index_[cx] = r.nmps;
        renormalise();
      } else {
        c_ += r.qe;
      }
    } else {
      a_ -= r.qe;
      if (a_ < r.qe)
        c_ += r.qe;
      else
        a_ = r.qe;
      if (r.sw) mps_[cx] = 1 - mps_[cx];
      index_[cx] = r.nlps;
      renormalise();
    }
  }
  // Ends the segment.  Normal termination sets as many low bits as the
  // interval allows and flushes two bytes; predictable termination emits
  // only the bits down to the top of the interval's width, so that a decoder
  // can tell that the segment ends exactly where the symbols do.
  std::vector<std::uint8_t> finish(bool predictable) {
    if (!predictable) {
      const std::uint32_t top = c_ + a_;
      c_ |= 0xFFFF;
      if (c_ >= top) c_ -= 0x8000;
      c_ <<= ct_;
      byteOut();
      c_ <<= ct_;
      byteOut();
    } else {
      // Emit whole bytes until bit 15 of the code register has gone out;
      // the decoder supplies 1-bits beyond the end.
      // Before the first symbol (CT still 12) there is nothing to emit.
      int pos = 15;
      while (ct_ < 12) {
        c_ <<= ct_;
        pos += ct_;
        byteOut();
        if (pos >= (ct_ == 7 ? 20 : 19)) break;
      }
    }
    std::vector<std::uint8_t> bytes(out_.begin() + 1, out_.end());
    if (!bytes.empty() && bytes.back() == 0xFF) bytes.pop_back();
    return bytes;
  }

 private:
  void renormalise() {
    do {
      a_ <<= 1;
      c_ <<= 1;
      if (--ct_ == 0) byteOut();
    } while ((a_ & 0x8000) == 0);
  }
  void byteOut() {
    std::uint8_t& b = out_.back();
    if (b == 0xFF) {
      out_.push_back(static_cast<std::uint8_t>(c_ >> 20));
      c_ &= 0xFFFFF;
      ct_ = 7;
    } else if (c_ < 0x8000000) {
      out_.push_back(static_cast<std::uint8_t>(c_ >> 19));
      c_ &= 0x7FFFF;
      ct_ = 8;
    } else {
      ++b;
      if (b == 0xFF) {
        c_ &= 0x7FFFFFF;
        out_.push_back(static_cast<std::uint8_t>(c_ >> 20));
        c_ &= 0xFFFFF;
        ct_ = 7;
      } else {
        out_.push_back(static_cast<std::uint8_t>((c_ >> 19) & 0xFF));
        c_ &= 0x7FFFF;
        ct_ = 8;
      }
    }
  }

  std::uint32_t a_ = 0, c_ = 0;
  int ct_ = 0;
  std::vector<std::uint8_t> out_;
  int index_[19] = {};
  int mps_[19] = {};
};

class RawEncoder {
 public:
  void start() {
    out_.clear();
    cur_ = 0;
    n_ = 0;
    cap_ = 8;
  }
  void put(int bit) {
    cur_ = (cur_ << 1) | static_cast<unsigned>(bit & 1);
    if (++n_ == cap_) {
      out_.push_back(static_cast<std::uint8_t>(cur_));
      cap_ = cur_ == 0xFF ? 7 : 8;  // a 0 is stuffed after 0xFF
      cur_ = 0;
      n_ = 0;
    }
  }
  // Pads the last byte with 0101... and returns the segment.
  std::vector<std::uint8_t> finish(bool dropFinalFF) {
    for (int bit = 0; n_ != 0; bit ^= 1) put(bit);
    std::vector<std::uint8_t> bytes = out_;
    if (dropFinalFF && !bytes.empty() && bytes.back() == 0xFF) bytes.pop_back();
    return bytes;
  }

 private:
  std::vector<std::uint8_t> out_;
  unsigned cur_ = 0;
  int n_ = 0, cap_ = 8;
};

enum PassType { kSig, kRef, kClean };

class BlockEncoder {
 public:
  BlockEncoder(const std::vector<std::int32_t>& c, const EncodeOptions& o)
      : o_(o),
        w_(o.width),
        h_(o.height),
        sig_((w_ + 2) * (h_ + 2), 0),
        neg_((w_ + 2) * (h_ + 2), 0),
        visited_(w_ * h_, 0),
        refined_(w_ * h_, 0),
        mag_(w_ * h_),
        negative_(w_ * h_),
        recon_(w_ * h_, 0) {
    for (int i = 0; i < w_ * h_; ++i) {
      mag_[i] = static_cast<std::uint32_t>(std::abs(static_cast<std::int64_t>(c[i])));
      negative_[i] = c[i] < 0;
    }
  }

  EncodedBlock run() {
    EncodedBlock eb;
    const int n = o_.bitPlanes;
    const int total = std::min(passCount(n), std::max(o_.maxPasses, 0));
    const bool bypass = (o_.style & kBypass) != 0;
    const int limit = bypass ? std::max(0, n - 4) : 0;
    mq_.resetContexts();
    bool open = false;
    bool openRaw = false;
    Segment seg;
    for (int k = 0; k < total; ++k) {
      const int p = k == 0 ? n - 1 : n - 2 - (k - 1) / 3;
      const PassType t = k == 0 ? kClean : static_cast<PassType>((k - 1) % 3);
      const bool raw = bypass && t != kClean && p < limit;
      if (!open) {
        open = true;
        openRaw = raw;
        seg = Segment{};
        seg.raw = raw;
        if (raw)
          raw_.start();
        else
          mq_.start();
      }
      raw_p_ = raw;
      if (t == kSig) significancePass(p);
      if (t == kRef) refinementPass(p);
      if (t == kClean) cleanupPass(p);
      if (!raw && (o_.style & kReset)) mq_.resetContexts();
      ++seg.passes;
      bool end = k == total - 1 || (o_.style & kTermAll) != 0;
      if (bypass && ((t == kClean && p <= limit) || (raw && t == kRef))) end = true;
      if (end) {
        seg.bytes = openRaw ? raw_.finish(o_.dropFinalRawFF) : mq_.finish((o_.style & kPredictable) != 0);
        eb.segments.push_back(seg);
        open = false;
      }
    }
    eb.passes = total;
    eb.expected = recon_;
    return eb;
  }

 private:
  int at(int y, int x) const { return (y + 1) * (w_ + 2) + (x + 1); }
  // Significance of the neighbour (ny, nx) as seen from a sample in row y:
  // under vertically causal coding the stripe below counts as insignificant.
  int sigSeen(int y, int ny, int nx) const {
    if ((o_.style & kCausal) && ny > y && ny / 4 != y / 4) return 0;
    return sig_[at(ny, nx)];
  }
  int chi(int y, int ny, int nx) const {
    if (!sigSeen(y, ny, nx)) return 0;
    return neg_[at(ny, nx)] ? -1 : 1;
  }
  void counts(int y, int x, int& h, int& v, int& d) const {
    h = sigSeen(y, y, x - 1) + sigSeen(y, y, x + 1);
    v = sigSeen(y, y - 1, x) + sigSeen(y, y + 1, x);
    d = sigSeen(y, y - 1, x - 1) + sigSeen(y, y - 1, x + 1) + sigSeen(y, y + 1, x - 1) +
        sigSeen(y, y + 1, x + 1);
  }
  // Significance context (standard numbering 0..8).
  int zeroCodingContext(int y, int x) const {
    int h, v, d;
    counts(y, x, h, v, d);
    if (o_.band == 3) {
      const int hv = h + v;
      if (d >= 3) return 8;
      if (d == 2) return hv >= 1 ? 7 : 6;
      if (d == 1) return hv >= 2 ? 5 : (hv == 1 ? 4 : 3);
      return hv >= 2 ? 2 : (hv == 1 ? 1 : 0);
    }
    if (o_.band == 2) std::swap(h, v);
    if (h == 2) return 8;
    if (h == 1) {
      if (v >= 1) return 7;
      return d >= 1 ? 6 : 5;
    }
    if (v == 2) return 4;
    if (v == 1) return 3;
    if (d >= 2) return 2;
    return d == 1 ? 1 : 0;
  }
  void signContext(int y, int x, int& cx, int& xorBit) const {
    int hc = std::clamp(chi(y, y, x - 1) + chi(y, y, x + 1), -1, 1);
    int vc = std::clamp(chi(y, y - 1, x) + chi(y, y + 1, x), -1, 1);
    static const int ctx[3][3] = {{13, 12, 11}, {10, 9, 10}, {11, 12, 13}};  // [1-H][1-V]
    static const int xr[3][3] = {{0, 0, 0}, {0, 0, 1}, {1, 1, 1}};
    cx = ctx[1 - hc][1 - vc];
    xorBit = xr[1 - hc][1 - vc];
  }
  int refinementContext(int y, int x) const {
    if (refined_[y * w_ + x]) return 16;
    int h, v, d;
    counts(y, x, h, v, d);
    return h + v + d == 0 ? 14 : 15;
  }
  bool anyNeighbour(int y, int x) const {
    int h, v, d;
    counts(y, x, h, v, d);
    return h + v + d != 0;
  }

  void mqBit(int cx, int bit) {
    if (raw_p_) {
      raw_.put(bit);
    } else {
      mq_.encode(cx, bit);
    }
  }
  void becomeSignificant(int y, int x, int p) {
    const int i = y * w_ + x;
    if (raw_p_) {
      raw_.put(negative_[i] ? 1 : 0);
    } else {
      int cx, xr;
      signContext(y, x, cx, xr);
      mqBit(cx, (negative_[i] ? 1 : 0) ^ xr);
    }
    sig_[at(y, x)] = 1;
    neg_[at(y, x)] = negative_[i] ? 1 : 0;
    recon_[i] = (negative_[i] ? 0x80000000u : 0u) | ((3u << p) >> 1);
  }

  void significancePass(int p) {
    for (int y0 = 0; y0 < h_; y0 += 4)
      for (int x = 0; x < w_; ++x)
        for (int y = y0; y < std::min(y0 + 4, h_); ++y) {
          const int i = y * w_ + x;
          if (sig_[at(y, x)] || !anyNeighbour(y, x)) continue;
          const int bit = (mag_[i] >> p) & 1;
          mqBit(zeroCodingContext(y, x), bit);
          if (bit) becomeSignificant(y, x, p);
          visited_[i] = 1;
        }
  }
  void refinementPass(int p) {
    for (int y0 = 0; y0 < h_; y0 += 4)
      for (int x = 0; x < w_; ++x)
        for (int y = y0; y < std::min(y0 + 4, h_); ++y) {
          const int i = y * w_ + x;
          if (!sig_[at(y, x)] || visited_[i]) continue;
          const int bit = (mag_[i] >> p) & 1;
          mqBit(refinementContext(y, x), bit);
          refined_[i] = 1;
          recon_[i] =
              (recon_[i] & (~0u << (p + 1))) | (static_cast<std::uint32_t>(bit) << p) | ((1u << p) >> 1);
        }
  }
  void cleanupPass(int p) {
    for (int y0 = 0; y0 < h_; y0 += 4) {
      const int rows = std::min(4, h_ - y0);
      for (int x = 0; x < w_; ++x) {
        int start = y0;
        bool run = rows == 4;
        for (int y = y0; run && y < y0 + 4; ++y)
          if (sig_[at(y, x)] || visited_[y * w_ + x] || anyNeighbour(y, x)) run = false;
        if (run) {
          int first = -1;
          for (int y = y0; y < y0 + 4 && first < 0; ++y)
            if ((mag_[y * w_ + x] >> p) & 1) first = y - y0;
          mqBit(kCtxRunLength, first >= 0);
          if (first < 0) continue;
          mqBit(kCtxUniform, first >> 1);
          mqBit(kCtxUniform, first & 1);
          becomeSignificant(y0 + first, x, p);
          start = y0 + first + 1;
        }
        for (int y = start; y < y0 + rows; ++y) {
          const int i = y * w_ + x;
          if (sig_[at(y, x)] || visited_[i]) continue;
          const int bit = (mag_[i] >> p) & 1;
          mqBit(zeroCodingContext(y, x), bit);
          if (bit) becomeSignificant(y, x, p);
        }
      }
    }
    std::fill(visited_.begin(), visited_.end(), 0);
    if (o_.style & kSegSymbol) {
      mqBit(kCtxUniform, 1);
      mqBit(kCtxUniform, 0);
      mqBit(kCtxUniform, 1);
      mqBit(kCtxUniform, 0);
    }
  }

  EncodeOptions o_;
  int w_, h_;
  std::vector<std::uint8_t> sig_, neg_;  // with a border of one sample
  std::vector<std::uint8_t> visited_, refined_;
  std::vector<std::uint32_t> mag_;
  std::vector<bool> negative_;
  std::vector<std::uint32_t> recon_;
  MqEncoder mq_;
  RawEncoder raw_;
  bool raw_p_ = false;
};

}  // namespace

EncodedBlock encodeCodeBlock(const std::vector<std::int32_t>& coeffs, const EncodeOptions& opt) {
  BlockEncoder enc(coeffs, opt);
  return enc.run();
}

}  // namespace cbtest
