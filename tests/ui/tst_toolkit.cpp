// SPDX-License-Identifier: GPL-3.0-or-later
// The toolkit layer: change events of text fields and check boxes, option buttons, frame gating,
// control arrays, the plots' scale, persistent image and drawing, shapes on a rescaled plot,
// progress bars, the screen pointer and the message box.
#include "core/runtime/fault.h"
#include "ui/toolkit/control_array.h"
#include "ui/toolkit/controls.h"
#include "ui/toolkit/picture_box.h"
#include "ui/toolkit/platform.h"
#include "ui_fixture.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QKeyEvent>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <limits>

using namespace tolvenar;
using namespace tolvenar::test;

namespace {


// A plot of 200 x 100 drawing-area pixels with one user unit per pixel, y growing downwards.
struct Plot {
    QWidget host;
    PictureBox* box = new PictureBox(&host);

    Plot()
    {
        box->setGeometry(0, 0, 204, 104);
        box->setBackColor(kWhite);
        box->setScaleLeft(0);
        box->setScaleTop(0);
        box->setScaleWidth(200);
        box->setScaleHeight(100);
    }
};

}  // namespace

class ToolkitTest : public QObject {
    Q_OBJECT

private slots:
    void textWriteFromCodeFiresBeforeItReturns();
    void textWriteOfTheSameTextFiresNothing();
    void textWritesReenterTheirHandler();
    void faultInChangeHandlerReachesTheWriter();
    void typingFiresKeyDownChangeKeyUpInOrder();
    void heldKeyGoesUpOnce();
    void untrappedFaultWhileTypingEndsOnlyTheHandler();

    void checkBoxClickFiresOnEveryChange();
    void checkBoxUserClickTicksAndUnticks();
    void checkBoxRefusesUnknownValues();
    void optionButtonClickAfterSelection();
    void optionButtonWritesFromCode();

    void frameGatesMembersWithoutTheirOwnFlag();
    void disabledControlKeepsNoFocus();
    void controlArrayBounds();

    void plotScaleStartsInTwips();
    void zeroScaleExtentRefused();
    void scaleWriteRoundsToSingle();
    void negativeExtentMirrors();
    void clsReturnsToPersistedPicture();
    void backColorErasesEverything();
    void linesAreClippedAtAnyDistance();
    void boxesAndDrawWidth();
    void mouseEventsInUserUnits();
    void mousePointerCodes();

    void shapeReadsBackWhatWasWritten();
    void shapeKeepsItsPlaceWhenTheScaleChanges();
    void shapeRefusesNegativeWidth();

    void progressBarTakesAnyRange();
    void screenPointerHourglassAndBack();
    void messageBoxAnswers();
    void fileDialogStartsInTheShippedExamples();
    void clipboardTakesThePlotsImage();
};

void ToolkitTest::textWriteFromCodeFiresBeforeItReturns()
{
    TextField field(nullptr);
    QStringList seen;
    field.onChange = [&] { seen << field.Text(); };
    field.setText(QStringLiteral("12"));
    QCOMPARE(seen, QStringList{QStringLiteral("12")});
    field.setText(QString());
    QCOMPARE(seen, (QStringList{QStringLiteral("12"), QString()}));
}

void ToolkitTest::textWriteOfTheSameTextFiresNothing()
{
    TextField field(nullptr);
    int changes = 0;
    field.onChange = [&] { ++changes; };
    field.setText(QString());  // a new field is empty already
    QCOMPARE(changes, 0);
    field.setText(QStringLiteral("5"));
    field.setText(QStringLiteral("5"));
    QCOMPARE(changes, 1);
    field.setText(QStringLiteral("5.0"));  // the same number in another text is a change
    QCOMPARE(changes, 2);
}

void ToolkitTest::textWritesReenterTheirHandler()
{
    // A repair write inside the handler fires the handler again, once, before the first returns.
    TextField field(nullptr);
    QStringList seen;
    field.onChange = [&] {
        seen << field.Text();
        if (field.Text() == QStringLiteral("bad"))
            field.setText(QStringLiteral("8"));
        seen << QStringLiteral("end ") + field.Text();
    };
    field.setText(QStringLiteral("bad"));
    QCOMPARE(seen, (QStringList{"bad", "8", "end 8", "end 8"}));
}

