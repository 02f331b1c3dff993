// Where the preview finds its font when TERVANE_PREVIEW_FONT does not name one.
#pragma once

#include <string>

// Linux: the DejaVu Sans Mono file of the system's fonts, found when the program was
// built. Windows: the same file, installed beside the program.
std::string DefaultFontFile();
