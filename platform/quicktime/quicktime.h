// The movie calls the QuickTime movie writer makes, offered on Linux.
//
// QuickTime does not exist here.  This layer gives the writer the subset of
// the Movie Toolbox, the standard image compressor, the ICM compression
// session, Core Video pixel buffers and the few Core Foundation values it
// uses, with QuickTime's names, argument shapes and result conventions
// (0 = success, negative = an error code).  Underneath, frames are converted
// from 24-bit RGB to 4:2:0 Y'CbCr (BT.709 matrix, limited range) with
// libswscale, encoded as H.264 ('avc1') by libx264 through libavcodec and
// stored with libavformat's QuickTime muxer; the user-data atom and an empty
// movie are written by the layer itself.  No FFmpeg type leaves this layer.
//
// Objects are opaque.  Every call accepts a null object and answers with an
// error (or does nothing, for the disposal calls) instead of crashing.
// Calls are meant for one thread per movie; the callbacks handed to a
// compression session run synchronously on the calling thread, inside
// ICMCompressionSessionEncodeFrame and ICMCompressionSessionCompleteFrames.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qt {

// ---------------------------------------------------------------- basic types
using OSErr = int16_t;
using OSStatus = int32_t;
using ComponentResult = int32_t;
using CVReturn = int32_t;
using OSType = uint32_t;
using FourCharCode = uint32_t;
using CodecType = uint32_t;
using Fixed = int32_t;  // 16.16 fixed point
using TimeValue = int32_t;
using TimeValue64 = int64_t;
using TimeScale = int32_t;
using Boolean = uint8_t;
using Size = int32_t;
using ScriptCode = int16_t;
using CodecQ = uint32_t;
using UniChar = uint16_t;
using CFIndex = long;
using Ptr = char*;
using Handle = char**;  // a relocatable block: *handle is its bytes

constexpr OSType FourCC(char a, char b, char c, char d) {
  return (uint32_t(uint8_t(a)) << 24) | (uint32_t(uint8_t(b)) << 16) | (uint32_t(uint8_t(c)) << 8) |
         uint32_t(uint8_t(d));
}

struct MovieRecord;
struct TrackRecord;
struct MediaRecord;
struct UserDataRecord;
struct DataHandlerRecord;
struct ComponentRecord;
struct CFObject;
struct SessionOptionsRecord;
struct SessionRecord;
struct EncodedFrameRecord;
struct PixelBufferRecord;
struct FrameOptionsRecord;
struct CodecComponentRecord;
struct AllocatorRecord;

using Movie = MovieRecord*;
using Track = TrackRecord*;
using Media = MediaRecord*;
using UserData = UserDataRecord*;
using DataHandler = DataHandlerRecord*;
using ComponentInstance = ComponentRecord*;
using CodecComponent = CodecComponentRecord*;
using CFTypeRef = const CFObject*;
using CFStringRef = const CFObject*;
using CFNumberRef = const CFObject*;
using CFDictionaryRef = const CFObject*;
using CFAllocatorRef = const AllocatorRecord*;
using ICMCompressionSessionOptionsRef = SessionOptionsRecord*;
using ICMCompressionSessionRef = SessionRecord*;
using ICMEncodedFrameRef = EncodedFrameRecord*;
using ICMCompressionFrameOptionsRef = FrameOptionsRecord*;
using CVPixelBufferRef = PixelBufferRecord*;

constexpr CFAllocatorRef kCFAllocatorDefault = nullptr;

