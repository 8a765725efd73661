// Pictures - screenshots of the window under test, taken from the screen,
// kept as PNG files and compared with reference pictures with a tolerance.
//
// The PNG files are 8-bit RGB as this module writes them (RGBA is read as
// well); that is all the references need.
#pragma once

#include "os/WindowsSupport.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

struct Picture {
  int Width = 0, Height = 0;
  std::vector<std::uint8_t> Rgb; // rows from the top, three bytes a pixel

  bool Empty() const { return Width <= 0 || Height <= 0; }
  const std::uint8_t* At(int X, int Y) const { return &Rgb[(static_cast<size_t>(Y) * Width + X) * 3]; }
  std::uint8_t* At(int X, int Y) { return &Rgb[(static_cast<size_t>(Y) * Width + X) * 3]; }
};

// The pixels of Area (screen coordinates) as the screen shows them now.
Picture CaptureScreen(const RECT& Area);
// A part of a picture.
Picture Crop(const Picture& From, const RECT& Area);
// A bitmap file (24 bits a pixel, as the window's pictures are).
Picture ReadBmp(const std::filesystem::path& File);

bool WritePng(const std::filesystem::path& File, const Picture& P);
// False when the file is missing or not a PNG of the kinds written here.
bool ReadPng(const std::filesystem::path& File, Picture& P);

// How far two pictures of the same size are apart, leaving out the Masked
// rectangles (what legitimately changes between runs: times, temporary
// folder names). A pixel differs when one of its channels differs by more
// than the tolerance; Difference shows the reference faded, with the
// differing pixels red and the masked parts blue.
struct Comparison {
  bool SameSize = false;
  long Differing = 0; // pixels
  long Compared = 0;  // pixels outside the masks
  Picture Difference;
};
Comparison Compare(const Picture& Reference, const Picture& Shot, const std::vector<RECT>& Masked);

// The picture with the rectangles Masked painted over in grey: a reference
// keeps nothing of what the comparison leaves out.
Picture WithMasks(const Picture& P, const std::vector<RECT>& Masked);

// The mean difference of the channels of two pictures of the same size (0
// for equal ones, 255 at most).
double MeanDifference(const Picture& A, const Picture& B);
