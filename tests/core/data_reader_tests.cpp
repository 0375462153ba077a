// SPDX-License-Identifier: GPL-3.0-or-later
// The data file reader: the field stream, pairs and marker rows, the refusals, the y range and
// the overview strip's checks.
#include "core/data/data_reader.h"
#include "core/runtime/fault.h"
#include "core/runtime/numbers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

namespace tolvenar {
namespace {

// A title row and the four rows (0, 1), (1, 3), (2, 2), (3, 5).
const std::string kFourRows = "time,value\n0,1\n1,3\n2,2\n3,5\n";

std::vector<Field> all_fields(std::string_view text)
{
    FieldStream stream(text);
    std::vector<Field> fields;
    while (!stream.at_end())
        fields.push_back(stream.next());
    return fields;
}

// "N:12" for a number, "T:abc" for a text, "E" for the empty value.
std::vector<std::string> describe_fields(std::string_view text)
{
    std::vector<std::string> out;
    for (const Field& field : all_fields(text)) {
        switch (field.kind) {
        case CellKind::Empty: out.push_back("E"); break;
        case CellKind::Number: out.push_back("N:" + number_text(field.number)); break;
        case CellKind::Text:
            out.push_back("T:" + std::string(field.text) + (field.doubled_quotes ? "+dq" : ""));
            break;
        }
    }
    return out;
}

// "x;y" per row, rows 0..DataCount + 1; texts as they stand, numbers as number text.
std::vector<std::string> describe_rows(const DataTable& table)
{
    const auto cell = [&table](const Cell& c) -> std::string {
        switch (c.kind) {
        case CellKind::Empty: return "";
        case CellKind::Number: return number_text(c.number);
        case CellKind::Text: return "'" + std::string(table.text_of(c)) + "'";
        }
        return "?";
    };
    std::vector<std::string> out;
    for (std::size_t row = 0; row < table.DataX.size(); ++row)
        out.push_back(cell(table.DataX[row]) + ";" + cell(table.DataY[row]));
    return out;
}

ImportFailure refusal_of(std::string_view text)
{
    try {
        read_data_text(text);
    } catch (const ImportError& error) {
        return error.reason();
    }
    ADD_FAILURE() << "accepted: " << text;
    return ImportFailure::CannotOpen;
}

FaultKind fault_of(std::string_view text)
{
    try {
        import_data_text(text);
    } catch (const Fault& fault) {
        return fault.kind();
    }
    ADD_FAILURE() << "no fault: " << text;
    return FaultKind::Overflow;
}

using Fields = std::vector<std::string>;

TEST(FieldStream, SeparatorsAndLineEnds)
{
    const struct {
        std::string text;
        Fields fields;
    } cases[] = {
        {"1,2", {"N:1", "N:2"}},
        {"1,2\n", {"N:1", "N:2"}},            // a final line end makes no field
        {"1,2\n\n", {"N:1", "N:2", "E"}},     // a final empty line is one more field
        {"1,2\r\n", {"N:1", "N:2"}},          // CR LF is one line end
        {"1\r2\r", {"N:1", "N:2"}},           // a lone CR ends a line
        {"1\r\n\r\n2", {"N:1", "E", "N:2"}},  // a blank line between two
        {"1\n\r2", {"N:1", "E", "N:2"}},      // LF CR is two line ends
        {"1,,2", {"N:1", "E", "N:2"}},
        {",", {"E"}},                         // the comma ends an empty field; then the end
        {"1,2,", {"N:1", "N:2"}},
        {"1,2\n   ", {"N:1", "N:2", "E"}},    // blanks after the last line end: one empty field
        {"  \t7  ,\t x y \n", {"N:7", "T:x y"}},
        {"", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(describe_fields(c.text), c.fields) << '"' << c.text << '"';
}

TEST(FieldStream, NumbersAndTexts)
{
    const struct {
        std::string text;
        Fields fields;
    } cases[] = {
        {"+2,-.5,5.,1e3,1E-2,-0", {"N:2", "N:-0.5", "N:5", "N:1000", "N:0.01", "N:0"}},
        {"12abc,1e,.,-,1.2.3,0x10", {"T:12abc", "T:1e", "T:.", "T:-", "T:1.2.3", "T:0x10"}},
        {"inf,nan,1d5,1 2,1_000", {"T:inf", "T:nan", "T:1d5", "T:1 2", "T:1_000"}},
        {"123456789012345678901234567890", {"N:1.23456789012346E+29"}},
        {"1e-400,-1e-400", {"N:0", "N:0"}},
        {"Break ,---", {"T:Break", "T:---"}},  // blanks after a field are dropped
    };
    for (const auto& c : cases)
        EXPECT_EQ(describe_fields(c.text), c.fields) << '"' << c.text << '"';

    EXPECT_TRUE(std::signbit(all_fields("-1e-400")[0].number));
    EXPECT_EQ(all_fields("0.1")[0].number, 0.1);  // correctly rounded, locale-independent

    FieldStream huge("1,1e400,2");
    huge.next();
    try {
        huge.next();
        FAIL() << "1e400 read";
    } catch (const Fault& fault) {
        EXPECT_EQ(fault.kind(), FaultKind::Overflow);
    }
}

TEST(FieldStream, Quotes)
{
    const struct {
        std::string text;
        Fields fields;
    } cases[] = {
        {"\"a,b\",c", {"T:a,b", "T:c"}},           // a comma inside quotes belongs to the text
        {"  \"12\"  ,3", {"T:12", "N:3"}},         // quoted: text, even when it reads as number
        {"\"\",1", {"T:", "N:1"}},                  // an empty quoted text is text, not empty
        {"\"ab\"junk ,c", {"T:ab", "T:c"}},        // after the closing quote: ignored
        {"a\"b,c", {"T:a\"b", "T:c"}},             // a quote inside an unquoted field is text
        {"\"a\"\"b\",c", {"T:a\"\"b+dq", "T:c"}},  // "" stands for one quote
        {"\"a\nb\",c", {"T:a\nb", "T:c"}},         // a line end inside quotes too
        {"1,\"abc\ndef,5", {"N:1", "T:abc\ndef,5"}},  // unterminated: the rest of the text
    };
    for (const auto& c : cases)
        EXPECT_EQ(describe_fields(c.text), c.fields) << '"' << c.text << '"';

    const ImportedSeries series = read_data_text("\"a\"\"b\",v\n0,1\n1,3\n2,2\n3,5\n");
    EXPECT_EQ(series.table.text_of(series.table.DataX[0]), "a\"b");

    // A spreadsheet's byte order mark must not unquote a title with a comma in it.
    const ImportedSeries bom = read_data_text("\xEF\xBB\xBF\"time, s\",v\n0,1\n1,3\n2,2\n3,5\n");
    EXPECT_EQ(bom.table.DataCount, 4);
    EXPECT_EQ(bom.table.text_of(bom.table.DataX[0]), "time, s");
}

TEST(DataFile, TenFieldsGiveFourRowsAndAnEmptySpareRow)
{
    const ImportedSeries series = read_data_text(kFourRows);
    EXPECT_EQ(series.table.DataCount, 4);
    EXPECT_EQ(describe_rows(series.table),
              (Fields{"'time';'value'", "0;1", "1;3", "2;2", "3;5", ";"}));
    EXPECT_FALSE(series.FieldCheckFailed);
    EXPECT_TRUE(series.table.x_ascending);
}

TEST(DataFile, LineEndStylesReadAlike)
{
    const DataTable lf = read_data_text(kFourRows + "4,7\n").table;
    for (const std::string& text :
         {std::string("time,value\r\n0,1\r\n1,3\r\n2,2\r\n3,5\r\n4,7\r\n"),
          std::string("time,value\r0,1\r1,3\r2,2\r3,5\r4,7\r"),
          std::string("time,value\n0,1\n1,3\n2,2\n3,5\n4,7"),  // no final line end
          std::string("time,value,0,1,1,3,2,2,3,5,4,7"),       // pairs need not sit on lines
          std::string("\"time\",\"value\"\n 0 , 1\n1,3\n2,2\n3,5\n4,7\n")})
        EXPECT_EQ(describe_rows(read_data_text(text).table), describe_rows(lf)) << text;
}

TEST(DataFile, Refusals)
{
    EXPECT_EQ(refusal_of(""), ImportFailure::TooFewFields);
    EXPECT_EQ(refusal_of("time,value\n0,1\n1,3\n2,2\n3\n"), ImportFailure::TooFewFields);  // 9
    EXPECT_EQ(refusal_of(kFourRows + "4\n"), ImportFailure::EndsInsidePair);               // 11
    EXPECT_EQ(refusal_of(kFourRows + "4,7\n8\n"), ImportFailure::EndsInsidePair);
    EXPECT_EQ(refusal_of(kFourRows + "\n"), ImportFailure::EndsInsidePair);  // a trailing empty line
    EXPECT_EQ(refusal_of(kFourRows + "4,7\n\n"), ImportFailure::EndsInsidePair);
    EXPECT_EQ(refusal_of(kFourRows + "4,7,\n"), ImportFailure::EndsInsidePair);  // a third field

    try {
        read_data_text("a,b\n");
        FAIL();
    } catch (const ImportError& error) {
        EXPECT_EQ(std::string(error.what()).find('\n'), std::string::npos);
        EXPECT_NE(std::string(error.what()).find("ten fields"), std::string::npos);
    }
}

TEST(DataFile, FieldCheckOnFieldsFourSevenAndTen)
{
    // Fields 4, 7 and 10 are row 1's y, row 3's x and row 4's y.
    EXPECT_EQ(refusal_of("t,v\n0,\n1,3\n,2\n3,\n"), ImportFailure::FieldCheckFailed);  // all empty
    EXPECT_EQ(refusal_of("t,v\n0,5\n1,3\n5,2\n3,5.0\n"), ImportFailure::FieldCheckFailed);
    EXPECT_EQ(refusal_of("t,v\n0,\n1,3\n0,2\n3,\n"), ImportFailure::FieldCheckFailed);  // empty = 0
    EXPECT_EQ(refusal_of("t,v\n0,\"\"\n1,3\n,2\n3,\"\"\n"),
              ImportFailure::FieldCheckFailed);  // empty = empty text
    EXPECT_EQ(refusal_of("t,v\n0,a\n1,3\na,2\n3,a\n"), ImportFailure::FieldCheckFailed);

    // Two of three equal, or a number against its own text, pass the check.
    EXPECT_NO_THROW(read_data_text("t,v\n0,5\n1,3\n5,2\n3,6\n"));
    EXPECT_NO_THROW(read_data_text("t,v\n0,5\n1,3\n\"5\",2\n3,5\n"));
}

TEST(DataFile, MarkerRowsFromTheSixthPairOn)
{
    const ImportedSeries series = read_data_text(
        kFourRows + "4,7\nBreak,1\n5,8\nbreak,\n---,3\n6,---\n\"---\",\"x\"\n7,9\n");
    EXPECT_EQ(series.table.DataCount, 7);
    EXPECT_EQ(describe_rows(series.table),
              (Fields{"'time';'value'", "0;1", "1;3", "2;2", "3;5", "4;7", "5;8", "7;9", ";"}));
    EXPECT_EQ(series.table.texts.size(), 2u) << "dropped rows leave no texts in the pool";

    // The last marker read stays in the spare row.
    const DataTable ends = read_data_text(kFourRows + "4,7\nBreak,1\n---,x\n").table;
    EXPECT_EQ(ends.DataCount, 5);
    EXPECT_EQ(describe_rows(ends).back(), "'---';'x'");

    // Case-sensitive and exact: these stay data rows.
    for (const char* kept : {"BREAK,1\n", "Break.,1\n", "----,4\n", "-- -,1\n", "breaks,1\n"})
        EXPECT_EQ(read_data_text(kFourRows + kept).table.DataCount, 5) << kept;
}

TEST(DataFile, MarkersAmongTheFirstFourRowsStayAndFault)
{
    const ImportedSeries series = read_data_text("t,v\n0,1\nBreak,3\n2,2\n3,5\n");
    EXPECT_EQ(series.table.DataCount, 4);
    EXPECT_EQ(fault_of("t,v\n0,1\nBreak,3\n2,2\n3,5\n"), FaultKind::TypeMismatch);
    EXPECT_EQ(fault_of("t,v\n0,1\n1,---\n2,2\n3,5\n"), FaultKind::TypeMismatch);  // the y range
    EXPECT_EQ(fault_of(kFourRows + "BREAK,4\n5,6\n"), FaultKind::TypeMismatch);   // the overview
    EXPECT_EQ(fault_of(kFourRows + "5,6\nBREAK,4\n"), FaultKind::TypeMismatch);   // last x
}

TEST(DataFile, AThreeFieldLineShiftsThePairing)
{
    const ImportedSeries series = read_data_text("t,v\n0,1\n1,3,9\n2,2\n3,5\n4,4,7\n");
    EXPECT_EQ(describe_rows(series.table),
              (Fields{"'t';'v'", "0;1", "1;3", "9;2", "2;3", "5;4", "4;7", ";"}));
    EXPECT_FALSE(series.table.x_ascending);
}

TEST(DataFile, EmptyYCountsAsZero)
{
    const ImportedSeries series = read_data_text("t,v\n0,1\n1,3\n2,\n3,5\n");
    EXPECT_EQ(series.table.DataY[3].kind, CellKind::Empty);
    EXPECT_EQ(series.smallest_y, 0.0f);
    EXPECT_EQ(series.largest_y, 5.0f);
}

TEST(DataFile, RefusalLeavesTheCallersTableAlone)
{
    ImportedSeries current = read_data_text(kFourRows + "4,7\n");
    const std::vector<std::string> before = describe_rows(current.table);
    EXPECT_THROW(current = read_data_text(kFourRows + "4\n"), ImportError);
    EXPECT_THROW(current = read_data_text("t,v\n0,1\n1,x\n2,2\n3,5\n"), Fault);
    EXPECT_EQ(describe_rows(current.table), before);
    EXPECT_EQ(current.table.DataCount, 5);
}

TEST(YRange, SinglePrecisionFromTheDataAlone)
{
    const ImportedSeries series = read_data_text("t,v\n0,0.1\n1,-2.5\n2,1e-30\n3,7.3\n");
    EXPECT_EQ(series.smallest_y, -2.5f);
    EXPECT_EQ(series.largest_y, 7.3f);  // rounded to single, not 7.3

    // Row 0 takes no part, and data beyond +-999999 are not stretched to the start values.
    const ImportedSeries big = read_data_text("1e9,-1e9\n0,2e6\n1,3e6\n2,4e6\n3,5e6\n");
    EXPECT_EQ(big.smallest_y, 2e6f);
    EXPECT_EQ(big.largest_y, 5e6f);
    const ImportedSeries deep = read_data_text("t,v\n0,-3e6\n1,-2e6\n2,-4e6\n3,-5e6\n");
    EXPECT_EQ(deep.smallest_y, -5e6f);
    EXPECT_EQ(deep.largest_y, -2e6f);

    EXPECT_EQ(fault_of("t,v\n0,1\n1,3\n2,1e39\n3,5\n"), FaultKind::Overflow);
    EXPECT_EQ(fault_of("t,v\n0,1\n1,3\n2,-1e39\n3,5\n"), FaultKind::Overflow);
    EXPECT_EQ(fault_of("t,v\n0,1\n1,3\n2,\"2\"\n3,5\n"), FaultKind::TypeMismatch);
    EXPECT_NO_THROW(read_data_text("1e39,x\n0,1\n1,3\n2,2\n3,5\n"));  // the title is not data
}

TEST(OverviewScale, TheFourRowExample)
{
    const CheckedImport import = import_data_text(kFourRows);
    EXPECT_EQ(import.scale.ScaleLeft, 0.0f);
    EXPECT_EQ(import.scale.ScaleWidth, 3.0f);
    EXPECT_EQ(import.scale.ScaleTop, 5.4f);
    EXPECT_EQ(import.scale.ScaleHeight, -4.8f);
    // What the range and end fields then show.
    EXPECT_EQ(rounded_text(import.scale.ScaleTop, 2), "5.4");
    EXPECT_EQ(rounded_text(import.scale.ScaleTop + import.scale.ScaleHeight, 2), "0.6");
}

TEST(OverviewScale, SingleDifferenceThenDoubleProduct)
{
    // The y extremes are singles, their difference is single, the products with 0.1 and 1.2
    // are double and the results round to single; any other order gives other bits.
    const CheckedImport import =
        import_data_text("t,v\n10,-100000\n20,-24282.4\n30,-348027\n40,-200000\n");
    EXPECT_EQ(import.scale.ScaleLeft, 10.0f);
    EXPECT_EQ(import.scale.ScaleWidth, 30.0f);
    EXPECT_EQ(import.scale.ScaleTop, 8092.05908f);
    EXPECT_EQ(import.scale.ScaleHeight, -388493.5f);

    // Descending x mirrors the strip and is accepted.
    EXPECT_EQ(import_data_text("t,v\n3,1\n2,3\n1,2\n0,5\n").scale.ScaleWidth, -3.0f);
}

TEST(OverviewScale, RefusedScalesAndCells)
{
    EXPECT_EQ(fault_of("t,v\n10,2\n11,2\n12,2\n13,2\n"), FaultKind::InvalidPropertyValue);  // y equal
    EXPECT_EQ(fault_of("t,v\n5,1\n1,3\n2,2\n5,5\n"), FaultKind::InvalidPropertyValue);  // x ends
    EXPECT_EQ(fault_of("t,v\n0,1\n1,3\n2,2\n1e-50,5\n"),
              FaultKind::InvalidPropertyValue);  // width rounds to single 0
    EXPECT_EQ(fault_of("t,v\nx,1\n1,3\n2,2\n3,5\n"), FaultKind::TypeMismatch);
    EXPECT_EQ(fault_of("t,v\n0,1\n1,3\n2,2\n1e300,5\n"), FaultKind::Overflow);
    EXPECT_EQ(fault_of("t,v\n-1e308,1\n1,3\n2,2\n1e308,5\n"), FaultKind::Overflow);
    EXPECT_EQ(fault_of("t,v\n0,-3e38\n1,3e38\n2,2\n3,5\n"), FaultKind::Overflow);  // y span
    EXPECT_EQ(fault_of(kFourRows + "1e39,4\n5,6\n"), FaultKind::Overflow);  // a middle x
    EXPECT_NO_THROW(import_data_text(kFourRows + ",4\n5,6\n"));  // an empty x counts as 0
}

TEST(DataFiles, ShippedExamplesImport)
{
    const std::filesystem::path examples = std::filesystem::path(TOLVENAR_SOURCE_DIR) / "examples";
    const struct {
        const char* name;
        std::int32_t rows;
    } files[] = {{"symmetric_event.csv", 601},
                 {"asymmetric_event.csv", 801},
                 {"step_ramp.csv", 601},
                 {"plateau_event.csv", 2001},
                 {"gauge_with_gaps.csv", 463}};
    for (const auto& file : files) {
        const CheckedImport import = import_data_file(examples / file.name);
        EXPECT_EQ(import.series.table.DataCount, file.rows) << file.name;
        EXPECT_TRUE(import.series.table.x_ascending) << file.name;
        EXPECT_LT(import.scale.ScaleHeight, 0.0f) << file.name;
        EXPECT_GT(import.scale.ScaleWidth, 0.0f) << file.name;
    }
}

TEST(DataFiles, MissingFileIsRefusedWithItsPath)
{
    const std::filesystem::path missing =
        std::filesystem::temp_directory_path() / "tolvenar-no-such-file.csv";
    try {
        read_data_file(missing);
        FAIL();
    } catch (const ImportError& error) {
        EXPECT_EQ(error.reason(), ImportFailure::CannotOpen);
        EXPECT_NE(std::string(error.what()).find(missing.string()), std::string::npos);
    }
    EXPECT_THROW(read_data_file(std::filesystem::temp_directory_path()), ImportError);
}

}  // namespace
}  // namespace tolvenar
