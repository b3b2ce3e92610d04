#pragma once

#include <QIcon>
#include <QPixmap>

namespace tarvo::gui {

// The program's icon (a camera on a blue tile), in the sizes the window and the About box use.
QIcon appIcon();
QPixmap appIconPixmap(int size);

}  // namespace tarvo::gui
