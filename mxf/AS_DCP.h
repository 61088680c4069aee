// The track-file API of the MXF layer (namespace ASDCP): essence-type probe,
// frame buffers and the reader of frame-wrapped JPEG 2000 picture track files
// (SMPTE and MXF Interop OP-Atom, and frame-wrapped JPEG 2000 in OP1a files
// from other writers).
//
// Every length, offset and count taken from a file is checked against the
// file and the caller's buffer; a damaged file gives a failure result, never a
// crash or an allocation larger than the file justifies.
#pragma once

#include <cstdint>
#include <memory>

#include "mxf/KM_error.h"

namespace ASDCP {

using Kumu::byte_t;
using Kumu::i32_t;
using Kumu::i64_t;
using Kumu::i8_t;
using Kumu::Result_t;
using Kumu::ui16_t;
using Kumu::ui32_t;
using Kumu::ui64_t;
using Kumu::ui8_t;

using Kumu::RESULT_ALLOC;
using Kumu::RESULT_BADSEEK;
using Kumu::RESULT_CONFIG;
using Kumu::RESULT_DIR_CREATE;
using Kumu::RESULT_ENDOFFILE;
using Kumu::RESULT_FAIL;
using Kumu::RESULT_FALSE;
using Kumu::RESULT_FILEEXISTS;
using Kumu::RESULT_FILEOPEN;
using Kumu::RESULT_INIT;
using Kumu::RESULT_NO_PERM;
using Kumu::RESULT_NOT_EMPTY;
using Kumu::RESULT_NOT_FOUND;
using Kumu::RESULT_NOTAFILE;
using Kumu::RESULT_NOTIMPL;
using Kumu::RESULT_NULL_STR;
using Kumu::RESULT_OK;
using Kumu::RESULT_PARAM;
using Kumu::RESULT_PTR;
using Kumu::RESULT_READFAIL;
using Kumu::RESULT_SMALLBUF;
using Kumu::RESULT_STATE;
using Kumu::RESULT_UNKNOWN;
using Kumu::RESULT_WRITEFAIL;

inline constexpr Result_t RESULT_FORMAT(-101, "FORMAT", "The file format is not proper OP-Atom/AS-DCP.");
inline constexpr Result_t RESULT_RAW_ESS(-102, "RAW_ESS", "Unknown raw essence file type.");
inline constexpr Result_t RESULT_RAW_FORMAT(-103, "RAW_FORMAT", "Raw essence format invalid.");
inline constexpr Result_t RESULT_RANGE(-104, "RANGE", "Frame number out of range.");
inline constexpr Result_t RESULT_CRYPT_CTX(-105, "CRYPT_CTX",
                                           "AESEncContext required when writing to encrypted file.");
inline constexpr Result_t RESULT_LARGE_PTO(-106, "LARGE_PTO", "Plaintext offset exceeds frame buffer size.");
inline constexpr Result_t RESULT_CAPEXTMEM(-107, "CAPEXTMEM", "Cannot resize externally allocated memory.");
inline constexpr Result_t RESULT_CHECKFAIL(-108, "CHECKFAIL", "The check value did not decrypt correctly.");
inline constexpr Result_t RESULT_HMACFAIL(-109, "HMACFAIL", "HMAC authentication failure.");
inline constexpr Result_t RESULT_HMAC_CTX(-110, "HMAC_CTX", "HMAC context required.");
inline constexpr Result_t RESULT_CRYPT_INIT(-111, "CRYPT_INIT", "Error initializing block cipher context.");
inline constexpr Result_t RESULT_EMPTY_FB(-112, "EMPTY_FB", "Empty frame buffer.");
inline constexpr Result_t RESULT_KLV_CODING(-113, "KLV_CODING", "KLV coding error.");
inline constexpr Result_t RESULT_SPHASE(-114, "SPHASE", "Stereoscopic phase mismatch.");
inline constexpr Result_t RESULT_SFORMAT(-115, "SFORMAT",
                                         "Rate mismatch, file may contain stereoscopic essence.");

// The layer's version text: major, API minor and implementation minor.
const char* Version();

enum EssenceType_t {
  ESS_UNKNOWN,             // 0: not a supported track file
  ESS_MPEG2_VES,           // 1: MPEG-2 video elementary stream
  ESS_JPEG_2000,           // 2: JPEG 2000 codestreams
  ESS_PCM_24b_48k,         // 3: PCM audio, 48 kHz
  ESS_PCM_24b_96k,         // 4: PCM audio, 96 kHz
  ESS_TIMED_TEXT,          // 5: timed text
  ESS_JPEG_2000_S,         // 6: stereoscopic JPEG 2000 (codestream pairs)
  ESS_DCDATA_UNKNOWN,      // 7: D-Cinema data
  ESS_DCDATA_DOLBY_ATMOS,  // 8: D-Cinema data, Atmos
};

// Reads the header metadata of a file and tells what essence it carries.
// `type` is set only on success.  Only a regular file is read: anything else
// (a pipe, a FIFO, a device, a folder) gives RESULT_FILEOPEN at once.
Result_t EssenceType(const char* filename, EssenceType_t& type);

struct Rational {
  i32_t Numerator = 0;
  i32_t Denominator = 0;

