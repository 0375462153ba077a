// SPDX-License-Identifier: GPL-3.0-or-later
// "Import data" driven through the button and the file dialog seam: the working state after a
// good file, a cancelled dialog, and refused files that must leave the loaded data, the caption
// and the window as they were.
#include "import_fixture.h"
#include "ui_fixture.h"

#include <QApplication>
#include <QtTest>

#include <memory>

using namespace tolvenar;
using namespace tolvenar::test;

namespace {

constexpr std::string_view kFourRows = "t,v\n0,1\n1,3\n2,2\n3,5\n";
constexpr std::string_view kSixRows = "time,level\n10,4\n20,8\n30,6\n40,9\n50,7\n60,5\n";

// What a refused import must leave alone.
struct WindowSnapshot {
    QString caption;
    std::int32_t data_count;
    double last_x;
    float scale_left, scale_width, scale_top, scale_height;
    float crop_left, crop_width;
    QString text1, text2, text4, text5, text7, text8;
    std::int16_t crop_count;
    QImage strip;

    static WindowSnapshot of(frmMain& w)
    {
        const DataTable& t = w.state.data;
        return {w.Caption(),
                t.DataCount,
                t.allocated() ? cell_number(t.x_cell(t.DataCount)) : 0.0,
                w.Picture2->ScaleLeft(),
                w.Picture2->ScaleWidth(),
                w.Picture2->ScaleTop(),
                w.Picture2->ScaleHeight(),
                w.Shape1->Left(),
                w.Shape1->Width(),
                w.Text1->Text(),
                w.Text2->Text(),
                w.Text4->Text(),
                w.Text5->Text(),
                w.Text7->Text(),
                w.Text8->Text(),
                w.state.CropCount,
                w.Picture2->Image()};
    }
    bool operator==(const WindowSnapshot&) const = default;
};

}  // namespace

class ImportTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void fourRowsGiveTheStripAndTheFields();
    void importBringsTheWindowIntoItsWorkingState();
    void importDrawsStripAndCrop();
    void sampleFileFromTheExamples();
    void markerRowsAreDroppedAndEmptyYIsZero();
    void secondImportReplacesTheFirst();
    void cancelLeavesEverything();
    void cancelBeforeAnyImport();
    void refusedFileLeavesThePreviousData_data();
    void refusedFileLeavesThePreviousData();
    void refusedFirstFileLeavesTheStartUpState();
    void keyStillCountedAsHeldDoesNotBendTheNewFields();

private:
    std::unique_ptr<frmMain> m_window;
    std::unique_ptr<QTemporaryDir> m_dir;
};

