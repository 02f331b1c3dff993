#include "preview/label_check.h"

int PrintheadWidth(int dpi) { return dpi >= 300 ? kPrintheadDots300 : kPrintheadDots203; }

std::vector<LabelWarning> CheckLabel(const LabelPicture&, int, const StockSize&, std::vector<BarcodeScan>* scans) {
  scans->clear();
  return {};
}

std::string WarningLine(const std::string& fileName, const LabelWarning& w) {
  std::string line = fileName + ": " + w.kind + ": " + w.message;
  if (!w.where.Empty()) {
    line += " [x " + std::to_string(w.where.x0) + ".." + std::to_string(w.where.x1) + ", y " +
            std::to_string(w.where.y0) + ".." + std::to_string(w.where.y1) + "]";
  }
  return line;
}
