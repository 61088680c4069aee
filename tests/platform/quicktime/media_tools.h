// Independent checks of written movies: ffprobe and mediainfo fields, frames
// decoded back to RGB by ffmpeg, PSNR, the file's atoms read directly, and
// test pictures.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace qttest {

// Runs a shell command; its standard output, and the exit status in *status.
std::string Shell(const std::string& command, int* status = nullptr);
std::string Quote(const std::string& text);

// key=value lines of ffprobe for the first video stream (frames counted by
// decoding) plus the format's fields, keys prefixed "format.".
std::map<std::string, std::string> Probe(const std::string& path);
// One line of mediainfo's --Inform template.
std::string MediaInfo(const std::string& path, const std::string& inform);
// pts and duration of every video packet, in decode order.
std::vector<std::pair<int64_t, int64_t>> Packets(const std::string& path);
// Key-frame flag of every decoded frame, in display order.
std::vector<bool> KeyFrames(const std::string& path);

// Frames decoded by ffmpeg to RGB24 with the BT.709 matrix from limited range,
// at the stream's coded size (width x height each).
std::vector<uint8_t> DecodeRgb(const std::string& path, int width, int height, int* frames);

// PSNR in dB of two 8-bit blocks over the pixels of a region (row strides
// in bytes); infinity when equal.
double Psnr(const uint8_t* a, size_t strideA, const uint8_t* b, size_t strideB, int width, int height);

// Smooth, moving, lightly grained RGB picture (deterministic for a seed).
std::vector<uint8_t> NaturalFrame(int width, int height, size_t bytesPerRow, int index, uint32_t seed = 1);

// Top-level and nested atoms of a file, each path as "moov/trak/tkhd".
struct Atom {
  std::string path;
  uint64_t offset;
  uint64_t size;
  uint64_t header;
};
std::vector<Atom> ReadAtoms(const std::string& file);
std::vector<uint8_t> ReadBytes(const std::string& file, uint64_t offset, uint64_t size);
uint32_t BigEndian32(const uint8_t* p);

// A fresh folder for one test's files.
std::string TempFolder();

}  // namespace qttest
