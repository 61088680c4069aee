// Test-time codestreams from Debian's OpenJPEG tools, and the images its
// decoder writes, for checks against an independent implementation.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "decoder/level_set.h"
#include "decoder/tier2/tile.h"
#include "tests/decoder/codestream_builder.h"

namespace codec_test {

inline bool HaveOpenJpegTools() {
  return std::filesystem::exists("/usr/bin/opj_compress") &&
         std::filesystem::exists("/usr/bin/opj_decompress");
}

inline bool RunQuiet(const std::string& cmd) { return std::system((cmd + " >/dev/null 2>&1").c_str()) == 0; }

// A per-process scratch folder, removed with the object.
class ScratchDir {
 public:
  ScratchDir() {
    path_ = std::filesystem::temp_directory_path() / ("decoder_tests_" + std::to_string(::getpid()));
    std::filesystem::create_directories(path_);
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

struct Image {
  std::uint32_t width = 0, height = 0;
  bool isSigned = false;
  std::uint32_t depth = 8;
  std::vector<std::int32_t> samples;
};

// Next token of a PNM header, skipping comments.
inline std::string PnmToken(std::istream& in) {
  std::string t;
  char ch;
  while (in.get(ch)) {
    if (ch == '#') {
      std::string line;
      std::getline(in, line);
      continue;
    }
    if (std::isspace(static_cast<unsigned char>(ch))) {
      if (!t.empty()) break;
      continue;
    }
    t += ch;
  }
  return t;
}

// 8- or 16-bit binary PGM.
inline Image ReadPgm(const std::string& path) {
  Image img;
  std::ifstream f(path, std::ios::binary);
  if (PnmToken(f) != "P5") return img;
  img.width = std::stoul(PnmToken(f));
  img.height = std::stoul(PnmToken(f));
  const std::uint32_t maxval = std::stoul(PnmToken(f));
  img.depth = maxval > 255 ? 16 : 8;
  for (std::uint32_t i = 0; i < img.width * img.height; ++i) {
    std::int32_t v = f.get();
    if (maxval > 255) v = (v << 8) | f.get();
    img.samples.push_back(v);
  }
  return img;
}

// PGX: "PG ML +|- depth width height", then big-endian samples.
inline Image ReadPgx(const std::string& path) {
  Image img;
  std::ifstream f(path, std::ios::binary);
  std::string pg, ml, sign;
  f >> pg >> ml >> sign >> img.depth >> img.width >> img.height;
  f.get();
  img.isSigned = sign == "-";
  const int bytes = img.depth <= 8 ? 1 : img.depth <= 16 ? 2 : 4;
  for (std::uint32_t i = 0; i < img.width * img.height; ++i) {
    std::uint32_t v = 0;
    for (int b = 0; b < bytes; ++b) v = (v << 8) | static_cast<std::uint8_t>(f.get());
    std::int32_t s = static_cast<std::int32_t>(v);
    if (img.isSigned && bytes < 4 && (v >> (8 * bytes - 1))) s -= 1 << (8 * bytes);
    img.samples.push_back(s);
  }
  return img;
}

inline void WritePgm(const std::string& path, const Image& img) {
  std::ofstream f(path, std::ios::binary);
  f << "P5\n" << img.width << " " << img.height << "\n255\n";
  for (std::int32_t v : img.samples) f.put(static_cast<char>(v));
}

// A deterministic 8-bit test picture: gradients, an edge and noise.
inline Image TestPicture(std::uint32_t w, std::uint32_t h, std::uint32_t seed) {
  Image img;
  img.width = w;
  img.height = h;
  std::uint32_t s = seed * 2654435761u + 1;
  for (std::uint32_t y = 0; y < h; ++y)
    for (std::uint32_t x = 0; x < w; ++x) {
      s = s * 1664525u + 1013904223u;
      std::int32_t v =
          static_cast<std::int32_t>((x * 3 + y * 2) % 200) + static_cast<std::int32_t>((s >> 24) % 40);
      if (x > w / 2 && y < h / 3) v = 250 - v / 4;
      img.samples.push_back(v < 0 ? 0 : v > 255 ? 255 : v);
    }
  return img;
}

inline std::int32_t SignMagnitudeValue(std::uint32_t w) {
  return (w & 0x80000000u) ? -static_cast<std::int32_t>(w & 0x7FFFFFFFu) : static_cast<std::int32_t>(w);
}

inline std::int32_t PlaneAt(const Codec::SubbandPlane& p, std::uint32_t x, std::uint32_t y) {
  const auto* row =
      reinterpret_cast<const std::uint32_t*>(static_cast<const std::uint8_t*>(p.data) + y * p.step);
  return SignMagnitudeValue(row[x]);
}

}  // namespace codec_test
