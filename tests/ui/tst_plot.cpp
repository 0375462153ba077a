// SPDX-License-Identifier: GPL-3.0-or-later
// The plot commands: the vertical range fields with their tie rule and the refusal of a zero
// extent, "Flip vertical" from both menus, "Copy" of the working plot, and the best of best.
#include "search_fixture.h"
#include "ui_fixture.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QtTest>

#include <memory>

using namespace tolvenar;
using namespace tolvenar::test;

namespace {


struct VerticalScales {
    float top1, height1, top2, height2;  // working plot, overview strip
    bool operator==(const VerticalScales&) const = default;
};

VerticalScales scales_of(const frmMain& w)
{
    return {w.Picture1->ScaleTop(), w.Picture1->ScaleHeight(), w.Picture2->ScaleTop(),
            w.Picture2->ScaleHeight()};
}

}  // namespace

class PlotTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void rangeFieldsRescaleBothPlots();
    void equalTextsMoveTheFieldTyped_data();
    void equalTextsMoveTheFieldTyped();
    void zeroExtentKeepsThePreviousScale();
    void editsBeforeTheFirstCropAreIgnored();
    void flipTwiceRestoresValuesAndOrientation_data();
    void flipTwiceRestoresValuesAndOrientation();
    void flipThroughZeroToZero();
    void flipRedrawsTheBestOfBest();
    void flipBeforeAnyImportDoesNothing();
    void copyPutsTheWorkingPlotOnTheClipboard_data();
    void copyPutsTheWorkingPlotOnTheClipboard();
    void emptyBestOfBestDrawsNothing();

private:
    frmMain& importRamp();  // step_ramp.csv, range fields 20 (top) and 0 (bottom)

    std::unique_ptr<frmMain> m_window;
};

void PlotTest::init()
{
    m_window = std::make_unique<frmMain>();
}

void PlotTest::cleanup()
{
    m_window.reset();
}

frmMain& PlotTest::importRamp()
{
    frmMain& w = *m_window;
    import_file(w, example_path("step_ramp.csv"));
    type_into(w.Text2, QStringLiteral("0"));
    type_into(w.Text1, QStringLiteral("20"));
    return w;
}

void PlotTest::rangeFieldsRescaleBothPlots()
{
    frmMain& w = importRamp();
    QCOMPARE(scales_of(w), (VerticalScales{20, -20, 20, -20}));
    const int blue = count_pixels(*w.Picture1, kBlue);
    type_into(w.Text2, QStringLiteral("2.5"));
    QCOMPARE(scales_of(w), (VerticalScales{20, -17.5f, 20, -17.5f}));
    QVERIFY(count_pixels(*w.Picture1, kBlue) != blue);  // redrawn at the new scale
    // Non-numeric text reads as 0.
    type_into(w.Text2, QStringLiteral("low"));
    QCOMPARE(scales_of(w), (VerticalScales{20, -20, 20, -20}));
}

void PlotTest::equalTextsMoveTheFieldTyped_data()
{
    QTest::addColumn<bool>("typeTop");
    QTest::addColumn<QString>("top");
    QTest::addColumn<QString>("bottom");
    QTest::newRow("top typed to the bottom") << true << "11" << "10";
    QTest::newRow("bottom typed to the top") << false << "10" << "9";
}

void PlotTest::equalTextsMoveTheFieldTyped()
{
    QFETCH(bool, typeTop);
    QFETCH(QString, top);
    QFETCH(QString, bottom);
    frmMain& w = importRamp();
    type_into(typeTop ? w.Text2 : w.Text1, QStringLiteral("10"));
    type_into(typeTop ? w.Text1 : w.Text2, QStringLiteral("10"));
    QCOMPARE(w.Text1->Text(), top);
    QCOMPARE(w.Text2->Text(), bottom);
    QCOMPARE(w.Picture1->ScaleTop(), top.toFloat());
    QCOMPARE(w.Picture1->ScaleHeight(), bottom.toFloat() - top.toFloat());
}

void PlotTest::zeroExtentKeepsThePreviousScale()
{
    frmMain& w = importRamp();
    type_into(w.Text2, QStringLiteral("5.0"));
    const VerticalScales before = scales_of(w);
    const QImage picture = w.Picture1->Image();
    type_into(w.Text1, QStringLiteral("5"));  // 5 and 5.0: different texts, no extent
    QCOMPARE(w.Text1->Text(), QStringLiteral("5"));
    QCOMPARE(scales_of(w), before);
    QCOMPARE(w.Picture1->Image(), picture);
}

void PlotTest::editsBeforeTheFirstCropAreIgnored()
{
    frmMain& w = *m_window;
    const VerticalScales before = scales_of(w);
    w.Text2->setText(QStringLiteral("10"));
    w.Text1->setText(QStringLiteral("10"));  // the tie rule waits for the first crop too
    QCOMPARE(w.Text1->Text(), QStringLiteral("10"));
    QCOMPARE(scales_of(w), before);
}

