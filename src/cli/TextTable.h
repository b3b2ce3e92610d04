#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace tarvo::cli {

// Prints `lines` (the header first) as columns aligned on a terminal: Chinese characters take
// two cells. The last column is not padded. Cells are printed as given: escape device texts first.
void printTextTable(const std::vector<std::vector<std::u16string>>& lines);
// The same on `out`.
void printTextTable(const std::vector<std::vector<std::u16string>>& lines, std::ostream& out);

}  // namespace tarvo::cli
