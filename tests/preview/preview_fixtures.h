// Shared pieces of the preview tests: the label jobs of the worked examples, rendering
// a job into PNG files in a temporary folder, reading barcodes back with zbarimg and
// measuring ink.
#pragma once

#include <string>
#include <vector>

#include "preview/png_file.h"
#include "tests/support/support.h"

namespace previewtest {

// The label jobs of the worked examples, as the layouts write them.
struct WorkedExample {
  const char* name;
  std::string job;
  // The barcodes zbarimg must find, one entry per label ("CODE-128:A1234567").
  std::vector<std::string> barcodes;
};
const std::vector<WorkedExample>& WorkedExamples();

struct Rendered {
  std::vector<std::string> lines;  // summary lines
  std::vector<std::string> files;  // PNG paths
  std::vector<PngImage> images;
};

// Renders job (or a log, with log set) into folder.
Rendered Render(const std::string& input, const testsupport::TempDir& folder, int dpi = 203,
                bool log = false, int width = 0, int height = 0);

// What zbarimg reads from a PNG: "TYPE:data" per symbol, sorted.
std::vector<std::string> Scan(const std::string& png);

// Output of a shell command (standard output only) and its exit status. Natively the
// command goes to /bin/sh (preview_shell_posix.cpp); under Wine only the forms that the
// tests use are understood (preview_shell_win32.cpp).
std::string Shell(const std::string& command, int* status = nullptr);
std::string Quote(const std::string& text);  // for a POSIX shell

// Bounding box of the dots inside [x0, x1) x [y0, y1) (clipped to the image); empty
// (x1 <= x0) when there is no ink.
struct Box {
  int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};
Box InkBox(const PngImage& image, int x0, int y0, int x1, int y1);

}  // namespace previewtest
