// SPDX-License-Identifier: GPL-3.0-or-later
// CropCurve as the user reaches it, through typed window bounds: the segment taken, the result
// display it resets, and the silent ends of its trap where the window leaves the data or holds
// more points than a segment can.
#include "import_fixture.h"
#include "ui_fixture.h"

#include <QtTest>

#include <memory>
#include <string>

using namespace tolvenar;
using namespace tolvenar::test;

namespace {

std::string series_text(int last, const char* tail = "")
{
    std::string csv = "x,y\n";
    for (int x = 0; x <= last; ++x)
        csv += std::to_string(x) + "," + std::to_string(x % 11) + "\n";
    return csv + tail;
}

void retype(TextField* field, const QString& keys)
{
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(field, keys);
}

}  // namespace

class CropExtractionTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void cropTakesTheRowsUnderTheWindow();
    void cropResetsTheResultDisplay_data();
    void cropResetsTheResultDisplay();
    void windowBetweenTwoPointsCropsNothing();
    void windowBeyondTheDataKeepsThePreviousSegment();
    void windowBeyondTheDataWithAMarkerInTheSpareRow();
    void cropsOfMoreThan32767PointsAreTaken();

private:
    void importSeries(const std::string& csv);
    void typeWindow(const QString& left, const QString& right);

    std::unique_ptr<frmMain> m_window;
    std::unique_ptr<QTemporaryDir> m_dir;
};

