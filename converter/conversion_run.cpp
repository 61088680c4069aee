#include "converter/conversion_run.h"

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

#include "converter/command_line.h"
#include "converter/console.h"
#include "converter/decoder_component.h"
#include "converter/framework_bridge.h"
#include "converter/movie_output.h"
#include "converter/quicktime_video_file.h"
#include "converter/results.h"
#include "converter/run_report.h"
#include "framework/arrays.h"
#include "framework/frame_rate.h"
#include "framework/sync.h"
#include "framework/tstring.h"
#include "mxf/AS_DCP.h"

namespace {

// The frame buffers' least capacity: a frame at 250 Mbit/s and 24 fps.
constexpr std::uint32_t kFrameBufferCapacity = 1302083;
constexpr std::uint32_t kMaxDecoderThreads = 8;
constexpr std::uint32_t kMovieQuality = 768;
constexpr std::uint32_t kPixelFormatRgb24 = 24;
constexpr std::size_t kProgressBuffer = 4096;

void PrintErrorLine(const Kumu::Result_t& result) {
  PrintNote("\n\nERROR: Program stopped with:");
  PrintNote("  %s: %s", result.Symbol(), result.Label());
}

void PrintDescriptor(const ASDCP::JP2K::PictureDescriptor& d) {
  PrintInfo(
      "MXF file info: AspectRatio: %d/%d, EditRate: %d/%d, SampleRate: %d/%d, StoredWidth: %u, StoredHeight: "
      "%u, "
      "ContainerDuration: %u",
      d.AspectRatio.Numerator, d.AspectRatio.Denominator, d.EditRate.Numerator, d.EditRate.Denominator,
      d.SampleRate.Numerator, d.SampleRate.Denominator, d.StoredWidth, d.StoredHeight, d.ContainerDuration);

  const TString unsignedFormat = TString::DefaultUnsignedFormat();
  TString components;
  const std::uint32_t described = d.Csize < ASDCP::JP2K::MaxComponents ? d.Csize : ASDCP::JP2K::MaxComponents;
  for (std::uint32_t c = 0; c < described; ++c) {
    const ASDCP::JP2K::ImageComponent_t& ic = d.ImageComponents[c];
    components.Append(TString::FromInt(static_cast<std::int32_t>(ic.Ssize) + 1));
    components.AppendChar(u',');
    components.Append(TString::FormatValue(unsignedFormat, static_cast<std::uint32_t>(ic.XRsize)));
    components.AppendChar(u',');
    components.Append(TString::FormatValue(unsignedFormat, static_cast<std::uint32_t>(ic.YRsize)));
    components.AppendChar(u' ');
  }
  PrintInfo("MXF file info: JPEG 2000 Metadata (bits h-sep v-sep): %s", components.ToNarrow(0));

  const ASDCP::JP2K::CodingStyleDefault_t& cod = d.CodingStyleDefault;
  const auto layers = static_cast<short>((cod.SGcod.NumberOfLayers[0] << 8) | cod.SGcod.NumberOfLayers[1]);
  PrintInfo(
      "MXF file info: Scod: %hd, ProgressionOrder: %hd, NumberOfLayers: %hd, MultiCompTransform: %hd, "
      "DecompositionLevels: %hd, CodeblockWidth: %hd, CodeblockHeight: %hd, CodeblockStyle: %hd, "
      "Transformation: %hd",
      static_cast<short>(cod.Scod), static_cast<short>(cod.SGcod.ProgressionOrder), layers,
      static_cast<short>(cod.SGcod.MultiCompTransform), static_cast<short>(cod.SPcod.DecompositionLevels),
      static_cast<short>(cod.SPcod.CodeblockWidth), static_cast<short>(cod.SPcod.CodeblockHeight),
      static_cast<short>(cod.SPcod.CodeblockStyle), static_cast<short>(cod.SPcod.Transformation));
}

void ShowProgress(std::uint32_t frame, std::uint32_t start, std::uint32_t end, const TStopwatch& stopwatch) {
  char line[kProgressBuffer];
  if (FormatProgressLine(line, sizeof(line), frame, start, end, stopwatch.ElapsedMs()) < 0) return;
  std::fputs(line, stdout);
  std::fflush(stdout);
}

}  // namespace

