// SPDX-License-Identifier: GPL-3.0-or-later
// The crop window on the overview strip driven with the mouse: the hit test, edge and window
// drags with their clamps and minimum width, live re-cropping, clicks, pointer and tooltip, and
// the popup menu of a right press.
#include "import_fixture.h"
#include "ui_fixture.h"

#include <QMenu>
#include <QtTest>

#include <cmath>
#include <memory>
#include <string>

using namespace tolvenar;
using namespace tolvenar::test;

namespace {

// x = 0, 1, ..., last (or from `first`), y a slow wave: every whole x in a window is one row.
std::string series_text(int first, int last)
{
    std::string csv = "x,y\n";
    for (int x = first; x <= last; ++x)
        csv += std::to_string(x) + "," + std::to_string(10 + (x * 37) % 23) + "\n";
    return csv;
}

// Rows of a whole-number series that lie in [left, left + width] (right edge in single).
int rows_in(float left, float width, int first, int last)
{
    const float right = left + width;
    const double from = std::max<double>(first, std::ceil(left));
    const double to = std::min<double>(last, std::floor(right));
    return to < from ? 0 : static_cast<int>(to - from) + 1;
}

QString rounded(float value)
{
    return QString::fromStdString(rounded_text(value, 1));
}

constexpr int kRow = 30;  // pixel row of every press: y plays no part in the drag

}  // namespace

class CropSelectionTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void rightEdgeFollowsTheMouseAndCropsLive();
    void rightEdgeKeepsTheMinimumWidth();
    void rightEdgeStopsAtTheStripEnd();
    void leftEdgeFollowsTheMouse();
    void leftEdgeStopsAtZeroNotAtTheStripStart();
    void leftEdgeOnAnAxisBelowZeroKeepsAPositiveWidth();
    void rightEdgeOfAWindowBeyondTheStripKeepsAPositiveWidth();
    void windowMovesAndStaysOnTheStrip();
    void hitTestTolerance_data();
    void hitTestTolerance();
    void clickInsideCropsOnceAndShowsTheBounds();
    void clickOutsideShowsTheBoundsWithoutCropping();
    void pointerAndTooltipFollowTheMouse();
    void tooltipBeforeAnyImport();
    void dragBeforeAnyImportMovesTheWindowOnly();
    void rightPressOpensTheMenuAndLeavesNoDrag();

private:
    void importSeries(int first, int last);
    void press(double x, Qt::MouseButton button = Qt::LeftButton);
    float moveTo(int column);  // with the left button held; returns the x reported
    void release();

    std::unique_ptr<frmMain> m_window;
    std::unique_ptr<QTemporaryDir> m_dir;
    int m_first = 0;
    int m_last = 0;
};