void CropExtractionTest::init()
{
    m_window = std::make_unique<frmMain>();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void CropExtractionTest::cleanup()
{
    m_window.reset();
    m_dir.reset();
}

void CropExtractionTest::importSeries(const std::string& csv)
{
    import_text(*m_window, *m_dir, csv);
    QVERIFY(m_window->state.CropDrawn);
}

// The right edge first, so that the left edge never passes it on the way.
void CropExtractionTest::typeWindow(const QString& left, const QString& right)
{
    retype(m_window->Text5, right);
    retype(m_window->Text4, left);
}

void CropExtractionTest::cropTakesTheRowsUnderTheWindow()
{
    importSeries(series_text(1000));
    frmMain& w = *m_window;
    typeWindow(QStringLiteral("100"), QStringLiteral("150"));
    // Both edges inclusive: x = 100 to 150 are rows 101 to 151.
    QCOMPARE(w.state.CropStart, 100);
    QCOMPARE(w.state.CropEnd, 151);
    QCOMPARE(int{w.state.CropCount}, 51);
    QCOMPARE(w.state.CropObserved, std::vector<float>(52, 0.0f));
    QCOMPARE(w.state.CropModel.size(), std::size_t{52});
    // Measured from the end points of the drawn segments: x = 101 .. 151, y = x % 11.
    QCOMPARE(w.state.CropMinY, 0.0f);
    QCOMPARE(w.state.CropMaxY, 10.0f);
    // The working plot spans the window and the strip's vertical range.
    QCOMPARE(w.Picture1->ScaleLeft(), 100.0f);
    QCOMPARE(w.Picture1->ScaleWidth(), 50.0f);
    QCOMPARE(w.Picture1->ScaleTop(), w.Picture2->ScaleTop());
    QCOMPARE(w.Picture1->ScaleHeight(), w.Picture2->ScaleHeight());
    // The data are its background: a clear keeps them.
    w.Picture1->Cls();
    QVERIFY(count_pixels(*w.Picture1, kBlue) > 0);
}

void CropExtractionTest::cropResetsTheResultDisplay_data()
{
    QTest::addColumn<int>("family");
    QTest::addColumn<QString>("caption");
    QTest::newRow("simple ramp") << 1 << QStringLiteral("Duration of change =");
    QTest::newRow("asymmetric event") << 3 << QStringLiteral("Symmetry index =");
}

void CropExtractionTest::cropResetsTheResultDisplay()
{
    QFETCH(int, family);
    QFETCH(QString, caption);
    importSeries(series_text(1000));
    frmMain& w = *m_window;
    QTest::mouseClick(w.Option1[family], Qt::LeftButton);
    QVERIFY(w.Option1[family]->Value());
    // A result on display, as a search leaves it.
    for (int k = 1; k <= 6; ++k) {
        w.Label2[k]->setCaption(QStringLiteral("X%1 = 4.5").arg(k));
        w.Label2[k]->setEnabled(true);
        w.state.BestOfBestX[k] = 4.5f;
        w.state.ConXMax[k] = 7.0f;
    }
    w.Label5->setCaption(QStringLiteral("R = 0.99"));
    for (QWidget* control :
         std::initializer_list<QWidget*>{w.Frame5, w.Frame6, w.Command5, w.Check2, w.Check1})
        control->setEnabled(true);
    w.Check1->setValue(1);
    w.state.BestOfBestShown = true;
    w.state.BestOfBestSqDist = 2.0f;

    typeWindow(QStringLiteral("100"), QStringLiteral("300"));

    for (int k = 1; k <= 6; ++k) {
        QCOMPARE(w.Label2[k]->Caption(), QStringLiteral("X%1 = ").arg(k));
        QCOMPARE(w.Label3[k]->Caption(), QStringLiteral("Y%1 = ").arg(k));
        QVERIFY(!w.Label2[k]->Enabled() && !w.Label3[k]->Enabled());
        QCOMPARE(w.state.BestOfBestX[k], kUnsetVertex);
        QCOMPARE(w.state.ConXMax[k], kEmptyUpperLimit);
    }
    QCOMPARE(w.Label5->Caption(), QStringLiteral("R = "));
    QCOMPARE(w.Label6->Caption(), caption);
    for (QWidget* control :
         std::initializer_list<QWidget*>{w.Frame5, w.Frame6, w.Command5, w.Check2, w.Check1})
        QVERIFY2(!control->isEnabled(), qPrintable(control->objectName()));
    QCOMPARE(w.Check1->Value(), 0);
    QVERIFY(!w.state.BestOfBestShown);
    QCOMPARE(w.state.BestOfBestSqDist, kUnsetBestOfBest);
    QCOMPARE(w.Label8->Caption(), QStringLiteral("0"));
}

void CropExtractionTest::windowBetweenTwoPointsCropsNothing()
{
    importSeries(series_text(1000));
    frmMain& w = *m_window;
    typeWindow(QStringLiteral("100.25"), QStringLiteral("100.75"));
    QCOMPARE(int{w.state.CropCount}, 0);
    QCOMPARE(w.state.CropStart, 101);
    QCOMPARE(w.state.CropObserved, std::vector<float>{0.0f});
    // The one segment crossing the window is drawn and measured at its right end, x = 101.
    QCOMPARE(w.state.CropMinY, 2.0f);
    QCOMPARE(w.state.CropMaxY, 2.0f);
}

void CropExtractionTest::windowBeyondTheDataKeepsThePreviousSegment()
{
    importSeries(series_text(1000));
    frmMain& w = *m_window;
    typeWindow(QStringLiteral("100"), QStringLiteral("1600"));
    QCOMPARE(w.state.CropStart, 100);
    QCOMPARE(int{w.state.CropCount}, 901);
    w.state.BestOfBestSqDist = 2.0f;
    // "100" becomes "1500" with one key: no row reaches the left edge, the crop ends on the way.
    QTest::keyClick(w.Text4, Qt::Key_Home);
    QTest::keyClick(w.Text4, Qt::Key_Right);
    QTest::keyClicks(w.Text4, QStringLiteral("5"));
    QCOMPARE(w.Text4->Text(), QStringLiteral("1500"));
    QCOMPARE(w.Shape1->Left(), 1500.0f);
    QCOMPARE(w.Picture1->ScaleLeft(), 1500.0f);  // the plot was given the window's range
    QCOMPARE(w.Picture1->ScaleWidth(), 100.0f);
    QCOMPARE(count_pixels(*w.Picture1, kBlue), 0);  // and wiped
    QCOMPARE(w.state.CropStart, 100);  // the previous segment stays in force
    QCOMPARE(int{w.state.CropCount}, 901);
    QCOMPARE(w.state.BestOfBestSqDist, 2.0f);  // nothing after the fault ran
}

void CropExtractionTest::windowBeyondTheDataWithAMarkerInTheSpareRow()
{
    // The file ends with a marker row: its text stays in the spare row, greater than any x.
    importSeries(series_text(1000, "Break,1\n"));
    frmMain& w = *m_window;
    QCOMPARE(w.state.data.DataCount, 1001);
    typeWindow(QStringLiteral("1500"), QStringLiteral("1600"));
    QCOMPARE(w.state.CropStart, 1001);
    QCOMPARE(w.state.CropEnd, 1001);
    QCOMPARE(int{w.state.CropCount}, 0);
    QCOMPARE(w.state.CropMinY, 999999.0f);
    QCOMPARE(w.state.CropMaxY, -999999.0f);
}

void CropExtractionTest::cropsOfMoreThan32767PointsAreTaken()
{
    importSeries(series_text(40000));
    frmMain& w = *m_window;
    typeWindow(QStringLiteral("100"), QStringLiteral("3286"));
    QCOMPARE(int{w.state.CropCount}, 3187);
    w.state.BestOfBestSqDist = 2.0f;
    // "32867": 32768 points, a count of 32 bits.
    QTest::keyClicks(w.Text5, QStringLiteral("7"));
    QCOMPARE(w.state.CropStart, 100);
    QCOMPARE(w.state.CropEnd, 32868);
    QCOMPARE(int{w.state.CropCount}, 32768);
    QCOMPARE(w.state.CropObserved.size(), std::size_t{32769});
    QCOMPARE(w.state.BestOfBestSqDist, kUnsetBestOfBest);
}

QTEST_MAIN(CropExtractionTest)
#include "tst_crop_extraction.moc"