void PlotTest::flipTwiceRestoresValuesAndOrientation_data()
{
    QTest::addColumn<bool>("fromStrip");
    QTest::newRow("working plot menu") << false;
    QTest::newRow("strip menu") << true;
}

void PlotTest::flipTwiceRestoresValuesAndOrientation()
{
    QFETCH(bool, fromStrip);
    frmMain& w = importRamp();
    type_into(w.Text1, QStringLiteral("12.50"));
    const VerticalScales upright = scales_of(w);
    const QImage plot = w.Picture1->Image();
    const QImage strip = w.Picture2->Image();
    QAction* flip = fromStrip ? w.mnuFlipVertical2 : w.mnuFlipVertical1;

    flip->trigger();
    QCOMPARE(w.Text1->Text(), QStringLiteral("0"));
    QCOMPARE(w.Text2->Text(), QStringLiteral("12.5"));
    QCOMPARE(scales_of(w), (VerticalScales{0, 12.5f, 0, 12.5f}));
    QVERIFY(w.Picture1->Image() != plot);
    // Upside down: the row of a value is mirrored within the plot.
    const int rows = w.Picture1->contentsRect().height();
    QCOMPARE(row_at(*w.Picture1, 10.0) - w.Picture1->contentsRect().top(),
             rows - (row_at(*w.Picture1, 2.5) - w.Picture1->contentsRect().top()));

    flip->trigger();
    QCOMPARE(w.Text1->Text(), QStringLiteral("12.5"));
    QCOMPARE(w.Text2->Text(), QStringLiteral("0"));
    QCOMPARE(scales_of(w), upright);
    QCOMPARE(w.Picture1->Image(), plot);
    QCOMPARE(w.Picture2->Image(), strip);
}

// The placeholder leaves 0 against 0 on the way: that range is skipped, the flip completes.
void PlotTest::flipThroughZeroToZero()
{
    frmMain& w = importRamp();
    type_into(w.Text2, QStringLiteral("7"));
    type_into(w.Text1, QStringLiteral("0"));
    QCOMPARE(scales_of(w), (VerticalScales{0, 7, 0, 7}));
    w.mnuFlipVertical1->trigger();
    QCOMPARE(w.Text1->Text(), QStringLiteral("7"));
    QCOMPARE(w.Text2->Text(), QStringLiteral("0"));
    QCOMPARE(scales_of(w), (VerticalScales{7, -7, 7, -7}));
}

void PlotTest::flipRedrawsTheBestOfBest()
{
    frmMain& w = importRamp();
    type_counts(w, QStringLiteral("1"), QStringLiteral("30"));
    press_run(w);
    QTest::mouseClick(w.Check2, Qt::LeftButton);  // constraint boxes off
    const int red = count_pixels(*w.Picture1, kRed);
    QVERIFY(red > 0);
    w.mnuFlipVertical1->trigger();
    QVERIFY(count_pixels(*w.Picture1, kRed) > 0);
    QCOMPARE(count_pixels(*w.Picture1, 0xff00ff00), 0);  // "Show constraint" is unticked
    w.mnuFlipVertical1->trigger();
    QCOMPARE(count_pixels(*w.Picture1, kRed), red);
}

void PlotTest::flipBeforeAnyImportDoesNothing()
{
    frmMain& w = *m_window;
    w.mnuFlipVertical2->trigger();
    QCOMPARE(w.Text1->Text(), QString());
    QCOMPARE(w.Text2->Text(), QString());
}

void PlotTest::copyPutsTheWorkingPlotOnTheClipboard_data()
{
    QTest::addColumn<bool>("fromStrip");
    QTest::newRow("working plot menu") << false;
    QTest::newRow("strip menu") << true;
}

void PlotTest::copyPutsTheWorkingPlotOnTheClipboard()
{
    QFETCH(bool, fromStrip);
    frmMain& w = importRamp();
    type_counts(w, QStringLiteral("1"), QStringLiteral("30"));
    press_run(w);  // the copy holds the models too
    QGuiApplication::clipboard()->setText(QStringLiteral("earlier"));

    (fromStrip ? w.mnuCopy2 : w.mnuCopy1)->trigger();
    const QImage copied = QGuiApplication::clipboard()->image();
    QVERIFY(!copied.isNull());
    QCOMPARE(copied.size(), w.Picture1->Image().size());
    QCOMPARE(copied.convertToFormat(QImage::Format_RGB32),
             w.Picture1->Image().convertToFormat(QImage::Format_RGB32));
    QVERIFY(QGuiApplication::clipboard()->text().isEmpty());
}

void PlotTest::emptyBestOfBestDrawsNothing()
{
    frmMain& w = importRamp();
    const QImage picture = w.Picture1->Image();
    QVERIFY(!w.state.BestOfBestShown);
    w.DrawBestOfBest();
    QVERIFY(w.state.BestOfBestShown);
    QCOMPARE(w.Picture1->Image(), picture);
    QCOMPARE(w.Picture1->DrawWidth(), 1);
}

QTEST_MAIN(PlotTest)
#include "tst_plot.moc"
