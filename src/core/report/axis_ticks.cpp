// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/report/axis_ticks.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>

namespace tolvenar::plot {

namespace {

// The multiples of `step` within [lo, hi], found by whole counts so that no sum drifts.
std::vector<double> multiples(double lo, double hi, double step)
{
    std::vector<double> at;
    const double first = std::ceil(lo / step - 1e-9);
    const double last = std::floor(hi / step + 1e-9);
    for (double k = first; k <= last && at.size() < 1000; ++k)
        at.push_back(k * step);
    return at;
}

std::string number_label(double value, double step)
{
    const int decimals = std::max(0, static_cast<int>(-std::floor(std::log10(step) + 1e-9)));
    if (std::abs(value) < step * 1e-6)
        value = 0.0;  // never "-0"
    std::array<char, 64> text{};
    std::snprintf(text.data(), text.size(), "%.*f", decimals, value);
    return text.data();
}

using std::chrono::days;
using std::chrono::sys_days;
using std::chrono::year_month_day;

std::int64_t day_of(const year_month_day& date)
{
    return sys_days(date).time_since_epoch().count();
}

year_month_day date_of(std::int64_t day)
{
    return year_month_day(sys_days(days(day)));
}

// Days from 1970 as whole months from year 0 and back, for ticks at the first of a month.
std::int64_t month_index(std::int64_t day)
{
    const year_month_day date = date_of(day);
    return static_cast<std::int64_t>(static_cast<int>(date.year())) * 12 +
           static_cast<unsigned>(date.month()) - 1;
}

std::int64_t first_of_month(std::int64_t month)
{
    const auto year = static_cast<int>(month >= 0 ? month / 12 : (month - 11) / 12);
    const auto in_year = static_cast<unsigned>(month - static_cast<std::int64_t>(year) * 12);
    return day_of(year_month_day(std::chrono::year(year), std::chrono::month(in_year + 1),
                                 std::chrono::day(1)));
}

// Ticks at the first of every `months`-th month (counted from year 0) between the absolute
// days [lo, hi].
std::vector<double> month_ticks(double lo, double hi, std::int64_t months)
{
    std::vector<double> at;
    std::int64_t month = month_index(static_cast<std::int64_t>(std::floor(lo)));
    month -= ((month % months) + months) % months;
    for (; at.size() < 1000; month += months) {
        const auto day = static_cast<double>(first_of_month(month));
        if (day > hi)
            break;
        if (day >= lo)
            at.push_back(day);
    }
    return at;
}

}  // namespace

std::vector<Tick> number_ticks(double lo, double hi, int least)
{
    if (lo > hi)
        std::swap(lo, hi);
    if (!std::isfinite(lo) || !std::isfinite(hi) || !(hi > lo))
        return {};
    // From a step that marks at least `least`, the widest that still does.
    double step = std::pow(10.0, std::floor(std::log10((hi - lo) / std::max(least, 1))));
    for (int i = 0; i < 6; ++i) {
        const double wider = step * (i % 3 == 1 ? 2.5 : 2.0);  // 1, 2, 5, 10, 20, 50, 100
        if (multiples(lo, hi, wider).size() < static_cast<std::size_t>(least))
            break;
        step = wider;
    }
    while (multiples(lo, hi, step).size() < static_cast<std::size_t>(least))
        step /= 2.0;
    std::vector<Tick> ticks;
    for (const double at : multiples(lo, hi, step))
        ticks.push_back({at, number_label(at, step)});
    return ticks;
}

std::vector<Tick> x_ticks(double lo, double hi, const XForm& form, int least)
{
    if (!form.is_date())
        return number_ticks(lo, hi, least);
    if (lo > hi)
        std::swap(lo, hi);
    if (!std::isfinite(lo) || !std::isfinite(hi) || !(hi > lo))
        return {};
    // x counts days from the first row's instant; the ticks stand at whole hours, days, months
    // and years of the file's own clock (its zone's), counted in days from 1970.
    const double zone = form.zoned ? form.zone_minutes / 1440.0 : 0.0;
    const double origin =
        static_cast<double>(form.origin_day) + form.origin_second / 86400.0 + zone;
    const double from = origin + lo;
    const double to = origin + hi;
    struct Step {
        std::function<std::vector<double>()> place;
        bool whole_days;
    };
    std::vector<Step> steps;  // narrowest first
    if (form.kind == XKind::DateTime)
        for (const double hours : {1.0, 2.0, 3.0, 6.0, 12.0})
            steps.push_back({[=] { return multiples(from, to, hours / 24.0); }, false});
    for (const double whole : {1.0, 2.0, 7.0, 14.0})
        steps.push_back({[=] { return multiples(from, to, whole); }, true});
    for (const std::int64_t months : {1, 2, 3, 6})
        steps.push_back({[=] { return month_ticks(from, to, months); }, true});
    for (double years = 1.0; years <= 1e5; years *= 10.0)
        for (const double times : {1.0, 2.0, 5.0})
            steps.push_back({[=] {
                                 return month_ticks(
                                     from, to, static_cast<std::int64_t>(years * times) * 12);
                             },
                             true});
    std::vector<double> chosen = steps.front().place();
    bool whole_days = steps.front().whole_days;
    for (const Step& step : steps) {
        std::vector<double> at = step.place();
        if (at.size() < static_cast<std::size_t>(least))
            break;
        chosen = std::move(at);
        whole_days = step.whole_days;
    }
    std::vector<Tick> ticks;
    for (const double day : chosen) {
        std::string label = x_text(day - origin, form);
        if (whole_days && label.size() > 10 && (label[10] == 'T' || label[10] == ' '))
            label.resize(10);  // a midnight says its date alone
        ticks.push_back({day - origin, std::move(label)});
    }
    return ticks;
}

}  // namespace tolvenar::plot
