#include "framework/text.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "framework/exceptions.h"
#include "framework/framework_hooks.h"
#include "platform/system.h"

extern TPtr<TString::TStringBuffer> gEmptyStringHolder;

namespace {

// --- the string cache ----------------------------------------------------

constexpr int kConstantCount = 15;
constexpr int kFormatCount = 14;
const char16_t* const kConstantTexts[kConstantCount] = {u"-1",   u"0",     u"1",   u"YES",  u"NO",
                                                        u"true", u"false", u"0.0", u"0.5",  u"1.0",
                                                        u"$M",   u"%s",    u"INF", u"-INF", u"NaN"};
const char16_t* const kFormatTexts[kFormatCount] = {u"%d",   u"%ld",   u"%lld", u"%u",    u"%lu",
                                                    u"%llu", u"%f",    u"%.3f", u"%g",    u"%.9g",
                                                    u"%lf",  u"%.3lf", u"%lg",  u"%.17lg"};
enum { kMinusOne = 0, kZero = 1, kOne = 2, kMarker = 10 };
enum { kFormatInt = 0, kFormatUnsigned = 3 };

TString gConstants[kConstantCount];
TString gFormats[kFormatCount];
std::atomic<bool> gConstantsReady{false};
std::atomic<bool> gFormatsReady{false};

// --- the conversion ring -------------------------------------------------

// One row of four result arrays: a result stays valid through the next
// three conversions on the same row.
struct TRingRow {
  TByteArray arrays[4];
  int index = 0;
  TByteArray& Next() {
    TByteArray& array = arrays[index];
    index = (index + 1) % 4;
    return array;
  }
  void Clear() {
    for (TByteArray& a : arrays) a.Free();
    index = 0;
  }
};

// Rows for the logical threads 0-6; threads without a logical id each have
// their own row, so concurrent workers never overwrite each other's text.
TRingRow gRingRows[7];
thread_local TRingRow tNoIdRow;

TRingRow& CallerRow() {
  std::int32_t id = FrameworkLogicalThreadId();
  if (id >= 0 && id < 7) return gRingRows[id];
  return tNoIdRow;
}

const char kEmptyNarrow[1] = {0};

// --- UTF-8 ---------------------------------------------------------------
//
// Bytes that are not valid UTF-8 (for example a file name in another
// encoding) decode to the units 0xDC80-0xDCFF and encode back to the same
// byte, so such text survives a round trip.

bool IsHighSurrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLowSurrogate(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// Decodes one code point at text[i..n); returns its byte length, or 0 when
// the bytes there are not valid UTF-8.
int DecodeUtf8(const unsigned char* text, std::size_t i, std::size_t n, char32_t* cp) {
  unsigned char b = text[i];
  if (b < 0x80) {
    *cp = b;
    return 1;
  }
  int length;
  char32_t value;
  char32_t minimum;
  if (b >= 0xC2 && b <= 0xDF) {
    length = 2, value = b & 0x1F, minimum = 0x80;
  } else if (b >= 0xE0 && b <= 0xEF) {
    length = 3, value = b & 0x0F, minimum = 0x800;
  } else if (b >= 0xF0 && b <= 0xF4) {
    length = 4, value = b & 0x07, minimum = 0x10000;
  } else {
    return 0;
  }
  if (i + static_cast<std::size_t>(length) > n) return 0;
  for (int k = 1; k < length; ++k) {
    unsigned char c = text[i + static_cast<std::size_t>(k)];
    if ((c & 0xC0) != 0x80) return 0;
    value = (value << 6) | (c & 0x3F);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  *cp = value;
  return length;
}

// Walks the units of a UTF-16 text as UTF-8 bytes; `emit` receives each.
template <class Emit>
void EncodeUtf8(const char16_t* text, std::int32_t n, Emit emit) {
  for (std::int32_t i = 0; i < n; ++i) {
    char32_t cp = text[i];
    if (IsHighSurrogate(text[i]) && i + 1 < n && IsLowSurrogate(text[i + 1])) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xDC80 && cp <= 0xDCFF) {
      emit(static_cast<char>(cp - 0xDC00));  // an undecodable byte, given back
      continue;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;  // an unpaired surrogate
    }
    if (cp < 0x80) {
      emit(static_cast<char>(cp));
    } else if (cp < 0x800) {
      emit(static_cast<char>(0xC0 | (cp >> 6)));
      emit(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      emit(static_cast<char>(0xE0 | (cp >> 12)));
      emit(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      emit(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      emit(static_cast<char>(0xF0 | (cp >> 18)));
      emit(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      emit(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      emit(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
}

std::size_t Utf8Length(const char16_t* text, std::int32_t n) {
  std::size_t bytes = 0;
  EncodeUtf8(text, n, [&](char) { ++bytes; });
  return bytes;
}

// --- formatting ----------------------------------------------------------

enum class TArgKind { kSigned, kUnsigned, kFloat };
struct TFormatArg {
  TArgKind kind;
  bool is32;  // a 32-bit value (an unsigned conversion shows 32 bits)
  std::int64_t s;
  std::uint64_t u;
  double d;
};

// Formats `arg` by `format` into at most 255 units.  The format is read
// here rather than handed to the runtime: its first integer or floating
// conversion (any length modifier) takes the value at its true width, so a
// "%ld" of a 32-bit value is never read as 64 bits; anything else - a second
// conversion, "%s", "%n" - is copied as text.
TString FormatOne(const TString& format, const TFormatArg& arg) {
  constexpr int kLimit = 255;
  char16_t out[kLimit + 1] = {};
  int used = 0;
  auto put = [&](char16_t c) {
    if (used < kLimit) out[used++] = c;
  };
  const char16_t* f = format.Text();
  bool consumed = false;
  while (*f) {
    if (*f != u'%') {
      put(*f++);
      continue;
    }
    if (f[1] == u'%') {
      put(u'%');
      f += 2;
      continue;
    }
    const char16_t* directiveStart = f++;
    std::string directive = "%";
    while (*f && *f < 0x80 && std::strchr("-+ #0", static_cast<char>(*f))) {
      directive += static_cast<char>(*f++);
    }
    int digits = 0;
    while (*f >= u'0' && *f <= u'9') {
      if (++digits <= 3) directive += static_cast<char>(*f);
      ++f;
    }
    if (*f == u'.') {
      directive += '.';
      ++f;
      digits = 0;
      while (*f >= u'0' && *f <= u'9') {
        if (++digits <= 2) directive += static_cast<char>(*f);
        ++f;
      }
    }
    while (*f == u'h' || *f == u'l' || *f == u'L' || *f == u'j' || *f == u'z' || *f == u't' || *f == u'q') {
      ++f;
    }
    if (*f == u'I') {  // I32 / I64
      ++f;
      while (*f >= u'0' && *f <= u'9') ++f;
    }
    char16_t conv = *f;
    bool isInt = conv && conv < 0x80 && std::strchr("diouxXc", static_cast<char>(conv));
    bool isFloat = conv && conv < 0x80 && std::strchr("fFeEgGaA", static_cast<char>(conv));
    if (consumed || (!isInt && !isFloat)) {
      // Not a conversion this value can fill: copy it as text.
      const char16_t* stop = conv ? f + 1 : f;
      for (const char16_t* p = directiveStart; p < stop; ++p) put(*p);
      f = stop;
      continue;
    }
    ++f;
    consumed = true;
    char buffer[512];
    if (conv == u'c') {
      std::int64_t v = arg.kind == TArgKind::kFloat    ? static_cast<std::int64_t>(arg.d)
                       : arg.kind == TArgKind::kSigned ? arg.s
                                                       : static_cast<std::int64_t>(arg.u);
      put(static_cast<char16_t>(v));
      continue;
    }
    if (isInt) {
      directive += "ll";
      directive += static_cast<char>(conv);
      bool signedConv = conv == u'd' || conv == u'i';
      long long sv;
      unsigned long long uv;
      if (arg.kind == TArgKind::kFloat) {
        double d = std::isfinite(arg.d) ? arg.d : 0.0;
        if (d >= 9.2e18) d = 9.2e18;
        if (d <= -9.2e18) d = -9.2e18;
        sv = static_cast<long long>(d);
        uv = static_cast<unsigned long long>(sv);
      } else if (arg.kind == TArgKind::kSigned) {
        sv = arg.s;
        // An unsigned conversion of a negative 32-bit value shows its 32-bit
        // pattern.
        uv = arg.is32 ? static_cast<std::uint32_t>(arg.s) : static_cast<unsigned long long>(arg.s);
      } else {
        sv = static_cast<long long>(arg.u);
        uv = arg.u;
      }
      if (signedConv) {
        std::snprintf(buffer, sizeof buffer, directive.c_str(), sv);
      } else {
        std::snprintf(buffer, sizeof buffer, directive.c_str(), uv);
      }
    } else {
      directive += static_cast<char>(conv);
      double d = arg.kind == TArgKind::kFloat    ? arg.d
                 : arg.kind == TArgKind::kSigned ? static_cast<double>(arg.s)
                                                 : static_cast<double>(arg.u);
      std::snprintf(buffer, sizeof buffer, directive.c_str(), d);
    }
    for (const char* p = buffer; *p; ++p) put(static_cast<char16_t>(static_cast<unsigned char>(*p)));
  }
  return TString(out);
}

// Parses one integer by the format's conversion; see TString::Scan.
std::int32_t ScanOne(const char16_t* text, const char16_t* format, std::int32_t* destination) {
  const char16_t* t = text;
  const char16_t* f = format;
  while (*f) {
    if (StringIsSpace(*f)) {
      while (StringIsSpace(*f)) ++f;
      while (StringIsSpace(*t)) ++t;
      continue;
    }
    if (*f != u'%' || f[1] == u'%') {
      if (*f == u'%') ++f;
      if (*t != *f) return 0;
      ++t, ++f;
      continue;
    }
    ++f;
    while (*f >= u'0' && *f <= u'9') ++f;  // field widths are not used
    while (*f == u'h' || *f == u'l' || *f == u'L' || *f == u'j' || *f == u'z' || *f == u't') ++f;
    char16_t conv = *f;
    int base;
    bool isSigned;
    switch (conv) {
      case u'd':
        base = 10, isSigned = true;
        break;
      case u'i':
        base = 0, isSigned = true;
        break;
      case u'u':
        base = 10, isSigned = false;
        break;
      case u'x':
      case u'X':
        base = 16, isSigned = false;
        break;
      case u'o':
        base = 8, isSigned = false;
        break;
      default:
        return 0;
    }
    while (StringIsSpace(*t)) ++t;
    bool negative = false;
    if (*t == u'+' || *t == u'-') {
      negative = *t == u'-';
      ++t;
    }
    if (negative && !isSigned) return 0;
    if ((base == 0 || base == 16) && t[0] == u'0' && (t[1] == u'x' || t[1] == u'X')) {
      base = 16;
      t += 2;
    } else if (base == 0) {
      base = t[0] == u'0' ? 8 : 10;
    }
    const std::uint64_t limit = isSigned ? (negative ? 0x80000000ull : 0x7FFFFFFFull) : 0xFFFFFFFFull;
    std::uint64_t value = 0;
    int digits = 0;
    for (;; ++t) {
      int d;
      if (*t >= u'0' && *t <= u'9')
        d = *t - u'0';
      else if (*t >= u'a' && *t <= u'f')
        d = *t - u'a' + 10;
      else if (*t >= u'A' && *t <= u'F')
        d = *t - u'A' + 10;
      else
        break;
      if (d >= base) break;
      value = value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(d);
      if (value > limit) return 0;  // out of range: nothing is read
      ++digits;
    }
    if (digits == 0) return 0;
    if (isSigned) {
      *destination = negative ? static_cast<std::int32_t>(-static_cast<std::int64_t>(value))
                              : static_cast<std::int32_t>(value);
    } else {
      *destination = static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
    }
    return 1;  // one field is all a single destination can take
  }
  return 0;
}

}  // namespace

// --- string system -----------------------------------------------------------

bool StringConstantsReady() { return gConstantsReady.load(std::memory_order_acquire); }
bool StringFormatsReady() { return gFormatsReady.load(std::memory_order_acquire); }

void StartStringSystem() {
  TString::TEmptyStringBuffer* empty = nullptr;
  try {
    empty = new TString::TEmptyStringBuffer();
  } catch (...) {
    throw TOutOfMemoryException();
  }
  gEmptyStringHolder.Reset(empty);
  for (TRingRow& row : gRingRows) row.index = 0;
  tNoIdRow.index = 0;
  for (int i = 0; i < kConstantCount; ++i) gConstants[i] = kConstantTexts[i];
  gConstantsReady.store(true, std::memory_order_release);
  for (int i = 0; i < kFormatCount; ++i) gFormats[i] = kFormatTexts[i];
  gFormatsReady.store(true, std::memory_order_release);
}

void StopStringSystem() {
  gConstantsReady.store(false, std::memory_order_release);
  for (TString& s : gConstants) s.SetEmpty();
  gFormatsReady.store(false, std::memory_order_release);
  for (TString& s : gFormats) s.SetEmpty();
  for (TRingRow& row : gRingRows) row.Clear();
  tNoIdRow.Clear();
  gEmptyStringHolder.Reset();
}

// --- numbers -----------------------------------------------------------------

TString TString::FormatValue(const TString& format, std::int32_t value) {
  return FormatOne(format, {TArgKind::kSigned, true, value, 0, 0.0});
}
TString TString::FormatValue(const TString& format, std::uint32_t value) {
  return FormatOne(format, {TArgKind::kUnsigned, true, 0, value, 0.0});
}
TString TString::FormatValue(const TString& format, std::int64_t value) {
  return FormatOne(format, {TArgKind::kSigned, false, value, 0, 0.0});
}
TString TString::FormatValue(const TString& format, std::uint64_t value) {
  return FormatOne(format, {TArgKind::kUnsigned, false, 0, value, 0.0});
}
TString TString::FormatValue(const TString& format, double value) {
  return FormatOne(format, {TArgKind::kFloat, false, 0, 0, value});
}

TString TString::DefaultIntegerFormat() {
  return StringFormatsReady() ? gFormats[kFormatInt] : TString(u"%d");
}

TString TString::DefaultUnsignedFormat() {
  return StringFormatsReady() ? gFormats[kFormatUnsigned] : TString(u"%u");
}

TString TString::FromInt(std::int32_t value, const TString& format) {
  if (StringConstantsReady() && value >= -1 && value <= 1 && format.Equals(DefaultIntegerFormat())) {
    return gConstants[kZero + value];
  }
  return FormatValue(format, value);
}

TString TString::FromByte(std::uint8_t value, const TString& format) {
  return FormatValue(format, static_cast<std::uint32_t>(value));
}

std::int32_t TString::Scan(const TString& text, const TString& format, std::int32_t* destination) {
  if (!destination) return 0;
  return ScanOne(text.Text(), format.Text(), destination);
}

bool TString::ToInt(const TString& text, const TString& format, std::int32_t* destination) {
  if (!destination) return false;
  if (StringConstantsReady() && format.Equals(DefaultIntegerFormat())) {
    for (std::int32_t v = -1; v <= 1; ++v) {
      if (text.Equals(gConstants[kZero + v])) {
        *destination = v;
        return true;
      }
    }
  }
  return Scan(text, format, destination) >= 1;
}

std::int32_t TString::ToIntOr0(const TString& text, const TString& format) {
  std::int32_t value = 0;
  return ToInt(text, format, &value) ? value : 0;
}

// --- templates ---------------------------------------------------------------

TString TString::ExpandTemplates(const TString& text) {
  const TString marker = StringConstantsReady() ? gConstants[kMarker] : TString(u"$M");
  if (text.Find(marker, 0, false) == -1) return text;
  TString result(text);
  TString version = GetVersionText();
  TString build = version;
  if (!GetAlphaOrBetaText().IsEmpty()) {
    build.AppendText(u" ");
    build.Append(GetAlphaOrBetaText());
  }
  build.AppendText(u" (Built: ");
  build.Append(GetBuildDateText());
  build.AppendText(u")");
  TString nameAndVersion = ConcatText(GetProductName(), u" ");
  nameAndVersion.Append(version);
  result.Replace(TString(u"$MProductString"), GetProductName());
  result.Replace(TString(u"$MVersionString"), version);
  result.Replace(TString(u"$MAlphaOrBetaVersionString"), GetAlphaOrBetaText());
  result.Replace(TString(u"$MBuildNumberString"), build);
  result.Replace(TString(u"$MProductNameAndVersionString"), nameAndVersion);
  result.Replace(TString(u"$MBugReportEMailAddress"), GetProductSupportEmail());
  result.Replace(TString(u"$MSupportEMailAddress"), GetProductSupportEmail());
  result.Replace(TString(u"$MProductHomeURL"), GetProductHomeURL());
  return result;
}

// --- code pages --------------------------------------------------------------
// The system's 8-bit code page (encodings 0 and 1 and unknown codes) is
// UTF-8 on this platform, fixed rather than taken from the locale.

TString TString::FromNarrow(const char* text, std::int32_t encoding) {
  if (!text || !*text) return TString();
  const std::size_t n = std::strlen(text);
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  std::size_t units = 0;
  if (encoding == 2) {
    units = n;
  } else {
    for (std::size_t i = 0; i < n;) {
      char32_t cp;
      int length = DecodeUtf8(bytes, i, n, &cp);
      if (length == 0) {
        ++units, ++i;
      } else {
        units += cp >= 0x10000 ? 2 : 1;
        i += static_cast<std::size_t>(length);
      }
    }
  }
  if (units >= INT32_MAX) TMemory::ThrowOutOfMemory();
  auto* buffer = new TStringBuffer(nullptr, static_cast<std::int32_t>(units) + 1);
  TString result;
  result.Install(buffer);
  char16_t* out = buffer->mChars;
  if (encoding == 2) {
    for (std::size_t i = 0; i < n; ++i) {
      out[i] = bytes[i] == 127
                   ? u'?'
                   : static_cast<char16_t>(static_cast<std::int16_t>(static_cast<signed char>(bytes[i])));
    }
  } else {
    std::size_t o = 0;
    for (std::size_t i = 0; i < n;) {
      char32_t cp;
      int length = DecodeUtf8(bytes, i, n, &cp);
      if (length == 0) {
        out[o++] = static_cast<char16_t>(0xDC00 + bytes[i]);
        ++i;
        continue;
      }
      if (cp >= 0x10000) {
        out[o++] = static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
        out[o++] = static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
      } else {
        out[o++] = static_cast<char16_t>(cp);
      }
      i += static_cast<std::size_t>(length);
    }
  }
  out[units] = 0;
  return result;
}

const char* TString::ToNarrow(std::int32_t encoding) const {
  if (IsEmpty()) return kEmptyNarrow;
  TByteArray& array = CallerRow().Next();
  const std::int32_t length = Length();
  const char16_t* text = Text();
  if (encoding == 2) {
    if (array.Size() < length + 1) array.SetSize(length + 1);
    for (std::int32_t i = 0; i < length; ++i) {
      array[i] = text[i] >= 127 ? '?' : static_cast<char>(text[i]);
    }
    array[length] = 0;
    return array.Data();
  }
  const std::size_t bytes = Utf8Length(text, length) + 1;
  if (bytes > INT32_MAX) return kEmptyNarrow;
  if (array.Size() < static_cast<std::int32_t>(bytes)) array.SetSize(static_cast<std::int32_t>(bytes));
  char* out = array.Data();
  EncodeUtf8(text, length, [&](char c) { *out++ = c; });
  *out = 0;
  return array.Data();
}

void TString::ToNarrowArray(TByteArray& array, std::int32_t encoding) const {
  if (IsEmpty()) {
    array.Free();
    return;
  }
  const std::int32_t length = Length();
  const char16_t* text = Text();
  if (encoding == 2) {
    array.SetSize(length);
    for (std::int32_t i = 0; i < length; ++i) {
      array[i] = text[i] >= 127 ? '?' : static_cast<char>(text[i]);
    }
    return;
  }
  const std::size_t bytes = Utf8Length(text, length);
  if (bytes >= INT32_MAX) {
    array.Free();
    return;
  }
  array.SetSize(static_cast<std::int32_t>(bytes));
  char* out = array.Data();
  EncodeUtf8(text, length, [&](char c) { *out++ = c; });
}

// --- product information -------------------------------------------------------

TString GetProductName() { return TString(u"Tarvo"); }
TString GetAlphaOrBetaText() { return TString(); }
std::int32_t GetVersionMajor() { return 0; }
std::int32_t GetVersionMinor() { return 0; }
std::int32_t GetVersionPatch() { return 1; }
TString GetProductSupportEmail() { return TString(u"support@tarvo.example"); }
TString GetProductHomeURL() { return TString(u"https://tarvo.example/"); }
TString GetBuildDateText() { return TString(u"Dec  7 2016"); }

TString GetVersionText() {
  const TString format = TString::DefaultIntegerFormat();
  TString text(u"V");
  text.Append(TString::FromInt(GetVersionMajor(), format));
  text.AppendText(u".");
  text.Append(TString::FromInt(GetVersionMinor(), format));
  text.AppendText(u".");
  text.Append(TString::FromInt(GetVersionPatch(), format));
  return text;
}

// --- dates and times -----------------------------------------------------------

TDate TDate::Today() {
  PlatformLocalTime now = platformLocalTime();
  return {now.year, now.month, now.day};
}

TTime TTime::Now() {
  PlatformLocalTime now = platformLocalTime();
  return {now.hour, now.minute, now.second};
}

TString DateText(const TDate& date) {
  if (date.year == 0 && date.month == 0 && date.day == 0) return TString();
  TString text = TString::FormatValue(TString(u"%04d"), date.year);
  text.AppendText(u"-");
  text.Append(TString::FormatValue(TString(u"%02d"), date.month));
  text.AppendText(u"-");
  text.Append(TString::FormatValue(TString(u"%02d"), date.day));
  return text;
}

TString TimeText(const TTime& time) {
  if (time.hour == 0 && time.minute == 0 && time.second == 0) return TString();
  TString text = TString::FormatValue(TString(u"%02d"), time.hour);
  text.AppendText(u":");
  text.Append(TString::FormatValue(TString(u"%02d"), time.minute));
  text.AppendText(u":");
  text.Append(TString::FormatValue(TString(u"%02d"), time.second));
  return text;
}

bool TripleGreater(std::int32_t a1, std::int32_t a2, std::int32_t a3, std::int32_t b1, std::int32_t b2,
                   std::int32_t b3) {
  if (a1 != b1) return a1 > b1;
  if (a2 != b2) return a2 > b2;
  return a3 > b3;
}

bool TripleLess(std::int32_t a1, std::int32_t a2, std::int32_t a3, std::int32_t b1, std::int32_t b2,
                std::int32_t b3) {
  if (a1 != b1) return a1 < b1;
  if (a2 != b2) return a2 < b2;
  return a3 < b3;
}
