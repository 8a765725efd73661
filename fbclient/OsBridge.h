// OsBridge - the operating-system calls the client binding and the script
// engine library need: loading a library and reading a file by its UTF-8
// name. The engine library does not link the updater's operating-system
// layer, so they live here, in one place, until that layer is a library of
// its own; the UTF-16 conversions they need are made only here.
#pragma once

#include <string>

namespace fbclient::sys {

// A loaded shared library, released when the object goes; move-only.
class SharedLibrary {
public:
  SharedLibrary() = default;
  ~SharedLibrary() { Close(); }
  SharedLibrary(const SharedLibrary&) = delete;
  SharedLibrary& operator=(const SharedLibrary&) = delete;
  SharedLibrary(SharedLibrary&& Other) noexcept : handle_(Other.handle_) { Other.handle_ = nullptr; }
  SharedLibrary& operator=(SharedLibrary&& Other) noexcept;

  // Loads the library by the name given (UTF-8); on failure returns false,
  // holds nothing and puts the system's reason into Why.
  bool Open(const std::string& Name, std::string& Why);
  void Close() noexcept;
  bool Loaded() const { return handle_ != nullptr; }
  // The address of an exported entry; nullptr when there is none.
  void* Symbol(const char* Name) const;

private:
  void* handle_ = nullptr;
};

enum class ReadResult { Done, CannotOpen, CannotRead };

// Reads the whole file named by Path (UTF-8) as bytes into Out.
ReadResult ReadWholeFile(const std::string& Path, std::string& Out);

} // namespace fbclient::sys
