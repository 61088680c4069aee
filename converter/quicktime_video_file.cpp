#include "converter/quicktime_video_file.h"

#include <cstdlib>
#include <cstring>

#include "converter/console.h"
#include "converter/results.h"
#include "framework/arrays.h"
#include "framework/frame_rate.h"

namespace {

// -1 untried, 0 failed, 1 ready.
std::int32_t gQuickTimeState = -1;
std::int32_t gQuickTimeVersion = 0;

constexpr std::int32_t kMinimumQuickTimeVersion = 0x07100000;
constexpr qt::OSType kCreatorTVOD = qt::FourCC('T', 'V', 'O', 'D');
constexpr qt::OSType kUserDataInfo = qt::FourCC('\xA9', 'i', 'n', 'f');

Kumu::Result_t Failure(const char* label) { return ConverterFailure(kCategoryQuickTime, label); }

void StopQuickTimeAtExit() { StopQuickTime(); }

}  // namespace

std::int32_t StartQuickTime() {
  if (gQuickTimeState != -1) return gQuickTimeVersion;
  PrintInfo("Initializing QuickTime...");
  try {
    if (qt::InitializeQTML(0) != qt::noErr) {
      gQuickTimeState = 0;
      PrintNote("Initializing QuickTime (QTML) FAILED (QuickTime might not be installed)...");
    }
    if (qt::EnterMovies() != qt::noErr) {
      PrintNote("Initializing QuickTime (EnterMovies) FAILED (QuickTime might not be installed)...");
      gQuickTimeState = 0;
      return gQuickTimeVersion;
    }
    gQuickTimeState = 1;
    std::int32_t version = 0;
    if (qt::Gestalt(qt::gestaltQuickTime, &version) != qt::noErr) {
      PrintNote("FAILED to query the QuickTime Version");
    } else {
      gQuickTimeVersion = version;
      PrintInfo("Running QuickTime Version: %lx",
                static_cast<unsigned long>(static_cast<std::uint32_t>(version)));
      std::atexit(StopQuickTimeAtExit);
    }
  } catch (...) {
    PrintNote("QuickTime init FAILED (caught exception)!");
    gQuickTimeVersion = 0;
    gQuickTimeState = 0;
  }
  return gQuickTimeVersion;
}

void StopQuickTime() {
  if (gQuickTimeState != 1) return;
  qt::ExitMovies();
  qt::TerminateQTML();
  gQuickTimeState = -1;
  gQuickTimeVersion = 0;
}

qt::Fixed FixedRateFromFrameRateIndex(std::int32_t index) {
  return static_cast<qt::Fixed>(FrameRateIndexToDouble(index) * 65536.0);
}

void TimeScaleFromFrameRateIndex(std::int32_t& timeScale, std::int32_t& duration, std::int32_t index) {
  switch (index) {
    case 0:
      timeScale = 2398;
      break;
    case 3:
    case 4:
      timeScale = 2997;
      break;
    case 7:
      timeScale = 5994;
      break;
    default:
      timeScale = FrameRateIndexToInteger(index) * 100;
      break;
  }
  duration = 100;
}

void TimeScaleFromFixedRate(std::int32_t& timeScale, std::int32_t& duration,
                            const qt::SCTemporalSettings& settings) {
  switch (settings.frameRate) {
    // 23.976: the compressor's rounded rate, and the rate of the index as set
    // (a compressor that hands it back unchanged).
    case 0x17FAE1:
    case 0x17F9DB:
      timeScale = 2398;
      break;
    case 0x1DF851:
      timeScale = 2997;
      break;
    case 0x3BF0A3:
      timeScale = 5994;
      break;
    default:
      timeScale = (settings.frameRate >> 16) * 100;
      break;
  }
  duration = 100;
}

TQuickTimeVideoFile::~TQuickTimeVideoFile() { Close(); }

