// The standard compressor's settings, compression sessions and pixel
// buffers over libswscale (24-bit RGB to 4:2:0 Y'CbCr) and libx264.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>

#include "platform/quicktime/qt_internal.h"
#include "platform/threads.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

namespace qt {

namespace {

// Bytes after the end of the last row a conversion straight from the
// caller's memory may touch: swscale's vector loads reach up to about 22
// bytes past a row, so it only reads the caller's rows where at least this
// much of the caller's memory follows.
constexpr size_t kReadSlack = 64;

// The frame rate in hundredths of a frame per second, from 16.16 fixed point.
int64_t Hundredths(Fixed rate) { return std::llround(double(rate) * 100.0 / 65536.0); }

// Spatial quality to x264's constant rate factor: 33 - 5 q / 256, so that
// low (256) gives 28, normal (512) x264's default 23, high (768) 18, max
// (1023) 13.  Lossless and above stay at max: x264's lossless mode needs a
// profile QuickTime players do not decode.
double RateFactor(CodecQ quality) {
  const double q = double(std::min<CodecQ>(quality, codecMaxQuality));
  return 33.0 - 5.0 * q / 256.0;
}

void FreeSession(SessionRecord* s) {
  if (s == nullptr) return;
  avcodec_free_context(&s->codec);
  sws_freeContext(s->scaler);
  av_frame_free(&s->frame);
  av_packet_free(&s->packet);
  delete s;
}

OSStatus Fail(SessionRecord* s, OSStatus err) {
  if (s->failure == noErr) s->failure = err;
  return s->failure;
}

// Hands every packet the encoder has ready to the output callback.
OSStatus Drain(SessionRecord* s) {
  for (;;) {
    int r = avcodec_receive_packet(s->codec, s->packet);
    if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) break;
    if (r < 0) return Fail(s, codecErr);
    // libx264 gives no durations: each packet gets the display duration its
    // frame was passed with.
    auto it = s->durations.find(s->packet->pts);
    if (it != s->durations.end()) {
      s->packet->duration = it->second;
      s->durations.erase(it);
    }
    if (s->failure == noErr) {
      EncodedFrameRecord frame{s, s->packet};
      OSStatus st =
          s->output.encodedFrameOutputCallback(s->output.encodedFrameOutputRefCon, s, noErr, &frame, nullptr);
      if (st != noErr) Fail(s, st);
    }
    av_packet_unref(s->packet);
  }
  return s->failure;
}

// Converts the caller's RGB rows into the session's frame.
OSStatus Convert(SessionRecord* s, const PixelBufferRecord* pb) {
  if (av_frame_make_writable(s->frame) < 0) return memFullErr;
  const size_t w = size_t(s->width), h = size_t(s->height);
  const size_t cw = size_t(s->codedWidth), ch = size_t(s->codedHeight);
  const size_t rowBytes = 3 * w;
  const size_t bpr = pb->bytesPerRow;
  const uint8_t* base = pb->base;
  uint8_t* const* dst = s->frame->data;
  const int* dstStride = s->frame->linesize;

  const bool direct = w == cw && h == ch && h >= 4 && (bpr - rowBytes) + 2 * bpr >= kReadSlack;
  if (direct) {
    // Rows 0 .. h-3 straight from the caller; the last two from a copy with
    // room behind it, so that no read passes the caller's last row.
    const size_t tailStride = bpr;
    s->scratch.resize(2 * tailStride + kReadSlack);
    std::memcpy(s->scratch.data(), base + (h - 2) * bpr, rowBytes);
    std::memcpy(s->scratch.data() + tailStride, base + (h - 1) * bpr, rowBytes);
    const uint8_t* src1[4] = {base, nullptr, nullptr, nullptr};
    const int stride1[4] = {int(bpr), 0, 0, 0};
    if (sws_scale(s->scaler, src1, stride1, 0, int(h - 2), dst, dstStride) < 0) return codecErr;
    const uint8_t* src2[4] = {s->scratch.data(), nullptr, nullptr, nullptr};
    if (sws_scale(s->scaler, src2, stride1, int(h - 2), 2, dst, dstStride) < 0) return codecErr;
    return noErr;
  }

  // Whole frame through a copy, padded to the even coded size by repeating
  // the last column and the last row.
  const size_t stride = (3 * cw + 63) & ~size_t(63);
  s->scratch.resize(stride * ch + kReadSlack);
  uint8_t* buf = s->scratch.data();
  for (size_t y = 0; y < h; ++y) {
    uint8_t* row = buf + y * stride;
    std::memcpy(row, base + y * bpr, rowBytes);
    if (cw > w) std::memcpy(row + rowBytes, row + rowBytes - 3, 3);
  }
  if (ch > h) std::memcpy(buf + h * stride, buf + (h - 1) * stride, 3 * cw);
  const uint8_t* src[4] = {buf, nullptr, nullptr, nullptr};
  const int srcStride[4] = {int(stride), 0, 0, 0};
  if (sws_scale(s->scaler, src, srcStride, 0, int(ch), dst, dstStride) < 0) return codecErr;
  return noErr;
}

// Reads the session's source attributes: every one given must match.
bool AttributesMatch(CFDictionaryRef attributes, int width, int height) {
  if (attributes == nullptr) return true;
  if (attributes->kind != CFObject::Kind::Dictionary) return false;
  for (const auto& [key, value] : attributes->entries) {
    if (key == "PixelFormatType" && value != int64_t(k24RGBPixelFormat)) return false;
    if (key == "Width" && value != width) return false;
    if (key == "Height" && value != height) return false;
  }
  return true;
}

}  // namespace