int FormatProgressLine(char* buffer, std::size_t size, std::uint32_t frame, std::uint32_t start,
                       std::uint32_t end, float elapsedMs) {
  if (frame - start <= 4 && frame >= start) {
    return FormatToBuffer(buffer, size, "\rProcessing frame %u/%u", frame, end);
  }
  const float elapsed = elapsedMs * 0.001f;
  const float perFrame = elapsed / static_cast<float>(frame - start);
  const float remaining = static_cast<float>(end - frame) * perFrame;
  const float hours = std::floor(remaining * 0.00027777778f);
  const float minutes = std::floor(std::fmod(remaining, 3600.0f) * 0.016666668f);
  const float seconds = std::fmod(remaining, 60.0f);
  auto whole = [](float v) -> int {
    return (v > -2147483648.0f && v < 2147483648.0f) ? static_cast<int>(v) : 0;
  };
  const double rate = 1.0f / perFrame;
  return FormatToBuffer(buffer, size, "\rProcessing frame %u/%u - ETA %02d:%02d:%02d (%.1f FPS)%s", frame,
                        end, whole(hours), whole(minutes), whole(seconds), rate, "            ");
}

std::uint32_t FrameRangeEnd(std::uint32_t start, std::uint32_t count, std::uint32_t duration) {
  const std::uint32_t length = count != 0 ? count : duration;
  const std::uint64_t end = std::uint64_t{start} + length;
  const std::uint32_t saturated = end > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(end);
  return saturated < duration ? saturated : duration;
}

std::uint32_t DecoderThreadCount(std::int32_t processors) {
  if (processors < 1) return 1;
  return static_cast<std::uint32_t>(processors) > kMaxDecoderThreads ? kMaxDecoderThreads
                                                                     : static_cast<std::uint32_t>(processors);
}

namespace {

// A rate in frames per second as the notes show it: at most three decimals,
// without trailing zeros.
std::string RateText(double rate) {
  char text[64];
  std::snprintf(text, sizeof text, "%.3f", rate);
  std::string shown(text);
  while (shown.back() == '0') shown.pop_back();
  if (shown.back() == '.') shown.pop_back();
  return shown;
}

// The frame-rate index of the movie of a track with this edit rate.  A rate
// of no class gives 24 fps; a rate whose class has another rate (24.5 fps is
// written at 24; 96, 100 and 120 fps at 60) is named in a note with the rate used,
// so that no movie plays at another speed without a word.
std::int32_t MovieFrameRateIndex(const ASDCP::Rational& editRate) {
  const double rate = static_cast<double>(editRate.Numerator) / static_cast<double>(editRate.Denominator);
  const std::int32_t index = FrameRateToIndex(rate);
  if (index == -1) {
    PrintNote("NOTE: Invalid frame format. assuming 24FPS.");
    return 1;
  }
  // In thousandths, as the classes are told apart: 24000/1001 is 23.976.
  const double used = FrameRateIndexToDouble(index);
  if (std::llround(rate * 1000.0) != std::llround(used * 1000.0)) {
    PrintNote("NOTE: Unsupported frame rate %s FPS. assuming %sFPS.", RateText(rate).c_str(),
              RateText(used).c_str());
  }
  return index;
}

// The capacity of the frame buffers for a track whose index says no frame is
// larger than `largest` bytes (0: no index): at least the room of a frame at
// 250 Mbit/s and 24 fps, at most the bound of one frame.
std::uint32_t InitialFrameCapacity(std::uint32_t largest) {
  if (largest < kFrameBufferCapacity) return kFrameBufferCapacity;
  return largest < kMaxFrameBytes ? largest : kMaxFrameBytes;
}

}  // namespace

