// Codec::JPEG2000Decoder: the codestream reader behind the codec interface.
#include "decoder/image_decoder.h"

#include <new>

#include "decoder/codestream_reader.h"
#include "decoder/entry_guard.h"

namespace Codec {

struct JPEG2000DecoderState {
  JPEG2000DecoderState() {
    reader.SetOutput(&adapterOutput);
    reader.input = &byteInput;
  }
  CodestreamReader reader;
  CodecAdapterDiagnOutput<2> adapterOutput;
  CodecAdapterBoundedInputBE byteInput;
};

namespace {

const CodecInfo kInfo = {{1, 0, 0, 0}, "JPEG 2000 codestream decoder", "v1.0 beta", "Jul 20 2015"};

}  // namespace

JPEG2000Decoder::~JPEG2000Decoder() { Close(); }

std::int32_t JPEG2000Decoder::Init() {
  if (state_) return 0;
  state_ = new (std::nothrow) JPEG2000DecoderState;
  return state_ ? 0 : -1;
}

std::int32_t JPEG2000Decoder::Close() {
  delete state_;
  state_ = nullptr;
  return 0;
}

void JPEG2000Decoder::AttachDiagnOutput(BaseStreamDiagn* sink) {
  if (!state_) return;
  state_->adapterOutput.AttachSink(sink);
  state_->reader.SetOutput(&state_->adapterOutput);
}

void JPEG2000Decoder::DetachDiagnOutput() {
  if (state_) state_->adapterOutput.DetachSink();
}

const CodecInfo* JPEG2000Decoder::GetInfo() { return &kInfo; }

std::int32_t JPEG2000Decoder::CapabilityForward(std::int32_t /*unused*/) { return Capability(); }

std::int32_t JPEG2000Decoder::Capability() { return 1; }

std::int32_t JPEG2000Decoder::ResetInput() {
  if (!state_) return -1;
  return GuardedEntry(state_->adapterOutput, [&] {
    state_->byteInput.ResetInput();
    return 0;
  });
}

void JPEG2000Decoder::LendCallerPlanes(bool lend) {
  if (state_) state_->reader.lendPlanes = lend;
}

std::int32_t JPEG2000Decoder::AttachStream(BaseStreamInput* stream) {
  if (!state_) return -1;
  return GuardedEntry(state_->adapterOutput, [&] {
    state_->byteInput.AttachStream(stream);
    state_->reader.Reset(&state_->byteInput);
    return 0;
  });
}

std::int32_t JPEG2000Decoder::ReadHeader(ImageHeader* header, ImageSampling* sampling) {
  if (!state_) return -1;
  return GuardedEntry(state_->adapterOutput, [&] {
    CodestreamReader& r = state_->reader;
    r.StartHeaderRead();
    r.ReadCodestreamHeader();
    const CodestreamHeader& h = r.header;
    if (header) {
      header->SetComponentCount(h.componentCount);
      header->reserved[0] = header->reserved[1] = 0;
      header->colourSpace = 0;
      for (std::uint32_t c = 0; c < h.componentCount && c < header->ComponentCount(); ++c) {
        ImageComponentDescr d;
        d.SetBitDepth(h.precisions[c] & 0x7F, (h.precisions[c] >> 7) != 0);
        header->components[c] = d;
      }
    }
    if (sampling) {
      sampling->ResetFactors(h.componentCount);
      sampling->rect = h.image;
      for (std::uint32_t c = 0; c < h.componentCount && c < sampling->count; ++c)
        sampling->factors[c] = h.sampling[c];
    }
    r.EndHeaderRead();
    return 0;
  });
}

std::int32_t JPEG2000Decoder::ReadData(void** planes, ImageBufferDescr* descr) {
  if (!state_) return -1;
  return GuardedEntry(state_->adapterOutput, [&] { return state_->reader.ReadData(planes, descr) ? 0 : -1; });
}

}  // namespace Codec