// ------------------------------------------------------------ standard compressor

ComponentInstance OpenDefaultComponent(OSType componentType, OSType componentSubType) {
  int32_t err = 0;
  if (FaultHit(faults::Call::OpenDefaultComponent, &err)) return nullptr;
  if (componentType != StandardCompressionType || componentSubType != StandardCompressionSubType)
    return nullptr;
  return new (std::nothrow) ComponentRecord;
}

OSErr CloseComponent(ComponentInstance ci) {
  if (ci == nullptr) return OSErr(paramErr);
  delete ci;
  return noErr;
}

ComponentResult SCSetInfo(ComponentInstance ci, OSType infoType, void* info) {
  if (ci == nullptr) return badComponentInstance;
  if (info == nullptr) return paramErr;
  switch (infoType) {
    case scPreferenceFlagsType:
      std::memcpy(&ci->preferences, info, sizeof ci->preferences);
      return noErr;
    case scSpatialSettingsType:
      std::memcpy(&ci->spatial, info, sizeof ci->spatial);
      return noErr;
    case scTemporalSettingsType: {
      SCTemporalSettings t;
      std::memcpy(&t, info, sizeof t);
      if (t.frameRate < 0) return paramErr;
      // The compressor keeps rates in hundredths of a frame per second:
      // 23.976 becomes 23.98 (0x17FAE1), 29.97 0x1DF851, 59.94 0x3BF0A3;
      // whole rates stay as they are.
      t.frameRate = Fixed(Hundredths(t.frameRate) * 65536 / 100);
      ci->temporal = t;
      return noErr;
    }
    default:
      return paramErr;
  }
}

ComponentResult SCGetInfo(ComponentInstance ci, OSType infoType, void* info) {
  if (ci == nullptr) return badComponentInstance;
  if (info == nullptr) return paramErr;
  int32_t err = 0;
  if (FaultHit(faults::Call::SCGetInfo, &err)) {
    if (infoType == scPreferenceFlagsType) std::memset(info, 0, sizeof ci->preferences);
    if (infoType == scSpatialSettingsType) std::memset(info, 0, sizeof ci->spatial);
    if (infoType == scTemporalSettingsType) std::memset(info, 0, sizeof ci->temporal);
    return err;
  }
  switch (infoType) {
    case scPreferenceFlagsType:
      std::memcpy(info, &ci->preferences, sizeof ci->preferences);
      return noErr;
    case scSpatialSettingsType:
      std::memcpy(info, &ci->spatial, sizeof ci->spatial);
      return noErr;
    case scTemporalSettingsType:
      std::memcpy(info, &ci->temporal, sizeof ci->temporal);
      return noErr;
    default:
      return paramErr;
  }
}

ComponentResult SCCopyCompressionSessionOptions(ComponentInstance ci,
                                                ICMCompressionSessionOptionsRef* outOptions) {
  int32_t err = 0;
  if (outOptions != nullptr) *outOptions = nullptr;
  if (FaultHit(faults::Call::SCCopyCompressionSessionOptions, &err)) return err;
  if (ci == nullptr) return badComponentInstance;
  if (outOptions == nullptr) return paramErr;
  auto* o = new (std::nothrow) SessionOptionsRecord;
  if (o == nullptr) return memFullErr;
  o->quality = ci->spatial.spatialQuality;
  o->keyFrameInterval = ci->temporal.keyFrameRate;
  o->frameRate = ci->temporal.frameRate;
  o->allowTemporalCompression = ci->temporal.keyFrameRate != 1;
  *outOptions = o;
  return noErr;
}

