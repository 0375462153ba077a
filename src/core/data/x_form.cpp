// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/data/x_form.h"

#include "core/runtime/numbers.h"

#include <cmath>
#include <cstdio>

namespace tolvenar {

namespace {

constexpr double kSecondsPerDay = 86400.0;
constexpr int kMostWrittenDecimals = 6;  // microseconds: beyond, a double day count has no more

// Days from 1970-01-01 of a proleptic Gregorian date (month 1..12).
std::int64_t days_from_civil(std::int64_t year, int month, int day)
{
    year -= month <= 2;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t year_of_era = year - era * 400;
    const std::int64_t day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t day_of_era =
        year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    return era * 146097 + day_of_era - 719468;
}

struct Civil {
    std::int64_t year;
    int month, day;
};

Civil civil_from_days(std::int64_t days)
{
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t day_of_era = days - era * 146097;
    const std::int64_t year_of_era =
        (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
    const std::int64_t day_of_year =
        day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
    const std::int64_t mp = (5 * day_of_year + 2) / 153;
    const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    return {year_of_era + era * 400 + (month <= 2), month,
            static_cast<int>(day_of_year - (153 * mp + 2) / 5 + 1)};
}

bool leap(std::int64_t year)
{
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int days_in_month(std::int64_t year, int month)
{
    constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && leap(year) ? 29 : kDays[month - 1];
}

// Reads `count` digits at `at` into `value`; false when they are not all there.
bool digits(std::string_view s, std::size_t& at, int count, int& value)
{
    value = 0;
    for (int i = 0; i < count; ++i, ++at) {
        if (at >= s.size() || s[at] < '0' || s[at] > '9')
            return false;
        value = value * 10 + (s[at] - '0');
    }
    return true;
}

// "hh:mm[:ss[.fff]]" at `at` into `time`.
bool read_clock(std::string_view s, std::size_t& at, IsoTime& time)
{
    int hour = 0, minute = 0, second = 0;
    if (!digits(s, at, 2, hour) || at >= s.size() || s[at++] != ':' || !digits(s, at, 2, minute))
        return false;
    time.time_fields = 2;
    double fraction = 0.0;
    if (at < s.size() && s[at] == ':') {
        ++at;
        if (!digits(s, at, 2, second))
            return false;
        time.time_fields = 3;
        if (at < s.size() && (s[at] == '.' || s[at] == ',')) {
            double scale = 0.1;
            for (++at; at < s.size() && s[at] >= '0' && s[at] <= '9'; ++at, scale /= 10) {
                fraction += (s[at] - '0') * scale;
                ++time.fraction_digits;
            }
            if (time.fraction_digits == 0)
                return false;
        }
    }
    if (hour > 23 || minute > 59 || second > 59)
        return false;
    time.second = hour * 3600.0 + minute * 60.0 + second + fraction;
    return true;
}

// "Z", "+hh", "+hhmm" or "+hh:mm" (or with a minus) at `at` into `time`.
bool read_zone(std::string_view s, std::size_t& at, IsoTime& time)
{
    if (s[at] == 'Z') {
        ++at;
        time.zoned = time.zulu = true;
        return true;
    }
    const int sign = s[at] == '-' ? -1 : 1;
    if (s[at] != '+' && s[at] != '-')
        return false;
    ++at;
    int hours = 0, minutes = 0;
    if (!digits(s, at, 2, hours))
        return false;
    if (at < s.size()) {
        if (s[at] == ':')
            ++at;
        if (!digits(s, at, 2, minutes))
            return false;
    }
    if (hours > 23 || minutes > 59)
        return false;
    time.zoned = true;
    time.zone_minutes = sign * (hours * 60 + minutes);
    return true;
}

// The written clock's seconds of `time` in UTC when it is zoned.
double utc_second(const IsoTime& time)
{
    return time.second - (time.zoned ? time.zone_minutes * 60.0 : 0.0);
}

}  // namespace

std::optional<IsoTime> parse_iso_time(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    IsoTime time;
    std::size_t at = 0;
    int year = 0, month = 0, day = 0;
    if (!digits(s, at, 4, year) || at >= s.size() || s[at++] != '-' || !digits(s, at, 2, month) ||
        at >= s.size() || s[at++] != '-' || !digits(s, at, 2, day))
        return std::nullopt;
    if (month < 1 || month > 12 || day < 1 || day > days_in_month(year, month))
        return std::nullopt;
    time.day = days_from_civil(year, month, day);
    if (at < s.size()) {
        if (s[at] != 'T' && s[at] != ' ')
            return std::nullopt;
        time.time_separator = s[at++];
        time.has_time = true;
        if (!read_clock(s, at, time) || (at < s.size() && !read_zone(s, at, time)))
            return std::nullopt;
    }
    if (at != s.size())
        return std::nullopt;
    return time;
}

XForm x_form_of(const IsoTime& first)
{
    XForm form;
    form.kind = first.has_time ? XKind::DateTime : XKind::Date;
    form.origin_day = first.day;
    form.origin_second = utc_second(first);
    form.time_separator = first.time_separator;
    form.time_fields = first.has_time ? first.time_fields : 2;
    form.fraction_digits = first.fraction_digits;
    form.zoned = first.zoned;
    form.zulu = first.zulu;
    form.zone_minutes = first.zone_minutes;
    return form;
}

double days_of(const IsoTime& time, const XForm& form)
{
    return static_cast<double>(time.day - form.origin_day) +
           (utc_second(time) - form.origin_second) / kSecondsPerDay;
}

std::string x_text(double x, const XForm& form)
{
    if (!form.is_date() || !std::isfinite(x))
        return number_text(x);
    // Seconds on the file's clock from the origin's day, counted in the form's finest unit.
    const int decimals = form.kind == XKind::DateTime && form.time_fields == 3
                             ? std::min(form.fraction_digits, kMostWrittenDecimals)
                             : 0;
    const bool minutes = form.kind == XKind::Date || form.time_fields == 2;
    const double unit = minutes ? 60.0 : std::pow(10.0, -decimals);
    const double seconds =
        form.origin_second + (form.zoned ? form.zone_minutes * 60.0 : 0.0) + x * kSecondsPerDay;
    const double ticks = std::round(seconds / unit);
    if (!(std::fabs(ticks) < 9e15))
        return number_text(x);
    const auto per_day = static_cast<std::int64_t>(std::llround(kSecondsPerDay / unit));
    const auto count = static_cast<std::int64_t>(ticks);
    const std::int64_t day_offset = count / per_day - (count % per_day < 0);
    const std::int64_t rest = count - day_offset * per_day;
    const Civil date = civil_from_days(form.origin_day + day_offset);
    if (date.year < 0 || date.year > 9999)
        return number_text(x);
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", static_cast<int>(date.year), date.month,
                  date.day);
    std::string out = text;
    if (form.kind == XKind::Date && rest == 0)
        return out;
    const std::int64_t per_minute = minutes ? 1 : per_day / 1440;
    const std::int64_t minute_of_day = rest / per_minute;
    std::snprintf(text, sizeof text, "%c%02d:%02d",
                  form.kind == XKind::Date ? 'T' : form.time_separator,
                  static_cast<int>(minute_of_day / 60), static_cast<int>(minute_of_day % 60));
    out += text;
    if (!minutes) {
        const std::int64_t within = rest % per_minute;  // in units of 10^-decimals s
        const std::int64_t scale = per_minute / 60;
        std::snprintf(text, sizeof text, ":%02d", static_cast<int>(within / scale));
        out += text;
        if (decimals > 0) {
            std::snprintf(text, sizeof text, ".%0*lld", decimals,
                          static_cast<long long>(within % scale));
            out += text;
        }
    }
    if (form.kind == XKind::DateTime && form.zoned) {
        const int zone = std::abs(form.zone_minutes);
        std::snprintf(text, sizeof text, "%c%02d:%02d", form.zone_minutes < 0 ? '-' : '+',
                      zone / 60, zone % 60);
        out += form.zulu ? "Z" : text;
    }
    return out;
}

std::optional<double> parse_x(std::string_view text, const XForm& form)
{
    if (!form.is_date()) {
        if (!is_number_text(text))
            return std::nullopt;
        return parse_leading_number(text);
    }
    std::optional<IsoTime> time = parse_iso_time(text);
    if (!time || (time->zoned && !form.zoned))
        return std::nullopt;
    if (form.zoned && !time->zoned) {
        time->zoned = true;
        time->zone_minutes = form.zone_minutes;
    }
    return days_of(*time, form);
}

std::string duration_text(double span, const XForm& form)
{
    if (!form.is_date())
        return number_text(span);
    const bool hours = std::fabs(span) < 1.0;
    const double value = hours ? span * 24.0 : span;
    const double size = std::fabs(value);
    const std::string number =
        number_text(round_half_even(value, size >= 100 ? 0 : size >= 10 ? 1 : 2));
    const bool one = number == "1" || number == "-1";
    return number + (hours ? (one ? " hour" : " hours") : (one ? " day" : " days"));
}

}  // namespace tolvenar
