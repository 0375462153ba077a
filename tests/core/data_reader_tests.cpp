// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/data/data_reader.h"
#include "core/runtime/numbers.h"
#include "data_reader_entry.h"
#include "support/fixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <regex>
#include <string>
#include <tuple>

namespace tolvenar {
namespace {

using test::fault_of;

// Each character followed by a zero byte, as UTF-16 stores ASCII text.
std::string utf16le(std::string_view text)
{
    std::string wide;
    for (const char c : text)
        wide += std::string{c, '\0'};
    return wide;
}

// "12" for a number, "'abc'" for a text, "" for the empty value.
std::string shown(CellKind kind, double number, std::string_view text)
{
    return kind == CellKind::Text ? "'" + std::string(text) + "'"
                                  : kind == CellKind::Number ? number_text(number) : "";
}

// The fields of `text`, each followed by "|", read through a view of it in a longer text.
std::string fields_of(std::string_view text)
{
    std::string out, longer = std::string(text) + '"';
    for (FieldStream stream(std::string_view(longer).substr(0, text.size())); !stream.at_end();) {
        const Field field = stream.next();
        out += shown(field.kind, field.number, field.text) + (field.doubled_quotes ? "+dq|" : "|");
    }
    return out;
}

// Rows 0..DataCount + 1 of a series as "x;y|"; with `facts` the layout, the gaps, the sigma and
// a reversal after them.
std::string rows_of(const ImportedSeries& series, bool facts)
{
    const DataTable& table = series.table;
    std::string rows;
    const auto cell = [&](const Cell& c) { return shown(c.kind, c.number, table.text_of(c)); };
    for (std::size_t row = 0; row < table.DataX.size(); ++row)
        rows += cell(table.DataX[row]) + ";" + cell(table.DataY[row]) + "|";
    if (!facts)
        return rows;
    rows += " " + std::string(separator_text(series.layout.separator)) +
            (series.layout.pairs ? " pairs" : "") + (series.reversed ? " reversed" : "") +
            (series.layout.title_row ? "" : " untitled") +
            (series.comment_lines ? " comments:" + std::to_string(series.comment_lines) : "");
    for (const auto& [name, values] : {std::pair{" gaps", series.gap_x}, {" sigma", series.sigma}})
        for (std::size_t i = 0; i < values.size(); ++i)
            rows += (i == 0 ? std::string(name) + ":" : ",") + number_text(values[i]);
    return rows;
}

// What the whole import makes of `text` (rows_of), or why it refused.
std::string import_of(std::string_view text, const ReadOptions& options = {}, bool facts = false)
{
    try {
        return rows_of(import_data_text(text, options).series, facts);
    } catch (const ImportError& error) {
        EXPECT_EQ(std::string(error.what()).find('\n'), std::string::npos);
        const char* reasons[] = {"cannot open", "too few fields", "field check", "inside a pair",
                                 "text", "x decreases", "out of range", "flat", "utf-16",
                                 "semicolons", "decimal comma", "empty line", "missing x",
                                 "sigma", "no column", "ambiguous", "unequal lengths",
                                 "comments only"};
        return reasons[static_cast<int>(error.reason())];
    } catch (const Fault& fault) {
        return std::string(fault_kind_name(fault.kind()));
    }
}

TEST(FieldStream, SplitsAndReadsFields)
{
    const std::pair<std::string, std::string> cases[] = {
        {"1,2", "1|2|"}, {"1,2\n", "1|2|"},           // a final line end makes no field
        {"1,2\n\n", "1|2||"}, {"1,2\n  ", "1|2||"},   // a final empty or blank line is one more
        {"1,2\r\n", "1|2|"}, {"1\r2\r", "1|2|"},      // CR LF is one line end, a lone CR too
        {"1\r\n\r\n2", "1||2|"}, {"1\n\r2", "1||2|"},  // LF CR is two
        {"1,,2", "1||2|"}, {",", "|"}, {"", ""}, {"  \t7  ,\t x y \n", "7|'x y'|"},
        {"\xEF\xBB\xBF\"a, b\",c", "'a, b'|'c'|"},  // a byte order mark is no part of it
        {"/* to the end */", ""}, {"/* a */\n1", "1|"},  // nor is a description block
        {"+2,-.5,5.,-0,09", "2|-0.5|5|0|9|"},
        {"12abc,.,-,+,1.2.3", "'12abc'|'.'|'-'|'+'|'1.2.3'|"},
        {"0x10,inf,nan,1 2", "'0x10'|'inf'|'nan'|'1 2'|"},
        {"123456789012345678901234567890", "1.23456789012346E+29|"},
        // Exponents: e or E, an optional sign, at least one digit, and nothing after them.
        {"1.5e5,2E-3,-4.25e+02,+.5E-1,5.E1,1e0", "150000|0.002|-425|0.05|50|1|"},
        {"1e-400,-1e-400,1e-99999999999,0.0e400", "0|0|0|0|"},  // below the range: 0
        {"7e,1e+,1e5x,1.2e3.4,1e 5,e5,1d5", "'7e'|'1e+'|'1e5x'|'1.2e3.4'|'1e 5'|'e5'|'1d5'|"},
        // Quotes: the text between them, whatever it holds; what follows the closing one is lost.
        {"\"a,b\",c", "'a,b'|'c'|"}, {"\"a\nb\",c", "'a\nb'|'c'|"}, {"  \"12\"  ,3", "'12'|3|"},
        {"\"\",1", "''|1|"}, {"\"ab\"junk ,c", "'ab'|'c'|"}, {"a\"b,c", "'a\"b'|'c'|"},
        {"\"a\"\"b\",c", "'a\"\"b'+dq|'c'|"}, {"1,\"ab\"", "1|'ab'|"},
        {"1,\"abc\ndef,5", "1|'abc\ndef,5'|"},  // unterminated: the rest of the text
    };
    for (const auto& [text, fields] : cases)
        EXPECT_EQ(fields_of(text), fields) << '"' << text << '"';
    EXPECT_TRUE(std::signbit(FieldStream("-1e-400").next().number));
    for (const char* text : {"1e400", "-1E+400", "1000e306", "0.001e312", "1e99999999999"})
        EXPECT_EQ(fault_of([&] { FieldStream(text).next(); }), FaultKind::Overflow) << text;
}

TEST(DataFile, ImportsPairsOrRefuses)
{
    const std::string four = "time,value\n0,1\n1,3\n2,2\n3,5\n";
    const std::string rows = "'time';'value'|0;1|1;3|2;2|3;5|";
    const std::string text = "text";
    const std::pair<std::string, std::string> cases[] = {
        {four, rows + ";|"}, {four + "4,7\n", rows + "4;7|;|"},
        {"time,value,0,1,1,3,2,2,3,5,4,7", rows + "4;7|;|"},  // pairs need not sit on lines
        {"\"time\",\"value\"\n 0 , 1\n1,3\n2,2\n3,5\n", rows + ";|"},
        {"\"\"\"a\"\"b\",v\n0,1\n1,3\n2,2\n3,5\n", "'\"a\"b';'v'|0;1|1;3|2;2|3;5|;|"},
        // Marker rows are dropped from the sixth pair on: x "Break" or "break", x or y "---".
        {four + "4,7\nBreak,1\n5,8\nbreak,\n---,3\n6,---\n\"---\",\"x\"\n7,9\n",
         rows + "4;7|5;8|7;9|;|"},
        {four + "4,7\nBreak,1\n---,x\n", rows + "4;7|'---';'x'|"},  // the last one stays spare
        {four + "BREAK,1\n", text}, {four + "5,6\nBreak.,4\n", text},  // exact text only
        {four + "5,6\n----,4\n", text},
        {"t,v\n0,1\nBreak,3\n2,2\n3,5\n", text}, {"t,v\n0,1\n1,---\n2,2\n3,5\n", text},
        // Comma files with a title of three fields or more whose third is text are tables; else
        // pairs, as they always were.
        {"t,v,s\n0,1,9\n1,3,9\n2,2,9\n3,5\n", "'t';'v'|0;1|1;3|2;2|3;5|;|"},
        {"t,v,0\n1,2,3\n4,5,6\n7,8,9\n", "'t';'v'|0;1|2;3|4;5|6;7|8;9|;|"},
        {"t,v,\n0,1,\n1,3,\n2,2,\n3,5,\n", "'t';'v'|0;1|1;3|2;2|3;5|;|"},  // pairs fail: columns
        {"t,v,\n0,1,\n1,3,\n2,2,\n3,5,\n4,x,\n", text},  // the columns' reason, not line 1's
        {"t,v,,\n0,1,,\n1,3,,\n2,2,,\n3,5,,\n,,,\n", "'t';'v'|0;1|1;3|2;2|3;5|;|"},  // an empty row
        // A line of three fields shifts the pairing.
        {"t,v\n0,1\n1,3,9\n10,11\n12,13,14\n", "'t';'v'|0;1|1;3|9;10|11;12|13;14|;|"},
        {"", "too few fields"}, {"time,value\n0,1\n1,3\n2,2\n3\n", "too few fields"},  // nine
        {four + "4", "inside a pair"}, {four + "4,7\n8\n", "inside a pair"},  // cut off or not
        {four + "4,7,\n", "inside a pair"},  // an empty 11th field
        // Fields 4, 7 and 10 refuse the file when all three hold equal values.
        {"t,v\n0,5\n1,3\n5,2\n3,5.0\n", "field check"},
        {"t,v\n0,a\n1,3\na,2\n3,a\n", "field check"},
        {"t,v\n0,\n1,3\n,2\n3,\n", "field check"}, {"t,v\n0,\n1,3\n0,2\n3,\n", "field check"},
        {"t,v\n0,\"\"\n1,3\n,2\n3,\"\"\n", "field check"},  // empty, 0 and the empty text alike
        {"t,v\n0,\"\"\n1,3\n\"\",2\n3,\n", "field check"},
        {"t,v\n0,5\n1,3\n5,2\n6,6\n", "'t';'v'|0;5|1;3|5;2|6;6|;|"},
        {"t,v\n-2,\n-1,3\n,2\n3,1\n", "missing x"},  // an empty x no longer counts 0
        {"t,v\n0,5\n1,3\n\"5\",2\n3,5\n", "x decreases"},  // passes the check: 5 is no text
        {"t,v\n0,5\n1,3\n\"\",2\n3,\"\"\n", "missing x"},  // nor is the empty text
        // Every data row: numbers within the single range, x never falling.
        {"t,v\n0,1\n1,3\n2,\"2\"\n3,5\n", "'t';'v'|0;1|1;3|2;2|3;5|;|"},  // a quoted number
        {"t,v\nx,1\n1,3\n2,2\n3,5\n", text},
        {"t,v\n0,1\n1,3\n2,1e39\n3,5\n", "out of range"}, {four + "1e39,4\n5,6\n", "out of range"},
        {"t;v\n0;\"1e999\"\n", "out of range"},
        {"t,v\n0,1\n1,3\n2,2\n3,1e400\n", "out of range"},  // beyond the double range
        {"t,v\n0,1\n1,3\n2,2\n1,5\n", "x decreases"}, {four + "3,0\n", rows + "3;0|;|"},
        {"t,v\n0,-3e38\n1,3e38\n2,2\n3,5\n", "out of range"},  // the y span in single
        // The strip's scale needs an extent each way.
        {"t,v\n10,2\n11,2\n12,2\n13,2\n", "flat"}, {"t,v\n5,1\n5,3\n5,2\n5,5\n", "flat"},
        {"t,v\n0,1\n0,3\n1e-50,2\n1e-50,5\n", "flat"},  // width single 0
        // Files of another format, whatever else their fields make of them.
        {four + "\n", "empty line"}, {four + "4,7\r\n \r\n", "empty line"},
        {"t;v\n0;1\n1;3\n2;2\n3;5\n", "'t';'v'|0;1|1;3|2;2|3;5|;|"},
        {"t;v\n0;1\n1;3\n2;2\n", "too few fields"}, {"t;v\n0;1\n0,1;3\n2;2,\n3\n", "semicolons"},
        {"t,v\n0,\"a;b\"\n1,3\n2,2\n3,5\n", text},  // inside quotes a semicolon is text
        {"t,v\n0,\"-0,5\"\n1,3\n2,2\n3,5\n", "decimal comma"},
        {"\xFF\xFE" + utf16le(four), "utf-16"}, {utf16le(four), "utf-16"}};
    for (const auto& [text, outcome] : cases)
        EXPECT_EQ(import_of(text), outcome) << text;
}

// A refusal names the line (and data row) and the text behind it, in one line.
TEST(DataFile, RefusalsNameTheLineAndTheText)
{
    const std::string head = "t,v\n0,1\n1,3\n", tail = "9,9\n9,9\n";
    ReadOptions sigma, named, timed;
    sigma.sigma = ColumnChoice::of_text("3");
    timed.x = ColumnChoice::of_text("time");
    ReadOptions aged = timed;
    aged.x = ColumnChoice::of_text("Age");
    named.x = ColumnChoice::of_text("time");
    named.y = ColumnChoice::of_text("900000000");  // nine digits: still a number
    ReadOptions third;  // a title the words of the first line hold, which no row reaches
    third.y = ColumnChoice::of_text("w");
    const struct { std::string text, message; ReadOptions options = {}; } cases[] = {
        {"t;v;s\n0;1;0,1\n1;3;0\n", "line 3 (data row 2): sigma = 0 is not positive, where an "
                                    "uncertainty must be", sigma},
        {"t,v,s\n0,1,-1\n", "line 2 (data row 1): sigma = -1 is not positive, where an "
                             "uncertainty must be", sigma},
        {"t,v,s\n0,1,0.1\n1,3\n", "line 3 (data row 2): sigma is empty", sigma},
        {"t,v,s\n0,1,sd\n", "line 2 (data row 1): sigma is the text \"sd\", not a number", sigma},
        {"t,v,s\n0,1,1e-160\n", "line 2 (data row 1): sigma = 1E-160 is too small to weigh a "
                                 "point (1 / sigma^2 beyond the double range)", sigma},
        {"t\tv\tTime\n0\t1\t2\n", "there is no column 900000000 for y: the title row has 3 (\"t\", "
                                   "\"v\", \"Time\")", named},
        {"t,v\n0,1\n", "no column is titled \"time\" for x: the titles are \"t\", \"v\"", named},
        {"t,v\n0,5\n1,3\n5,2\n3,5.0\n", "not a data file: fields 4, 7 and 10 hold the same value"},
        {"t,v\n0,1\n1,3\n2,2\n3,5\n4", "the file ends inside a pair: the last x has no y"},
        {"v,t\n5\n", "line 2 (data row 1): x is missing: the line ends before its column",
         {{"", 2}, {"", 1}}},
        {"a\n", "there is no column 0 for y: the title row has 1 (\"a\")", {{"", 1}, {"", 0}}},
        {"0 1 2\n1 2 3\n", "there is no column 4 for y: the first line has 3", {{"", 1}, {"", 4}}},
        {"t,v,s\n0,1,2\n1,n.d.,2\n", "line 3 (data row 2): y is the text \"n.d.\", not a number"},
        {"t v w\n0 1\n1 2\n2 3\n3 4\n", "not a data file: only 0 data rows hold a y value (4 "
         "are gaps), where four are needed", {{"", 1}, {"", 3}}},  // a title no row reaches
        {"t v w\n0 1\n1 2\n2 3\n3 4\n", "no column is titled \"w\" for y: the titles are \"t v w\"",
         third},  // nor by name: blanks read nothing, the comma reads one title
        {"t;v\n0;1\n1;3\n2;1e999\n3;5\n", "line 4: a number lies beyond the double-precision "
                                           "range"},  // the semicolons' sample ends before it
        {head + "2,2\n3,5\n2.5,4\n", "line 6 (data row 5): x = 2.5 is less than the x before it, "
                                       "3: the rows must be in increasing x order"},
        {head + "2,N/A\n3,5\n", "line 4 (data row 3): y is the text \"N/A\", not a number"},
        // Cut at 40 bytes, before a character the cut would split.
        {head + "2," + std::string(39, 'a') + "\u00e9\n3,5\n",
         "line 4 (data row 3): y is the text \"" + std::string(39, 'a') + "...\", not a number"},
        {head + "2,2\n3,5\n-inf,4\n", "line 6 (data row 5): x is the text \"-inf\", not a number"},
        {head + "2,1e39\n3,5\n", "line 4 (data row 3): y = 1E+39 lies beyond the single-precision "
                                "range"},
        {head + "2,2\n3,5\n\"a\nb\",1e999\n", "line 7: a number lies beyond the double-precision "
                                               "range"},  // a quoted line end counts
        {head + "2,\"2,9\"\n3,5\n", "line 4 (data row 3): y \"2,9\" has a decimal comma, where a "
                                     "comma-separated file has a decimal point"},
        {"t;v\n# run 7\n0,5;1\n1;3\n2;2\nabc\n", "the fields are separated by semicolons and "
         "the numbers have decimal commas (\"0,5;1\"), where a data file has commas between "
         "fields and decimal points"},
        {"t;v;note\n0;1;core 7,dry,2\n1;3;\n2;2;\nabc\n", "the fields are separated by semicolons "
         "(\"0;1;core 7,dry,2\"), where a data file has commas between fields"},  // one digit
        {head + "2,2\n1,5\n0,4\n", "line 5 (data row 4): x = 1 is less than the x before it, 2: "
                                   "the rows must be in increasing x order"},
        {"t,v\n3,1\n2,3\n2,2\n4,5\n", "line 5 (data row 4): x = 4 is more than the x before it, "
                                       "2: rows that run downwards must keep falling"},
        {head + ",2\n3,5\n", "line 4 (data row 3): x is empty"},
        {head + "na,2\n3,5\n", "line 4 (data row 3): x is missing (\"na\")"},
        {head + "2,\n3,\n4,NaN\n", "not a data file: only 2 data rows hold a y value (3 are gaps), "
                                    "where four are needed"},
        {"d;v\n2024-03-01;1\n2024-03-02;3\n5;2\n", "line 4 (data row 3): x = 5 is a number, where "
                                                   "data row 1's x is a date"},
        {"d,v\n2024-03-01 10:00,1\n2024-03-02 10:00Z,3\n" + tail, "line 3 (data row 2): x "
         "\"2024-03-02 10:00Z\" has a time zone, where data row 1's has none"},
        {"d,v\n2024-03-01,1\n2023-02-29,3\n" + tail,
         "line 3 (data row 2): x is the text \"2023-02-29\", not a number"},
        {"a\tb\tc\n1\t\t2\n3\t4\t5\t6\n", "the separator is ambiguous: tab and blanks read the "
                                              "first rows differently"},  // neither row for row
        // Tabs beside commas are a comma file's padding: its reason, not the tab reading's.
        {"t,\tv\n0,\t1\n1,\tx\n2,\t2\n3,\t3\n4,\t4\n", "line 3 (data row 2): y is the text \"x\", not a number"},
        {"t\tv\n0\t1\n\t3\n2\t2\n3\t5\n", "line 3 (data row 2): x is empty"},  // tab's, row for row
        {"t;v\n", "the fields are separated by semicolons (\"t;v\"), where a data file has commas "
                   "between fields"},  // no row to tell a semicolon table by
        // A final marker row is no data row; markers count from the fifth data row on.
        {"t,v\n0,1\n1,\n2,\n3,4\n4,5\nBreak,\n", "not a data file: only 3 data rows hold a y value "
                                                  "(2 are gaps), where four are needed"},
        {"t;v\n0;1\n1;3\n2;2\n---;5\n4;4\n", "line 5 (data row 4): x is the text \"---\", not a number"},
        {head + "2,2\r\n3,5\r\n\r\n", "the file ends with an empty line (line 6), which is one "
                                       "field more than its pairs hold"},
        {"t,v\n0,1\n1,1\n2,1\n3,1\n", "all y values are equal (1): the series has no vertical "
                                       "extent"},
        // Comments keep the file's own line numbers; a file of comments alone holds no data.
        {"# made by a logger\nt,v\n0,1\n# a note\n1,x\n2,2\n3,3\n", "line 5 (data row 2): y is the text "
                                                     "\"x\", not a number"},
        {"/* a\nb */\n0\t1\n1\tx\n", "line 4 (data row 2): y is the text \"x\", not a number"},
        {"Tiefe;Wert\n\n0,5;n.b.\n", "line 3 (data row 1): y is the text \"n.b.\", not a number"},
        {"# a\n  # b\n#\n", "not a data file: all its 3 lines are comments"},
        {"/* DATA DESCRIPTION:\n0,1\n", "not a data file: the description block opened by \"/*\" "
                                       "on line 1 is never closed by \"*/\""},
        {"0,\n1,2\n2,3\n3,4\n", "no column is titled \"time\" for x: the file has no title row "
                               "(its first line is data), so its columns go by number (1, 2, ...)",
         timed},  // its first row a gap
        {"0,1\n1,2\n2,3\n", "not a data file: fewer than four data rows (eight fields)"},
        {"t v\n1 2\n", "not a data file: fewer than four data rows under the title row"},
        // A word of a title with blanks inside is no title.
        {"Depth [m]\tAge [ka BP]\n0.1\t1\n", "no column is titled \"Age\" for x: the titles are "
                                            "\"Depth [m]\", \"Age [ka BP]\"", aged},
        {"Depth sed\tAge\n0.1\t1\n", "no column is titled \"sed\" for x: the titles are \"Depth "
                                     "sed\", \"Age\"", {{"sed", 0}}}};
    for (const auto& [text, message, options] : cases) {
        try {
            import_data_text(text, options);
            ADD_FAILURE() << text;
        } catch (const ImportError& error) {
            EXPECT_EQ(error.what(), message);
            EXPECT_EQ(import_refusal_line("d.csv", error), "d.csv: " + message);
        }
    }
}

// The y range in single precision, and the strip's scale from it: a single difference of the
// extremes, its products with 0.1 and 1.2 in double, each result rounded to single.
TEST(DataFile, YRangeAndOverviewScale)
{
    using Range = std::array<float, 6>;  // smallest and largest y; left, top, width, height
    const std::pair<std::string, Range> cases[] = {
        {"t,v\n0,1\n1,3\n2,2\n3,5\n", {1, 5, 0, 5.4f, 3, -4.8f}},
        {"t,v\n10,-100000\n20,-24282.4\n30,-348027\n40,-200000\n",
         {-348027, -24282.4f, 10, 8092.05908f, 30, -388493.5f}},
        {"t,v\n0,0.1\n1,-2.5\n2,1e-30\n3,7.5\n", {-2.5f, 7.5f, 0, 8.5f, 3, -12}},
        {"t,v\n0,1\n1,3\n2,\n3,5\n4,2\n", {1, 5, 0, 5.4f, 4, -4.8f}},  // an empty y is a gap
        // Data wholly beyond +-999999 get their own range; the title row takes no part.
        {"t,-1e9\n0,2e6\n1,3e6\n2,4e6\n3,5e6\n", {2e6f, 5e6f, 0, 5.3e6f, 3, -3.6e6f}}};
    for (const auto& [text, range] : cases) {
        const auto [series, scale] = import_data_text(text);
        EXPECT_EQ((Range{series.smallest_y, series.largest_y, scale.ScaleLeft, scale.ScaleTop,
                         scale.ScaleWidth, scale.ScaleHeight}), range) << text;
    }
}

// One series written as spreadsheets, loggers and databases write it reads into one table; a
// gapped copy gives the gap-free copy's rows, a downward copy the same rows upwards.
TEST(DataFile, ReadsOneSeriesInEveryForm)
{
    const std::string rows = "'t';'v'|0;1.5|1;3.25|2;2|3;5|4;4|;| ";
    const std::string pairs = "t,v\n0,1.5\n1,3.25\n2,2\n3,5\n4,4\n";
    ReadOptions named, third, missing, sigma;
    named.x = ColumnChoice::of_text("T");  // the first column, by its title in another case
    named.y = ColumnChoice::of_text("v");
    third.y = ColumnChoice::of_text("3");
    missing.missing = -999;
    sigma.sigma = ColumnChoice::of_text("sd");
    const struct { std::string text; std::string facts; ReadOptions options = {}; } cases[] = {
        {pairs, "comma pairs"},
        // A third title that is a number: the pairs refuse the file, read then as a table.
        {"t,v,2000\n0,1.5,7\n1,3.25,7\n2,2,7\n3,5,7\n4,4,7\n", "comma"},
        {"\xEF\xBB\xBFt;v\r\n0;1,5\r\n1;3,25\r\n2;2\r\n3;5\r\n4;4\r\n", "semicolon"},
        {"t\tv\n0\t1,5\n1\t3.25\n2\t2\n3\t5\n4\t4\n", "tab"},
        {"t  v\n 0   1.5\n1 3.25\n2\t2\n\n3 5  \n4 4\n", "blanks"},
        {"t v" + std::regex_replace(std::string(1024, 'w'), std::regex("w"), " w") +
             "\n0 1.5\n1 3.25\n2 2\n3 5\n4 4\n", "blanks"},  // more titles than are sampled
        {"\"t\",\"v\"\n\"0\",\"1.5\"\n1,\"3.25\"\n2,2\n3,5\n4,4\n", "comma pairs"},
        {"t,sd,v\n0,.1,1.5\n1,.2,3.25\n2,.1,2\n3,.3,5\n4,.1,4\n", "comma", named},
        {"t,sd,v\n0,.1,1.5\n1,.2,3.25\n2,.1,2\n3,.3,5\n4,.1,4\n", "comma", third},
        {"t;v;sd\n4;4;1e-3\n3;5;2\n2;2;1\n1;3,25;0,2\n0;1,5;0,1\n",
         "semicolon reversed sigma:0,0.1,0.2,1,2,0.001", sigma},  // each sigma with its row
        {"t,v\n4,4\n3,5\n2,2\n1,3.25\n0,1.5\n", "comma pairs reversed"},
        {"t,v\n4,4\n4,\n3,5\n3,\n2,2\n1,3.25\n0,1.5\n", "comma pairs reversed gaps:3,4"},  // equal x
        {"t\tv\tn\n0\t1.5\t7\n1\t3.25\t7\n2\t2\t7\n3\t5\t7\n3.5\t\t7\n4\t4\t7\n", "tab gaps:3.5",
         named},  // not 7; asked by title, y found on a row whose empty cell tabs alone separate
        {"t,v\n0,1.5\n.5,\n1,3.25\n1.5,NA\n2,2\n2.5,\"null\"\n3,5\n3.5,-999\n4,4\n",
         "comma pairs gaps:0.5,1.5,2.5,3.5", missing},
        {"t;v\n4;4\n3,5;\n3;5\n2;2\n1;3,25\n0,5;nan\n0;1,5\n", "semicolon reversed gaps:0.5,3.5"},
        // A marker row breaks the data midway between the rows beside it, gaps or not.
        {"t,v\n0,1.5\n1,3.25\n2,2\n3,5\nBreak,\n4,4\n", "comma pairs gaps:3.5"},
        {"t;v\n0;1,5\n1;3,25\n2;2\n3;5\n---;---\n4;4\n", "semicolon gaps:3.5"},
        {"t,v\n4,4\n3,5\n2,2\n1,3.25\n0.5,\n---,---\n0,1.5\n",
         "comma pairs reversed gaps:0.25,0.5"}};
    for (const auto& [text, facts, options] : cases)
        EXPECT_EQ(import_of(text, options, true), rows + facts) << text;
    // Quoted numbers and gap markers among the first rows leave no text in the table's pool; the
    // pairs' titles are the series' x and y titles.
    for (const auto& [title, texts] : {std::pair{"t,v\n", std::vector<std::string>{"t", "v"}}, {"", {}}}) {
        const ImportedSeries series = import_data_text(title + std::string("\"0\",\"1\"\n1,NA\n2,\"3\"\n3,4\n4,5\n")).series;
        EXPECT_EQ(series.table.texts, texts) << title;
        EXPECT_EQ(series.x_title + "|" + series.y_title, texts.empty() ? "|" : "t|v");
    }
    // The title row and the first rows tell the separator, and the layout the reading.
    EXPECT_EQ(data_layout("a;b\n1;2\n").titles, (std::vector<std::string>{"a", "b"}));
    std::string tabs = "t\tv\n";  // 32 data rows decide; the 33rd, which blanks read apart, not
    for (int i = 0; i < 32; ++i)
        tabs += std::to_string(i) + "\t1\n";
    EXPECT_EQ(data_layout(tabs + "32\t\t5\n").separator, Separator::Tab);
    EXPECT_EQ(gaps_within({0.5, 1.5, 2.5, 3.5}, 1.5, 3), 2u);
    const DataTable four = import_data_text(pairs).series.table;  // rows 0..6 read, the spares too
    EXPECT_EQ(fault_of([&] { four.x_cell(0), four.y_cell(6); }), std::nullopt);
    EXPECT_EQ(fault_of([&] { four.x_cell(7); }), FaultKind::IndexOutOfRange);
}

// Files as archives publish them (no title row, comment lines, a description block, titles with
// units) read into the rows of their plain copy; what the reader skipped is counted.
TEST(DataFile, ReadsArchiveFormsAsThePlainCopy)
{
    const std::string pairs = "t,v\n0,1.5\n1,3.25\n2,2\n3,5\n4,4\n";
    const std::string rows = import_of(pairs);
    const std::string data = rows.substr(rows.find('|'));
    ReadOptions age, percent;
    age.x = ColumnChoice::of_text("Age [ka BP]");
    age.y = ColumnChoice::of_text("d18O [per mil]");
    percent.comment = '%';
    const std::string block = "/* DATA DESCRIPTION:\nCitation:\tA core\nParameter(s):\tAge\n*/\n";
    const struct { std::string text; std::string facts; ReadOptions options = {}; } cases[] = {
        {"0,1.5\n1,3.25\n2,2\n3,5\n4,4\n", "comma pairs untitled"},
        {"0\n1.5\n1\n3.25\n2\n2\n3\n5\n4\n4\n", "comma pairs untitled"},  // one per line
        {"0,1.5,9\n1,3.25,9\n2,2,9\n3,5,9\n4,4,9\n", "comma untitled"},
        {"\"0\",\"1.5\"\n1,3.25\n2,2\n3,5\n4,4\n", "comma pairs untitled"},
        {"0\t1.5\n1\t3.25\n2\t2\n3\t5\n4\t4\n", "tab untitled"},
        {"0;1,5\n1;3,25\n2;2\n3;5\n4;4\n", "semicolon untitled"},
        {"0 1.5\n1 3.25\n2 2\n3 5\n4 4\n", "blanks untitled"},
        {"-1,NaN\n0,1.5\n1,3.25\n2,2\n3,5\n4,4\n", "comma pairs untitled gaps:-1"},
        {"# x y\n0.0e+00 1.5e+00\n1.0e+00 3.25e+00\n2.0e+00 2.0e+00\n3.0e+00 5.0e+00\n"
         "4.0e+00 4.0e+00\n", "blanks untitled comments:1"},  // numpy's savetxt
        {"# source\n#\n  # indented\nt,v\n0,1.5\n# between\n1,3.25\n2,2\n3,5\n4,4\n# end",
         "comma pairs comments:5"},
        {"# a\r\nt,v\r\n0,1.5\r\n1,3.25\r\n#\r\n2,2\r\n3,5\r\n4,4\r\n", "comma pairs comments:2"},
        {"#------\n# Data:\n# Missing Value: -999\nage\tvalue\n0\t1.5\n1\t3.25\n2\t2\n3\t5\n"
         "4\t4\n", "tab comments:3"},  // a paleo template's data section
        {block + "Depth [m]\tAge [ka BP]\td18O [per mil]\n0.1\t0\t1.5\n0.2\t1\t3.25\n0.3\t2\t2\n"
                 "0.4\t3\t5\n0.5\t4\t4\n", "tab comments:4", age},
        {block + "0\t1.5\n1\t3.25\n2\t2\n3\t5\n4\t4\n", "tab untitled comments:4"},
        {"% instrument\n% run 7\nt;v\n0;1,5\n1;3,25\n2;2\n%\n3;5\n4;4\n", "semicolon comments:3",
         percent},
        {"#t,v\n0,1.5\n1,3.25\n2,2\n3,5\n4,4\n", "comma pairs untitled comments:1"},
        {"0,400.5,500.5\n0,.1,1.5\n1,.2,3.25\n2,.1,2\n3,.3,5\n4,.1,4\n", "comma",
         {{"", 1}, {"500.5", 0}}},  // a spectrum's wavelengths as titles, one asked for
    };
    for (const auto& [text, facts, options] : cases) {
        const std::string read = import_of(text, options, true);
        EXPECT_EQ(read.substr(read.find('|')), data + " " + facts) << text;
    }
    // A first line holding a text is a title row, whichever column holds it; a date x is data.
    EXPECT_EQ(import_of("1,a\n0,1\n1,3\n2,2\n3,5\n"), "1;'a'|0;1|1;3|2;2|3;5|;|");
    EXPECT_EQ(import_of("2024-03-01,1\n2024-03-02,3\n2024-03-03,2\n2024-03-04,5\n"),
              ";|0;1|1;3|2;2|3;5|;|");
}

// ISO dates and date-times as days from data row 1, written back and typed in the file's form.
TEST(DataFile, ReadsDatesAsDaysFromTheFirstRow)
{
    const struct { std::string first, later; double days; std::string later_text; } cases[] = {
        {"2024-02-28", "2024-03-01", 2, "2024-03-01"},  // a leap day between
        {"2023-12-31", "2024-01-01", 1, "2024-01-01"},
        {"2024-03-01T12:30:00Z", "2024-03-02T18:30:00Z", 1.25, "2024-03-02T18:30:00Z"},
        {"2024-03-01 17:30", "2024-03-01 23:30", 0.25, "2024-03-01 23:30"},  // the last hour
        {"2024-03-01T06:00", "2024-03-03T06:00:30", 2 + 30 / 86400.0, "2024-03-03T06:00:30"},
        // A change of zone is an hour less; every x is written in data row 1's zone.
        {"2024-03-30T12:00+01:00", "2024-03-31T12:00+0200", 23 / 24.0, "2024-03-31T11:00+01:00"},
        {"2024-03-01T00:00:00.25-05:00", "2024-03-01T00:00:00.75-05:00", 0.5 / 86400,
         "2024-03-01T00:00:00.75-05:00"}};
    for (const auto& c : cases) {
        const ImportedSeries series = import_data_text("d,v\n" + c.first + ",1\n" + c.later +
                                                      ",2\n" + c.later + ",3\n" + c.later + ",4\n")
                                          .series;
        const XForm& form = series.x_form;
        EXPECT_EQ(series.table.DataX[2].number, c.days) << c.later;
        EXPECT_EQ(x_text(c.days, form), c.later_text);
        EXPECT_EQ(parse_x(c.later_text, form), c.days) << c.later;
        EXPECT_EQ(x_text(0, form), c.first.substr(0, 10) == c.first ? c.first : x_text(0, form));
    }
    const XForm dates = x_form_of(*parse_iso_time("2024-02-28"));
    const XForm zoned = x_form_of(*parse_iso_time("2024-03-01 08:00+01:00"));
    for (const auto& [x, form, text] : std::vector<std::tuple<double, XForm, std::string>>{
             {1.5, dates, "2024-02-29T12:00"}, {-0.25, dates, "2024-02-27T18:00"},
             {0.5, zoned, "2024-03-01 20:00+01:00"}, {1e9, dates, "1000000000"}})
        EXPECT_EQ(x_text(x, form), text) << x;
    EXPECT_EQ(parse_x("2024-03-01 09:00", zoned), 1 / 24.0);  // a typed bound takes the zone
    EXPECT_EQ(parse_x("2024-03-01 09:00Z", dates), std::nullopt);
    EXPECT_EQ(parse_x("1e3", XForm{}), 1000.0);
    for (const char* text : {"2024-13-01", "2024-04-31", "1900-02-29", "2024-03-01T24:00",
                             "2024-03-01T12", "2024-3-01", "2024-03-01T12:00+25:00", "2024-03-01Z"})
        EXPECT_FALSE(parse_iso_time(text)) << text;
    EXPECT_TRUE(parse_iso_time(" 2000-02-29\t "));
    // With blanks between the columns a date and its time of day stay one x.
    EXPECT_EQ(import_of("d v\n2024-03-01 12345\n2024-03-02 2\n2024-03-04 3\n2024-03-05 4\n"),
              "'d';'v'|0;12345|1;2|3;3|4;4|;|");
    EXPECT_EQ(import_of("d v\n2024-03-01 12:00 1\n2024-03-01 18:00 2\n2024-03-02 00:00 3\n"
                        "2024-03-02 06:00 4\n"),
              "'d';'v'|0;1|0.25;2|0.5;3|0.75;4|;|");
    for (const auto& [span, text] : std::vector<std::pair<double, std::string>>{
             {3.5, "3.5 days"}, {1, "1 day"}, {0.2166667, "5.2 hours"}, {123.456, "123 days"},
             {-1 / 24.0, "-1 hour"}})
        EXPECT_EQ(duration_text(span, dates), text);
    EXPECT_EQ(duration_text(3.5, XForm{}), "3.5");
}

// Arrays are taken as the reader takes a file of the same rows: the same series after the titles,
// the same refusals but for the line.
TEST(DataArrays, TakeRowsAsTheReaderTakesTheirFile)
{
    const double nan = std::nan("");
    struct Rows { std::vector<double> x, y, sigma; };
    const Rows cases[] = {
        {{0, 1, 1, 2, 3}, {1, 3, 2, 5, 4}, {}},
        {{5, 4, 3, 2, 1}, {1, 3, 2, 5, 4}, {0.5, 1, 1, 2, 3}},  // turned round, sigma too
        {{0, 1, 2, 3, 4, 5}, {1, nan, 2, 3, nan, 4}, {}},        // gaps
        {{0, 1, 2, 1, 4}, {1, 2, 3, 4, 5}, {}},                  // out of order
        {{3, 2, 2, 1}, {1, 2, 3, 4}, {}},                        // falling, then not
        {{0, nan, 2, 3, 4}, {1, 2, 3, 4, 5}, {}},                // a missing x
        {{0, 1, 2, 3}, {1, 1e39, 2, 3}, {}},                     // beyond the single range
        {{0, 1, 2, 3}, {1, 2, 3, 4}, {1, 1, -1, 1}},
        {{0, 1, 2, 3}, {7, 7, 7, 7}, {}},                        // no vertical extent
    };
    const auto taken = [](const std::function<CheckedImport()>& read) {
        try {
            const std::string rows = rows_of(read().series, true);
            return rows.substr(rows.find('|'));  // after the titles
        } catch (const ImportError& error) {
            return std::string(error.what());
        }
    };
    for (const Rows& rows : cases) {
        std::string text = rows.sigma.empty() ? "x,y\n" : "x,y,s\n";
        for (std::size_t i = 0; i < rows.x.size(); ++i)
            text += number_text(rows.x[i]) + "," + number_text(rows.y[i]) +
                    (rows.sigma.empty() ? "" : "," + number_text(rows.sigma[i])) + "\n";
        ReadOptions options;
        if (!rows.sigma.empty())
            options.sigma = ColumnChoice::of_text("3");
        EXPECT_EQ(taken([&] { return import_data_arrays(rows.x, rows.y, rows.sigma); }),
                  std::regex_replace(taken([&] { return import_data_text(text, options); }),
                                     std::regex(R"(line \d+ \((data row \d+)\))"), "$1"))
            << text;  // the arrays' refusals name the row alone
    }
}

// The fuzzer's kept inputs through the fuzz target's own body, which aborts on a broken rule.
TEST(DataFile, FuzzCorpusKeepsTheReaderAndCropInvariants)
{
    const auto corpus = std::filesystem::path(TOLVENAR_SOURCE_DIR) / "tests" / "fuzz" / "corpus";
    int replayed = 0;
    for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
        std::ifstream file(entry.path(), std::ios::binary);
        const std::string in{std::istreambuf_iterator<char>(file), {}};
        fuzz::exercise_data_reader(reinterpret_cast<const std::uint8_t*>(in.data()), in.size());
        ++replayed;
    }
    EXPECT_GT(replayed, 10);
}

}  // namespace
}  // namespace tolvenar
