// uHost - the host in force and the kinds of error.
#include "uHost.h"

namespace {
IHost* current = nullptr;
} // namespace

void SetHost(IHost& Host) { current = &Host; }

IHost& Host() {
  if (!current) throw std::logic_error("no host is set for the updater's units");
  return *current;
}

void ProcessMessages() {
  if (current) current->ProcessMessages();
}

ScopedHost::ScopedHost(IHost& Host) : previous_(current) { current = &Host; }
ScopedHost::~ScopedHost() { current = previous_; }

TErrorKind ErrorKindOf(const std::exception& E) {
  if (dynamic_cast<const EAbort*>(&E)) return TErrorKind::SilentAbort;
  const char* message = E.what();
  return message == nullptr || *message == '\0' ? TErrorKind::AlreadyLogged : TErrorKind::Shown;
}
