// Start and stop, error state, the fault switch, Core Foundation values and
// handles of the movie calls.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

#include "platform/quicktime/qt_internal.h"

namespace qt {

namespace {

thread_local OSErr tMoviesError = noErr;
thread_local OSErr tMemError = noErr;

struct ArmedFault {
  bool armed = false;
  unsigned skip = 0;
  int32_t error = 0;
};

std::mutex gFaultLock;
ArmedFault gFaults[size_t(faults::Call::Count)];
std::atomic<bool> gAnyFault{false};

constexpr int32_t kQuickTimeVersion = 0x07100000;

bool ValidIndex(faults::Call call) { return size_t(call) < size_t(faults::Call::Count); }

// UTF-16 to UTF-8; false on an unpaired surrogate.
bool Utf16ToUtf8(const UniChar* chars, size_t count, std::string* out) {
  out->clear();
  out->reserve(count);
  for (size_t i = 0; i < count; ++i) {
    uint32_t c = chars[i];
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 >= count || chars[i + 1] < 0xDC00 || chars[i + 1] > 0xDFFF) return false;
      c = 0x10000 + ((c - 0xD800) << 10) + (chars[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xDC00 && c <= 0xDFFF) {
      return false;
    }
    if (c < 0x80) {
      out->push_back(char(c));
    } else if (c < 0x800) {
      out->push_back(char(0xC0 | (c >> 6)));
      out->push_back(char(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out->push_back(char(0xE0 | (c >> 12)));
      out->push_back(char(0x80 | ((c >> 6) & 0x3F)));
      out->push_back(char(0x80 | (c & 0x3F)));
    } else {
      out->push_back(char(0xF0 | (c >> 18)));
      out->push_back(char(0x80 | ((c >> 12) & 0x3F)));
      out->push_back(char(0x80 | ((c >> 6) & 0x3F)));
      out->push_back(char(0x80 | (c & 0x3F)));
    }
  }
  return true;
}

}  // namespace

// ------------------------------------------------------------ errors, faults

void SetMoviesError(OSErr err) { tMoviesError = err; }
void SetMemError(OSErr err) { tMemError = err; }
OSErr GetMoviesError() { return tMoviesError; }
OSErr MemError() { return tMemError; }

bool FaultHit(faults::Call call, int32_t* err) {
  if (!gAnyFault.load(std::memory_order_acquire) || !ValidIndex(call)) return false;
  std::lock_guard<std::mutex> lock(gFaultLock);
  ArmedFault& f = gFaults[size_t(call)];
  if (!f.armed) return false;
  if (f.skip > 0) {
    --f.skip;
    return false;
  }
  f.armed = false;
  *err = f.error;
  return true;
}

void faults::Arm(Call call, int32_t error, unsigned skip) {
  if (!ValidIndex(call)) return;
  std::lock_guard<std::mutex> lock(gFaultLock);
  gFaults[size_t(call)] = ArmedFault{true, skip, error};
  gAnyFault.store(true, std::memory_order_release);
}

void faults::Clear() {
  std::lock_guard<std::mutex> lock(gFaultLock);
  for (ArmedFault& f : gFaults) f = ArmedFault{};
  gAnyFault.store(false, std::memory_order_release);
}

OSErr ErrnoToOSErr(int e) {
  switch (e) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return dskFulErr;
    case ENOENT:
      return fnfErr;
    case ENOTDIR:
      return dirNFErr;
    case EACCES:
    case EPERM:
      return permErr;
    case EROFS:
      return wPrErr;
    case EEXIST:
      return dupFNErr;
    case ENOMEM:
      return memFullErr;
    default:
      return ioErr;
  }
}

bool EncoderAndMuxerAvailable() {
  return avcodec_find_encoder_by_name("libx264") != nullptr &&
         av_guess_format("mov", nullptr, nullptr) != nullptr;
}

// ------------------------------------------------------------ start and stop

OSErr InitializeQTML(long /*flags*/) {
  int32_t err = 0;
  if (FaultHit(faults::Call::InitializeQTML, &err)) return OSErr(err);
  return EncoderAndMuxerAvailable() ? noErr : noCodecErr;
}

void TerminateQTML() {}

OSErr EnterMovies() {
  int32_t err = 0;
  if (FaultHit(faults::Call::EnterMovies, &err)) return OSErr(err);
  if (!EncoderAndMuxerAvailable()) return noCodecErr;
  // Failures come back as results; FFmpeg's own console messages would
  // only mix with the tool's output.
  av_log_set_level(AV_LOG_QUIET);
  SetMoviesError(noErr);
  return noErr;
}

void ExitMovies() {}

OSErr Gestalt(OSType selector, int32_t* response) {
  int32_t err = 0;
  if (FaultHit(faults::Call::Gestalt, &err)) return OSErr(err);
  if (response == nullptr) return paramErr;
  if (selector != gestaltQuickTime || !EncoderAndMuxerAvailable()) return gestaltUndefSelectorErr;
  *response = kQuickTimeVersion;
  return noErr;
}

// ------------------------------------------------------------ Core Foundation

CFStringRef CFStringCreateWithCharacters(CFAllocatorRef /*alloc*/, const UniChar* chars, CFIndex numChars) {
  int32_t err = 0;
  if (FaultHit(faults::Call::CFStringCreateWithCharacters, &err)) return nullptr;
  if (numChars < 0 || (numChars > 0 && chars == nullptr)) return nullptr;
  auto* s = new (std::nothrow) CFObject(CFObject::Kind::String);
  if (s == nullptr) return nullptr;
  s->validText = Utf16ToUtf8(chars, size_t(numChars), &s->text);
  return s;
}

CFStringRef CFStringMakeConstantString(const char* text) {
  // Interned: the same text gives the same object, kept for the process.
  static std::mutex lock;
  static std::map<std::string, CFObject*>* table = new std::map<std::string, CFObject*>();
  if (text == nullptr) return nullptr;
  std::lock_guard<std::mutex> guard(lock);
  auto it = table->find(text);
  if (it != table->end()) return it->second;
  auto* s = new CFObject(CFObject::Kind::String);
  s->constant = true;
  s->text = text;
  table->emplace(s->text, s);
  return s;
}

CFNumberRef CFNumberCreate(CFAllocatorRef /*alloc*/, CFNumberType theType, const void* valuePtr) {
  int32_t err = 0;
  if (FaultHit(faults::Call::CFNumberCreate, &err)) return nullptr;
  if (valuePtr == nullptr) return nullptr;
  if (theType != kCFNumberSInt32Type && theType != kCFNumberIntType) return nullptr;
  auto* n = new (std::nothrow) CFObject(CFObject::Kind::Number);
  if (n == nullptr) return nullptr;
  int32_t v;
  std::memcpy(&v, valuePtr, sizeof v);
  n->number = v;
  return n;
}

CFDictionaryRef CFDictionaryCreate(CFAllocatorRef /*alloc*/, const void** keys, const void** values,
                                   CFIndex numValues, const CFDictionaryKeyCallBacks* keyCallBacks,
                                   const CFDictionaryValueCallBacks* valueCallBacks) {
  int32_t err = 0;
  if (FaultHit(faults::Call::CFDictionaryCreate, &err)) return nullptr;
  if (numValues < 0 || (numValues > 0 && (keys == nullptr || values == nullptr))) return nullptr;
  if (keyCallBacks != nullptr || valueCallBacks != nullptr) return nullptr;
  auto* d = new (std::nothrow) CFObject(CFObject::Kind::Dictionary);
  if (d == nullptr) return nullptr;
  for (CFIndex i = 0; i < numValues; ++i) {
    auto* key = static_cast<const CFObject*>(keys[i]);
    auto* value = static_cast<const CFObject*>(values[i]);
    if (key == nullptr || value == nullptr || key->kind != CFObject::Kind::String ||
        value->kind != CFObject::Kind::Number) {
      delete d;
      return nullptr;
    }
    d->entries.emplace_back(key->text, value->number);
  }
  return d;
}

void CFRelease(CFTypeRef object) {
  if (object == nullptr || object->constant) return;
  if (object->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete object;
}

// ------------------------------------------------------------ memory

HandleBlock* BlockOf(Handle h) { return reinterpret_cast<HandleBlock*>(h); }

Handle NewHandle(Size byteCount) {
  int32_t err = 0;
  if (FaultHit(faults::Call::NewHandle, &err)) {
    SetMemError(OSErr(err));
    return nullptr;
  }
  return AllocateHandle(byteCount);
}

Handle AllocateHandle(Size byteCount) {
  if (byteCount < 0) {
    SetMemError(paramErr);
    return nullptr;
  }
  auto* block = new (std::nothrow) HandleBlock{nullptr, byteCount};
  char* data = static_cast<char*>(std::malloc(size_t(byteCount) + 1));
  if (block == nullptr || data == nullptr) {
    delete block;
    std::free(data);
    SetMemError(memFullErr);
    return nullptr;
  }
  block->data = data;
  SetMemError(noErr);
  return &block->data;
}

void DisposeHandle(Handle h) {
  if (h == nullptr) return;
  HandleBlock* block = BlockOf(h);
  std::free(block->data);
  delete block;
  SetMemError(noErr);
}

Size GetHandleSize(Handle h) {
  if (h == nullptr) {
    SetMemError(paramErr);
    return 0;
  }
  SetMemError(noErr);
  return BlockOf(h)->size;
}

void BlockMoveData(const void* srcPtr, void* destPtr, Size byteCount) {
  if (srcPtr == nullptr || destPtr == nullptr || byteCount <= 0) return;
  std::memmove(destPtr, srcPtr, size_t(byteCount));
}

long GetScriptManagerVariable(int16_t selector) {
  // The only variable asked for is the region code: United States.
  return selector == smRegionCode ? verUS : 0;
}

Fixed FixRatio(int16_t numer, int16_t denom) {
  if (denom == 0) return numer >= 0 ? Fixed(0x7FFFFFFF) : Fixed(-0x7FFFFFFF - 1);
  int64_t q = (int64_t(numer) * 65536) / denom;
  return Fixed(q);
}

}  // namespace qt