Kumu::Result_t TQuickTimeVideoFile::Open(const TString& path, const TString& shownPath) {
  const Kumu::Result_t prepared = PrepareOpen(shownPath.IsEmpty() ? path : shownPath);
  if (prepared.Failure()) return prepared;
  qt::CFStringRef text = qt::CFStringCreateWithCharacters(
      qt::kCFAllocatorDefault, reinterpret_cast<const qt::UniChar*>(path.Text()), path.Length());
  const qt::OSErr referenced = qt::QTNewDataReferenceFromFullPathCFString(
      text, qt::kQTNativeDefaultPathStyle, 0, &mDataReference, &mDataReferenceType);
  if (text) qt::CFRelease(text);
  if (referenced != qt::noErr || !mDataReference) return Failure("Failed to open the dest file for writing");
  return CreateStorage();
}

Kumu::Result_t TQuickTimeVideoFile::PrepareOpen(const TString& shownPath) {
  if (StartQuickTime() < kMinimumQuickTimeVersion)
    return Failure("QuickTime 7.1 or higher must be installed");
  PrintInfo("Opening file '%s' for writing...", shownPath.ToNarrow(0));
  return Kumu::RESULT_OK;
}

Kumu::Result_t TQuickTimeVideoFile::OpenOnFile(int descriptor) {
  // QuickTime is started once per process: here it was, by PrepareOpen.
  if (StartQuickTime() < kMinimumQuickTimeVersion)
    return Failure("QuickTime 7.1 or higher must be installed");
  const qt::OSErr referenced =
      qt::QTNewDataReferenceFromOpenFile(descriptor, &mDataReference, &mDataReferenceType);
  if (referenced != qt::noErr || !mDataReference) return Failure("Failed to open the dest file for writing");
  return CreateStorage();
}

Kumu::Result_t TQuickTimeVideoFile::CreateStorage() {
  Kumu::Result_t result = Kumu::RESULT_OK;
  if (qt::CreateMovieStorage(
          mDataReference, mDataReferenceType, kCreatorTVOD, qt::smCurrentScript,
          static_cast<long>(qt::createMovieFileDeleteCurFile | qt::createMovieFileDontCreateResFile),
          &mDataHandler, &mMovie) != qt::noErr ||
      !mMovie || !mDataHandler) {
    result = Failure("Failed to create a new movie");
  } else {
    AddUserDataText(TString::ExpandTemplates(TString(u"Made with $MProductString\n$MProductHomeURL")));
    mCompressor = qt::OpenDefaultComponent(qt::StandardCompressionType, qt::StandardCompressionSubType);
    std::int32_t flags = qt::scAllowEncodingWithCompressionSession;
    qt::SCSetInfo(mCompressor, qt::scPreferenceFlagsType, &flags);
    if (qt::SCGetInfo(mCompressor, qt::scPreferenceFlagsType, &flags) == 0) {
      flags = (flags & ~0x10) | 0xE;
      qt::SCSetInfo(mCompressor, qt::scPreferenceFlagsType, &flags);
    }
    return Kumu::RESULT_OK;
  }
  if (mCompressor) {
    qt::CloseComponent(mCompressor);
    mCompressor = nullptr;
  }
  if (mMovie) {
    qt::DisposeMovie(mMovie);
    mMovie = nullptr;
  }
  if (mDataHandler) {
    qt::CloseMovieStorage(mDataHandler);
    mDataHandler = nullptr;
  }
  return result;
}

void TQuickTimeVideoFile::AddUserDataText(const TString& text) {
  qt::UserData userData = qt::GetMovieUserData(mMovie);
  if (!userData) return;
  TByteArray narrow;
  text.ToNarrowArray(narrow, 0);
  qt::Handle handle = qt::NewHandle(narrow.Size());
  if (!handle) return;
  if (narrow.Size() > 0) qt::BlockMoveData(narrow.Data(), *handle, narrow.Size());
  const auto region = static_cast<std::int16_t>(qt::GetScriptManagerVariable(qt::smRegionCode));
  qt::AddUserDataText(userData, handle, kUserDataInfo, 1, region);
  qt::DisposeHandle(handle);
}

void TQuickTimeVideoFile::NoteSystemError() {
  if (mSystemError == 0 && mDataHandler) mSystemError = qt::GetMovieStorageSystemError(mDataHandler);
}

