// SPDX-License-Identifier: GPL-3.0-or-later
// The window's workflows before a search: import, a refused file, the crop window dragged on the
// strip and typed into the bound fields, the strip's ends, the vertical range with its flip,
// manual boxes, and the popup menus.
#include "window_fixture.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>

using namespace tolvenar;
using namespace tolvenar::test;

namespace {

// x = 0..1000, one row a unit: the rows under a window are its whole numbers.
QByteArray thousand_rows()
{
    QByteArray csv = "x,y\n";
    for (int x = 0; x <= 1000; ++x)
        csv += QByteArray::number(x) + ',' + QByteArray::number(10 + (x * 37) % 23) + '\n';
    return csv;
}

QString rounded(float value)
{
    return qtext(rounded_text(value, 1));
}

// What a refused import must leave as it was.
QStringList snapshot(const frmMain& w)
{
    QStringList shown{w.Caption(), QString::number(w.state.data.DataCount),
                      QString::number(w.state.CropCount), QString::number(w.Picture2->ScaleWidth())};
    for (const TextField* field : {w.Text1, w.Text2, w.Text4, w.Text5, w.Text7, w.Text8})
        shown << field->Text();
    return shown;
}

}  // namespace

class WindowTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void importShowsTheSeries();
    void refusedFileKeepsTheData_data();
    void refusedFileKeepsTheData();
    void cropByDragging();
    void cropByTyping();
    void stripEnds();
    void verticalRangeAndFlip();
    void manualBoxes();
    void popupMenus();

private:
    frmMain& importThousand();
    std::unique_ptr<frmMain> m_window;
    QTemporaryDir m_dir;
    Dialogs m_dialogs;
};

void WindowTest::init()
{
    m_window = std::make_unique<frmMain>();
    m_dialogs = {};
    m_dialogs.attach(*m_window);
}

frmMain& WindowTest::importThousand()
{
    import_file(*m_window, write_data_file(m_dir, QStringLiteral("thousand.csv"), thousand_rows()));
    return *m_window;
}

void WindowTest::importShowsTheSeries()
{
    frmMain& w = *m_window;
    const QString path = example_path(QStringLiteral("step_ramp.csv"));
    import_file(w, path);
    QVERIFY(w.Caption().endsWith(QStringLiteral("  (") + path + QLatin1Char(')')));
    QCOMPARE(w.state.data.DataCount, 601);
    QCOMPARE((QStringList{w.Text7->Text(), w.Text8->Text()}), (QStringList{"0", "300"}));
    QCOMPARE(w.Text1->Text(), qtext(rounded_text(w.Picture2->ScaleTop(), 2)));
    QCOMPARE(w.Text5->Text(), rounded(w.Shape1->Left() + w.Shape1->Width()));
    QVERIFY(w.state.CropCount > 0 && w.Picture1->ScaleWidth() == w.Shape1->Width());
    QVERIFY(count_pixels(*w.Picture2, kBlue) > 0 && count_pixels(*w.Picture1, kBlue) > 0);
    QVERIFY(w.Command2->isEnabled() && w.Frame1->isEnabled() && w.Text4->isEnabled());
    QVERIFY(!w.ProgressBar1->Visible() && screen_mouse_pointer() == pointer::kDefault);
    QCOMPARE(w.Line1[0]->BorderColor(), kBlack);
}

void WindowTest::refusedFileKeepsTheData_data()
{
    QTest::addColumn<QByteArray>("csv");  // "-" no file at all, "" Cancel in the dialog
    QTest::newRow("all y equal") << QByteArray("x,y\n1,2\n2,2\n3,2\n4,2\n5,2\n");
    QTest::newRow("text y") << QByteArray("x,y\n1,2\n2,3\n3,high\n4,5\n");
    QTest::newRow("empty") << QByteArray("\n");
    QTest::newRow("missing") << QByteArray("-");
    QTest::newRow("cancel") << QByteArray();
}

void WindowTest::refusedFileKeepsTheData()
{
    QFETCH(QByteArray, csv);
    frmMain& w = importThousand();
    const QStringList before = snapshot(w);
    const QString refused = QDir(m_dir.path()).filePath(QStringLiteral("refused.csv"));
    if (!csv.isEmpty() && csv != "-")
        write_data_file(m_dir, QStringLiteral("refused.csv"), csv);
    import_file(w, csv.isEmpty() ? QString() : refused);
    QCOMPARE(snapshot(w), before);
    QVERIFY(!w.ProgressBar1->Visible() && screen_mouse_pointer() == pointer::kDefault);
    QVERIFY(w.Command2->isEnabled());
}

