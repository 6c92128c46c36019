#include "modules/dsp/list_choices.h"

namespace qem {
namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// The value of c as a digit of any base up to 36, or 36 when it is none.
unsigned digitValue(char c) {
    if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
    if (c >= 'a' && c <= 'z') return static_cast<unsigned>(c - 'a') + 10;
    if (c >= 'A' && c <= 'Z') return static_cast<unsigned>(c - 'A') + 10;
    return 36;
}

// Calls visit(name, value) for each item in order until it answers true.
// The one parser behind parseChoices and the lookups.
template <class Visit>
bool forEachChoice(std::string_view text, Visit&& visit) {
    std::uint32_t next = 0; // wraps like the 32-bit counter it is
    for (;;) {
        std::size_t comma = text.find(',');
        std::string_view item = text.substr(0, comma);
        if (!item.empty()) {
            std::string_view name = item;
            std::size_t eq = item.find('=');
            if (eq != std::string_view::npos && eq != 0) {
                name = item.substr(0, eq);
                next = static_cast<std::uint32_t>(choiceNumber(item.substr(eq + 1)));
            }
            if (visit(name, static_cast<std::int32_t>(next))) return true;
            ++next;
        }
        if (comma == std::string_view::npos) return false;
        text.remove_prefix(comma + 1);
    }
}

bool isHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }

} // namespace

std::int32_t choiceNumber(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() && isSpace(s[i])) ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    unsigned base = 10;
    if (i < s.size() && s[i] == '0') {
        base = 8;
        if (i + 2 < s.size() && (s[i + 1] == 'x' || s[i + 1] == 'X') && digitValue(s[i + 2]) < 16) {
            base = 16;
            i += 2;
        }
    }
    // The magnitude stops growing once it is past the range: no overflow,
    // whatever the number of digits.
    constexpr std::uint64_t kPastRange = std::uint64_t(1) << 32;
    std::uint64_t magnitude = 0;
    for (; i < s.size(); ++i) {
        unsigned d = digitValue(s[i]);
        if (d >= base) break;
        if (magnitude < kPastRange) magnitude = magnitude * base + d;
    }
    if (negative) {
        if (magnitude >= (std::uint64_t(1) << 31)) return INT32_MIN;
        return -static_cast<std::int32_t>(magnitude);
    }
    if (magnitude > static_cast<std::uint64_t>(INT32_MAX)) return INT32_MAX;
    return static_cast<std::int32_t>(magnitude);
}

ChoiceList parseChoices(std::string_view text) {
    ChoiceList list;
    forEachChoice(text, [&](std::string_view name, std::int32_t value) {
        list.names.emplace_back(name);
        list.values.push_back(value);
        return false;
    });
    return list;
}

std::string choiceSuffixOf(std::string_view text, std::int32_t value) {
    std::string suffix = " - ";
    bool found = forEachChoice(text, [&](std::string_view name, std::int32_t v) {
        if (v != value) return false;
        suffix += name;
        return true;
    });
    if (!found) suffix += "???";
    return suffix;
}

std::string choicesTextFromWide(const char16_t* wide, WideToAnsiFn convert) {
    // Only the first 999 units count, terminated or not.
    int length = 0;
    while (length < kChoicesTextMax && wide[length] != 0) ++length;
    if (length == 0) return {};

    char out[kChoicesTextMax];
    int written = convert(wide, length, out, kChoicesTextMax);
    if (written <= 0) {
        // It did not fit (a code page of more than one byte per unit) and
        // the buffer holds nothing usable: keep the longest leading part
        // that fits. Shorter parts never need more bytes, so halve the range.
        int fits = 0, tooLong = length;
        while (tooLong - fits > 1) {
            int mid = fits + (tooLong - fits) / 2;
            if (convert(wide, mid, out, kChoicesTextMax) > 0) fits = mid;
            else tooLong = mid;
        }
        if (fits > 0 && isHighSurrogate(wide[fits - 1])) --fits;
        written = fits > 0 ? convert(wide, fits, out, kChoicesTextMax) : 0;
        if (written < 0) written = 0;
    }
    if (written > kChoicesTextMax) written = kChoicesTextMax; // a converter that over-reports
    return std::string(out, static_cast<std::size_t>(written));
}

std::string readChoicesText(GuiModule& panel, std::int32_t pin) {
    char16_t wide[kChoicesCapacity] = {}; // a host that writes nothing leaves the empty text
    panel.callHost(PanelReqGetChoices, pin, kChoicesCapacity, wide);
    return choicesTextFromWide(wide);
}

std::string choiceSuffix(GuiModule& panel, std::int32_t pin, std::int32_t value) {
    return choiceSuffixOf(readChoicesText(panel, pin), value);
}

std::int32_t choiceKey(float lastValue) {
    if (lastValue != lastValue) return 0; // no list value is ever NaN; stay defined anyway
    if (lastValue >= 2147483648.0f) return INT32_MAX;
    if (lastValue <= -2147483648.0f) return INT32_MIN;
    return static_cast<std::int32_t>(lastValue);
}

std::string numberAndChoice(GuiModule& panel, std::int32_t listPin, std::int32_t value, float& lastValue) {
    lastValue = static_cast<float>(value);
    return intText(value) + choiceSuffix(panel, listPin, choiceKey(lastValue));
}

} // namespace qem
