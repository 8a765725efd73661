// EmbeddedResourcesTest - the resources of the updater program, linked into this test program as
// the program links them, read back with the Win32 resource calls under
// Wine: every named resource is the built file under its type and name, in
// Russian; the pictures are the 24-bit bitmaps the window loads; the icon,
// the version and the manifest are what the system reads from the program.
#include <gtest/gtest.h>

#include "UpdaterResourceIds.h"
#include "os/WindowsSupport.h"


#include <cctype>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

const WORD Russian = MAKELANGID(LANG_RUSSIAN, SUBLANG_DEFAULT);

struct Embedded {
  const wchar_t* Type;
  const wchar_t* Name; // as the program asks for it
  const char* File;    // the file of this build it was made from
  const char* Magic;   // how such a file begins
};

const Embedded Resources[] = {
    {L"EXEFILE", L"files", RES_FILE_FILES_EXE, "MZ"},
    {L"EXEFILE", L"files_g", RES_FILE_FILES_G_EXE, "MZ"},
    {L"EXEFILE", L"files_gc", RES_FILE_FILES_GC_EXE, "MZ"},
    {L"DLL", L"fbclient", RES_FILE_FBCLIENT_DLL, "MZ"},
    {L"DLL", L"sqlscript", RES_FILE_SQLSCRIPT_DLL, "MZ"},
    {L"HELP", L"help", RES_FILE_HELP_CHM, "ITSF"},
    {L"IMAGES", L"logotype", RES_FILE_LOGOTYPE_BMP, "BM"},
    {L"IMAGES", L"Success", RES_FILE_SUCCESS_BMP, "BM"},
    {L"IMAGES", L"Errors", RES_FILE_ERRORS_BMP, "BM"},
};

std::string Narrow(const wchar_t* w) { return os::win::Narrow(w, std::wcslen(w)); }

