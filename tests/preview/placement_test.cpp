// Where the preview puts things: text cells at the dots the A command gives (measured
// on the ink), in every font, multiplier and rotation; bars at their corner with the
// narrow and wide widths of the command.
#include <gtest/gtest.h>

#include "preview/text_painter.h"
#include "tests/preview/preview_fixtures.h"

using previewtest::Box;
using previewtest::InkBox;
using previewtest::Render;
using previewtest::Rendered;

namespace {

std::string Epl2Text(int x, int y, int rotation, char font, int h, int v, char reverse, const std::string& text) {
  return "N\nA" + std::to_string(x) + "," + std::to_string(y) + "," + std::to_string(rotation) + "," +
         std::string(1, font) + "," + std::to_string(h) + "," + std::to_string(v) + "," + reverse + ",\"" + text +
         "\"\nP1\n";
}

// The ink of a text line lies inside its cells and reaches from near the cells' top
// left corner: capitals start within the first quarter of the cell height.
void ExpectInCells(const Box& ink, int x, int y, const FontCell& cell, int characters) {
  const int right = x + (characters - 1) * cell.advance + cell.width;
  EXPECT_GE(ink.x0, x);
  EXPECT_LE(ink.x0, x + cell.width / 4 + 1);
  EXPECT_GE(ink.y0, y);
  EXPECT_LE(ink.y0, y + cell.height / 4 + 1);
  EXPECT_LE(ink.x1, right);
  EXPECT_GE(ink.x1, right - cell.width / 2);
  EXPECT_LE(ink.y1, y + cell.height);
  EXPECT_GE(ink.y1, y + cell.height / 2);
}

TEST(TextPlacement, Epl2FontsAndMultipliersLandInTheirCells) {
  for (int dpi : {203, 300}) {
    for (char font = '1'; font <= '5'; ++font) {
      for (int mult : {1, 2, 3}) {
        SCOPED_TRACE(std::to_string(dpi) + " dpi, font " + font + ", multiplier " + std::to_string(mult));
        FontCell cell;
        ASSERT_TRUE(Epl2FontCell(font, dpi, &cell));
        cell.width *= mult;
        cell.advance *= mult;
        cell.height *= mult + 1;
        testsupport::TempDir folder;
        Rendered r = Render(Epl2Text(37, 53, 0, font, mult, mult + 1, 'N', "HEH"), folder, dpi);
        ASSERT_EQ(r.images.size(), 1u);
        ExpectInCells(InkBox(r.images[0], 0, 0, 100000, 100000), 37, 53, cell, 3);
      }
    }
  }
}

TEST(TextPlacement, CellSizesAreThePrintersOwn) {
  const int expected203[][2] = {{8, 12}, {10, 16}, {12, 20}, {14, 24}, {32, 48}};
  const int expected300[][2] = {{12, 20}, {16, 28}, {20, 36}, {24, 44}, {48, 80}};
  for (int i = 0; i < 5; ++i) {
    FontCell a, b;
    ASSERT_TRUE(Epl2FontCell(static_cast<char>('1' + i), 203, &a));
    ASSERT_TRUE(Epl2FontCell(static_cast<char>('1' + i), 300, &b));
    EXPECT_EQ(a.width, expected203[i][0]);
    EXPECT_EQ(a.height, expected203[i][1]);
    EXPECT_EQ(a.advance, a.width + 2);
    EXPECT_EQ(b.width, expected300[i][0]);
    EXPECT_EQ(b.height, expected300[i][1]);
  }
  FontCell none;
  EXPECT_FALSE(Epl2FontCell('6', 203, &none));
  EXPECT_FALSE(Epl2FontCell('A', 203, &none));
  EXPECT_FALSE(DialectBFontCell('J', 203, &none));
}

TEST(TextPlacement, DialectBFontsLandInTheirCells) {
  for (char font = 'A'; font <= 'I'; ++font) {
    SCOPED_TRACE(std::string("font ") + font);
    FontCell cell;
    ASSERT_TRUE(DialectBFontCell(font, 203, &cell));
    testsupport::TempDir folder;
    Rendered r = Render("^L\nA" + std::string(1, font) + ",25,31,1,1,0,0,HEH\nE\n", folder);
    ASSERT_EQ(r.images.size(), 1u);
    ExpectInCells(InkBox(r.images[0], 0, 0, 100000, 100000), 25, 31, cell, 3);
  }
}

TEST(TextPlacement, RotationsTurnAboutTheReferencePoint) {
  FontCell cell;
  ASSERT_TRUE(Epl2FontCell('3', 203, &cell));
  const int length = 3 * cell.advance;
  struct Case {
    int rotation, x, y;
    int x0, y0, x1, y1;  // the area the turned cells cover
  } cases[] = {
      {1, 300, 40, 300 - cell.height, 40, 300, 40 + length},
      {2, 300, 300, 300 - length, 300 - cell.height, 300, 300},
      {3, 40, 300, 40, 300 - length, 40 + cell.height, 300},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("rotation " + std::to_string(c.rotation));
    testsupport::TempDir folder;
    Rendered r = Render("q400\nQ400,24\n" + Epl2Text(c.x, c.y, c.rotation, '3', 1, 1, 'N', "HEH"), folder);
    ASSERT_EQ(r.images.size(), 1u);
    Box ink = InkBox(r.images[0], 0, 0, 400, 400);
    ASSERT_GT(ink.x1, ink.x0);
    EXPECT_GE(ink.x0, c.x0);
    EXPECT_GE(ink.y0, c.y0);
    EXPECT_LE(ink.x1, c.x1);
    EXPECT_LE(ink.y1, c.y1);
    // The text runs along the turned direction: its long side is the cells' length.
    const int along = c.rotation == 2 ? ink.x1 - ink.x0 : ink.y1 - ink.y0;
    EXPECT_GT(along, length / 2);
  }
}

TEST(TextPlacement, ReverseFillsTheCellsBlack) {
  FontCell cell;
  ASSERT_TRUE(Epl2FontCell('2', 203, &cell));
  testsupport::TempDir folder;
  Rendered r = Render(Epl2Text(20, 30, 0, '2', 1, 1, 'R', "AB"), folder);
  ASSERT_EQ(r.images.size(), 1u);
  Box ink = InkBox(r.images[0], 0, 0, 1000, 1000);
  EXPECT_EQ(ink.x0, 20);
  EXPECT_EQ(ink.y0, 30);
  EXPECT_EQ(ink.x1, 20 + 2 * cell.advance);
  EXPECT_EQ(ink.y1, 30 + cell.height);
  // White character dots inside the box.
  int white = 0;
  for (int y = ink.y0; y < ink.y1; ++y) {
    for (int x = ink.x0; x < ink.x1; ++x) white += r.images[0].pixels[y * r.images[0].width + x] == kPaper;
  }
  EXPECT_GT(white, 10);
}

TEST(TextPlacement, WorkedExampleLinesStartAtTheirDots) {
  testsupport::TempDir folder;
  Rendered r = Render(previewtest::WorkedExamples()[0].job, folder);
  ASSERT_EQ(r.images.size(), 1u);
  // "LINE TWO" at 10,145 and "LINE THREE" at 10,165: left of the barcode, below it.
  for (int y : {145, 165}) {
    Box ink = InkBox(r.images[0], 0, y, 44, y + 16);
    EXPECT_GE(ink.x0, 10);
    EXPECT_LE(ink.x0, 12);
    EXPECT_GE(ink.y0, y);
    EXPECT_LE(ink.y0, y + 4);
  }
  // The barcode's first bar at its corner, 45,0, and 160 dots high.
  Box bars = InkBox(r.images[0], 0, 0, 1000, 120);
  EXPECT_EQ(bars.x0, 45);
  EXPECT_EQ(bars.y0, 0);
  Box firstBar = InkBox(r.images[0], 45, 0, 46, 1000);
  EXPECT_EQ(firstBar.y1, 160);
}

TEST(BarcodePlacement, Code39TakesTheNarrowAndWideWidthsOfTheCommand) {
  // Code 39: each character is 3 wide and 6 narrow elements, characters 1 narrow apart;
  // "A1" is 4 characters with the start and stop characters.
  for (int wide : {4, 5, 6}) {
    SCOPED_TRACE("wide " + std::to_string(wide));
    testsupport::TempDir folder;
    Rendered r = Render("N\nB10,0,0,3,2," + std::to_string(wide) + ",40,N,\"A1\"\nP1\n", folder);
    ASSERT_EQ(r.images.size(), 1u);
    Box bars = InkBox(r.images[0], 0, 0, 10000, 10000);
    EXPECT_EQ(bars.x0, 10);
    EXPECT_EQ(bars.x1 - bars.x0, 4 * (3 * wide + 6 * 2) + 3 * 2);
    EXPECT_EQ(bars.y1, 40);
    EXPECT_EQ(previewtest::Scan(r.files[0]), std::vector<std::string>{"CODE-39:A1"});
  }
}

TEST(BarcodePlacement, Code128ModulesAreTheNarrowWidth) {
  // 35 modules of start, check and stop characters, 11 per data character: "AB" in
  // subset B is 57 modules.
  for (int narrow : {1, 2, 3}) {
    testsupport::TempDir folder;
    Rendered r = Render("N\nB0,10,0,1," + std::to_string(narrow) + ",9,30,N,\"AB\"\nP1\n", folder);
    ASSERT_EQ(r.images.size(), 1u);
    Box bars = InkBox(r.images[0], 0, 0, 10000, 10000);
    EXPECT_EQ(bars.x1 - bars.x0, 57 * narrow);
    EXPECT_EQ(bars.y0, 10);
    EXPECT_EQ(bars.y1, 40);
  }
}

}  // namespace
