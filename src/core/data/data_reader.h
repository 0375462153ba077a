// SPDX-License-Identifier: GPL-3.0-or-later
// The data file reader: text of comma- and line-separated fields taken as (x, y) pairs, the
// first pair the column titles, marker rows dropped; plus the checks the rest of the import
// makes before it draws, so that every caller accepts and refuses exactly the same files.
#pragma once

#include "core/data/data_table.h"

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tolvenar {

// Why a data file was refused.
enum class ImportFailure {
    CannotOpen,         // the file could not be opened or read
    TooFewFields,       // fewer than ten fields: no title row and four data rows
    FieldCheckFailed,   // fields 4, 7 and 10 hold equal values
    EndsInsidePair,     // the last pair has no y: an odd number of fields
    TextValue,          // a data row's x or y is text (quoted, NaN, inf, ...)
    XDecreases,         // a data row's x is less than the one before it
    OutOfRange,         // a number beyond the double range, a value or span beyond the single's
    FlatSeries,         // all y equal, or the first and last x: the overview has no extent
    Utf16,              // UTF-16 text
    Semicolons,         // fields separated by semicolons
    DecimalComma,       // a number written with a decimal comma
    TrailingEmptyLine,  // an empty line after the last pair
};

// A refused data file. what() is a one-line message for the user that names the line and the
// text behind the refusal where there is one.
class ImportError : public std::runtime_error {
public:
    ImportError(ImportFailure reason, const std::string& message);

    ImportFailure reason() const noexcept { return m_reason; }

private:
    ImportFailure m_reason;
};

// One field of the file as it stands. Quoted fields are always text.
struct Field {
    CellKind kind = CellKind::Empty;
    double number = 0.0;    // when kind == Number
    std::string_view text;  // when kind == Text: the text, quotes removed (see FieldStream)
    bool doubled_quotes = false;  // the text holds "" pairs, each standing for one quote
    bool quoted = false;          // the field opened with a double quote
    std::size_t line = 0;         // line of the file (from 1) where the field starts
};

// The data file as a stream of fields. A field ends at a comma, at a line end (CR, LF or
// CR LF) or at the end of the text; blanks (space, tab) before it are skipped and blanks after an
// unquoted field are dropped. A field opening with a double quote is text up to the closing
// quote, commas and line ends included ("" inside stands for one quote); anything between the
// closing quote and the separator is ignored, and an unquoted quote is an ordinary character.
// An unquoted field that is wholly a decimal number (optional sign, digits with an optional
// full stop, optional exponent) is a number, any other one text, nothing at all the empty value.
// The stream is at its end once the last separator has been taken: a final line end ends the
// last field and makes none, a final empty line is one more (empty) field. A UTF-8 byte order
// mark at the start is skipped.
class FieldStream {
public:
    explicit FieldStream(std::string_view text);

    bool at_end() const noexcept { return m_pos == m_text.size(); }
    std::size_t line() const noexcept { return m_line; }  // where the next field starts, from 1
    // The next field (an empty one at the end). A number beyond the double range raises
    // FaultKind::Overflow; one below it reads as 0.
    Field next();

private:
    std::string_view m_text;
    std::size_t m_pos = 0;
    std::size_t m_line = 1;  // line at m_pos
};

// The reader's result: the fresh data table (rows 0..DataCount + 1, x order noted) and the
// y range of rows 1..DataCount in single precision.
struct ImportedSeries {
    DataTable table;
    bool FieldCheckFailed = false;  // always False in a returned series: a failed check refuses
    float smallest_y = kEmptyRangeLowest;  // still the empty range only without data rows
    float largest_y = kEmptyRangeHighest;
};

// Reads a whole data file. Every refusal throws ImportError: besides the layout's, a data row
// whose x or y is not a number within the single range, or whose x falls below the row before.
// A file of another format (UTF-16, semicolons, decimal commas, an empty last line) is refused
// with that reason. Nothing is shared with any earlier table, so a caller's previous table
// survives every failure.
ImportedSeries read_data_text(std::string_view text);
ImportedSeries read_data_file(const std::filesystem::path& path);

// The bytes of a data file; ImportError CannotOpen, naming the path, when they cannot be read.
std::string read_data_bytes(const std::filesystem::path& path);

// The one line that says why the data from `source` (the path as given) were refused:
// "<source>: <reason>", or the reason alone when it names the source itself (CannotOpen).
std::string import_refusal_line(std::string_view source, const ImportError& error);

// The overview strip's user scale, each value in single precision.
struct OverviewScale {
    float ScaleLeft = 0.0f;    // x of row 1
    float ScaleTop = 0.0f;     // largest y + 10 % of the y span
    float ScaleWidth = 0.0f;   // x of the last row - x of row 1 (negative mirrors)
    float ScaleHeight = 0.0f;  // (smallest y - largest y) * 1.2, negative: y grows upward
};

// The strip's scale for an imported series, in the order the picture box takes it. Faults:
// TypeMismatch for a text x, Overflow beyond the single range, InvalidPropertyValue for a zero
// width or height (all y equal, first x = last x), which the picture box refuses.
OverviewScale overview_scale(const ImportedSeries& series);

// Converts every x and y of rows 1..DataCount to single precision as the overview drawing does:
// a text cell raises TypeMismatch, a value beyond the single range Overflow.
void check_overview_cells(const DataTable& table);

// A series that the whole import accepts, with the strip's scale.
struct CheckedImport {
    ImportedSeries series;
    OverviewScale scale;
};

// The reader, the strip's scale and the overview's conversions in the import's order; the
// window and the command line both use these, so they refuse the same files. The strip's
// refusals become ImportError too (FlatSeries, OutOfRange).
CheckedImport import_data_text(std::string_view text);
CheckedImport import_data_file(const std::filesystem::path& path);

}  // namespace tolvenar
