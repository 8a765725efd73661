// FaultClientControl - the forwarding client's control (see FaultClientControl.h).
#include "FaultClientControl.h"

#include "FaultClient.h"
#include "FbTestServer.h"

#include <dlfcn.h>

#include <stdexcept>

namespace campaign {

FaultClient::FaultClient(const std::string& Library) : lib_(dlopen(Library.c_str(), RTLD_NOW | RTLD_LOCAL)) {
  if (!lib_) throw std::runtime_error("cannot load " + Library + ": " + dlerror());
  if (!reinterpret_cast<FaultClientTargetFn>(Entry(kFaultClientTarget))(fbtest::ClientLib().c_str()))
    throw std::runtime_error("the forwarding client cannot load " + fbtest::ClientLib());
}
FaultClient::~FaultClient() { dlclose(lib_); }

void* FaultClient::Entry(const char* Name) const {
  void* e = dlsym(lib_, Name);
  if (!e) throw std::runtime_error(std::string("the forwarding client has no entry ") + Name);
  return e;
}

void FaultClient::Arm(const std::vector<long>& FailAt, long FailFrom) {
  reinterpret_cast<FaultClientArmFn>(Entry(kFaultClientArm))(FailAt.data(), static_cast<int>(FailAt.size()), FailFrom);
}
long FaultClient::Calls() const { return reinterpret_cast<FaultClientCountFn>(Entry(kFaultClientCalls))(); }
long FaultClient::Failed() const { return reinterpret_cast<FaultClientCountFn>(Entry(kFaultClientFailed))(); }
std::string FaultClient::CallName(long K) const {
  return reinterpret_cast<FaultClientCallNameFn>(Entry(kFaultClientCallName))(K);
}
int FaultClient::CloseLeftOpen() {
  return reinterpret_cast<FaultClientCloseLeftOpenFn>(Entry(kFaultClientCloseLeftOpen))();
}

} // namespace campaign
