// An independent oracle for floatText: the decimal digits come from the C
// library's exact conversion with rounding toward zero (11 significant
// digits, truncated); it rounds half up itself and writes the text with its
// own formatting code, sharing nothing with floatText. Needs a C library
// whose printf honours the rounding mode (glibc does): the caller sets
// FE_TOWARDZERO for the thread that calls it.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace qem::test {

inline std::string floatTextOracle(std::uint32_t bits) {
    float f;
    std::memcpy(&f, &bits, sizeof f);
    bool sign = bits >> 31;
    if (std::isinf(f)) return sign ? "-1.#INF" : "1.#INF";
    if (std::isnan(f)) return bits == 0xFFC00000u ? "-1.#IND" : (sign ? "-1.#QNAN" : "1.#QNAN");
    if (f == 0) return "0.";

    char buf[64];
    std::snprintf(buf, sizeof buf, "%.10e", std::fabs(static_cast<double>(f))); // d.dddddddddde±XX, truncated
    std::string digits;
    digits += buf[0];
    digits.append(buf + 2, 10);
    int exponent = std::atoi(std::strchr(buf, 'e') + 1);
    // Half up on the eleventh digit.
    long long ten = std::stoll(digits.substr(0, 10));
    if (digits[10] >= '5') ++ten;
    if (ten == 10000000000LL) {
        ten = 1000000000LL;
        ++exponent;
    }
    std::string d = std::to_string(ten);

    std::string out = sign ? "-" : "";
    std::string mantissa;
    if (exponent >= -1 && exponent <= 9) {
        std::string whole = exponent == -1 ? "0" : d.substr(0, exponent + 1);
        std::string frac = exponent == -1 ? d : d.substr(exponent + 1);
        while (!frac.empty() && frac.back() == '0') frac.pop_back();
        return out + whole + "." + frac;
    }
    std::string frac = d.substr(1);
    while (!frac.empty() && frac.back() == '0') frac.pop_back();
    char e[16];
    std::snprintf(e, sizeof e, "e%c%03d", exponent < 0 ? '-' : '+', std::abs(exponent));
    return out + d.substr(0, 1) + "." + frac + e;
}

} // namespace qem::test
