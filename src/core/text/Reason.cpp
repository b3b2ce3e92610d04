#include "core/text/Reason.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <optional>
#include <unordered_map>

#include "core/text/TextConvert.h"
#include "core/text/Translate.h"

namespace tarvo::text {

namespace {

using Json = nlohmann::json;

// A catalogue text cut at its marks: told texts are matched against it piece by piece.
struct Pattern {
    std::string_view key;
    std::vector<std::u16string> pieces;  // one more than marks
    std::vector<int> marks;              // the mark numbers in the order they stand
};

Pattern cut(std::string_view key, std::u16string_view text) {
    Pattern p{key, {{}}, {}};
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'%' && i + 1 < text.size() && text[i + 1] >= u'1' && text[i + 1] <= u'9') {
            p.marks.push_back(text[i + 1] - u'0');
            p.pieces.emplace_back();
            ++i;
        } else {
            p.pieces.back() += text[i];
        }
    }
    return p;
}

// The values in the marks of `told` when it is `p` filled in; none when it is not.
std::optional<std::vector<std::u16string>> match(const Pattern& p, std::u16string_view told) {
    const auto& first = p.pieces.front();
    const auto& last = p.pieces.back();
    if (!told.starts_with(first) || told.size() < first.size() + last.size() ||
        !told.ends_with(last))
        return std::nullopt;
    std::vector<std::u16string> values(p.marks.size());
    std::size_t at = first.size();
    const std::size_t end = told.size() - last.size();
    for (std::size_t m = 0; m < p.marks.size(); ++m) {
        std::size_t next = end;
        if (m + 1 < p.marks.size()) {
            next = told.find(p.pieces[m + 1], at);
            if (next == std::u16string_view::npos || next > end) return std::nullopt;
        }
        if (next < at) return std::nullopt;
        values[m] = std::u16string(told.substr(at, next - at));
        at = next + p.pieces[m + 1].size();
    }
    if (p.marks.empty() && told.size() != first.size()) return std::nullopt;
    // Values in the order of their marks' numbers.
    std::vector<std::u16string> ordered(values.size());
    for (std::size_t m = 0; m < p.marks.size(); ++m) {
        const auto n = static_cast<std::size_t>(p.marks[m] - 1);
        if (n >= ordered.size()) return std::nullopt;
        ordered[n] = std::move(values[m]);
    }
    return ordered;
}

struct Catalogue {
    std::unordered_map<std::string_view, std::u16string_view> byKey;
    std::unordered_map<std::u16string, std::string_view> exact;  // Chinese and English
    std::vector<Pattern> patterns;                               // texts with marks

    Catalogue() {
        std::unordered_map<std::u16string_view, std::u16string_view> english(englishTexts().begin(),
                                                                             englishTexts().end());
        for (const auto& [key, text] : catalogueNames()) {
            byKey.emplace(key, text);
            std::vector<std::u16string_view> forms{text};
            if (const auto e = english.find(text); e != english.end()) forms.push_back(e->second);
            for (const auto form : forms) {
                auto p = cut(key, form);
                if (p.marks.empty()) {
                    exact.emplace(std::u16string(form), key);
                    continue;
                }
                std::size_t fixed = 0;
                for (const auto& piece : p.pieces) fixed += piece.size();
                // A pattern of marks alone would match any text.
                if (fixed >= 2) patterns.push_back(std::move(p));
            }
        }
        // The most specific pattern first.
        std::stable_sort(patterns.begin(), patterns.end(), [](const auto& a, const auto& b) {
            std::size_t fa = 0, fb = 0;
            for (const auto& s : a.pieces) fa += s.size();
            for (const auto& s : b.pieces) fb += s.size();
            return fa > fb;
        });
    }
};

const Catalogue& catalogue() {
    static const Catalogue c;
    return c;
}

std::optional<Reason> whole(std::u16string_view told) {
    const auto& c = catalogue();
    if (const auto e = c.exact.find(std::u16string(told)); e != c.exact.end())
        return Reason::of(std::string(e->second));
    for (const auto& p : c.patterns) {
        if (auto values = match(p, told)) {
            Reason r = Reason::of(std::string(p.key));
            for (auto& v : *values) r.values.push_back(Reason::literal(toUtf8(v)));
            return r;
        }
    }
    return std::nullopt;
}

