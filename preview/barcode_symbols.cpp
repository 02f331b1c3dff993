#include "preview/barcode_symbols.h"

#include <cstring>
#include <memory>

#include <zint.h>

namespace {

bool AllDigits(const std::string& s) {
  if (s.empty()) return false;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// Characters of Code 39 proper; anything else needs Full ASCII Code 39.
bool PlainCode39(const std::string& s) {
  for (char c : s) {
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || std::strchr("-. $/+%", c))) return false;
    if (c == '\0') return false;
  }
  return true;
}

void Code39(const std::string& data, bool check, BarcodeRequest* out) {
  const bool plain = PlainCode39(data);
  out->symbology = plain ? BARCODE_CODE39 : BARCODE_EXCODE39;
  out->name = plain ? "Code 39" : "Code 39 Full ASCII";
  out->option2 = check ? 1 : 0;
  out->twoWidths = true;
  out->stripAsterisks = true;
  out->data = data;
}

// EAN/UPC data with an add-on: the main digits, "+", the add-on digits.
std::string WithAddOn(const std::string& data, std::size_t mainDigits) {
  if (data.size() <= mainDigits) return data;
  return data.substr(0, mainDigits) + "+" + data.substr(mainDigits);
}

struct Selection {
  const char* name;
  int symbology;
  int option2;
  bool twoWidths;
  const char* title;
};

// EPL2 selections that map straight onto one zint symbology.
const Selection kEpl2Direct[] = {
    {"0", BARCODE_NVE18, 0, false, "Code 128 SSCC"},
    {"1", BARCODE_CODE128, 0, false, "Code 128"},
    {"1E", BARCODE_GS1_128, 0, false, "GS1-128"},
    {"2", BARCODE_C25INTER, 0, true, "Interleaved 2 of 5"},
    {"2C", BARCODE_C25INTER, 1, true, "Interleaved 2 of 5 with check digit"},
    {"2D", BARCODE_C25INTER, 1, true, "Interleaved 2 of 5 with check digit"},
    {"2M", BARCODE_C25STANDARD, 0, true, "Matrix 2 of 5"},
    {"2U", BARCODE_ITF14, 0, true, "ITF-14"},
    {"9", BARCODE_CODE93, 0, false, "Code 93"},
    {"K", BARCODE_CODABAR, 0, true, "Codabar"},
    {"L", BARCODE_MSI_PLESSEY, 1, true, "MSI Plessey"},
    {"M", BARCODE_MSI_PLESSEY, 1, true, "MSI Plessey"},
    {"P", BARCODE_POSTNET, 0, false, "POSTNET"},
    {"J", BARCODE_JAPANPOST, 0, false, "Japanese Postal Code"},
};

}  // namespace

bool Epl2Symbology(const std::string& selection, const std::string& data, BarcodeRequest* out,
                   std::string* why) {
  *out = BarcodeRequest();
  out->data = data;
  out->inputMode = DATA_MODE;
  if (selection == "3" || selection == "3C") {
    Code39(data, selection == "3C", out);
    return true;
  }
  if (selection == "1A" || selection == "1B") {
    // zint 2.11 cannot hold one subset; without subset C the symbol has the width of
    // the fixed subset for data that both subsets A and B carry.
    out->symbology = BARCODE_CODE128B;
    out->name = "Code 128 subset " + selection.substr(1);
    return true;
  }
  if (selection == "1C") {
    if (!AllDigits(data)) {
      *why = "Code 128 subset C holds digits only";
      return false;
    }
    out->symbology = BARCODE_CODE128;  // all digits: zint starts and stays in subset C
    out->name = "Code 128 subset C";
    return true;
  }
  if (selection == "2G") {
    out->symbology = data.size() <= 11 ? BARCODE_DPIDENT : BARCODE_DPLEIT;
    out->twoWidths = true;
    out->name = "German Post Code";
    return true;
  }
  if (selection.size() == 3 && (selection[0] == 'E' || selection[0] == 'U')) {
    const std::string kind = selection.substr(0, 2);
    const char addOn = selection[2];
    if (addOn != '0' && addOn != '2' && addOn != '5') {
      *why = "unknown add-on " + selection;
      return false;
    }
    std::size_t mainDigits;
    if (kind == "E3") {
      mainDigits = 12;
      out->symbology = BARCODE_EANX;
      out->name = "EAN-13";
    } else if (kind == "E8") {
      mainDigits = 7;
      out->symbology = BARCODE_EANX;
      out->name = "EAN-8";
    } else if (kind == "UA") {
      mainDigits = 11;
      out->symbology = BARCODE_UPCA;
      out->name = "UPC-A";
    } else if (kind == "UE") {
      mainDigits = 7;
      out->symbology = BARCODE_UPCE;
      out->name = "UPC-E";
    } else {
      *why = "unknown selection " + selection;
      return false;
    }
    // Data that carries its own check digit before the add-on.
    const std::size_t addOnLength = addOn == '0' ? 0 : addOn - '0';
    if (data.size() == mainDigits + 1 + addOnLength) {
      ++mainDigits;
      if (out->symbology == BARCODE_EANX) out->symbology = BARCODE_EANX_CHK;
      if (out->symbology == BARCODE_UPCA) out->symbology = BARCODE_UPCA_CHK;
      if (out->symbology == BARCODE_UPCE) out->symbology = BARCODE_UPCE_CHK;
    }
    out->data = addOn == '0' ? data : WithAddOn(data, mainDigits);
    return true;
  }
  for (const Selection& s : kEpl2Direct) {
    if (selection != s.name) continue;
    out->symbology = s.symbology;
    out->option2 = s.option2;
    out->twoWidths = s.twoWidths;
    out->name = s.title;
    if (s.symbology == BARCODE_GS1_128) {
      // "(01)..." with parentheses or "[01]..." with brackets around the application
      // identifiers.
      out->inputMode = GS1_MODE | (data.find('(') != std::string::npos ? GS1PARENS_MODE : 0);
    }
    return true;
  }
  *why = "barcode selection \"" + PrintableText(selection, 8) + "\" not drawn";
  return false;
}

