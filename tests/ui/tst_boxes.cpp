// SPDX-License-Identifier: GPL-3.0-or-later
// The boxes on the working plot: manual boxes drawn with the mouse for "Manual constraint" and a
// search inside them, the constraint boxes' drawing, their edge hit test and edge drags with the
// tied levels, and the popup menu of a right press.
#include "search_fixture.h"
#include "ui_fixture.h"

#include <QMenu>
#include <QtTest>

#include <memory>

using namespace tolvenar;
using namespace tolvenar::test;

namespace {

constexpr QRgb kPink = 0xffff9696;
constexpr QRgb kPaleGreen = 0xff96ff96;

// A constraint box of vertex k.
struct Box {
    float x_min;
    float x_max;
    float y_min;
    float y_max;
};

}  // namespace

class BoxesTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void manualBoxesDrawnWithTheMouse();
    void seventhBoxIsRefused();
    void searchInsideManualBoxes();
    void newBoxAfterAResultStartsANewSet();
    void constraintDrawingColoursAndWidths();
    void edgeHitTest_data();
    void edgeHitTest();
    void hitTestNeedsAResultAndBothTicks();
    void draggingABaselineEdgeMovesTheTiedBoxes();
    void draggingAnXEdgeMovesThatEdgeOnly();
    void pointerLeftFromAnEarlierHitMovesNothing();
    void rightPressOpensTheMenu();

private:
    frmMain& importAndCrop();  // symmetric_event.csv on 150..450
    // A left-button drag on the working plot from (x1, y1) to (x2, y2) in user units; the
    // release may lie beyond the plot.
    void drag(double x1, double y1, double x2, double y2);
    QPoint at(double x, double y) const { return point_at(*m_window->Picture1, x, y); }
    float reportedX(double x) const { return user_x_at(*m_window->Picture1, at(x, 0).x()); }
    float reportedY(double y) const { return user_y_at(*m_window->Picture1, at(0, y).y()); }
    void searchSymmetricEventWithBoxes();  // boxes set to kBoxes, Constrain ticked

    std::unique_ptr<frmMain> m_window;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::vector<std::pair<QString, QString>> m_messages;  // prompt, title
};

namespace {

// Boxes of a "Symmetric event" result on 150..450: baseline 1, 2, 4, 5 at 11..12, peak 3 above.
constexpr std::array<Box, 6> kBoxes{{{150, 150, 11, 12},
                                     {200, 240, 11, 12},
                                     {280, 320, 17, 19},
                                     {340, 380, 11, 12},
                                     {450, 450, 11, 12},
                                     {450, 450, 11, 12}}};

}  // namespace

void BoxesTest::init()
{
    m_window = std::make_unique<frmMain>();
    m_dir = std::make_unique<QTemporaryDir>();
    m_messages.clear();
    m_window->platform.MsgBox = [this](const QString& prompt, MsgBoxButtons buttons,
                                       const QString& title) {
        m_messages.emplace_back(prompt, title);
        return buttons == MsgBoxButtons::OkOnly ? kMsgBoxOk : kMsgBoxYes;
    };
}

void BoxesTest::cleanup()
{
    m_window.reset();
    m_dir.reset();
}

frmMain& BoxesTest::importAndCrop()
{
    frmMain& w = *m_window;
    import_file(w, example_path("symmetric_event.csv"));
    type_crop(w, QStringLiteral("150"), QStringLiteral("450"));
    type_counts(w, QStringLiteral("2"), QStringLiteral("40"));
    return w;
}

void BoxesTest::drag(double x1, double y1, double x2, double y2)
{
    PictureBox* plot = m_window->Picture1;
    QTest::mousePress(plot, Qt::LeftButton, {}, at(x1, y1));
    QTest::mouseMove(plot, at((x1 + x2) / 2, (y1 + y2) / 2));
    QTest::mouseMove(plot, at(x2, y2));
    QTest::mouseRelease(plot, Qt::LeftButton, {}, at(x2, y2));
}