OSErr GetCodecInfo(CodecInfo* info, CodecType cType, CodecComponent /*codec*/) {
  int32_t err = 0;
  if (FaultHit(faults::Call::GetCodecInfo, &err)) return OSErr(err);
  if (info == nullptr) return paramErr;
  if (cType != kH264CodecType || avcodec_find_encoder_by_name("libx264") == nullptr) return noCodecErr;
  std::memset(info, 0, sizeof *info);
  static const char kName[] = "H.264";
  info->typeName[0] = uint8_t(sizeof kName - 1);
  std::memcpy(info->typeName + 1, kName, sizeof kName - 1);
  info->minimumWidth = 1;
  info->minimumHeight = 1;
  return noErr;
}

// ------------------------------------------------------------ session options

OSStatus ICMCompressionSessionOptionsCreate(CFAllocatorRef /*allocator*/,
                                            ICMCompressionSessionOptionsRef* options) {
  int32_t err = 0;
  if (options != nullptr) *options = nullptr;
  if (FaultHit(faults::Call::ICMCompressionSessionOptionsCreate, &err)) return err;
  if (options == nullptr) return paramErr;
  *options = new (std::nothrow) SessionOptionsRecord;
  return *options != nullptr ? noErr : memFullErr;
}

void ICMCompressionSessionOptionsRelease(ICMCompressionSessionOptionsRef options) { delete options; }

OSStatus ICMCompressionSessionOptionsSetAllowTemporalCompression(ICMCompressionSessionOptionsRef options,
                                                                 Boolean allowTemporalCompression) {
  int32_t err = 0;
  if (FaultHit(faults::Call::SetAllowTemporalCompression, &err)) return err;
  if (options == nullptr) return paramErr;
  options->allowTemporalCompression = allowTemporalCompression != 0;
  return noErr;
}

OSStatus ICMCompressionSessionOptionsSetAllowFrameReordering(ICMCompressionSessionOptionsRef options,
                                                             Boolean allowFrameReordering) {
  int32_t err = 0;
  if (FaultHit(faults::Call::SetAllowFrameReordering, &err)) return err;
  if (options == nullptr) return paramErr;
  options->allowFrameReordering = allowFrameReordering != 0;
  return noErr;
}

// ------------------------------------------------------------ sessions

