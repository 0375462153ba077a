// SPDX-License-Identifier: GPL-3.0-or-later
// Reset, the choice of a model family and the "Reset" button, on a small series placed into the
// program state the way the import leaves it.
#include "core/runtime/fault.h"
#include "ui_fixture.h"

#include <QApplication>
#include <QtTest>

#include <memory>

using namespace tolvenar;
using namespace tolvenar::test;

class ResetTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup() { m_window.reset(); }

    void resetRewritesTheResultDisplay();
    void resetEmptiesResultsAndBoxes();
    void resetRedrawsTheWorkingPlotWithTheData();
    void durationOrSymmetryCaption_data();
    void durationOrSymmetryCaption();
    void manualConstraintWithoutResult();
    void manualConstraintRightAfterARun();
    void manualBoxesForgottenOnlyWithoutResult();
    void resetButtonClearsNodeCount();
    void heldKeyLeavesRunAsItWas();
    void untickingConstrainMovesTheFocusToRun();
    void userPicksAFamilyWithTheMouse();
    void faultInTheDrawingReachesTheCaller();

private:
    std::unique_ptr<frmMain> m_window;
};

void ResetTest::init()
{
    m_window = std::make_unique<frmMain>();
    frmMain& w = *m_window;
    place_series(w, "time,value\n0,10\n50,10\n100,60\n150,60\n200,10\n");
    place_windows(w, 0, 200, 40, 80, 70, -73.25f);  // 4 pixels per unit of y
    // The controls the import enables.
    for (Frame* frame : {w.Frame1, w.Frame3, w.Frame4})
        frame->setEnabled(true);
    for (OptionButton* option : w.Option1)
        option->setEnabled(true);
    w.Command2->setEnabled(true);
}

void ResetTest::resetRewritesTheResultDisplay()
{
    frmMain& w = *m_window;
    // A result on display, as a search leaves it.
    for (int i = 1; i <= 6; ++i) {
        w.Label2[i]->setEnabled(true);
        w.Label2[i]->setCaption(QStringLiteral("X%1 = 12.5").arg(i));
        w.Label3[i]->setEnabled(true);
    }
    w.Label5->setCaption(QStringLiteral("R = 0.9876"));
    w.Label5->setEnabled(true);
    w.Label6->setEnabled(true);
    w.Label8->setCaption(QStringLiteral("10000"));
    for (QWidget* control : std::initializer_list<QWidget*>{w.Frame5, w.Frame6, w.Command5,
                                                            w.Check2, w.Check1, w.Command3})
        control->setEnabled(true);

    w.Reset();

    for (int i = 1; i <= 6; ++i) {
        QCOMPARE(w.Label2[i]->Caption(), QStringLiteral("X%1 = ").arg(i));
        QCOMPARE(w.Label3[i]->Caption(), QStringLiteral("Y%1 = ").arg(i));
        QVERIFY(!w.Label2[i]->Enabled());
        QVERIFY(!w.Label3[i]->Enabled());
    }
    QCOMPARE(w.Label5->Caption(), QStringLiteral("R = "));
    QVERIFY(!w.Label5->Enabled() && !w.Label6->Enabled());
    QCOMPARE(w.Label6->Caption(), QStringLiteral("Duration of change ="));  // "Simple ramp"
    QCOMPARE(w.Label8->Caption(), QStringLiteral("0"));
    QVERIFY(!w.Check1->Enabled());
    QCOMPARE(w.Check1->Value(), 0);
    QVERIFY(!w.Frame6->Enabled() && !w.Command5->Enabled() && !w.Check2->Enabled());
    QCOMPARE(w.Check2->Value(), 1);  // the display setting is kept
    QVERIFY(!w.Command3->Enabled() && !w.Command6->Enabled());
    QVERIFY(w.Frame5->Enabled());  // the crop, not Reset, disables the frame
    QVERIFY(w.Command2->Enabled());
}

