// Pieces shared by the two job readers: command fields, bounded numbers, and adding
// text and barcodes to a label's display list.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "preview/barcode_symbols.h"
#include "preview/label_picture.h"

// Splits the first count comma-separated fields off text; *rest gets what follows the
// count-th comma. False when text has fewer than count commas.
bool SplitFields(const std::string& text, std::size_t count, std::vector<std::string>* fields,
                 std::string* rest);

// The line of text that starts at *pos, without its line end (LF or CR LF); *pos moves
// past it.
std::string NextLine(std::string_view text, std::size_t* pos);

// A decimal integer with an optional sign, blanks allowed around it. False for anything
// else or for a value beyond +-2^31.
bool ParseNumber(std::string_view text, long long* value);

// value bounded to [low, high]; *changed is set when it had to move.
int Bounded(long long value, int low, int high, bool* changed);

// Where an item stands: x and y (already bounded to int) and a rotation of 0 to 3; any
// other rotation is read as 0, with a remark in the label's notes.
Placement PlaceItem(LabelPicture& label, long long x, long long y, long long rotation);

// Bar widths and height of a barcode command, each bounded (narrow 1 to 30 dots, wide
// 1 to 60, height 1 to twice the largest canvas side); a value that had to move gives
// one remark in the label's notes.
struct BarSize {
  int narrow, wide, height;
};
BarSize BoundBarSize(LabelPicture& label, long long narrow, long long wide, long long height);

// Adds the four sides of a box outline from (left, top) to (right, bottom): top and
// bottom sides thickY dots high, left and right ones thickX wide. False when the
// label's item bound is reached.
bool AddBoxOutline(LabelPicture& label, int left, int top, int right, int bottom, int thickX,
                   int thickY, const std::string& origin);

// Most characters drawn from one text command; the rest cannot fit any label.
constexpr std::size_t kMaxTextCharacters = 1024;

// Adds one text line of bytes in charset (an iconv name); returns false when the
// label's item bound is reached.
bool AddText(LabelPicture& label, const Placement& at, const FontCell& cell, const std::string& bytes,
             const char* charset, bool reverse, const std::string& origin);

// Most data bytes handed to the barcode library; zint refuses far less for any linear
// symbology.
constexpr std::size_t kMaxBarcodeData = 4096;

// Encodes and adds one barcode (bars plus, with humanReadable, the line of text under
// them in hriCell). On a data error the barcode is counted as not drawn with zint's
// reason.
void AddBarcode(LabelPicture& label, const Placement& at, const BarcodeRequest& request, int narrow,
                int wide, int height, bool humanReadable, const FontCell& hriCell,
                const std::string& command, const std::string& origin);

// "A at 10,145" style origins for the summary.
std::string Origin(const std::string& command, long long x, long long y);
