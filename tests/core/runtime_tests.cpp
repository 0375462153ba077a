// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/runtime/clock.h"
#include "core/runtime/numbers.h"
#include "support/fixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <string>
#include <utility>

using namespace tolvenar;
using tolvenar::test::fault_of;

namespace {

const double kNaN = std::nan("");
const std::optional<FaultKind> kOverflow = FaultKind::Overflow;

TEST(LeadingNumberParse, ReadsTheLongestLeadingNumber)
{
    const std::pair<const char*, std::optional<double>> cases[] = {  // none: overflows
        {"", 0}, {"abc", 0}, {"10", 10}, {"  12", 12}, {"\t-3.5", -3.5}, {"+7", 7}, {".5", 0.5},
        {"-.5", -0.5}, {"5.", 5}, {".", 0}, {"-", 0}, {"1,5", 1}, {"3.7.2", 3.7}, {"12abc", 12},
        // Exponents: either sign, either letter, digits required, else the mantissa alone.
        {"1.5e5", 150000}, {"2E-3", 0.002}, {"-4.25e+02", -425}, {"  +9.25e+1x", 92.5},
        {"7e", 7}, {"7e+", 7}, {"7E-x", 7}, {"e5", 0}, {"1e0", 1}, {"1E+16", 1e16},
        {"1e-400", 0}, {"1e400", {}}, {"-1e400", {}}};
    for (const auto& [text, value] : cases) {
        std::optional<double> got;
        EXPECT_EQ(fault_of([&] { got = parse_leading_number(text); }).has_value(), !value);
        EXPECT_EQ(got, value) << '"' << text << '"';
    }
}

TEST(HalfEvenRounding, DecidesOnTheExactBinaryValue)
{
    const struct { double value; int decimals; double rounded; } cases[] = {
        {0.125, 2, 0.12}, {0.375, 2, 0.38}, {-0.125, 2, -0.12}, {2.5, 0, 2}, {3.5, 0, 4},
        {-2.5, 0, -2}, {8.5, 0, 8}, {9.5, 0, 10}, {5.4, 2, 5.4}, {123456.789, 1, 123456.8},
        {2.675, 2, 2.67}, {1.005, 2, 1.0},  // stored just below the half
        {0.05, 1, 0.1}, {0.15f, 1, 0.2}, {0.45f, 1, 0.4},  // above, above, below
        {2.5, -1, 2.5}, {2.5, 16, 2.5},  // no such number of places: unchanged
    };
    for (const auto& c : cases)
        EXPECT_EQ(round_half_even(c.value, c.decimals), c.rounded) << c.value << " " << c.decimals;
    EXPECT_FALSE(std::signbit(round_half_even(-0.001, 2)));  // never a negative zero
}

TEST(NumberText, IsTheShortestGeneralForm)
{
    const struct { double value; const char* text; } doubles[] = {
        {0.0, "0"}, {-0.0, "0"}, {3, "3"}, {-3, "-3"}, {5.4, "5.4"}, {12.5, "12.5"},
        {0.1 + 0.2, "0.3"}, {1.0 / 3.0, "0.333333333333333"}, {100, "100"}, {-9999, "-9999"},
        {123456789012345.0, "123456789012345"}, {1e15, "1E+15"}, {1.5e16, "1.5E+16"},
        {1e100, "1E+100"}, {0.0001, "0.0001"}, {0.00001, "1E-05"}, {-2.5e-7, "-2.5E-07"},
        {1e-10, "1E-10"}, {-0.12, "-0.12"}};
    for (const auto& [value, text] : doubles) {
        EXPECT_EQ(number_text(value), text);
        EXPECT_NEAR(parse_leading_number(text), value, std::fabs(value) * 1e-14) << text;
    }
    const struct { float value; const char* text; } singles[] = {
        {0.1f, "0.1"}, {1.0f / 3.0f, "0.3333333"}, {1234567, "1234567"}, {3.14159265f, "3.141593"},
        {12345678, "1.234568E+07"}, {-999999, "-999999"}, {1e8f, "1E+08"}};
    for (const auto& [value, text] : singles)
        EXPECT_EQ(number_text(value), text);
    EXPECT_EQ(number_text(kNaN), "NaN");
    // Rounded first, a single on its own binary value (5.4f lies above 5.4) and to its 7 digits.
    for (const auto& [got, text] : {std::pair{rounded_text(123456.79, 2), "123456.79"},
                                    {rounded_text(0.375f, 2), "0.38"}, {rounded_text(5.4f, 2), "5.4"},
                                    {rounded_text(123456.79f, 2), "123456.8"},
                                    {significant_text(3104.7, 3), "3100"}, {significant_text(0.0035149, 3), "0.00351"}})
        EXPECT_EQ(got, text);
}

TEST(CheckedConversion, RoundsHalfEvenAndRaisesWhereTheRuntimeDoes)
{
    using Rows = std::vector<std::pair<double, std::optional<double>>>;  // none: overflows
    const auto check = [](const char* name, auto convert, const Rows& rows) {
        for (const auto& [in, out] : rows) {
            std::optional<double> got;
            const auto fault = fault_of([&] { got = convert(in); });
            EXPECT_EQ(fault, out ? std::nullopt : kOverflow) << name << in;
            EXPECT_EQ(got, out) << name << in;
        }
    };
    check("int16 ", to_int16, {{0.5, 0}, {0.7, 1}, {1.5, 2}, {2.5, 2}, {-1.5, -2}, {32767.4, 32767},
                               {32767.5, {}}, {-32768.5, -32768}, {-32769, {}}, {kNaN, {}}});
    check("int32 ", to_int32, {{7.5, 8}, {2147483647.0, 2147483647.0}, {2147483647.5, {}},
                               {-2147483648.0, -2147483648.0}, {-2147483649.0, {}}});
    check("single ", to_single, {{0.1, 0.1f}, {1e-50, 0}, {1e39, {}}, {3.4028234e38, 3.4028234e38f},
                                 {HUGE_VAL, {}}, {kNaN, {}}});
    EXPECT_EQ(checked_divide(1, 4), 0.25);
    EXPECT_EQ(fault_of([] { checked_divide(1, 0); }), FaultKind::DivisionByZero);
    EXPECT_EQ(fault_of([] { checked_divide(0, 0); }), kOverflow);
    EXPECT_EQ(fault_of([] { checked_divide(1e300, 1e-300); }), kOverflow);
}

// The local time of day from the epoch seconds and a fixed offset, as the zone rule states it.
TEST(Clock, TimeOfDayIsTheLocalWholeSecondOfTheDay)
{
    const std::string saved = std::getenv("TZ") ? std::getenv("TZ") : "";
    const std::pair<const char*, long> zones[] = {  // seconds east of UTC
        {"UTC0", 0}, {"<+0530>-5:30", 19800}, {"<-03>3", -10800}, {"<+14>-14", 50400}};
    for (const auto& [zone, east] : zones) {
        setenv("TZ", zone, 1);
        tzset();
        const auto local = [east](std::time_t now) {
            return static_cast<double>(((now + east) % 86400 + 86400) % 86400) / 86400.0;
        };
        const double before = local(std::time(nullptr)), t = time_of_day();
        EXPECT_TRUE(t == before || t == local(std::time(nullptr))) << zone << " " << t;
    }
    saved.empty() ? unsetenv("TZ") : setenv("TZ", saved.c_str(), 1);
    tzset();
}

}  // namespace
