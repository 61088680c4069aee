#include "tests/platform/quicktime/media_tools.h"

#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>

namespace qttest {

std::string Quote(const std::string& text) {
  std::string q = "'";
  for (char c : text) {
    if (c == '\'')
      q += "'\\''";
    else
      q += c;
  }
  return q + "'";
}

std::string Shell(const std::string& command, int* status) {
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  if (p == nullptr) {
    if (status != nullptr) *status = -1;
    return out;
  }
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  int st = pclose(p);
  if (status != nullptr) *status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return out;
}

namespace {
void ParseKeyValues(const std::string& text, const std::string& prefix,
                    std::map<std::string, std::string>* out) {
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    (*out)[prefix + line.substr(0, eq)] = line.substr(eq + 1);
  }
}
}  // namespace

std::map<std::string, std::string> Probe(const std::string& path) {
  std::map<std::string, std::string> m;
  ParseKeyValues(Shell("ffprobe -v error -select_streams v:0 -count_frames -show_entries "
                       "stream=codec_name,codec_tag_string,profile,width,height,pix_fmt,time_base,"
                       "r_frame_rate,avg_frame_rate,start_time,duration,duration_ts,nb_frames,"
                       "nb_read_frames,color_range,color_space,color_transfer,color_primaries,"
                       "has_b_frames -of default=noprint_wrappers=1 " +
                       Quote(path) + " 2>/dev/null"),
                 "", &m);
  ParseKeyValues(Shell("ffprobe -v error -show_entries format=nb_streams,duration,format_name,"
                       "start_time:format_tags=comment,major_brand -of default=noprint_wrappers=1 " +
                       Quote(path) + " 2>/dev/null"),
                 "format.", &m);
  return m;
}

std::string MediaInfo(const std::string& path, const std::string& inform) {
  std::string s = Shell("mediainfo " + Quote("--Inform=" + inform) + " " + Quote(path));
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
  return s;
}

std::vector<std::pair<int64_t, int64_t>> Packets(const std::string& path) {
  std::vector<std::pair<int64_t, int64_t>> v;
  std::istringstream in(
      Shell("ffprobe -v error -select_streams v:0 -show_entries "
            "packet=pts,duration -of csv=p=0 " +
            Quote(path) + " 2>/dev/null"));
  std::string line;
  while (std::getline(in, line)) {
    long long pts = 0, dur = 0;
    if (std::sscanf(line.c_str(), "%lld,%lld", &pts, &dur) == 2) v.emplace_back(pts, dur);
  }
  return v;
}

std::vector<bool> KeyFrames(const std::string& path) {
  std::vector<bool> v;
  std::istringstream in(
      Shell("ffprobe -v error -select_streams v:0 -show_entries "
            "frame=key_frame -of csv=p=0 " +
            Quote(path) + " 2>/dev/null"));
  std::string line;
  while (std::getline(in, line))
    if (!line.empty()) v.push_back(line[0] == '1');
  return v;
}

std::vector<uint8_t> DecodeRgb(const std::string& path, int width, int height, int* frames) {
  std::string raw = Shell("ffmpeg -v error -i " + Quote(path) +
                          " -vf scale=in_color_matrix=bt709:in_range=tv:out_range=pc:"
                          "flags=bicubic+accurate_rnd+full_chroma_int,format=rgb24 "
                          "-f rawvideo - 2>/dev/null");
  const size_t frameBytes = size_t(width) * size_t(height) * 3;
  *frames = frameBytes > 0 ? int(raw.size() / frameBytes) : 0;
  return std::vector<uint8_t>(raw.begin(), raw.end());
}

double Psnr(const uint8_t* a, size_t strideA, const uint8_t* b, size_t strideB, int width, int height) {
  double se = 0;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < 3 * width; ++x) {
      double d = double(a[y * strideA + x]) - double(b[y * strideB + x]);
      se += d * d;
    }
  if (se == 0) return std::numeric_limits<double>::infinity();
  double mse = se / (3.0 * width * height);
  return 10.0 * std::log10(255.0 * 255.0 / mse);
}

std::vector<uint8_t> NaturalFrame(int width, int height, size_t bytesPerRow, int index, uint32_t seed) {
  std::vector<uint8_t> f(bytesPerRow * size_t(height), 0xA5);
  std::mt19937 rng(seed * 7919u + uint32_t(index));
  std::normal_distribution<double> grain(0.0, 2.0);
  const double t = index * 0.15;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const double u = double(x) / width, v = double(y) / height;
      // Soft shapes drifting over a gradient, like defocused scenery.
      const double blob = std::exp(
          -(std::pow(u - 0.5 - 0.2 * std::sin(t), 2) + std::pow(v - 0.5 - 0.2 * std::cos(t), 2)) * 12.0);
      const double r = 40 + 150 * u + 60 * blob;
      const double g = 60 + 100 * v + 50 * std::sin(6.0 * u + t) * 0.5 + 40 * blob;
      const double b = 90 + 80 * (1 - u) * v + 30 * std::cos(5.0 * v - t);
      const double c[3] = {r, g, b};
      for (int k = 0; k < 3; ++k) {
        double val = c[k] + grain(rng);
        f[size_t(y) * bytesPerRow + size_t(x) * 3 + size_t(k)] =
            uint8_t(std::lround(std::fmin(255.0, std::fmax(0.0, val))));
      }
    }
  return f;
}

std::vector<uint8_t> ReadBytes(const std::string& file, uint64_t offset, uint64_t size) {
  std::ifstream in(file, std::ios::binary);
  std::vector<uint8_t> b(size_t(size), 0);
  in.seekg(std::streamoff(offset));
  in.read(reinterpret_cast<char*>(b.data()), std::streamsize(size));
  b.resize(size_t(in.gcount()));
  return b;
}

uint32_t BigEndian32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

namespace {
bool IsContainer(const std::string& type) {
  return type == "moov" || type == "trak" || type == "mdia" || type == "minf" || type == "stbl" ||
         type == "edts" || type == "dinf" || type == "udta";
}
std::string TypeText(const uint8_t* p) {
  std::string s;
  for (int i = 0; i < 4; ++i) s += p[i] == 0xA9 ? '@' : char(p[i]);
  return s;
}
void Walk(const std::string& file, uint64_t begin, uint64_t end, const std::string& parent,
          std::vector<Atom>* out) {
  uint64_t at = begin;
  while (at + 8 <= end) {
    std::vector<uint8_t> h = ReadBytes(file, at, 16);
    if (h.size() < 8) return;
    uint64_t size = BigEndian32(h.data()), header = 8;
    if (size == 1 && h.size() == 16) {
      size = (uint64_t(BigEndian32(&h[8])) << 32) | BigEndian32(&h[12]);
      header = 16;
    } else if (size == 0) {
      size = end - at;
    }
    if (size < header || at + size > end) return;
    std::string type = TypeText(&h[4]);
    std::string path = parent.empty() ? type : parent + "/" + type;
    out->push_back(Atom{path, at, size, header});
    if (IsContainer(type)) Walk(file, at + header, at + size, path, out);
    at += size;
  }
}
}  // namespace

std::vector<Atom> ReadAtoms(const std::string& file) {
  std::vector<Atom> atoms;
  std::ifstream in(file, std::ios::binary | std::ios::ate);
  if (!in) return atoms;
  Walk(file, 0, uint64_t(in.tellg()), "", &atoms);
  return atoms;
}

std::string TempFolder() {
  char tmpl[] = "/tmp/qt_test_XXXXXX";
  const char* d = mkdtemp(tmpl);
  return d != nullptr ? std::string(d) : std::string("/tmp");
}

}  // namespace qttest