OSStatus ICMCompressionSessionCreate(CFAllocatorRef /*allocator*/, int width, int height, CodecType cType,
                                     TimeScale timescale, ICMCompressionSessionOptionsRef compressionOptions,
                                     CFDictionaryRef sourcePixelBufferAttributes,
                                     ICMEncodedFrameOutputRecord* encodedFrameOutputRecord,
                                     ICMCompressionSessionRef* compressionSessionOut) {
  int32_t err = 0;
  if (compressionSessionOut != nullptr) *compressionSessionOut = nullptr;
  if (FaultHit(faults::Call::ICMCompressionSessionCreate, &err)) return err;
  if (compressionSessionOut == nullptr || encodedFrameOutputRecord == nullptr ||
      encodedFrameOutputRecord->encodedFrameOutputCallback == nullptr)
    return paramErr;
  if (cType != kH264CodecType) return noCodecErr;
  if (width < 1 || height < 1 || width > kMaxFrameSide || height > kMaxFrameSide || timescale <= 0)
    return paramErr;
  if (!AttributesMatch(sourcePixelBufferAttributes, width, height)) return paramErr;
  const AVCodec* encoder = avcodec_find_encoder_by_name("libx264");
  if (encoder == nullptr) return noCodecErr;

  const SessionOptionsRecord defaults;
  const SessionOptionsRecord& o = compressionOptions != nullptr ? *compressionOptions : defaults;
  std::unique_ptr<SessionRecord, void (*)(SessionRecord*)> s(new (std::nothrow) SessionRecord, FreeSession);
  if (!s) return memFullErr;
  s->width = width;
  s->height = height;
  s->codedWidth = (width + 1) & ~1;  // 4:2:0 needs even sizes
  s->codedHeight = (height + 1) & ~1;
  s->timeScale = timescale;
  s->output = *encodedFrameOutputRecord;

  AVCodecContext* c = s->codec = avcodec_alloc_context3(encoder);
  if (c == nullptr) return memFullErr;
  c->width = s->codedWidth;
  c->height = s->codedHeight;
  c->pix_fmt = AV_PIX_FMT_YUV420P;
  c->time_base = AVRational{1, timescale};
  // The RGB has BT.709 primaries; it is converted with the BT.709 matrix
  // into limited range, and tagged so.
  c->color_primaries = AVCOL_PRI_BT709;
  c->color_trc = AVCOL_TRC_BT709;
  c->colorspace = AVCOL_SPC_BT709;
  c->color_range = AVCOL_RANGE_MPEG;
  c->chroma_sample_location = AVCHROMA_LOC_LEFT;
  // The sample description needs the parameter sets before the first sample.
  c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  // One encoder thread per processor this process may run on (left to
  // itself, x264 starts 1.5 per processor, each with frames of its own, while
  // the decoder threads already keep every processor busy).
  const int processors = platformAffinityProcessorCount();
  c->thread_count = processors > 0 ? processors : platformOnlineProcessorCount();
  if (!o.allowTemporalCompression) {
    c->gop_size = 1;
    c->max_b_frames = 0;
  } else {
    if (o.keyFrameInterval > 0) c->gop_size = o.keyFrameInterval;
    if (!o.allowFrameReordering) c->max_b_frames = 0;
  }
  av_opt_set(c->priv_data, "preset", "medium", 0);
  av_opt_set_double(c->priv_data, "crf", RateFactor(o.quality), 0);
  const int64_t hundredths = Hundredths(o.frameRate);
  if (hundredths > 0 && hundredths <= INT32_MAX) {
    // Constant frame rate: the stream's timing information then carries the
    // frame rate instead of the time scale.
    av_reduce(&c->framerate.num, &c->framerate.den, hundredths, 100, INT32_MAX);
    av_opt_set(c->priv_data, "x264-params", "force-cfr=1", 0);
  }
  if (avcodec_open2(c, encoder, nullptr) < 0) return codecErr;

  s->scaler = sws_getContext(s->codedWidth, s->codedHeight, AV_PIX_FMT_RGB24, s->codedWidth, s->codedHeight,
                             AV_PIX_FMT_YUV420P, SWS_BICUBIC | SWS_ACCURATE_RND | SWS_BITEXACT, nullptr,
                             nullptr, nullptr);
  if (s->scaler == nullptr) return memFullErr;
  // swscale converts RGB with the BT.601 matrix unless told otherwise.
  const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
  if (sws_setColorspaceDetails(s->scaler, bt709, 1, bt709, 0, 0, 1 << 16, 1 << 16) < 0) return codecErr;

  s->frame = av_frame_alloc();
  s->packet = av_packet_alloc();
  if (s->frame == nullptr || s->packet == nullptr) return memFullErr;
  s->frame->format = AV_PIX_FMT_YUV420P;
  s->frame->width = s->codedWidth;
  s->frame->height = s->codedHeight;
  s->frame->color_primaries = AVCOL_PRI_BT709;
  s->frame->color_trc = AVCOL_TRC_BT709;
  s->frame->colorspace = AVCOL_SPC_BT709;
  s->frame->color_range = AVCOL_RANGE_MPEG;
  if (av_frame_get_buffer(s->frame, 0) < 0) return memFullErr;

  *compressionSessionOut = s.release();
  return noErr;
}

void ICMCompressionSessionRelease(ICMCompressionSessionRef session) { FreeSession(session); }

