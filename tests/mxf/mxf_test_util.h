// Helpers of the MXF layer's tests: file bytes, MD5, temporary folders and a
// minimal JPEG 2000 main header.
#pragma once

#include <openssl/evp.h>

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "mxf/AS_DCP.h"

namespace mxftest {

using Bytes = std::vector<std::uint8_t>;

inline Bytes ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const Bytes& b) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

inline std::string Md5Hex(const std::uint8_t* p, std::size_t n) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  EVP_Digest(p, n, digest, &len, EVP_md5(), nullptr);
  static const char* hex = "0123456789abcdef";
  std::string s;
  for (unsigned i = 0; i < len; ++i) {
    s += hex[digest[i] >> 4];
    s += hex[digest[i] & 15];
  }
  return s;
}

// The (size, md5) of every frame listed in a frame-checksum file.
struct FrameSum {
  std::uint32_t size;
  std::string md5;
};
inline std::vector<FrameSum> ReadFrameSums(const std::string& path) {
  std::vector<FrameSum> out;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    // stream, dts, pts, duration, size, hash[, side data...]
    std::stringstream ss(line);
    std::string field;
    std::vector<std::string> fields;
    while (std::getline(ss, field, ',')) {
      const auto b = field.find_first_not_of(' ');
      fields.push_back(b == std::string::npos ? "" : field.substr(b));
    }
    if (fields.size() >= 6 && fields[0] == "0")
      out.push_back({static_cast<std::uint32_t>(std::stoul(fields[4])), fields[5]});
  }
  return out;
}

// A private folder under the system's temporary folder, removed at the end.
class TempDir {
 public:
  TempDir() {
    static int counter = 0;
    path_ = std::filesystem::temp_directory_path() /
            ("mxf_tests_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// A codestream main header (SOC, SIZ, COD, QCD) followed by `payload` filler
// bytes and EOC: enough for the track-file writer, not a decodable image.
inline Bytes TinyCodestream(std::uint32_t width, std::uint32_t height, std::uint8_t depth,
                            std::size_t payload, std::uint8_t fill = 0x5a) {
  Bytes b = {0xff, 0x4f, 0xff, 0x51, 0x00, 47, 0x00, 0x03};
  auto be32 = [&](std::uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) b.push_back(static_cast<std::uint8_t>(v >> s));
  };
  be32(width);
  be32(height);
  be32(0);
  be32(0);
  be32(width);
  be32(height);
  be32(0);
  be32(0);
  b.insert(b.end(), {0x00, 0x03});
  for (int c = 0; c < 3; ++c) b.insert(b.end(), {static_cast<std::uint8_t>(depth - 1), 1, 1});
  // COD: Scod 1 (precincts), CPRL, 1 layer, MCT, 5 levels, 32x32 blocks, 9/7, 6 precinct bytes.
  b.insert(b.end(), {0xff, 0x52, 0x00, 18,   0x01, 0x04, 0x00, 0x01, 0x01, 0x05,
                     0x03, 0x03, 0x00, 0x00, 0x77, 0x88, 0x88, 0x88, 0x88, 0x88});
  // QCD: scalar expounded, guard bits 2, 16 step sizes.
  b.insert(b.end(), {0xff, 0x5c, 0x00, 35, 0x42});
  for (int i = 0; i < 16; ++i) b.insert(b.end(), {static_cast<std::uint8_t>(0x70 + i), 0x00});
  b.insert(b.end(), {0xff, 0x90});
  b.insert(b.end(), payload, fill);
  b.insert(b.end(), {0xff, 0xd9});
  return b;
}

}  // namespace mxftest
