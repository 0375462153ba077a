// SPDX-License-Identifier: GPL-3.0-or-later
// What the handlers rely on from the toolkit, and a message box that always closes.
#include "ui/toolkit/drawing_record.h"
#include "window_fixture.h"

#include <QAbstractButton>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>

#include <limits>

using namespace tolvenar;
using namespace tolvenar::test;

namespace {

// A plot of 200 x 100 drawing-area pixels, one user unit a pixel, y growing downwards.
struct Plot : PictureBox {
    Plot() : PictureBox(nullptr)
    {
        setGeometry(0, 0, 204, 104);
        setBackColor(kWhite);
        setScaleWidth(200);
        setScaleHeight(100);
    }
};

}  // namespace

class ToolkitTest : public QObject {
    Q_OBJECT

private slots:
    void textWrites_data();
    void textWrites();
    void checkBoxClicks();
    void scaleWrites();
    void persistClearAndLines_data();
    void persistClearAndLines();
    void drawingRecordJoinsContinuingLines();
    void messageBox();
    void buttonKeys();
    void progressBar();
    void keyCodes();
    void controlArrayBounds();
    void fileDialogsRememberTheirFolders();
};

void ToolkitTest::buttonKeys()
{
    struct Row { int key; Qt::KeyboardModifiers modifiers; bool repeated; int clicks; };
    for (const Row& r : std::initializer_list<Row>{  // held down, with Shift, a letter: no click
             {Qt::Key_Return, {}, false, 1}, {Qt::Key_Enter, {}, false, 1},
             {Qt::Key_Return, {}, true, 0}, {Qt::Key_Return, Qt::ShiftModifier, false, 0},
             {Qt::Key_A, {}, false, 0}}) {
        CommandButton button(QStringLiteral("Run"), nullptr);
        int seen = 0;
        button.onClick = [&seen] { ++seen; };
        QKeyEvent press(QEvent::KeyPress, r.key, r.modifiers, QString(), r.repeated);
        QCoreApplication::sendEvent(&button, &press);
        QCOMPARE(seen, r.clicks);
    }
}

// The key codes and shift states a field's key handlers receive.
void ToolkitTest::keyCodes()
{
    TextField field(nullptr);
    std::vector<int> seen;
    field.onKeyDown = [&seen](std::int16_t code, std::int16_t shift) {
        seen.insert(seen.end(), {code, shift});
    };
    const Qt::KeyboardModifiers pad = Qt::KeypadModifier, none;
    struct Row {
        int key;
        Qt::KeyboardModifiers modifiers;
        std::vector<int> code_and_shift;
    };
    for (const Row& r : std::initializer_list<Row>{
             {Qt::Key_A, none, {65, 0}}, {Qt::Key_Z, Qt::ShiftModifier, {90, 1}},
             {Qt::Key_0, Qt::ControlModifier, {48, 2}}, {Qt::Key_9, Qt::AltModifier, {57, 4}},
             {Qt::Key_Slash, none, {0, 0}}, {Qt::Key_Colon, none, {0, 0}},
             {Qt::Key_0, pad, {96, 0}}, {Qt::Key_9, pad, {105, 0}},
             {Qt::Key_Minus, pad, {109, 0}}, {Qt::Key_Minus, none, {189, 0}},
             {Qt::Key_Enter, pad, {13, 0}}, {Qt::Key_F1, none, {112, 0}},
             {Qt::Key_F12, Qt::ShiftModifier | Qt::ControlModifier, {123, 3}}}) {
        seen.clear();
        QKeyEvent press(QEvent::KeyPress, r.key, r.modifiers);
        QCoreApplication::sendEvent(&field, &press);
        QCOMPARE(seen, r.code_and_shift);
    }
}

// An index outside a control array's bounds raises IndexOutOfRange, as the runtime does.
void ToolkitTest::controlArrayBounds()
{
    const ControlArray<QWidget, 1, 6> array;
    for (const auto& [index, outside] : {std::pair{0, true}, {1, false}, {6, false}, {7, true}})
        QCOMPARE(fault_of([&] { array[index]; }).has_value(), outside);
}

void ToolkitTest::progressBar()
{
    ProgressBar bar(nullptr);
    const auto shown = [&] { return static_cast<double>(bar.value()) / bar.maximum(); };
    // The value's share of the range, clamped; an empty or a reversed range as an empty bar.
    const struct { double min, max, value, share; } rows[] = {
        {0, 10, 5, 0.5}, {0, 10, 20, 1}, {2, 10, -3, 0}, {5, 5, 5, 0}, {10, 0, 5, 0}};
    for (const auto& r : rows) {
        bar.setMin(r.min);
        bar.setMax(r.max);
        bar.setValue(r.value);
        QCOMPARE(shown(), r.share);
    }
    // Deferred while a search writes on every trial: the last write shows when due, and when
    // the deferring ends.
    bar.setMin(0);
    bar.setMax(10);
    bar.setDisplayDeferred(true);
    bar.setValue(10);
    QCOMPARE(shown(), 0.5);
    bar.showPending();
    QCOMPARE(shown(), 1.0);
    bar.setValue(0);
    bar.setDisplayDeferred(false);
    QCOMPARE(shown(), 0.0);
}

