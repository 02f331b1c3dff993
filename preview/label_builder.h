// Pieces shared by the two job readers: command fields, bounded numbers, and adding
// text and barcodes to a label's display list.
#pragma once

#include <string>
#include <vector>

#include "preview/barcode_symbols.h"
#include "preview/label_picture.h"

// Splits the first count comma-separated fields off text; *rest gets what follows the
// count-th comma. False when text has fewer than count commas.
bool SplitFields(const std::string& text, std::size_t count, std::vector<std::string>* fields,
                 std::string* rest);

// A decimal integer with an optional sign, blanks allowed around it. False for anything
// else or for a value beyond +-2^31.
bool ParseNumber(const std::string& text, long long* value);

// value bounded to [low, high]; *changed is set when it had to move.
int Bounded(long long value, int low, int high, bool* changed);

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
