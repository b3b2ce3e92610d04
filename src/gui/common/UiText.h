#pragma once

#include <QString>
#include <string_view>

namespace tarvo::gui {

// Builds the UI text table for the system's language and loads the translation of the windows'
// texts for it (none in Chinese: the program's own texts are Chinese). Called on the window
// thread before any window is made.
void applyUiLanguage();

// A text of the program (catalogue, templates, core) in the language shown.
QString uiText(std::u16string_view text);
QString uiText(const char16_t* text);

// Text that is data (from a device, a form or the user): shown as it is.
QString dataText(std::u16string_view text);

}  // namespace tarvo::gui