Kumu::Result_t ReadFrameGrowing(const ASDCP::JP2K::MXFReader& reader, std::uint32_t number,
                                ASDCP::JP2K::FrameBuffer& buffer, bool& tooLarge, std::uint32_t bound) {
  tooLarge = false;
  while (true) {
    const Kumu::Result_t result = reader.ReadFrame(number, buffer);
    if (result != Kumu::RESULT_SMALLBUF) return result;
    if (buffer.Capacity() >= bound) {
      tooLarge = true;
      return result;
    }
    const std::uint64_t doubled = std::uint64_t{buffer.Capacity()} * 2;
    const Kumu::Result_t grown =
        buffer.Capacity(doubled < bound ? static_cast<std::uint32_t>(doubled) : bound);
    if (grown.Failure()) return grown;
  }
}

namespace {

// Opens the track file and reads its picture descriptor (shown when
// `verbose`).  A track without frames, or with a picture size no movie
// takes, stops the run here, before a movie is begun.
Kumu::Result_t OpenTrack(ASDCP::JP2K::MXFReader& reader, const std::string& input, bool verbose,
                         ASDCP::JP2K::PictureDescriptor& descriptor, TRunFailure& why) {
  Kumu::Result_t result = reader.OpenRead(input.c_str());
  if (result.Failure()) {
    why = {input, -1, InputFileCause(input.c_str(), result)};
    return result;
  }
  descriptor.EditRate = ASDCP::Rational();
  descriptor.SampleRate = ASDCP::Rational();
  descriptor.AspectRatio = ASDCP::Rational();
  result = reader.FillPictureDescriptor(descriptor);
  if (result.Failure()) return result;
  if (verbose) PrintDescriptor(descriptor);
  // A movie without a frame is no movie: an existing one stays as it is.
  if (descriptor.ContainerDuration == 0) {
    why = {input, -1, "the track holds no frames"};
    return ASDCP::RESULT_RANGE;
  }
  // A picture size no movie can take stops the run before a movie is begun.
  if (const std::string cause = PictureSizeCause(descriptor.StoredWidth, descriptor.StoredHeight);
      !cause.empty()) {
    why = {input, -1, cause};
    return ASDCP::RESULT_FORMAT;
  }
  return Kumu::RESULT_OK;
}

// Opens the movie (`output`) and begins its video track at the movie's frame
// rate for the track's edit rate, with the note on that rate.
Kumu::Result_t BeginMovie(const TCommandLineOptions& options, const std::string& input,
                          const ASDCP::JP2K::PictureDescriptor& descriptor,
                          std::unique_ptr<TMovieOutput>& output, TRunFailure& why) {
  // With -W every frame is read and decoded, and no movie is written.
  const bool writeMovie = options.mReadOnly == 0;
  if (writeMovie) {
    TString moviePath = options.mOutputPrefix;
    moviePath.AppendText(u".mov");
    output = std::make_unique<TMovieOutput>(moviePath);
    const Kumu::Result_t opened = output->Open(input);
    if (opened.Failure()) {
      why = output->Failure(opened);
      return opened;
    }
  }
  // Printed with -W too: the notes are those of a real run.
  const std::int32_t rateIndex = MovieFrameRateIndex(descriptor.EditRate);
  if (!writeMovie) return Kumu::RESULT_OK;
  const Kumu::Result_t begun =
      output->Writer().BeginVideoTrack({descriptor.StoredWidth, descriptor.StoredHeight}, rateIndex,
                                       options.mCodecType, kMovieQuality, kPixelFormatRgb24);
  if (begun.Failure()) why = output->Failure(begun);
  return begun;
}

// The frames of a range, read, decoded and added to the movie in batches of
// one frame per decoder component; component i always decodes the frame read
// into buffer i.  The first batch is started by Run; each later one while
// the batch before it goes to the movie: a component starts its next frame
// as soon as its frame is in the movie (the writer converts the pixels
// before AddFrame returns), so the decoders are not idle while the frames
// are added.  Each batch's progress line comes before its frames are read.
// A failing frame ends the run once the frames before it are in the movie,
// whatever the number of components: a frame that cannot be read becomes
// the end of the batches (mStop), and a frame that does not decode ends its
// batch.
class TFrameBatches {
 public:
  // `output` is null when no movie is written (-W).
  TFrameBatches(const ASDCP::JP2K::MXFReader& reader, const std::string& input, TFrameSize frameSize,
                TMovieOutput* output)
      : mReader(reader), mInput(input), mFrameSize(frameSize), mOutput(output) {}