void ImportTest::init()
{
    m_window = std::make_unique<frmMain>();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void ImportTest::cleanup()
{
    m_window.reset();
    m_dir.reset();
}

void ImportTest::fourRowsGiveTheStripAndTheFields()
{
    frmMain& w = *m_window;
    const QString path = write_data_file(*m_dir, QStringLiteral("four.csv"), kFourRows);
    QCOMPARE(import_file(w, path), QStringLiteral("DataFile(*.csv)"));

    QCOMPARE(w.state.data.DataCount, 4);
    QCOMPARE(w.Caption(), QStringLiteral("Tolvenar 1.5  (") + path + QLatin1Char(')'));
    QCOMPARE(w.Picture2->ScaleLeft(), 0.0f);
    QCOMPARE(w.Picture2->ScaleWidth(), 3.0f);
    QCOMPARE(w.Picture2->ScaleTop(), 5.4f);
    QCOMPARE(w.Picture2->ScaleHeight(), -4.8f);
    QCOMPARE(w.Text1->Text(), QStringLiteral("5.4"));
    QCOMPARE(w.Text2->Text(), QStringLiteral("0.6"));
    QCOMPARE(w.Text7->Text(), QStringLiteral("0"));
    QCOMPARE(w.Text8->Text(), QStringLiteral("3"));
    // The crop window keeps its place at the strip's left end and now reads in data units.
    QCOMPARE(w.Shape1->Left(), 0.0f);
    QCOMPARE(w.Text4->Text(), QStringLiteral("0"));
    QCOMPARE(w.Text5->Text(), QString::fromStdString(rounded_text(w.Shape1->Width(), 1)));
    QCOMPARE(w.Text5->Text(), QStringLiteral("0.2"));
    // Its first crop: row 1 alone, on the working plot's range of the window and the strip.
    QCOMPARE(w.state.CropStart, 0);
    QCOMPARE(w.state.CropCount, std::int16_t{1});
    QCOMPARE(w.state.CropObserved.size(), std::size_t{2});
    QCOMPARE(w.Picture1->ScaleLeft(), 0.0f);
    QCOMPARE(w.Picture1->ScaleWidth(), w.Shape1->Width());
    QCOMPARE(w.Picture1->ScaleTop(), 5.4f);
    QCOMPARE(w.Picture1->ScaleHeight(), -4.8f);
    // The one segment that leaves the window measures its end point only.
    QCOMPARE(w.state.CropMinY, 3.0f);
    QCOMPARE(w.state.CropMaxY, 3.0f);
}

void ImportTest::importBringsTheWindowIntoItsWorkingState()
{
    frmMain& w = *m_window;
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    w.state.BestOfBestSqDist = 12.5f;
    w.state.ConXMin[3] = 4.0f;
    import_text(w, *m_dir, kFourRows);

    for (QWidget* control : std::initializer_list<QWidget*>{
             w.Frame1, w.Frame3, w.Frame4, w.Label1[0], w.Label1[1], w.Label4, w.Text3[0],
             w.Text3[1], w.Text6, w.Text1, w.Text2, w.Text4, w.Text5, w.Text7, w.Text8,
             w.Command2})
        QVERIFY2(static_cast<QWidget*>(control)->isEnabled(), qPrintable(control->objectName()));
    for (OptionButton* option : w.Option1)
        QVERIFY(option->isEnabled());
    // Still waiting for a search.
    for (QWidget* control : std::initializer_list<QWidget*>{w.Frame5, w.Frame6, w.Check1,
                                                            w.Command7, w.Command6, w.Command3})
        QVERIFY2(!control->isEnabled(), qPrintable(control->objectName()));
    for (LineControl* stroke : w.Line1)
        QCOMPARE(stroke->BorderColor(), kBlack);
    for (Shape* outline : w.Shape2)
        QCOMPARE(outline->BorderColor(), kBlack);

    QVERIFY(!w.ProgressBar1->Visible());
    QCOMPARE(w.ProgressBar1->Value(), 0.0f);
    QCOMPARE(w.ProgressBar1->Max(), 4.0f);
    QCOMPARE(screen_mouse_pointer(), 0);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w.Command2));

    QCOMPARE(w.state.BestOfBestSqDist, kUnsetBestOfBest);
    QCOMPARE(w.state.ConXMin[3], kEmptyLowerLimit);
    for (int k = 1; k <= 6; ++k) {
        QCOMPARE(w.state.BestOfBestX[k], kUnsetVertex);
        QCOMPARE(w.Label2[k]->Caption(), QStringLiteral("X%1 = ").arg(k));
        QCOMPARE(w.Label3[k]->Caption(), QStringLiteral("Y%1 = ").arg(k));
    }
    QCOMPARE(w.Label6->Caption(), QStringLiteral("Duration of change ="));
    QVERIFY(w.state.PreviewDrawn && w.state.CropDrawn);
    QVERIFY(!w.state.BoxTyping);
}

void ImportTest::importDrawsStripAndCrop()
{
    frmMain& w = *m_window;
    import_text(w, *m_dir, kSixRows);
    // Strip: the whole series in blue on white; the middle of the segment (30, 6)-(40, 9).
    QCOMPARE(pixel_at(*w.Picture2, 35, 7.5), kBlue);
    QCOMPARE(pixel_at(*w.Picture2, 35, 8.8), kWhite);
    QCOMPARE(pixel_at(*w.Picture3, 0, 0), kWhite);
    // Working plot: the segment (10, 4)-(20, 8) that enters the narrow window, persisted.
    w.Picture1->Cls();
    const float middle = w.Shape1->Left() + w.Shape1->Width() / 2;
    QCOMPARE(pixel_at(*w.Picture1, middle, 4 + 0.4 * (middle - 10)), kBlue);
    QVERIFY(count_pixels(*w.Picture1, kBlue) > 0);
}

