// FaultClientControl - the test's side of the forwarding client library
// (FaultClient.h): the library loaded for the whole campaign, pointed at the
// real client, and its control entries as methods.
#pragma once

#include <string>
#include <vector>

namespace campaign {

// The forwarding client library, loaded by the test for the whole campaign
// so that its count survives the loads and unloads of the runs.
class FaultClient {
public:
  explicit FaultClient(const std::string& Library);
  ~FaultClient();
  FaultClient(const FaultClient&) = delete;
  FaultClient& operator=(const FaultClient&) = delete;
  void Arm(const std::vector<long>& FailAt, long FailFrom);
  long Calls() const;
  long Failed() const;
  std::string CallName(long K) const;
  int CloseLeftOpen();

private:
  void* lib_;
  void* Entry(const char* Name) const;
};

} // namespace campaign
