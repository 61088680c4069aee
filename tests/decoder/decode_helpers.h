// Helpers of the end-to-end decoder tests: decode a codestream through the
// codec interface into a caller image, and read reference images (PGX, PGM,
// PPM) made by other tools.
#pragma once

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "decoder/image_decoder.h"
#include "decoder/image_records.h"
#include "decoder/stream_input.h"

namespace codec_test {

inline std::vector<std::uint8_t> ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// One decoded or reference component.
struct Component {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::vector<std::int32_t> samples;
  bool operator==(const Component&) const = default;
};

// Collects what reaches the sink.
struct RecordingSink : Codec::BaseStreamDiagn {
  std::vector<std::uint32_t> codes;
  std::vector<std::string> texts;
  void Write(const Codec::BaseDiagnDescriptor& d) override {
    codes.push_back(d.Code());
    texts.push_back(d.Text());
  }
};

struct Decoded {
  int headerResult = -1;
  int dataResult = -1;
  std::vector<Component> components;
  RecordingSink sink;
};

// Whether ReadData may keep the coefficients in the caller's planes
// (LendCallerPlanes, as the converter asks) or the tiles keep their own.
enum class Planes { kOwn, kLent };

// No cap on the caller image's size.
inline constexpr std::uint64_t kAnySize = std::uint64_t{1} << 40;

// Decodes `bytes` in the converter's call order into an image of data type
// `type` (6: 32-bit, 3: 16-bit samples).  An image of more than `maxSamples`
// samples per component is not laid out (ReadData is not called).
inline void Decode(const std::vector<std::uint8_t>& bytes, Decoded& out,
                   std::int32_t type = Codec::kImageData32s, std::uint64_t maxSamples = kAnySize,
                   Planes planes = Planes::kOwn) {
  Codec::CMemBuffInput stream;
  stream.Open(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
  Codec::JPEG2000Decoder dec;
  if (dec.Init() != 0) return;
  dec.LendCallerPlanes(planes == Planes::kLent);
  if (dec.AttachStream(&stream) != 0) return;
  dec.AttachDiagnOutput(&out.sink);
  Codec::ImageHeader header;
  Codec::ImageSampling sampling;
  out.headerResult = dec.ReadHeader(&header, &sampling);
  if (out.headerResult != 0) return;
  for (std::uint32_t c = 0; c < sampling.count; ++c) {
    const Codec::Rect r = sampling.ComponentRectOf(c);
    if (std::uint64_t{r.width} * r.height > maxSamples) return;
  }
  Codec::ImageBuffer image;
  if (image.Alloc(type, 0, sampling, 6, 0) != 0) return;
  out.dataResult = dec.ReadData(image.planePointers, &image.layout);
  if (out.dataResult != 0) return;
  for (std::uint32_t c = 0; c < image.PlaneCount(); ++c) {
    const Codec::Rect r = sampling.ComponentRectOf(c);
    Component comp;
    comp.width = r.width;
    comp.height = r.height;
    comp.samples.resize(std::size_t{r.width} * r.height);
    const auto* base = static_cast<const std::uint8_t*>(image.planePointers[c]);
    for (std::uint32_t y = 0; y < r.height; ++y)
      for (std::uint32_t x = 0; x < r.width; ++x) {
        const std::uint8_t* row = base + std::size_t{y} * image.layout.rowSteps[c];
        comp.samples[std::size_t{y} * r.width + x] = type == Codec::kImageData16s
                                                         ? reinterpret_cast<const std::int16_t*>(row)[x]
                                                         : reinterpret_cast<const std::int32_t*>(row)[x];
      }
    out.components.push_back(std::move(comp));
  }
}

// PGX: "PG ML|LM +|- depth width height\n", then the samples.
inline bool ReadPgx(const std::string& path, Component& c) {
  const std::vector<std::uint8_t> b = ReadFile(path);
  std::size_t nl = 0;
  while (nl < b.size() && b[nl] != '\n') ++nl;
  if (nl >= b.size()) return false;
  std::istringstream head(std::string(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(nl)));
  std::string pg, order, sign;
  int depth = 0;
  head >> pg >> order;
  // The sign is optional and may be glued to the depth ("+8", "-4", "8").
  head >> sign;
  if (sign == "+" || sign == "-") {
    head >> depth;
  } else if (!sign.empty() && (sign[0] == '+' || sign[0] == '-')) {
    depth = std::stoi(sign.substr(1));
  } else {
    depth = std::stoi(sign);
    sign = "+";
  }
  head >> c.width >> c.height;
  const bool isSigned = sign[0] == '-';
  const bool bigEndian = order == "ML";
  const int bytes = depth <= 8 ? 1 : depth <= 16 ? 2 : 4;
  const std::size_t n = std::size_t{c.width} * c.height;
  if (b.size() < nl + 1 + n * bytes) return false;
  c.samples.resize(n);
  const std::uint8_t* p = b.data() + nl + 1;
  for (std::size_t i = 0; i < n; ++i, p += bytes) {
    std::uint32_t v = 0;
    for (int k = 0; k < bytes; ++k) v = bigEndian ? (v << 8) | p[k] : v | (std::uint32_t{p[k]} << (8 * k));
    std::int64_t s = v;
    if (isSigned && bytes < 4 && (v >> (8 * bytes - 1)) & 1) s -= std::int64_t{1} << (8 * bytes);
    c.samples[i] = static_cast<std::int32_t>(s);
  }
  return true;
}

// PGM / PPM (binary P5 / P6): one or three components.
inline bool ReadPnm(const std::string& path, std::vector<Component>& comps) {
  const std::vector<std::uint8_t> b = ReadFile(path);
  std::size_t pos = 0;
  auto token = [&]() {
    std::string t;
    while (pos < b.size()) {
      if (b[pos] == '#') {
        while (pos < b.size() && b[pos] != '\n') ++pos;
      } else if (std::isspace(b[pos])) {
        ++pos;
      } else {
        break;
      }
    }
    while (pos < b.size() && !std::isspace(b[pos])) t.push_back(static_cast<char>(b[pos++]));
    return t;
  };
  const std::string magic = token();
  const bool ascii = magic == "P2" || magic == "P3";
  const int channels = magic == "P6" || magic == "P3" ? 3 : magic == "P5" || magic == "P2" ? 1 : 0;
  if (!channels) return false;
  const std::uint32_t w = std::stoul(token()), h = std::stoul(token()), maxv = std::stoul(token());
  if (ascii) {
    const std::size_t n = std::size_t{w} * h;
    comps.assign(channels, Component{w, h, std::vector<std::int32_t>(n)});
    for (std::size_t i = 0; i < n; ++i)
      for (int c = 0; c < channels; ++c) {
        const std::string t = token();
        if (t.empty()) return false;
        comps[c].samples[i] = std::stoi(t);
      }
    return true;
  }
  ++pos;  // one white space after the maximum
  const int bytes = maxv > 255 ? 2 : 1;
  const std::size_t n = std::size_t{w} * h;
  if (b.size() < pos + n * channels * bytes) return false;
  comps.assign(channels, Component{w, h, std::vector<std::int32_t>(n)});
  const std::uint8_t* p = b.data() + pos;
  for (std::size_t i = 0; i < n; ++i)
    for (int c = 0; c < channels; ++c, p += bytes)
      comps[c].samples[i] = bytes == 2 ? (p[0] << 8) | p[1] : p[0];
  return true;
}

struct ErrorStats {
  std::int64_t peak = 0;
  double mse = 0;
};

inline ErrorStats Compare(const Component& a, const Component& b) {
  ErrorStats s;
  double sum = 0;
  for (std::size_t i = 0; i < a.samples.size() && i < b.samples.size(); ++i) {
    const std::int64_t d = std::int64_t{a.samples[i]} - b.samples[i];
    s.peak = std::max<std::int64_t>(s.peak, d < 0 ? -d : d);
    sum += static_cast<double>(d) * static_cast<double>(d);
  }
  s.mse = a.samples.empty() ? 0 : sum / static_cast<double>(a.samples.size());
  return s;
}

// Decodes a file with Debian's opj_decompress into a temporary folder and
// reads its PGX output, one file per component.  False when the tool is not
// installed or fails.
inline bool DecodeWithOpenJpeg(const std::string& path, std::vector<Component>& comps) {
  if (std::system("command -v opj_decompress >/dev/null 2>&1") != 0) return false;
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("dcp_opj_" + std::to_string(::getpid()) + "_" +
                                                    std::to_string(std::hash<std::string>{}(path)));
  fs::remove_all(dir);
  fs::create_directories(dir);
  const std::string cmd =
      "opj_decompress -i '" + path + "' -o '" + (dir / "out.pgx").string() + "' >/dev/null 2>&1";
  const bool ran = std::system(cmd.c_str()) == 0;
  comps.clear();
  for (int c = 0; ran; ++c) {
    Component comp;
    const fs::path p = dir / ("out_" + std::to_string(c) + ".pgx");
    if (!fs::exists(p) || !ReadPgx(p.string(), comp)) break;
    comps.push_back(std::move(comp));
  }
  fs::remove_all(dir);
  return ran && !comps.empty();
}

// FFmpeg's own decoder for a 12-bit X'Y'Z' codestream: three components.
inline bool DecodeXyzWithFfmpeg(const std::string& path, std::uint32_t w, std::uint32_t h,
                                std::vector<Component>& comps) {
  if (std::system("command -v ffmpeg >/dev/null 2>&1") != 0) return false;
  namespace fs = std::filesystem;
  const fs::path raw = fs::temp_directory_path() / ("dcp_ff_" + std::to_string(::getpid()) + ".raw");
  const std::string cmd =
      "ffmpeg -v error -y -i '" + path + "' -f rawvideo -pix_fmt xyz12le '" + raw.string() + "'";
  if (std::system(cmd.c_str()) != 0) return false;
  const std::vector<std::uint8_t> b = ReadFile(raw.string());
  fs::remove(raw);
  const std::size_t n = std::size_t{w} * h;
  if (b.size() != n * 6) return false;
  comps.assign(3, Component{w, h, std::vector<std::int32_t>(n)});
  for (std::size_t i = 0; i < n; ++i)
    for (int c = 0; c < 3; ++c) {
      const std::size_t k = (i * 3 + c) * 2;
      comps[c].samples[i] = (b[k] | (b[k + 1] << 8)) >> 4;  // 12 bits in the high bits
    }
  return true;
}

}  // namespace codec_test