void TQuickTimeVideoFile::ReleaseTrackObjects() {
  if (mSession) {
    qt::ICMCompressionSessionRelease(mSession);
    mSession = nullptr;
  }
  if (mMedia) {
    qt::DisposeTrackMedia(mMedia);
    mMedia = nullptr;
  }
  if (mTrack) {
    qt::DisposeMovieTrack(mTrack);
    mTrack = nullptr;
  }
}

namespace {

// Prints the name of the codec the compressor read back, with its frame
// rate.
Kumu::Result_t ShowCodec(const qt::SCSpatialSettings& spatial, const qt::SCTemporalSettings& temporal) {
  qt::CodecInfo info{};
  if (qt::GetCodecInfo(&info, spatial.codecType, spatial.codec) != qt::noErr) {
    return Failure("Failed to resolve codec info");
  }
  char typeName[33];
  const std::size_t nameLength = info.typeName[0] < 32 ? info.typeName[0] : 31;
  std::memcpy(typeName, info.typeName + 1, nameLength);
  typeName[nameLength] = 0;
  PrintInfo("Compressing with codec '%s', framerate: %d...", typeName, temporal.frameRate >> 16);
  return Kumu::RESULT_OK;
}

// The compressor's session options, with temporal compression and frame
// reordering allowed, into `options`; the caller releases them, also after
// a failure (when not null).
Kumu::Result_t CompressorSessionOptions(qt::ComponentInstance compressor,
                                        qt::ICMCompressionSessionOptionsRef& options) {
  if (qt::ICMCompressionSessionOptionsCreate(qt::kCFAllocatorDefault, &options) != 0) {
    return Failure("Failed to create compression options");
  }
  // The compressor's own options replace the ones just made.
  qt::ICMCompressionSessionOptionsRef copied = nullptr;
  if (qt::SCCopyCompressionSessionOptions(compressor, &copied) != 0) {
    return Failure("Failed to copy compression options");
  }
  qt::ICMCompressionSessionOptionsRelease(options);
  options = copied;
  if (qt::ICMCompressionSessionOptionsSetAllowTemporalCompression(options, true) != 0) {
    return Failure("Failed to enable temporal compression options");
  }
  if (qt::ICMCompressionSessionOptionsSetAllowFrameReordering(options, true) != 0) {
    return Failure("Failed to set compression options");
  }
  return Kumu::RESULT_OK;
}

// The attributes of the session's pixel buffers: pixel format, width and
// height; null when they could not be made.
qt::CFDictionaryRef PixelBufferAttributes(std::uint32_t pixelFormat, std::int32_t width,
                                          std::int32_t height) {
  std::int32_t values[3] = {static_cast<std::int32_t>(pixelFormat), width, height};
  const void* keys[3] = {CFSTR("PixelFormatType"), CFSTR("Width"), CFSTR("Height")};
  const void* numbers[3] = {qt::CFNumberCreate(qt::kCFAllocatorDefault, qt::kCFNumberIntType, &values[0]),
                            qt::CFNumberCreate(qt::kCFAllocatorDefault, qt::kCFNumberIntType, &values[1]),
                            qt::CFNumberCreate(qt::kCFAllocatorDefault, qt::kCFNumberIntType, &values[2])};
  qt::CFDictionaryRef attributes = nullptr;
  if (numbers[0] && numbers[1] && numbers[2]) {
    attributes = qt::CFDictionaryCreate(qt::kCFAllocatorDefault, keys, numbers, 3, nullptr, nullptr);
  }
  for (const void* number : numbers) {
    if (number) qt::CFRelease(static_cast<qt::CFTypeRef>(number));
  }
  return attributes;
}

}  // namespace