// ---------------------------------------------------------------- error codes
constexpr OSErr noErr = 0;
constexpr OSErr dskFulErr = -34;  // disk or file-size limit full
constexpr OSErr ioErr = -36;      // other input/output failure
constexpr OSErr fnfErr = -43;     // file or folder not found
constexpr OSErr wPrErr = -44;     // read-only volume
constexpr OSErr dupFNErr = -48;   // file exists and may not be replaced
constexpr OSErr paramErr = -50;   // bad argument, or a call out of order
constexpr OSErr permErr = -54;    // no permission
constexpr OSErr memFullErr = -108;
constexpr OSErr dirNFErr = -120;
constexpr OSErr invalidMedia = -2008;
constexpr OSErr invalidTrack = -2009;
constexpr OSErr invalidMovie = -2010;
constexpr OSErr gestaltUndefSelectorErr = -5551;
constexpr OSErr codecErr = -8960;    // the encoder failed
constexpr OSErr noCodecErr = -8961;  // no encoder for the type / not available
constexpr ComponentResult badComponentInstance = int32_t(0x80008001u);
constexpr CVReturn kCVReturnInvalidArgument = -6661;
constexpr CVReturn kCVReturnAllocationFailed = -6662;
constexpr CVReturn kCVReturnInvalidPixelFormat = -6680;
constexpr CVReturn kCVReturnInvalidSize = -6681;

// ---------------------------------------------------------------- constants
constexpr OSType kH264CodecType = FourCC('a', 'v', 'c', '1');
constexpr OSType k24RGBPixelFormat = 24;
constexpr OSType VideoMediaType = FourCC('v', 'i', 'd', 'e');
constexpr OSType rAliasType = FourCC('a', 'l', 'i', 's');
constexpr OSType gestaltQuickTime = FourCC('q', 't', 'i', 'm');
constexpr OSType StandardCompressionType = FourCC('s', 'c', 'd', 'i');
constexpr OSType StandardCompressionSubType = FourCC('i', 'm', 'a', 'g');
constexpr OSType scSpatialSettingsType = FourCC('s', 'p', 't', 'l');
constexpr OSType scTemporalSettingsType = FourCC('t', 'p', 'r', 'l');
constexpr OSType scPreferenceFlagsType = FourCC('p', 'r', 'e', 'f');
constexpr int32_t scAllowEncodingWithCompressionSession = 0x100;
constexpr int16_t smRegionCode = 0x28;
constexpr int32_t verUS = 0;
constexpr int16_t kQTNativeDefaultPathStyle = -1;
constexpr int16_t kQTPOSIXPathStyle = 0;
constexpr uint32_t createMovieFileDeleteCurFile = 0x80000000u;
constexpr uint32_t createMovieFileDontCreateMovie = 0x40000000u;
constexpr uint32_t createMovieFileDontOpenFile = 0x20000000u;
constexpr uint32_t createMovieFileDontCreateResFile = 0x10000000u;
constexpr int16_t smSystemScript = -1;
constexpr int16_t smCurrentScript = -2;
constexpr Fixed fixed1 = 0x10000;

// Core Foundation number types accepted by CFNumberCreate.
using CFNumberType = CFIndex;
constexpr CFNumberType kCFNumberSInt32Type = 3;
constexpr CFNumberType kCFNumberIntType = 9;

// Valid-time flags of ICMCompressionSessionEncodeFrame.
using ICMValidTimeFlags = uint32_t;
constexpr ICMValidTimeFlags kICMValidTime_DisplayTimeStampIsValid = 1u << 0;
constexpr ICMValidTimeFlags kICMValidTime_DisplayDurationIsValid = 1u << 1;

// Source-tracking flags.
using ICMSourceTrackingFlags = uint32_t;
constexpr ICMSourceTrackingFlags kICMSourceTracking_LastCall = 1u << 0;
constexpr ICMSourceTrackingFlags kICMSourceTracking_ReleasedPixelBuffer = 1u << 1;

// ---------------------------------------------------------------- records
struct SCSpatialSettings {
  CodecType codecType;
  CodecComponent codec;
  int16_t depth;
  CodecQ spatialQuality;
};

struct SCTemporalSettings {
  CodecQ temporalQuality;
  Fixed frameRate;
  int32_t keyFrameRate;
};

