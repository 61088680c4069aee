// Codec::JP2Decoder over real JP2 files made by other tools: the samples equal
// those of the codestream decoder on the codestream a test-side box walk cuts
// out of the file, and agree with the reference images where the reference is
// the decoded samples themselves (exact or within a rounding), with the
// palette applied through the caller's colour description, and with an
// independent decoder (opj_decompress, run into a temporary folder) for the
// files whose references went through colour management.  Every file of the
// assorted damaged set decodes or fails cleanly, alike with the caller's
// planes lent.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "decoder/jp2/jp2_decoder.h"
#include "tests/decoder/decode_helpers.h"
#include "tests/support/testdata.h"

using codec_test::Component;

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Jp2Decoded {
  int headerResult = -1;
  int dataResult = -1;
  std::int32_t colourSpace = -1;
  std::vector<Component> components;
  std::vector<std::int32_t> componentMax;
  // Palette and mapping as the caller receives them.
  std::uint32_t channels = 0;
  std::vector<std::uint32_t> channelComponent, channelColumn;
  std::vector<std::uint8_t> channelDirect;
  std::vector<std::vector<std::int64_t>> palette;
  codec_test::RecordingSink sink;
};

// Decodes in the converter's call order; `maxSamples` caps what the caller
// is willing to allocate for hostile geometry.
void DecodeJp2(const Bytes& bytes, Jp2Decoded& out, std::int32_t type = Codec::kImageData32s,
               std::uint64_t maxSamples = std::uint64_t{1} << 26,
               codec_test::Planes planes = codec_test::Planes::kOwn) {
  Codec::CMemBuffInput stream;
  stream.Open(bytes.empty() ? reinterpret_cast<const std::uint8_t*>("") : bytes.data(),
              static_cast<std::uint32_t>(bytes.size()));
  Codec::JP2Decoder dec;
  ASSERT_EQ(dec.Init(), 0);
  dec.LendCallerPlanes(planes == codec_test::Planes::kLent);
  ASSERT_EQ(dec.AttachStream(&stream), 0);
  dec.AttachDiagnOutput(&out.sink);
  Codec::ImageHeader header;
  Codec::ImageSampling sampling;
  out.headerResult = dec.ReadHeader(&header, &sampling);
  if (out.headerResult != 0) return;
  out.colourSpace = header.colourSpace;
  const Codec::ImageColourSpec& cs = header.colourSpec;
  out.channels = cs.channelCount;
  for (std::uint32_t i = 0; i < cs.channelCount; ++i) {
    out.channelComponent.push_back(cs.channelComponents[i]);
    out.channelDirect.push_back(cs.channelDirect[i]);
    out.channelColumn.push_back(cs.channelDirect[i] ? 0 : cs.channelPaletteColumns[i]);
  }
  for (std::uint32_t c = 0; c < cs.paletteColumnCount; ++c)
    out.palette.emplace_back(cs.palette[c], cs.palette[c] + cs.paletteEntryCount);
  std::uint64_t samples = 0;
  for (std::uint32_t c = 0; c < sampling.count; ++c) {
    const Codec::Rect r = sampling.ComponentRectOf(c);
    samples += std::uint64_t{r.width} * r.height;
    out.componentMax.push_back(static_cast<std::int32_t>(header.components[c].maximum));
  }
  if (samples > maxSamples) return;
  Codec::ImageBuffer image;
  if (image.Alloc(type, 0, sampling, 5, 1) != 0) return;
  out.dataResult = dec.ReadData(image.planePointers, &image.layout);
  if (out.dataResult != 0) return;
  for (std::uint32_t c = 0; c < image.PlaneCount(); ++c) {
    const Codec::Rect r = sampling.ComponentRectOf(c);
    Component comp;
    comp.width = r.width;
    comp.height = r.height;
    comp.samples.resize(std::size_t{r.width} * r.height);
    const auto* base = static_cast<const std::uint8_t*>(image.planePointers[c]);
    for (std::uint32_t y = 0; y < r.height; ++y) {
      const std::uint8_t* row = base + std::size_t{y} * image.layout.rowSteps[c];
      for (std::uint32_t x = 0; x < r.width; ++x)
        comp.samples[std::size_t{y} * r.width + x] = type == Codec::kImageData16s
                                                         ? reinterpret_cast<const std::int16_t*>(row)[x]
                                                         : reinterpret_cast<const std::int32_t*>(row)[x];
    }
    out.components.push_back(std::move(comp));
  }
}