Kumu::Result_t TQuickTimeVideoFile::BeginVideoTrack(TVideoSize size, std::int32_t frameRateIndex,
                                                    std::uint32_t codecType, std::uint32_t quality,
                                                    std::uint32_t pixelFormat) {
  mWidth = static_cast<std::int32_t>(size.width);
  mHeight = static_cast<std::int32_t>(size.height);
  mFrameRateIndex = frameRateIndex;
  mPixelFormat = pixelFormat;
  mCodecType = codecType;

  qt::SCSpatialSettings spatial{codecType, nullptr, 0, quality};
  qt::SCTemporalSettings temporal{quality, FixedRateFromFrameRateIndex(frameRateIndex),
                                  FrameRateIndexToInteger(frameRateIndex)};
  qt::SCSetInfo(mCompressor, qt::scSpatialSettingsType, &spatial);
  qt::SCSetInfo(mCompressor, qt::scTemporalSettingsType, &temporal);
  qt::SCGetInfo(mCompressor, qt::scSpatialSettingsType, &spatial);
  qt::SCGetInfo(mCompressor, qt::scTemporalSettingsType, &temporal);

  const Kumu::Result_t result = BeginTrack(size, frameRateIndex, spatial, temporal);
  if (result.Failure()) {
    mFramesWritten = 0;
    ReleaseTrackObjects();
  }
  return result;
}

Kumu::Result_t TQuickTimeVideoFile::BeginTrack(TVideoSize size, std::int32_t frameRateIndex,
                                               const qt::SCSpatialSettings& spatial,
                                               const qt::SCTemporalSettings& temporal) {
  Kumu::Result_t result = CreateTrackAndMedia(size, frameRateIndex, temporal);
  if (result.Success()) result = ShowCodec(spatial, temporal);
  if (result.Failure()) return result;
  qt::ICMCompressionSessionOptionsRef options = nullptr;
  result = CompressorSessionOptions(mCompressor, options);
  if (result.Success()) result = CreateSession(options, spatial.codecType);
  if (options) qt::ICMCompressionSessionOptionsRelease(options);
  if (result.Failure()) return result;
  if (qt::BeginMediaEdits(mMedia) != qt::noErr) return Failure("Failed to start editing the video track");
  return Kumu::RESULT_OK;
}

Kumu::Result_t TQuickTimeVideoFile::CreateTrackAndMedia(TVideoSize size, std::int32_t frameRateIndex,
                                                        const qt::SCTemporalSettings& temporal) {
  mTrack = qt::NewMovieTrack(mMovie, qt::FixRatio(static_cast<std::int16_t>(size.width & 0xFFFF), 1),
                             qt::FixRatio(static_cast<std::int16_t>(size.height & 0xFFFF), 1), 0);
  if (!mTrack || qt::GetMoviesError() != qt::noErr) return Failure("Failed to create video track");
  if (temporal.frameRate == 0) {
    TimeScaleFromFrameRateIndex(mTimeScale, mFrameDuration, frameRateIndex);
  } else {
    TimeScaleFromFixedRate(mTimeScale, mFrameDuration, temporal);
  }
  mMedia = qt::NewTrackMedia(mTrack, qt::VideoMediaType, mTimeScale, nullptr, 0);
  if (!mMedia || qt::GetMoviesError() != qt::noErr) return Failure("Failed to create video media");
  return Kumu::RESULT_OK;
}

Kumu::Result_t TQuickTimeVideoFile::CreateSession(qt::ICMCompressionSessionOptionsRef options,
                                                  qt::CodecType codecType) {
  const qt::CFDictionaryRef attributes = PixelBufferAttributes(mPixelFormat, mWidth, mHeight);
  if (!attributes) return Failure("Failed to create compression session");
  qt::ICMEncodedFrameOutputRecord output{&TQuickTimeVideoFile::OnEncodedFrame, mMedia, nullptr};
  const qt::OSStatus created =
      qt::ICMCompressionSessionCreate(qt::kCFAllocatorDefault, mWidth, mHeight, codecType, mTimeScale,
                                      options, attributes, &output, &mSession);
  qt::CFRelease(attributes);
  if (created != 0 || !mSession) return Failure("Failed to create compression session");
  return Kumu::RESULT_OK;
}

