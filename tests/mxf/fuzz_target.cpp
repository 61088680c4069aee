// Fuzz entry over EssenceType + OpenRead + LargestFrameSize + the run's
// growing read of every frame.
#include "tests/mxf/fuzz_target.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "converter/conversion_run.h"
#include "mxf/AS_DCP.h"

namespace mxftest {

namespace {

const std::string& ScratchPath() {
  static const std::string path = [] {
    const char* tmp = std::getenv("TMPDIR");
    return std::string(tmp != nullptr && *tmp != 0 ? tmp : "/tmp") + "/mxf_fuzz_" +
           std::to_string(::getpid()) + ".mxf";
  }();
  return path;
}

}  // namespace

int MxfFuzzOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string& path = ScratchPath();
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return 0;
  const bool written = size == 0 || std::fwrite(data, 1, size, f) == size;
  std::fclose(f);
  if (!written) return 0;

  ASDCP::EssenceType_t type = ASDCP::ESS_UNKNOWN;
  (void)ASDCP::EssenceType(path.c_str(), type);
  ASDCP::JP2K::MXFReader reader;
  if (reader.OpenRead(path.c_str()).Success()) {
    ASDCP::JP2K::PictureDescriptor desc{};
    (void)reader.FillPictureDescriptor(desc);
    // The largest frame the index announces sizes the run's buffers: it may
    // never exceed what the file holds.
    ASDCP::ui32_t largest = 0;
    if (reader.LargestFrameSize(largest).Success() && largest > size) std::abort();
    ASDCP::JP2K::FrameBuffer fb(largest > (1u << 16) ? largest : (1u << 16));
    // Every frame the descriptor announces (bounded), and a few past the end,
    // read as the run reads them: the buffer grows while a frame does not fit.
    const ASDCP::ui32_t frames = desc.ContainerDuration < 4096 ? desc.ContainerDuration : 4096;
    for (ASDCP::ui32_t i = 0; i < frames + 2; ++i) {
      bool tooLarge = false;
      if (ReadFrameGrowing(reader, i, fb, tooLarge).Success() && fb.Size() > fb.Capacity()) std::abort();
    }
    (void)reader.ReadFrame(0xffffffffu, fb);
  }
  std::remove(path.c_str());
  return 0;
}

}  // namespace mxftest

#ifdef MXF_LIBFUZZER
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return mxftest::MxfFuzzOneInput(data, size);
}
#endif
