// Small text helpers of the host: bounded reads of module texts, the
// escaped form texts are printed in, and the ANSI / UTF-16 conversions of
// list choices.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qem::host {

// The bytes of a module's terminated text, reading at most `bound` bytes.
// A null pointer reads as the empty text.
std::string boundedText(const char* text, std::size_t bound);

// A text in double quotes with \" \\ \n \r \t and \xHH escapes for every
// byte outside printable ASCII: the form scenario strings are written in,
// the same in both builds.
std::string quoteText(std::string_view text);

// 8-bit text in the system's ANSI code page to UTF-16 (Windows-1252
// natively, CP_ACP on Windows), and back (characters the code page lacks
// become '?').
std::u16string ansiToWide(std::string_view text);
std::string wideToAnsiText(std::u16string_view text);

// Numbers as scenarios write them.
std::optional<std::int64_t> parseInteger(std::string_view token); // decimal, or 0x hex
std::optional<float> parseFloat(std::string_view token);           // decimal, inf, nan, or bits:0xHHHHHHHH
std::optional<double> parseDouble(std::string_view token);
// A colour as the user writes it: "#RRGGBB", a COLORREF number
// (0x00BBGGRR), or "none" (-1: no background band).
std::optional<std::int32_t> parseColour(std::string_view token);
// A float as the trace and messages show it: shortest text that reads back.
std::string floatString(float v);
std::string hexString(std::uint32_t v, int digits = 8);

} // namespace qem::host