Kumu::Result_t TQuickTimeVideoFile::AddFrame(const void* data, std::uint32_t bytesPerRow) {
  qt::CVPixelBufferRef pixels = nullptr;
  if (mWidth < 0 || mHeight < 0 ||
      qt::CVPixelBufferCreateWithBytes(
          qt::kCFAllocatorDefault, static_cast<std::size_t>(mWidth), static_cast<std::size_t>(mHeight),
          mPixelFormat, const_cast<void*>(data), bytesPerRow, nullptr, nullptr, nullptr, &pixels) != 0 ||
      !pixels) {
    return Failure("Failed to create a pixelbuffer for a video frame");
  }
  qt::ICMSourceTrackingCallbackRecord tracking{&TQuickTimeVideoFile::OnSourceFrameTracking, this};
  mPendingPixelBuffer = pixels;
  const qt::TimeValue64 duration = mFrameDuration;
  const qt::OSStatus encoded = qt::ICMCompressionSessionEncodeFrame(
      mSession, pixels, static_cast<qt::TimeValue64>(mFramesWritten) * duration, duration,
      qt::kICMValidTime_DisplayTimeStampIsValid | qt::kICMValidTime_DisplayDurationIsValid, nullptr,
      &tracking, pixels);
  if (encoded != 0) {
    // A frame refused before QuickTime took it is never reported released.
    if (mPendingPixelBuffer == pixels) qt::CVPixelBufferRelease(pixels);
    mPendingPixelBuffer = nullptr;
    NoteSystemError();
    return Failure("Failed to encode video frame");
  }
  ++mFramesWritten;
  return Kumu::RESULT_OK;
}

qt::OSStatus TQuickTimeVideoFile::OnEncodedFrame(void* media, qt::ICMCompressionSessionRef, qt::OSStatus,
                                                 qt::ICMEncodedFrameRef frame, void*) {
  return qt::AddMediaSampleFromEncodedFrame(static_cast<qt::Media>(media), frame, nullptr);
}

void TQuickTimeVideoFile::OnSourceFrameTracking(void* writer, qt::ICMSourceTrackingFlags flags,
                                                void* sourceFrame, void*) {
  if (!(flags & qt::kICMSourceTracking_ReleasedPixelBuffer)) return;
  auto* pixels = static_cast<qt::CVPixelBufferRef>(sourceFrame);
  auto* self = static_cast<TQuickTimeVideoFile*>(writer);
  if (self && self->mPendingPixelBuffer == pixels) self->mPendingPixelBuffer = nullptr;
  qt::CVPixelBufferRelease(pixels);
}

Kumu::Result_t TQuickTimeVideoFile::Finish() {
  const Kumu::Result_t result = FinishTrack();
  if (result.Failure()) {
    NoteSystemError();
    ReleaseTrackObjects();
  }
  mFramesWritten = 0;
  return result;
}

Kumu::Result_t TQuickTimeVideoFile::FinishTrack() {
  if (qt::ICMCompressionSessionCompleteFrames(mSession, true, 0, 0) != 0)
    return Failure("Failed to finish compression session");
  qt::ICMCompressionSessionRelease(mSession);
  mSession = nullptr;
  if (qt::EndMediaEdits(mMedia) != qt::noErr) return Failure("Failed to finish the media edit");
  if (mFramesWritten > 0) {
    const qt::TimeValue mediaDuration = qt::GetMediaDuration(mMedia);
    if (qt::InsertMediaIntoTrack(mTrack, 0, 0, mediaDuration, qt::fixed1) != qt::noErr)
      return Failure("Failed to insert media into track");
  }
  return Kumu::RESULT_OK;
}

Kumu::Result_t TQuickTimeVideoFile::Close() {
  Kumu::Result_t result = Kumu::RESULT_OK;
  if (mFramesWritten > 0) Finish();
  if (mMovie && mDataHandler) {
    const qt::OSErr added = qt::AddMovieToStorage(mMovie, mDataHandler);
    const qt::OSErr updated = qt::UpdateMovieInStorage(mMovie, mDataHandler);
    NoteSystemError();
    const qt::OSErr closed = qt::CloseMovieStorage(mDataHandler);
    mDataHandler = nullptr;
    if (added != qt::noErr || updated != qt::noErr || closed != qt::noErr) {
      result = Failure("Failed to save the movie file");
    }
  }
  ReleaseTrackObjects();
  if (mMovie) {
    qt::DisposeMovie(mMovie);
    mMovie = nullptr;
  }
  if (mDataReference) {
    qt::DisposeHandle(mDataReference);
    mDataReference = nullptr;
  }
  if (mCompressor) {
    qt::CloseComponent(mCompressor);
    mCompressor = nullptr;
  }
  return result;
}
