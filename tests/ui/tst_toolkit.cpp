// SPDX-License-Identifier: GPL-3.0-or-later
// What the handlers rely on from the toolkit: change events fired before a write returns, the
// order of key and change events, check box clicks, refused scales, persisted pictures, clipped
// lines, shapes on a rescaled plot, mouse events in user units, option buttons, the message box.
#include "window_fixture.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QTimer>

#include <limits>

using namespace tolvenar;
using namespace tolvenar::test;

namespace {

// A plot of 200 x 100 drawing-area pixels, one user unit a pixel, y growing downwards.
struct Plot {
    QWidget host;
    PictureBox* box = new PictureBox(&host);
    Plot()
    {
        box->setGeometry(0, 0, 204, 104);
        box->setBackColor(kWhite);
        for (auto [set, value] : {std::pair{&PictureBox::setScaleWidth, 200.0},
                                  {&PictureBox::setScaleHeight, 100.0}, {&PictureBox::setScaleLeft, 0.0}})
            (box->*set)(value);
    }
};

}  // namespace

class ToolkitTest : public QObject {
    Q_OBJECT

private slots:
    void textWrites_data();
    void textWrites();
    void typingSendsKeyDownChangeKeyUp();
    void checkBoxClicks_data();
    void checkBoxClicks();
    void scaleWrites_data();
    void scaleWrites();
    void persistAndClear();
    void lines_data();
    void lines();
    void shapeOnARescaledPlot();
    void mouseEventsInUserUnits();
    void optionButtonFiresWhenSelected();
    void messageBox_data();
    void messageBox();
};

void ToolkitTest::textWrites_data()
{
    // "|" marks the return of each write; the handler repairs "bad" to "8".
    QTest::addColumn<QStringList>("writes");
    QTest::addColumn<QStringList>("seen");
    QTest::newRow("new text") << QStringList{"12", ""} << QStringList{"12", "|", "", "|"};
    QTest::newRow("same text") << QStringList{"", "5", "5"} << QStringList{"|", "5", "|", "|"};
    QTest::newRow("same number") << QStringList{"5", "5.0"} << QStringList{"5", "|", "5.0", "|"};
    QTest::newRow("repair re-enters") << QStringList{"bad"} << QStringList{"bad", "8", "|"};
}

void ToolkitTest::textWrites()
{
    QFETCH(QStringList, writes);
    QFETCH(QStringList, seen);
    TextField field(nullptr);
    QStringList events;
    field.onChange = [&] {
        events << field.Text();
        if (field.Text() == QStringLiteral("bad"))
            field.setText(QStringLiteral("8"));
    };
    for (const QString& text : writes) {
        field.setText(text);
        events << QStringLiteral("|");
    }
    QCOMPARE(events, seen);
}

void ToolkitTest::typingSendsKeyDownChangeKeyUp()
{
    TextField field(nullptr);
    QStringList events;
    field.onKeyDown = [&](std::int16_t, std::int16_t) { events << QStringLiteral("down"); };
    field.onChange = [&] { events << field.Text(); };
    field.onKeyUp = [&](std::int16_t, std::int16_t) { events << QStringLiteral("up"); };
    QTest::keyClicks(&field, QStringLiteral("4."));
    QTest::keyClick(&field, Qt::Key_Backspace);
    QCOMPARE(events, (QStringList{"down", "4", "up", "down", "4.", "up", "down", "4", "up"}));
    field.onChange = [] { throw Fault(FaultKind::Overflow, "test"); };
    QTest::keyClicks(&field, QStringLiteral("9"));  // a fault ends the handler, not the event loop
    QCOMPARE(field.Text(), QStringLiteral("49"));
    QCOMPARE(fault_of([&] { field.setText(QStringLiteral("1")); }), FaultKind::Overflow);
}

void ToolkitTest::checkBoxClicks_data()
{
    // Values written from code; 9 is a click of the user. Seen: Value at each click event, -1 a
    // refused write.
    QTest::addColumn<QList<int>>("writes");
    QTest::addColumn<QList<int>>("seen");
    QTest::newRow("every change") << QList<int>{0, 1, 1, 2, 0} << QList<int>{1, 2, 0};
    QTest::newRow("user clicks") << QList<int>{9, 9, 2, 9, 9} << QList<int>{1, 0, 2, 1, 0};
    QTest::newRow("refused") << QList<int>{3, -1} << QList<int>{-1, -1};
}

