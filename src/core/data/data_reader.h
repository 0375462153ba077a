// SPDX-License-Identifier: GPL-3.0-or-later
// The data file reader: text of comma- and line-separated fields taken as (x, y) pairs, the
// first pair the column titles, marker rows dropped as breaks in the data, or a table of columns
// under a title row with any of four separators; plus the checks the rest of the import makes
// before it draws, so that every caller accepts and refuses exactly the same files.
#pragma once

#include "core/data/data_table.h"
#include "core/data/x_form.h"

#include <filesystem>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tolvenar {

// Why a data file was refused.
enum class ImportFailure {
    CannotOpen,         // the file could not be opened or read
    TooFewFields,       // no title row and four data rows with a value
    FieldCheckFailed,   // fields 4, 7 and 10 hold equal values
    EndsInsidePair,     // the last pair has no y: an odd number of fields
    TextValue,          // a data row's x or y is text (inf, 1.2.3, a date among numbers, ...)
    XDecreases,         // a data row's x is out of the order the rows before set
    OutOfRange,         // a number beyond the double range, a value or span beyond the single's
    FlatSeries,         // all y equal, or the first and last x: the overview has no extent
    Utf16,              // UTF-16 text
    Semicolons,         // fields separated by semicolons where no separator could be told
    DecimalComma,       // a number written with a decimal comma in a comma-separated file
    TrailingEmptyLine,  // an empty line after the last pair
    MissingX,           // a data row without an x: empty, absent or a missing-value marker
    BadSigma,           // a sigma that is zero, negative, empty, text or too small to weigh
    NoSuchColumn,       // a chosen column that the title row does not hold
    AmbiguousSeparator, // two separators read the first rows, each differently
    UnequalLengths,     // arrays of x, y and sigma whose lengths differ
    CommentsOnly,       // nothing but comments, or a description block never closed
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

// What separates the fields of a line.
enum class Separator : std::uint8_t {
    Comma,      // ",": the only one a decimal comma is never read with
    Semicolon,  // ";": numbers may have a decimal comma
    Tab,        // one tab per field: numbers may have a decimal comma
    Blanks,     // runs of spaces and tabs; a date and a time of day apart by blanks stay one field
};

// One field of the file as it stands. Quoted fields are always text.
struct Field {
    CellKind kind = CellKind::Empty;
    double number = 0.0;    // when kind == Number
    std::string_view text;  // the field as written, quotes removed (see FieldStream)
    bool doubled_quotes = false;  // the text holds "" pairs, each standing for one quote
    bool quoted = false;          // the field opened with a double quote
    bool ends_line = false;       // a line end (or the end of the text) follows the field
    std::size_t line = 0;         // line of the file (from 1) where the field starts
};

// The data file as a stream of fields. A field ends at its separator (a comma by default), at a
// line end (CR, LF or CR LF) or at the end of the text; blanks (space, tab; only spaces with the
// tab separator) before it are skipped and after an unquoted field dropped. With the Blanks
// separator a run of blanks is one separator and never makes an empty field, and a date, blanks
// and a time of day are one field. A field opening with a double quote is text up to the closing
// quote, separators and line ends included ("" inside stands for one quote); anything between
// the closing quote and the separator is ignored, and an unquoted quote is an ordinary character.
// An unquoted field that is wholly a decimal number (optional sign, digits with an optional full
// stop, optional exponent) is a number, and so is one with a decimal comma in its place (digits
// on both sides) with the semicolon and tab separators; any other field is text, nothing at all
// the empty value. The stream is at its end once the last separator has been taken: a final line
// end ends the last field and makes none, a final empty line is one more (empty) field. A UTF-8
// byte order mark at the start is skipped, and so are comments: a leading description block from
// "/*" to the end of the line that closes it with "*/", and every line whose first character
// after blanks is the comment character (none when it is '\0'); line numbers still count them.
class FieldStream {
public:
    explicit FieldStream(std::string_view text, Separator separator = Separator::Comma,
                         char comment = '\0');

    bool at_end() const noexcept { return m_pos == m_text.size(); }
    std::size_t line() const noexcept { return m_line; }  // where the next field starts, from 1
    // The lines skipped as comments so far, a description block's included.
    std::size_t comment_lines() const noexcept { return m_comment_lines; }
    // The line of a description block that no "*/" closes (it runs to the end); 0: none.
    std::size_t unclosed_block() const noexcept { return m_unclosed_block; }
    // The next field (an empty one at the end). A number beyond the double range raises
    // FaultKind::Overflow; one below it reads as 0.
    Field next();

private:
    template <char separator>
    Field next_separated();
    void read_unquoted(Field& field, std::string_view raw) const;
    // The quoted field opening at `p`; the position after its closing quote, or the text's end.
    std::size_t read_quoted(Field& field, std::size_t p);
    // Skips the comment lines from m_pos, a line's start.
    void skip_comments();

    std::string_view m_text;
    std::size_t m_pos = 0;
    std::size_t m_line = 1;  // line at m_pos
    Separator m_separator = Separator::Comma;
    char m_comment = '\0';
    std::size_t m_comment_lines = 0;
    std::size_t m_unclosed_block = 0;
};

// A column of the data file, as a user names it.
struct ColumnChoice {
    std::string name;  // the column's title in the title row; "" to choose by number
    int number = 0;    // from 1, when name is ""

