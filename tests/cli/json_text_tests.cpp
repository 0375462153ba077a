// SPDX-License-Identifier: GPL-3.0-or-later
// The command line's JSON texts: escapes and the shortest float text that reads back exactly.
#include "cli/json_text.h"
#include "json_reader.h"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

namespace tolvenar {
namespace {

TEST(JsonText, StringsEscapeQuotesBackslashesAndControlCharacters)
{
    EXPECT_EQ(json_string("Simple ramp"), "\"Simple ramp\"");
    EXPECT_EQ(json_string("a\"b\\c"), "\"a\\\"b\\\\c\"");
    EXPECT_EQ(json_string("line\nnext\ttab\r"), "\"line\\nnext\\ttab\\r\"");
    EXPECT_EQ(json_string(std::string_view("\x01\x1f", 2)), "\"\\u0001\\u001f\"");
    EXPECT_EQ(json_string("m\xC2\xB3/s"), "\"m\xC2\xB3/s\"");  // UTF-8 as it stands
    const std::string odd("x\0\"\b\f/", 6);
    EXPECT_EQ(test::JsonReader::parse(json_string(odd)).text, odd);
}

TEST(JsonText, NumbersAreTheShortestTextOfTheFloat)
{
    EXPECT_EQ(json_number(0.1f), "0.1");
    EXPECT_EQ(json_number(-9999.0f), "-9999");
    EXPECT_EQ(json_number(1e8f), "1e+08");
    EXPECT_EQ(json_number(16777216.0f), "16777216");
    EXPECT_EQ(json_number(0.9629924f), "0.9629924");
    EXPECT_EQ(json_number(std::numeric_limits<float>::infinity()), "null");
    EXPECT_EQ(json_number(std::numeric_limits<float>::quiet_NaN()), "null");
}

// Every finite float, whatever its bits, is valid JSON and reads back to itself.
TEST(JsonText, NumbersReadBackToTheSameFloat)
{
    std::mt19937 bits(7);
    for (int i = 0; i < 20000; ++i) {
        const float value = std::bit_cast<float>(static_cast<std::uint32_t>(bits()));
        if (!std::isfinite(value))
            continue;
        const std::string text = json_number(value);
        ASSERT_EQ(test::JsonReader::parse(text).kind, test::JsonValue::Kind::Number) << text;
        float back = 0.0f;
        std::from_chars(text.data(), text.data() + text.size(), back);
        ASSERT_EQ(std::bit_cast<std::uint32_t>(back), std::bit_cast<std::uint32_t>(value)) << text;
    }
}

}  // namespace
}  // namespace tolvenar