  // Makes the frame buffers, then the decoder components (which start their
  // threads) and gives them the track's bit depths.
  Kumu::Result_t Prepare(const ASDCP::JP2K::PictureDescriptor& descriptor, TRunFailure& why) {
    // The buffers take the largest frame the index knows; a larger frame
    // makes its buffer grow.
    std::uint32_t largest = 0;
    if (mReader.LargestFrameSize(largest).Failure()) largest = 0;
    mCount = DecoderThreadCount(ConverterNumberOfProcessors());
    mBuffers.SetSize(static_cast<std::int32_t>(mCount));
    for (std::uint32_t i = 0; i < mCount; ++i) {
      const Kumu::Result_t result = mBuffers[i].Capacity(InitialFrameCapacity(largest));
      if (result.Failure()) {
        why = {mInput, -1, "not enough memory for the frame buffers"};
        return result;
      }
    }
    mComponents.SetSize(static_cast<std::int32_t>(mCount));
    const std::uint32_t described =
        descriptor.Csize < ASDCP::JP2K::MaxComponents ? descriptor.Csize : ASDCP::JP2K::MaxComponents;
    for (std::uint32_t c = 0; c < described; ++c)
      mDepths[c] = (descriptor.ImageComponents[c].Ssize & 0x7Fu) + 1;
    for (std::uint32_t i = 0; i < mCount; ++i) mComponents[i].SetExpectedBitDepths(mDepths);
    return Kumu::RESULT_OK;
  }

  // Converts the frames [start, end) in order, with the progress line.
  Kumu::Result_t Run(std::uint32_t start, std::uint32_t end, TRunFailure& why) {
    TStopwatch stopwatch;
    mStop = end;
    if (start < end) ShowProgress(start, start, end, stopwatch);
    const std::uint32_t first = BatchSize(start);
    for (std::uint32_t i = 0; i < first && mUnread.Success(); ++i) StartNext(start + i, i);
    for (std::uint32_t frame = start; frame < mStop;) {
      if (frame != start) ShowProgress(frame, start, end, stopwatch);
      const std::uint32_t next = frame + BatchSize(frame);
      std::uint32_t decoded = 0;
      const Kumu::Result_t batch = AwaitBatch(frame, next - frame, decoded, why);
      const Kumu::Result_t added = AddBatch(frame, decoded, next, batch.Failure() ? 0 : BatchSize(next), why);
      if (added.Failure()) return added;
      if (batch.Failure()) return batch;
      frame = next;
    }
    if (mUnread.Failure()) {
      if (mStop != start) ShowProgress(mStop, start, end, stopwatch);
      why = mUnreadWhy;
      return mUnread;
    }
    return Kumu::RESULT_OK;
  }

 private:
  // The frames of the batch that begins at `frame`.
  std::uint32_t BatchSize(std::uint32_t frame) const {
    return frame >= mStop ? 0 : (mStop - frame < mCount ? mStop - frame : mCount);
  }

