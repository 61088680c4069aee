#include "tests/converter/reference_conversion.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/converter/image_helpers.h"
#include "tests/converter/tool_runner.h"
#include "tests/platform/quicktime/media_tools.h"

namespace convtest {

std::vector<std::uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool IndependentConversion(const std::string& codestream, ReferenceFrame& frame) {
  const ScopedTempFolder temp;
  const std::string& folder = temp.Path();
  const std::string raw = folder + "/frame.rawl";
  int status = 0;
  const std::string log = qttest::Shell(
      "opj_decompress -i " + qttest::Quote(codestream) + " -o " + qttest::Quote(raw) + " 2>&1", &status);
  if (status != 0) return false;
  int w[3] = {0, 0, 0}, h[3] = {0, 0, 0}, p[3] = {0, 0, 0};
  std::istringstream lines(log);
  std::string line;
  int found = 0;
  while (std::getline(lines, line)) {
    int c = 0, cw = 0, ch = 0, cp = 0;
    char sign[16] = {0};
    if (std::sscanf(line.c_str(), "Component %d characteristics: %dx%dx%d %15s", &c, &cw, &ch, &cp, sign) ==
            5 &&
        c >= 0 && c < 3 && std::string(sign) == "unsigned") {
      w[c] = cw;
      h[c] = ch;
      p[c] = cp;
      ++found;
    }
  }
  if (found != 3 || w[1] != w[0] || w[2] != w[0] || h[1] != h[0] || h[2] != h[0] || p[1] != p[0] ||
      p[2] != p[0])
    return false;
  frame.width = w[0];
  frame.height = h[0];
  frame.bits = p[0];
  const std::vector<std::uint8_t> bytes = ReadBytes(raw);
  const std::size_t pixels = std::size_t(frame.width) * frame.height;
  const std::size_t sampleBytes = frame.bits > 8 ? 2 : 1;
  if (bytes.size() != pixels * 3 * sampleBytes) return false;
  frame.rgb.resize(pixels * 3);
  for (std::size_t i = 0; i < pixels; ++i) {
    std::int32_t xyz[3];
    for (int c = 0; c < 3; ++c) {
      const std::size_t at = (c * pixels + i) * sampleBytes;
      xyz[c] = sampleBytes == 2 ? bytes[at] | (bytes[at + 1] << 8) : bytes[at];
    }
    double rgb[3];
    ReferenceRgb(xyz, static_cast<std::uint32_t>(frame.bits), rgb);
    for (int c = 0; c < 3; ++c) frame.rgb[i * 3 + c] = static_cast<std::uint8_t>(rgb[c]);
  }
  return true;
}

int MaxDifference(const std::vector<std::uint8_t>& a, const std::uint8_t* b, std::size_t count) {
  int worst = 0;
  for (std::size_t i = 0; i < count && i < a.size(); ++i)
    worst = std::max(worst, std::abs(int(a[i]) - int(b[i])));
  return worst;
}

std::vector<std::string> ExtractCodestreams(const std::string& trackFile, const std::string& folder) {
  int status = 0;
  qttest::Shell("ffmpeg -v error -y -i " + qttest::Quote(trackFile) + " -c copy -f image2 " +
                    qttest::Quote(folder + "/f%04d.j2c") + " 2>&1",
                &status);
  std::vector<std::string> paths;
  for (int i = 1;; ++i) {
    char name[32];
    std::snprintf(name, sizeof(name), "/f%04d.j2c", i);
    if (!std::filesystem::exists(folder + name)) break;
    paths.push_back(folder + name);
  }
  return paths;
}

}  // namespace convtest
