// Shared set-up of the framework tests: the string system runs for every
// test (started by a global test environment), and HooksGuard restores the
// framework hooks a test installs.
#pragma once

#include <gtest/gtest.h>

#include "framework/framework_hooks.h"

class HooksGuard {
 public:
  HooksGuard() : mSaved(FrameworkHooks()) {}
  ~HooksGuard() { FrameworkHooks() = mSaved; }
  HooksGuard(const HooksGuard&) = delete;
  HooksGuard& operator=(const HooksGuard&) = delete;

 private:
  TFrameworkHooks mSaved;
};

// A fixture whose tests may change the hooks freely.
class FrameworkTest : public ::testing::Test {
 private:
  HooksGuard mGuard;
};
