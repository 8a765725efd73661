// Pictures - screenshots, PNG files and their comparison (see Pictures.h).
#include "Pictures.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

namespace {

// A channel that differs by no more than this is the same: font smoothing
// and the halftone stretch of a picture may move a value by a little.
constexpr int kChannelTolerance = 48;

//--- PNG --------------------------------------------------------------------------------

const std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

void PutBig32(std::string& Out, std::uint32_t V) {
  for (int shift = 24; shift >= 0; shift -= 8) Out += static_cast<char>((V >> shift) & 0xFF);
}
std::uint32_t Big32(const std::uint8_t* P) {
  return (std::uint32_t(P[0]) << 24) | (std::uint32_t(P[1]) << 16) | (std::uint32_t(P[2]) << 8) | P[3];
}

void PutChunk(std::string& Out, const char* Type, const std::string& Data) {
  PutBig32(Out, static_cast<std::uint32_t>(Data.size()));
  const std::string typed = std::string(Type, 4) + Data;
  Out += typed;
  PutBig32(Out, static_cast<std::uint32_t>(
                    crc32(0, reinterpret_cast<const Bytef*>(typed.data()), static_cast<uInt>(typed.size()))));
}

int Paeth(int A, int B, int C) {
  const int p = A + B - C, pa = std::abs(p - A), pb = std::abs(p - B), pc = std::abs(p - C);
  if (pa <= pb && pa <= pc) return A;
  return pb <= pc ? B : C;
}

// Row filtering of PNG: Filter applied to Row (Bpp bytes a pixel) against
// the row above (Prior, zeros for the first row), or undone.
void Filter(int Type, const std::uint8_t* Row, const std::uint8_t* Prior, size_t Length, int Bpp,
            std::uint8_t* Out) {
  for (size_t i = 0; i < Length; ++i) {
    const int a = i >= static_cast<size_t>(Bpp) ? Row[i - Bpp] : 0, b = Prior[i],
              c = i >= static_cast<size_t>(Bpp) ? Prior[i - Bpp] : 0;
    const int predictor = Type == 1 ? a : Type == 2 ? b : Type == 3 ? (a + b) / 2 : Type == 4 ? Paeth(a, b, c) : 0;
    Out[i] = static_cast<std::uint8_t>(Row[i] - predictor);
  }
}
void Unfilter(int Type, std::uint8_t* Row, const std::uint8_t* Prior, size_t Length, int Bpp) {
  for (size_t i = 0; i < Length; ++i) {
    const int a = i >= static_cast<size_t>(Bpp) ? Row[i - Bpp] : 0, b = Prior[i],
              c = i >= static_cast<size_t>(Bpp) ? Prior[i - Bpp] : 0;
    const int predictor = Type == 1 ? a : Type == 2 ? b : Type == 3 ? (a + b) / 2 : Type == 4 ? Paeth(a, b, c) : 0;
    Row[i] = static_cast<std::uint8_t>(Row[i] + predictor);
  }
}

} // namespace

//--- The screen and bitmap files --------------------------------------------------------------

Picture CaptureScreen(const RECT& Area) {
  Picture p;
  p.Width = Area.right - Area.left;
  p.Height = Area.bottom - Area.top;
  if (p.Empty()) return {};
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = p.Width;
  info.bmiHeader.biHeight = -p.Height; // rows from the top
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (dib && memory) {
    HGDIOBJ previous = SelectObject(memory, dib);
    BitBlt(memory, 0, 0, p.Width, p.Height, screen, Area.left, Area.top, SRCCOPY);
    GdiFlush();
    p.Rgb.resize(static_cast<size_t>(p.Width) * p.Height * 3);
    const auto* bgrx = static_cast<const std::uint8_t*>(bits);
    for (size_t i = 0, n = static_cast<size_t>(p.Width) * p.Height; i < n; ++i) {
      p.Rgb[i * 3] = bgrx[i * 4 + 2];
      p.Rgb[i * 3 + 1] = bgrx[i * 4 + 1];
      p.Rgb[i * 3 + 2] = bgrx[i * 4];
    }
    SelectObject(memory, previous);
  }
  if (dib) DeleteObject(dib);
  if (memory) DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  if (p.Rgb.empty()) return {};
  return p;
}