// Spatial quality levels.
constexpr CodecQ codecMinQuality = 0x000;
constexpr CodecQ codecLowQuality = 0x100;
constexpr CodecQ codecNormalQuality = 0x200;
constexpr CodecQ codecHighQuality = 0x300;
constexpr CodecQ codecMaxQuality = 0x3FF;
constexpr CodecQ codecLosslessQuality = 0x400;

// Codec information; typeName is a length-prefixed (Pascal) string.
struct CodecInfo {
  unsigned char typeName[32];
  int16_t version;
  int16_t revisionLevel;
  int32_t vendor;
  int32_t decompressFlags;
  int32_t compressFlags;
  int32_t formatFlags;
  uint8_t compressionAccuracy;
  uint8_t decompressionAccuracy;
  uint16_t compressionSpeed;
  uint16_t decompressionSpeed;
  uint8_t compressionLevel;
  uint8_t resvd;
  int16_t minimumHeight;
  int16_t minimumWidth;
  int16_t decompressPipelineLatency;
  int16_t compressPipelineLatency;
  int32_t privateData;
};

using ICMEncodedFrameOutputCallback = OSStatus (*)(void* encodedFrameOutputRefCon,
                                                   ICMCompressionSessionRef session, OSStatus error,
                                                   ICMEncodedFrameRef frame, void* reserved);
struct ICMEncodedFrameOutputRecord {
  ICMEncodedFrameOutputCallback encodedFrameOutputCallback;
  void* encodedFrameOutputRefCon;
  CFAllocatorRef frameDataAllocator;
};

using ICMSourceTrackingCallback = void (*)(void* sourceTrackingRefCon,
                                           ICMSourceTrackingFlags sourceTrackingFlags,
                                           void* sourceFrameRefCon, void* reserved);
struct ICMSourceTrackingCallbackRecord {
  ICMSourceTrackingCallback sourceTrackingCallback;
  void* sourceTrackingRefCon;
};

using CVPixelBufferReleaseBytesCallback = void (*)(void* releaseRefCon, const void* baseAddress);

// Dictionary callbacks are not supported: pass null.  The dictionary keeps
// copies of its keys' texts and numbers' values, so they may be released
// right after CFDictionaryCreate.
struct CFDictionaryKeyCallBacks;
struct CFDictionaryValueCallBacks;

// ---------------------------------------------------------------- start and stop
// InitializeQTML and EnterMovies succeed only when the H.264 encoder and the
// QuickTime muxer are present (noCodecErr otherwise); Gestalt 'qtim' then
// answers the version 0x07100000.
OSErr InitializeQTML(long flags);
void TerminateQTML();
OSErr EnterMovies();
void ExitMovies();
OSErr Gestalt(OSType selector, int32_t* response);

// Last error of the Movie Toolbox and of the memory calls on this thread.
OSErr GetMoviesError();
OSErr MemError();

// ---------------------------------------------------------------- Core Foundation
CFStringRef CFStringCreateWithCharacters(CFAllocatorRef alloc, const UniChar* chars, CFIndex numChars);
// A constant string: never freed, CFRelease on it does nothing.
CFStringRef CFStringMakeConstantString(const char* text);
#define CFSTR(text) ::qt::CFStringMakeConstantString("" text "")
CFNumberRef CFNumberCreate(CFAllocatorRef alloc, CFNumberType theType, const void* valuePtr);
CFDictionaryRef CFDictionaryCreate(CFAllocatorRef alloc, const void** keys, const void** values,
                                   CFIndex numValues, const CFDictionaryKeyCallBacks* keyCallBacks,
                                   const CFDictionaryValueCallBacks* valueCallBacks);
void CFRelease(CFTypeRef object);

// ---------------------------------------------------------------- memory
Handle NewHandle(Size byteCount);
void DisposeHandle(Handle h);
Size GetHandleSize(Handle h);
void BlockMoveData(const void* srcPtr, void* destPtr, Size byteCount);
long GetScriptManagerVariable(int16_t selector);

