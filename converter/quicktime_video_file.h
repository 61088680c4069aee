// The movie writer: one video track compressed through a QuickTime
// compression session ('avc1' by default) at the track's frame rate.
// QuickTime is started on the first open and stopped at process exit.
#pragma once

#include <cstdint>

#include "framework/reference_countable.h"
#include "framework/tstring.h"
#include "mxf/KM_error.h"
#include "platform/quicktime/quicktime.h"

struct TVideoSize {
  std::uint32_t width;
  std::uint32_t height;
};

class TQuickTimeVideoFile : public TReferenceCountable {
 public:
  TQuickTimeVideoFile() = default;
  // Closes the movie (its result is dropped).
  ~TQuickTimeVideoFile() override;
  TQuickTimeVideoFile(const TQuickTimeVideoFile&) = delete;
  TQuickTimeVideoFile& operator=(const TQuickTimeVideoFile&) = delete;

  bool IsDeletedOnMainThread() const override { return false; }
  bool IsDeletable() const override { return true; }

  // Every operation answers a result; failures have the value -1 and the
  // category "QuickTimeVideoFile".  The movie is stored at `path`; messages
  // name it `shownPath` (the path itself when empty).
  Kumu::Result_t Open(const TString& path, const TString& shownPath = TString());
  // Open in two steps, for a caller that makes the movie's file itself
  // between them, so that everything happens in Open's order: PrepareOpen
  // starts QuickTime and prints the line naming the movie `shownPath`;
  // OpenOnFile then opens the movie on a file the caller has made and holds
  // open for reading and writing (a descriptor of the platform layer): the
  // movie is written through it and the file is never opened by name.  The
  // caller keeps the descriptor and closes it after Close.
  Kumu::Result_t PrepareOpen(const TString& shownPath);
  Kumu::Result_t OpenOnFile(int descriptor);
  Kumu::Result_t BeginVideoTrack(TVideoSize size, std::int32_t frameRateIndex, std::uint32_t codecType,
                                 std::uint32_t quality, std::uint32_t pixelFormat);
  // One frame of `bytesPerRow`-byte rows in the track's pixel format.
  Kumu::Result_t AddFrame(const void* data, std::uint32_t bytesPerRow);
  // Completes the compression and inserts the media into the track.
  Kumu::Result_t Finish();
  // Finishes the track when frames are pending, saves the movie into its
  // file and releases everything.  A failed save is a failure.
  Kumu::Result_t Close();

  // The system's error number behind the first failed write of the movie
  // (ENOSPC for a full disk); 0 when no write failed or it is not known.
  int SystemError() const { return mSystemError; }

  std::int32_t FramesWritten() const { return mFramesWritten; }
  std::int32_t TimeScale() const { return mTimeScale; }
  std::int32_t FrameDuration() const { return mFrameDuration; }

  // QuickTime's callbacks: an encoded frame becomes a sample of the media
  // (the reference value); a released source frame's pixel buffer is freed.
  static qt::OSStatus OnEncodedFrame(void* media, qt::ICMCompressionSessionRef session, qt::OSStatus error,
                                     qt::ICMEncodedFrameRef frame, void* reserved);
  static void OnSourceFrameTracking(void* writer, qt::ICMSourceTrackingFlags flags, void* sourceFrame,
                                    void* reserved);

 private:
  // The steps of Open after the data reference: the movie's storage, its
  // user data and the standard compressor.
  Kumu::Result_t CreateStorage();
  void AddUserDataText(const TString& text);
  // The steps of BeginVideoTrack after the compressor's settings: the track
  // and its media, the codec's line, the compression session and the start
  // of the media's edits.
  Kumu::Result_t BeginTrack(TVideoSize size, std::int32_t frameRateIndex,
                            const qt::SCSpatialSettings& spatial, const qt::SCTemporalSettings& temporal);
  // The track of the frame size and its video media, at the time scale of
  // the rate the compressor read back (of the frame-rate index when it gave
  // none).
  Kumu::Result_t CreateTrackAndMedia(TVideoSize size, std::int32_t frameRateIndex,
                                     const qt::SCTemporalSettings& temporal);
  // The compression session with `options` for frames of the track's size
  // and pixel format; the encoded frames go to the media.
  Kumu::Result_t CreateSession(qt::ICMCompressionSessionOptionsRef options, qt::CodecType codecType);
  // The steps of Finish: the session's last frames, the end of the media's
  // edits and the media into the track.
  Kumu::Result_t FinishTrack();
  void ReleaseTrackObjects();
  void NoteSystemError();

  qt::Movie mMovie = nullptr;
  qt::DataHandler mDataHandler = nullptr;
  qt::Handle mDataReference = nullptr;
  qt::OSType mDataReferenceType = 0;
  qt::ComponentInstance mCompressor = nullptr;
  std::int32_t mWidth = -1;
  std::int32_t mHeight = -1;
  std::int32_t mFrameRateIndex = -1;
  std::int32_t mFramesWritten = 0;
  qt::Media mMedia = nullptr;
  qt::Track mTrack = nullptr;
  std::int32_t mTimeScale = 0;
  std::int32_t mFrameDuration = 0;
  qt::ICMCompressionSessionRef mSession = nullptr;
  std::uint32_t mPixelFormat = 0;
  std::uint32_t mCodecType = 0;
  // The pixel buffer of the frame being encoded until QuickTime releases it.
  qt::CVPixelBufferRef mPendingPixelBuffer = nullptr;
  int mSystemError = 0;
};

// Starts QuickTime once per process (a failed start is not retried); the
// QuickTime version, 0 when it is not known.
std::int32_t StartQuickTime();
void StopQuickTime();

// The 16.16 frame rate of a frame-rate index (the exact rate x 65536,
// truncated).
qt::Fixed FixedRateFromFrameRateIndex(std::int32_t index);
// Time scale and frame duration (always 100) of a frame-rate index, and of
// the frame rate the compressor read back.
void TimeScaleFromFrameRateIndex(std::int32_t& timeScale, std::int32_t& duration, std::int32_t index);
void TimeScaleFromFixedRate(std::int32_t& timeScale, std::int32_t& duration,
                            const qt::SCTemporalSettings& settings);
