//===- OsLayer.cpp - the operating-system interface -----------------------===//
//
// Only what is independent of the platform lives here; the calls themselves
// are in Windows/OsLayer.inc and Unix/OsLayer.inc.
//
//===----------------------------------------------------------------------===//
#include "OsLayer.h"

namespace os {
namespace {
Api* current = nullptr;
} // namespace

Api& Native() {
  static Api native;
  return native;
}

Api& Sys() { return current ? *current : Native(); }

ScopedApi::ScopedApi(Api& replacement) : previous_(current) { current = &replacement; }
ScopedApi::~ScopedApi() { current = previous_; }

} // namespace os

#ifdef _WIN32
#include "Windows/OsLayer.inc"
#else
#include "Unix/OsLayer.inc"
#endif
