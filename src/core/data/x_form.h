// SPDX-License-Identifier: GPL-3.0-or-later
// How a data file writes its x: plain numbers, or ISO 8601 dates and date-times, which the
// reader takes as days from the first data row so that every x in the program stays a double.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tolvenar {

// An ISO 8601 date or date-time as written: 2024-03-01, 2024-03-01T12:30, 2024-03-01 12:30:05.25,
// each with an optional zone (Z, +01:00, +0100, +01).
struct IsoTime {
    std::int64_t day = 0;        // days from 1970-01-01, proleptic Gregorian
    double second = 0.0;         // seconds into that day on the written clock, 0 <= second < 86400
    bool has_time = false;       // a time of day follows the date
    char time_separator = 'T';   // 'T' or ' '
    int time_fields = 0;         // 2 for hh:mm, 3 for hh:mm:ss; 0 without a time
    int fraction_digits = 0;     // digits after the seconds' decimal point
    bool zoned = false;          // a zone follows the time
    bool zulu = false;           // the zone is written Z
    int zone_minutes = 0;        // the zone's offset east of UTC, in minutes
};

// The whole of `text` (blanks around it aside) as an ISO date or date-time; nullopt otherwise
// (also for an impossible date such as 2023-02-29 or a time such as 24:30).
std::optional<IsoTime> parse_iso_time(std::string_view text);

enum class XKind : std::uint8_t {
    Number,    // plain numbers, taken as they are
    Date,      // dates without a time of day
    DateTime,  // dates with a time of day
};

// The x form of a data file. For dates x = days from the first data row's instant, in double.
struct XForm {
    XKind kind = XKind::Number;
    std::int64_t origin_day = 0;    // the first data row's day, from 1970-01-01 (in UTC when zoned)
    double origin_second = 0.0;     // its time of day in seconds (in UTC when zoned)
    char time_separator = 'T';      // as the first data row writes it
    int time_fields = 2;            // 2 = hh:mm, 3 = hh:mm:ss, as the file's finest row
    int fraction_digits = 0;        // the file's most seconds' decimals, at most 6 written
    bool zoned = false;             // the date-times carry a zone (all of them, or none)
    bool zulu = false;              // the first data row writes its zone as Z
    int zone_minutes = 0;           // the first data row's zone, used to write every x back

    bool is_date() const noexcept { return kind != XKind::Number; }
};

// The x form that `first`, the first data row's x, starts.
XForm x_form_of(const IsoTime& first);
// Days from the form's origin to `time`; a zoned time in a zoned form compares in UTC.
double days_of(const IsoTime& time, const XForm& form);

// An x in the file's own form: the number text for plain numbers; for dates an ISO date when the
// value is whole days and a date with hh:mm otherwise, for date-times the file's own fields, time
// separator and zone. A value that no four-digit year holds, or not finite, as a number.
std::string x_text(double x, const XForm& form);

// A typed x in the file's form: a number for plain numbers, an ISO date or date-time for dates
// (without a zone it takes the form's zone). nullopt when the text is neither.
std::optional<double> parse_x(std::string_view text, const XForm& form);

// A span of x: its number text for plain numbers; for dates "3.5 days", or "5.2 hours" where it is
// shorter than a day (three significant digits at most).
std::string duration_text(double span, const XForm& form);

}  // namespace tolvenar
