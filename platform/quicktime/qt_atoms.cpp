// QuickTime atoms the muxer cannot write: the movie's user data with its
// international text items, and a movie without tracks.  Also the rewrite
// of the finished 'moov' that puts them in.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/quicktime/qt_internal.h"

namespace qt::atoms {

namespace {

// Seconds from 1904-01-01 (QuickTime's epoch) to 1970-01-01.
constexpr int64_t kMacEpochOffset = 2082844800;
// A 'moov' larger than this is not a movie this layer wrote.
constexpr uint64_t kMaxMovieAtom = uint64_t(1) << 31;

void Put16(std::vector<uint8_t>& b, uint32_t v) {
  b.push_back(uint8_t(v >> 8));
  b.push_back(uint8_t(v));
}
void Put32(std::vector<uint8_t>& b, uint32_t v) {
  b.push_back(uint8_t(v >> 24));
  b.push_back(uint8_t(v >> 16));
  b.push_back(uint8_t(v >> 8));
  b.push_back(uint8_t(v));
}
void Set32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v >> 24);
  p[1] = uint8_t(v >> 16);
  p[2] = uint8_t(v >> 8);
  p[3] = uint8_t(v);
}
uint32_t Get32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}
uint64_t Get64(const uint8_t* p) { return (uint64_t(Get32(p)) << 32) | Get32(p + 4); }

// Starts an atom; Finish writes its size.
size_t Begin(std::vector<uint8_t>& b, OSType type) {
  size_t at = b.size();
  Put32(b, 0);
  Put32(b, type);
  return at;
}
void Finish(std::vector<uint8_t>& b, size_t at) { Set32(&b[at], uint32_t(b.size() - at)); }

bool ReadAll(int fd, uint8_t* data, size_t size, int64_t offset) {
  while (size > 0) {
    ssize_t n = pread(fd, data, size, offset);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    data += n;
    size -= size_t(n);
    offset += n;
  }
  return true;
}

// One atom header inside [begin, end) of a buffer: false when it does not fit.
struct Child {
  size_t offset;
  size_t header;
  size_t size;
  OSType type;
};
bool NextChild(const std::vector<uint8_t>& b, size_t at, size_t end, Child* c) {
  if (end - at < 8) return false;
  uint64_t size = Get32(&b[at]);
  size_t header = 8;
  if (size == 1) {
    if (end - at < 16) return false;
    size = Get64(&b[at + 8]);
    header = 16;
  } else if (size == 0) {
    size = end - at;
  }
  if (size < header || size > end - at) return false;
  *c = Child{at, header, size_t(size), Get32(&b[at + 4])};
  return true;
}

// Sets width and height (the last two words) of every 'tkhd' in a 'trak'.
bool PatchTrackSize(std::vector<uint8_t>& b, const Child& trak, Fixed width, Fixed height) {
  size_t at = trak.offset + trak.header;
  size_t end = trak.offset + trak.size;
  Child c;
  while (at < end) {
    if (!NextChild(b, at, end, &c)) return false;
    if (c.type == FourCC('t', 'k', 'h', 'd')) {
      if (c.size < c.header + 8) return false;
      Set32(&b[c.offset + c.size - 8], uint32_t(width));
      Set32(&b[c.offset + c.size - 4], uint32_t(height));
    }
    at += c.size;
  }
  return true;
}

}  // namespace

bool WriteAll(int fd, const uint8_t* data, size_t size, int64_t offset) {
  while (size > 0) {
    ssize_t n = pwrite(fd, data, size, offset);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    data += n;
    size -= size_t(n);
    offset += n;
  }
  return true;
}

std::vector<uint8_t> UserDataAtom(const UserDataRecord& userData) {
  std::vector<uint8_t> b;
  if (userData.items.empty()) return b;
  size_t udta = Begin(b, FourCC('u', 'd', 't', 'a'));
  for (const UserDataRecord::Item& item : userData.items) {
    // An international text item: for each language, a 16-bit length, a
    // 16-bit language code and the bytes.
    size_t at = Begin(b, item.type);
    for (const UserDataRecord::Text& t : item.texts) {
      Put16(b, uint32_t(t.bytes.size()));
      Put16(b, uint16_t(t.language));
      b.insert(b.end(), t.bytes.begin(), t.bytes.end());
    }
    Finish(b, at);
  }
  Finish(b, udta);
  return b;
}

