// Result records of the MXF layer (namespace Kumu): a signed value, a message
// (label) and a short upper-case category (symbol).  Negative values are
// failures, 0 is success and positive values are successes with a remark.
//
// Records are plain values over static texts, so they can be copied freely
// between threads.  The codes and their texts are those every caller of the
// track-file library knows; see RESULT_* below.
#pragma once

#include <cstdint>

namespace Kumu {

using byte_t = std::uint8_t;
using i8_t = std::int8_t;
using ui8_t = std::uint8_t;
using i16_t = std::int16_t;
using ui16_t = std::uint16_t;
using i32_t = std::int32_t;
using ui32_t = std::uint32_t;
using i64_t = std::int64_t;
using ui64_t = std::uint64_t;

class Result_t {
 public:
  // Argument order is value, symbol, label; the record stores value, label,
  // symbol.  The texts must outlive the record (string literals in practice).
  constexpr Result_t(int value, const char* symbol, const char* label)
      : value_(value), label_(label ? label : ""), symbol_(symbol ? symbol : "") {}

  constexpr int Value() const { return value_; }
  constexpr const char* Label() const { return label_; }
  constexpr const char* Symbol() const { return symbol_; }
  constexpr bool Success() const { return value_ >= 0; }
  constexpr bool Failure() const { return value_ < 0; }

  constexpr operator int() const { return value_; }
  constexpr operator const char*() const { return label_; }

  // Records compare by value only.
  constexpr bool operator==(const Result_t& other) const { return value_ == other.value_; }
  constexpr bool operator!=(const Result_t& other) const { return value_ != other.value_; }

  // The known record with this value, or RESULT_UNKNOWN.
  static const Result_t& Find(int value);

 private:
  int value_;
  const char* label_;
  const char* symbol_;
};

inline constexpr Result_t RESULT_FALSE(1, "FALSE", "Successful but not true.");
inline constexpr Result_t RESULT_OK(0, "OK", "Success.");
inline constexpr Result_t RESULT_FAIL(-1, "FAIL", "An undefined error was detected.");
inline constexpr Result_t RESULT_PTR(-2, "PTR", "An unexpected NULL pointer was given.");
inline constexpr Result_t RESULT_NULL_STR(-3, "NULL_STR", "An unexpected empty string was given.");
inline constexpr Result_t RESULT_ALLOC(-4, "ALLOC", "Error allocating memory.");
inline constexpr Result_t RESULT_PARAM(-5, "PARAM", "Invalid parameter.");
inline constexpr Result_t RESULT_NOTIMPL(-6, "NOTIMPL", "Unimplemented Feature.");
inline constexpr Result_t RESULT_SMALLBUF(-7, "SMALLBUF", "The given buffer is too small.");
inline constexpr Result_t RESULT_INIT(-8, "INIT", "The object is not yet initialized.");
inline constexpr Result_t RESULT_NOT_FOUND(-9, "NOT_FOUND",
                                           "The requested file does not exist on the system.");
inline constexpr Result_t RESULT_NO_PERM(-10, "NO_PERM",
                                         "Insufficient privilege exists to perform the operation.");
inline constexpr Result_t RESULT_STATE(-11, "STATE", "Object state error.");
inline constexpr Result_t RESULT_CONFIG(-12, "CONFIG", "Invalid configuration option detected.");
inline constexpr Result_t RESULT_FILEOPEN(-13, "FILEOPEN", "File open failure.");
inline constexpr Result_t RESULT_BADSEEK(-14, "BADSEEK", "An invalid file location was requested.");
inline constexpr Result_t RESULT_READFAIL(-15, "READFAIL", "File read error.");
inline constexpr Result_t RESULT_WRITEFAIL(-16, "WRITEFAIL", "File write error.");
inline constexpr Result_t RESULT_ENDOFFILE(-17, "ENDOFFILE", "Attempt to read past end of file.");
inline constexpr Result_t RESULT_FILEEXISTS(-18, "FILEEXISTS", "Filename already exists.");
inline constexpr Result_t RESULT_NOTAFILE(-19, "NOTAFILE", "Filename not found.");
inline constexpr Result_t RESULT_UNKNOWN(-20, "UNKNOWN", "Unknown result code.");
inline constexpr Result_t RESULT_DIR_CREATE(-21, "DIR_CREATE", "Unable to create directory.");
inline constexpr Result_t RESULT_NOT_EMPTY(-22, "NOT_EMPTY", "Unable to delete non-empty directory.");

namespace detail {
constexpr int ResultValue(int v) { return v; }
constexpr int ResultValue(const Result_t& r) { return r.Value(); }
}  // namespace detail

}  // namespace Kumu

// True when a result (or a plain result value) is a success / a failure.
#define KM_SUCCESS(v) (::Kumu::detail::ResultValue(v) >= 0)
#define KM_FAILURE(v) (::Kumu::detail::ResultValue(v) < 0)