void BoxesTest::manualBoxesDrawnWithTheMouse()
{
    frmMain& w = importAndCrop();
    ProgramState& s = w.state;
    choose_family(w, ModelFamily::ManualConstraint);
    QVERIFY(!w.Command2->isEnabled());
    QCOMPARE(s.NodeCount, std::int16_t{0});

    // The first box is pinned to the left edge wherever the press is.
    drag(200, 12, 230, 11);
    QCOMPARE(s.NodeCount, std::int16_t{1});
    QCOMPARE(s.ManXMin[1], 150.0f);
    QCOMPARE(s.ManXMax[1], reportedX(230));
    QCOMPARE(s.ManYMin[1], reportedY(11));
    QCOMPARE(s.ManYMax[1], reportedY(12));
    QVERIFY(!w.Command2->isEnabled());
    QVERIFY(count_pixels(*w.Picture1, kPink) > 0);

    // From lower right to upper left: the limits are swapped into order on release.
    drag(300, 11, 260, 19);
    QCOMPARE(s.ManXMin[2], reportedX(260));
    QCOMPARE(s.ManXMax[2], reportedX(300));
    QCOMPARE(s.ManYMin[2], reportedY(11));
    QCOMPARE(s.ManYMax[2], reportedY(19));
    QVERIFY(w.Command2->isEnabled() && w.Command7->isEnabled());
    QVERIFY(!s.BoxDrawing);

    // Dragged beyond the right edge: clamped while the band follows, kept as released.
    PictureBox* plot = w.Picture1;
    const QPoint beyond(plot->width() + 40, at(0, 12).y());
    QTest::mousePress(plot, Qt::LeftButton, {}, at(320, 11));
    QTest::mouseMove(plot, beyond);
    QCOMPARE(s.ManXMax[3], 450.0f);
    QTest::mouseRelease(plot, Qt::LeftButton, {}, beyond);
    QVERIFY(s.ManXMax[3] > 450.0f);

    // The boxes are persisted: a clear keeps them.
    plot->Cls();
    QVERIFY(count_pixels(*plot, kPink) > 0);

    drag(330, 11, 360, 12);
    drag(370, 11, 400, 12);
    // The sixth box holds the last vertex: it reaches the right edge on release.
    drag(410, 11, 430, 12);
    QCOMPARE(s.NodeCount, std::int16_t{6});
    QCOMPARE(s.ManXMin[6], reportedX(410));
    QCOMPARE(s.ManXMax[6], 450.0f);
    QVERIFY(m_messages.empty());
}

void BoxesTest::seventhBoxIsRefused()
{
    frmMain& w = importAndCrop();
    choose_family(w, ModelFamily::ManualConstraint);
    for (int k = 0; k < 6; ++k)
        drag(160 + 40 * k, 11, 180 + 40 * k, 12);
    QCOMPARE(w.state.NodeCount, std::int16_t{6});
    const QImage before = w.Picture1->Image();

    drag(420, 15, 440, 16);
    QCOMPARE(m_messages.size(), std::size_t{1});
    QCOMPARE(m_messages[0].first,
             QStringLiteral("Sorry! I am only able to take no more than 6 constraints."));
    QCOMPARE(m_messages[0].second, QStringLiteral("Caution"));
    QCOMPARE(w.state.NodeCount, std::int16_t{6});
    QVERIFY(!w.state.BoxDrawing);
    QCOMPARE(w.Picture1->Image(), before);
}

// Three boxes, the last short of the right edge: "Run" stretches it there, copies it into boxes
// 4 to 6 and draws every vertex inside its box's sampling range.
void BoxesTest::searchInsideManualBoxes()
{
    frmMain& w = importAndCrop();
    ProgramState& s = w.state;
    choose_family(w, ModelFamily::ManualConstraint);
    drag(160, 11, 200, 12);
    drag(260, 16, 300, 20);
    drag(380, 11, 420, 12.5);
    QVERIFY(s.ManXMax[3] < 450.0f);
    press_run(w);

    QCOMPARE(s.ManXMax[3], 450.0f);
    for (int k = 4; k <= 6; ++k) {
        QCOMPARE(s.ManXMin[k], s.ManXMin[3]);
        QCOMPARE(s.ManXMax[k], s.ManXMax[3]);
        QCOMPARE(s.ManYMin[k], s.ManYMin[3]);
        QCOMPARE(s.ManYMax[k], s.ManYMax[3]);
    }
    QCOMPARE(w.Label8->Caption(), QStringLiteral("80"));
    QVERIFY(w.Frame6->isEnabled());
    QCOMPARE(s.BestOfBestX[1], 150.0f);
    for (int k = 1; k <= 3; ++k) {
        const float margin = 0.1f * (s.ManYMax[k] - s.ManYMin[k]);
        QVERIFY(s.BestOfBestY[k] >= s.ManYMin[k] - margin);
        QVERIFY(s.BestOfBestY[k] <= s.ManYMax[k] + margin);
        QVERIFY(w.Label2[k]->Enabled());
    }
    for (int k = 4; k <= 6; ++k) {
        QVERIFY(!w.Label2[k]->Enabled());
        QCOMPARE(w.Label2[k]->Caption(), QStringLiteral("X%1 = ").arg(k));
    }
    QVERIFY(count_pixels(*w.Picture1, kPink) > 0);  // DrawConstraint draws the manual boxes
}

