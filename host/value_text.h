// The command line's rules for values: text becomes a value of the kind asked
// for only when it plainly is one, stricter than the value's own conversions
// (which read "abc" as the number 0 and look at one character for yes or no).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "qelcommon/value.h"

namespace qelhost {

// A whole number that fits T in decimal, with one optional sign and spaces
// around it; nothing else.
std::optional<int64_t> WholeInt64(std::string_view text);
std::optional<uint64_t> WholeUInt64(std::string_view text);
// A finite decimal number: digits, one sign, a point (or a comma when there is
// no point), an exponent.
std::optional<double> DecimalNumber(std::string_view text);
// Yes or no, as a whole word in any case: 1 true yes on t y e enabled / 0 false
// no off f n d disabled. TriState also takes "unknown".
std::optional<bool> YesNo(std::string_view text);

// Makes value from text as a value of kind; false when the text is not one.
bool MakeValue(const std::string& text, QelKind kind, CQelValue* value);

}  // namespace qelhost