void ImportTest::sampleFileFromTheExamples()
{
    frmMain& w = *m_window;
    const QString path = example_path("step_ramp.csv");
    import_file(w, path);
    QCOMPARE(w.state.data.DataCount, 601);
    QCOMPARE(w.Caption(), QStringLiteral("Tolvenar 1.5  (") + path + QLatin1Char(')'));
    QCOMPARE(w.Text7->Text(), QStringLiteral("0"));
    QCOMPARE(w.Text8->Text(), QStringLiteral("300"));
    QVERIFY(w.state.CropCount > 0);
}

void ImportTest::markerRowsAreDroppedAndEmptyYIsZero()
{
    frmMain& w = *m_window;
    import_text(w, *m_dir,
                "x,y\n1,5\n2,6\n3,7\n4,8\nBreak,0\n5,\nbreak,1\n6,9\n7,---\n8,4\n");
    QCOMPARE(w.state.data.DataCount, 7);
    QCOMPARE(cell_number(w.state.data.x_cell(5)), 5.0);
    QCOMPARE(cell_number(w.state.data.y_cell(5)), 0.0);
    QCOMPARE(w.Text8->Text(), QStringLiteral("8"));
    // The empty y is the smallest value: the strip's bottom is 10 % of the span below 0.
    QCOMPARE(w.Text2->Text(), QStringLiteral("-0.9"));
}

void ImportTest::secondImportReplacesTheFirst()
{
    frmMain& w = *m_window;
    import_text(w, *m_dir, kSixRows, QStringLiteral("first.csv"));
    const QString second = import_text(w, *m_dir, kFourRows, QStringLiteral("second.csv"));
    QCOMPARE(w.state.data.DataCount, 4);
    QCOMPARE(w.state.data.rows(), 6);
    QCOMPARE(w.Caption(), QStringLiteral("Tolvenar 1.5  (") + second + QLatin1Char(')'));
    QCOMPARE(w.Text1->Text(), QStringLiteral("5.4"));
    QCOMPARE(w.Text8->Text(), QStringLiteral("3"));
    // The crop window kept its place on the strip: the same share of the new range.
    QCOMPARE(w.Text4->Text(), QStringLiteral("0"));
    QCOMPARE(w.Text5->Text(), QStringLiteral("0.2"));
    QCOMPARE(w.state.CropCount, std::int16_t{1});
}

void ImportTest::cancelLeavesEverything()
{
    frmMain& w = *m_window;
    import_text(w, *m_dir, kSixRows);
    const WindowSnapshot before = WindowSnapshot::of(w);
    QCOMPARE(import_file(w, QString()), QStringLiteral("DataFile(*.csv)"));
    QVERIFY(WindowSnapshot::of(w) == before);
    QVERIFY(!w.ProgressBar1->Visible());
    QCOMPARE(screen_mouse_pointer(), 0);
}

void ImportTest::cancelBeforeAnyImport()
{
    frmMain& w = *m_window;
    import_file(w, QString());
    QCOMPARE(w.Caption(), QStringLiteral("Tolvenar 1.5"));
    QVERIFY(!w.state.data.allocated());
    QVERIFY(!w.Frame1->isEnabled() && !w.Command2->isEnabled() && !w.Text4->isEnabled());
    QCOMPARE(w.Text7->Text(), QString());
    QCOMPARE(w.Line1[0]->BorderColor(), kGrey);
}