// ---------------------------------------------------------------- movies and storage
// The data reference is a handle holding the UTF-8 path; its type is 'alis'.
OSErr QTNewDataReferenceFromFullPathCFString(CFStringRef filePath, int16_t pathStyle, uint32_t flags,
                                             Handle* outDataRef, OSType* outDataRefType);
// Not a QuickTime call: a data reference to a file the caller has already
// made and holds open for reading and writing (a descriptor of the platform
// layer), type kOpenFileDataRefType.  The movie's storage then writes
// through a duplicate of that descriptor and never opens the file by name;
// the caller keeps its own descriptor (and closes it).  paramErr for a
// descriptor that is not open.
constexpr OSType kOpenFileDataRefType = FourCC('f', 'd', 'e', 's');
OSErr QTNewDataReferenceFromOpenFile(int fileDescriptor, Handle* outDataRef, OSType* outDataRefType);
// Creates (createMovieFileDeleteCurFile: replaces) the file at once.  With
// an open file's data reference: the file must be a regular file open for
// reading and writing (paramErr otherwise); createMovieFileDeleteCurFile
// empties it, and without it a file that is not empty gives dupFNErr.
OSErr CreateMovieStorage(Handle dataRef, OSType dataRefType, OSType creator, ScriptCode scriptTag,
                         long createMovieFileFlags, DataHandler* outDataHandler, Movie* newMovie);
// Writes the movie: the sample tables and the user data.  Once; an error
// here (a full disk, say) means the file is not a complete movie.
OSErr AddMovieToStorage(Movie theMovie, DataHandler dh);
// After AddMovieToStorage: nothing more to write; answers how the save went.
OSErr UpdateMovieInStorage(Movie theMovie, DataHandler dh);
// Not a QuickTime call: the system's error number (errno) behind the first
// failed write to the storage, such as ENOSPC for a full disk; 0 when no
// write failed or the number is not known.
int GetMovieStorageSystemError(DataHandler dh);
// Closes the file (a movie not saved keeps what was written of it).
OSErr CloseMovieStorage(DataHandler dh);
// A movie owns its track, a track its media: disposing one disposes what it
// owns.  Samples already stored stay in the file.
void DisposeMovie(Movie theMovie);

UserData GetMovieUserData(Movie theMovie);
// Sets the text of one language (from the region code) of item `index`
// (1-based; count + 1 adds an item) of type udType.
OSErr AddUserDataText(UserData theUserData, Handle data, OSType udType, long index, int16_t itlRegionTag);

Fixed FixRatio(int16_t numer, int16_t denom);
// One video track per movie; its size is the size the movie shows.
Track NewMovieTrack(Movie theMovie, Fixed width, Fixed height, int16_t trackVolume);
void DisposeMovieTrack(Track theTrack);
// 'vide' media with its samples in the movie's own storage (dataRef null).
Media NewTrackMedia(Track theTrack, OSType mediaType, TimeScale timeScale, Handle dataRef,
                    OSType dataRefType);
void DisposeTrackMedia(Media theMedia);
OSErr BeginMediaEdits(Media theMedia);
OSErr EndMediaEdits(Media theMedia);
TimeValue GetMediaDuration(Media theMedia);
// Only the whole media at track time 0 and rate 1.0.
OSErr InsertMediaIntoTrack(Track theTrack, TimeValue trackStart, TimeValue mediaTime, TimeValue mediaDuration,
                           Fixed mediaRate);
OSStatus AddMediaSampleFromEncodedFrame(Media theMedia, ICMEncodedFrameRef encodedFrame,
                                        TimeValue64* decodeTimeOut);

