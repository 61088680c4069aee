// Product information, dates and times as text, and triple comparison.
// Number formatting, templates and code-page conversion are TString
// operations (tstring.h); this file adds what is not tied to one string.
#pragma once

#include <cstdint>

#include "framework/tstring.h"

// Product information used by the templates, the log header and the folder
// names.
TString GetProductName();
TString GetAlphaOrBetaText();
std::int32_t GetVersionMajor();
std::int32_t GetVersionMinor();
std::int32_t GetVersionPatch();
// "V" major "." minor "." patch, e.g. V0.0.1.
TString GetVersionText();
TString GetProductSupportEmail();
TString GetProductHomeURL();
// The build date shown in the version texts.
TString GetBuildDateText();

// A calendar date; all zero means no value.
struct TDate {
  std::int32_t year = 0, month = 0, day = 0;
  static TDate Today();
};
// A time of day; all zero means no value.
struct TTime {
  std::int32_t hour = 0, minute = 0, second = 0;
  static TTime Now();
};

// "2016-12-07"; empty for the no-value date.
TString DateText(const TDate& date);
// "09:05:03"; empty for the no-value time (so also for exactly 00:00:00).
TString TimeText(const TTime& time);

// Lexicographic comparison of two triples (dates, times, version numbers).
bool TripleGreater(std::int32_t a1, std::int32_t a2, std::int32_t a3, std::int32_t b1, std::int32_t b2,
                   std::int32_t b3);
bool TripleLess(std::int32_t a1, std::int32_t a2, std::int32_t a3, std::int32_t b1, std::int32_t b2,
                std::int32_t b3);

// Whether the string system's caches are in use (between StartStringSystem
// and StopStringSystem).
bool StringConstantsReady();
bool StringFormatsReady();