std::vector<char> ReadFile(const char* Path) {
  std::ifstream in(Path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The bytes of a resource of this program, empty when it is missing.
std::vector<char> Bytes(const wchar_t* Type, const wchar_t* Name, WORD Language) {
  HRSRC info = FindResourceExW(nullptr, Type, Name, Language);
  if (!info) return {};
  HGLOBAL loaded = LoadResource(nullptr, info);
  const char* data = static_cast<const char*>(LockResource(loaded));
  return data ? std::vector<char>(data, data + SizeofResource(nullptr, info)) : std::vector<char>{};
}

TEST(EmbeddedResources, EachIsTheBuiltFileUnderItsTypeAndNameInRussian) {
  for (const Embedded& r : Resources) {
    SCOPED_TRACE(Narrow(r.Type) + " " + Narrow(r.Name));
    const std::vector<char> file = ReadFile(r.File);
    ASSERT_FALSE(file.empty()) << "cannot read " << r.File;
    HRSRC info = FindResourceW(nullptr, r.Name, r.Type);
    ASSERT_NE(info, nullptr) << "error " << GetLastError();
    EXPECT_EQ(SizeofResource(nullptr, info), file.size());
    const std::vector<char> bytes = Bytes(r.Type, r.Name, Russian);
    ASSERT_EQ(bytes.size(), file.size());
    EXPECT_TRUE(bytes == file) << "the resource differs from " << r.File;
    EXPECT_EQ(std::string(bytes.data(), std::strlen(r.Magic)), r.Magic);
  }
}

BOOL CALLBACK CollectName(HMODULE, LPCWSTR, LPWSTR Name, LONG_PTR Out) {
  reinterpret_cast<std::set<std::string>*>(Out)->insert(
      IS_INTRESOURCE(Name) ? "#" + std::to_string(reinterpret_cast<ULONG_PTR>(Name)) : Narrow(Name));
  return TRUE;
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD Language, LONG_PTR Out) {
  reinterpret_cast<std::vector<WORD>*>(Out)->push_back(Language);
  return TRUE;
}

// The names are stored in upper case, each type holds exactly the resources
// of the table, and each resource exists in Russian only.
TEST(EmbeddedResources, TypesHoldExactlyTheirUpperCaseNamesInRussianOnly) {
  struct Names {
    const wchar_t* Type;
    std::set<std::string> Expected;
  };
  const Names types[] = {
      {L"EXEFILE", {"FILES", "FILES_G", "FILES_GC"}},
      {L"DLL", {"FBCLIENT", "SQLSCRIPT"}},
      {L"HELP", {"HELP"}},
      {L"IMAGES", {"ERRORS", "LOGOTYPE", "SUCCESS"}},
  };
  for (const Names& t : types) {
    SCOPED_TRACE(Narrow(t.Type));
    std::set<std::string> found;
    EnumResourceNamesW(nullptr, t.Type, CollectName, reinterpret_cast<LONG_PTR>(&found));
    EXPECT_EQ(found, t.Expected);
    for (const std::string& name : found) {
      std::vector<WORD> languages;
      EnumResourceLanguagesW(nullptr, t.Type, os::win::Widen(name).c_str(), CollectLanguage,
                             reinterpret_cast<LONG_PTR>(&languages));
      EXPECT_EQ(languages, std::vector<WORD>{1049}) << name;
    }
  }
}

// The pictures are uncompressed 24-bit bitmap files of the sizes the window
// draws, GDI makes bitmaps of them, and the outcome pictures are what they
// say: a green disc for success, a red one for errors, on white.
TEST(EmbeddedResources, PicturesAre24BitBitmapsTheWindowCanDraw) {
  struct Picture {
    const wchar_t* Name;
    LONG Width, Height;
    COLORREF Disc; // the dominant colour near the top of the disc; 0: not an outcome picture
  };
  const Picture pictures[] = {
      {L"logotype", 472, 144, 0},
      {L"Success", 41, 41, RGB(0, 255, 0)},
      {L"Errors", 41, 41, RGB(255, 0, 0)},
  };
  HDC screen = GetDC(nullptr);
  for (const Picture& p : pictures) {
    SCOPED_TRACE(Narrow(p.Name));
    const std::vector<char> bytes = Bytes(L"IMAGES", p.Name, Russian);
    ASSERT_GE(bytes.size(), sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER));
    BITMAPFILEHEADER file;
    BITMAPINFOHEADER info;
    std::memcpy(&file, bytes.data(), sizeof file);
    std::memcpy(&info, bytes.data() + sizeof file, sizeof info);
    const std::size_t stride = (static_cast<std::size_t>(p.Width) * 3 + 3) / 4 * 4;
    EXPECT_EQ(file.bfType, 0x4D42);
    EXPECT_EQ(file.bfSize, bytes.size());
    EXPECT_EQ(file.bfOffBits, sizeof file + sizeof info);
    EXPECT_EQ(info.biSize, sizeof info);
    EXPECT_EQ(info.biWidth, p.Width);
    EXPECT_EQ(info.biHeight, p.Height); // bottom-up rows
    EXPECT_EQ(info.biPlanes, 1);
    EXPECT_EQ(info.biBitCount, 24);
    EXPECT_EQ(info.biCompression, static_cast<DWORD>(BI_RGB));
    ASSERT_EQ(bytes.size(), file.bfOffBits + stride * p.Height);

    const char* bits = bytes.data() + file.bfOffBits;
    HBITMAP bitmap = CreateDIBitmap(screen, &info, CBM_INIT, bits, reinterpret_cast<const BITMAPINFO*>(&info),
                                    DIB_RGB_COLORS);
    ASSERT_NE(bitmap, nullptr);
    BITMAP made{};
    GetObjectW(bitmap, sizeof made, &made);
    EXPECT_EQ(made.bmWidth, p.Width);
    EXPECT_EQ(made.bmHeight, p.Height);
    DeleteObject(bitmap);

    if (p.Disc) {
      // Pixel (x, y) counted from the top; stored blue, green, red.
      auto pixel = [&](int x, int y) {
        const unsigned char* px =
            reinterpret_cast<const unsigned char*>(bits) + (p.Height - 1 - y) * stride + x * 3;
        return RGB(px[2], px[1], px[0]);
      };
      const COLORREF corner = pixel(0, 0);
      EXPECT_EQ(corner, RGB(255, 255, 255));
      const COLORREF disc = pixel(p.Width / 2, 6);
      const int r = GetRValue(disc), g = GetGValue(disc), b = GetBValue(disc);
      if (GetGValue(p.Disc)) {
        EXPECT_GT(g, r + 60);
        EXPECT_GT(g, b + 60);
      } else {
        EXPECT_GT(r, g + 100);
        EXPECT_GT(r, b + 100);
      }
    }
  }
  ReleaseDC(nullptr, screen);
}

// The program's icon holds the 48, 32 and 16 pixel images, and the system
// loads each size from it.
TEST(EmbeddedResources, IconHasTheThreeSizes) {
  const std::vector<char> group = Bytes(RT_GROUP_ICON, MAKEINTRESOURCEW(IDI_UPDATER_TAMBER), Russian);
  ASSERT_GE(group.size(), 6u);
  WORD count = 0;
  std::memcpy(&count, group.data() + 4, sizeof count);
  ASSERT_EQ(group.size(), 6u + 14u * count);
  std::set<int> sizes;
  for (WORD i = 0; i < count; ++i) {
    const unsigned char* entry = reinterpret_cast<const unsigned char*>(group.data()) + 6 + 14 * i;
    EXPECT_EQ(entry[0], entry[1]); // square
    sizes.insert(entry[0]);
  }
  EXPECT_EQ(sizes, (std::set<int>{16, 32, 48}));
  for (int size : {16, 32, 48}) {
    HICON icon = static_cast<HICON>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_UPDATER_TAMBER), IMAGE_ICON, size, size, 0));
    ASSERT_NE(icon, nullptr) << size;
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    BITMAP colour{};
    GetObjectW(info.hbmColor, sizeof colour, &colour);
    EXPECT_EQ(colour.bmWidth, size);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(icon);
  }
}