std::vector<uint8_t> EmptyMovie(int64_t creationTime, const UserDataRecord& userData) {
  std::vector<uint8_t> b;
  size_t ftyp = Begin(b, FourCC('f', 't', 'y', 'p'));
  Put32(b, FourCC('q', 't', ' ', ' '));
  Put32(b, 0x200);
  Put32(b, FourCC('q', 't', ' ', ' '));
  Finish(b, ftyp);

  size_t moov = Begin(b, FourCC('m', 'o', 'o', 'v'));
  size_t mvhd = Begin(b, FourCC('m', 'v', 'h', 'd'));
  uint32_t macTime = uint32_t(creationTime + kMacEpochOffset);
  Put32(b, 0);        // version 0, flags 0
  Put32(b, macTime);  // creation
  Put32(b, macTime);  // modification
  Put32(b, uint32_t(kMovieTimeScale));
  Put32(b, 0);           // duration
  Put32(b, 0x00010000);  // preferred rate 1.0
  Put16(b, 0x0100);      // preferred volume 1.0
  for (int i = 0; i < 10; ++i) b.push_back(0);
  const uint32_t matrix[9] = {0x10000, 0, 0, 0, 0x10000, 0, 0, 0, 0x40000000};
  for (uint32_t m : matrix) Put32(b, m);
  for (int i = 0; i < 6; ++i) Put32(b, 0);  // preview, poster, selection, current time
  Put32(b, 1);                              // next track id
  Finish(b, mvhd);
  std::vector<uint8_t> udta = UserDataAtom(userData);
  b.insert(b.end(), udta.begin(), udta.end());
  Finish(b, moov);
  return b;
}

OSErr RewriteMovieAtom(int fd, const UserDataRecord& userData, Fixed trackWidth, Fixed trackHeight) {
  struct stat st;
  if (fstat(fd, &st) != 0) return ErrnoToOSErr(errno);
  const uint64_t fileSize = uint64_t(st.st_size);

  // Walk the top-level atoms to the last 'moov'.
  uint64_t at = 0;
  uint64_t moovAt = 0, moovSize = 0;
  bool found = false;
  while (at < fileSize) {
    uint8_t h[16];
    if (fileSize - at < 8 || !ReadAll(fd, h, 8, int64_t(at))) return ioErr;
    uint64_t size = Get32(h);
    uint64_t header = 8;
    if (size == 1) {
      if (fileSize - at < 16 || !ReadAll(fd, h + 8, 8, int64_t(at + 8))) return ioErr;
      size = Get64(h + 8);
      header = 16;
    } else if (size == 0) {
      size = fileSize - at;
    }
    if (size < header || size > fileSize - at) return ioErr;
    if (Get32(h + 4) == FourCC('m', 'o', 'o', 'v')) {
      moovAt = at;
      moovSize = size;
      found = true;
    }
    at += size;
  }
  if (!found || moovSize > kMaxMovieAtom) return ioErr;

  std::vector<uint8_t> old(static_cast<size_t>(moovSize));
  if (!ReadAll(fd, old.data(), old.size(), int64_t(moovAt))) return ErrnoToOSErr(errno);
  Child moov;
  if (!NextChild(old, 0, old.size(), &moov)) return ioErr;

  // New 'moov': every child but 'udta', the track size set, our 'udta' last.
  std::vector<uint8_t> b;
  size_t start = Begin(b, FourCC('m', 'o', 'o', 'v'));
  size_t pos = moov.header;
  Child c;
  while (pos < old.size()) {
    if (!NextChild(old, pos, old.size(), &c)) return ioErr;
    if (c.type == FourCC('t', 'r', 'a', 'k') && !PatchTrackSize(old, c, trackWidth, trackHeight))
      return ioErr;
    if (c.type != FourCC('u', 'd', 't', 'a'))
      b.insert(b.end(), old.begin() + long(c.offset), old.begin() + long(c.offset + c.size));
    pos += c.size;
  }
  std::vector<uint8_t> udta = UserDataAtom(userData);
  b.insert(b.end(), udta.begin(), udta.end());
  Finish(b, start);

  if (moovAt + moovSize == fileSize) {
    if (!WriteAll(fd, b.data(), b.size(), int64_t(moovAt))) return ErrnoToOSErr(errno);
    if (ftruncate(fd, off_t(moovAt + b.size())) != 0) return ErrnoToOSErr(errno);
  } else {
    if (!WriteAll(fd, b.data(), b.size(), int64_t(fileSize))) return ErrnoToOSErr(errno);
    uint8_t freeType[4];
    Set32(freeType, FourCC('f', 'r', 'e', 'e'));
    if (!WriteAll(fd, freeType, 4, int64_t(moovAt + 4))) return ErrnoToOSErr(errno);
  }
  return noErr;
}

}  // namespace qt::atoms
