// TestHosts - the temporary folder and file helpers of the test doubles (see TestHosts.h).
#include "TestHosts.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <random>
#include <sstream>

namespace fs = std::filesystem;

TempDir::TempDir(const std::string& Base) {
  static std::atomic<unsigned> counter{0};
  std::mt19937_64 rng(static_cast<unsigned long long>(
      std::chrono::steady_clock::now().time_since_epoch().count()));
  for (;;) {
    fs::path base = Base.empty() ? fs::temp_directory_path() : fs::absolute(fs::u8path(Base)).lexically_normal();
    fs::path p = base /
                 ("updater-test-" + std::to_string(rng() % 1000000000ULL) + "-" + std::to_string(counter++));
    std::error_code ec;
    if (fs::create_directory(p, ec)) {
      path_ = p.make_preferred().string();
      return;
    }
  }
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(fs::path(path_), ec);
}

std::string ReadFileBytes(const std::string& Path) {
  std::ifstream f(fs::path(Path), std::ios::binary);
  if (!f) return "<missing>";
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

std::string WithoutCause(const std::string& Message, const std::string& Path) {
  const std::size_t cr = Message.rfind('\r');
  if (cr != std::string::npos && Message.find(" \"" + Path, cr) != std::string::npos)
    return Message.substr(0, cr);
  return "<no cause naming " + Path + "> " + Message;
}
