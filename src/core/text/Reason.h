#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarvo::text {

// A message as a record keeps it: which catalogue text it is and the values that fill its marks,
// so that it is read in the language of whoever reads the record, not of whoever wrote it.
// A reason without a key is a literal: device data, an address, a text recorded before records
// kept keys. `cause` (none or one) follows the message after a colon, as "Refused: <why>".
struct Reason {
    std::string key;   // the catalogue name, e.g. "AssignRefused"; empty for a literal
    std::string text;  // a literal's text (UTF-8)
    std::vector<Reason> values;
    std::vector<Reason> cause;

    static Reason literal(std::string text);
    static Reason of(std::string key, std::vector<Reason> values = {});
    // The reason of a catalogue text (a text::msg constant): its key, looked up by the text.
    static Reason said(std::u16string_view catalogueText, std::vector<Reason> values = {});
    // The reason behind a text as it was told (a catalogue text, formatted or not, in Chinese or
    // translated): its key and the values found in its marks; a literal when it is none.
    static Reason recognise(std::u16string_view told);

    Reason& because(Reason why);
    [[nodiscard]] bool empty() const { return key.empty() && text.empty() && cause.empty(); }
    bool operator==(const Reason&) const = default;
};

// The reason in the language shown. An unknown key (from a newer program) shows as its name
// and values, never as nothing.
std::u16string show(const Reason& reason);

// As stored in a record: JSON for a keyed reason, the bare text for a literal, so that what
// older records hold reads back as itself.
std::string encodeReason(const Reason& reason);
Reason decodeReason(std::string_view stored);
// What a record's stored reason says, in the language shown.
std::u16string showStored(std::string_view stored);

// The catalogue's text of a key, or empty when there is no such key.
std::u16string_view catalogueText(std::string_view key);

}  // namespace tarvo::text