void ToolkitTest::faultInChangeHandlerReachesTheWriter()
{
    TextField field(nullptr);
    field.onChange = [] { throw Fault(FaultKind::Overflow, "test"); };
    QCOMPARE(fault_of([&] { field.setText(QStringLiteral("1e99")); }), FaultKind::Overflow);
    QCOMPARE(field.Text(), QStringLiteral("1e99"));
}

void ToolkitTest::typingFiresKeyDownChangeKeyUpInOrder()
{
    TextField field(nullptr);
    QStringList events;
    field.onKeyDown = [&](std::int16_t key, std::int16_t) {
        events << QStringLiteral("down %1").arg(key);
    };
    field.onChange = [&] { events << QStringLiteral("change ") + field.Text(); };
    field.onKeyUp = [&](std::int16_t key, std::int16_t) {
        events << QStringLiteral("up %1").arg(key);
    };
    QTest::keyClicks(&field, QStringLiteral("4."));
    QTest::keyClick(&field, Qt::Key_Backspace);
    QCOMPARE(events, (QStringList{"down 52", "change 4", "up 52", "down 190", "change 4.", "up 190",
                                  "down 8", "change 4", "up 8"}));
}

void ToolkitTest::heldKeyGoesUpOnce()
{
    TextField field(nullptr);
    int downs = 0;
    int ups = 0;
    field.onKeyDown = [&](std::int16_t, std::int16_t) { ++downs; };
    field.onKeyUp = [&](std::int16_t, std::int16_t) { ++ups; };
    for (int i = 0; i < 3; ++i) {
        const QString seven = QStringLiteral("7");
        QKeyEvent press(QEvent::KeyPress, Qt::Key_7, Qt::NoModifier, seven, i > 0);
        QApplication::sendEvent(&field, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_7, Qt::NoModifier, seven, i < 2);
        QApplication::sendEvent(&field, &release);
    }
    QCOMPARE(field.Text(), QStringLiteral("777"));
    QCOMPARE(downs, 3);
    QCOMPARE(ups, 1);
}

void ToolkitTest::untrappedFaultWhileTypingEndsOnlyTheHandler()
{
    TextField field(nullptr);
    int changes = 0;
    field.onChange = [&] {
        ++changes;
        throw Fault(FaultKind::Overflow, "test");
    };
    QTest::keyClicks(&field, QStringLiteral("99"));  // no exception leaves the event
    QCOMPARE(changes, 2);
    QCOMPARE(field.Text(), QStringLiteral("99"));
}

void ToolkitTest::checkBoxClickFiresOnEveryChange()
{
    CheckBox box(QStringLiteral("Constrain"), nullptr);
    QList<int> seen;
    box.onClick = [&] { seen << box.Value(); };
    box.setValue(0);  // unchanged
    box.setValue(1);
    box.setValue(1);  // unchanged
    box.setValue(2);
    box.setValue(0);
    QCOMPARE(seen, (QList<int>{1, 2, 0}));
    QCOMPARE(box.checkState(), Qt::Unchecked);
}

void ToolkitTest::checkBoxUserClickTicksAndUnticks()
{
    CheckBox box(QStringLiteral("Show constraint"), nullptr);
    box.resize(120, 20);
    QList<int> seen;
    box.onClick = [&] { seen << box.Value(); };
    box.click();
    box.click();
    box.setValue(2);
    box.click();  // a greyed box ticks; the user never greys it
    box.click();
    QCOMPARE(seen, (QList<int>{1, 0, 2, 1, 0}));
}

void ToolkitTest::checkBoxRefusesUnknownValues()
{
    CheckBox box(QString(), nullptr);
    int clicks = 0;
    box.onClick = [&] { ++clicks; };
    QCOMPARE(fault_of([&] { box.setValue(3); }), FaultKind::InvalidPropertyValue);
    QCOMPARE(fault_of([&] { box.setValue(-1); }), FaultKind::InvalidPropertyValue);
    QCOMPARE(box.Value(), 0);
    QCOMPARE(clicks, 0);
}

