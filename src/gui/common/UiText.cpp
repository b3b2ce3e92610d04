#include "common/UiText.h"

#include <QCoreApplication>
#include <QLibraryInfo>
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

// Qt's own texts (the file dialogs' buttons and columns, the standard buttons) in the language
// the window shows; Qt's own are English.
std::unique_ptr<QTranslator>& installedForQt() {
    static std::unique_ptr<QTranslator> translator;
    return translator;
}

void showQtTextsIn(int language) {
    auto& current = installedForQt();
    if (current) QCoreApplication::removeTranslator(current.get());
    current.reset();
    // Sizes, dates and file types in Qt's dialogs follow the language shown, not the system's.
    QLocale::setDefault(language == text::kLanguageChinese
                            ? QLocale(QLocale::Chinese, QLocale::China)
                            : QLocale::system());
    if (language != text::kLanguageChinese) return;
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"),
                          QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return;  // without the package the dialogs stay English, as before
    current = std::move(translator);
    QCoreApplication::installTranslator(current.get());
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
    showQtTextsIn(language);
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
