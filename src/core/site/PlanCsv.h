#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarvo::site {

// One device of an address plan. Empty mask, gateway and DNS keep the device's own.
struct PlanRow {
    int line = 0;     // the line of the plan file it came from (1: the header)
    std::string mac;  // "AA:BB:CC:DD:EE:FF"
    std::string address, mask, gateway, dns;
    std::string name, location, note;  // UTF-8
};

// Something wrong with one line of a plan (0: the file as a whole), as the user reads it.
struct PlanProblem {
    int line = 0;
    std::u16string text;
};

struct PlanFile {
    std::vector<PlanRow> rows;
    std::vector<PlanProblem> problems;  // empty when every row was taken
};

// The most a plan file may hold, so that a wrong file is refused before it fills memory.
inline constexpr std::size_t kMaxPlanBytes = 32u << 20;
inline constexpr std::size_t kMaxPlanRows = 65536;

// Reads a plan as spreadsheet programs save it: UTF-8 with or without BOM, UTF-16 with BOM
// (Excel's "Unicode text"), otherwise GB18030; separated by commas, semicolons or tabs
// (whichever the header line uses most), quoted fields, LF, CRLF or CR line ends. The header
// names the columns (MAC, address, mask, gateway, DNS, name, location, note) in English or
// Chinese, in any order; other columns are ignored and empty lines skipped. Every row is checked
// on its own (MAC form, dotted addresses, contiguous mask) and against the rows before it
// (duplicate MACs and addresses); each problem names its line.
PlanFile readPlanCsv(std::string_view bytes);
// The same from a file; a problem (line 0) when it cannot be read or is too large.
PlanFile readPlanFile(const std::string& path);

// A row's line number before its problem, as the user reads it.
std::u16string lineText(const PlanProblem& problem);

}  // namespace tarvo::site