  constexpr Rational() = default;
  constexpr Rational(i32_t n, i32_t d) : Numerator(n), Denominator(d) {}
  double Quotient() const {
    return Denominator == 0 ? 0.0 : static_cast<double>(Numerator) / static_cast<double>(Denominator);
  }
  constexpr bool operator==(const Rational& r) const {
    return Numerator == r.Numerator && Denominator == r.Denominator;
  }
  constexpr bool operator!=(const Rational& r) const { return !(*this == r); }
};

inline constexpr Rational EditRate_23_98(24000, 1001);
inline constexpr Rational EditRate_24(24, 1);
inline constexpr Rational EditRate_25(25, 1);
inline constexpr Rational EditRate_30(30, 1);
inline constexpr Rational EditRate_48(48, 1);
inline constexpr Rational EditRate_50(50, 1);
inline constexpr Rational EditRate_60(60, 1);
inline constexpr Rational EditRate_96(96, 1);
inline constexpr Rational EditRate_100(100, 1);
inline constexpr Rational EditRate_120(120, 1);
inline constexpr Rational SampleRate_48k(48000, 1);
inline constexpr Rational SampleRate_96k(96000, 1);

// Decryption and integrity contexts.  This layer does not decrypt; the types
// exist so that ReadFrame keeps its usual shape.  Encrypted frames are
// refused (see MXFReader::ReadFrame).
class AESDecContext;
class HMACContext;

// Bytes of one frame: a block with a capacity and the size of the frame in it.
class FrameBuffer {
 public:
  FrameBuffer() = default;
  virtual ~FrameBuffer();
  FrameBuffer(const FrameBuffer&) = delete;
  FrameBuffer& operator=(const FrameBuffer&) = delete;

  // Makes room for at least `capacity` bytes.  A buffer that already has that
  // much is left alone; otherwise the old block is replaced by a new one and
  // the size becomes 0.  RESULT_CAPEXTMEM for a buffer over external memory,
  // RESULT_ALLOC when the block cannot be had.
  Result_t Capacity(ui32_t capacity);

  // Uses caller memory (not owned) of `capacity` bytes.
  Result_t SetData(byte_t* data, ui32_t capacity);

  ui32_t Capacity() const { return capacity_; }
  const byte_t* RoData() const { return data_; }
  byte_t* Data() { return data_; }
  ui32_t Size() const { return size_; }
  Result_t Size(ui32_t size);
  ui32_t FrameNumber() const { return frame_number_; }
  void FrameNumber(ui32_t n) { frame_number_ = n; }
  ui32_t SourceLength() const { return source_length_; }
  void SourceLength(ui32_t n) { source_length_ = n; }
  ui32_t PlaintextOffset() const { return plaintext_offset_; }
  void PlaintextOffset(ui32_t n) { plaintext_offset_ = n; }