Picture Crop(const Picture& From, const RECT& Area) {
  Picture p;
  const RECT r{std::max(0L, Area.left), std::max(0L, Area.top), std::min<LONG>(From.Width, Area.right),
               std::min<LONG>(From.Height, Area.bottom)};
  p.Width = std::max(0L, r.right - r.left);
  p.Height = std::max(0L, r.bottom - r.top);
  for (int y = 0; y < p.Height; ++y)
    for (int x = 0; x < p.Width; ++x) {
      const std::uint8_t* px = From.At(r.left + x, r.top + y);
      p.Rgb.insert(p.Rgb.end(), px, px + 3);
    }
  return p;
}

Picture ReadBmp(const std::filesystem::path& File) {
  std::ifstream f(File, std::ios::binary);
  const std::string data((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  BITMAPFILEHEADER file;
  BITMAPINFOHEADER info;
  if (data.size() < sizeof file + sizeof info) return {};
  std::memcpy(&file, data.data(), sizeof file);
  std::memcpy(&info, data.data() + sizeof file, sizeof info);
  if (file.bfType != 0x4D42 || info.biBitCount != 24 || info.biCompression != BI_RGB) return {};
  Picture p;
  p.Width = info.biWidth;
  p.Height = std::abs(info.biHeight);
  const size_t stride = (static_cast<size_t>(p.Width) * 3 + 3) & ~size_t(3);
  if (data.size() < file.bfOffBits + stride * p.Height) return {};
  p.Rgb.resize(static_cast<size_t>(p.Width) * p.Height * 3);
  for (int y = 0; y < p.Height; ++y) {
    const int row = info.biHeight > 0 ? p.Height - 1 - y : y; // bottom-up unless the height is negative
    const auto* src = reinterpret_cast<const std::uint8_t*>(data.data() + file.bfOffBits + stride * row);
    for (int x = 0; x < p.Width; ++x) {
      std::uint8_t* px = p.At(x, y);
      px[0] = src[x * 3 + 2];
      px[1] = src[x * 3 + 1];
      px[2] = src[x * 3];
    }
  }
  return p;
}

//--- PNG files --------------------------------------------------------------------------------

bool WritePng(const std::filesystem::path& File, const Picture& P) {
  if (P.Empty()) return false;
  // Each row with the filter that leaves the smallest sum of bytes, as PNG
  // encoders choose them.
  const size_t stride = static_cast<size_t>(P.Width) * 3;
  std::string raw;
  raw.reserve((stride + 1) * P.Height);
  std::vector<std::uint8_t> zero(stride, 0), candidate(stride), best(stride);
  for (int y = 0; y < P.Height; ++y) {
    const std::uint8_t* row = P.At(0, y);
    const std::uint8_t* prior = y ? P.At(0, y - 1) : zero.data();
    long bestSum = -1;
    int bestType = 0;
    for (int type = 0; type <= 4; ++type) {
      Filter(type, row, prior, stride, 3, candidate.data());
      long sum = 0;
      for (std::uint8_t v : candidate) sum += v < 128 ? v : 256 - v;
      if (bestSum < 0 || sum < bestSum) {
        bestSum = sum;
        bestType = type;
        best = candidate;
      }
    }
    raw += static_cast<char>(bestType);
    raw.append(reinterpret_cast<const char*>(best.data()), stride);
  }
  uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
  std::string packed(packedSize, '\0');
  if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize, reinterpret_cast<const Bytef*>(raw.data()),
                static_cast<uLong>(raw.size()), Z_BEST_COMPRESSION) != Z_OK)
    return false;
  packed.resize(packedSize);

  std::string header;
  PutBig32(header, static_cast<std::uint32_t>(P.Width));
  PutBig32(header, static_cast<std::uint32_t>(P.Height));
  header += std::string("\x08\x02\x00\x00\x00", 5); // 8 bits, RGB, deflate, filters, no interlace
  std::string out(reinterpret_cast<const char*>(kSignature), sizeof kSignature);
  PutChunk(out, "IHDR", header);
  PutChunk(out, "IDAT", packed);
  PutChunk(out, "IEND", "");

  // Complete or not at all: another reader may look for the file.
  std::filesystem::path part = File;
  part += ".part";
  {
    std::ofstream f(part, std::ios::binary | std::ios::trunc);
    f.write(out.data(), static_cast<std::streamsize>(out.size()));
    if (!f) return false;
  }
  std::error_code ec;
  std::filesystem::rename(part, File, ec);
  return !ec;
}

