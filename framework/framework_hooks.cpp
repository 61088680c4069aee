#include "framework/framework_hooks.h"

TFrameworkHooks& FrameworkHooks() {
  static TFrameworkHooks hooks;
  return hooks;
}

bool FrameworkIsMainRunning() {
  auto fn = FrameworkHooks().isMainRunning;
  return fn ? fn() : true;
}

bool FrameworkThreadManagerExists() {
  auto fn = FrameworkHooks().threadManagerExists;
  return fn && fn();
}

std::int32_t FrameworkLogicalThreadId() {
  const TFrameworkHooks& hooks = FrameworkHooks();
  if (!hooks.logicalThreadId || !FrameworkThreadManagerExists()) return -1;
  return hooks.logicalThreadId();
}
