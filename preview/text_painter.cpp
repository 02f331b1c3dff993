#include "preview/text_painter.h"

#include <cstdlib>

#include <ft2build.h>
#include FT_FREETYPE_H

#include "preview/font_file.h"

namespace {

struct CellSize {
  char font;
  int width203, height203;
  int width300, height300;
};

// EPL2's resident fonts.
const CellSize kEpl2Cells[] = {
    {'1', 8, 12, 12, 20},  {'2', 10, 16, 16, 28}, {'3', 12, 20, 20, 36},
    {'4', 14, 24, 24, 44}, {'5', 32, 48, 48, 80},
};

// Dialect B's resident fonts A to I. The heights leave 4 dots between the lines that
// the dialect B layouts stack (14, 18, 22 and 26 dots for A to D, 24 for I).
const CellSize kDialectBCells[] = {
    {'A', 6, 10, 9, 15},   {'B', 8, 14, 12, 21},  {'C', 10, 18, 15, 27},
    {'D', 12, 22, 18, 33}, {'E', 14, 26, 21, 38}, {'F', 18, 32, 27, 47},
    {'G', 24, 42, 35, 62}, {'H', 32, 56, 47, 83}, {'I', 12, 20, 18, 30},
};

template <std::size_t N>
bool LookUp(const CellSize (&table)[N], char font, int dpi, FontCell* cell) {
  for (const CellSize& c : table) {
    if (c.font != font) continue;
    cell->width = dpi == 300 ? c.width300 : c.width203;
    cell->height = dpi == 300 ? c.height300 : c.height203;
    cell->advance = cell->width + 2;  // one cell plus 2 dots
    return true;
  }
  return false;
}

std::string FontPath() {
  const char* path = std::getenv("TERVANE_PREVIEW_FONT");
  return path && *path ? path : DefaultFontFile();
}

}  // namespace

bool Epl2FontCell(char font, int dpi, FontCell* cell) { return LookUp(kEpl2Cells, font, dpi, cell); }

bool DialectBFontCell(char font, int dpi, FontCell* cell) {
  return LookUp(kDialectBCells, font, dpi, cell);
}

TextPainter::TextPainter() {
  FT_Library library = nullptr;
  if (FT_Init_FreeType(&library) != 0) {
    error_ = "FreeType could not start";
    return;
  }
  library_ = library;
  FT_Face face = nullptr;
  if (FT_New_Face(library, FontPath().c_str(), 0, &face) != 0) {
    error_ = std::string("cannot load the font ") + FontPath();
    return;
  }
  face_ = face;
}

TextPainter::~TextPainter() {
  if (face_) FT_Done_Face(static_cast<FT_Face>(face_));
  if (library_) FT_Done_FreeType(static_cast<FT_Library>(library_));
}

const TextPainter::Glyph& TextPainter::GlyphFor(char32_t character, int cellWidth, int cellHeight) {
  auto key = std::make_tuple(cellWidth, cellHeight, character);
  auto found = cache_.find(key);
  if (found != cache_.end()) return found->second;

  Glyph& glyph = cache_[key];
  FT_Face face = static_cast<FT_Face>(face_);
  if (!face) return glyph;
  if (sizedWidth_ != cellWidth || sizedHeight_ != cellHeight) {
    // Stretch the font so that one advance fills the cell's width and the ascender to
    // descender span fills its height.
    const double em = face->units_per_EM;
    const double advance = face->max_advance_width > 0 ? face->max_advance_width : em * 0.6;
    const double span = face->ascender - face->descender > 0 ? face->ascender - face->descender : em;
    FT_F26Dot6 xSize = static_cast<FT_F26Dot6>(cellWidth * em / advance * 64.0);
    FT_F26Dot6 ySize = static_cast<FT_F26Dot6>(cellHeight * em / span * 64.0);
    if (xSize < 64) xSize = 64;
    if (ySize < 64) ySize = 64;
    if (FT_Set_Char_Size(face, xSize, ySize, 72, 72) != 0) return glyph;
    sizedWidth_ = cellWidth;
    sizedHeight_ = cellHeight;
  }
  if (FT_Load_Char(face, character, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO | FT_LOAD_MONOCHROME) != 0) {
    return glyph;
  }
  const FT_Bitmap& bitmap = face->glyph->bitmap;
  glyph.left = face->glyph->bitmap_left;
  glyph.top = face->glyph->bitmap_top;
  glyph.width = static_cast<int>(bitmap.width);
  glyph.rows = static_cast<int>(bitmap.rows);
  glyph.dots.assign(static_cast<std::size_t>(glyph.width) * glyph.rows, 0);
  for (int row = 0; row < glyph.rows; ++row) {
    const unsigned char* line = bitmap.buffer + static_cast<long>(row) * bitmap.pitch;
    for (int col = 0; col < glyph.width; ++col) {
      bool on = bitmap.pixel_mode == FT_PIXEL_MODE_MONO ? (line[col >> 3] >> (7 - (col & 7))) & 1
                                                         : line[col] >= 128;
      glyph.dots[static_cast<std::size_t>(row) * glyph.width + col] = on ? 1 : 0;
    }
  }
  return glyph;
}

void TextPainter::Draw(const TextItem& text, InkMode mode, LabelPicture& picture) {
  const FontCell& cell = text.cell;
  if (cell.width <= 0 || cell.height <= 0) return;
  FT_Face face = static_cast<FT_Face>(face_);
  const double span = face ? face->ascender - face->descender : 1;
  const int baseline =
      face && span > 0 ? static_cast<int>(cell.height * face->ascender / span + 0.5) : cell.height;
  InkMode glyphMode = mode;
  if (text.reverse) {
    // Reverse printing: a black box behind the text, the characters in white.
    DotRect box = text.at.Map(0, 0, cell.advance * static_cast<int>(text.characters.size()), cell.height);
    picture.FillRect(box, InkMode::kBlack);
    glyphMode = InkMode::kWhite;
  }
  for (std::size_t i = 0; i < text.characters.size(); ++i) {
    char32_t c = text.characters[i];
    if (c == U' ') continue;
    const int cellX = static_cast<int>(i) * cell.advance;
    // Skip characters whose cell lies wholly off the label.
    DotRect where = text.at.Map(cellX, 0, cellX + cell.width, cell.height);
    if (where.x1 <= 0 || where.y1 <= 0 || where.x0 >= picture.Width() || where.y0 >= picture.Height()) {
      continue;
    }
    const Glyph& glyph = GlyphFor(c, cell.width, cell.height);
    for (int gy = 0; gy < glyph.rows; ++gy) {
      const int cy = baseline - glyph.top + gy;
      if (cy < 0 || cy >= cell.height) continue;
      for (int gx = 0; gx < glyph.width; ++gx) {
        if (!glyph.dots[static_cast<std::size_t>(gy) * glyph.width + gx]) continue;
        const int cx = glyph.left + gx;
        if (cx < 0 || cx >= cell.width) continue;  // printer glyphs never leave their cell
        DotRect dot = text.at.Map(cellX + cx, cy, cellX + cx + 1, cy + 1);
        picture.PlotDot(dot.x0, dot.y0, glyphMode);
      }
    }
  }
}
