#include "common/UiText.h"

#include <QCoreApplication>
#include <QLocale>
#include <QTranslator>
#include <memory>

#include "core/text/SystemLocale.h"
#include "core/text/Translate.h"
#include "core/text/UiTextTable.h"

// Outside any namespace: the resource's initialiser is a global function.
static void initTranslationResources() {
    Q_INIT_RESOURCE(translations);
}

namespace tarvo::gui {

namespace {

constexpr const char* kContext = "tarvo";

std::unique_ptr<QTranslator>& installed() {
    static std::unique_ptr<QTranslator> translator;
    return translator;
}

std::u16string translateForCore(std::u16string_view text) {
    return uiText(text).toStdU16String();
}

// The translation for the system's locale (tarvo_de.qm for de_DE, ...), English when there is
// none for it.
std::unique_ptr<QTranslator> loadTranslator() {
    auto translator = std::make_unique<QTranslator>();
    const QLocale locale(QString::fromLatin1(text::systemLocaleName()));
    if (translator->load(locale, QStringLiteral("tarvo"), QStringLiteral("_"),
                         QStringLiteral(":/i18n")) ||
        translator->load(QStringLiteral(":/i18n/tarvo_en.qm")))
        return translator;
    return nullptr;
}

}  // namespace

void applyUiLanguage() {
    initTranslationResources();
    const int language = text::chooseUiLanguage();
    text::buildUiText(language);
    text::setTranslator(&translateForCore);
    auto& current = installed();
    if (current) QCoreApplication::removeTranslator(current.get());
    current.reset();
    if (language == text::kLanguageChinese) return;
    current = loadTranslator();
    if (current) QCoreApplication::installTranslator(current.get());
}

QString uiText(std::u16string_view text) {
    // Without a translator installed (Chinese) every text comes back as it is.
    return QCoreApplication::translate(kContext, dataText(text).toUtf8().constData());
}

QString uiText(const char16_t* text) {
    return uiText(std::u16string_view(text));
}

QString dataText(std::u16string_view text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace tarvo::gui
