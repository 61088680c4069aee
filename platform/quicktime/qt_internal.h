// Records behind the opaque movie objects, shared by the layer's sources.
// The only header of the project that includes FFmpeg.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/quicktime/quicktime.h"
#include "platform/quicktime/quicktime_faults.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
#include <libswscale/swscale.h>
}

namespace qt {

// Largest frame side the session and pixel buffers accept.
constexpr int kMaxFrameSide = 16384;
// Movie time scale (QuickTime's default for new movies).
constexpr int32_t kMovieTimeScale = 600;

// ------------------------------------------------------------ errors, faults
void SetMoviesError(OSErr err);
void SetMemError(OSErr err);
// True (and *err set) when a test armed this use of the call to fail.
bool FaultHit(faults::Call call, int32_t* err);
// An errno value as the nearest file-system error.
OSErr ErrnoToOSErr(int e);
// Whether libx264 and the QuickTime muxer exist in the linked FFmpeg.
bool EncoderAndMuxerAvailable();

// ------------------------------------------------------------ Core Foundation
struct CFObject {
  enum class Kind { String, Number, Dictionary };
  Kind kind;
  bool constant = false;  // CFSTR strings live for ever
  mutable std::atomic<int> refs{1};
  std::string text;                                      // String: UTF-8
  bool validText = true;                                 // String: UTF-16 was well formed
  int64_t number = 0;                                    // Number
  std::vector<std::pair<std::string, int64_t>> entries;  // Dictionary: key text, number
  explicit CFObject(Kind k) : kind(k) {}
};

// ------------------------------------------------------------ handles
// A Handle points at `data`, the first member, so the block is recovered
// from the handle by a cast.
struct HandleBlock {
  char* data;
  Size size;
};
HandleBlock* BlockOf(Handle h);
// NewHandle without the fault switch, for the layer's own handles.
Handle AllocateHandle(Size byteCount);

// ------------------------------------------------------------ movies
struct UserDataRecord {
  struct Text {
    int16_t language;
    std::string bytes;
  };
  struct Item {
    OSType type;
    std::vector<Text> texts;
  };
  std::vector<Item> items;  // in order of addition
};

struct TrackRecord;
struct MediaRecord;

struct DataHandlerRecord {
  int fd = -1;
  std::string path;  // empty when the storage writes to a file the caller opened
  AVIOContext* avio = nullptr;
  MovieRecord* movie = nullptr;
  OSErr writeError = noErr;  // first failed write, sticky
  int systemError = 0;       // the system's error number behind it, when known
};

struct MovieRecord {
  AVFormatContext* format = nullptr;  // the QuickTime muxer
  DataHandlerRecord* storage = nullptr;
  UserDataRecord userData;
  TrackRecord* track = nullptr;
  AVStream* stream = nullptr;  // made at the first sample
  bool headerWritten = false;
  bool saved = false;
  OSErr saveResult = noErr;
  int64_t creationTime = 0;  // seconds since 1970
  Fixed trackWidth = 0;      // the size the track was made with
  Fixed trackHeight = 0;
};

struct TrackRecord {
  MovieRecord* movie = nullptr;
  Fixed width = 0;
  Fixed height = 0;
  MediaRecord* media = nullptr;
};

struct MediaRecord {
  TrackRecord* track = nullptr;
  TimeScale timeScale = 0;
  int64_t duration = 0;  // sum of the sample durations
  bool editing = false;
};

// ------------------------------------------------------------ compression
struct ComponentRecord {
  int32_t preferences = 0;
  SCSpatialSettings spatial{0, nullptr, 0, codecNormalQuality};
  SCTemporalSettings temporal{codecNormalQuality, 0, 0};
};

struct SessionOptionsRecord {
  bool allowTemporalCompression = false;
  bool allowFrameReordering = false;
  CodecQ quality = codecNormalQuality;
  int32_t keyFrameInterval = 0;  // 0: the encoder's own choice
  Fixed frameRate = 0;           // 16.16; 0: unknown
};

struct SessionRecord {
  int width = 0;  // the caller's frame size
  int height = 0;
  int codedWidth = 0;  // padded to even
  int codedHeight = 0;
  TimeScale timeScale = 0;
  ICMEncodedFrameOutputRecord output{};
  AVCodecContext* codec = nullptr;
  SwsContext* scaler = nullptr;
  AVFrame* frame = nullptr;
  AVPacket* packet = nullptr;
  std::vector<uint8_t> scratch;          // rows converted from a copy
  std::map<int64_t, int64_t> durations;  // display time -> display duration
  bool anyFrame = false;
  int64_t lastDisplayTime = 0;
  bool completed = false;
  OSStatus failure = noErr;  // first failure, sticky
};

struct EncodedFrameRecord {
  SessionRecord* session;
  AVPacket* packet;  // times in 1 / session time scale
};

struct PixelBufferRecord {
  size_t width = 0;
  size_t height = 0;
  OSType pixelFormat = 0;
  uint8_t* base = nullptr;
  size_t bytesPerRow = 0;
  CVPixelBufferReleaseBytesCallback releaseCallback = nullptr;
  void* releaseRefCon = nullptr;
  int refs = 1;
};

// ------------------------------------------------------------ atoms
namespace atoms {
// The 'udta' atom of the movie's items (empty when there are none).
std::vector<uint8_t> UserDataAtom(const UserDataRecord& userData);
// 'ftyp' + 'moov' {'mvhd', 'udta'} of a movie without tracks.
std::vector<uint8_t> EmptyMovie(int64_t creationTime, const UserDataRecord& userData);
// Replaces the 'udta' of the file's last 'moov' and sets the track header's
// size; the 'moov' is rewritten in place when it ends the file, otherwise
// the old one becomes 'free' and the new one is appended.
OSErr RewriteMovieAtom(int fd, const UserDataRecord& userData, Fixed trackWidth, Fixed trackHeight);
// Writes all bytes at the offset; false with errno set on failure.
bool WriteAll(int fd, const uint8_t* data, size_t size, int64_t offset);
}  // namespace atoms

}  // namespace qt
