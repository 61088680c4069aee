// TString: the framework's text type.  A zero-terminated UTF-16 string held
// through a reference-counted buffer with copy on write: copies share one
// buffer, and an in-place edit first copies a shared buffer.  Every empty
// string shares one buffer.
//
// The length is not stored: it is the number of units before the first zero,
// so writing a zero inside the text shortens it.  Case folding and the
// white-space set are fixed (see tstring.cpp), independent of any locale.
#pragma once

#include <cstdint>

#include "framework/arrays.h"
#include "framework/reference_countable.h"

class TString {
 public:
  // A buffer of characters.  The capacity counts 16-bit units including the
  // terminator.
  class TStringBuffer : public TReferenceCountable {
   public:
    // A buffer holding `text` (null: the empty text) with `capacity` units,
    // or exactly its length + 1 when `capacity` is -1 (or too small).  When
    // the characters cannot be had the buffer is left empty with capacity 0.
    TStringBuffer(const char16_t* text, std::int32_t capacity);
    ~TStringBuffer() override;
    static void* operator new(std::size_t size);
    static void operator delete(void* block) noexcept;

    char16_t* mChars;
    std::int32_t mCapacity;

   protected:
    TStringBuffer() noexcept;  // the shared empty buffer
  };

  // The one buffer all empty strings share; made when the string system
  // starts, from the plain runtime heap.
  class TEmptyStringBuffer : public TStringBuffer {
   public:
    TEmptyStringBuffer() noexcept = default;
    static void* operator new(std::size_t size);
    static void operator delete(void* block) noexcept;
  };

  TString() noexcept;
  TString(const TString& other) noexcept = default;
  TString(TString&& other) noexcept = default;
  // 8-bit text: each byte sign-extended to 16 bits (0xE9 gives 0xFFE9).
  explicit TString(const char* text);
  TString(const char16_t* text);  // NOLINT: implicit by design
  ~TString() = default;

  TString& operator=(const TString& other) noexcept;
  TString& operator=(TString&& other) noexcept;
  TString& operator=(const char16_t* text) {
    AssignText(text);
    return *this;
  }

  void Assign(const TString& other) noexcept { *this = other; }
  void MoveAssign(TString&& other) noexcept { *this = static_cast<TString&&>(other); }
  void AssignText(const char16_t* text);
  void SetEmpty() noexcept;
  void Release() noexcept { mBuffer.Release(); }

  // --- queries ---
  // The characters, zero-terminated (never null).
  const char16_t* Text() const noexcept;
  std::int32_t Length() const noexcept;
  bool IsEmpty() const noexcept { return Text()[0] == 0; }
  // Unit i; 0 for an index outside the string.
  char16_t CharAt(std::int32_t i) const noexcept;
  bool Equals(const TString& other) const noexcept;
  bool NotEquals(const TString& other) const noexcept { return !Equals(other); }
  bool EqualsText(const char16_t* text) const noexcept;
  // Case-insensitive order: <0, 0 or >0.
  std::int32_t CompareNoCase(const TString& other) const noexcept;
  bool EqualsNoCase(const TString& other) const noexcept { return CompareNoCase(other) == 0; }
  bool StartsWith(char16_t c) const noexcept;
  bool EndsWith(char16_t c) const noexcept;
  bool StartsWithText(const TString& prefix) const noexcept;
  bool StartsWithNoCase(const TString& prefix) const noexcept;
  std::int32_t CountChar(char16_t c) const noexcept;
  std::int32_t Find(const TString& needle, std::int32_t start, bool backward = false) const noexcept;
  std::int32_t FindNoCase(const TString& needle, std::int32_t start, bool backward = false) const noexcept;
  // The capacity of the buffer (0 for the shared empty one).
  std::int32_t Capacity() const noexcept;
  // Whether two strings share one buffer.
  bool SharesBufferWith(const TString& other) const noexcept { return mBuffer.Get() == other.mBuffer.Get(); }
  bool operator==(const TString& other) const noexcept { return Equals(other); }

