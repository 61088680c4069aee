#include "converter/run_report.h"

#include <cerrno>
#include <cstring>

#include "converter/console.h"
#include "mxf/AS_DCP.h"
#include "platform/file_system.h"
#include "platform/threads.h"

namespace {

std::string SystemError(int error) { return SystemErrorText(error); }

bool Is(const Kumu::Result_t& result, const Kumu::Result_t& known) { return result.Value() == known.Value(); }

bool LabelIs(const Kumu::Result_t& result, const char* label) {
  return std::strcmp(result.Label(), label) == 0;
}

// Decoder errors that mean a feature the decoder does not have, by the end of
// their name; every other error means a damaged codestream.
struct TUnsupported {
  const char* suffix;
  const char* words;
};
constexpr TUnsupported kUnsupported[] = {
    {"::Except_HTBlockCodingUsed", "high-throughput coding is not supported"},
    {"::Except_PPMUsed", "packed packet headers (PPM) are not supported"},
    {"::Except_RGNUsed", "regions of interest (RGN) are not supported"},
    {"::Except_mctIsResampled", "a component transform over resampled components is not supported"},
    {"::Except_faultMalloc", "not enough memory to decode the frame"},
};

bool EndsWith(const char* text, const char* suffix) {
  const std::size_t n = std::strlen(text), m = std::strlen(suffix);
  return n >= m && std::strcmp(text + n - m, suffix) == 0;
}

std::string Depths(const std::uint32_t depths[3]) {
  return std::to_string(depths[0]) + ", " + std::to_string(depths[1]) + ", " + std::to_string(depths[2]);
}

}  // namespace

std::string SystemErrorText(int error) {
  char text[256];
  platformErrorText(error, text, sizeof text);
  return text;
}

void PrintFailureCause(const TRunFailure& failure) {
  if (failure.file.empty()) return;
  if (failure.frame >= 0) {
    PrintNote("  File '%s', frame %lld: %s", failure.file.c_str(), static_cast<long long>(failure.frame),
              failure.cause.c_str());
  } else {
    PrintNote("  File '%s': %s", failure.file.c_str(), failure.cause.c_str());
  }
  if (!failure.movie.empty()) PrintNote("  File '%s': %s", failure.movie.c_str(), failure.movieCause.c_str());
}

std::string InputFileCause(const char* path, const Kumu::Result_t& result) {
  int error = 0;
  const PlatformEntryKind kind = platformEntryKind(path, true, &error);
  if (kind == PlatformEntryKind::kNone) return SystemError(error);
  if (kind == PlatformEntryKind::kFolder) return SystemError(EISDIR);
  // A pipe, a FIFO, a device or a socket: not read, not even its first bytes.
  if (kind != PlatformEntryKind::kFile) return "the input is not a regular file";
  unsigned char head[4] = {0, 0, 0, 0};
  std::size_t got = 0;
  if (!platformReadFileStart(path, head, sizeof head, &got, &error)) return SystemError(error);
  // Every MXF file begins with the key of its header partition.
  static constexpr unsigned char kKeyPrefix[4] = {0x06, 0x0E, 0x2B, 0x34};
  if (got == 0) return "the file is empty";
  if (got < 4 || std::memcmp(head, kKeyPrefix, 4) != 0) return "not an MXF file";
  if (Is(result, Kumu::RESULT_ENDOFFILE) || Is(result, Kumu::RESULT_READFAIL)) {
    return "the MXF file ends early (an incomplete or cut file?)";
  }
  if (Is(result, ASDCP::RESULT_SFORMAT)) return "the file holds a stereoscopic picture track";
  if (Is(result, Kumu::RESULT_ALLOC)) return "not enough memory to read the file's metadata";
  if (Is(result, ASDCP::RESULT_KLV_CODING)) {
    return "the MXF file is damaged: an item of its partitions, metadata or index is malformed or out of "
           "place";
  }
  return "the MXF file is damaged or is not a picture track file this tool reads";
}

std::string PictureSizeCause(std::uint32_t width, std::uint32_t height) {
  const std::string size = std::to_string(width) + " x " + std::to_string(height) + " pixels";
  if (width == 0 || height == 0) return "the track announces frames of " + size + " (a damaged descriptor)";
  if (width > kMaxMovieSide || height > kMaxMovieSide) {
    return "the track announces frames of " + size + "; a movie takes at most " +
           std::to_string(kMaxMovieSide) + " pixels a side";
  }
  if (std::uint64_t{width + (width & 1)} * (height + (height & 1)) > kMaxMoviePixels) {
    return "the track announces frames of " + size + "; a movie takes at most " +
           std::to_string(kMaxMovieSide) + " x " + std::to_string(kMaxMoviePixels / kMaxMovieSide) +
           " pixels in all";
  }
  return {};
}