void ToolkitTest::textWrites_data()
{
    // Writes from code, or keys typed after "+"; "|" marks the return of each, "v" and "^" a key
    // going down and up with its code. The change handler repairs "bad" to "8".
    QTest::addColumn<QStringList>("writes");
    QTest::addColumn<QStringList>("seen");
    QTest::newRow("new text") << QStringList{"12", ""} << QStringList{"12", "|", "", "|"};
    QTest::newRow("same text") << QStringList{"", "5", "5"} << QStringList{"|", "5", "|", "|"};
    QTest::newRow("same number") << QStringList{"5", "5.0"} << QStringList{"5", "|", "5.0", "|"};
    QTest::newRow("repair re-enters") << QStringList{"bad"} << QStringList{"bad", "8", "|"};
    QTest::newRow("typing") << QStringList{"+0.az"} << QStringList{"v48", "0", "^48", "v190", "0.",
                                                                   "^190", "v65", "0.a", "^65",
                                                                   "v90", "0.az", "^90", "|"};
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
    field.onKeyDown = [&](std::int16_t key, std::int16_t) { events << 'v' + QString::number(key); };
    field.onKeyUp = [&](std::int16_t key, std::int16_t) { events << '^' + QString::number(key); };
    for (const QString& text : writes) {
        if (text.startsWith(QLatin1Char('+')))
            QTest::keyClicks(&field, text.mid(1));
        else
            field.setText(text);
        events << QStringLiteral("|");
    }
    QCOMPARE(events, seen);
}

// Values written from code, 9 a click of the user; seen: Value at each click event.
void ToolkitTest::checkBoxClicks()
{
    for (const auto& [writes, seen] : {std::pair{QList<int>{0, 1, 1, 2, 0}, QList<int>{1, 2, 0}},
                                       {QList<int>{9, 9, 2, 9, 9}, QList<int>{1, 0, 2, 1, 0}}}) {
        CheckBox box(QStringLiteral("Constrain"), nullptr);
        QList<int> events;
        box.onClick = [&] { events << box.Value(); };
        for (const int value : writes)
            value == 9 ? box.click() : box.setValue(value);
        QCOMPARE(events, seen);
    }
}

// A scale of no extent in single precision, or beyond it, is refused and leaves the scale.
void ToolkitTest::scaleWrites()
{
    struct Row { bool height; double value; bool refused; };  // height: ScaleHeight, else Width
    for (const Row& r : std::initializer_list<Row>{{false, 0.0, true}, {true, 1e-50, true},
                                                   {false, 1e39, true}, {false, -200.0, false}}) {
        Plot plot;
        const std::uint64_t generation = plot.scaleGeneration();
        const auto read = [&] { return r.height ? plot.ScaleHeight() : plot.ScaleWidth(); };
        const float before = read();
        const auto write = [&] {
            r.height ? plot.setScaleHeight(r.value) : plot.setScaleWidth(r.value);
        };
        QCOMPARE(fault_of(write).has_value(), r.refused);
        QCOMPARE(read(), r.refused ? before : static_cast<float>(r.value));
        QCOMPARE(plot.scaleGeneration() == generation, r.refused);
    }
}

void ToolkitTest::persistClearAndLines_data()
{
    QTest::addColumn<QList<float>>("ends");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("red");  // pixels drawn
    const float far = std::numeric_limits<float>::max();
    const int line = static_cast<int>(LineKind::Line);
    QTest::newRow("row from far off both sides") << QList<float>{-far, 50, far, 50} << line << 200;
    QTest::newRow("steep from far away") << QList<float>{100, -1e30f, 100, 1e30f} << line << 100;
    QTest::newRow("unset vertex") << QList<float>{kUnsetVertex, 0, kUnsetVertex, 300} << line << 0;
    QTest::newRow("through two edges") << QList<float>{-100, -50, 300, 350} << line << 50;
    QTest::newRow("filled box") << QList<float>{10, 10, 19, 19} << int(LineKind::FilledBox) << 100;
    QTest::newRow("box outline") << QList<float>{19, 19, 10, 10} << int(LineKind::Box) << 36;
}

