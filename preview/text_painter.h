// Draws printer text with FreeType: a monospace font (DejaVu Sans Mono) stretched into
// each printer font cell and rendered as whole dots, as a thermal head prints them.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "preview/label_picture.h"

// The printer font cells, in dots.
// EPL2 fonts "1" to "5"; false for any other font name (soft fonts are not drawn).
bool Epl2FontCell(char font, int dpi, FontCell* cell);
// Dialect B fonts "A" to "I"; false for any other.
bool DialectBFontCell(char font, int dpi, FontCell* cell);

class TextPainter {
 public:
  TextPainter();
  ~TextPainter();
  TextPainter(const TextPainter&) = delete;
  TextPainter& operator=(const TextPainter&) = delete;

  // False when FreeType or the font could not be loaded (Error() says why).
  bool Ready() const { return face_ != nullptr; }
  const std::string& Error() const { return error_; }

  void Draw(const TextItem& text, InkMode mode, LabelPicture& picture);

 private:
  struct Glyph {
    int left = 0, top = 0, width = 0, rows = 0;  // placement from the pen on the baseline
    std::vector<std::uint8_t> dots;               // rows x width, 1 = dot
  };
  const Glyph& GlyphFor(char32_t character, int cellWidth, int cellHeight);

  void* library_ = nullptr;  // FT_Library
  void* face_ = nullptr;     // FT_Face
  std::string error_;
  int sizedWidth_ = 0, sizedHeight_ = 0;
  std::map<std::tuple<int, int, char32_t>, Glyph> cache_;
};
