// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/runtime/clock.h"
#include "core/runtime/fault.h"
#include "core/runtime/numbers.h"
#include "core/runtime/random_source.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <ostream>
#include <set>
#include <string>

using namespace tolvenar;

namespace {

struct ParseCase {
    const char* text;
    double value;
};
void PrintTo(const ParseCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }

class LeadingNumberParse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(LeadingNumberParse, ReadsTheLongestLeadingNumber)
{
    EXPECT_EQ(parse_leading_number(GetParam().text), GetParam().value) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, LeadingNumberParse,
    ::testing::Values(ParseCase{"", 0.0}, ParseCase{"abc", 0.0}, ParseCase{"12", 12.0},
                      ParseCase{"  12", 12.0}, ParseCase{"\t-3.5", -3.5}, ParseCase{"+7", 7.0},
                      ParseCase{"1.5e3", 1500.0}, ParseCase{"1.5E-2", 0.015},
                      ParseCase{"2e", 2.0}, ParseCase{"2e+", 2.0}, ParseCase{"12abc", 12.0},
                      ParseCase{".5", 0.5}, ParseCase{"-.5", -0.5}, ParseCase{"5.", 5.0},
                      ParseCase{".", 0.0}, ParseCase{"-", 0.0}, ParseCase{"1,5", 1.0},
                      ParseCase{"3.7.2", 3.7}, ParseCase{"temp", 0.0}, ParseCase{"1e-400", 0.0},
                      ParseCase{"12.50", 12.5}, ParseCase{"1E+16", 1e16}));

TEST(LeadingNumberParse, MagnitudeBeyondDoubleOverflows)
{
    try {
        parse_leading_number("1e400");
        FAIL() << "no fault";
    } catch (const Fault& fault) {
        EXPECT_EQ(fault.kind(), FaultKind::Overflow);
    }
}

struct RoundCase {
    double value;
    int decimals;
    double expected;
};
void PrintTo(const RoundCase& c, std::ostream* os) { *os << c.value << " to " << c.decimals; }

class HalfEvenRounding : public ::testing::TestWithParam<RoundCase> {};

TEST_P(HalfEvenRounding, DecidesOnTheExactBinaryValue)
{
    const auto& c = GetParam();
    EXPECT_EQ(round_half_even(c.value, c.decimals), c.expected)
        << c.value << " to " << c.decimals;
}

INSTANTIATE_TEST_SUITE_P(
    Values, HalfEvenRounding,
    ::testing::Values(RoundCase{0.125, 2, 0.12}, RoundCase{0.375, 2, 0.38},
                      RoundCase{-0.125, 2, -0.12}, RoundCase{2.5, 0, 2.0},
                      RoundCase{3.5, 0, 4.0}, RoundCase{-2.5, 0, -2.0},
                      RoundCase{2.675, 2, 2.67},  // stored just below the half
                      RoundCase{1.005, 2, 1.0},   // likewise
                      RoundCase{0.05, 1, 0.1},    // stored just above the half
                      RoundCase{5.4, 2, 5.4}, RoundCase{-0.001, 2, 0.0},
                      RoundCase{8.5, 0, 8.0}, RoundCase{9.5, 0, 10.0},
                      RoundCase{123456.789, 1, 123456.8}));

TEST(HalfEvenRounding, NeverGivesNegativeZero)
{
    EXPECT_FALSE(std::signbit(round_half_even(-0.001, 2)));
    EXPECT_FALSE(std::signbit(round_half_even(-0.4, 0)));
}

TEST(HalfEvenRounding, SingleValuesRoundOnTheirOwnBinaryValue)
{
    // 0.15f is stored above 0.15, 0.45f below 0.45.
    EXPECT_EQ(round_half_even(static_cast<double>(0.15f), 1), 0.2);
    EXPECT_EQ(round_half_even(static_cast<double>(0.45f), 1), 0.4);
}

struct TextCase {
    double value;
    const char* text;
};
void PrintTo(const TextCase& c, std::ostream* os) { *os << c.text; }

class DoubleNumberText : public ::testing::TestWithParam<TextCase> {};

TEST_P(DoubleNumberText, IsTheShortestGeneralForm)
{
    EXPECT_EQ(number_text(GetParam().value), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Values, DoubleNumberText,
    ::testing::Values(TextCase{0.0, "0"}, TextCase{-0.0, "0"}, TextCase{3.0, "3"},
                      TextCase{-3.0, "-3"}, TextCase{5.4, "5.4"}, TextCase{0.6, "0.6"},
                      TextCase{12.5, "12.5"}, TextCase{0.1 + 0.2, "0.3"},
                      TextCase{1.0 / 3.0, "0.333333333333333"}, TextCase{100.0, "100"},
                      TextCase{123456789012345.0, "123456789012345"},
                      TextCase{1e15, "1E+15"}, TextCase{1.5e16, "1.5E+16"},
                      TextCase{0.0001, "0.0001"}, TextCase{0.00001, "1E-05"},
                      TextCase{-2.5e-7, "-2.5E-07"}, TextCase{-9999.0, "-9999"},
                      TextCase{999999.0, "999999"}, TextCase{-0.12, "-0.12"}));

class SingleNumberText : public ::testing::TestWithParam<TextCase> {};

TEST_P(SingleNumberText, HasAtMostSevenSignificantDigits)
{
    EXPECT_EQ(number_text(static_cast<float>(GetParam().value)), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Values, SingleNumberText,
    ::testing::Values(TextCase{0.1, "0.1"}, TextCase{5.4, "5.4"}, TextCase{1.0 / 3.0, "0.3333333"},
                      TextCase{1234567.0, "1234567"}, TextCase{12345678.0, "1.234568E+07"},
                      TextCase{-999999.0, "-999999"}, TextCase{3.14159265, "3.141593"},
                      TextCase{100000000.0, "1E+08"}, TextCase{0.0, "0"}));

TEST(RoundedText, KeepsTheValuesPrecision)
{
    EXPECT_EQ(rounded_text(0.125, 2), "0.12");
    EXPECT_EQ(rounded_text(0.375f, 2), "0.38");
    EXPECT_EQ(rounded_text(-9999.0f, 2), "-9999");
    EXPECT_EQ(rounded_text(5.4f, 2), "5.4");           // 5.4f lies above 5.4, still 5.4
    EXPECT_EQ(rounded_text(123456.79f, 2), "123456.8");  // seven digits of a single
    EXPECT_EQ(rounded_text(123456.79, 2), "123456.79");
    EXPECT_EQ(rounded_text(3.0, 1), "3");
}

TEST(NumberText, ReadsBackThroughTheLeadingNumberParse)
{
    for (double v : {0.1, -2.75, 1e-5, 1.5e16, 123.456, -9999.0}) {
        const double back = parse_leading_number(number_text(v));
        EXPECT_DOUBLE_EQ(back, v) << number_text(v);
    }
}

struct IntCase {
    double value;
    int expected;  // meaningful unless overflows
    bool overflows;
};
void PrintTo(const IntCase& c, std::ostream* os) { *os << c.value; }

class Int16Conversion : public ::testing::TestWithParam<IntCase> {};

TEST_P(Int16Conversion, RoundsHalfEvenAndChecksTheRange)
{
    const auto& c = GetParam();
    if (c.overflows) {
        EXPECT_THROW(to_int16(c.value), Fault) << c.value;
    } else {
        EXPECT_EQ(to_int16(c.value), c.expected) << c.value;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Values, Int16Conversion,
    ::testing::Values(IntCase{0.5, 0, false}, IntCase{1.5, 2, false}, IntCase{2.5, 2, false},
                      IntCase{-1.5, -2, false}, IntCase{32767.0, 32767, false},
                      IntCase{32767.4, 32767, false}, IntCase{32767.5, 0, true},
                      IntCase{-32768.5, -32768, false}, IntCase{-32769.0, 0, true},
                      IntCase{std::numeric_limits<double>::quiet_NaN(), 0, true},
                      IntCase{1e300, 0, true}));

TEST(Int32Conversion, RoundsHalfEvenAndChecksTheRange)
{
    EXPECT_EQ(to_int32(1000.0), 1000);
    EXPECT_EQ(to_int32(2147483647.0), 2147483647);
    EXPECT_EQ(to_int32(-2147483648.0), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(to_int32(6.5), 6);
    EXPECT_EQ(to_int32(7.5), 8);
    EXPECT_THROW(to_int32(2147483647.5), Fault);
    EXPECT_THROW(to_int32(-2147483649.0), Fault);
}

TEST(SingleConversion, RoundsToNearestAndOverflowsBeyondTheFloatRange)
{
    EXPECT_EQ(to_single(0.1), 0.1f);
    EXPECT_EQ(to_single(3.4028234e38), 3.4028234e38f);
    EXPECT_EQ(to_single(1e-50), 0.0f);
    try {
        to_single(1e39);
        FAIL() << "no fault";
    } catch (const Fault& fault) {
        EXPECT_EQ(fault.kind(), FaultKind::Overflow);
    }
    EXPECT_THROW(to_single(std::numeric_limits<double>::infinity()), Fault);
}

TEST(CheckedDivide, ReportsZeroDivisorsAsTheRuntimeDoes)
{
    EXPECT_EQ(checked_divide(1.0, 4.0), 0.25);
    const auto kind_of = [](double a, double b) {
        try {
            checked_divide(a, b);
        } catch (const Fault& fault) {
            return fault.kind();
        }
        ADD_FAILURE() << "no fault";
        return FaultKind::TypeMismatch;
    };
    EXPECT_EQ(kind_of(1.0, 0.0), FaultKind::DivisionByZero);
    EXPECT_EQ(kind_of(0.0, 0.0), FaultKind::Overflow);
    EXPECT_EQ(kind_of(1e300, 1e-300), FaultKind::Overflow);
}

TEST(FaultText, NamesKindAndPlace)
{
    const Fault fault(FaultKind::IndexOutOfRange, "ConvergenceTrace");
    EXPECT_STREQ(fault.what(), "index out of range in ConvergenceTrace");
    EXPECT_EQ(fault.kind(), FaultKind::IndexOutOfRange);
}

TEST(RandomSource, FollowsTheFixedStream)
{
    RandomSource a;
    RandomSource b;
    std::set<float> seen;
    for (int i = 0; i < 1000; ++i) {
        const float u = a.next();
        ASSERT_EQ(u, b.next());
        ASSERT_GE(u, 0.0f);
        ASSERT_LT(u, 1.0f);
        seen.insert(u);
    }
    EXPECT_GT(seen.size(), 990u);
    EXPECT_EQ(a.draws(), 1000u);

    // The first draw: mt19937(5489) gives 3499211612 first.
    RandomSource fresh;
    EXPECT_EQ(fresh.next(), static_cast<float>(3499211612u >> 8) * 0x1p-24f);
}

TEST(Clock, TimeOfDayIsAFractionOfADayInWholeSeconds)
{
    const double t = time_of_day();
    EXPECT_GE(t, 0.0);
    EXPECT_LT(t, 1.0);
    const double seconds = t * 86400.0;
    EXPECT_NEAR(seconds, std::round(seconds), 1e-6);
    const double earlier = monotonic_seconds();
    const double later = monotonic_seconds();
    EXPECT_LE(earlier, later);
}

}  // namespace