// ---------------------------------------------------------------- standard compressor
ComponentInstance OpenDefaultComponent(OSType componentType, OSType componentSubType);
OSErr CloseComponent(ComponentInstance ci);
// 'pref' (int32), 'sptl' (SCSpatialSettings), 'tprl' (SCTemporalSettings).
// The temporal frame rate is kept in hundredths of a frame per second.
ComponentResult SCSetInfo(ComponentInstance ci, OSType infoType, void* info);
ComponentResult SCGetInfo(ComponentInstance ci, OSType infoType, void* info);
ComponentResult SCCopyCompressionSessionOptions(ComponentInstance ci,
                                                ICMCompressionSessionOptionsRef* outOptions);
// 'avc1' only: type name "H.264".
OSErr GetCodecInfo(CodecInfo* info, CodecType cType, CodecComponent codec);

// ---------------------------------------------------------------- compression sessions
OSStatus ICMCompressionSessionOptionsCreate(CFAllocatorRef allocator,
                                            ICMCompressionSessionOptionsRef* options);
void ICMCompressionSessionOptionsRelease(ICMCompressionSessionOptionsRef options);
OSStatus ICMCompressionSessionOptionsSetAllowTemporalCompression(ICMCompressionSessionOptionsRef options,
                                                                 Boolean allowTemporalCompression);
OSStatus ICMCompressionSessionOptionsSetAllowFrameReordering(ICMCompressionSessionOptionsRef options,
                                                             Boolean allowFrameReordering);

// The attributes dictionary may give "PixelFormatType" (must be 24),
// "Width" and "Height" (must equal the session's).  Any width and height from
// 1 to 16384 is accepted; odd sizes are padded to even by repeating the last
// column or row.
OSStatus ICMCompressionSessionCreate(CFAllocatorRef allocator, int width, int height, CodecType cType,
                                     TimeScale timescale, ICMCompressionSessionOptionsRef compressionOptions,
                                     CFDictionaryRef sourcePixelBufferAttributes,
                                     ICMEncodedFrameOutputRecord* encodedFrameOutputRecord,
                                     ICMCompressionSessionRef* compressionSessionOut);
void ICMCompressionSessionRelease(ICMCompressionSessionRef session);

// Converts the pixels into the session's own frame before it returns (the
// caller's buffer is free again then: the tracking callback is called with
// kICMSourceTracking_LastCall | kICMSourceTracking_ReleasedPixelBuffer
// before the encoder runs), then hands every encoded frame that is ready to
// the output callback.  Display times must increase; both valid-time flags
// are required.  The first failure of the encoder or of the output callback
// is returned, and stays the answer of every later call on the session.  A
// frame refused before conversion gets no tracking callback.
OSStatus ICMCompressionSessionEncodeFrame(ICMCompressionSessionRef session, CVPixelBufferRef pixelBuffer,
                                          TimeValue64 displayTimeStamp, TimeValue64 displayDuration,
                                          ICMValidTimeFlags validTimeFlags,
                                          ICMCompressionFrameOptionsRef frameOptions,
                                          ICMSourceTrackingCallbackRecord* sourceTrackingCallbackRecord,
                                          void* sourceFrameRefCon);
// Only completeAllFrames = true; the session takes no frames afterwards.
OSStatus ICMCompressionSessionCompleteFrames(ICMCompressionSessionRef session, Boolean completeAllFrames,
                                             TimeValue64 completeUntilDisplayTimeStamp,
                                             TimeValue64 nextDisplayTimeStamp);

// ---------------------------------------------------------------- pixel buffers
// A view of the caller's bytes (no copy); bytesPerRow >= 3 x width for
// k24RGBPixelFormat, the only format accepted.
CVReturn CVPixelBufferCreateWithBytes(CFAllocatorRef allocator, size_t width, size_t height,
                                      OSType pixelFormatType, void* baseAddress, size_t bytesPerRow,
                                      CVPixelBufferReleaseBytesCallback releaseCallback, void* releaseRefCon,
                                      CFDictionaryRef pixelBufferAttributes,
                                      CVPixelBufferRef* pixelBufferOut);
void CVPixelBufferRelease(CVPixelBufferRef pixelBuffer);

}  // namespace qt