void ToolkitTest::optionButtonClickAfterSelection()
{
    QWidget frame;
    OptionButton first(QStringLiteral("Simple ramp"), &frame);
    OptionButton second(QStringLiteral("Symmetric event"), &frame);
    first.setGeometry(0, 0, 120, 20);
    second.setGeometry(0, 30, 120, 20);
    first.setChecked(true);
    QList<bool> selected_when_fired;
    int fired = 0;
    second.onClick = [&] {
        ++fired;
        selected_when_fired << second.Value() << first.Value();
    };
    first.onClick = [&] { QFAIL("the deselected button fires nothing"); };
    QTest::mouseClick(&second, Qt::LeftButton, {}, QPoint(8, 10));
    QCOMPARE(fired, 1);
    QCOMPARE(selected_when_fired, (QList<bool>{true, false}));
    QTest::mouseClick(&second, Qt::LeftButton, {}, QPoint(8, 10));  // already selected
    QCOMPARE(fired, 1);
}

void ToolkitTest::optionButtonWritesFromCode()
{
    QWidget frame;
    OptionButton first(QStringLiteral("a"), &frame);
    OptionButton second(QStringLiteral("b"), &frame);
    int first_clicks = 0;
    first.onClick = [&] { ++first_clicks; };
    first.setValue(true);
    first.setValue(true);  // a write of True fires even when it is selected already
    QCOMPARE(first_clicks, 2);
    second.setValue(true);
    QVERIFY(!first.Value());
    second.setValue(false);  // no member selected at all
    QVERIFY(!first.Value() && !second.Value());
    QCOMPARE(first_clicks, 2);
}

void ToolkitTest::frameGatesMembersWithoutTheirOwnFlag()
{
    frmMain w;
    w.Frame4->setEnabled(true);
    w.Check1->setEnabled(true);
    w.Command2->setEnabled(false);
    w.Frame4->setEnabled(false);
    QVERIFY(w.Check1->Enabled());     // its own flag is still on
    QVERIFY(!w.Check1->isEnabled());  // but the frame holds it off
    QVERIFY(!w.Command2->Enabled());
    QVERIFY(w.Command7->isEnabledTo(&w) == w.Command7->Enabled());  // not a member of Frame4
    w.Frame4->setEnabled(true);
    QVERIFY(w.Check1->isEnabled());
    QVERIFY(!w.Command2->isEnabled());  // stays off by its own flag
}

void ToolkitTest::disabledControlKeepsNoFocus()
{
    frmMain w;
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w.Command1));
    w.Command2->SetFocus();  // disabled: nothing happens, nothing is raised
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w.Command1));
    w.Frame4->setEnabled(true);
    w.Command2->setEnabled(true);
    w.Command2->SetFocus();
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w.Command2));
}

void ToolkitTest::controlArrayBounds()
{
    frmMain w;
    QVERIFY(w.Label2[1] && w.Label2[6] && w.Option1[0] && w.Line1[22]);
    QCOMPARE(fault_of([&] { w.Label2[0]; }), FaultKind::IndexOutOfRange);
    QCOMPARE(fault_of([&] { w.Label3[7]; }), FaultKind::IndexOutOfRange);
    QCOMPARE(fault_of([&] { w.Option1[-1]; }), FaultKind::IndexOutOfRange);
    QCOMPARE(fault_of([&] { w.Text3[2]; }), FaultKind::IndexOutOfRange);
}

void ToolkitTest::plotScaleStartsInTwips()
{
    frmMain w;
    // 225 x 297 pixels less the 2-pixel border on each side, in twips.
    QCOMPARE(w.Picture1->ScaleLeft(), 0.0f);
    QCOMPARE(w.Picture1->ScaleTop(), 0.0f);
    QCOMPARE(w.Picture1->ScaleWidth(), 221.0f * 15);
    QCOMPARE(w.Picture1->ScaleHeight(), 293.0f * 15);
    QCOMPARE(w.Picture2->ScaleWidth(), 10035.0f);
    QCOMPARE(w.Picture2->ScaleHeight(), 915.0f);
    w.Picture1->setScaleLeft(5);  // the other values stay
    QCOMPARE(w.Picture1->ScaleWidth(), 221.0f * 15);
}

void ToolkitTest::zeroScaleExtentRefused()
{
    Plot plot;
    const std::uint64_t generation = plot.box->scaleGeneration();
    QCOMPARE(fault_of([&] { plot.box->setScaleWidth(0); }), FaultKind::InvalidPropertyValue);
    QCOMPARE(fault_of([&] { plot.box->setScaleHeight(0.0); }), FaultKind::InvalidPropertyValue);
    // Below the single range it rounds to zero, and is refused as zero.
    QCOMPARE(fault_of([&] { plot.box->setScaleHeight(1e-50); }), FaultKind::InvalidPropertyValue);
    QCOMPARE(plot.box->ScaleWidth(), 200.0f);
    QCOMPARE(plot.box->ScaleHeight(), 100.0f);
    QCOMPARE(plot.box->scaleGeneration(), generation);
}

