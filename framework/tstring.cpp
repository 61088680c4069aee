#include "framework/tstring.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "framework/exceptions.h"
#include "framework/memory.h"

namespace {

// The one empty text that empty buffers point at; never written.
char16_t gEmptyText[1] = {0};

}  // namespace

// The holder of the shared empty buffer (set by StartStringSystem).
TPtr<TString::TStringBuffer> gEmptyStringHolder;

// --- character classes -----------------------------------------------------

char16_t StringFoldCase(char16_t c) noexcept {
  if (c < 0x80) return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<char16_t>(c + 32);
  if (c >= 0x100 && c <= 0x17F) {
    if (c == 0x130) return u'i';
    if (c == 0x178) return 0xFF;
    if ((c <= 0x137 || (c >= 0x14A && c <= 0x177)) && (c % 2) == 0) return static_cast<char16_t>(c + 1);
    if (((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) && (c % 2) == 1)
      return static_cast<char16_t>(c + 1);
    return c;
  }
  if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return static_cast<char16_t>(c + 32);
  if (c >= 0x400 && c <= 0x40F) return static_cast<char16_t>(c + 80);
  if (c >= 0x410 && c <= 0x42F) return static_cast<char16_t>(c + 32);
  return c;
}

bool StringIsSpace(char16_t c) noexcept {
  if (c == 0x20 || (c >= 0x09 && c <= 0x0D)) return true;
  if (c < 0x85) return false;
  return c == 0x85 || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 ||
         c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

std::int32_t StringTextLength(const char16_t* text) noexcept {
  if (!text) return 0;
  std::int32_t n = 0;
  while (text[n]) ++n;
  return n;
}

// --- buffers ---------------------------------------------------------------

TString::TStringBuffer::TStringBuffer() noexcept : mChars(gEmptyText), mCapacity(0) {}

TString::TStringBuffer::TStringBuffer(const char16_t* text, std::int32_t capacity)
    : mChars(gEmptyText), mCapacity(0) {
  const std::int32_t length = StringTextLength(text);
  if (length == INT32_MAX) return;
  const std::int32_t needed = length + 1;
  if (capacity < needed) capacity = needed;
  try {
    mChars = static_cast<char16_t*>(
        TMemory::Allocate("#StringBuffer", static_cast<std::size_t>(capacity) * sizeof(char16_t)));
  } catch (const TOutOfMemoryException&) {
    mChars = gEmptyText;
    return;
  }
  mCapacity = capacity;
  if (length) TMemory::Copy(mChars, text, static_cast<std::size_t>(length) * sizeof(char16_t));
  mChars[length] = 0;
}

TString::TStringBuffer::~TStringBuffer() {
  if (mChars != gEmptyText) TMemory::Free(mChars);
}

void* TString::TStringBuffer::operator new(std::size_t size) {
  return TMemory::Allocate("TString::TStringBuffer", size);
}

void TString::TStringBuffer::operator delete(void* block) noexcept { TMemory::Delete(block); }

void* TString::TEmptyStringBuffer::operator new(std::size_t size) {
  if (void* block = std::malloc(size)) return block;
  throw TOutOfMemoryException();
}

void TString::TEmptyStringBuffer::operator delete(void* block) noexcept { std::free(block); }

// --- construction ----------------------------------------------------------

TString::TString() noexcept : mBuffer(gEmptyStringHolder) {}

TString::TString(const char* text) : mBuffer(gEmptyStringHolder) {
  if (!text || !*text) return;
  std::size_t length = std::strlen(text);
  if (length >= INT32_MAX) TMemory::ThrowOutOfMemory();
  auto* buffer = new TStringBuffer(nullptr, static_cast<std::int32_t>(length) + 1);
  TPtr<TStringBuffer> keep(buffer);
  if (buffer->mCapacity == 0) throw TOutOfMemoryException();
  for (std::size_t i = 0; i < length; ++i) {
    // Sign extension: a byte of 0x80 or above gives a unit 0xFFxx.
    buffer->mChars[i] = static_cast<char16_t>(static_cast<std::int16_t>(static_cast<signed char>(text[i])));
  }
  buffer->mChars[length] = 0;
  mBuffer = static_cast<TPtr<TStringBuffer>&&>(keep);
}

TString::TString(const char16_t* text) : mBuffer(gEmptyStringHolder) { AssignText(text); }

TString& TString::operator=(const TString& other) noexcept {
  mBuffer = other.mBuffer;
  return *this;
}

TString& TString::operator=(TString&& other) noexcept {
  mBuffer = static_cast<TPtr<TStringBuffer>&&>(other.mBuffer);
  return *this;
}

void TString::Install(TStringBuffer* buffer) {
  TPtr<TStringBuffer> keep(buffer);
  if (buffer->mCapacity == 0) throw TOutOfMemoryException();
  mBuffer = static_cast<TPtr<TStringBuffer>&&>(keep);
}

void TString::AssignText(const char16_t* text) {
  if (!text || !*text) {
    SetEmpty();
    return;
  }
  Install(new TStringBuffer(text, -1));
}

void TString::SetEmpty() noexcept { mBuffer = gEmptyStringHolder; }

// --- queries ---------------------------------------------------------------

const char16_t* TString::Text() const noexcept {
  TStringBuffer* buffer = mBuffer.Get();
  return buffer ? buffer->mChars : gEmptyText;
}

char16_t* TString::Chars() noexcept { return mBuffer.Get()->mChars; }

bool TString::HoldsSharedEmpty() const noexcept { return !mBuffer.Get() || mBuffer.Get()->mCapacity == 0; }

std::int32_t TString::Capacity() const noexcept { return mBuffer.Get() ? mBuffer.Get()->mCapacity : 0; }

std::int32_t TString::Length() const noexcept { return StringTextLength(Text()); }

char16_t TString::CharAt(std::int32_t i) const noexcept {
  if (i < 0 || i >= Length()) return 0;
  return Text()[i];
}

bool TString::EqualsText(const char16_t* text) const noexcept {
  const char16_t* a = Text();
  const char16_t* b = text ? text : gEmptyText;
  if (a == b) return true;
  for (;; ++a, ++b) {
    if (*a != *b) return false;
    if (*a == 0) return true;
  }
}

bool TString::Equals(const TString& other) const noexcept { return EqualsText(other.Text()); }

std::int32_t TString::CompareNoCase(const TString& other) const noexcept {
  const char16_t* a = Text();
  const char16_t* b = other.Text();
  for (;; ++a, ++b) {
    char16_t x = StringFoldCase(*a);
    char16_t y = StringFoldCase(*b);
    if (x != y) return static_cast<std::int32_t>(x) - static_cast<std::int32_t>(y);
    if (x == 0) return 0;
  }
}

bool TString::StartsWith(char16_t c) const noexcept {
  const char16_t* t = Text();
  return t[0] != 0 && t[0] == c;
}

bool TString::EndsWith(char16_t c) const noexcept {
  std::int32_t n = Length();
  return n > 0 && Text()[n - 1] == c;
}

bool TString::StartsWithText(const TString& prefix) const noexcept {
  std::int32_t n = prefix.Length();
  if (n == 0 || IsEmpty() || n > Length()) return false;
  const char16_t* a = Text();
  const char16_t* b = prefix.Text();
  for (std::int32_t i = 0; i < n; ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

bool TString::StartsWithNoCase(const TString& prefix) const noexcept {
  std::int32_t n = prefix.Length();
  if (n == 0 || IsEmpty() || n > Length()) return false;
  const char16_t* a = Text();
  const char16_t* b = prefix.Text();
  for (std::int32_t i = 0; i < n; ++i) {
    if (StringFoldCase(a[i]) != StringFoldCase(b[i])) return false;
  }
  return true;
}

std::int32_t TString::CountChar(char16_t c) const noexcept {
  std::int32_t count = 0;
  for (const char16_t* t = Text(); *t; ++t) count += (*t == c);
  return count;
}

namespace {

template <bool kNoCase>
bool MatchAt(const char16_t* text, std::int32_t pos, const char16_t* needle) {
  for (std::int32_t i = 0; needle[i]; ++i) {
    char16_t a = text[pos + i];
    if (a == 0) return false;
    if (kNoCase ? StringFoldCase(a) != StringFoldCase(needle[i]) : a != needle[i]) return false;
  }
  return true;
}

template <bool kNoCase>
std::int32_t FindIn(const TString& s, const TString& needle, std::int32_t start, bool backward) {
  if (needle.IsEmpty() || s.IsEmpty()) return -1;
  const std::int32_t length = s.Length();
  const std::int32_t end = backward ? -1 : length;
  if (start > length || start < 0 || start == end) return -1;
  if (kNoCase && start >= length) return -1;
  const std::int32_t step = backward ? -1 : 1;
  const char16_t* text = s.Text();
  const char16_t* want = needle.Text();
  for (std::int32_t pos = start; pos != end; pos += step) {
    if (MatchAt<kNoCase>(text, pos, want)) return pos;
  }
  return -1;
}

}  // namespace

std::int32_t TString::Find(const TString& needle, std::int32_t start, bool backward) const noexcept {
  return FindIn<false>(*this, needle, start, backward);
}

std::int32_t TString::FindNoCase(const TString& needle, std::int32_t start, bool backward) const noexcept {
  return FindIn<true>(*this, needle, start, backward);
}

// --- new strings -----------------------------------------------------------

TString TString::SubString(std::int32_t from, std::int32_t to) const {
  const std::int32_t length = Length();
  if (from > length || length == 0) return TString();
  if (from < 0) from = 0;
  if (to < 0 || to > length) to = length;
  if (from == 0 && to == length) return *this;
  if (to <= from) return TString();
  auto* buffer = new TStringBuffer(nullptr, to - from + 1);
  TString result;
  result.Install(buffer);
  TMemory::Copy(buffer->mChars, Text() + from, static_cast<std::size_t>(to - from) * sizeof(char16_t));
  buffer->mChars[to - from] = 0;
  return result;
}

TString TString::Concat(const TString& left, const TString& right) {
  TString result(left);
  result.Append(right);
  return result;
}

TString TString::ConcatText(const TString& left, const char16_t* right) {
  TString result(left);
  result.AppendText(right);
  return result;
}

TString TString::ConcatTemporary(TString&& left, const TString& right) {
  left.Append(right);
  return static_cast<TString&&>(left);
}

TString TString::Repeat(const TString& s, std::int32_t n) {
  if (n <= 0) return TString();
  if (n == 1) return s;
  TStringArray copies;
  copies.SetCapacity(n);
  for (std::int32_t i = 0; i < n; ++i) copies.Append(s);
  return Join(copies, TString());
}

TString TString::Join(const TStringArray& array, const TString& separator) {
  const std::int32_t n = array.Count();
  if (n < 1) return TString();
  const std::int64_t separatorLength = separator.Length();
  std::int64_t total = 1 + (n - 1) * separatorLength;
  for (std::int32_t i = 0; i < n; ++i) total += array[i].Length();
  if (total == 1) return TString();
  if (total > INT32_MAX) TMemory::ThrowOutOfMemory();
  auto* buffer = new TStringBuffer(nullptr, static_cast<std::int32_t>(total));
  TString result;
  result.Install(buffer);
  char16_t* out = buffer->mChars;
  for (std::int32_t i = 0; i < n; ++i) {
    std::int32_t length = array[i].Length();
    TMemory::Copy(out, array[i].Text(), static_cast<std::size_t>(length) * sizeof(char16_t));
    out += length;
    if (i + 1 < n && separatorLength) {
      TMemory::Copy(out, separator.Text(), static_cast<std::size_t>(separatorLength) * sizeof(char16_t));
      out += separatorLength;
    }
  }
  *out = 0;
  return result;
}

TStringArray TString::Split(const TCharSet& separators) const {
  TStringArray pieces;
  const char16_t* text = Text();
  const std::int32_t length = Length();
  std::int32_t start = 0;
  for (std::int32_t i = 0; i < length; ++i) {
    if (separators.Contains(text[i])) {
      pieces.Append(SubString(start, i));
      start = i + 1;
    }
  }
  pieces.Append(start < length ? SubString(start, length) : TString());
  return pieces;
}

TStringArray TString::SplitAt(char16_t c) const { return Split(TCharSet(c)); }

TStringArray TString::SplitLines() const {
  TStringArray lines;
  const char16_t* text = Text();
  const std::int32_t length = Length();
  std::int32_t start = 0;
  for (std::int32_t i = 0; i < length; ++i) {
    if (text[i] == u'\r' || text[i] == u'\n') {
      lines.Append(SubString(start, i));
      if (text[i] == u'\r' && text[i + 1] == u'\n') ++i;
      start = i + 1;
    }
  }
  lines.Append(start < length ? SubString(start, length) : TString());
  return lines;
}

TString TString::LineBreak() { return TString(u"\r\n"); }

// --- in-place edits --------------------------------------------------------

void TString::MakeUnique() {
  TStringBuffer* old = mBuffer.Get();
  if (!old || old->mCapacity == 0) return;  // the shared empty buffer stays shared
  if (old->ReferenceCount() == 1) return;
  auto* fresh = new TStringBuffer(old->mChars, old->mCapacity);
  TPtr<TStringBuffer> keep(fresh);
  if (fresh->mCapacity == 0) throw TOutOfMemoryException();
  mBuffer = static_cast<TPtr<TStringBuffer>&&>(keep);
}

void TString::Insert(std::int32_t index, const char16_t* text) {
  const std::int32_t n = StringTextLength(text);
  if (n == 0) return;
  const char16_t* own = Text();
  const std::int32_t length = Length();
  if (text >= own && text <= own + length) {
    // The text lies in this string's own buffer: insert a copy of it.
    TString copy(text);
    Insert(index, copy.Text());
    return;
  }
  if (index < 0) index = 0;
  if (index > length) index = length;
  if (static_cast<std::int64_t>(length) + n + 1 > INT32_MAX) TMemory::ThrowOutOfMemory();
  const std::int32_t needed = length + n + 1;
  if (needed <= Capacity()) {
    MakeUnique();
    char16_t* chars = Chars();
    TMemory::Move(chars + index + n, chars + index,
                  static_cast<std::size_t>(length - index + 1) * sizeof(char16_t));
    TMemory::Copy(chars + index, text, static_cast<std::size_t>(n) * sizeof(char16_t));
    chars[length + n] = 0;
    return;
  }
  auto* buffer = new TStringBuffer(nullptr, needed);
  TPtr<TStringBuffer> keep(buffer);
  if (buffer->mCapacity == 0) throw TOutOfMemoryException();
  char16_t* out = buffer->mChars;
  TMemory::Copy(out, own, static_cast<std::size_t>(index) * sizeof(char16_t));
  TMemory::Copy(out + index, text, static_cast<std::size_t>(n) * sizeof(char16_t));
  TMemory::Copy(out + index + n, own + index, static_cast<std::size_t>(length - index) * sizeof(char16_t));
  out[length + n] = 0;
  mBuffer = static_cast<TPtr<TStringBuffer>&&>(keep);
}

void TString::Insert(std::int32_t index, const TString& text) {
  TString keep(text);  // keeps the text alive should it share this buffer
  Insert(index, keep.Text());
}

void TString::Insert(std::int32_t index, char16_t c) {
  const char16_t unit[2] = {c, 0};
  Insert(index, unit);
}

void TString::Remove(std::int32_t from, std::int32_t to) {
  const std::int32_t length = Length();
  if (from < 0) from = 0;
  if (to > length) to = length;
  if (from >= to) return;
  MakeUnique();
  char16_t* chars = Chars();
  TMemory::Move(chars + from, chars + to, static_cast<std::size_t>(length - to + 1) * sizeof(char16_t));
}

void TString::RemoveFirstNoCase(const TString& s) {
  std::int32_t pos = FindNoCase(s, 0, false);
  if (pos != -1) Remove(pos, pos + s.Length());
}

void TString::RemoveLastNoCase(const TString& s) {
  std::int32_t pos = FindNoCase(s, Length() - 1, true);
  if (pos != -1) Remove(pos, pos + s.Length());
}

void TString::Replace(const TString& find, const TString& replacement) {
  if (find.Equals(replacement)) return;
  const TString what(find);
  const TString with(replacement);
  const std::int32_t findLength = what.Length();
  const std::int32_t withLength = with.Length();
  std::int32_t pos = Find(what, 0, false);
  while (pos != -1) {
    Remove(pos, pos + findLength);
    Insert(pos, with);
    pos = Find(what, pos + withLength, false);
  }
}

void TString::ReplaceChar(char16_t from, char16_t to) {
  if (from == to || HoldsSharedEmpty() || CountChar(from) == 0) return;
  MakeUnique();
  for (char16_t* c = Chars(); *c; ++c) {
    if (*c == from) *c = to;
  }
}

void TString::ReplaceLineBreaks() {
  if (HoldsSharedEmpty() || (CountChar(u'\r') == 0 && CountChar(u'\n') == 0)) return;
  MakeUnique();
  for (char16_t* c = Chars(); *c; ++c) {
    if (*c == u'\r' || *c == u'\n') *c = u' ';
  }
}

void TString::SetCharAt(std::int32_t i, char16_t c) {
  if (i < 0 || i >= Length() || Text()[i] == c) return;
  MakeUnique();
  Chars()[i] = c;
}

void TString::ExpandTabs(std::int32_t n) {
  if (CountChar(u'\t') == 0) return;
  Replace(TString(u"\t"), Repeat(TString(u" "), n));
}

void TString::TrimRight() {
  if (HoldsSharedEmpty()) return;
  std::int32_t end = Length();
  const char16_t* text = Text();
  while (end > 0 && (StringIsSpace(text[end - 1]) || text[end - 1] == u'\t')) --end;
  if (end == Length()) return;
  MakeUnique();
  Chars()[end] = 0;
}

void TString::Trim() {
  ExpandTabs(2);
  TrimRight();
  const char16_t* text = Text();
  std::int32_t lead = 0;
  while (text[lead] && (StringIsSpace(text[lead]) || text[lead] == u'\t')) ++lead;
  if (lead) Remove(0, lead);
}