void ToolkitTest::checkBoxClicks()
{
    QFETCH(QList<int>, writes);
    QFETCH(QList<int>, seen);
    CheckBox box(QStringLiteral("Constrain"), nullptr);
    QList<int> events;
    box.onClick = [&] { events << box.Value(); };
    for (const int value : writes) {
        if (value == 9)
            box.click();
        else if (fault_of([&] { box.setValue(value); }))
            events << -1;
    }
    QCOMPARE(events, seen);
}

void ToolkitTest::scaleWrites_data()
{
    QTest::addColumn<int>("axis");  // 0 ScaleWidth, 1 ScaleHeight, 2 ScaleLeft
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("fault");  // a FaultKind, -1 none
    const int invalid = static_cast<int>(FaultKind::InvalidPropertyValue);
    QTest::newRow("zero width") << 0 << 0.0 << invalid;
    QTest::newRow("zero height") << 1 << 0.0 << invalid;
    QTest::newRow("zero in single") << 1 << 1e-50 << invalid;
    QTest::newRow("beyond single") << 2 << 1e39 << static_cast<int>(FaultKind::Overflow);
    QTest::newRow("mirrored") << 0 << -200.0 << -1;
    QTest::newRow("single") << 2 << 5.4 << -1;
}

void ToolkitTest::scaleWrites()
{
    QFETCH(int, axis);
    QFETCH(double, value);
    QFETCH(int, fault);
    Plot plot;
    const std::uint64_t generation = plot.box->scaleGeneration();
    void (PictureBox::*set[])(double) = {&PictureBox::setScaleWidth, &PictureBox::setScaleHeight,
                                         &PictureBox::setScaleLeft};
    float (PictureBox::*get[])() const = {&PictureBox::ScaleWidth, &PictureBox::ScaleHeight,
                                          &PictureBox::ScaleLeft};
    const float before = (plot.box->*get[axis])();
    const auto raised = fault_of([&] { (plot.box->*set[axis])(value); });
    QCOMPARE(raised ? static_cast<int>(*raised) : -1, fault);
    QCOMPARE((plot.box->*get[axis])(), raised ? before : static_cast<float>(value));
    QCOMPARE(plot.box->scaleGeneration() == generation, raised.has_value());
}

void ToolkitTest::persistAndClear()
{
    Plot plot;
    plot.box->Line(0, 10, 199, 10, kBlue);
    plot.box->Persist();
    plot.box->Line(0, 20, 199, 20, kRed);
    plot.box->Cls();
    QCOMPARE(count_pixels(*plot.box, kBlue), 200);  // persisted
    QCOMPARE(count_pixels(*plot.box, kRed), 0);     // drawn after it
    plot.box->setBackColor(kGreen);
    plot.box->Cls();
    QCOMPARE(count_pixels(*plot.box, kGreen), 200 * 100);
}

void ToolkitTest::lines_data()
{
    QTest::addColumn<QList<float>>("ends");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("red");  // pixels drawn
    const float far = std::numeric_limits<float>::max();
    const int line = static_cast<int>(LineKind::Line);
    QTest::newRow("row from far off both sides") << QList<float>{-far, 50, far, 50} << line << 200;
    QTest::newRow("steep from far away") << QList<float>{100, -1e30f, 100, 1e30f} << line << 100;
    QTest::newRow("unset vertex") << QList<float>{-9999, -9999, -9999, 300} << line << 0;
    QTest::newRow("beyond a corner") << QList<float>{300, 300, 400, 400} << line << 0;
    QTest::newRow("filled box, corners included")
        << QList<float>{10, 10, 19, 19} << static_cast<int>(LineKind::FilledBox) << 100;
    QTest::newRow("box outline") << QList<float>{19, 19, 10, 10} << static_cast<int>(LineKind::Box)
                                 << 36;
}

void ToolkitTest::lines()
{
    QFETCH(QList<float>, ends);
    QFETCH(int, kind);
    QFETCH(int, red);
    Plot plot;
    plot.box->Line(ends[0], ends[1], ends[2], ends[3], kRed, static_cast<LineKind>(kind));
    QCOMPARE(count_pixels(*plot.box, kRed), red);
}