void ToolkitTest::scaleWriteRoundsToSingle()
{
    Plot plot;
    plot.box->setScaleTop(5.4);
    QCOMPARE(plot.box->ScaleTop(), 5.4f);
    QCOMPARE(fault_of([&] { plot.box->setScaleLeft(1e39); }), FaultKind::Overflow);
    QCOMPARE(plot.box->ScaleLeft(), 0.0f);
}

void ToolkitTest::negativeExtentMirrors()
{
    Plot plot;
    plot.box->setScaleTop(100);
    plot.box->setScaleHeight(-100);  // y grows upwards
    plot.box->Line(0, 95, 199, 95, kRed);
    QCOMPARE(pixel_at(*plot.box, 50, 95), kRed);
    QCOMPARE(plot.box->Image().pixel(50, 5) | 0xff000000u, kRed);  // five pixels below the top
    plot.box->setScaleLeft(200);
    plot.box->setScaleWidth(-200);  // x grows leftwards
    plot.box->Cls();
    plot.box->Line(190, 0, 190, 100, kRed);
    QCOMPARE(plot.box->Image().pixel(10, 50) | 0xff000000u, kRed);
}

void ToolkitTest::clsReturnsToPersistedPicture()
{
    Plot plot;
    plot.box->Line(0, 10, 199, 10, kBlue);
    plot.box->Persist();
    plot.box->Line(0, 20, 199, 20, kRed);
    QCOMPARE(pixel_at(*plot.box, 100, 20), kRed);
    plot.box->Cls();
    QCOMPARE(pixel_at(*plot.box, 100, 10), kBlue);  // persisted
    QCOMPARE(pixel_at(*plot.box, 100, 20), kWhite);  // drawn after it: gone
    plot.box->Line(0, 30, 199, 30, kRed);
    QCOMPARE(pixel_at(*plot.box, 100, 30), kRed);
    plot.box->Cls();
    QCOMPARE(pixel_at(*plot.box, 100, 30), kWhite);
}

void ToolkitTest::backColorErasesEverything()
{
    Plot plot;
    plot.box->Line(0, 10, 199, 10, kBlue);
    plot.box->Persist();
    plot.box->setBackColor(qRgb(255, 255, 0));
    QCOMPARE(plot.box->BackColor(), qRgb(255, 255, 0));
    plot.box->Cls();
    QCOMPARE(count_pixels(*plot.box, qRgb(255, 255, 0)), 200 * 100);
}

void ToolkitTest::linesAreClippedAtAnyDistance()
{
    Plot plot;
    const float far = std::numeric_limits<float>::max();
    plot.box->Line(-far, 50, far, 50, kRed);  // a whole row, from far off both sides
    QCOMPARE(count_pixels(*plot.box, kRed), 200);
    plot.box->Cls();
    plot.box->Line(-9999, -9999, -9999, 300, kRed);  // an unset vertex: nothing visible
    plot.box->Line(300, 300, 400, 400, kRed);
    QCOMPARE(count_pixels(*plot.box, kRed), 0);
    // A steep line from far away keeps its slope inside the plot: through (100, 0) and (100, 99).
    plot.box->Line(100, -1e30f, 100, 1e30f, kBlue);
    QCOMPARE(pixel_at(*plot.box, 100, 0), kBlue);
    QCOMPARE(pixel_at(*plot.box, 100, 99), kBlue);
    QCOMPARE(count_pixels(*plot.box, kBlue), 100);
}

void ToolkitTest::boxesAndDrawWidth()
{
    Plot plot;
    plot.box->Line(10, 10, 19, 19, kRed, LineKind::FilledBox);  // corners included: 10 x 10
    QCOMPARE(count_pixels(*plot.box, kRed), 100);
    plot.box->Cls();
    plot.box->Line(19, 19, 10, 10, kRed, LineKind::Box);  // outline, corners in any order
    QCOMPARE(count_pixels(*plot.box, kRed), 36);
    QCOMPARE(pixel_at(*plot.box, 15, 15), kWhite);
    plot.box->Cls();
    QCOMPARE(fault_of([&] { plot.box->setDrawWidth(0); }), FaultKind::InvalidPropertyValue);
    plot.box->setDrawWidth(3);
    plot.box->Line(50, 50, 150, 50, kRed);
    QCOMPARE(pixel_at(*plot.box, 100, 49), kRed);
    QCOMPARE(pixel_at(*plot.box, 100, 51), kRed);
    QCOMPARE(pixel_at(*plot.box, 100, 53), kWhite);
    QCOMPARE(plot.box->DrawWidth(), 3);
}