 private:
  byte_t* data_ = nullptr;
  ui32_t capacity_ = 0;
  bool own_memory_ = false;
  ui32_t size_ = 0;
  ui32_t frame_number_ = 0;
  ui32_t source_length_ = 0;
  ui32_t plaintext_offset_ = 0;
};

namespace JP2K {

inline constexpr ui32_t MaxComponents = 3;
inline constexpr ui32_t MaxPrecincts = 32;
inline constexpr ui32_t MaxDefaults = 256;

struct ImageComponent_t {
  ui8_t Ssize;   // bit depth - 1; bit 7 set for signed samples
  ui8_t XRsize;  // horizontal separation
  ui8_t YRsize;  // vertical separation
};

// The body of the codestream's COD marker segment.
struct CodingStyleDefault_t {
  ui8_t Scod;
  struct {
    ui8_t ProgressionOrder;
    ui8_t NumberOfLayers[2];  // most significant byte first
    ui8_t MultiCompTransform;
  } SGcod;
  struct {
    ui8_t DecompositionLevels;
    ui8_t CodeblockWidth;   // log2 of the width - 2
    ui8_t CodeblockHeight;  // log2 of the height - 2
    ui8_t CodeblockStyle;
    ui8_t Transformation;
    ui8_t PrecinctSize[MaxPrecincts];
  } SPcod;
};

// The body of the codestream's QCD marker segment.
struct QuantizationDefault_t {
  ui8_t Sqcd;
  ui8_t SPqcd[MaxDefaults];
  ui8_t SPqcdLength;
};

static_assert(sizeof(ImageComponent_t) == 3);
static_assert(sizeof(CodingStyleDefault_t) == 42);
static_assert(sizeof(QuantizationDefault_t) == 258);

struct PictureDescriptor {
  Rational EditRate;
  ui32_t ContainerDuration;
  Rational SampleRate;
  ui32_t StoredWidth;
  ui32_t StoredHeight;
  Rational AspectRatio;
  ui16_t Rsize;
  ui32_t Xsize;
  ui32_t Ysize;
  ui32_t XOsize;
  ui32_t YOsize;
  ui32_t XTsize;
  ui32_t YTsize;
  ui32_t XTOsize;
  ui32_t YTOsize;
  ui16_t Csize;  // components in the codestream; at most MaxComponents are described below
  ImageComponent_t ImageComponents[MaxComponents];
  CodingStyleDefault_t CodingStyleDefault;
  QuantizationDefault_t QuantizationDefault;
};

class FrameBuffer : public ASDCP::FrameBuffer {
 public:
  FrameBuffer() = default;
  explicit FrameBuffer(ui32_t capacity) { Capacity(capacity); }
};

// Reader of a frame-wrapped JPEG 2000 picture track file.
class MXFReader {
 public:
  class h__Reader;

  MXFReader();
  ~MXFReader();
  MXFReader(const MXFReader&) = delete;
  MXFReader& operator=(const MXFReader&) = delete;

  // Opens a track file: header metadata, partitions, index.  Stereoscopic
  // files are refused with RESULT_SFORMAT, anything but a regular file with
  // RESULT_FILEOPEN (at once, also a FIFO without a writer).  A failed open
  // leaves the reader closed.
  Result_t OpenRead(const char* filename) const;

  // The picture and coding parameters of the open file (RESULT_INIT when
  // nothing is open).
  Result_t FillPictureDescriptor(PictureDescriptor& desc) const;

  // Reads the codestream of frame `frame_number` (from 0) into `buf`.
  // RESULT_RANGE past the last frame, RESULT_SMALLBUF when the frame does not
  // fit the buffer's capacity, RESULT_CRYPT_CTX for an encrypted frame (this
  // layer does not decrypt; ciphertext is never handed out as a frame).
  Result_t ReadFrame(ui32_t frame_number, FrameBuffer& buf, AESDecContext* ctx = nullptr,
                     HMACContext* hmac = nullptr) const;

  // An upper bound on the codestream size of every indexed frame: the
  // largest distance from one indexed edit unit to the next (or to the end of
  // its partition's essence), and for constant-size edit units their size,
  // but never more than the essence of the largest partition holds.  Its
  // cost is that of sorting the index entries, plus one step per partition.
  // RESULT_FALSE when the file has no index table (`size` is then 0),
  // RESULT_INIT when nothing is open.
  Result_t LargestFrameSize(ui32_t& size) const;

  // Closes the file (RESULT_INIT when nothing is open).
  Result_t Close() const;

 private:
  std::unique_ptr<h__Reader> reader_;
};

}  // namespace JP2K

// True when a result (or a plain result value) is a success / a failure.
#define ASDCP_SUCCESS(v) KM_SUCCESS(v)
#define ASDCP_FAILURE(v) KM_FAILURE(v)

}  // namespace ASDCP
