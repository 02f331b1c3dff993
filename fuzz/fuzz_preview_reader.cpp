// Fuzz target: the preview's label job readers (EPL2 and dialect B) and, for some
// inputs, the painting and the checks of what they read.
//
// Input: byte 0 chooses the reader (bit 0: a whole job, or a log holding jobs among
// other lines) and whether the labels are painted (bits 1 and 2 both set); the rest is
// the text. Checks: every label keeps its drawing list within its cap; a painted label
// is never larger than the largest canvas and has exactly width x height pixels;
// the checks read back at most kMaxScannedBarcodes barcodes and number their warnings
// with the label; nothing is read or written out of bounds (ASan).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "preview/job_reader.h"
#include "preview/label_check.h"
#include "preview/label_picture.h"
#include "preview/text_painter.h"

using fuzzsupport::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  static TextPainter painter;
  const bool asLog = data[0] & 1;
  const bool paint = (data[0] & 6) == 6 && painter.Ready();
  std::string text(reinterpret_cast<const char*>(data + 1), size - 1);

  int labels = 0;
  auto onLabel = [&](LabelPicture& label) {
    ++labels;
    Check(label.Items().size() <= static_cast<std::size_t>(kMaxItemsPerLabel), "item cap");
    Check(label.Dialect() == 'E' || label.Dialect() == 'B', "dialect");
    if (paint && labels <= 4) {
      label.Paint(painter, 0, 0);
      Check(label.Width() >= 0 && label.Width() <= kMaxCanvasSide, "canvas width");
      Check(label.Height() >= 0 && label.Height() <= kMaxCanvasSide, "canvas height");
      Check(label.Pixels().size() ==
                static_cast<std::size_t>(label.Width()) * static_cast<std::size_t>(label.Height()),
            "pixel count");
      label.SummaryLine("label-001.png");
      std::vector<BarcodeScan> scans;
      for (const LabelWarning& w : CheckLabel(label, labels, StockSize{}, &scans)) {
        Check(w.label == labels && !w.kind.empty(), "warning");
        WarningLine("label-001.png", w);
      }
      Check(scans.size() <= static_cast<std::size_t>(kMaxScannedBarcodes), "scan cap");
    }
    return labels < 64;
  };
  DetectDialect(text);
  if (asLog) {
    ReadLog(text, 203, onLabel);
  } else {
    ReadJob(text, 203, onLabel);
  }
  return 0;
}