    // "3" chooses column 3, any other text the column of that title.
    static ColumnChoice of_text(std::string_view text);
    bool operator==(const ColumnChoice&) const = default;
};

// How to read a data file. The defaults read every file as before columns could be chosen.
struct ReadOptions {
    ColumnChoice x{"", 1};               // the x column (time, depth, age, ...)
    ColumnChoice y{"", 2};               // the measured value
    std::optional<ColumnChoice> sigma;   // the y uncertainty; none when unset
    std::optional<double> missing;       // a y equal to it is missing, as an empty y is
    char comment = '#';                  // starts a comment line (FieldStream); '\0': none

    // Only the first two columns and no sigma: the file may be read as a stream of pairs.
    bool pairs_allowed() const;
};

// How the reader takes a file: its separator, and whether as a stream of (x, y) pairs
// (fields in pairs whatever the lines, the comma files it has always read) or line by line in
// columns (another separator, chosen columns or a sigma, or a title row of three or more fields
// whose third is text, which the pair stream would take for the first data x and refuse; with a
// number or nothing for the third, columns where the pairs refuse the file). A first line whose
// x and y read as data (an x that is a number or a date, a y that is a number or a gap; in the
// pair stream its first two fields) is data, not titles: the file has no title row, its columns
// go by number, and one of three fields or more is read in columns.
struct DataLayout {
    Separator separator = Separator::Comma;
    bool pairs = true;                // a stream of (x, y) pairs; false: one data row per line
    bool title_row = true;            // false: the first line is data
    std::vector<std::string> titles;  // the first line's fields, quotes removed; "" each without
                                      // a title row
};

// The layout of `text` under `options`: the separator that reads the title row and the first data
// rows (comma when none does); ImportError AmbiguousSeparator when two others read them
// differently. Nothing beyond the first rows is read.
DataLayout data_layout(std::string_view text, const ReadOptions& options = {});
// "comma", "semicolon", "tab" or "blanks".
std::string_view separator_text(Separator separator);

// The reader's result: the fresh data table (rows 0..DataCount + 1 in increasing x, x order
// noted) and the y range of rows 1..DataCount in single precision, with what the file says of
// them beside the table.
struct ImportedSeries {
    DataTable table;
    bool FieldCheckFailed = false;  // always False in a returned series: a failed check refuses
    float smallest_y = kEmptyRangeLowest;  // still the empty range only without data rows
    float largest_y = kEmptyRangeHighest;
    // x of every row whose y is missing, and midway between its neighbours of every marker row
    // between two rows: where the data break, ascending; out of the table.
    std::vector<double> gap_x;
    std::vector<double> sigma;     // sigma[row]: y uncertainty of row 1..DataCount; empty: none
    XForm x_form;                  // the file's x: plain numbers, or dates as days from data row 1
    bool reversed = false;         // the file lists x downwards; the table holds them upwards
    std::string x_title, y_title, sigma_title;  // the chosen columns' titles ("" for none)
    DataLayout layout;             // the separator and reading the file was taken with
    std::size_t comment_lines = 0;  // lines skipped as comments, a description block's included
};

// The number of gaps at x within [from, to]: those of a crop, or (with from and to two data rows'
// x) those between two points, where a drawing of the data breaks its line.
std::size_t gaps_within(const std::vector<double>& gap_x, double from, double to);

// Reads a whole data file. Every refusal throws ImportError: besides the layout's, a data row
// without an x, whose x or y is not a number (or date) within the single range, or whose x breaks
// the order of the rows before: increasing (equal x allowed), or strictly decreasing from the
// second row on, which the table then holds reversed. A y that is empty, NaN, NA, NULL (any case)
// or options.missing makes its row a gap. A file of another format (UTF-16, decimal commas among
// commas, an empty last line) is refused with that reason. Nothing is shared with any earlier
// table, so a caller's previous table survives every failure.
ImportedSeries read_data_text(std::string_view text, const ReadOptions& options = {});
ImportedSeries read_data_file(const std::filesystem::path& path, const ReadOptions& options = {});

// The rows (x[i], y[i], sigma[i]) as the reader takes a file's data rows, with its refusals,
// which name "data row 6" without a line: a NaN y is a gap, a NaN x missing, an infinity beyond
// the single range. sigma empty: none. ImportError UnequalLengths when the lengths differ.
ImportedSeries read_data_arrays(std::span<const double> x, std::span<const double> y,
                                std::span<const double> sigma = {});
// The same with x given as ISO dates or date-times, read as a file's column of them is: days
// from the first, the series' x form the file's; "NaN" is a missing x.
ImportedSeries read_data_arrays(std::span<const std::string> x_dates, std::span<const double> y,
                                std::span<const double> sigma = {});

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
CheckedImport import_data_text(std::string_view text, const ReadOptions& options = {});
CheckedImport import_data_file(const std::filesystem::path& path,
                               const ReadOptions& options = {});
CheckedImport import_data_arrays(std::span<const double> x, std::span<const double> y,
                                 std::span<const double> sigma = {});
CheckedImport import_data_arrays(std::span<const std::string> x_dates, std::span<const double> y,
                                 std::span<const double> sigma = {});

}  // namespace tolvenar