void BoxesTest::newBoxAfterAResultStartsANewSet()
{
    frmMain& w = importAndCrop();
    choose_family(w, ModelFamily::ManualConstraint);
    drag(160, 11, 200, 12);
    drag(260, 16, 300, 20);
    press_run(w);
    QVERIFY(w.state.BestOfBestShown);

    drag(300, 14, 340, 15);
    QCOMPARE(w.state.NodeCount, std::int16_t{1});
    QCOMPARE(w.state.ManXMin[1], 150.0f);
    QCOMPARE(w.state.ManXMin[2], -9999.0f);
    QCOMPARE(w.state.BestOfBestX[1], -9999.0f);  // Reset forgot the result
    QCOMPARE(w.Label8->Caption(), QStringLiteral("0"));
}

void BoxesTest::searchSymmetricEventWithBoxes()
{
    frmMain& w = importAndCrop();
    choose_family(w, ModelFamily::SymmetricEvent);
    press_run(w);
    QTest::mouseClick(w.Check1, Qt::LeftButton);
    QCOMPARE(w.Check1->Value(), 1);
    QCOMPARE(w.Check2->Value(), 1);
    for (std::size_t k = 1; k <= 6; ++k) {
        const Box& box = kBoxes[k - 1];
        w.state.ConXMin[k] = box.x_min;
        w.state.ConXMax[k] = box.x_max;
        w.state.ConYMin[k] = box.y_min;
        w.state.ConYMax[k] = box.y_max;
    }
    w.Check2_Click();  // shows the boxes just set
}

void BoxesTest::constraintDrawingColoursAndWidths()
{
    searchSymmetricEventWithBoxes();
    frmMain& w = *m_window;
    ProgramState& s = w.state;
    s.ConXMin[5] = 400;  // the last box away from the edge, so its whole stroke shows
    s.ConXMax[5] = 420;
    PictureBox& plot = *w.Picture1;
    plot.Cls();
    w.DrawConstraint();
    QCOMPARE(plot.DrawWidth(), 1);

    // Width of the green stroke crossing the pixel row of y, around the x column.
    const QImage image = plot.Image();
    const auto stroke = [&](double x, double y, QRgb colour) {
        const QPoint centre = at(x, y) - plot.contentsRect().topLeft();
        int width = 0;
        for (int column = centre.x() - 6; column <= centre.x() + 6; ++column)
            width += (image.pixel(column, centre.y()) | 0xff000000u) == colour ? 1 : 0;
        return width;
    };
    QCOMPARE(stroke(220, 11.5, kGreen), 0);   // inside box 2: no stroke
    QCOMPARE(stroke(200, 11.5, kGreen), 2);   // interior boxes 2..4
    QCOMPARE(stroke(380, 11.5, kGreen), 2);
    QCOMPARE(stroke(400, 11.5, kGreen), 5);   // the last box, L + 1 = 5
    // Sampling frames a tenth of the box outside it, at width 1: box 2 spans 40, so 4 more.
    QCOMPARE(stroke(196, 11.5, kPaleGreen), 1);
    QCOMPARE(stroke(324, 18, kPaleGreen), 1);
    QCOMPARE(stroke(404, 11.5, kPaleGreen), 0);  // none for the end boxes
    // Box 1 on the left edge at width 3: its inner part shows.
    QVERIFY(stroke(150, 11.5, kGreen) >= 1);
}

void BoxesTest::edgeHitTest_data()
{
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("y");
    QTest::addColumn<int>("pointer");
    QTest::addColumn<int>("box");
    QTest::addColumn<int>("side");
    QTest::newRow("box 2 left edge") << 200.5 << 11.5 << 9 << 2 << 1;
    QTest::newRow("box 3 right edge") << 319.5 << 18.0 << 9 << 3 << 3;
    QTest::newRow("box 3 bottom edge") << 300.0 << 17.03 << 7 << 3 << 4;
    QTest::newRow("box 4 top edge") << 360.0 << 11.97 << 7 << 4 << 2;
    QTest::newRow("x of an edge beyond the box") << 200.5 << 15.0 << 1 << 0 << 0;
    QTest::newRow("inside a box") << 300.0 << 18.0 << 1 << 0 << 0;
    QTest::newRow("vertex 1 bottom end") << 151.0 << 11.03 << 7 << 1 << 4;
    QTest::newRow("vertex 5 top end") << 449.0 << 11.97 << 7 << 5 << 2;
}

void BoxesTest::edgeHitTest()
{
    QFETCH(double, x);
    QFETCH(double, y);
    QFETCH(int, pointer);
    QFETCH(int, box);
    QFETCH(int, side);
    searchSymmetricEventWithBoxes();
    frmMain& w = *m_window;
    hover(w.Picture1, at(x, y));
    QCOMPARE(w.Picture1->MousePointer(), pointer);
    QCOMPARE(w.state.EdgeBox, static_cast<std::int16_t>(box));
    QCOMPARE(static_cast<int>(w.state.EdgeSide), side);
}

