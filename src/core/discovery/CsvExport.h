#pragma once

#include <string>
#include <vector>

#include "core/discovery/DeviceTable.h"

namespace tarvo::discovery {

// The device list as a CSV file that spreadsheets open with Chinese names intact: UTF-8 with a
// byte-order mark, CRLF line ends, every field quoted, a header line in the language shown,
// then one line per row with its six columns and whether it lies in another subnet.
std::string deviceListCsv(const std::vector<DeviceRow>& rows);

// The list's columns in the language shown, as the exported file and the command line show
// them: the window's six, whether the row lies in the subnet of the interface that heard it, and
// the MACs answering from its address when there is a conflict.
std::vector<std::u16string> deviceListHeaders();
// One row's cells for those columns: device texts as they came (escaping is the printer's),
// the note and the subnet translated.
std::vector<std::u16string> deviceListCells(const DeviceRow& row);

// One quoted CSV field. Quotes are doubled; a text that a spreadsheet would read as a formula
// (starting with =, +, -, @, tab or CR) is kept as text by a leading apostrophe.
std::string csvField(std::u16string_view text);

}  // namespace tarvo::discovery