  // Reads frame `number` into buffer i and starts component i's decode; a
  // frame that cannot be read becomes the end of the batches.
  void StartNext(std::uint32_t number, std::uint32_t i) {
    bool tooLarge = false;
    mUnread = ReadFrameGrowing(mReader, number, mBuffers[i], tooLarge);
    if (mUnread.Failure()) {
      mUnreadWhy = {mInput, number, FrameReadCause(mUnread, tooLarge)};
      mStop = number;
      return;
    }
    mComponents[i].StartDecode(mFrameSize, mBuffers[i].RoData(), mBuffers[i].Size());
  }

  // Waits for the `count` components of the batch at `frame`: every started
  // component finishes its frame before the batch ends.  The first frame
  // that did not decode is the batch's failure; `decoded` counts the frames
  // before it.
  Kumu::Result_t AwaitBatch(std::uint32_t frame, std::uint32_t count, std::uint32_t& decoded,
                            TRunFailure& why) {
    Kumu::Result_t batch = Kumu::RESULT_OK;
    decoded = count;
    for (std::uint32_t i = 0; i < count; ++i) {
      mComponents[i].GetDoneEvent().Wait(TEvent::kInfinite);
      const Kumu::Result_t result = mComponents[i].GetResult();
      if (result.Failure() && batch.Success()) {
        batch = result;
        decoded = i;
        why = {
            mInput, frame + i,
            FrameDecodeCause(result, mComponents[i].GetStop(), mFrameSize.width, mFrameSize.height, mDepths)};
      }
    }
    return batch;
  }

  // Adds the first `decoded` frames of the batch at `frame` to the movie;
  // each of the first `nextCount` components starts its frame of the batch
  // at `next` as soon as its frame is in.
  Kumu::Result_t AddBatch(std::uint32_t frame, std::uint32_t decoded, std::uint32_t next,
                          std::uint32_t nextCount, TRunFailure& why) {
    for (std::uint32_t i = 0; i < decoded; ++i) {
      if (mOutput) {
        const Kumu::Result_t added =
            mOutput->Writer().AddFrame(mComponents[i].GetPixels(), mComponents[i].GetSize());
        if (added.Failure()) {
          why = mOutput->Failure(added, frame + i);
          return added;
        }
        mOutput->FrameAdded();
      }
      if (i < nextCount && mUnread.Success()) StartNext(next + i, i);
    }
    return Kumu::RESULT_OK;
  }

  const ASDCP::JP2K::MXFReader& mReader;
  const std::string& mInput;
  const TFrameSize mFrameSize;
  TMovieOutput* const mOutput;
  std::uint32_t mCount = 0;  // decoder components, and frames in a full batch
  std::uint32_t mDepths[3] = {0, 0, 0};
  // Declared in the reverse order of their release: the components first
  // (each waits for its thread), then the frame buffers they read.
  TFixedArray<ASDCP::JP2K::FrameBuffer> mBuffers;
  TFixedArray<TDecoderThreadComponent> mComponents;
  // The end of the batches: the end of the range, or the first frame that
  // could not be read, with its result and failure record.
  std::uint32_t mStop = 0;
  Kumu::Result_t mUnread = Kumu::RESULT_OK;
  TRunFailure mUnreadWhy;
};

// Completes the movie's track and closes the movie; a movie that cannot be
// completed or saved replaces nothing.
Kumu::Result_t FinishMovie(TMovieOutput& output, TRunFailure& why) {
  TQuickTimeVideoFile& writer = output.Writer();
  Kumu::Result_t result = writer.Finish();
  if (result.Success()) result = writer.Close();
  if (result.Failure()) {
    output.Discard();
    why = output.Failure(result);
  }
  return result;
}

// The run up to the closed movie; `output` is made when a movie is written.
Kumu::Result_t ConvertFrames(const TCommandLineOptions& options, std::unique_ptr<TMovieOutput>& output,
                             TRunFailure& why) {
  const char* inputPath = options.mInputPath.ToNarrow(0);
  PrintInfo("Opening input mxf file: '%s'", inputPath);
  const std::string input(inputPath);

  // The reader is released last, after the components and the frame
  // buffers of the batches.
  ASDCP::JP2K::MXFReader reader;
  ASDCP::JP2K::PictureDescriptor descriptor{};
  Kumu::Result_t result = OpenTrack(reader, input, options.mVerbose != 0, descriptor, why);
  if (result.Success()) result = BeginMovie(options, input, descriptor, output, why);
  if (result.Failure()) return result;

  const std::uint32_t start = static_cast<std::uint32_t>(options.mStartFrame);
  const std::uint32_t end =
      FrameRangeEnd(start, static_cast<std::uint32_t>(options.mFrameCount), descriptor.ContainerDuration);
  TFrameBatches batches(reader, input, {descriptor.StoredWidth, descriptor.StoredHeight}, output.get());
  result = batches.Prepare(descriptor, why);
  if (result.Success()) result = batches.Run(start, end, why);
  if (result.Failure() || !output) return result;
  return FinishMovie(*output, why);
}

}  // namespace