bool ReadPng(const std::filesystem::path& File, Picture& P) {
  std::ifstream f(File, std::ios::binary);
  if (!f) return false;
  const std::string data((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  if (data.size() < 8 || std::memcmp(data.data(), kSignature, 8) != 0) return false;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(data.data());
  int width = 0, height = 0, channels = 0;
  std::string packed;
  for (size_t at = 8; at + 12 <= data.size();) {
    const std::uint32_t length = Big32(bytes + at);
    if (at + 12 + length > data.size()) return false;
    const std::string type(data, at + 4, 4);
    const std::uint8_t* body = bytes + at + 8;
    if (type == "IHDR") {
      if (length < 13 || body[8] != 8 || body[12] != 0) return false; // 8 bits, not interlaced
      width = static_cast<int>(Big32(body));
      height = static_cast<int>(Big32(body + 4));
      channels = body[9] == 2 ? 3 : body[9] == 6 ? 4 : 0;
      if (!channels) return false;
    } else if (type == "IDAT") {
      packed.append(reinterpret_cast<const char*>(body), length);
    }
    at += 12 + length;
  }
  if (width <= 0 || height <= 0) return false;
  const size_t stride = static_cast<size_t>(width) * channels;
  std::string raw((stride + 1) * height, '\0');
  uLongf rawSize = static_cast<uLongf>(raw.size());
  if (uncompress(reinterpret_cast<Bytef*>(raw.data()), &rawSize, reinterpret_cast<const Bytef*>(packed.data()),
                 static_cast<uLong>(packed.size())) != Z_OK ||
      rawSize != raw.size())
    return false;
  P.Width = width;
  P.Height = height;
  P.Rgb.assign(static_cast<size_t>(width) * height * 3, 0);
  std::vector<std::uint8_t> prior(stride, 0), row(stride);
  for (int y = 0; y < height; ++y) {
    const auto* line = reinterpret_cast<const std::uint8_t*>(raw.data()) + y * (stride + 1);
    if (line[0] > 4) return false;
    std::copy(line + 1, line + 1 + stride, row.begin());
    Unfilter(line[0], row.data(), prior.data(), stride, channels);
    for (int x = 0; x < width; ++x) std::copy(&row[x * channels], &row[x * channels] + 3, P.At(x, y));
    prior = row;
  }
  return true;
}

//--- Comparison -------------------------------------------------------------------------------

Comparison Compare(const Picture& Reference, const Picture& Shot, const std::vector<RECT>& Masked) {
  Comparison c;
  c.SameSize = Reference.Width == Shot.Width && Reference.Height == Shot.Height && !Reference.Empty();
  if (!c.SameSize) return c;
  c.Difference = Reference;
  for (int y = 0; y < Reference.Height; ++y)
    for (int x = 0; x < Reference.Width; ++x) {
      std::uint8_t* out = c.Difference.At(x, y);
      const POINT at{x, y};
      if (std::any_of(Masked.begin(), Masked.end(), [&](const RECT& r) { return PtInRect(&r, at) != FALSE; })) {
        out[0] = out[0] / 4, out[1] = out[1] / 4, out[2] = 160;
        continue;
      }
      ++c.Compared;
      const std::uint8_t *a = Reference.At(x, y), *b = Shot.At(x, y);
      const bool differs = std::abs(a[0] - b[0]) > kChannelTolerance || std::abs(a[1] - b[1]) > kChannelTolerance ||
                           std::abs(a[2] - b[2]) > kChannelTolerance;
      if (differs) {
        ++c.Differing;
        out[0] = 255, out[1] = 0, out[2] = 0;
      } else {
        for (int i = 0; i < 3; ++i) out[i] = static_cast<std::uint8_t>(192 + out[i] / 4);
      }
    }
  return c;
}

Picture WithMasks(const Picture& P, const std::vector<RECT>& Masked) {
  Picture out = P;
  for (const RECT& r : Masked)
    for (int y = std::max(0L, r.top); y < std::min<LONG>(P.Height, r.bottom); ++y)
      for (int x = std::max(0L, r.left); x < std::min<LONG>(P.Width, r.right); ++x) std::fill_n(out.At(x, y), 3, 128);
  return out;
}

double MeanDifference(const Picture& A, const Picture& B) {
  if (A.Width != B.Width || A.Height != B.Height || A.Empty()) return 255;
  double sum = 0;
  for (size_t i = 0; i < A.Rgb.size(); ++i) sum += std::abs(A.Rgb[i] - B.Rgb[i]);
  return sum / static_cast<double>(A.Rgb.size());
}
