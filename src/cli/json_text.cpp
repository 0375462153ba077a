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

namespace {

template <typename Number>
std::string shortest_text(Number value)
{
    if (!std::isfinite(value))
        return "null";
    std::array<char, 32> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    return std::string(buffer.data(), result.ptr);
}

// Vertices 1..6; x far from zero in data units.
std::string json_vertices(const Vertices& values, double origin = 0.0)
{
    std::string text = "[";
    for (std::size_t k = 1; k <= 6; ++k) {
        text += origin == 0.0 ? json_number(values[k])
                              : json_number(origin + static_cast<double>(values[k]));
        text += k < 6 ? ", " : "]";
    }
    return text;
}

}  // namespace

std::string json_number(float value)
{
    return shortest_text(value);
}

std::string json_number(double value)
{
    return shortest_text(value);
}

void write_json(std::ostream& out, ModelFamily family, const EngineState& state,
                const std::vector<std::string>& lines, std::string_view more)
{
    out << "{\n"
        << "  \"model\": " << json_string(family_caption(family)) << ",\n"
        << "  \"crop\": {\"start\": " << state.CropStart << ", \"count\": " << state.CropCount
        << ", \"min_y\": " << json_number(state.CropMinY)
        << ", \"max_y\": " << json_number(state.CropMaxY)
        << (state.CropOrigin == 0.0 ? "" : ", \"origin\": " + json_number(state.CropOrigin))
        << "},\n"
        << "  \"best\": {\n"
        << "    \"x\": " << json_vertices(state.BestOfBestX, state.CropOrigin) << ",\n"
        << "    \"y\": " << json_vertices(state.BestOfBestY) << ",\n"
        << "    \"r\": " << json_number(state.BestOfBestR) << ",\n"
        << "    \"sq_dist\": " << json_number(state.BestOfBestSqDist) << "\n"
        << "  },\n"
        << "  \"trials\": " << state.TrialCount << ",\n"
        << "  \"report\": [";
    for (std::size_t i = 0; i < lines.size(); ++i)
        out << (i == 0 ? "\n    " : ",\n    ") << json_string(lines[i]);
    out << (lines.empty() ? "]" : "\n  ]") << more << "\n}\n";
}

}  // namespace tolvenar
