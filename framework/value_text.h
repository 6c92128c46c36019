// How the monitors write numbers and truth values.
#pragma once

#include <cstdint>
#include <string>

namespace qem {

// A float widened to double, 10 significant digits rounded half away from
// zero; fixed notation from 0.1 up to 1e10, else d.ddde+XXX; trailing
// fraction zeros dropped, the point kept ("0.", "0.1000000015", "1.e+010").
// Infinities "1.#INF", NaNs "1.#QNAN" and the indefinite NaN "-1.#IND".
std::string floatText(float v);
std::string intText(std::int32_t n);
// Nonzero is "TRUE", zero "FALSE".
std::string boolText(std::int32_t x);

} // namespace qem
