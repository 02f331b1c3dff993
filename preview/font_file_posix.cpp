#include "preview/font_file.h"

std::string DefaultFontFile() { return TERVANE_PREVIEW_FONT; }