std::string FrameReadCause(const Kumu::Result_t& result, bool tooLarge) {
  if (tooLarge)
    return "the frame is larger than " + std::to_string(kMaxFrameBytes >> 20) +
           " MiB, the most a frame may take";
  if (Is(result, ASDCP::RESULT_RANGE)) return "the file has no such frame (an incomplete index?)";
  if (Is(result, Kumu::RESULT_ENDOFFILE) || Is(result, Kumu::RESULT_READFAIL)) {
    return "the file ends inside the frame (an incomplete or cut file?)";
  }
  if (Is(result, ASDCP::RESULT_CRYPT_CTX) || Is(result, Kumu::RESULT_NOTIMPL)) {
    return "the frame is encrypted; this tool does not decrypt";
  }
  if (Is(result, Kumu::RESULT_ALLOC)) return "not enough memory for the frame";
  return "the frame's place in the file is damaged";
}

std::string DecoderErrorCause(const TFrameStop& stop) {
  if (stop.codecId == 0) return "the decoder stopped without naming a cause";
  if (stop.name[0] == '<') return "the JP2 file holds no codestream";
  for (const TUnsupported& u : kUnsupported) {
    if (EndsWith(stop.name, u.suffix)) return u.words;
  }
  return std::string("the codestream is damaged (") + stop.name + ")";
}

std::string FrameDecodeCause(const Kumu::Result_t& result, const TFrameStop& stop, std::uint32_t trackWidth,
                             std::uint32_t trackHeight, const std::uint32_t trackDepths[3]) {
  if (LabelIs(result, "Unexpected or invalid input data (no JPEG2k data?)")) {
    return "the frame is too short to hold JPEG 2000 data";
  }
  if (stop.codecId != 0) return DecoderErrorCause(stop);
  if (stop.headerRead && LabelIs(result, "Unexpected frame width/height of decoded frame")) {
    if (stop.width != trackWidth || stop.height != trackHeight) {
      return "the frame is " + std::to_string(stop.width) + " x " + std::to_string(stop.height) +
             " pixels, the track's frames are " + std::to_string(trackWidth) + " x " +
             std::to_string(trackHeight);
    }
    if (!stop.fullResolution)
      return "the frame's components are subsampled; only full-resolution components convert";
  }
  if (stop.headerRead && stop.components != 3) {
    return "the frame has " + std::to_string(stop.components) + " components, a colour picture has 3";
  }
  if (stop.headerRead && LabelIs(result, "Unexpected bit depth of decoded frame")) {
    return "the frame's components have " + Depths(stop.bitDepth) + " bits, the track's have " +
           Depths(trackDepths);
  }
  if (result.Value() == -4) return "not enough memory for the frame";
  if (std::strcmp(result.Symbol(), "ConvertColors") == 0) return "the frame's colours could not be converted";
  return DecoderErrorCause(stop);
}

std::string MovieCause(const char* path, const Kumu::Result_t& result, int systemError) {
  if (LabelIs(result, "Failed to create a new movie") ||
      LabelIs(result, "Failed to open the dest file for writing")) {
    int error = 0;
    const PlatformEntryKind kind = platformEntryKind(path, true);
    if (kind == PlatformEntryKind::kFolder) return SystemError(EISDIR);
    if (kind != PlatformEntryKind::kNone && !platformMayWrite(path, &error)) return SystemError(error);
    std::string folder(path);
    const std::size_t slash = folder.rfind('/');
    folder = slash == std::string::npos ? "." : slash == 0 ? "/" : folder.substr(0, slash);
    const PlatformEntryKind folderKind = platformEntryKind(folder.c_str(), true, &error);
    if (folderKind == PlatformEntryKind::kNone) return SystemError(error);
    if (folderKind != PlatformEntryKind::kFolder) return SystemError(ENOTDIR);
    if (!platformMayWrite(folder.c_str(), &error)) return SystemError(error);
    return "the movie file could not be created";
  }
  if (LabelIs(result, "QuickTime 7.1 or higher must be installed"))
    return "the movie writer could not be started";
  if (systemError != 0) return "the movie could not be written: " + SystemError(systemError);
  return "the movie could not be written";
}