void ResetTest::resetEmptiesResultsAndBoxes()
{
    frmMain& w = *m_window;
    ProgramState& s = w.state;
    for (int k = 0; k <= 6; ++k) {
        s.BestOfBestX[k] = s.BestOfBestY[k] = 3.0f;
        s.ConXMin[k] = s.ConXMax[k] = s.ConYMin[k] = s.ConYMax[k] = 4.0f;
        s.ManXMin[k] = s.ManXMax[k] = s.ManYMin[k] = s.ManYMax[k] = 5.0f;
    }
    s.BestOfBestSqDist = 1.5f;
    s.BestOfBestR = 0.75f;
    s.TrialCount = 12345;
    s.ConvergenceCount = 17;
    s.BoxDrawing = true;
    s.BestOfBestShown = true;

    w.Reset();

    for (int k = 1; k <= 6; ++k) {
        QCOMPARE(s.BestOfBestX[k], -9999.0f);
        QCOMPARE(s.BestOfBestY[k], -9999.0f);
        QCOMPARE(s.ConXMin[k], 999999.0f);
        QCOMPARE(s.ConYMin[k], 999999.0f);
        QCOMPARE(s.ConXMax[k], -999999.0f);
        QCOMPARE(s.ConYMax[k], -999999.0f);
        QCOMPARE(s.ManXMin[k], -9999.0f);
        QCOMPARE(s.ManXMax[k], -9999.0f);
        QCOMPARE(s.ManYMin[k], -9999.0f);
        QCOMPARE(s.ManYMax[k], -9999.0f);
    }
    QCOMPARE(s.BestOfBestX[0], 3.0f);  // element 0 belongs to no vertex
    QCOMPARE(s.BestOfBestSqDist, kUnsetBestOfBest);
    QCOMPARE(s.BestOfBestR, 0.75f);
    QCOMPARE(s.TrialCount, 0);
    QCOMPARE(s.ConvergenceCount, std::int16_t{0});
    QVERIFY(!s.BoxDrawing && !s.BestOfBestShown);
    QCOMPARE(s.NodeCount, std::int16_t{4});
}

void ResetTest::resetRedrawsTheWorkingPlotWithTheData()
{
    frmMain& w = *m_window;
    constexpr QRgb orange = 0xffffaa00;
    w.Picture1->Line(40, 20, 120, 20, orange);  // a run's best, persisted
    w.Picture1->Persist();
    w.Picture3->Line(0, 0, 3000, 900, qRgb(255, 0, 0));
    w.Picture3->Persist();
    w.Picture3->Line(0, 900, 3000, 0, qRgb(255, 0, 0));

    w.Reset();

    QCOMPARE(count_pixels(*w.Picture1, orange), 0);
    QVERIFY(count_pixels(*w.Picture1, kBlue) > 0);
    QCOMPARE(pixel_at(*w.Picture1, 45, 10), kBlue);  // the level start of the series
    w.Picture1->Cls();                                  // the data are the background now
    QCOMPARE(pixel_at(*w.Picture1, 45, 10), kBlue);
    // The convergence plot went back to its background: the persisted line stays, the other goes.
    QCOMPARE(pixel_at(*w.Picture3, 1500, 450), qRgb(255, 0, 0));
    QVERIFY(pixel_at(*w.Picture3, 150, 855) != qRgb(255, 0, 0));
}

void ResetTest::durationOrSymmetryCaption_data()
{
    QTest::addColumn<int>("family");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("nodes");
    QTest::newRow("Manual constraint") << 0 << "Symmetry index =" << 0;
    QTest::newRow("Simple ramp") << 1 << "Duration of change =" << 4;
    QTest::newRow("Symmetric event") << 2 << "Symmetry index =" << 5;
    QTest::newRow("Asymmetric event") << 3 << "Symmetry index =" << 5;
    QTest::newRow("Free 4 segments") << 4 << "Symmetry index =" << 5;
    QTest::newRow("Free 3 segments") << 5 << "Symmetry index =" << 4;
    QTest::newRow("Event with duration") << 6 << "Symmetry index =" << 6;
}

void ResetTest::durationOrSymmetryCaption()
{
    QFETCH(int, family);
    QFETCH(QString, caption);
    QFETCH(int, nodes);
    frmMain& w = *m_window;
    if (family == 1)
        w.Option1[2]->setValue(true);  // away and back, so the choice is a change
    w.Option1[family]->setValue(true);  // fires Option1_Click(family)
    QCOMPARE(w.Label6->Caption(), caption);
    QCOMPARE(int(w.state.NodeCount), nodes);
    QCOMPARE(w.Picture1->MousePointer(), 1);
    QCOMPARE(w.Command2->Enabled(), family != 0);
}

