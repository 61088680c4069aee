// Fuzz entry over EssenceType + OpenRead + LargestFrameSize + the run's
// growing read of every frame, into a buffer that starts smaller than the
// largest frame.
#include "tests/mxf/fuzz_target.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "converter/conversion_run.h"
#include "mxf/AS_DCP.h"

namespace mxftest {

namespace {

std::uint64_t grownReads = 0;

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
    if (reader.LargestFrameSize(largest).Failure()) largest = 0;
    if (largest > size) std::abort();
    // The run's buffers start at the largest frame or 1.3 MB, which no input
    // here reaches; this one starts at half the largest frame (at 1 byte
    // without an index), so that the largest frame, and any frame past what
    // a lying index announces, grows it as a frame larger than the run's
    // buffers does.
    ASDCP::JP2K::FrameBuffer fb(largest / 2 + 1);
    // Every frame the descriptor announces (bounded), and a few past the end,
    // read as the run reads them: the buffer grows while a frame does not fit.
    const ASDCP::ui32_t frames = desc.ContainerDuration < 4096 ? desc.ContainerDuration : 4096;
    for (ASDCP::ui32_t i = 0; i < frames + 2; ++i) {
      bool tooLarge = false;
      const ASDCP::ui32_t capacity = fb.Capacity();
      if (ReadFrameGrowing(reader, i, fb, tooLarge).Success() && fb.Size() > fb.Capacity()) std::abort();
      if (fb.Capacity() > capacity) ++grownReads;
    }
    (void)reader.ReadFrame(0xffffffffu, fb);
  }
  std::remove(path.c_str());
  return 0;
}

std::uint64_t MxfFuzzGrownReads() { return grownReads; }

}  // namespace mxftest

#ifdef MXF_LIBFUZZER
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return mxftest::MxfFuzzOneInput(data, size);
}
#endif