// The contents of the first "jp2c" box, walking top-level boxes by their
// lengths (test-side, independent of the decoder); empty when there is none.
Bytes CodestreamOf(const Bytes& f) {
  std::size_t p = 0;
  while (p + 8 <= f.size()) {
    const std::uint64_t lbox = (std::uint64_t{f[p]} << 24) | (f[p + 1] << 16) | (f[p + 2] << 8) | f[p + 3];
    const std::string type(f.begin() + static_cast<std::ptrdiff_t>(p + 4),
                           f.begin() + static_cast<std::ptrdiff_t>(p + 8));
    std::uint64_t header = 8, length = lbox;
    if (lbox == 1) {
      if (p + 16 > f.size()) return {};
      length = 0;
      for (int k = 0; k < 8; ++k) length = (length << 8) | f[p + 8 + k];
      header = 16;
    } else if (lbox == 0) {
      length = f.size() - p;
    }
    if (length < header || p + length > f.size()) return {};
    if (type == "jp2c")
      return Bytes(f.begin() + static_cast<std::ptrdiff_t>(p + header),
                   f.begin() + static_cast<std::ptrdiff_t>(p + length));
    p += length;
  }
  return {};
}

// A temporary folder for what the independent tools write; removed at the end.
struct TempDir {
  std::filesystem::path path;
  TempDir() {
    path = std::filesystem::temp_directory_path() / ("jp2_real_decode_" + std::to_string(::getpid()));
    std::filesystem::create_directories(path);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
  std::string File(const std::string& name) const { return (path / name).string(); }
};

bool ToolAvailable(const char* tool) {
  return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// The reference TIFF as three 8-bit components, converted once by ffmpeg.
bool ReadTiffRgb(const std::string& tif, const TempDir& tmp, std::uint32_t w, std::uint32_t h,
                 std::vector<Component>& rgb) {
  const std::string raw = tmp.File(std::filesystem::path(tif).stem().string() + ".rgb");
  const std::string cmd = "ffmpeg -v error -y -i '" + tif + "' -f rawvideo -pix_fmt rgb24 '" + raw + "'";
  if (std::system(cmd.c_str()) != 0) return false;
  const Bytes b = codec_test::ReadFile(raw);
  const std::size_t n = std::size_t{w} * h;
  if (b.size() != 3 * n) return false;
  rgb.assign(3, Component{w, h, std::vector<std::int32_t>(n)});
  for (std::size_t i = 0; i < n; ++i)
    for (int c = 0; c < 3; ++c) rgb[c].samples[i] = b[3 * i + c];
  return true;
}

std::string Said(const codec_test::RecordingSink& s) {
  std::string t;
  for (const std::string& x : s.texts) t += " " + x;
  return t;
}

const char* const kPartOne[] = {"file1", "file2", "file3", "file4",         "file5",         "file6",
                                "file7", "file8", "file9", "subsampling_1", "subsampling_2", "zoo2"};

}  // namespace

TEST(Jp2RealDecode, SameSamplesAsTheCodestreamInsideTheBox) {
  for (const char* name : kPartOne) {
    SCOPED_TRACE(name);
    REQUIRE_TESTDATA(path, std::string("partone/") + name + ".jp2");
    const Bytes file = codec_test::ReadFile(path);
    Jp2Decoded jp2;
    DecodeJp2(file, jp2);
    ASSERT_EQ(jp2.headerResult, 0) << Said(jp2.sink);
    ASSERT_EQ(jp2.dataResult, 0) << Said(jp2.sink);
    // Warnings only (codestream and box warnings share the sink under id 3).
    for (const std::string& text : jp2.sink.texts) EXPECT_EQ(text.find("Except_"), std::string::npos) << text;
    const Bytes cs = CodestreamOf(file);
    ASSERT_FALSE(cs.empty());
    codec_test::Decoded raw;
    codec_test::Decode(cs, raw);
    ASSERT_EQ(raw.dataResult, 0) << Said(raw.sink);
    ASSERT_EQ(jp2.components.size(), raw.components.size());
    for (std::size_t c = 0; c < raw.components.size(); ++c) {
      EXPECT_EQ(jp2.components[c].width, raw.components[c].width);
      EXPECT_EQ(jp2.components[c].height, raw.components[c].height);
      EXPECT_TRUE(jp2.components[c].samples == raw.components[c].samples) << "component " << c;
    }
  }
}

TEST(Jp2RealDecode, ColourSpaceCodes) {
  const struct {
    const char* name;
    std::int32_t code;
  } cases[] = {{"file1", 3}, {"file2", 10}, {"file4", 1},         {"file5", 0},
               {"file8", 0}, {"file9", 3},  {"subsampling_1", 10}};
  for (const auto& c : cases) {
    REQUIRE_TESTDATA(path, std::string("partone/") + c.name + ".jp2");
    Jp2Decoded d;
    DecodeJp2(codec_test::ReadFile(path), d, Codec::kImageData32s, 0);
    ASSERT_EQ(d.headerResult, 0) << c.name;
    EXPECT_EQ(d.colourSpace, c.code) << c.name;
  }
}

TEST(Jp2RealDecode, AgainstTheReferenceImages) {
  if (!ToolAvailable("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed: the TIFF references cannot be read";
  TempDir tmp;
  // Reference = the decoded samples (RGB, or grey in all three channels;
  // 12-bit grey shifted to 8 bits).
  const struct {
    const char* name;
    bool grey;
    int shift;
  } direct[] = {{"file1", false, 0}, {"file4", true, 0}, {"file6", true, 4}};
  for (const auto& f : direct) {
    SCOPED_TRACE(f.name);
    REQUIRE_TESTDATA(path, std::string("partone/") + f.name + ".jp2");
    REQUIRE_TESTDATA(tif, std::string("partone/jp2_") + std::string(f.name).substr(4) + ".tif");
    Jp2Decoded d;
    DecodeJp2(codec_test::ReadFile(path), d);
    ASSERT_EQ(d.dataResult, 0) << Said(d.sink);
    std::vector<Component> rgb;
    ASSERT_TRUE(ReadTiffRgb(tif, tmp, d.components[0].width, d.components[0].height, rgb));
    for (int c = 0; c < 3; ++c) {
      Component got = d.components[f.grey ? 0 : c];
      for (auto& v : got.samples) v >>= f.shift;
      EXPECT_EQ(codec_test::Compare(got, rgb[c]).peak, 0) << "channel " << c;
    }
  }
  // file9: one component of palette indices; the reference is the palette applied.
  REQUIRE_TESTDATA(path9, "partone/file9.jp2");
  REQUIRE_TESTDATA(tif9, "partone/jp2_9.tif");
  Jp2Decoded d;
  DecodeJp2(codec_test::ReadFile(path9), d);
  ASSERT_EQ(d.dataResult, 0) << Said(d.sink);
  ASSERT_EQ(d.channels, 3u);
  std::vector<Component> rgb;
  ASSERT_TRUE(ReadTiffRgb(tif9, tmp, d.components[0].width, d.components[0].height, rgb));
  for (std::uint32_t ch = 0; ch < 3; ++ch) {
    ASSERT_EQ(d.channelDirect[ch], 0);
    const Component& idx = d.components[d.channelComponent[ch]];
    const std::vector<std::int64_t>& column = d.palette[d.channelColumn[ch]];
    Component mapped = idx;
    for (auto& v : mapped.samples) {
      ASSERT_LT(static_cast<std::size_t>(v), column.size());
      v = static_cast<std::int32_t>(column[static_cast<std::size_t>(v)]);
    }
    EXPECT_EQ(codec_test::Compare(mapped, rgb[ch]).peak, 0) << "channel " << ch;
  }
}

TEST(Jp2RealDecode, SubsampledAgainstItsReference) {
  // All three components at half resolution; the reference holds them at
  // that resolution (within its own rounding of 1).
  REQUIRE_TESTDATA(path, "partone/subsampling_2.jp2");
  REQUIRE_TESTDATA(ref, "partone/subsampling_2.ppm");
  Jp2Decoded d;
  DecodeJp2(codec_test::ReadFile(path), d);
  ASSERT_EQ(d.dataResult, 0) << Said(d.sink);
  std::vector<Component> want;
  ASSERT_TRUE(codec_test::ReadPnm(ref, want));
  ASSERT_EQ(want.size(), 3u);
  for (int c = 0; c < 3; ++c) {
    const Component& got = d.components[c];
    ASSERT_EQ(want[c].width, got.width);
    ASSERT_EQ(want[c].height, got.height);
    EXPECT_LE(codec_test::Compare(got, want[c]).peak, 1) << "component " << c;
  }
}

TEST(Jp2RealDecode, SubsampledChromaAgainstAnIndependentDecoder) {
  // sYCC with 4:2:0 chroma: the references (and opj_decompress) hold RGB
  // after chroma interpolation; FFmpeg's own decoder hands out the planes as
  // they are coded (yuv420p).
  if (!ToolAvailable("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
  TempDir tmp;
  for (const char* name : {"file3", "subsampling_1"}) {
    SCOPED_TRACE(name);
    REQUIRE_TESTDATA(path, std::string("partone/") + name + ".jp2");
    const Bytes file = codec_test::ReadFile(path);
    Jp2Decoded d;
    DecodeJp2(file, d);
    ASSERT_EQ(d.dataResult, 0) << Said(d.sink);
    ASSERT_EQ(d.components.size(), 3u);
    const Bytes cs = CodestreamOf(file);
    const std::string j2k = tmp.File(std::string(name) + ".j2k");
    const std::string yuv = tmp.File(std::string(name) + ".yuv");
    {
      std::FILE* f = std::fopen(j2k.c_str(), "wb");
      ASSERT_NE(f, nullptr);
      std::fwrite(cs.data(), 1, cs.size(), f);
      std::fclose(f);
    }
    ASSERT_EQ(std::system(("ffmpeg -v error -y -c:v jpeg2000 -i '" + j2k +
                           "' -f rawvideo -pix_fmt yuv420p '" + yuv + "'")
                              .c_str()),
              0);
    const Bytes planes = codec_test::ReadFile(yuv);
    std::size_t at = 0;
    for (int c = 0; c < 3; ++c) {
      const Component& got = d.components[c];
      if (c > 0) {
        ASSERT_EQ(got.width, (d.components[0].width + 1) / 2);
        ASSERT_EQ(got.height, (d.components[0].height + 1) / 2);
      }
      const std::size_t n = std::size_t{got.width} * got.height;
      ASSERT_LE(at + n, planes.size());
      Component want{got.width, got.height,
                     std::vector<std::int32_t>(planes.begin() + static_cast<std::ptrdiff_t>(at),
                                               planes.begin() + static_cast<std::ptrdiff_t>(at + n))};
      at += n;
      const codec_test::ErrorStats e = codec_test::Compare(got, want);
      EXPECT_LE(e.peak, 2) << "component " << c;
      EXPECT_LE(e.mse, 0.05) << "component " << c;
    }
  }
}

TEST(Jp2RealDecode, AgainstAnIndependentDecoder) {
  // Every component against opj_decompress on the same codestream (also for
  // the files whose references went through colour management: ICC profiles,
  // sYCC, channel definitions).
  if (!ToolAvailable("opj_decompress")) GTEST_SKIP() << "opj_decompress is not installed";
  TempDir tmp;
  for (const char* name :
       {"file1", "file2", "file4", "file5", "file6", "file7", "file8", "file9", "subsampling_2", "zoo2"}) {
    SCOPED_TRACE(name);
    REQUIRE_TESTDATA(path, std::string("partone/") + name + ".jp2");
    const Bytes file = codec_test::ReadFile(path);
    Jp2Decoded d;
    DecodeJp2(file, d);
    ASSERT_EQ(d.dataResult, 0) << Said(d.sink);
    const Bytes cs = CodestreamOf(file);
    const std::string j2k = tmp.File(std::string(name) + ".j2k");
    {
      std::FILE* f = std::fopen(j2k.c_str(), "wb");
      ASSERT_NE(f, nullptr);
      std::fwrite(cs.data(), 1, cs.size(), f);
      std::fclose(f);
    }
    const std::string pgx = tmp.File(std::string(name) + ".pgx");
    ASSERT_EQ(
        std::system(("opj_decompress -quiet -i '" + j2k + "' -o '" + pgx + "' >/dev/null 2>&1").c_str()), 0);
    for (std::size_t c = 0; c < d.components.size(); ++c) {
      Component want;
      ASSERT_TRUE(codec_test::ReadPgx(tmp.File(std::string(name) + "_" + std::to_string(c) + ".pgx"), want));
      ASSERT_EQ(want.width, d.components[c].width);
      ASSERT_EQ(want.height, d.components[c].height);
      const codec_test::ErrorStats e = codec_test::Compare(d.components[c], want);
      // Both decoders round the irreversible transform their own way.
      EXPECT_LE(e.peak, 2) << "component " << c;
      EXPECT_LE(e.mse, 0.05) << "component " << c;
    }
  }
}

TEST(Jp2RealDecode, TwelveBitSamplesOnBothPaths) {
  REQUIRE_TESTDATA(path, "partone/file6.jp2");
  const Bytes file = codec_test::ReadFile(path);
  Jp2Decoded wide, narrow;
  DecodeJp2(file, wide, Codec::kImageData32s);
  DecodeJp2(file, narrow, Codec::kImageData16s);
  ASSERT_EQ(wide.dataResult, 0);
  ASSERT_EQ(narrow.dataResult, 0);
  ASSERT_EQ(wide.componentMax, std::vector<std::int32_t>{4095});
  std::int32_t lo = 1 << 30, hi = -1;
  for (std::int32_t v : wide.components[0].samples) {
    lo = std::min(lo, v);
    hi = std::max(hi, v);
  }
  EXPECT_GE(lo, 0);
  EXPECT_LE(hi, 4095);
  EXPECT_GT(hi, 2048);  // a real image, not a flat plane
  EXPECT_LE(codec_test::Compare(wide.components[0], narrow.components[0]).peak, 1);
}

TEST(Jp2RealDecode, AssortedFilesDecodeOrFailCleanly) {
  const std::string dir = testDataPath("assorted");
  if (dir.empty()) GTEST_SKIP() << "test data assorted/ is absent";
  std::size_t decoded = 0, refused = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (!entry.is_regular_file() || entry.file_size() > 0xFFFFFFFFu) continue;
    const std::string name = entry.path().filename().string();
    SCOPED_TRACE(name);
    const Bytes bytes = codec_test::ReadFile(entry.path().string());
    Jp2Decoded d, lent;
    DecodeJp2(bytes, d, Codec::kImageData32s, std::uint64_t{1} << 24);
    // With the caller's planes lent (the converter's configuration): the same.
    DecodeJp2(bytes, lent, Codec::kImageData32s, std::uint64_t{1} << 24, codec_test::Planes::kLent);
    EXPECT_EQ(lent.headerResult, d.headerResult);
    EXPECT_EQ(lent.dataResult, d.dataResult);
    EXPECT_EQ(lent.sink.codes, d.sink.codes);
    EXPECT_TRUE(lent.components == d.components);
    if (d.headerResult == 0 && d.dataResult == 0) {
      ++decoded;
    } else if (d.headerResult != 0) {
      ++refused;
      // A refused header always says why (a JP2 mapping to an absent
      // component is the one silent refusal, and no file here has one).
      EXPECT_FALSE(d.sink.codes.empty());
    }
  }
  EXPECT_GT(decoded, 0u);
  EXPECT_GT(refused, 0u);
}

TEST(Jp2RealDecode, EveryTruncationOfTheBoxesFailsCleanly) {
  for (const char* name : {"file1", "file5", "file9"}) {
    SCOPED_TRACE(name);
    REQUIRE_TESTDATA(path, std::string("partone/") + name + ".jp2");
    const Bytes file = codec_test::ReadFile(path);
    const Bytes cs = CodestreamOf(file);
    ASSERT_FALSE(cs.empty());
    // Up to and a little into the codestream box.
    const std::size_t end =
        static_cast<std::size_t>(std::search(file.begin(), file.end(), cs.begin(), cs.begin() + 16) -
                                 file.begin()) +
        16;
    for (std::size_t cut = 0; cut < end; ++cut) {
      Jp2Decoded d;
      DecodeJp2(Bytes(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(cut)), d, Codec::kImageData32s,
                0);
      ASSERT_NE(d.headerResult, 0) << cut;
      ASSERT_FALSE(d.sink.codes.empty()) << cut;
    }
  }
}

TEST(Jp2RealDecode, LosslessFilesMadeByAnIndependentEncoder) {
  // Known samples written as PNM, coded losslessly into JP2 files by
  // opj_compress: both sample paths give back exactly those samples.
  if (!ToolAvailable("opj_compress")) GTEST_SKIP() << "opj_compress is not installed";
  TempDir tmp;
  const struct {
    const char* name;
    int channels;
    std::uint32_t maxValue;
    const char* options;
  } cases[] = {{"rgb12", 3, 4095, ""},
               {"grey8_tiles", 1, 255, "-t 32,32 -p CPRL"},
               {"grey16", 1, 65535, "-n 3"},
               {"rgb8_layers", 3, 255, "-r 20,10,1 -p RLCP -b 16,16"}};
  std::uint32_t seed = 12345;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::uint32_t w = 61, h = 37;
    std::vector<std::vector<std::int32_t>> samples(c.channels, std::vector<std::int32_t>(std::size_t{w} * h));
    std::string pnm = std::string(c.channels == 3 ? "P6" : "P5") + "\n" + std::to_string(w) + " " +
                      std::to_string(h) + "\n" + std::to_string(c.maxValue) + "\n";
    for (std::size_t i = 0; i < std::size_t{w} * h; ++i)
      for (int ch = 0; ch < c.channels; ++ch) {
        seed = seed * 1103515245u + 12345u;
        // A smooth ramp with noise, so the wavelet has something to do.
        const std::uint32_t v = ((i % w) * 3 + (i / w) * 5 + (seed >> 16) % 17 + ch * 40) % (c.maxValue + 1);
        samples[ch][i] = static_cast<std::int32_t>(v);
        if (c.maxValue > 255) pnm.push_back(static_cast<char>(v >> 8));
        pnm.push_back(static_cast<char>(v & 0xFF));
      }
    const std::string in = tmp.File(std::string(c.name) + (c.channels == 3 ? ".ppm" : ".pgm"));
    const std::string out = tmp.File(std::string(c.name) + ".jp2");
    {
      std::FILE* f = std::fopen(in.c_str(), "wb");
      ASSERT_NE(f, nullptr);
      std::fwrite(pnm.data(), 1, pnm.size(), f);
      std::fclose(f);
    }
    ASSERT_EQ(
        std::system(
            ("opj_compress -i '" + in + "' -o '" + out + "' " + c.options + " >/dev/null 2>&1").c_str()),
        0);
    const Bytes file = codec_test::ReadFile(out);
    for (std::int32_t type : {Codec::kImageData32s, Codec::kImageData16s}) {
      if (type == Codec::kImageData16s && c.maxValue > 32767) continue;  // beyond signed 16-bit samples
      Jp2Decoded d;
      DecodeJp2(file, d, type);
      ASSERT_EQ(d.dataResult, 0) << Said(d.sink);
      ASSERT_EQ(d.components.size(), static_cast<std::size_t>(c.channels));
      for (int ch = 0; ch < c.channels; ++ch) {
        EXPECT_EQ(d.componentMax[ch], static_cast<std::int32_t>(c.maxValue));
        EXPECT_TRUE(d.components[ch].samples == samples[ch]) << "component " << ch << " type " << type;
      }
    }
  }
}

TEST(Jp2RealDecode, BoundedMutationRunOverTheBoxes) {
  // Repeatable mutations aimed at the boxes (lengths, counts, palette and
  // mapping fields) of real files: every input decodes or fails cleanly, and
  // what the caller receives is consistent (run under the sanitizers).
  std::vector<Bytes> seeds;
  for (const char* name : {"partone/file9.jp2", "partone/file5.jp2", "partone/subsampling_1.jp2"}) {
    const std::string path = testDataPath(name);
    if (path.empty()) GTEST_SKIP() << "test data " << name << " is absent";
    Bytes file = codec_test::ReadFile(path);
    // The boxes and the start of the codestream keep each decode short.
    const Bytes cs = CodestreamOf(file);
    ASSERT_FALSE(cs.empty());
    file.resize(file.size() - cs.size() + std::min<std::size_t>(cs.size(), 3000));
    seeds.push_back(file);
  }
  std::uint32_t seed = 2024;
  auto next = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return seed >> 8;
  };
  const int rounds = std::getenv("DCP_SANITIZED") ? 300 : 2000;
  int decoded = 0, failed = 0;
  for (const Bytes& original : seeds) {
    const std::size_t boxes = original.size() - std::min<std::size_t>(original.size(), 3000) + 200;
    for (int round = 0; round < rounds; ++round) {
      Bytes b = original;
      for (int m = 1 + static_cast<int>(next() % 3); m > 0; --m) {
        const std::size_t at = next() % std::min(boxes, b.size());
        switch (next() % 4) {
          case 0:
            b[at] = static_cast<std::uint8_t>(next());
            break;
          case 1:  // an extreme 4-byte field (a box length, a count)
            for (std::size_t i = at; i < std::min(at + 4, b.size()); ++i) b[i] = (next() & 1) ? 0xFF : 0x00;
            break;
          case 2:
            b[at] ^= static_cast<std::uint8_t>(1u << (next() % 8));
            break;
          default:
            b.resize(at);
            break;
        }
        if (b.empty()) break;
      }
      Jp2Decoded d;
      DecodeJp2(b, d, (round & 1) ? Codec::kImageData16s : Codec::kImageData32s, std::uint64_t{1} << 20);
      if (d.headerResult == 0) {
        for (std::uint32_t ch = 0; ch < d.channels; ++ch) {
          ASSERT_LT(d.channelComponent[ch], d.componentMax.size()) << round;
          if (!d.channelDirect[ch]) {
            ASSERT_LT(d.channelColumn[ch], d.palette.size()) << round;
          }
        }
      }
      ++(d.dataResult == 0 ? decoded : failed);
    }
  }
  // The run reaches both outcomes.
  EXPECT_GT(decoded, 0);
  EXPECT_GT(failed, 0);
}