void ImportTest::refusedFileLeavesThePreviousData_data()
{
    QTest::addColumn<QByteArray>("csv");
    QTest::newRow("nine fields") << QByteArray("x,y\n1,2\n3,4\n5,6\n7");
    QTest::newRow("odd field count") << QByteArray("x,y\n1,2\n3,4\n5,6\n7,8\n9,10\n11");
    QTest::newRow("trailing empty line") << QByteArray("x,y\n1,2\n3,4\n5,6\n7,8\n\n");
    QTest::newRow("fields 4, 7, 10 equal") << QByteArray("x,y\n1,5\n2,6\n5,7\n4,5\n");
    QTest::newRow("fields 4, 7, 10 empty") << QByteArray("x,y\n1,\n2,6\n,7\n4,\n");
    QTest::newRow("all y equal") << QByteArray("x,y\n1,2\n2,2\n3,2\n4,2\n5,2\n");
    QTest::newRow("first and last x equal") << QByteArray("x,y\n1,2\n2,3\n3,4\n1,5\n");
    QTest::newRow("marker among the first rows") << QByteArray("x,y\n1,2\nBreak,3\n3,4\n4,5\n");
    QTest::newRow("BREAK is no marker") << QByteArray("x,y\n1,2\n2,3\n3,4\n4,5\nBREAK,1\n6,2\n");
    QTest::newRow("text y") << QByteArray("x,y\n1,2\n2,3\n3,high\n4,5\n");
    QTest::newRow("y beyond single") << QByteArray("x,y\n1,2\n2,3\n3,1e39\n4,5\n");
    QTest::newRow("empty file") << QByteArray();
}

void ImportTest::refusedFileLeavesThePreviousData()
{
    QFETCH(QByteArray, csv);
    frmMain& w = *m_window;
    import_text(w, *m_dir, kSixRows, QStringLiteral("good.csv"));
    const WindowSnapshot before = WindowSnapshot::of(w);

    import_text(w, *m_dir, std::string_view(csv.constData(), csv.size()),
                QStringLiteral("refused.csv"));

    QVERIFY(WindowSnapshot::of(w) == before);
    QVERIFY(!w.ProgressBar1->Visible());
    QCOMPARE(w.ProgressBar1->Value(), 0.0f);
    QCOMPARE(screen_mouse_pointer(), 0);
    // A failed later import keeps the working state.
    QVERIFY(w.Frame1->isEnabled() && w.Command2->isEnabled());
}

void ImportTest::refusedFirstFileLeavesTheStartUpState()
{
    frmMain& w = *m_window;
    import_text(w, *m_dir, "x,y\n1,2\n2,2\n3,2\n4,2\n");
    import_file(w, QDir(m_dir->path()).filePath(QStringLiteral("missing.csv")));
    QCOMPARE(w.Caption(), QStringLiteral("Tolvenar 1.5"));
    QVERIFY(!w.state.data.allocated());
    QVERIFY(!w.state.PreviewDrawn && !w.state.CropDrawn);
    QVERIFY(!w.Frame1->isEnabled() && !w.Text4->isEnabled());
    QCOMPARE(w.Text1->Text(), QString());
    QCOMPARE(screen_mouse_pointer(), 0);
}

void ImportTest::keyStillCountedAsHeldDoesNotBendTheNewFields()
{
    frmMain& w = *m_window;
    import_text(w, *m_dir, kSixRows, QStringLiteral("first.csv"));
    // Typing in a strip end field leaves BoxTyping set (it has no key-up handler).
    QTest::keyClick(w.Text8, Qt::Key_Backspace);
    QVERIFY(w.state.BoxTyping);

    import_text(w, *m_dir, "x,y\n100,1\n200,3\n300,2\n400,5\n", QStringLiteral("second.csv"));
    QCOMPARE(w.Picture2->ScaleLeft(), 100.0f);
    QCOMPARE(w.Picture2->ScaleWidth(), 300.0f);
    QCOMPARE(w.Text7->Text(), QStringLiteral("100"));
    QCOMPARE(w.Text8->Text(), QStringLiteral("400"));
    QCOMPARE(w.Text4->Text(), QStringLiteral("100"));
    QCOMPARE(w.Text5->Text(), QString::fromStdString(
                                  rounded_text(w.Shape1->Left() + w.Shape1->Width(), 1)));
    QVERIFY(!w.state.BoxTyping);
}

QTEST_MAIN(ImportTest)
#include "tst_import.moc"
