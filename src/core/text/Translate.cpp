#include "core/text/Translate.h"

#include <atomic>
#include <unordered_map>

#include "core/text/UiTextTable.h"

namespace tarvo::text {

namespace {

std::atomic<Translator> g_translator{nullptr};

std::u16string english(std::u16string_view source) {
    static const std::unordered_map<std::u16string_view, std::u16string_view> table(
        englishTexts().begin(), englishTexts().end());
    const auto found = table.find(source);
    return std::u16string(found != table.end() ? found->second : source);
}

}  // namespace

std::u16string tr(std::u16string_view source) {
    if (uiLanguage() == kLanguageChinese) return std::u16string(source);
    const Translator translator = g_translator.load(std::memory_order_acquire);
    return translator != nullptr ? translator(source) : english(source);
}

std::u16string formatText(std::u16string_view format,
                          std::initializer_list<std::u16string> values) {
    std::u16string out(format);
    char16_t mark = u'1';
    for (const auto& value : values) {
        const std::u16string placeholder{u'%', mark++};
        const auto at = out.find(placeholder);
        if (at != std::u16string::npos) out.replace(at, placeholder.size(), value);
    }
    return out;
}

void setTranslator(Translator translator) {
    g_translator.store(translator, std::memory_order_release);
}

}  // namespace tarvo::text
