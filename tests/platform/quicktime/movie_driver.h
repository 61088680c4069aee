// Drives the movie calls in the order the QuickTime movie writer makes
// them (open, begin the video track, add frames, finish, close), with the
// writer's failure texts, so that tests see the layer as the writer does.
#pragma once

#include <cstdint>
#include <string>

#include "platform/quicktime/quicktime.h"

namespace qttest {

// The writer's frame-rate indices 0..8: 23.976, 24, 25, 29.97, 29.97, 30,
// 50, 59.94, 60.
double FrameRateOfIndex(int index);
int WholeRateOfIndex(int index);
// 16.16 rate of an index, truncated as the writer does.
qt::Fixed FixedRateOfIndex(int index);

class MovieDriver {
 public:
  MovieDriver() = default;
  MovieDriver(const MovieDriver&) = delete;
  MovieDriver& operator=(const MovieDriver&) = delete;
  ~MovieDriver() { Close(); }

  // Each returns true on success, otherwise false with error() holding the
  // writer's text of the failed step.
  bool Start();  // InitializeQTML, EnterMovies, Gestalt: version >= 7.1
  bool Open(const std::string& path, const std::string& infoText);
  bool Begin(int width, int height, int rateIndex, qt::CodecQ quality = 768,
             qt::OSType pixelFormat = qt::k24RGBPixelFormat);
  bool AddFrame(const void* rgb, size_t bytesPerRow);
  bool Finish();
  // Finishes when frames were written, saves and closes; answers the first
  // failing storage call's error (the writer itself drops it).
  qt::OSErr Close();

  // What Begin passes to the two boolean session options (the writer: both true).
  void SetSessionOptions(bool temporal, bool reordering) {
    allowTemporal_ = temporal;
    allowReordering_ = reordering;
  }

  const std::string& error() const { return error_; }
  int32_t version() const { return version_; }
  int timeScale() const { return timeScale_; }
  int framesWritten() const { return framesWritten_; }
  // The read-back 16.16 frame rate of the last Begin.
  qt::Fixed readBackRate() const { return readBackRate_; }
  // Source-tracking calls that released a pixel buffer, and during which
  // call: true when every release came before EncodeFrame returned.
  int releasedBuffers() const { return released_; }
  bool releasedBeforeReturn() const { return releasedBeforeReturn_; }

 private:
  static qt::OSStatus OnEncodedFrame(void* refcon, qt::ICMCompressionSessionRef session, qt::OSStatus error,
                                     qt::ICMEncodedFrameRef frame, void* reserved);
  static void OnSourceFrameTracking(void* refcon, qt::ICMSourceTrackingFlags flags, void* sourceFrame,
                                    void* reserved);
  bool Fail(const char* text);
  void ReleaseTrackObjects();

  qt::Movie movie_ = nullptr;
  qt::DataHandler storage_ = nullptr;
  qt::Handle dataRef_ = nullptr;
  qt::OSType dataRefType_ = 0;
  qt::ComponentInstance compressor_ = nullptr;
  int width_ = -1;
  int height_ = -1;
  int framesWritten_ = 0;
  qt::Media media_ = nullptr;
  qt::Track track_ = nullptr;
  int timeScale_ = 0;
  int duration_ = 100;
  qt::ICMCompressionSessionRef session_ = nullptr;
  qt::OSType pixelFormat_ = 24;
  qt::OSType codecType_ = 0;
  qt::Fixed readBackRate_ = 0;
  int32_t version_ = 0;
  std::string error_;
  int released_ = 0;
  bool inEncode_ = false;
  bool releasedBeforeReturn_ = true;
  int trackingCalls_ = 0;
  bool allowTemporal_ = true;
  bool allowReordering_ = true;
};

}  // namespace qttest
