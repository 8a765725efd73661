// LibraryHostTest - UDF_Marklet as a host sees it: the built library is loaded by name from
// the test's own folder and its one export is called, as the database server
// does. Natively the library uses the system's libib_util; under Windows it
// finds a stand-in ib_util.dll beside it that records the allocations.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#if defined(_WIN32)
#include "os/WindowsSupport.h"
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace {

using GetBarcodeFn = char* (*)(const char*);

const char Worked[] = "_1000009B71IP4?0D4";
const char WorkedInput[] = "15,3,200,0,2,0,0,1,2,0,123456,5,0,0,0,7,9,1";

#if defined(_WIN32)

std::wstring OwnFolder() {
  wchar_t path[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring s(path, n);
  return s.substr(0, s.find_last_of(L"\\/") + 1);
}

// A function of Module by name, as type F (through the generic function
// pointer type, so the compiler does not compare the signatures).
template <class F> F Proc(HMODULE Module, const char* Name) {
  return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(Module, Name)));
}

class Library {
public:
  Library() {
    module_ = LoadLibraryW((OwnFolder() + L"UDF_Marklet.dll").c_str());
    if (module_) get_ = Proc<GetBarcodeFn>(module_, "UDF_Get_Barcode");
    // The stand-in ib_util.dll was loaded as UDF_Marklet's import.
    HMODULE util = GetModuleHandleW(L"ib_util.dll");
    if (util) {
      count_ = Proc<long (*)()>(util, "StandIn_Count");
      lastSize_ = Proc<long (*)()>(util, "StandIn_LastSize");
      free_ = Proc<void (*)(void*)>(util, "StandIn_Free");
    }
  }
  ~Library() {
    if (module_) FreeLibrary(module_);
  }
  bool Loaded() const { return get_ && count_ && lastSize_ && free_; }
  GetBarcodeFn Get() const { return get_; }
  long Allocations() const { return count_(); }
  long LastSize() const { return lastSize_(); }
  void Free(char* p) const { free_(p); }
  bool RecordsAllocations() const { return true; }

private:
  HMODULE module_ = nullptr;
  GetBarcodeFn get_ = nullptr;
  long (*count_)() = nullptr;
  long (*lastSize_)() = nullptr;
  void (*free_)(void*) = nullptr;
};

#else

std::string OwnFolder() {
  std::string path(4096, '\0');
  ssize_t n = readlink("/proc/self/exe", path.data(), path.size());
  path.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return path.substr(0, path.find_last_of('/') + 1);
}

class Library {
public:
  Library() {
    module_ = dlopen((OwnFolder() + "UDF_Marklet.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module_) get_ = reinterpret_cast<GetBarcodeFn>(dlsym(module_, "UDF_Get_Barcode"));
  }
  ~Library() {
    if (module_) dlclose(module_);
  }
  bool Loaded() const { return get_ != nullptr; }
  GetBarcodeFn Get() const { return get_; }
  // The system's ib_util_malloc takes its memory from malloc outside a server.
  void Free(char* p) const { std::free(p); }
  long Allocations() const { return 0; }
  long LastSize() const { return 0; }
  bool RecordsAllocations() const { return false; }

private:
  void* module_ = nullptr;
  GetBarcodeFn get_ = nullptr;
};

#endif

class LibraryHost : public ::testing::Test {
protected:
  Library lib;
  void SetUp() override { ASSERT_TRUE(lib.Loaded()) << "UDF_Marklet or its ib_util did not load"; }
  // The call's text, or "<NULL>".
  std::string Call(const char* Input) {
    char* result = lib.Get()(Input);
    if (!result) return "<NULL>";
    std::string text = result;
    lib.Free(result);
    return text;
  }
};

} // namespace

TEST_F(LibraryHost, ReturnsTheBarcodeInAHostBufferOfItsLengthPlusOne) {
  struct Case {
    const char *Input, *Expected;
  } cases[] = {
      {WorkedInput, Worked},
      {"15 3 200 0 2 0 0 1 2 0 123456 5 0 0 0 7 9 1", Worked},
      {"7,3,0,0,0,0,0,0,0,0,123456,5,0,0,0,0,0,1", "W18a3051"},
  };
  for (const Case& c : cases) {
    long before = lib.Allocations();
    EXPECT_EQ(Call(c.Input), c.Expected) << c.Input;
    if (lib.RecordsAllocations()) {
      EXPECT_EQ(lib.Allocations(), before + 1);
      EXPECT_EQ(lib.LastSize(), static_cast<long>(std::string(c.Expected).size() + 1));
    }
  }
}

TEST_F(LibraryHost, ReturnsNullForEveryFailureWithoutAllocating) {
  std::string longText(1 << 20, '7');
  std::string highBytes = "\xC0\xFF\x80,\xEF\xBB\xBF,15,3";
  const char* cases[] = {
      "",                                               // no fields
      "15,3,200,0,2,0,0,1,2,0,123456,5,0,0,0,7,9",      // 17 fields
      "15,3,200,0,2,0,0,1,2,0,123456,5,0,0,0,7,,1",     // empty field
      "15,3,20x,0,2,0,0,1,2,0,123456,5,0,0,0,7,9,1",    // not an integer
      "15,3,200,0,2,0,0,1,2,0,4294967296,5,0,0,0,7,9,1",// outside 32 bits
      "15,3,256,0,2,0,0,1,2,0,123456,5,0,0,0,7,9,1",    // too wide
      "15,3,200,0,2,0,0,1,2,0,-1,5,0,0,0,7,9,1",        // negative
      "\"unclosed",
      longText.c_str(),
      highBytes.c_str(),
  };
  long before = lib.Allocations();
  for (const char* input : cases) EXPECT_EQ(Call(input), "<NULL>") << std::string(input).substr(0, 60);
  EXPECT_EQ(lib.Get()(nullptr), nullptr);
  EXPECT_EQ(lib.Allocations(), before);
}

TEST_F(LibraryHost, AnswersSeveralThreadsAtOnce) {
  constexpr int threads = 8, calls = 2000;
  std::atomic<int> wrong{0};
  std::vector<std::thread> pool;
  for (int t = 0; t < threads; ++t)
    pool.emplace_back([&, t] {
      for (int i = 0; i < calls; ++i) {
        // Good and bad inputs mixed, so failures unwind while others encode.
        bool good = (i + t) % 3 != 0;
        char* result = lib.Get()(good ? WorkedInput : "15,3,256");
        if (good ? (!result || std::string(result) != Worked) : result != nullptr) ++wrong;
        if (result) lib.Free(result);
      }
    });
  for (auto& th : pool) th.join();
  EXPECT_EQ(wrong.load(), 0);
}