void BoxesTest::hitTestNeedsAResultAndBothTicks()
{
    searchSymmetricEventWithBoxes();
    frmMain& w = *m_window;
    const QPoint edge = at(200.5, 11.5);
    QTest::mouseClick(w.Check2, Qt::LeftButton);  // "Show constraint" off
    hover(w.Picture1, edge);
    QCOMPARE(w.state.EdgeBox, std::int16_t{0});
    QTest::mouseClick(w.Check2, Qt::LeftButton);
    QTest::mouseClick(w.Check1, Qt::LeftButton);  // "Constrain" off
    hover(w.Picture1, edge);
    QCOMPARE(w.state.EdgeBox, std::int16_t{0});
    QTest::mouseClick(w.Check1, Qt::LeftButton);
    hover(w.Picture1, edge);
    QCOMPARE(w.state.EdgeBox, std::int16_t{2});
}

void BoxesTest::draggingABaselineEdgeMovesTheTiedBoxes()
{
    searchSymmetricEventWithBoxes();
    frmMain& w = *m_window;
    ProgramState& s = w.state;
    hover(w.Picture1, at(220, 11.97));  // the top edge of box 2
    QCOMPARE(w.Picture1->MousePointer(), 7);
    drag(220, 11.97, 220, 13);

    const float top = reportedY(13);
    for (const int k : {1, 2, 4, 5}) {
        QCOMPARE(s.ConYMax[k], top);
        QCOMPARE(s.ConYMin[k], 11.0f);
    }
    QCOMPARE(s.ConYMin[3], 17.0f);  // the peak is not tied to the baseline
    QCOMPARE(s.ConYMax[3], 19.0f);
    QCOMPARE(s.ConXMin[2], 200.0f);
    QVERIFY(!s.EdgeDragging);
    QVERIFY(count_pixels(*w.Picture1, kGreen) > 0);  // the boxes redrawn where they now are
}

void BoxesTest::draggingAnXEdgeMovesThatEdgeOnly()
{
    searchSymmetricEventWithBoxes();
    frmMain& w = *m_window;
    ProgramState& s = w.state;
    hover(w.Picture1, at(280.5, 18));  // the left edge of box 3
    QCOMPARE(w.Picture1->MousePointer(), 9);
    drag(280.5, 18, 265, 18);
    QCOMPARE(s.ConXMin[3], reportedX(265));
    QCOMPARE(s.ConXMax[3], 320.0f);
    for (std::size_t k = 1; k <= 6; ++k)
        QCOMPARE(s.ConYMax[k], kBoxes[k - 1].y_max);
}

// A resize pointer outlives its hit when "Show constraint" is unticked; the press then drags
// no edge, and no box takes the never-used limits of vertex 0.
void BoxesTest::pointerLeftFromAnEarlierHitMovesNothing()
{
    searchSymmetricEventWithBoxes();
    frmMain& w = *m_window;
    ProgramState& s = w.state;
    hover(w.Picture1, at(220, 11.97));
    QCOMPARE(w.Picture1->MousePointer(), 7);
    QTest::mouseClick(w.Check2, Qt::LeftButton);
    hover(w.Picture1, at(250, 15));
    QCOMPARE(w.Picture1->MousePointer(), 7);
    QCOMPARE(static_cast<int>(s.EdgeSide), 0);

    const ProgramState before = s;
    drag(250, 15, 260, 16);
    QCOMPARE(s.ConXMin, before.ConXMin);
    QCOMPARE(s.ConXMax, before.ConXMax);
    QCOMPARE(s.ConYMin, before.ConYMin);
    QCOMPARE(s.ConYMax, before.ConYMax);
}

void BoxesTest::rightPressOpensTheMenu()
{
    frmMain& w = importAndCrop();
    QTest::mousePress(w.Picture1, Qt::RightButton, {}, at(300, 15));
    QTRY_VERIFY(w.mnuRB1->isVisible());
    const QList<QAction*> items = w.mnuRB1->actions();
    QCOMPARE(items.size(), 3);
    QCOMPARE(items[0]->text(), QStringLiteral("Flip vertical"));
    QVERIFY(items[1]->isSeparator());
    QCOMPARE(items[2]->text(), QStringLiteral("Copy"));
    w.mnuRB1->hide();
    QCOMPARE(w.state.NodeCount, std::int16_t{4});  // no box for a right press
}

QTEST_MAIN(BoxesTest)
#include "tst_boxes.moc"
