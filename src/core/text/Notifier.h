#pragma once

#include <string_view>

namespace tarvo::text {

// How the core tells the user something. The window shows message boxes, the command line
// writes lines to stderr, tests record the texts.
class Notifier {
public:
    virtual ~Notifier() = default;
    // An application message box with the default title.
    virtual void message(std::u16string_view text) = 0;
    // A system-modal warning box with the caption "Error".
    virtual void systemError(std::u16string_view text) = 0;
};

}  // namespace tarvo::text
