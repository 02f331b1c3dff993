// Checks of a painted label that warn about what would fail on paper (something off the
// stock or the printhead, bars that do not scan, quiet zones, bar heights, short
// Interleaved 2 of 5, symbols the encoder refused, commands the preview cannot draw),
// and rendering without files: jobs and requests to PNG bytes, summary lines, warnings
// and what each drawn barcode scans as. The in-memory rendering runs the same PreviewRun
// (and, for requests, the same RenderRequest) as tervane-preview.
#pragma once

#include <string>
#include <vector>

#include "preview/label_picture.h"
#include "preview/request_preview.h"

// Printhead width in dots: the common 4-inch heads, 832 dots at 203 dpi and 1248 dots at
// 300 dpi.
constexpr int kPrintheadDots203 = 832;
constexpr int kPrintheadDots300 = 1248;
int PrintheadWidth(int dpi);

// Below these a barcode gets a warning.
constexpr int kMinBarHeight = 30;        // dots
constexpr int kMinQuietZoneModules = 10;  // narrow widths, each side along the bars
constexpr int kMinInterleavedDigits = 6;
// Barcodes checked and read back per label at most (later ones are left out of the
// scans), so that the checks of a label cost a bounded time.
constexpr int kMaxScannedBarcodes = 64;

// The kinds of warnings; the words are stable (the studio and scripts match them).
namespace warning {
constexpr const char* kClipped = "clipped";                // runs off the stock or the printhead
constexpr const char* kTextOverBars = "text-over-bars";    // ink over the bars and it does not scan
constexpr const char* kNoScan = "no-scan";                 // does not scan to its data (other causes)
constexpr const char* kShortBars = "short-bars";           // bar height under kMinBarHeight
constexpr const char* kQuietZone = "quiet-zone";           // quiet zone under kMinQuietZoneModules
constexpr const char* kShortInterleaved = "short-itf";     // Interleaved 2 of 5 under kMinInterleavedDigits
constexpr const char* kNotEncoded = "not-encoded";         // the encoder refused or cannot draw the symbol
constexpr const char* kUnknownCommand = "unknown-command";  // a line the preview cannot draw
}  // namespace warning

struct LabelWarning {
  std::string kind;     // one of the warning:: words
  std::string message;  // one line, for people
  int label = 0;        // 1 for the first label of the run
  DotRect where;        // label dots; empty for a point (x0, y0) or, when !placed, no place
  bool placed = false;  // false for warnings of the whole label (unknown commands)
};

// One drawn barcode read back from the rendered picture by libzbar.
struct BarcodeScan {
  std::string origin;     // "B at 45,0"
  std::string symbology;  // "Code 128"
  std::string data;       // what the job encodes
  DotRect box;            // the bars, in label dots
  bool readable = false;  // zbar reads this symbology at all (not MSI, POSTNET, ...)
  std::vector<std::string> scans;  // what zbar reads there, "CODE-128:A1234567"
  bool scansToData = false;        // one of the scans carries the data
  bool scanned = false;            // false when the bars lie wholly off the picture
};

// The stock the checks hold a label against, in dots; 0 where the job sets the size
// or where it is not known (the printhead width always applies).
struct StockSize {
  int width = 0;
  int length = 0;
};

// Checks a painted label (LabelPicture::Paint called) and decodes its barcodes.
// labelNumber: 1-based, copied into each warning.
std::vector<LabelWarning> CheckLabel(const LabelPicture& label, int labelNumber, const StockSize& stock,
                                     std::vector<BarcodeScan>* scans);

// "label-001.png: clipped: ... [x -70..310, y 0..160]": one line per warning.
std::string WarningLine(const std::string& fileName, const LabelWarning& warning);

// Rendering into memory.
struct RenderSettings {
  int dpi = 203;           // 203 or 300 (anything else renders at 203)
  int stockWidth = 0;      // dots; used when the job sets no label width (0: none given)
  int stockLength = 0;     // dots; used when the job sets no label length
  int maxLabels = 1000;
};

struct RenderedLabel {
  int number = 0;            // 1, 2, ...
  std::string fileName;      // "label-001.png", the name tervane-preview would write
  int width = 0, height = 0;  // picture size in dots
  int dpi = 203;
  StockSize stock;           // the stock the checks held it against (0: sized to what is drawn)
  std::string png;           // the PNG file's bytes
  std::string summary;       // the summary line tervane-preview prints
  std::vector<LabelWarning> warnings;
  std::vector<BarcodeScan> barcodes;
};

struct RenderOutcome {
  std::vector<RenderedLabel> labels;
  std::vector<std::string> lines;  // every line tervane-preview without --lint would print, in order
  std::vector<std::string> jobs;   // the label jobs rendered (for a request: what the client sent)
  int clientExitCode = 0;          // requests: what the client's run returned (-1: no layout)
};

// A label job (EPL2 or dialect B), as tervane-preview JOBFILE renders it, every label
// checked. False with a reason when the renderer could not start (the font) or a
// picture could not be encoded; outcome then holds what was rendered.
bool RenderJobToMemory(const std::string& job, const RenderSettings& settings, RenderOutcome* outcome,
                       std::string* error);

// A request as tervane-preview --request renders it: build is kTervaneBuild or
// kTervaneBBuild, argument the command-line argument (still percent-encoded), ini the
// text of its barcode.ini ("": the built-in defaults). Touches no file; renders from
// several threads may run side by side.
bool RenderRequestToMemory(const ClientBuild& build, const std::string& argument, const std::string& ini,
                           const RenderSettings& settings, RenderOutcome* outcome, std::string* error);
