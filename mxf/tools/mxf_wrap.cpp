// mxf_wrap: wraps JPEG 2000 codestreams (one file per frame) into an OP-Atom
// track file.
//   mxf_wrap [-interop] [-rate N/D] OUT.mxf FRAME.j2c...
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "mxf/writer.h"

int main(int argc, char** argv) {
  mxfwrite::TrackFileOptions options;
  int i = 1;
  for (; i < argc && argv[i][0] == '-'; ++i) {
    if (std::strcmp(argv[i], "-interop") == 0) {
      options.interop = true;
    } else if (std::strcmp(argv[i], "-rate") == 0 && i + 1 < argc) {
      int n = 0, d = 1;
      if (std::sscanf(argv[++i], "%d/%d", &n, &d) < 1 || n <= 0 || d <= 0) {
        std::fprintf(stderr, "mxf_wrap: bad rate %s\n", argv[i]);
        return 3;
      }
      options.edit_rate = {n, d};
    } else {
      std::fprintf(stderr, "mxf_wrap: unknown option %s\n", argv[i]);
      return 3;
    }
  }
  if (argc - i < 2) {
    std::fprintf(stderr, "usage: mxf_wrap [-interop] [-rate N/D] OUT.mxf FRAME.j2c...\n");
    return 3;
  }
  const char* out = argv[i++];
  std::vector<std::vector<std::uint8_t>> frames;
  for (; i < argc; ++i) {
    std::ifstream in(argv[i], std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "mxf_wrap: cannot read %s\n", argv[i]);
      return 1;
    }
    frames.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  const Kumu::Result_t r = mxfwrite::WriteJpeg2000TrackFile(out, frames, options);
  if (r.Failure()) {
    std::fprintf(stderr, "mxf_wrap: %s: %s\n", r.Symbol(), r.Label());
    return 1;
  }
  return 0;
}
