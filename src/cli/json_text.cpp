// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/json_text.h"

#include <array>
#include <charconv>
#include <cmath>

namespace tolvenar {

std::string json_string(std::string_view text)
{
    static constexpr char kHex[] = "0123456789abcdef";
    std::string quoted;
    quoted.reserve(text.size() + 2);
    quoted += '"';
    for (const char c : text) {
        switch (c) {
        case '"': quoted += "\\\""; break;
        case '\\': quoted += "\\\\"; break;
        case '\b': quoted += "\\b"; break;
        case '\f': quoted += "\\f"; break;
        case '\n': quoted += "\\n"; break;
        case '\r': quoted += "\\r"; break;
        case '\t': quoted += "\\t"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                quoted += "\\u00";
                quoted += kHex[static_cast<unsigned char>(c) >> 4];
                quoted += kHex[static_cast<unsigned char>(c) & 0xF];
            } else {
                quoted += c;
            }
        }
    }
    quoted += '"';
    return quoted;
}

std::string json_number(float value)
{
    if (!std::isfinite(value))
        return "null";
    std::array<char, 32> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    return std::string(buffer.data(), result.ptr);
}

}  // namespace tolvenar
