// Barcodes for the preview, encoded by libzint. zint gives the symbol's module
// pattern; the preview lays it out in the printer's own bar widths: one module is the
// narrow width for symbologies with many bar widths (Code 128, EAN, UPC, Code 93), and
// for the two-width symbologies (Code 39, Interleaved 2 of 5, Codabar, MSI) a
// one-module run is a narrow element and a longer run a wide one.
#pragma once

#include <string>
#include <vector>

#include "preview/label_picture.h"

struct BarcodeRequest {
  int symbology = 0;          // zint BARCODE_*
  int option2 = 0;            // zint option_2 (check characters)
  int inputMode = 0;          // zint input_mode
  bool twoWidths = false;     // narrow/wide elements instead of modules
  bool stripAsterisks = false;  // Code 39's human-readable line shows the data alone
  std::string data;
  std::string name;           // "Code 128"
};

// EPL2 barcode selection (B command p4: "1", "1A", "3C", "E30", ...). False with a
// reason for a selection the preview cannot draw.
bool Epl2Symbology(const std::string& selection, const std::string& data, BarcodeRequest* out,
                   std::string* why);

// Dialect B barcode type (the letters after "B"): "Q" Code 128, "A" Code 39, "U"
// Interleaved 2 of 5. False with a reason for any other.
bool DialectBSymbology(const std::string& type, const std::string& data, BarcodeRequest* out,
                       std::string* why);

struct BarcodeShape {
  int width = 0;  // dots
  int height = 0;
  std::vector<DotRect> bars;  // relative to the symbol's top-left corner
  std::string text;           // the human-readable line
};

// Encodes request with narrow/wide element widths and the bar height, all in dots.
// False with zint's reason when the data does not fit the symbology.
bool EncodeBarcode(const BarcodeRequest& request, int narrow, int wide, int height,
                   BarcodeShape* shape, std::string* error);
