#pragma once

#include <string>
#include <string_view>

namespace tarvo::text {

// Text a device sent (names, versions, cloud identities), made fit for a terminal: C0 and C1
// control characters, DEL, and the bidirectional marks, embeddings, overrides and isolates are
// written as escapes ("\x1b", "\u202e"), so that a name can neither drive the terminal (clear
// the screen, set the window title, write the clipboard) nor reorder or hide what is shown.
// Everything else stays as it is.
std::u16string escapeControls(std::u16string_view text);
// The same on UTF-8; a byte that is not part of valid UTF-8 is written as "\xNN".
std::string escapeControls(std::string_view utf8);

}  // namespace tarvo::text
