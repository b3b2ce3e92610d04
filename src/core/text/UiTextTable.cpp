#include "core/text/UiTextTable.h"

#include <algorithm>
#include <atomic>
#include <new>

#include "core/text/SystemLocale.h"
#include "core/text/Translate.h"

namespace tarvo::text {

namespace {

std::unique_ptr<UiTextTable> g_table;
// Readers on receive threads load the pointer; it is published once, before they start.
std::atomic<const UiTextTable*> g_published{nullptr};
// The language of the last table built; -1 before the first.
std::atomic<int> g_language{-1};

// Every text fits its field whole, with its terminator: checked when the program is built.
template <std::size_t N, std::size_t M>
void put(std::array<char16_t, N>& field, const char16_t (&text)[M]) {
    static_assert(M <= N, "a UI text does not fit its field");
    std::copy_n(text, M - 1, field.begin());
}

void fillChinese(UiTextTable& t) {
    put(t.loginMismatch, u"用户名密码错误");
    put(t.colSeq, u"序号");
    put(t.colIpAddress, u"IP 地址");
    put(t.colName, u"名称");
    put(t.colNote, u"备注");
    put(t.btnModify, u"修改");
    put(t.btnSearch, u"搜索");
    put(t.btnCancel, u"退出");
    put(t.netIpAddress, u"IP 地址:");
    put(t.netMask, u"子网掩码:");
    put(t.netGateway, u"网关:");
    put(t.netDns, u"DNS 服务器:");
    put(t.netPassword, u"密码:");
    put(t.netUser, u"用户名:");
    put(t.netOk, u"确定");
    put(t.logUser, u"用户名:");
    put(t.logPassword, u"密码:");
    put(t.logStream, u"码流:");
    put(t.logMainStream, u"主码流");
    put(t.logSubStream, u"子码流");
    put(t.logOk, u"确定");
    put(t.mainSearch, u"搜索");
    put(t.mainAbout, u"关于");
    put(t.netTitle, u"网络设置修改");
    put(t.netInitFailed, u"初始化网络失败");
    // notSameNetwork stays empty in Chinese.
}

void fillEnglish(UiTextTable& t) {
    put(t.loginMismatch, u"Username and password do not match ");
    put(t.colSeq, u"Seq");
    put(t.colIpAddress, u"IP Address");
    put(t.colName, u"Name");
    put(t.colNote, u"Note");
    put(t.btnModify, u"Modify");
    put(t.btnSearch, u"Search");
    put(t.btnCancel, u"Cancel");
    put(t.netIpAddress, u"IP Address:");
    put(t.netMask, u"Mask:");
    put(t.netGateway, u"Gateway:");
    put(t.netDns, u"DNS Server:");
    put(t.netPassword, u"Password:");
    put(t.netUser, u"User:");
    put(t.netOk, u"OK");
    put(t.logUser, u"User:");
    put(t.logPassword, u"Password:");
    put(t.logStream, u"Stream:");
    put(t.logMainStream, u"Main stream");
    put(t.logSubStream, u"Sub-stream");
    put(t.logOk, u"OK");
    put(t.mainSearch, u"Search");
    put(t.mainAbout, u"About");
    put(t.netTitle, u"Net Set And Modify");
    put(t.netInitFailed, u"Failed to initialize the network");
    put(t.notSameNetwork, u"does not belong to the same network ");
}

std::unique_ptr<UiTextTable> allocateTable() {
    for (int attempt = 0; attempt < 2; ++attempt) {
        std::unique_ptr<UiTextTable> table(new (std::nothrow) UiTextTable());
        if (table) return table;
    }
    return nullptr;
}

}  // namespace

int chooseUiLanguageFor(std::uint32_t localeId) {
    return localeId == kLocaleChinaPrc ? kLanguageChinese : kLanguageEnglish;
}

int chooseUiLanguage() {
    return chooseUiLanguageFor(systemLocaleId());
}

int uiLanguage() {
    const int language = g_language.load(std::memory_order_acquire);
    return language >= 0 ? language : chooseUiLanguage();
}

int buildUiText(int language) {
    g_language.store(language == kLanguageChinese ? kLanguageChinese : kLanguageEnglish,
                     std::memory_order_release);
    UiTextHolder::reset();
    auto table = allocateTable();
    if (!table) return 0;
    if (language == kLanguageChinese) {
        fillChinese(*table);
    } else {
        fillEnglish(*table);
    }
    g_table = std::move(table);
    g_published.store(g_table.get(), std::memory_order_release);
    return 1;
}

const UiTextTable* UiTextHolder::table() {
    return g_published.load(std::memory_order_acquire);
}

void UiTextHolder::reset() {
    g_published.store(nullptr, std::memory_order_release);
    g_table.reset();
}

const UiTextTable& uiText() {
    static const UiTextTable empty{};
    const UiTextTable* table = UiTextHolder::table();
    return table != nullptr ? *table : empty;
}

}  // namespace tarvo::text
