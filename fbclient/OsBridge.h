// OsBridge - the operating-system calls the client binding and the script
// engine library need: loading a library, reading a file by its UTF-8 name
// and the system's ANSI code page. The engine library does not link the
// updater's operating-system layer, so they live here, in one place, until
// that layer is a library of its own; the UTF-16 conversions they need are
// made only here.
#pragma once

#include <string>
#include <string_view>

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

#ifdef _WIN32
// The system's ANSI code page (GetACP).
unsigned AnsiCodePage();

// The UTF-8 text in the system's ANSI code page. Returns false at the first
// character the code page cannot hold (no best-fit replacement is made),
// with the character's code point in Failed; a byte that is not UTF-8 fails
// as U+FFFD.
bool ToAnsiCodePage(std::string_view Utf8, std::string& Out, char32_t& Failed);
#endif

// The next code point of a UTF-8 text at Pos, which moves past it; a byte
// that does not start a well-formed sequence gives U+FFFD and moves by one.
char32_t NextCodePoint(std::string_view Utf8, std::size_t& Pos);

} // namespace fbclient::sys
