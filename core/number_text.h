// Plain number texts for readouts and the database: shortest form, "." always, no trailing zeros.
#pragma once

#include <optional>
#include <string>

namespace varnetix {

// A stored whole number (spaces around it allowed); nothing when the text is not one.
std::optional<int> WholeNumber(const std::string& text);

std::string PlainNumber(double value);        // 0, -0.5, 7.5, -24.1
std::string StoredVersion(float version);     // the "ver" value: 2, 2.1, 11.2
std::string VersionOneDecimal(float version); // "2.0", "2.1": the caption after an answer
// The "ver" text of the database as the panel shows it: a number with two decimals ("2.00").
// "." and "," are both read as the decimal separator; a text that is no number shows "0.00".
std::string VersionTwoDecimals(const std::string& storedText);

} // namespace varnetix