std::wstring VersionString(const std::vector<char>& Block, const wchar_t* Key) {
  void* value = nullptr;
  UINT length = 0;
  const std::wstring path = std::wstring(L"\\StringFileInfo\\041904B0\\") + Key;
  if (!VerQueryValueW(Block.data(), path.c_str(), &value, &length) || length == 0) return {};
  return static_cast<const wchar_t*>(value);
}

TEST(EmbeddedResources, VersionNamesTheProductAndVersion1000) {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  const DWORD size = GetFileVersionInfoSizeW(self, nullptr);
  ASSERT_GT(size, 0u);
  std::vector<char> block(size);
  ASSERT_TRUE(GetFileVersionInfoW(self, 0, size, block.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(0, 1));
  EXPECT_EQ(fixed->dwFileVersionLS, 0u);
  EXPECT_EQ(fixed->dwProductVersionMS, MAKELONG(0, 1));
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
  EXPECT_EQ(VersionString(block, L"ProductName"), L"Updater_Tamber");
  EXPECT_EQ(VersionString(block, L"OriginalFilename"), L"Updater_Tamber.exe");
  EXPECT_EQ(VersionString(block, L"FileVersion"), L"1.0.0.0");
  EXPECT_NE(VersionString(block, L"FileDescription").find(L"Firebird"), std::wstring::npos);
  WORD* translation = nullptr;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                             &length));
  ASSERT_EQ(length, 4u);
  EXPECT_EQ(translation[0], 0x0419);
  EXPECT_EQ(translation[1], 1200);
}

// The manifest asks for administrator rights, the common controls of version
// 6 and DPI awareness, and the system applies it.
TEST(EmbeddedResources, ManifestAsksForAdministratorCommonControls6AndDpiAwareness) {
  const std::vector<char> bytes = Bytes(RT_MANIFEST, CREATEPROCESS_MANIFEST_RESOURCE_ID,
                                        MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
  ASSERT_FALSE(bytes.empty());
  const std::string text(bytes.begin(), bytes.end());
  for (const char* part :
       {"level=\"requireAdministrator\"", "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
        "<dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">true</dpiAware>",
        "<assemblyIdentity type=\"win32\" name=\"Updater_Tamber\" version=\"1.0.0.0\""})
    EXPECT_NE(text.find(part), std::string::npos) << part;

  // With the manifest applied the system loads the common controls from the
  // side-by-side assembly of version 6, not the version 5 library of the
  // system folder (Wine's library reports version 5 in both places, so the
  // folder is what tells them apart).
  HMODULE comctl = LoadLibraryW(L"comctl32.dll");
  ASSERT_NE(comctl, nullptr);
  wchar_t where[MAX_PATH];
  ASSERT_GT(GetModuleFileNameW(comctl, where, MAX_PATH), 0u);
  std::string path = Narrow(where);
  for (char& c : path) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_NE(path.find("microsoft.windows.common-controls_6595b64144ccf1df_6.0."), std::string::npos) << path;
  FreeLibrary(comctl);
}

} // namespace