void ToolkitTest::shapeOnARescaledPlot()
{
    Plot plot;
    Shape shape(plot.box);
    shape.setLeft(50);
    shape.setWidth(20);
    const QRect on_screen = shape.geometry();
    plot.box->setScaleLeft(1000);
    plot.box->setScaleWidth(400);  // two units a pixel: the shape keeps its place
    QCOMPARE(shape.geometry(), on_screen);
    QCOMPARE(shape.Left(), 1100.0f);
    QCOMPARE(shape.Width(), 40.0f);
    plot.box->setScaleWidth(0.7);
    shape.setLeft(0.1);  // reads back exactly, though its twips do not
    QCOMPARE(shape.Left(), 0.1f);
    QCOMPARE(fault_of([&] { shape.setWidth(-1); }), FaultKind::InvalidPropertyValue);
    QCOMPARE(shape.Width(), 0.07f);
}

void ToolkitTest::mouseEventsInUserUnits()
{
    Plot plot;
    plot.box->setScaleLeft(1000);
    plot.box->setScaleWidth(-400);  // two units a pixel, mirrored
    QStringList events;
    const auto record = [&events](const char* what) {
        return [&events, what](std::int16_t b, std::int16_t s, float x, float y) {
            events << QStringLiteral("%1 %2 %3 %4 %5").arg(what).arg(b).arg(s).arg(x).arg(y);
        };
    };
    plot.box->onMouseDown = record("down");
    plot.box->onMouseMove = record("move");
    plot.box->onMouseUp = record("up");
    plot.host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&plot.host));
    const QPoint origin = plot.box->contentsRect().topLeft();
    QTest::mousePress(plot.box, Qt::RightButton, Qt::ShiftModifier, origin + QPoint(10, 20));
    QTest::mouseMove(plot.box, origin + QPoint(30, 40));
    QTest::mouseRelease(plot.box, Qt::RightButton, Qt::NoModifier, origin + QPoint(30, 40));
    QCOMPARE(events.first(), QStringLiteral("down 2 1 980 20"));
    QVERIFY(events.contains(QStringLiteral("move 2 0 940 40")));
    QCOMPARE(events.last(), QStringLiteral("up 2 0 940 40"));
}

void ToolkitTest::optionButtonFiresWhenSelected()
{
    QWidget frame;
    OptionButton first(QStringLiteral("a"), &frame);
    OptionButton second(QStringLiteral("b"), &frame);
    second.setGeometry(0, 30, 120, 20);
    first.setChecked(true);
    QList<bool> fired;
    second.onClick = [&] { fired << (second.Value() && !first.Value()); };
    first.onClick = [&] { fired << false; };
    QTest::mouseClick(&second, Qt::LeftButton, {}, QPoint(8, 10));
    QTest::mouseClick(&second, Qt::LeftButton, {}, QPoint(8, 10));  // selected already
    second.setValue(true);  // a write from code fires even then
    QCOMPARE(fired, (QList<bool>{true, true}));
}

void ToolkitTest::messageBox_data()
{
    QTest::addColumn<bool>("yesNo");
    QTest::addColumn<int>("press");  // a QMessageBox::StandardButton
    QTest::addColumn<int>("answer");
    QTest::newRow("yes") << true << int{QMessageBox::Yes} << kMsgBoxYes;
    QTest::newRow("no") << true << int{QMessageBox::No} << kMsgBoxNo;
    QTest::newRow("ok") << false << int{QMessageBox::Ok} << kMsgBoxOk;
}

void ToolkitTest::messageBox()
{
    QFETCH(bool, yesNo);
    QFETCH(int, press);
    QFETCH(int, answer);
    QWidget window;
    const Platform platform = desktop_platform(&window);
    // Every box that opens is answered and closed, whatever it shows; the checks come after.
    QString title;
    int buttons = 0;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(top);
            if (!box || !box->isVisible())
                continue;
            title = box->windowTitle();
            buttons = static_cast<int>(box->buttons().size());
            if (QAbstractButton* button = box->button(QMessageBox::StandardButton(press)))
                button->click();
            else
                box->reject();
        }
    });
    closer.start(10);
    const int got = platform.MsgBox(QStringLiteral("?"), yesNo ? MsgBoxButtons::YesNo
                                                               : MsgBoxButtons::OkOnly,
                                    QStringLiteral("Caution"));
    QCOMPARE(got, answer);
    QCOMPARE(title, QStringLiteral("Caution"));
    QCOMPARE(buttons, yesNo ? 2 : 1);
}

QTEST_MAIN(ToolkitTest)
#include "tst_toolkit.moc"