void ToolkitTest::persistClearAndLines()
{
    QFETCH(QList<float>, ends);
    QFETCH(int, kind);
    QFETCH(int, red);
    Plot plot;
    plot.Line(0, 10, 199, 10, kBlue);
    plot.Persist();
    plot.Line(ends[0], ends[1], ends[2], ends[3], kRed, static_cast<LineKind>(kind));
    QCOMPARE(count_pixels(plot, kRed), red);
    plot.Cls();  // back to what was persisted
    QCOMPARE(count_pixels(plot, kRed), 0);
    QCOMPARE(count_pixels(plot, kBlue), 200);
    plot.setBackColor(kGreen);  // erases the persisted picture too
    plot.Cls();
    QCOMPARE(count_pixels(plot, kGreen), 200 * 100);
    if (kind != static_cast<int>(LineKind::Box))
        return;
    // A thick line's round ends and a box's square corners, in the same colour and width,
    // whichever is drawn first.
    Plot line_first, box_first;
    line_first.setDrawWidth(3), box_first.setDrawWidth(3);
    line_first.Line(0, 90, 50, 90, kRed), line_first.Line(20, 20, 40, 40, kRed, LineKind::Box);
    box_first.Line(20, 20, 40, 40, kRed, LineKind::Box), box_first.Line(0, 90, 50, 90, kRed);
    QCOMPARE(line_first.Image(), box_first.Image());
    // An outline covers nothing: the line persisted before it is drawn again at a new size.
    Plot outlined;
    outlined.Line(0, 10, 199, 10, kBlue), outlined.Line(10, 50, 19, 59, kRed, LineKind::Box);
    outlined.Persist(), outlined.setGeometry(0, 0, 404, 204);
    QCOMPARE(count_pixels(outlined, kBlue), 399);
}

// A line joins the last one's polyline only where it goes on from its end, in its scale.
void ToolkitTest::drawingRecordJoinsContinuingLines()
{
    DrawingRecord record;
    const DrawnScale one, other{0, 0, 2, 2};
    for (const auto& [scale, from, to] : {std::tuple{one, 0.0f, 1.0f}, {one, 1.0f, 2.0f},
                                          {other, 2.0f, 3.0f}, {other, 5.0f, 6.0f}})
        record.line(scale, {from, from}, {to, to}, kRed, 1);
    QList<std::uint32_t> counts;
    for (const Stroke& stroke : record.strokes())
        counts.push_back(stroke.count);
    QCOMPARE(counts, (QList<std::uint32_t>{3, 2, 2}));
}

void ToolkitTest::messageBox()
{
    struct Row { bool yes_no; int press; int answer; };  // press: a QMessageBox::StandardButton
    for (const Row& r : std::initializer_list<Row>{{true, QMessageBox::Yes, kMsgBoxYes},
                                                   {true, QMessageBox::No, kMsgBoxNo},
                                                   {false, QMessageBox::Ok, kMsgBoxOk}}) {
        QWidget window;
        const Platform platform = desktop_platform(&window);
        // Every box that opens is answered and closed whatever it shows; the checks come after,
        // so that a failing one cannot leave the box waiting.
        QStringList seen;
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                seen << box->windowTitle() << QString::number(box->buttons().size());
                QAbstractButton* button = box->button(QMessageBox::StandardButton(r.press));
                button ? button->click() : box->reject();
            }
        });
        closer.start(10);
        const auto buttons = r.yes_no ? MsgBoxButtons::YesNo : MsgBoxButtons::OkOnly;
        QCOMPARE(platform.MsgBox(QStringLiteral("?"), buttons, QStringLiteral("Caution")),
                 r.answer);
        QCOMPARE(seen, (QStringList{"Caution", r.yes_no ? "2" : "1"}));
    }
}

// Open starts in the examples, then where it last opened; Save beside the name suggested, then
// in the folder it last saved to.
void ToolkitTest::fileDialogsRememberTheirFolders()
{
    QWidget window;
    const Platform platform = desktop_platform(&window);
    QTemporaryDir data, results;
    const QString series = write_file(data, "a.csv", "x,y\n");
    QString answer;  // what the dialog is given; "" cancels
    QStringList started;
    QTimer chooser;
    QObject::connect(&chooser, &QTimer::timeout, [&] {
        if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
            started << dialog->directory().absolutePath();
            // Typed into its name field, as a user types it: selectFile leaves that field alone
            // once it has the focus, which under load it can have by the first tick.
            auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            if (answer.isEmpty() || !name)
                return dialog->reject();
            name->setText(answer);
            QMetaObject::invokeMethod(dialog, "accept");
        }
    });
    chooser.start(10);
    const QString filter = QStringLiteral("DataFile(*.csv)");
    answer = series;
    QCOMPARE(platform.ShowOpen(filter), series);
    answer.clear();
    QCOMPARE(platform.ShowOpen(filter), QString());
    const QString examples = QDir(examples_folder()).absolutePath();
    const QString suggested = QDir(examples).filePath(QStringLiteral("a.json"));
    answer = results.filePath(QStringLiteral("fit.json"));
    QCOMPARE(platform.ShowSave(filter, suggested), answer);
    answer.clear();
    QCOMPARE(platform.ShowSave(filter, suggested), QString());
    QCOMPARE(started, (QStringList{examples, data.path(), examples, results.path()}));
}

QTEST_MAIN(ToolkitTest)
#include "tst_toolkit.moc"