void WindowTest::cropByDragging()
{
    frmMain& w = importThousand();
    PictureBox& strip = *w.Picture2;
    const auto at = [&](double x) { return point_at(strip, x, 15); };
    const auto x_at = [&](double x) { return user_x_at(strip, at(x).x()); };
    const auto expect_window = [&](float left, float right) {
        QCOMPARE(w.Shape1->Left(), left);
        QCOMPARE(w.Shape1->Left() + w.Shape1->Width(), right);
        QCOMPARE((QStringList{w.Text4->Text(), w.Text5->Text()}),
                 (QStringList{rounded(left), rounded(right)}));
        QCOMPARE(w.state.CropStart, static_cast<std::int32_t>(std::ceil(left)));
        QCOMPARE(w.Picture1->ScaleLeft(), left);
    };
    // The pointer tells the grips apart.
    for (const auto& [x, code] : {std::pair{0.0, pointer::kSizeHorizontal},
                                  {30.0, pointer::kSizeAll}, {500.0, pointer::kArrow}}) {
        hover(&strip, at(x));
        QCOMPARE(strip.MousePointer(), code);
    }
    QVERIFY(strip.ToolTipText().startsWith(qtext(number_text(x_at(500)) + ", ")));

    drag(&strip, at(w.Shape1->Width()), at(600));  // the right edge out
    expect_window(0, x_at(600));
    drag(&strip, at(0), at(200));  // the left edge in
    expect_window(x_at(200), x_at(600));
    const float width = w.Shape1->Width();
    drag(&strip, at(400), at(2000));  // the whole window, held on the strip
    expect_window(to_single(1000.0 - width), to_single(1000.0 - width) + width);
    QVERIFY(!w.state.DragWindow && !w.state.DragLeftEdge && !w.state.DragRightEdge);
}

void WindowTest::cropByTyping()
{
    frmMain& w = importThousand();
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    type_into(w.Text5, QStringLiteral("600"));
    w.Text4->setFocus();
    type_into(w.Text4, QStringLiteral("200"));
    QCOMPARE((std::pair{w.Shape1->Left(), w.Shape1->Width()}), (std::pair{200.0f, 400.0f}));
    QCOMPARE(w.Picture1->ScaleWidth(), 400.0f);
    QCOMPARE(w.state.CropStart, 200);
    QCOMPARE(int{w.state.CropCount}, 401);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w.Text4));  // typing goes on

    type_into(w.Text4, QStringLiteral("600"));  // equal texts: 598.5 to even
    QCOMPARE(w.Text4->Text(), QStringLiteral("598"));
    QCOMPARE((std::pair{w.Shape1->Left(), w.Shape1->Width()}), (std::pair{598.0f, 2.0f}));
    type_into(w.Text5, QStringLiteral("100"));  // below the left edge: taken as it stands
    QCOMPARE((std::pair{w.Shape1->Left(), w.Shape1->Width()}), (std::pair{100.0f, 498.0f}));

    w.Text4->setText(QStringLiteral("500"));  // the program's own writes change nothing
    w.Text5->setText(QStringLiteral("500"));
    QCOMPARE(w.Shape1->Left(), 100.0f);
    QCOMPARE(w.Text4->Text(), QStringLiteral("500"));
}

void WindowTest::stripEnds()
{
    frmMain& w = importThousand();
    const float share = w.Shape1->Width() / 1000.0f;
    type_into(w.Text8, QStringLiteral("500"));
    QCOMPARE((std::pair{w.Picture2->ScaleLeft(), w.Picture2->ScaleWidth()}), (std::pair{0.0f, 500.0f}));
    // The window kept its place on the screen: half the span now, shown and cropped.
    QVERIFY(qAbs(w.Shape1->Width() - 500 * share) < 1e-3f);
    QCOMPARE(w.Text5->Text(), qtext(number_text(w.Shape1->Width() + w.Shape1->Left())));
    QCOMPARE(w.Picture1->ScaleWidth(), w.Shape1->Width());
    type_into(w.Text7, QStringLiteral("2000"));  // past the right end: one unit before it
    QCOMPARE(w.Text7->Text(), QStringLiteral("499"));
    QCOMPARE((std::pair{w.Picture2->ScaleLeft(), w.Picture2->ScaleWidth()}), (std::pair{499.0f, 1.0f}));
    type_into(w.Text7, QStringLiteral("-1e39"));  // beyond single: "-1e3" was the last taken
    QCOMPARE((std::pair{w.Picture2->ScaleLeft(), w.Picture2->ScaleWidth()}),
             (std::pair{-1000.0f, 1500.0f}));
}