  // --- new strings ---
  TString SubString(std::int32_t from, std::int32_t to) const;
  static TString Concat(const TString& left, const TString& right);
  static TString ConcatText(const TString& left, const char16_t* right);
  static TString ConcatTemporary(TString&& left, const TString& right);
  static TString Repeat(const TString& s, std::int32_t n);
  static TString Join(const TStringArray& array, const TString& separator);
  TStringArray Split(const TCharSet& separators) const;
  TStringArray SplitAt(char16_t c) const;
  TStringArray SplitLines() const;
  static TString LineBreak();

  // --- in-place edits ---
  // Inserts at `index` (limited to 0..length).
  void Insert(std::int32_t index, const char16_t* text);
  void Insert(std::int32_t index, const TString& text);
  void Insert(std::int32_t index, char16_t c);
  void Append(const TString& text) { Insert(Length(), text); }
  void AppendText(const char16_t* text) { Insert(Length(), text); }
  void AppendChar(char16_t c) { Insert(Length(), c); }
  // Removes units [from, to) (limited to the string).
  void Remove(std::int32_t from, std::int32_t to);
  void RemoveFirstNoCase(const TString& s);
  void RemoveLastNoCase(const TString& s);
  void Replace(const TString& find, const TString& replacement);
  void ReplaceChar(char16_t from, char16_t to);
  void ReplaceLineBreaks();
  // Unit i := c; nothing for an index outside the string.
  void SetCharAt(std::int32_t i, char16_t c);
  void ExpandTabs(std::int32_t n);
  void TrimRight();
  void Trim();

  // Makes the buffer this string's own (copies a shared one).
  void MakeUnique();

  // --- formatting, templates and code pages (text.cpp) ---
  static TString FormatValue(const TString& format, std::int32_t value);
  static TString FormatValue(const TString& format, std::uint32_t value);
  static TString FormatValue(const TString& format, std::int64_t value);
  static TString FormatValue(const TString& format, std::uint64_t value);
  static TString FormatValue(const TString& format, double value);
  static TString FromInt(std::int32_t value, const TString& format);
  static TString FromInt(std::int32_t value) { return FromInt(value, DefaultIntegerFormat()); }
  static TString FromByte(std::uint8_t value, const TString& format);
  static TString DefaultIntegerFormat();
  static TString DefaultUnsignedFormat();
  // Reads one number of the format's conversion from the text; the count of
  // fields read (0 or 1).
  static std::int32_t Scan(const TString& text, const TString& format, std::int32_t* destination);
  static bool ToInt(const TString& text, const TString& format, std::int32_t* destination);
  static std::int32_t ToIntOr0(const TString& text, const TString& format);
  static TString ExpandTemplates(const TString& text);
  // 8-bit text in an encoding: 0, 1 and anything unknown: the system's 8-bit
  // code page (UTF-8 on this platform); 2: 7-bit text; 3: UTF-8.
  static TString FromNarrow(const char* text, std::int32_t encoding);
  // Zero-terminated 8-bit text in the calling thread's conversion ring: it
  // stays valid through the next three conversions on the same thread.
  const char* ToNarrow(std::int32_t encoding) const;
  // The 8-bit text, without terminator, in `array`.
  void ToNarrowArray(TByteArray& array, std::int32_t encoding) const;

 private:
  // Installs a fresh buffer (checking it got storage).
  void Install(TStringBuffer* buffer);
  bool HoldsSharedEmpty() const noexcept;
  char16_t* Chars() noexcept;

  TPtr<TStringBuffer> mBuffer;
};

// Fixed case folding and white space of the string routines.
char16_t StringFoldCase(char16_t c) noexcept;
bool StringIsSpace(char16_t c) noexcept;
// Length of a zero-terminated 16-bit text (0 for null).
std::int32_t StringTextLength(const char16_t* text) noexcept;

// Starts and stops the string system: the shared empty buffer, the cache of
// constant strings and formats, and the conversion ring.
void StartStringSystem();
void StopStringSystem();
