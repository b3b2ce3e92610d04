#pragma once

namespace tarvo::gui {

// Lets `milliseconds` pass on the window thread: windows keep repainting and take queued work,
// but every click and key press meanwhile is swallowed, so no second operation starts.
void waitRepainting(int milliseconds);

}  // namespace tarvo::gui
