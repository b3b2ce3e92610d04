#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tarvo::text {

// The program's texts are its Chinese texts; under any other language they are shown translated.
// The translations live in src/translations/tarvo_<lang>.ts; the windows read them through Qt,
// the programs without Qt through the English table built from tarvo_en.ts.

// The language of the texts shown: the one the UI text table was last built for, else the
// system's (2 Chinese, 0 English).
int uiLanguage();

// `source` in the language shown: itself in Chinese, else its translation (itself when it has
// none, as device data and texts that are already English).
std::u16string tr(std::u16string_view source);

// `format` with %1, %2, ... replaced by `values` (each mark once, values taken as they are).
std::u16string formatText(std::u16string_view format, std::initializer_list<std::u16string> values);

// A translation other than the built-in English table (the windows pass Qt's). Set once, before
// any thread that shows text starts.
using Translator = std::u16string (*)(std::u16string_view source);
void setTranslator(Translator translator);

// The finished translations of tarvo_en.ts, and every text of the sources that needs one.
const std::vector<std::pair<std::u16string_view, std::u16string_view>>& englishTexts();
const std::vector<std::u16string_view>& sourceTexts();
// Every text of the message catalogue (Messages.h) as written, those without a translation too.
const std::vector<std::u16string_view>& catalogueTexts();
// The catalogue's texts by the name of their constant without its k ("AssignRefused").
const std::vector<std::pair<std::string_view, std::u16string_view>>& catalogueNames();

}  // namespace tarvo::text
