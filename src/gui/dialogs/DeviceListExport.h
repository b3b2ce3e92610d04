#pragma once

class QWidget;

namespace tarvo::discovery {
class DeviceTable;
}

namespace tarvo::gui {

// "Export list…": asks for a file (named with today's date) and writes the device list to it as
// CSV; an error box when the file could not be written whole.
void exportDeviceList(QWidget* parent, const discovery::DeviceTable& table);

}  // namespace tarvo::gui