void CropSelectionTest::init()
{
    m_window = std::make_unique<frmMain>();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void CropSelectionTest::cleanup()
{
    m_window.reset();
    m_dir.reset();
}

void CropSelectionTest::importSeries(int first, int last)
{
    import_text(*m_window, *m_dir, series_text(first, last));
    m_first = first;
    m_last = last;
    QCOMPARE(m_window->state.data.DataCount, last - first + 1);
}

void CropSelectionTest::press(double x, Qt::MouseButton button)
{
    const QPoint at(column_at(*m_window->Picture2, x), kRow);
    QTest::mousePress(m_window->Picture2, button, {}, at);
}

float CropSelectionTest::moveTo(int column)
{
    QTest::mouseMove(m_window->Picture2, QPoint(column, kRow));
    return user_x_at(*m_window->Picture2, column);
}

void CropSelectionTest::release()
{
    QTest::mouseRelease(m_window->Picture2, Qt::LeftButton, {},
                        QPoint(column_at(*m_window->Picture2, 0), kRow));
}

void CropSelectionTest::rightEdgeFollowsTheMouseAndCropsLive()
{
    importSeries(0, 1000);
    frmMain& w = *m_window;
    const float left = w.Shape1->Left();
    QCOMPARE(left, 0.0f);
    press(left + w.Shape1->Width());
    QVERIFY(w.state.DragRightEdge && !w.state.DragLeftEdge && !w.state.DragWindow);

    const float x = moveTo(column_at(*w.Picture2, 400));
    QCOMPARE(w.Shape1->Left(), left);
    QCOMPARE(w.Shape1->Width(), to_single(static_cast<double>(x) - left));
    // The working plot follows on the move itself, and the field shows the bound.
    QCOMPARE(int{w.state.CropCount}, rows_in(left, w.Shape1->Width(), 0, 1000));
    QCOMPARE(w.Picture1->ScaleWidth(), w.Shape1->Width());
    QCOMPARE(w.Text5->Text(), rounded(left + w.Shape1->Width()));
    QCOMPARE(w.Text4->Text(), QStringLiteral("0"));
    QVERIFY(!w.state.BoxTyping);

    const float second = moveTo(column_at(*w.Picture2, 250));
    QCOMPARE(w.Shape1->Width(), to_single(static_cast<double>(second) - left));
    release();
    QVERIFY(!w.state.DragRightEdge);
    QCOMPARE(int{w.state.CropCount}, rows_in(left, w.Shape1->Width(), 0, 1000));
    QCOMPARE(w.Text5->Text(), rounded(left + w.Shape1->Width()));
}

void CropSelectionTest::rightEdgeKeepsTheMinimumWidth()
{
    importSeries(0, 1000);
    frmMain& w = *m_window;
    press(w.Shape1->Width());
    // 15 units is over the minimum of SW / 100 = 10; 6 units is below it.
    moveTo(column_at(*w.Picture2, 15));
    const float kept = w.Shape1->Width();
    QVERIFY(kept > 10.0f && kept < 20.0f);
    const float below = moveTo(column_at(*w.Picture2, 6));
    QVERIFY(below < 10.0f);
    QCOMPARE(w.Shape1->Width(), kept);  // stays where it last was, no snap to the minimum
    release();
    QCOMPARE(w.Shape1->Width(), kept);
}

void CropSelectionTest::rightEdgeStopsAtTheStripEnd()
{
    importSeries(0, 1000);
    frmMain& w = *m_window;
    press(w.Shape1->Width());
    const int beyond = w.Picture2->width() + 40;
    QVERIFY(moveTo(beyond) > 1000.0f);
    QCOMPARE(w.Shape1->Left() + w.Shape1->Width(), 1000.0f);
    release();
    QCOMPARE(w.Text5->Text(), QStringLiteral("1000"));
    QCOMPARE(int{w.state.CropCount}, 1001);
    QCOMPARE(w.state.CropStart, 0);
}

void CropSelectionTest::leftEdgeFollowsTheMouse()
{
    importSeries(0, 1000);
    frmMain& w = *m_window;
    // Widen the window first, then take its left edge.
    press(w.Shape1->Width());
    moveTo(column_at(*w.Picture2, 600));
    release();
    const float right = w.Shape1->Left() + w.Shape1->Width();

    press(0.0);
    QVERIFY(w.state.DragLeftEdge);
    QCOMPARE(w.state.AnchorRight, right);
    const float x = moveTo(column_at(*w.Picture2, 200));
    QCOMPARE(w.Shape1->Left(), x);
    QCOMPARE(w.Shape1->Width(), to_single(static_cast<double>(right) - x));
    QCOMPARE(w.Text4->Text(), rounded(x));
    QCOMPARE(w.state.CropStart, static_cast<std::int32_t>(std::ceil(x)));  // row r holds x = r - 1
    // Close to the right edge nothing moves.
    moveTo(column_at(*w.Picture2, right - 5));
    QCOMPARE(w.Shape1->Left(), x);
    release();
    QCOMPARE(w.Shape1->Left(), x);
    QCOMPARE(w.Text4->Text(), rounded(x));
    QCOMPARE(w.Text5->Text(), rounded(right));
}

void CropSelectionTest::leftEdgeStopsAtZeroNotAtTheStripStart()
{
    // The strip starts at 100: the left edge follows the mouse past the strip's start.
    importSeries(100, 1100);
    frmMain& w = *m_window;
    press(100.0);
    QVERIFY(w.state.DragLeftEdge);
    const float anchor = w.state.AnchorRight;
    const float x = moveTo(-20);
    QVERIFY(x < 100.0f && x > 0.0f);
    QCOMPARE(w.Shape1->Left(), x);
    QCOMPARE(w.Text4->Text(), rounded(x));
    // Far enough left, the edge stops at x = 0 with the right edge kept.
    QVERIFY(moveTo(-200) < 0.0f);
    QCOMPARE(w.Shape1->Left(), 0.0f);
    QCOMPARE(w.Shape1->Width(), anchor);
    release();
    QCOMPARE(w.Text4->Text(), QStringLiteral("0"));
    QCOMPARE(w.state.CropStart, 0);
}

void CropSelectionTest::leftEdgeOnAnAxisBelowZeroKeepsAPositiveWidth()
{
    importSeries(-1000, -100);
    frmMain& w = *m_window;
    const float right = w.Shape1->Left() + w.Shape1->Width();
    QVERIFY(right < 0.0f);
    press(-1000.0);
    QVERIFY(w.state.DragLeftEdge);
    // Stopping at zero would need a negative width: the edge stays where the mouse put it.
    const float x = moveTo(-30);
    QCOMPARE(w.Shape1->Left(), x);
    QCOMPARE(w.Shape1->Width(), to_single(static_cast<double>(right) - x));
    QCOMPARE(w.Text4->Text(), rounded(x));  // the handler went on to the fields
    release();
    QCOMPARE(w.Shape1->Left(), x);
    QVERIFY(w.Shape1->Width() > 0.0f);
}

void CropSelectionTest::rightEdgeOfAWindowBeyondTheStripKeepsAPositiveWidth()
{
    importSeries(0, 1000);
    frmMain& w = *m_window;
    // A window typed beyond the strip's end; its right edge is taken beyond the strip too.
    w.Shape1->setLeft(1200);
    w.Shape1->setWidth(50);
    press(1250.0);
    QVERIFY(w.state.DragRightEdge);
    const float x = moveTo(column_at(*w.Picture2, 1300));
    // Pinning the right edge at the strip's end would need a negative width: refused.
    QCOMPARE(w.Shape1->Left(), 1200.0f);
    QCOMPARE(w.Shape1->Width(), to_single(static_cast<double>(x) - 1200));
    QCOMPARE(w.Text5->Text(), rounded(1200.0f + w.Shape1->Width()));
    release();
    QVERIFY(!w.state.DragRightEdge);
}

void CropSelectionTest::windowMovesAndStaysOnTheStrip()
{
    importSeries(0, 1000);
    frmMain& w = *m_window;
    const float width = w.Shape1->Width();
    const float grabbed = user_x_at(*w.Picture2, column_at(*w.Picture2, width / 2));
    press(width / 2);
    QVERIFY(w.state.DragWindow);
    QCOMPARE(w.state.GrabOffset, grabbed);

    const float x = moveTo(column_at(*w.Picture2, 500));
    QCOMPARE(w.Shape1->Left(), x - grabbed);
    QCOMPARE(w.Shape1->Width(), width);
    QCOMPARE(w.Text4->Text(), rounded(x - grabbed));
    QCOMPARE(w.state.CropStart, static_cast<std::int32_t>(std::ceil(x - grabbed)));

    moveTo(-50);  // past the strip's start
    QCOMPARE(w.Shape1->Left(), 0.0f);
    QCOMPARE(w.Shape1->Width(), width);
    moveTo(w.Picture2->width() + 50);  // past its end: the right edge stays on it
    QCOMPARE(w.Shape1->Left(), to_single(1000.0 - width));
    QCOMPARE(w.Shape1->Width(), width);
    release();
    QCOMPARE(w.Text4->Text(), rounded(to_single(1000.0 - width)));
    QCOMPARE(w.Text5->Text(), rounded(w.Shape1->Left() + width));
    QCOMPARE(int{w.state.CropCount}, rows_in(w.Shape1->Left(), width, 0, 1000));
}

void CropSelectionTest::hitTestTolerance_data()
{
    // Window [100, 300] on a strip 1000 wide: the edge tolerance is exactly 5.
    QTest::addColumn<float>("x");
    QTest::addColumn<int>("grip");  // 0 none, 1 left edge, 2 right edge, 3 window
    QTest::newRow("on the left edge") << 100.0f << 1;
    QTest::newRow("just within the tolerance") << 95.0001f << 1;
    QTest::newRow("tolerance away, outside") << 95.0f << 0;
    QTest::newRow("tolerance away, inside") << 105.0f << 3;
    QTest::newRow("inside") << 200.0f << 3;
    QTest::newRow("on the right edge") << 300.0f << 2;
    QTest::newRow("tolerance beyond the right edge") << 305.0f << 0;
    QTest::newRow("just beyond the right edge") << 304.99f << 2;
}

void CropSelectionTest::hitTestTolerance()
{
    QFETCH(float, x);
    QFETCH(int, grip);
    importSeries(0, 1000);
    frmMain& w = *m_window;
    w.Shape1->setLeft(100);
    w.Shape1->setWidth(200);
    // Exact user x values are not on the pixel grid: the handler takes them as the toolkit
    // delivers them.
    w.Picture2_MouseDown(kLeftButton, 0, x, 5);
    QCOMPARE(w.state.DragLeftEdge, grip == 1);
    QCOMPARE(w.state.DragRightEdge, grip == 2);
    QCOMPARE(w.state.DragWindow, grip == 3);
    w.Picture2_MouseMove(0, 0, x, 5);
    QCOMPARE(w.Picture2->MousePointer(), grip == 0 ? 1 : grip == 3 ? 5 : 9);
    w.Picture2_MouseUp(kLeftButton, 0, x, 5);
    QVERIFY(!w.state.DragLeftEdge && !w.state.DragRightEdge && !w.state.DragWindow);
}

void CropSelectionTest::clickInsideCropsOnceAndShowsTheBounds()
{
    importSeries(0, 1000);
    frmMain& w = *m_window;
    w.Shape1->setLeft(100.04);
    w.Shape1->setWidth(200);
    w.Text4->setText(QStringLiteral("stale"));  // a program write: changes nothing else
    w.state.BestOfBestSqDist = 3.0f;  // a result of the previous crop
    QTest::mouseClick(w.Picture2, Qt::LeftButton, {}, point_at(*w.Picture2, 200, 10));
    QCOMPARE(w.state.BestOfBestSqDist, kUnsetBestOfBest);
    QCOMPARE(w.state.CropStart, 101);  // rows of x = 101 to 300
    QCOMPARE(int{w.state.CropCount}, 200);
    QCOMPARE(w.Text4->Text(), QStringLiteral("100"));
    QCOMPARE(w.Text5->Text(), QStringLiteral("300"));
    QVERIFY(!w.state.DragWindow);
}

void CropSelectionTest::clickOutsideShowsTheBoundsWithoutCropping()
{
    importSeries(0, 1000);
    frmMain& w = *m_window;
    w.Shape1->setLeft(100.04);
    w.Shape1->setWidth(200);
    w.Text5->setText(QStringLiteral("stale"));
    w.state.BestOfBestSqDist = 3.0f;
    const std::int16_t count = w.state.CropCount;
    QTest::mouseClick(w.Picture2, Qt::LeftButton, {}, point_at(*w.Picture2, 700, 10));
    QCOMPARE(w.state.BestOfBestSqDist, 3.0f);
    QCOMPARE(w.state.CropCount, count);
    QCOMPARE(w.Text4->Text(), QStringLiteral("100"));
    QCOMPARE(w.Text5->Text(), QStringLiteral("300"));
}

void CropSelectionTest::pointerAndTooltipFollowTheMouse()
{
    importSeries(0, 1000);
    frmMain& w = *m_window;
    PictureBox& strip = *w.Picture2;
    w.Shape1->setLeft(300);
    w.Shape1->setWidth(200);
    hover(&strip, point_at(strip, 300, 20));
    QCOMPARE(strip.MousePointer(), 9);
    hover(&strip, point_at(strip, 400, 20));
    QCOMPARE(strip.MousePointer(), 5);
    hover(&strip, point_at(strip, 500, 20));
    QCOMPARE(strip.MousePointer(), 9);
    const QPoint at = point_at(strip, 800, 20);
    hover(&strip, at);
    QCOMPARE(strip.MousePointer(), 1);
    QCOMPARE(strip.ToolTipText(),
             QString::fromStdString(number_text(user_x_at(strip, at.x())) + ", "
                                    + number_text(user_y_at(strip, at.y()))));
    QVERIFY(!w.state.DragWindow && !w.state.DragLeftEdge && !w.state.DragRightEdge);
}

void CropSelectionTest::tooltipBeforeAnyImport()
{
    frmMain& w = *m_window;
    // The design scale: twips from the drawing area's corner.
    hover(w.Picture2, w.Picture2->contentsRect().topLeft() + QPoint(10, 5));
    QCOMPARE(w.Picture2->ToolTipText(), QStringLiteral("150, 75"));
}

void CropSelectionTest::dragBeforeAnyImportMovesTheWindowOnly()
{
    frmMain& w = *m_window;
    PictureBox& strip = *w.Picture2;
    const float width = w.Shape1->Width();
    QTest::mousePress(&strip, Qt::LeftButton, {}, point_at(strip, width / 2, 100));
    QVERIFY(w.state.DragWindow);
    QTest::mouseMove(&strip, point_at(strip, 3000, 100));
    QVERIFY(w.Shape1->Left() > 2000.0f);
    QTest::mouseRelease(&strip, Qt::LeftButton, {}, point_at(strip, 3000, 100));
    QVERIFY(!w.state.DragWindow);
    QVERIFY(!w.state.CropDrawn);
    QCOMPARE(w.Text4->Text(), QString());
    QCOMPARE(w.Text5->Text(), QString());
}

void CropSelectionTest::rightPressOpensTheMenuAndLeavesNoDrag()
{
    importSeries(0, 1000);
    frmMain& w = *m_window;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(w.windowHandle()));
    const float width = w.Shape1->Width();
    // A right press near the right edge starts an edge drag and opens the strip's menu.
    press(width, Qt::RightButton);
    QVERIFY(w.state.DragRightEdge);
    QVERIFY(w.mnuRb2->isVisible());
    // The menu takes the release; closing it ends the drag.
    w.mnuRb2->close();
    QVERIFY(!w.mnuRb2->isVisible());
    QVERIFY(!w.state.DragRightEdge && !w.state.DragLeftEdge && !w.state.DragWindow);
    hover(w.Picture2, point_at(*w.Picture2, 600, 10));
    QCOMPARE(w.Shape1->Width(), width);

    // A right press inside the window likewise.
    press(width / 2, Qt::RightButton);
    QVERIFY(w.state.DragWindow);
    QTest::keyClick(w.mnuRb2, Qt::Key_Escape);
    QVERIFY(!w.mnuRb2->isVisible());
    QVERIFY(!w.state.DragWindow);
    hover(w.Picture2, point_at(*w.Picture2, 600, 10));
    QCOMPARE(w.Shape1->Left(), 0.0f);
    QTest::mouseRelease(w.Picture2, Qt::RightButton);  // lets go of the button QTest holds
}

QTEST_MAIN(CropSelectionTest)
#include "tst_crop_selection.moc"
