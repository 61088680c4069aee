// Location of the shared real test files (made by other tools).
#pragma once

#include <filesystem>
#include <string>

// Path of a file or folder under the shared test data, or empty when absent.
inline std::string testDataPath(const std::string& relative) {
  std::filesystem::path p = std::filesystem::path(DCP_TESTDATA_DIR) / relative;
  return std::filesystem::exists(p) ? p.string() : std::string();
}

// Use at the top of a test: skips it with a clear message when the file is absent.
#define REQUIRE_TESTDATA(var, relative)           \
  const std::string var = testDataPath(relative); \
  if (var.empty())                                \
  GTEST_SKIP() << "test data " << (relative) << " is absent (expected under " << DCP_TESTDATA_DIR << ")"
