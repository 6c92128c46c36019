#include "host/text.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#endif

namespace qem::host {

std::string boundedText(const char* text, std::size_t bound) {
    if (text == nullptr) return {};
    return std::string(text, strnlen(text, bound));
}

std::string quoteText(std::string_view text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c >= 0x20 && c < 0x7F) {
                out += static_cast<char>(c);
            } else {
                out += "\\x";
                out += kHex[c >> 4];
                out += kHex[c & 15];
            }
        }
    }
    out += '"';
    return out;
}

#ifndef _WIN32
namespace {
// Windows-1252 bytes 0x80..0x9F; bytes the code page leaves undefined map
// to the control character of the same number, as Windows does.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
} // namespace
#endif

std::u16string ansiToWide(std::string_view text) {
#ifdef _WIN32
    if (text.empty()) return {};
    int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::u16string out(static_cast<std::size_t>(n > 0 ? n : 0), u'\0');
    if (n > 0)
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                            reinterpret_cast<LPWSTR>(out.data()), n);
    return out;
#else
    std::u16string out;
    out.reserve(text.size());
    for (unsigned char c : text) out += (c >= 0x80 && c < 0xA0) ? kCp1252High[c - 0x80] : char16_t(c);
    return out;
#endif
}

std::string wideToAnsiText(std::u16string_view text) {
#ifdef _WIN32
    if (text.empty()) return {};
    int n = WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<LPCWCH>(text.data()), static_cast<int>(text.size()),
                                nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<LPCWCH>(text.data()), static_cast<int>(text.size()),
                            out.data(), n, nullptr, nullptr);
    return out;
#else
    std::string out;
    out.reserve(text.size());
    for (char16_t c : text) {
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            out += static_cast<char>(c);
            continue;
        }
        char byte = '?';
        for (int i = 0; i < 32; ++i)
            if (kCp1252High[i] == c) byte = static_cast<char>(0x80 + i);
        out += byte;
    }
    return out;
#endif
}

std::optional<std::int64_t> parseInteger(std::string_view t) {
    bool negative = false;
    if (!t.empty() && (t[0] == '-' || t[0] == '+')) {
        negative = t[0] == '-';
        t.remove_prefix(1);
    }
    int base = 10;
    if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
        base = 16;
        t.remove_prefix(2);
    }
    if (t.empty()) return std::nullopt;
    std::uint64_t v = 0;
    auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v, base);
    if (ec != std::errc() || end != t.data() + t.size() || v > (std::uint64_t(1) << 62)) return std::nullopt;
    return negative ? -static_cast<std::int64_t>(v) : static_cast<std::int64_t>(v);
}

std::optional<double> parseDouble(std::string_view t) {
    if (t.empty()) return std::nullopt;
    std::string_view body = t;
    bool negative = false;
    if (body[0] == '-' || body[0] == '+') {
        negative = body[0] == '-';
        body.remove_prefix(1);
    }
    if (body == "inf" || body == "INF" || body == "infinity") return negative ? -INFINITY : INFINITY;
    if (body == "nan" || body == "NAN") return negative ? -std::nan("") : std::nan("");
    if (body.empty() || body[0] == '+' || body[0] == '-') return std::nullopt;
    double v = 0;
    auto [end, ec] = std::from_chars(body.data(), body.data() + body.size(), v);
    if (ec != std::errc() || end != body.data() + body.size()) return std::nullopt;
    return negative ? -v : v;
}

std::optional<float> parseFloat(std::string_view t) {
    if (t.substr(0, 5) == "bits:") {
        auto bits = parseInteger(t.substr(5));
        if (!bits || *bits < 0 || *bits > 0xFFFFFFFFll) return std::nullopt;
        return std::bit_cast<float>(static_cast<std::uint32_t>(*bits));
    }
    std::string_view body = t;
    bool negative = false;
    if (!body.empty() && (body[0] == '-' || body[0] == '+')) {
        negative = body[0] == '-';
        body.remove_prefix(1);
    }
    if (body == "inf" || body == "INF" || body == "infinity") return negative ? -INFINITY : INFINITY;
    if (body == "nan" || body == "NAN") return negative ? -std::nanf("") : std::nanf("");
    if (body.empty() || body[0] == '+' || body[0] == '-') return std::nullopt;
    // Read as float directly: one rounding, the same in both builds.
    float v = 0;
    auto [end, ec] = std::from_chars(body.data(), body.data() + body.size(), v);
    if (ec == std::errc::result_out_of_range) {
        // Too small rounds to zero, too large to infinity, as a C compiler reads it.
        double d = 0;
        auto r = std::from_chars(body.data(), body.data() + body.size(), d);
        if (r.ptr != body.data() + body.size()) return std::nullopt;
        v = static_cast<float>(d);
    } else if (ec != std::errc() || end != body.data() + body.size()) {
        return std::nullopt;
    }
    return negative ? -v : v;
}

std::optional<std::int32_t> parseColour(std::string_view t) {
    if (t == "none") return -1;
    if (t.size() == 7 && t[0] == '#') {
        std::uint32_t rgb = 0;
        for (std::size_t i = 1; i < 7; ++i) {
            char c = t[i];
            int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
            if (d < 0) return std::nullopt;
            rgb = rgb * 16 + static_cast<std::uint32_t>(d);
        }
        return static_cast<std::int32_t>((rgb >> 16 & 0xFF) | (rgb & 0xFF00) | (rgb & 0xFF) << 16);
    }
    auto v = parseInteger(t);
    if (!v || *v < -0x80000000ll || *v > 0xFFFFFFFFll) return std::nullopt;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(*v));
}

std::string floatString(float v) {
    if (std::isnan(v)) return (std::signbit(v) ? "-nan(bits:" : "nan(bits:") + hexString(std::bit_cast<std::uint32_t>(v)) + ")";
    if (std::isinf(v)) return v < 0 ? "-inf" : "inf";
    char buffer[64];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, v);
    return ec == std::errc() ? std::string(buffer, end) : std::string("?");
}

std::string hexString(std::uint32_t v, int digits) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out = "0x";
    for (int i = digits - 1; i >= 0; --i) out += kHex[(v >> (4 * i)) & 15];
    return out;
}

} // namespace qem::host