bool DialectBSymbology(const std::string& type, const std::string& data, BarcodeRequest* out,
                       std::string* why) {
  *out = BarcodeRequest();
  out->data = data;
  out->inputMode = DATA_MODE;
  if (type == "Q") {
    out->symbology = BARCODE_CODE128;
    out->name = "Code 128";
    return true;
  }
  if (type == "A") {
    Code39(data, false, out);
    return true;
  }
  if (type == "U") {
    // Read as Interleaved 2 of 5, the numeric symbology of numbered series.
    out->symbology = BARCODE_C25INTER;
    out->twoWidths = true;
    out->name = "Interleaved 2 of 5";
    return true;
  }
  *why = "barcode type \"" + PrintableText(type, 8) + "\" not drawn";
  return false;
}

bool EncodeBarcode(const BarcodeRequest& request, int narrow, int wide, int height,
                   BarcodeShape* shape, std::string* error) {
  *shape = BarcodeShape();
  std::unique_ptr<zint_symbol, void (*)(zint_symbol*)> symbol(ZBarcode_Create(), ZBarcode_Delete);
  if (!symbol) {
    *error = "zint could not start";
    return false;
  }
  symbol->symbology = request.symbology;
  symbol->option_2 = request.option2;
  symbol->input_mode = request.inputMode;
  if (request.data.empty()) {
    *error = request.name + ": no data";
    return false;
  }
  const int result = ZBarcode_Encode(symbol.get(), reinterpret_cast<const unsigned char*>(request.data.data()),
                                     static_cast<int>(request.data.size()));
  if (result >= ZINT_ERROR) {
    *error = request.name + ": " + symbol->errtxt;
    return false;
  }
  const int rows = symbol->rows;
  const int modules = symbol->width;
  if (rows < 1 || rows > 200 || modules < 1 || modules > 144 * 8) {
    *error = request.name + ": unexpected symbol size";
    return false;
  }
  auto isSet = [&symbol](int row, int col) {
    return (symbol->encoded_data[row][col >> 3] >> (col & 7)) & 1;
  };

  // Left edge of every module in dots. Two-width symbols: each run of like modules is
  // one element, narrow when it is one module long, wide otherwise.
  std::vector<int> left(static_cast<std::size_t>(modules) + 1, 0);
  if (request.twoWidths) {
    int x = 0, col = 0;
    while (col < modules) {
      int run = 1;
      while (col + run < modules && isSet(0, col + run) == isSet(0, col)) ++run;
      const int elementWidth = run == 1 ? narrow : wide;
      for (int i = 0; i < run; ++i) left[col + i] = x + elementWidth * i / run;
      x += elementWidth;
      col += run;
    }
    left[modules] = x;
  } else {
    for (int col = 0; col <= modules; ++col) left[col] = col * narrow;
  }

  // Row bands: a one-row symbol fills the height; stacked rows (POSTNET's tall and
  // short bars) share it in zint's proportions.
  std::vector<int> top(static_cast<std::size_t>(rows) + 1, 0);
  double total = 0;
  for (int r = 0; r < rows; ++r) total += symbol->row_height[r];
  double sum = 0;
  for (int r = 0; r < rows; ++r) {
    top[r] = total > 0 ? static_cast<int>(height * sum / total + 0.5) : height * r / rows;
    sum += symbol->row_height[r];
  }
  top[rows] = height;

  for (int r = 0; r < rows; ++r) {
    int col = 0;
    while (col < modules) {
      if (!isSet(r, col)) {
        ++col;
        continue;
      }
      int end = col;
      while (end < modules && isSet(r, end)) ++end;
      DotRect bar{left[col], top[r], left[end], top[r + 1]};
      // Merge with the same bar of the row above (tall bars of stacked symbols).
      bool merged = false;
      for (DotRect& b : shape->bars) {
        if (r == 0) break;
        if (b.x0 == bar.x0 && b.x1 == bar.x1 && b.y1 == bar.y0) {
          b.y1 = bar.y1;
          merged = true;
          break;
        }
      }
      if (!merged && !bar.Empty()) shape->bars.push_back(bar);
      col = end;
    }
  }
  shape->width = left[modules];
  shape->height = height;
  std::string text(reinterpret_cast<const char*>(symbol->text));
  if (request.stripAsterisks && text.size() >= 2 && text.front() == '*' && text.back() == '*') {
    text = text.substr(1, text.size() - 2);
  }
  shape->text = text.empty() ? request.data : text;
  return true;
}