void ToolkitTest::mouseEventsInUserUnits()
{
    Plot plot;
    plot.box->setScaleLeft(1000);
    plot.box->setScaleWidth(-400);  // two units per pixel, mirrored
    struct Event {
        int button, shift;
        float x, y;
    };
    QList<Event> downs, moves, ups;
    const auto recorder = [](QList<Event>& events) {
        return [&events](std::int16_t b, std::int16_t s, float x, float y) {
            events << Event{b, s, x, y};
        };
    };
    plot.box->onMouseDown = recorder(downs);
    plot.box->onMouseMove = recorder(moves);
    plot.box->onMouseUp = recorder(ups);
    plot.host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&plot.host));
    const QPoint origin = plot.box->contentsRect().topLeft();
    QTest::mousePress(plot.box, Qt::RightButton, Qt::ShiftModifier, origin + QPoint(10, 20));
    QTest::mouseMove(plot.box, origin + QPoint(30, 40));
    QTest::mouseRelease(plot.box, Qt::RightButton, Qt::NoModifier, origin + QPoint(30, 40));
    QCOMPARE(downs.size(), 1);
    QCOMPARE(downs[0].button, 2);
    QCOMPARE(downs[0].shift, 1);
    QCOMPARE(downs[0].x, 980.0f);
    QCOMPARE(downs[0].y, 20.0f);
    QVERIFY(!moves.isEmpty());
    QCOMPARE(moves.last().x, 940.0f);
    QCOMPARE(moves.last().y, 40.0f);
    QCOMPARE(ups.size(), 1);
    QCOMPARE(ups[0].button, 2);
    QCOMPARE(ups[0].x, 940.0f);
}

void ToolkitTest::mousePointerCodes()
{
    Plot plot;
    const QList<QPair<int, Qt::CursorShape>> codes{
        {1, Qt::ArrowCursor}, {5, Qt::SizeAllCursor}, {7, Qt::SizeVerCursor},
        {9, Qt::SizeHorCursor}};
    for (const auto& [code, shape] : codes) {
        plot.box->setMousePointer(code);
        QCOMPARE(plot.box->MousePointer(), code);
        QCOMPARE(plot.box->cursor().shape(), shape);
    }
    plot.box->setMousePointer(0);
    QVERIFY(!plot.box->testAttribute(Qt::WA_SetCursor));
    QCOMPARE(fault_of([&] { plot.box->setMousePointer(16); }), FaultKind::InvalidPropertyValue);
    QCOMPARE(plot.box->MousePointer(), 0);
}

void ToolkitTest::shapeReadsBackWhatWasWritten()
{
    Plot plot;
    Shape shape(plot.box);
    plot.box->setScaleLeft(0.1);
    plot.box->setScaleWidth(0.7);
    shape.setLeft(0.1f);
    shape.setWidth(0.2f);
    QCOMPARE(shape.Left(), 0.1f);  // exactly, although the conversion to twips is not
    QCOMPARE(shape.Width(), 0.2f);
    shape.setLeft(12.3);
    QCOMPARE(shape.Left(), 12.3f);
    QCOMPARE(shape.Width(), 0.2f);
}

void ToolkitTest::shapeKeepsItsPlaceWhenTheScaleChanges()
{
    Plot plot;
    Shape shape(plot.box);
    shape.setLeft(50);
    shape.setWidth(20);
    shape.setTop(0);
    shape.setHeight(100);
    const QRect on_screen = shape.geometry();
    QCOMPARE(on_screen.x() - plot.box->contentsRect().x(), 50);
    QCOMPARE(on_screen.width(), 20);
    plot.box->setScaleLeft(1000);
    plot.box->setScaleWidth(400);  // two units per pixel
    QCOMPARE(shape.geometry(), on_screen);
    QCOMPARE(shape.Left(), 1100.0f);
    QCOMPARE(shape.Width(), 40.0f);
    shape.setWidth(10);  // five pixels now
    QCOMPARE(shape.geometry().width(), 5);
    QCOMPARE(shape.Left(), 1100.0f);
}

