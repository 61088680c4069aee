// Codec::JP2Decoder: the JP2 box reader and the codestream reader behind the
// codec interface.
#include "decoder/jp2/jp2_decoder.h"

#include <new>

#include "decoder/codestream_reader.h"
#include "decoder/entry_guard.h"
#include "decoder/jp2/jp2_boxes.h"

namespace Codec {

struct JP2DecoderState {
  JP2DecoderState() { reader.input = &byteInput; }

  CodecAdapterBoundedInputBE* input = nullptr;  // the byte input once a stream is attached
  DiagnRoute route;                             // the box reader's top-level output
  Jp2HeaderRecords records;
  Jp2UuidPayload uuid;
  CodestreamReader reader;
  bool codestreamBoxOpen = false;
  CodecAdapterDiagnOutput<3> adapterOutput;  // holds the empty sink and the pointer to the attached one
  CodecAdapterBoundedInputBE byteInput;
};

namespace {

const CodecInfo kInfo = {{1, 0, 0, 0}, "JPEG 2000 JP2 file decoder", "v1.0 beta", "Jul 20 2015"};

// Colour space code of the caller's header for an enumerated colour space.
std::int32_t ColourSpaceCode(const Jp2ColourSpecBox& s) {
  if (s.method != 1) return 0;
  switch (s.enumCS) {
    case 12:
      return 11;  // CMYK
    case 16:
      return 3;  // sRGB
    case 17:
      return 1;  // greyscale
    case 18:
      return 10;  // sYCC
    default:
      return 0;
  }
}

// The palette and component mapping into the caller's colour description.
// -1 when it cannot be allocated, or when a channel names a component the
// codestream does not have (no caller could use that channel).
std::int32_t FillColourSpec(const Jp2HeaderRecords& r, std::uint32_t components, ImageColourSpec& spec) {
  const Jp2ComponentMapping& m = r.mapping;
  const Jp2Palette& p = r.palette;
  if (m.notRead || p.notRead) {
    spec.Free();
    return 0;
  }
  for (const Jp2Channel& ch : m.channels) {
    if (ch.component >= components) {
      spec.Free();
      return -1;
    }
  }
  if (spec.Alloc(m.channelCount, p.columnCount, p.entryCount) != 0) return -1;
  // Columns no channel maps keep their default range; their entries are
  // zero rather than whatever the allocation held.
  for (std::uint32_t col = 0; col < p.columnCount; ++col)
    for (std::uint32_t e = 0; e < p.entryCount; ++e) spec.palette[col][e] = 0;
  for (std::uint32_t i = 0; i < m.channelCount; ++i) {
    const Jp2Channel& ch = m.channels[i];
    spec.channelComponents[i] = ch.component;
    if (!ch.paletteMapped) {
      spec.channelDirect[i] = 1;
      continue;
    }
    // A palette-mapped channel's column is below the column count (the
    // mapping check made sure of it).
    const std::uint32_t col = ch.paletteColumn;
    spec.channelDirect[i] = 0;
    spec.channelPaletteColumns[i] = col;
    const std::uint8_t size = p.sizes[col];
    spec.paletteRanges[col].SetBitDepth(size & 127u, (size >> 7) != 0);
    for (std::uint32_t e = 0; e < p.entryCount; ++e) spec.palette[col][e] = p.Entry(col, e);
  }
  return 0;
}

}  // namespace

JP2Decoder::~JP2Decoder() { Close(); }

std::int32_t JP2Decoder::Init() {
  if (state_) return 0;
  state_ = new (std::nothrow) JP2DecoderState;
  return state_ ? 0 : -1;
}

std::int32_t JP2Decoder::Close() {
  delete state_;
  state_ = nullptr;
  return 0;
}

void JP2Decoder::AttachDiagnOutput(BaseStreamDiagn* sink) {
  if (!state_) return;
  state_->adapterOutput.AttachSink(sink);
  state_->route.SetOutput(&state_->adapterOutput);
  state_->reader.SetOutput(&state_->adapterOutput);
}

void JP2Decoder::DetachDiagnOutput() {
  if (state_) state_->adapterOutput.DetachSink();
}

const CodecInfo* JP2Decoder::GetInfo() { return &kInfo; }

std::int32_t JP2Decoder::CapabilityForward(std::int32_t /*unused*/) { return Capability(); }

std::int32_t JP2Decoder::Capability() { return 1; }

std::int32_t JP2Decoder::ResetInput() {
  if (!state_) return -1;
  return GuardedEntry(state_->adapterOutput, [&] {
    // The open segment (the codestream box, once found) is dropped without
    // reading its rest.
    state_->byteInput.ResetInput();
    state_->codestreamBoxOpen = false;
    return 0;
  });
}

std::int32_t JP2Decoder::AttachStream(BaseStreamInput* stream) {
  if (!state_) return -1;
  return GuardedEntry(state_->adapterOutput, [&] {
    // The whole file is the outermost bound, as for a raw codestream: a box
    // that runs "to the end" ends there.
    state_->byteInput.AttachStream(stream);
    state_->input = &state_->byteInput;
    state_->reader.Reset(&state_->byteInput);
    return 0;
  });
}

std::int32_t JP2Decoder::ReadHeader(ImageHeader* header, ImageSampling* sampling) {
  if (!state_) return -1;
  JP2DecoderState& s = *state_;
  return GuardedEntry(s.adapterOutput, [&]() -> std::int32_t {
    CodecAdapterBoundedInputBE& in = s.byteInput;
    BDiagnOutput& out = *s.route.Output();
    // Every way out but the last counts as a failed read.
    s.reader.StartHeaderRead();
    ReadSignatureBox(in, out);
    ReadFileTypeBox(in, out);
    ReadHeaderBox(in, out, s.records, s.uuid);
    s.codestreamBoxOpen = false;
    if (!ReadCodestreamBox(in, out, s.codestreamBoxOpen)) {
      const CodecAdapterDiagnDescriptor<3> noCodestream(kJp2NoCodestreamCode, nullptr);
      s.adapterOutput.Sink()->Write(noCodestream);
      return -1;
    }
    // The codestream, bounded by its box.
    CodestreamReader& r = s.reader;
    r.input = &in;
    r.ReadCodestreamHeader();
    const CodestreamHeader& h = r.header;
    CheckCodestream(s.records, h, out);

    if (header) {
      header->SetComponentCount(h.componentCount);
      header->reserved[0] = header->reserved[1] = 0;
      header->colourSpace = ColourSpaceCode(s.records.colourSpec);
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
    if (header && FillColourSpec(s.records, h.componentCount, header->colourSpec) != 0) return -1;
    r.EndHeaderRead();
    return 0;
  });
}

void JP2Decoder::LendCallerPlanes(bool lend) {
  if (state_) state_->reader.lendPlanes = lend;
}

std::int32_t JP2Decoder::ReadData(void** planes, ImageBufferDescr* descr) {
  if (!state_) return -1;
  return GuardedEntry(state_->adapterOutput, [&] { return state_->reader.ReadData(planes, descr) ? 0 : -1; });
}

}  // namespace Codec
