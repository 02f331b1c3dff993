// Label pictures as PNG files: a three-colour palette (paper, dot, clipping mark) and
// the printer's resolution in the pHYs chunk.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "preview/label_picture.h"

// Encodes the painted picture; false with a reason in *error.
bool EncodePng(const LabelPicture& picture, std::string* png, std::string* error);
bool WritePngFile(const LabelPicture& picture, const std::string& path, std::string* error);

// A PNG read back as palette indexes (tests and golden pictures).
struct PngImage {
  int width = 0, height = 0;
  std::vector<std::uint8_t> pixels;  // Ink values, row by row
};
bool ReadPngFile(const std::string& path, PngImage* image, std::string* error);
