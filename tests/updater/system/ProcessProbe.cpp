// ProcessProbe - A child program for the process tests.
//   ProcessProbe exit CODE FILE   writes its working folder to FILE, exits with CODE
//   ProcessProbe sleep            waits a minute, to be terminated
//   ProcessProbe env NAME FILE    writes "NAME=value" of its environment, or "NAME unset", to FILE
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

int main(int argc, char** argv) {
  if (argc >= 4 && std::strcmp(argv[1], "exit") == 0) {
    std::u8string cwd = std::filesystem::current_path().u8string();
    std::ofstream(argv[3], std::ios::binary) << std::string(cwd.begin(), cwd.end());
    return std::atoi(argv[2]);
  }
  if (argc >= 4 && std::strcmp(argv[1], "env") == 0) {
    const char* value = std::getenv(argv[2]);
    std::ofstream(argv[3], std::ios::binary) << argv[2] << (value ? std::string("=") + value : std::string(" unset"));
    return 0;
  }
  if (argc >= 2 && std::strcmp(argv[1], "sleep") == 0) {
    std::this_thread::sleep_for(std::chrono::seconds(60));
    return 0;
  }
  return 99;
}
