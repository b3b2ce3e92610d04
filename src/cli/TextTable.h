#pragma once

#include <string>
#include <vector>

namespace tarvo::cli {

// Prints `lines` (the header first) as columns aligned on a terminal: Chinese characters take
// two cells. The last column is not padded. Cells are printed as given: escape device texts first.
void printTextTable(const std::vector<std::vector<std::u16string>>& lines);

}  // namespace tarvo::cli
