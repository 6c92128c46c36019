// List choices: a text such as "Zero=0,One,Two" that names integer values,
// read from a panel pin, parsed, and turned into the " - name" suffix the
// list monitors put after a number.
//
// Format: items separated by ","; an item is "name=value" or "name" (one
// more than the item before, 0 for the first). Everything before an item's
// first "=" is its name, spaces included; an "=" at the very start belongs
// to the name. Empty items add nothing. A value is read like C's strtol with
// base 0 (white space, sign, 0x hex, 0 octal, decimal; stops at the first
// non-digit; nothing readable is 0) and clamped to the 32-bit range.
//
// Nothing is cached: every lookup asks the host for the list again [panel].
#pragma once

#include "framework/gui_module.h"
#include "framework/platform/gdi.h"
#include "framework/value_text.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qem {

// The list of the list monitor's DSP pin and the GuiList's default choices.
inline constexpr char kDefaultListChoices[] =
    "Zero=0,One,Two,Three,Four,Five,Six,Seven,Eight,Nine,Ten,Twenty=20,Fifty=50,One Hundred=100";

// A list text takes at most this many bytes once converted to the ANSI code
// page (the 1000-byte buffer less its terminator).
inline constexpr int kChoicesTextMax = kChoicesCapacity - 1;

// The parsed list: names[i] is called values[i], in item order.
struct ChoiceList {
    std::vector<std::string> names;
    std::vector<std::int32_t> values;
};

// The text conversion readChoicesText uses (gdi::wideToAnsi's shape).
using WideToAnsiFn = int (*)(const char16_t* wide, int wideLength, char* out, int outCapacity);

// Asks the host for the list choices of panel pin `pin` (request 17, a
// buffer of 1000 UTF-16 units) and converts them to the ANSI code page.
std::string readChoicesText(GuiModule& panel, std::int32_t pin);

// The ANSI text of a request-17 buffer of kChoicesCapacity units, whatever
// the host left in it: the units up to the first 0, at most 999 of them; if
// their conversion does not fit in 999 bytes, the longest leading part that
// does (never ending in half a surrogate pair). Always at most 999 bytes.
std::string choicesTextFromWide(const char16_t* wide, WideToAnsiFn convert = &gdi::wideToAnsi);

ChoiceList parseChoices(std::string_view text);

// The number an item's text after "=" begins with (strtol, base 0),
// clamped to [-2147483648, 2147483647].
std::int32_t choiceNumber(std::string_view text);

// " - " and the name of the first item whose value is `value`, or " - ???".
std::string choiceSuffixOf(std::string_view text, std::int32_t value);

// choiceSuffixOf the list choices of panel pin `pin`, read from the host now.
std::string choiceSuffix(GuiModule& panel, std::int32_t pin, std::int32_t value);

// The lookup key of a list value the panel keeps as a float: truncated
// toward zero; beyond the 32-bit range it saturates (never undefined).
std::int32_t choiceKey(float lastValue);

// What a list monitor shows for value: its number (all its digits), then
// the choice suffix from the list choices of panel pin listPin, looked up by
// the value as the panel keeps it, a float (lastValue is set to it), so
// 16777217 shows "16777217" and is named as 16777216.
std::string numberAndChoice(GuiModule& panel, std::int32_t listPin, std::int32_t value, float& lastValue);

} // namespace qem