Json toJson(const Reason& r) {
    if (r.key.empty() && r.cause.empty()) return toUtf8(fromUtf8(r.text));  // valid UTF-8 only
    Json j = Json::object();
    if (!r.key.empty()) j["key"] = r.key;
    if (!r.text.empty()) j["text"] = toUtf8(fromUtf8(r.text));
    if (!r.values.empty()) {
        j["values"] = Json::array();
        for (const auto& v : r.values) j["values"].push_back(toJson(v));
    }
    if (!r.cause.empty()) j["cause"] = toJson(r.cause.front());
    return j;
}

Reason fromJson(const Json& j, int depth) {
    if (j.is_string()) return Reason::literal(j.get<std::string>());
    Reason r;
    if (!j.is_object() || depth > 8) return r;
    if (const auto k = j.find("key"); k != j.end() && k->is_string()) r.key = k->get<std::string>();
    if (const auto t = j.find("text"); t != j.end() && t->is_string())
        r.text = t->get<std::string>();
    if (const auto v = j.find("values"); v != j.end() && v->is_array()) {
        for (const auto& each : *v) r.values.push_back(fromJson(each, depth + 1));
    }
    if (const auto c = j.find("cause"); c != j.end()) r.cause.push_back(fromJson(*c, depth + 1));
    return r;
}

}  // namespace

Reason Reason::literal(std::string text) {
    Reason r;
    r.text = std::move(text);
    return r;
}

Reason Reason::of(std::string key, std::vector<Reason> values) {
    Reason r;
    r.key = std::move(key);
    r.values = std::move(values);
    return r;
}

Reason Reason::said(std::u16string_view catalogueText, std::vector<Reason> values) {
    const auto& c = catalogue();
    const auto found = c.exact.find(std::u16string(catalogueText));
    if (found == c.exact.end()) {
        // A text with marks is found by its own form; a text outside the catalogue stays
        // literal (its values are lost only if it has none).
        for (const auto& [key, text] : catalogueNames())
            if (text == catalogueText) return of(std::string(key), std::move(values));
        return literal(toUtf8(catalogueText));
    }
    return of(std::string(found->second), std::move(values));
}

Reason& Reason::because(Reason why) {
    cause.clear();
    if (!why.empty()) cause.push_back(std::move(why));
    return *this;
}

Reason Reason::recognise(std::u16string_view told) {
    if (told.empty()) return {};
    if (auto r = whole(told)) return std::move(*r);
    // "<catalogue text>: <what followed>", as a refusal and its cause are told.
    for (std::size_t at = told.find(u": "); at != std::u16string_view::npos;
         at = told.find(u": ", at + 1)) {
        if (auto head = whole(told.substr(0, at))) {
            head->because(recognise(told.substr(at + 2)));
            return std::move(*head);
        }
    }
    return literal(toUtf8(told));
}

std::u16string_view catalogueText(std::string_view key) {
    const auto& c = catalogue();
    const auto found = c.byKey.find(key);
    return found != c.byKey.end() ? found->second : std::u16string_view();
}

std::u16string show(const Reason& reason) {
    std::u16string out;
    if (reason.key.empty()) {
        out = fromUtf8(reason.text);
    } else if (const auto text = catalogueText(reason.key); !text.empty()) {
        out = tr(text);
        char16_t mark = u'1';
        for (const auto& v : reason.values) {
            const std::u16string placeholder{u'%', mark++};
            const auto at = out.find(placeholder);
            if (at != std::u16string::npos) out.replace(at, placeholder.size(), show(v));
        }
    } else {
        out = fromUtf8(reason.key);
        for (std::size_t i = 0; i < reason.values.size(); ++i)
            out += (i == 0 ? u" " : u", ") + show(reason.values[i]);
    }
    if (!reason.cause.empty()) out += u": " + show(reason.cause.front());
    return out;
}

std::string encodeReason(const Reason& reason) {
    const Json j = toJson(reason);
    return j.is_string() ? j.get<std::string>() : j.dump();
}

Reason decodeReason(std::string_view stored) {
    if (stored.starts_with('{')) {
        const Json j = Json::parse(stored, nullptr, false);
        if (j.is_object() && j.contains("key") && j["key"].is_string()) return fromJson(j, 0);
    }
    return Reason::literal(std::string(stored));
}

std::u16string showStored(std::string_view stored) {
    return show(decodeReason(stored));
}

}  // namespace tarvo::text
