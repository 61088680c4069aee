#include "tests/platform/quicktime/movie_driver.h"

#include <cstring>
#include <vector>

namespace qttest {

using namespace qt;

double FrameRateOfIndex(int index) {
  static const double kRates[9] = {23.976, 24, 25, 29.97, 29.97, 30, 50, 59.94, 60};
  return index >= 0 && index < 9 ? kRates[index] : 0.0;
}

int WholeRateOfIndex(int index) {
  static const int kRates[9] = {24, 24, 25, 30, 30, 30, 50, 60, 60};
  return index >= 0 && index < 9 ? kRates[index] : 0;
}

Fixed FixedRateOfIndex(int index) { return Fixed(FrameRateOfIndex(index) * 65536.0); }

namespace {

void TimeScaleFromFrameRateIndex(int* scale, int* duration, int index) {
  *duration = 100;
  if (index == 0)
    *scale = 2398;
  else if (index == 3 || index == 4)
    *scale = 2997;
  else if (index == 7)
    *scale = 5994;
  else
    *scale = WholeRateOfIndex(index) * 100;
}

void TimeScaleFromFixedRate(int* scale, int* duration, const SCTemporalSettings& t) {
  *duration = 100;
  if (t.frameRate == 0x17FAE1)
    *scale = 2398;
  else if (t.frameRate == 0x1DF851)
    *scale = 2997;
  else if (t.frameRate == 0x3BF0A3)
    *scale = 5994;
  else
    *scale = (t.frameRate >> 16) * 100;
}

}  // namespace

bool MovieDriver::Fail(const char* text) {
  error_ = text;
  return false;
}

bool MovieDriver::Start() {
  if (InitializeQTML(0) != noErr) {
    // The writer notes it and goes on.
  }
  if (EnterMovies() != noErr) return Fail("QuickTime 7.1 or higher must be installed");
  if (Gestalt(gestaltQuickTime, &version_) != noErr) version_ = 0;
  if (version_ < 0x07100000) return Fail("QuickTime 7.1 or higher must be installed");
  return true;
}

bool MovieDriver::Open(const std::string& path, const std::string& infoText) {
  if (!Start()) return false;
  std::vector<UniChar> chars(path.begin(), path.end());
  CFStringRef cfPath = CFStringCreateWithCharacters(kCFAllocatorDefault, chars.data(), CFIndex(chars.size()));
  OSErr err =
      QTNewDataReferenceFromFullPathCFString(cfPath, kQTNativeDefaultPathStyle, 0, &dataRef_, &dataRefType_);
  CFRelease(cfPath);
  if (err != noErr || dataRef_ == nullptr) return Fail("Failed to open the dest file for writing");

  err = CreateMovieStorage(dataRef_, dataRefType_, FourCC('T', 'V', 'O', 'D'), smCurrentScript,
                           long(createMovieFileDeleteCurFile | createMovieFileDontCreateResFile), &storage_,
                           &movie_);
  bool ok = err == noErr && movie_ != nullptr && storage_ != nullptr;
  if (ok) {
    UserData ud = GetMovieUserData(movie_);
    if (ud != nullptr) {
      Handle h = NewHandle(Size(infoText.size()));
      if (h != nullptr) {
        BlockMoveData(infoText.data(), *h, Size(infoText.size()));
        AddUserDataText(ud, h, FourCC(char(0xA9), 'i', 'n', 'f'), 1,
                        int16_t(GetScriptManagerVariable(smRegionCode)));
        DisposeHandle(h);
      }
    }
    compressor_ = OpenDefaultComponent(StandardCompressionType, StandardCompressionSubType);
    int32_t prefs = scAllowEncodingWithCompressionSession;
    SCSetInfo(compressor_, scPreferenceFlagsType, &prefs);
    if (SCGetInfo(compressor_, scPreferenceFlagsType, &prefs) == noErr) {
      prefs = (prefs & ~0x10) | 0xE;
      SCSetInfo(compressor_, scPreferenceFlagsType, &prefs);
    }
    return true;
  }
  if (compressor_ != nullptr) CloseComponent(compressor_);
  if (movie_ != nullptr) DisposeMovie(movie_);
  if (storage_ != nullptr) CloseMovieStorage(storage_);
  compressor_ = nullptr;
  movie_ = nullptr;
  storage_ = nullptr;
  return Fail("Failed to create a new movie");
}

void MovieDriver::ReleaseTrackObjects() {
  if (session_ != nullptr) ICMCompressionSessionRelease(session_);
  if (media_ != nullptr) DisposeTrackMedia(media_);
  if (track_ != nullptr) DisposeMovieTrack(track_);
  session_ = nullptr;
  media_ = nullptr;
  track_ = nullptr;
}

bool MovieDriver::Begin(int width, int height, int rateIndex, CodecQ quality, OSType pixelFormat) {
  width_ = width;
  height_ = height;
  pixelFormat_ = pixelFormat;
  codecType_ = kH264CodecType;
  SCSpatialSettings spatial{codecType_, nullptr, 0, quality};
  SCTemporalSettings temporal{quality, FixedRateOfIndex(rateIndex), WholeRateOfIndex(rateIndex)};
  SCSetInfo(compressor_, scSpatialSettingsType, &spatial);
  SCSetInfo(compressor_, scTemporalSettingsType, &temporal);
  SCGetInfo(compressor_, scSpatialSettingsType, &spatial);
  SCGetInfo(compressor_, scTemporalSettingsType, &temporal);
  readBackRate_ = temporal.frameRate;

  const char* failure = nullptr;
  ICMCompressionSessionOptionsRef options = nullptr;
  do {
    track_ =
        NewMovieTrack(movie_, FixRatio(int16_t(width & 0xFFFF), 1), FixRatio(int16_t(height & 0xFFFF), 1), 0);
    if (track_ == nullptr || GetMoviesError() != noErr) {
      failure = "Failed to create video track";
      break;
    }
    if (temporal.frameRate == 0)
      TimeScaleFromFrameRateIndex(&timeScale_, &duration_, rateIndex);
    else
      TimeScaleFromFixedRate(&timeScale_, &duration_, temporal);
    media_ = NewTrackMedia(track_, VideoMediaType, timeScale_, nullptr, 0);
    if (media_ == nullptr || GetMoviesError() != noErr) {
      failure = "Failed to create video media";
      break;
    }
    CodecInfo info;
    if (GetCodecInfo(&info, spatial.codecType, spatial.codec) != noErr) {
      failure = "Failed to resolve codec info";
      break;
    }
    if (ICMCompressionSessionOptionsCreate(kCFAllocatorDefault, &options) != noErr) {
      failure = "Failed to create compression options";
      break;
    }
    ICMCompressionSessionOptionsRelease(options);
    options = nullptr;
    if (SCCopyCompressionSessionOptions(compressor_, &options) != noErr) {
      failure = "Failed to copy compression options";
      break;
    }
    if (ICMCompressionSessionOptionsSetAllowTemporalCompression(options, allowTemporal_) != noErr) {
      failure = "Failed to enable temporal compression options";
      break;
    }
    if (ICMCompressionSessionOptionsSetAllowFrameReordering(options, allowReordering_) != noErr) {
      failure = "Failed to set compression options";
      break;
    }
    int32_t format = int32_t(pixelFormat_), w = width, h = height;
    const void* keys[3] = {CFSTR("PixelFormatType"), CFSTR("Width"), CFSTR("Height")};
    const void* values[3] = {CFNumberCreate(kCFAllocatorDefault, kCFNumberIntType, &format),
                             CFNumberCreate(kCFAllocatorDefault, kCFNumberIntType, &w),
                             CFNumberCreate(kCFAllocatorDefault, kCFNumberIntType, &h)};
    CFDictionaryRef attributes = CFDictionaryCreate(kCFAllocatorDefault, keys, values, 3, nullptr, nullptr);
    for (const void* v : values) CFRelease(static_cast<CFTypeRef>(v));
    ICMEncodedFrameOutputRecord output{&MovieDriver::OnEncodedFrame, media_, nullptr};
    OSStatus st = ICMCompressionSessionCreate(kCFAllocatorDefault, width, height, spatial.codecType,
                                              timeScale_, options, attributes, &output, &session_);
    CFRelease(attributes);
    ICMCompressionSessionOptionsRelease(options);
    options = nullptr;
    if (st != noErr) {
      failure = "Failed to create compression session";
      break;
    }
    if (BeginMediaEdits(media_) != noErr) {
      failure = "Failed to start editing the video track";
      break;
    }
  } while (false);
  if (failure == nullptr) return true;
  framesWritten_ = 0;
  ICMCompressionSessionOptionsRelease(options);
  ReleaseTrackObjects();
  return Fail(failure);
}

OSStatus MovieDriver::OnEncodedFrame(void* refcon, ICMCompressionSessionRef, OSStatus,
                                     ICMEncodedFrameRef frame, void*) {
  return AddMediaSampleFromEncodedFrame(static_cast<Media>(refcon), frame, nullptr);
}

void MovieDriver::OnSourceFrameTracking(void* refcon, ICMSourceTrackingFlags flags, void* sourceFrame,
                                        void*) {
  auto* self = static_cast<MovieDriver*>(refcon);
  ++self->trackingCalls_;
  if (flags & kICMSourceTracking_ReleasedPixelBuffer) {
    CVPixelBufferRelease(static_cast<CVPixelBufferRef>(sourceFrame));
    ++self->released_;
    if (!self->inEncode_) self->releasedBeforeReturn_ = false;
  }
}

bool MovieDriver::AddFrame(const void* rgb, size_t bytesPerRow) {
  CVPixelBufferRef pb = nullptr;
  if (CVPixelBufferCreateWithBytes(kCFAllocatorDefault, size_t(width_), size_t(height_), pixelFormat_,
                                   const_cast<void*>(rgb), bytesPerRow, nullptr, nullptr, nullptr,
                                   &pb) != noErr)
    return Fail("Failed to create a pixelbuffer for a video frame");
  ICMSourceTrackingCallbackRecord tracking{&MovieDriver::OnSourceFrameTracking, this};
  inEncode_ = true;
  const int releasedBefore = released_;
  OSStatus st = ICMCompressionSessionEncodeFrame(
      session_, pb, TimeValue64(framesWritten_) * duration_, duration_,
      kICMValidTime_DisplayTimeStampIsValid | kICMValidTime_DisplayDurationIsValid, nullptr, &tracking, pb);
  inEncode_ = false;
  // A frame the session refused was never taken: its buffer is still ours.
  if (released_ == releasedBefore) CVPixelBufferRelease(pb);
  if (st != noErr) return Fail("Failed to encode video frame");
  ++framesWritten_;
  return true;
}

bool MovieDriver::Finish() {
  const char* failure = nullptr;
  do {
    if (ICMCompressionSessionCompleteFrames(session_, true, 0, 0) != noErr) {
      failure = "Failed to finish compression session";
      break;
    }
    ICMCompressionSessionRelease(session_);
    session_ = nullptr;
    if (EndMediaEdits(media_) != noErr) {
      failure = "Failed to finish the media edit";
      break;
    }
    if (framesWritten_ > 0 && InsertMediaIntoTrack(track_, 0, 0, GetMediaDuration(media_), fixed1) != noErr) {
      failure = "Failed to insert media into track";
      break;
    }
  } while (false);
  framesWritten_ = 0;
  if (failure == nullptr) return true;
  ReleaseTrackObjects();
  return Fail(failure);
}

OSErr MovieDriver::Close() {
  if (framesWritten_ > 0) Finish();
  OSErr result = noErr;
  if (movie_ != nullptr && storage_ != nullptr) {
    result = AddMovieToStorage(movie_, storage_);
    OSErr e = UpdateMovieInStorage(movie_, storage_);
    if (result == noErr) result = e;
    e = CloseMovieStorage(storage_);
    if (result == noErr) result = e;
    storage_ = nullptr;
  }
  ReleaseTrackObjects();
  if (movie_ != nullptr) DisposeMovie(movie_);
  movie_ = nullptr;
  if (dataRef_ != nullptr) DisposeHandle(dataRef_);
  dataRef_ = nullptr;
  if (compressor_ != nullptr) CloseComponent(compressor_);
  compressor_ = nullptr;
  return result;
}

}  // namespace qttest
