#include "tests/preview/preview_fixtures.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "preview/preview_run.h"

namespace previewtest {

namespace {

// Code 39's mod-43 check character, which zbarimg reports as part of the data.
std::string WithCode39Check(const std::string& data) {
  static const char kSet[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%";
  int sum = 0;
  for (char c : data) sum += static_cast<int>(std::string(kSet).find(c));
  return data + kSet[sum % 43];
}

}  // namespace

const std::vector<WorkedExample>& WorkedExamples() {
  static const std::vector<WorkedExample> examples = {
      {"biochimie",
       "D8\n\nN\nB45,0,0,1,2,4,160,N,\"A1234567\"\nA90,125,0,2,1,1,N,\"*A1234567*\"\n"
       "A10,145,0,2,1,1,N,\"LINE TWO\"\nA10,165,0,2,1,1,N,\"LINE THREE\"\nP1\n",
       {"CODE-128:A1234567"}},
      {"coagulare",
       "D8\n\nN\nB10,0,0,3,2,4,40,N,\"A1234567\"\nA90,45,0,2,1,1,N,\"*A1234567*\"\n"
       "A10,70,0,2,1,1,N,\"LINE TWO\"\nA10,90,0,2,1,1,N,\"LINE THREE\"\nA10,110,0,2,1,1,N,\"\"\n"
       "A10,130,0,2,1,1,N,\"\"\nA10,150,0,2,1,1,N,\"\"\nP1\n",
       {"CODE-39:A1234567"}},
      {"hematologie",
       "D8\n\nN\nB10,0,0,3C,2,4,80,N,\"H555\"\nA90,85,0,2,1,1,N,\"*H555*\"\nA10,110,0,2,1,1,N,\"N1\"\n"
       "A10,130,0,2,1,1,N,\"N2\"\nA10,150,0,2,1,1,N,\"Hematologie\"\nA30,170,0,2,1,1,N,\"N3\"\nP1\n",
       {"CODE-39:" + WithCode39Check("H555")}},
      {"field-list",
       "D8\n\nN\nB10,0,0,1,2,4,80,B,\"A1234567\"\nA10,110,0,2,1,1,N,\"LINE TWO\"\n"
       "A10,130,0,3,1,1,N,\"LINE THREE\"\nA10,150,0,2,1,1,N,\"A TEXT OF TWENTY-SIX\"\n"
       "A10,170,0,2,1,1,N,\" CHARS\"\nP1\n",
       {"CODE-128:A1234567"}},
      {"grouped",
       "D8\n\nN\nB10,0,0,1,2,4,80,B,\"A1234567\"\nA10,110,0,2,1,1,N,\"LINE TWO\"\n"
       "A10,130,0,2,1,1,N,\"D1\"\nP1\nD8\n\nN\nB10,0,0,1,2,4,80,B,\"A1234567\"\n"
       "A10,110,0,2,1,1,N,\"LINE TWO\"\nA10,130,0,2,1,1,N,\"D2\"\nP1\nD8\n\nN\n"
       "A10,0,0,2,1,1,N,\"LINE FOUR\"\nA10,20,0,2,1,1,N,\"D3\"\nP1\n",
       {"CODE-128:A1234567", "CODE-128:A1234567", ""}},
      {"extended",
       "I8,B,001\nD8\n\nN\nB10,0,0,1,2,4,80,B,\"A1234567\"\nA10,110,0,2,1,1,N,\"LINE TWO\"\n"
       "A10,130,0,3,1,1,N,\"LINE\"\nA10,150,0,3,1,1,N,\"D1\"\nP1\nI8,B,001\nD8\n\nN\n"
       "B10,0,0,1,2,4,80,B,\"A1234567-X\"\nA10,110,0,2,1,1,N,\"LINE TWO\"\n"
       "A10,130,0,3,1,1,N,\"LINE\"\nA10,150,0,3,1,1,N,\"D2\"\nP1\n",
       {"CODE-128:A1234567", "CODE-128:A1234567-X"}},
      {"extended-wrap",
       "I8,0,001\nD8\n\nN\nA10,0,0,2,1,1,N,\"LONG TEXT OF\"\nA10,20,0,2,1,1,N,\" TWENTY FIVE CH\"\nP1\n",
       {""}},
      {"numbered",
       "D8\n\nN\nB10,0,0,1,2,4,80,B,\"000041\"\nA10,110,0,2,1,1,N,\"LOT 7\"\n"
       "A10,130,0,3,1,1,N,\"SERIES A\"\nP3\nD8\n\nN\nB10,0,0,1,2,4,80,B,\"000042\"\n"
       "A10,110,0,2,1,1,N,\"LOT 7\"\nA10,130,0,3,1,1,N,\"SERIES A\"\nP3\n",
       {"CODE-128:000041", "CODE-128:000042"}},
      {"dialect-b-fields",
       "^P1\n^L\nBQ,10,0,2,5,80,0,0,A1234567\nAB,10,85,1,1,0,0,A TEXT OF TWENTY-SIX\n"
       "AD,10,103,1,1,0,0,LINE THREE\nAB,10,129,1,1,0,0,D1\nE\n^P1\n^L\n"
       "BQ,10,0,2,5,80,0,0,A1234567\nAB,10,85,1,1,0,0,A TEXT OF TWENTY-SIX\n"
       "AD,10,103,1,1,0,0,LINE THREE\nAB,10,129,1,1,0,0,D2\nE\n",
       {"CODE-128:A1234567", "CODE-128:A1234567"}},
      {"dialect-b-numbered",
       "^C3\n^P2\n^L\nBU,20,0,2,5,60,0,0,41\nAB,20,60,1,1,0,0,41\nAB,20,80,1,1,0,0,LOT 7\nE\n"
       "^C3\n^P2\n^L\nBU,20,0,2,5,60,0,0,42\nAB,20,60,1,1,0,0,42\nAB,20,80,1,1,0,0,LOT 7\nE\n",
       {"I2/5:41", "I2/5:42"}},
  };
  return examples;
}

Rendered Render(const std::string& input, const testsupport::TempDir& folder, int dpi, bool log, int width,
                int height) {
  PreviewOptions options;
  options.dpi = dpi;
  options.outputDir = folder.Path();
  options.width = width;
  options.height = height;
  PreviewRun run(options, nullptr);
  Rendered result;
  if (!run.Ready()) {
    result.lines.push_back("painter not ready: " + run.Error());
    return result;
  }
  if (log) {
    run.Log(input);
  } else {
    run.Job(input);
  }
  run.Finish();
  result.lines = run.SummaryLines();
  result.files = run.Files();
  for (const std::string& file : result.files) {
    PngImage image;
    std::string error;
    if (!ReadPngFile(file, &image, &error)) image.width = image.height = 0;
    result.images.push_back(image);
  }
  return result;
}

std::string Quote(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out += c;
    }
  }
  return out + "'";
}

std::vector<std::string> Scan(const std::string& png) {
  // Interleaved 2 of 5 below zbar's default minimum of 6 digits must be read as well.
  const std::string out = Shell("zbarimg -q -Si25.min-length=1 " + Quote(png) + " 2>/dev/null");
  std::vector<std::string> symbols;
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty()) symbols.push_back(line);
  }
  std::sort(symbols.begin(), symbols.end());
  return symbols;
}

Box InkBox(const PngImage& image, int x0, int y0, int x1, int y1) {
  Box box{x1, y1, x0, y0};
  bool any = false;
  for (int y = std::max(y0, 0); y < std::min(y1, image.height); ++y) {
    for (int x = std::max(x0, 0); x < std::min(x1, image.width); ++x) {
      if (image.pixels[static_cast<std::size_t>(y) * image.width + x] != kDot) continue;
      any = true;
      box.x0 = std::min(box.x0, x);
      box.y0 = std::min(box.y0, y);
      box.x1 = std::max(box.x1, x + 1);
      box.y1 = std::max(box.y1, y + 1);
    }
  }
  if (!any) return Box{};
  return box;
}

}  // namespace previewtest
