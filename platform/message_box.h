// A message box with no owner window. On Windows this is MessageBoxA; a program that
// has no desktop gets the box anyway. On Linux the box is one line "Caption: text" on
// standard error.
#pragma once

namespace platform {

enum class MessageIcon { kNone, kWarning };

void ShowMessageBox(const char* text, const char* caption, MessageIcon icon);

}  // namespace platform