void WindowTest::verticalRangeAndFlip()
{
    frmMain& w = importThousand();
    const auto scales = [&] {
        return QList<float>{w.Picture1->ScaleTop(), w.Picture1->ScaleHeight(),
                            w.Picture2->ScaleTop(), w.Picture2->ScaleHeight()};
    };
    type_into(w.Text2, QStringLiteral("0"));
    type_into(w.Text1, QStringLiteral("40"));
    QCOMPARE(scales(), (QList<float>{40, -40, 40, -40}));
    const QImage upright = w.Picture1->Image();
    type_into(w.Text1, QStringLiteral("0"));  // the top typed to the bottom: one above it
    QCOMPARE(w.Text1->Text(), QStringLiteral("1"));
    type_into(w.Text1, QStringLiteral("0.0"));  // no extent: the scale stays
    QCOMPARE(scales(), (QList<float>{1, -1, 1, -1}));
    type_into(w.Text1, QStringLiteral("40"));
    w.mnuFlipVertical1->trigger();
    QCOMPARE((QStringList{w.Text1->Text(), w.Text2->Text()}), (QStringList{"0", "40"}));
    QCOMPARE(scales(), (QList<float>{0, 40, 0, 40}));
    w.mnuFlipVertical2->trigger();
    QCOMPARE(scales(), (QList<float>{40, -40, 40, -40}));
    QCOMPARE(w.Picture1->Image(), upright);
}

void WindowTest::manualBoxes()
{
    frmMain& w = importThousand();
    type_into(w.Text5, QStringLiteral("600"));
    type_into(w.Text4, QStringLiteral("200"));
    QTest::mouseClick(w.Option1[0], Qt::LeftButton);
    QVERIFY(!w.Command2->isEnabled());
    PictureBox& plot = *w.Picture1;
    ProgramState& s = w.state;
    drag(&plot, point_at(plot, 300, 15), point_at(plot, 330, 12));  // the first: from the left edge
    QCOMPARE((QList<float>{s.ManXMin[1], s.ManXMax[1]}),
             (QList<float>{200, user_x_at(plot, point_at(plot, 330, 0).x())}));
    QVERIFY(s.ManYMin[1] < s.ManYMax[1]);
    QVERIFY(count_pixels(plot, kPink) > 0);
    QVERIFY(!w.Command2->isEnabled());
    drag(&plot, point_at(plot, 400, 12), point_at(plot, 360, 20));  // put in order on release
    QVERIFY(s.ManXMin[2] < s.ManXMax[2] && s.ManYMin[2] < s.ManYMax[2]);
    QVERIFY(w.Command2->isEnabled() && w.Command7->isEnabled());
    for (int k = 3; k <= 7; ++k)
        drag(&plot, point_at(plot, 330 + 30 * k, 12), point_at(plot, 350 + 30 * k, 14));
    QCOMPARE(s.ManXMax[6], 600.0f);  // the sixth reaches the right edge
    QCOMPARE(s.NodeCount, std::int16_t{6});
    QCOMPARE(m_dialogs.titles, QStringList{"Caution"});  // the seventh is refused
}

void WindowTest::popupMenus()
{
    frmMain& w = importThousand();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    // A right press inside the crop window opens the strip's menu; its closing ends the drag.
    QTest::mousePress(w.Picture2, Qt::RightButton, {}, point_at(*w.Picture2, 30, 15));
    QVERIFY(w.mnuRb2->isVisible() && w.state.DragWindow);
    QTest::keyClick(w.mnuRb2, Qt::Key_Escape);
    QVERIFY(!w.state.DragWindow);
    QTest::mouseRelease(w.Picture2, Qt::RightButton);
    QTest::mousePress(w.Picture1, Qt::RightButton, {}, point_at(*w.Picture1, 30, 15));
    QVERIFY(w.mnuRB1->isVisible());
    w.mnuRB1->close();
    QTest::mouseRelease(w.Picture1, Qt::RightButton);
    QGuiApplication::clipboard()->setText(QStringLiteral("earlier"));
    w.mnuCopy2->trigger();
    QCOMPARE(QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32),
             w.Picture1->Image().convertToFormat(QImage::Format_RGB32));
}

QTEST_MAIN(WindowTest)
#include "tst_window.moc"
