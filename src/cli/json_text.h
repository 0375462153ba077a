// SPDX-License-Identifier: GPL-3.0-or-later
// JSON texts of the command line's values.
#pragma once

#include <string>
#include <string_view>

namespace tolvenar {

// A quoted JSON string: quote, backslash and control characters escaped, other bytes (UTF-8)
// as they stand.
std::string json_string(std::string_view text);

// The shortest decimal text that reads back to the same float; null for an infinity or a NaN,
// which JSON cannot hold.
std::string json_number(float value);

}  // namespace tolvenar