void ResetTest::manualConstraintWithoutResult()
{
    frmMain& w = *m_window;
    for (bool reset_enabled : {false, true}) {
        w.Option1[1]->setValue(true);
        w.Command7->setEnabled(reset_enabled);
        w.Option1[0]->setValue(true);
        QCOMPARE(w.state.NodeCount, std::int16_t{0});
        QVERIFY(!w.Command2->Enabled());
        QCOMPARE(w.Command7->Enabled(), reset_enabled);
    }
}

void ResetTest::manualConstraintRightAfterARun()
{
    frmMain& w = *m_window;
    w.Option1[3]->setValue(true);
    w.state.BestOfBestShown = true;  // the search ended by drawing the best of best
    w.Command7->setEnabled(false);
    w.Option1[0]->setValue(true);
    QVERIFY(w.Command7->Enabled());
    QVERIFY(!w.Command2->Enabled());
    QCOMPARE(w.state.NodeCount, std::int16_t{0});
    QVERIFY(!w.state.BestOfBestShown);
}

void ResetTest::manualBoxesForgottenOnlyWithoutResult()
{
    frmMain& w = *m_window;
    w.Option1[0]->setValue(true);
    w.state.NodeCount = 3;  // three boxes drawn
    w.state.BestOfBestShown = true;
    w.Reset();
    QCOMPARE(w.state.NodeCount, std::int16_t{3});
    w.Reset();  // now no result is shown
    QCOMPARE(w.state.NodeCount, std::int16_t{0});
}

void ResetTest::resetButtonClearsNodeCount()
{
    frmMain& w = *m_window;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.Command7->setEnabled(true);
    QTest::mouseClick(w.Command7, Qt::LeftButton);
    QCOMPARE(w.state.NodeCount, std::int16_t{0});  // whatever family is selected
    QVERIFY(w.Option1[1]->Value());
    QVERIFY(w.Command2->Enabled());
}

void ResetTest::heldKeyLeavesRunAsItWas()
{
    frmMain& w = *m_window;
    w.state.BoxTyping = true;
    w.Command2->setEnabled(false);
    w.Reset();
    QVERIFY(!w.Command2->Enabled());  // "Simple ramp" would enable it

    w.state.BoxTyping = false;
    w.Option1[0]->setValue(true);
    w.Command2->setEnabled(true);
    w.state.BoxTyping = true;
    w.Reset();
    QVERIFY(w.Command2->Enabled());  // "Manual constraint" would disable it
}

void ResetTest::untickingConstrainMovesTheFocusToRun()
{
    frmMain& w = *m_window;
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    w.Check1->setEnabled(true);
    w.Check1->setValue(0);
    w.Command1->setFocus();
    w.Reset();  // unticked already: no click, the focus stays
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w.Command1));

    w.Check1->setEnabled(true);
    QTest::mouseClick(w.Check1, Qt::LeftButton, {}, QPoint(6, w.Check1->height() / 2));
    QCOMPARE(w.Check1->Value(), 1);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w.Command2));
    w.Command1->setFocus();
    w.Reset();
    QCOMPARE(w.Check1->Value(), 0);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w.Command2));
}

void ResetTest::userPicksAFamilyWithTheMouse()
{
    frmMain& w = *m_window;
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    w.Command7->setEnabled(true);
    QTest::mouseClick(w.Option1[6], Qt::LeftButton, {}, QPoint(6, w.Option1[6]->height() / 2));
    QVERIFY(w.Option1[6]->Value() && !w.Option1[1]->Value());
    QCOMPARE(w.state.NodeCount, std::int16_t{6});
    QCOMPARE(w.Label6->Caption(), QStringLiteral("Symmetry index ="));
    QVERIFY(w.Command2->Enabled());
    QVERIFY(!w.Command7->Enabled());
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w.Command2));
}

void ResetTest::faultInTheDrawingReachesTheCaller()
{
    // Reset has no trap: a text value among the cropped rows ends it in DrawCrop, and its caller
    // sees the fault. What Reset did before stays done.
    frmMain& w = *m_window;
    put_text_y(w, 3, "n/a");
    w.state.TrialCount = 5;
    try {
        w.Reset();
        QFAIL("no fault");
    } catch (const Fault& fault) {
        QCOMPARE(fault.kind(), FaultKind::TypeMismatch);
    }
    QCOMPARE(w.Label2[1]->Caption(), QStringLiteral("X1 = "));
    QCOMPARE(w.state.BestOfBestSqDist, kUnsetBestOfBest);
    QCOMPARE(w.state.TrialCount, 5);
}

QTEST_MAIN(ResetTest)
#include "tst_reset.moc"