OSStatus ICMCompressionSessionEncodeFrame(ICMCompressionSessionRef session, CVPixelBufferRef pixelBuffer,
                                          TimeValue64 displayTimeStamp, TimeValue64 displayDuration,
                                          ICMValidTimeFlags validTimeFlags,
                                          ICMCompressionFrameOptionsRef /*frameOptions*/,
                                          ICMSourceTrackingCallbackRecord* sourceTrackingCallbackRecord,
                                          void* sourceFrameRefCon) {
  int32_t err = 0;
  if (FaultHit(faults::Call::ICMCompressionSessionEncodeFrame, &err)) return err;
  if (session == nullptr) return paramErr;
  if (session->failure != noErr) return session->failure;
  if (session->completed || pixelBuffer == nullptr) return paramErr;
  if (pixelBuffer->pixelFormat != k24RGBPixelFormat) return kCVReturnInvalidPixelFormat;
  if (pixelBuffer->width != size_t(session->width) || pixelBuffer->height != size_t(session->height))
    return kCVReturnInvalidSize;
  const ICMValidTimeFlags both = kICMValidTime_DisplayTimeStampIsValid | kICMValidTime_DisplayDurationIsValid;
  if ((validTimeFlags & both) != both || displayDuration <= 0) return paramErr;
  if (session->anyFrame && displayTimeStamp <= session->lastDisplayTime) return paramErr;

  OSStatus st = Convert(session, pixelBuffer);
  if (st != noErr) return st;
  // The pixels are in the session's own frame: the caller's buffer is free.
  if (sourceTrackingCallbackRecord != nullptr &&
      sourceTrackingCallbackRecord->sourceTrackingCallback != nullptr)
    sourceTrackingCallbackRecord->sourceTrackingCallback(
        sourceTrackingCallbackRecord->sourceTrackingRefCon,
        kICMSourceTracking_LastCall | kICMSourceTracking_ReleasedPixelBuffer, sourceFrameRefCon, nullptr);

  session->anyFrame = true;
  session->lastDisplayTime = displayTimeStamp;
  session->frame->pts = displayTimeStamp;
  session->durations[displayTimeStamp] = displayDuration;
  if (avcodec_send_frame(session->codec, session->frame) < 0) return Fail(session, codecErr);
  return Drain(session);
}

OSStatus ICMCompressionSessionCompleteFrames(ICMCompressionSessionRef session, Boolean completeAllFrames,
                                             TimeValue64 /*completeUntilDisplayTimeStamp*/,
                                             TimeValue64 /*nextDisplayTimeStamp*/) {
  int32_t err = 0;
  if (FaultHit(faults::Call::ICMCompressionSessionCompleteFrames, &err)) return err;
  if (session == nullptr || !completeAllFrames) return paramErr;
  if (session->completed) return session->failure;
  session->completed = true;
  // The encoder cannot go on after it has been drained.
  if (avcodec_send_frame(session->codec, nullptr) < 0) return Fail(session, codecErr);
  return Drain(session);
}

// ------------------------------------------------------------ pixel buffers

CVReturn CVPixelBufferCreateWithBytes(CFAllocatorRef /*allocator*/, size_t width, size_t height,
                                      OSType pixelFormatType, void* baseAddress, size_t bytesPerRow,
                                      CVPixelBufferReleaseBytesCallback releaseCallback, void* releaseRefCon,
                                      CFDictionaryRef /*pixelBufferAttributes*/,
                                      CVPixelBufferRef* pixelBufferOut) {
  int32_t err = 0;
  if (pixelBufferOut != nullptr) *pixelBufferOut = nullptr;
  if (FaultHit(faults::Call::CVPixelBufferCreateWithBytes, &err)) return err;
  if (pixelBufferOut == nullptr || baseAddress == nullptr) return kCVReturnInvalidArgument;
  if (pixelFormatType != k24RGBPixelFormat) return kCVReturnInvalidPixelFormat;
  if (width < 1 || height < 1 || width > size_t(kMaxFrameSide) || height > size_t(kMaxFrameSide))
    return kCVReturnInvalidSize;
  // Rows are addressed with int strides by the converter.
  if (bytesPerRow < 3 * width || bytesPerRow > size_t(INT32_MAX) || bytesPerRow > SIZE_MAX / height)
    return kCVReturnInvalidArgument;
  auto* pb = new (std::nothrow) PixelBufferRecord;
  if (pb == nullptr) return kCVReturnAllocationFailed;
  pb->width = width;
  pb->height = height;
  pb->pixelFormat = pixelFormatType;
  pb->base = static_cast<uint8_t*>(baseAddress);
  pb->bytesPerRow = bytesPerRow;
  pb->releaseCallback = releaseCallback;
  pb->releaseRefCon = releaseRefCon;
  *pixelBufferOut = pb;
  return noErr;
}

void CVPixelBufferRelease(CVPixelBufferRef pixelBuffer) {
  if (pixelBuffer == nullptr) return;
  if (--pixelBuffer->refs > 0) return;
  if (pixelBuffer->releaseCallback != nullptr)
    pixelBuffer->releaseCallback(pixelBuffer->releaseRefCon, pixelBuffer->base);
  delete pixelBuffer;
}

}  // namespace qt