Kumu::Result_t ConvertTrackFile(const TCommandLineOptions& options, TRunFailure* failure) {
  TRunFailure unused;
  TRunFailure& why = failure ? *failure : unused;
  std::unique_ptr<TMovieOutput> output;
  Kumu::Result_t result = ConvertFrames(options, output, why);
  // The movie replaces the destination after a success, and after a failure
  // when it holds the frames converted before it and could be saved.
  if (output && !output->Discarded() && result.Success()) {
    if (const std::string cause = output->Keep(); !cause.empty()) {
      why = {output->FailedFile(), -1, "the movie could not be given this name: " + cause};
      result = ConverterFailure(kCategoryQuickTime, "Failed to save the movie file");
    }
  } else if (output && !output->Discarded() && output->FramesAdded() > 0) {
    const std::string lost = "the frames converted before the failure could not be kept";
    if (output->Writer().Close().Failure()) {
      const int error = output->Writer().SystemError();
      why.movie = output->FailedFile();
      why.movieCause = error != 0 ? lost + ": " + SystemErrorText(error) : lost;
    } else if (const std::string cause = output->Keep(); !cause.empty()) {
      why.movie = output->FailedFile();
      why.movieCause = lost + ": " + cause;
    }
  }
  output.reset();
  if (result.Failure()) return result;
  std::fputs("\nDone\n", stdout);
  std::fflush(stdout);
  return Kumu::RESULT_OK;
}

std::int32_t CheckEssenceAndConvert(const TCommandLineOptions& options) {
  ASDCP::EssenceType_t type = ASDCP::ESS_UNKNOWN;
  const std::string input(options.mInputPath.ToNarrow(0));
  Kumu::Result_t result = ASDCP::EssenceType(input.c_str(), type);
  if (result.Failure()) {
    PrintErrorLine(result);
    PrintFailureCause({input, -1, InputFileCause(input.c_str(), result)});
    return kExitFailed;
  }
  switch (type) {
    case ASDCP::ESS_MPEG2_VES:
      PrintNote("ERROR: Mpeg streams not supported (only JPEG_2000).");
      return kExitUnsupported;
    case ASDCP::ESS_JPEG_2000: {
      TRunFailure failure;
      result = ConvertTrackFile(options, &failure);
      if (result.Failure()) {
        PrintErrorLine(result);
        PrintFailureCause(failure);
        return kExitFailed;
      }
      return kExitOk;
    }
    case ASDCP::ESS_PCM_24b_48k:
    case ASDCP::ESS_PCM_24b_96k:
      PrintNote("ERROR: Audio files are not supported.");
      return kExitUnsupported;
    case ASDCP::ESS_JPEG_2000_S:
      PrintNote("ERROR: Stereoscopic files are not supported.");
      return kExitUnsupported;
    default:
      PrintNote("ERROR: %s: Unknown or unsupported input MXF video file type.\n",
                options.mInputPath.ToNarrow(0));
      return kExitUnsupported;
  }
}