void ToolkitTest::shapeRefusesNegativeWidth()
{
    Plot plot;
    Shape shape(plot.box);
    shape.setLeft(10);
    shape.setWidth(30);
    QCOMPARE(fault_of([&] { shape.setWidth(-1); }), FaultKind::InvalidPropertyValue);
    QCOMPARE(fault_of([&] { shape.setLeft(1e40); }), FaultKind::Overflow);
    QCOMPARE(shape.Width(), 30.0f);
    QCOMPARE(shape.Left(), 10.0f);
    shape.setWidth(0);  // zero is a valid width
    QCOMPARE(shape.Width(), 0.0f);
}

void ToolkitTest::progressBarTakesAnyRange()
{
    ProgressBar bar(nullptr);
    bar.setMin(0);
    bar.setMax(0);  // an empty range: no fault, an empty bar
    bar.setValue(5);
    QCOMPARE(bar.Max(), 0.0f);
    QCOMPARE(bar.Value(), 5.0f);
    QCOMPARE(bar.value(), bar.minimum());
    bar.setMax(10.6);
    bar.setValue(11);  // beyond Max: shown full
    QCOMPARE(bar.Max(), 10.6f);
    QCOMPARE(bar.value(), bar.maximum());
    bar.setValue(5.3);
    QCOMPARE(bar.value(), (bar.maximum() - bar.minimum()) / 2);
    bar.setMin(20);  // Min above Max
    QCOMPARE(bar.value(), bar.minimum());
    QCOMPARE(fault_of([&] { bar.setMax(1e39); }), FaultKind::Overflow);
}

void ToolkitTest::screenPointerHourglassAndBack()
{
    QVERIFY(!QGuiApplication::overrideCursor());
    set_screen_mouse_pointer(11);
    set_screen_mouse_pointer(11);
    QCOMPARE(screen_mouse_pointer(), 11);
    QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    set_screen_mouse_pointer(0);
    QVERIFY(!QGuiApplication::overrideCursor());  // one restore undoes any number of writes
    set_screen_mouse_pointer(0);
    QVERIFY(!QGuiApplication::overrideCursor());
}

void ToolkitTest::messageBoxAnswers()
{
    QWidget window;
    const Platform platform = desktop_platform(&window);
    const auto answer_with = [](QMessageBox::StandardButton button) {
        QTimer::singleShot(0, [button] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            box->button(button)->click();
        });
    };
    answer_with(QMessageBox::No);
    QCOMPARE(platform.MsgBox(QStringLiteral("Do you continue?"), MsgBoxButtons::YesNo,
                             QStringLiteral("Heavy task!!")),
             kMsgBoxNo);
    answer_with(QMessageBox::Yes);
    QCOMPARE(platform.MsgBox(QStringLiteral("?"), MsgBoxButtons::YesNo, QString()), kMsgBoxYes);
    QTimer::singleShot(0, [] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(box);
        QCOMPARE(box->windowTitle(), QStringLiteral("Caution"));
        QCOMPARE(box->buttons().size(), 1);
        box->buttons().first()->click();
    });
    QCOMPARE(platform.MsgBox(QStringLiteral("Sorry!"), MsgBoxButtons::OkOnly,
                             QStringLiteral("Caution")),
             kMsgBoxOk);
}

void ToolkitTest::fileDialogStartsInTheShippedExamples()
{
    // The tests run from the build tree, as the program does under `make run`.
    QCOMPARE(QDir(examples_folder()).canonicalPath(),
             QDir(QStringLiteral(TOLVENAR_SOURCE_DIR "/examples")).canonicalPath());
}

void ToolkitTest::clipboardTakesThePlotsImage()
{
    Plot plot;
    plot.box->Line(0, 50, 199, 50, kRed);
    QGuiApplication::clipboard()->setText(QStringLiteral("earlier"));
    put_clipboard_picture(plot.box->Image());
    const QImage pasted = QGuiApplication::clipboard()->image();
    QCOMPARE(pasted.size(), QSize(200, 100));
    QCOMPARE(pasted.pixel(120, 50) | 0xff000000u, kRed);
    QVERIFY(QGuiApplication::clipboard()->text().isEmpty());
}

QTEST_MAIN(ToolkitTest)
#include "tst_toolkit.moc"
