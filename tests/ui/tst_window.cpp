// SPDX-License-Identifier: GPL-3.0-or-later
// The window's workflows as a user runs them, up to a report that equals tolvenar-fit's.
#include "window_fixture.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>
#include <QTimer>

using namespace tolvenar;
using namespace tolvenar::test;

Q_DECLARE_METATYPE(tolvenar::ModelFamily)

namespace {

constexpr const char* kSample = "symmetric_event.csv";  // x = 0, 1, ..., 600: row r holds r - 1
constexpr QRgb kPaleGreen = 0xff96ff96;  // sampling frames of the constraint boxes

// What the plots and the range, bound and strip fields show.
QStringList view(const frmMain& w)
{
    QStringList shown;
    for (const TextField* field : {w.Text1, w.Text2, w.Text4, w.Text5, w.Text7, w.Text8})
        shown << field->Text();
    for (const PictureBox* plot : {w.Picture1, w.Picture2})
        for (const float scale : {plot->ScaleLeft(), plot->ScaleWidth(), plot->ScaleTop(),
                                  plot->ScaleHeight()})
            shown << QString::number(scale);
    return shown;
}

// What a refused import must leave as it was.
QStringList snapshot(const frmMain& w)
{
    return QStringList{w.Caption(), QString::number(w.session.table().DataCount),
                       QString::number(w.session.crop_info().points)} + view(w);
}

// Which controls are enabled of their own (a disabled frame greys its members, not their flag),
// in groups: the buttons 1 to 7; Constrain, Show constraint and the frames 1, 5, 6; the labels 5
// to 8; the fields 1, 2, 3(0), 4 to 8; the families 0 to 6; the result labels X1..X6, Y1..Y6.
// Then the two check boxes' values, the family chosen and the progress bars' values.
QString controls(const frmMain& w)
{
    QString shown;
    const auto flags = [&shown](std::initializer_list<const QWidget*> group) {
        for (const QWidget* control : group)
            shown += control->testAttribute(Qt::WA_ForceDisabled) ? QLatin1Char('0')
                                                                   : QLatin1Char('1');
        shown += QLatin1Char(' ');
    };
    flags({w.Command1, w.Command2, w.Command3, w.Command4, w.Command5, w.Command6, w.Command7});
    flags({w.Check1, w.Check2, w.Frame1, w.Frame5, w.Frame6});
    flags({w.Label5, w.Label6, w.Label7, w.Label8});
    flags({w.Text1, w.Text2, w.Text3[0], w.Text4, w.Text5, w.Text6, w.Text7, w.Text8});
    flags({w.Option1[0], w.Option1[1], w.Option1[2], w.Option1[3], w.Option1[4], w.Option1[5],
           w.Option1[6]});
    flags({w.Label2[1], w.Label2[2], w.Label2[3], w.Label2[4], w.Label2[5], w.Label2[6]});
    flags({w.Label3[1], w.Label3[2], w.Label3[3], w.Label3[4], w.Label3[5], w.Label3[6]});
    int chosen = -1;
    for (int i = 0; i <= 6; ++i)
        chosen = w.Option1[i]->Value() ? i : chosen;
    return shown + QStringLiteral("%1%2 %3 %4/%5")
                       .arg(w.Check1->Value())
                       .arg(w.Check2->Value())
                       .arg(chosen)
                       .arg(w.ProgressBar1->Value())
                       .arg(w.ProgressBar2->Value());
}

}  // namespace

class WindowTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void importShowsTheSeries();
    void controlsThroughAWorkflow();
    void refusedFileKeepsTheData();
    void cropByDragging();
    void cropByTyping();
    void plotMenusAndVerticalRange();
    void manualBoxes();
    void reportAsTheCommandLine_data();
    void reportAsTheCommandLine();
    void picturesOfAResult();
    void searchCleanup_data();
    void searchCleanup();
    void generatedSeriesAsTheCommandLine();
    void reimportShowsTheNewRange();
    void resultsGoWithTheirCrop();
    void searchStopsAndDropsInput();

private:
    frmMain& imported();
    std::unique_ptr<frmMain> m_window;
    Dialogs m_dialogs;
};

void WindowTest::init()
{
    m_window = std::make_unique<frmMain>();
    m_dialogs = {};
    m_dialogs.attach(*m_window);
}

frmMain& WindowTest::imported()
{
    import_file(*m_window, example_path(kSample));
    return *m_window;
}

void WindowTest::importShowsTheSeries()
{
    frmMain& w = imported();
    QVERIFY(w.Caption().endsWith(QStringLiteral("  (") + example_path(kSample) + QLatin1Char(')')));
    QCOMPARE(w.session.table().DataCount, 601);
    QCOMPARE((QStringList{w.Text7->Text(), w.Text8->Text()}), (QStringList{"0", "600"}));
    QCOMPARE(w.Text1->Text(), qtext(rounded_text(w.Picture2->ScaleTop(), 2)));
    QCOMPARE(w.Text5->Text(), qtext(rounded_text(w.Shape1->Left() + w.Shape1->Width(), 1)));
    QCOMPARE(w.session.crop_info().points, static_cast<int>(w.Shape1->Width()) + 1);
    QVERIFY(count_pixels(*w.Picture2, kBlue) > 0 && count_pixels(*w.Picture1, kBlue) > 0);
    QVERIFY(!w.ProgressBar1->Visible() && screen_mouse_pointer() == pointer::kDefault);
    for (const TextField* field : {w.Text1, w.Text2, w.Text4, w.Text5, w.Text7, w.Text8})
        QCOMPARE(field->cursorPosition(), 0);  // a narrow field shows the number's start
    QTemporaryDir dir;  // the strip's ends to a tenth
    import_file(w, write_file(dir, "tenths.csv", "x,y\n1.26,1\n2,2\n3,1\n9.74,3\n"));
    QCOMPARE((QStringList{w.Text7->Text(), w.Text8->Text()}), (QStringList{"1.3", "9.7"}));
}

void WindowTest::controlsThroughAWorkflow()
{
    frmMain& w = *m_window;
    QStringList seen{controls(w)};
    prepare_search(w, kSample, "150", "450", "2", "60", ModelFamily::SymmetricEvent);
    seen << controls(w);
    click_and_wait(w, w.Command2);  // "Run"
    seen << controls(w);
    QTest::mouseClick(w.Check1, Qt::LeftButton);    // "Constrain", then "Run" again
    click_and_wait(w, w.Command2);
    seen << controls(w);
    QTest::mouseClick(w.Command7, Qt::LeftButton);  // "Reset"
    seen << controls(w);
    QTest::mouseClick(w.Option1[0], Qt::LeftButton);  // "Manual constraint": no box drawn yet
    seen << controls(w);
    QCOMPARE(seen, (QStringList{
                       "1001000 00000 0000 00000000 0000000 000000 000000 01 1 0/0",
                       "1101000 00100 0000 11111111 1111111 000000 000000 01 2 0/0",
                       "1101111 11111 1011 11111111 1111111 111110 111110 01 2 60/0",
                       "1101111 11111 1011 11111111 1111111 111110 111110 11 2 60/0",
                       "1101001 00110 0011 11111111 1111111 000000 000000 01 2 60/0",
                       "1001001 00110 0011 11111111 1111111 000000 000000 01 0 60/0",
                   }));
}

void WindowTest::refusedFileKeepsTheData()
{
    for (const QByteArray& csv :  // "-": no file at all, "": Cancel in the dialog
         {QByteArray("x,y\n1,2\n2,3\n3,high\n4,5\n"), QByteArray("-"), QByteArray()}) {
        init();
        frmMain& w = imported();
        const QStringList before = snapshot(w);
        QTemporaryDir dir;
        const QString path = csv == "-" ? dir.filePath(QStringLiteral("none.csv"))
                                        : write_file(dir, "refused.csv", csv);
        import_file(w, csv.isEmpty() ? QString() : path);
        QCOMPARE(snapshot(w), before);
        QCOMPARE(m_dialogs.prompts, csv.isEmpty() ? QStringList{}  // tolvenar-fit's, for any family
                                                  : fit_report_for(w, path, ModelFamily{1}, false));
        QVERIFY(!w.ProgressBar1->Visible() && screen_mouse_pointer() == pointer::kDefault);
    }
}

void WindowTest::cropByDragging()
{
    frmMain& w = imported();
    PictureBox& strip = *w.Picture2;
    const auto at = [&](double x) { return point_at(strip, x, 15); };
    const auto expect_window = [&](float left, float right) {
        QCOMPARE(w.Shape1->Left(), left);
        QCOMPARE(w.Shape1->Left() + w.Shape1->Width(), right);
        QCOMPARE((QStringList{w.Text4->Text(), w.Text5->Text()}),
                 (QStringList{qtext(rounded_text(left, 1)), qtext(rounded_text(right, 1))}));
        QCOMPARE(w.session.crop_info().first_row, static_cast<std::int32_t>(std::ceil(left)));
        QCOMPARE((QList<float>{w.Picture1->ScaleLeft(), w.Picture1->ScaleWidth()}),
                 (QList<float>{left, w.Shape1->Width()}));
    };
    const float start_width = w.Shape1->Width();
    for (const auto& [x, code] : {std::pair{0.0, pointer::kSizeHorizontal},
                                  {20.0, pointer::kSizeAll}, {300.0, pointer::kArrow}}) {
        hover(&strip, at(x));
        QCOMPARE(strip.MousePointer(), code);
    }
    QVERIFY(strip.ToolTipText().startsWith(qtext(number_text(reported_x(strip, 300)) + ", ")));
    QCOMPARE(w.Shape1->Width(), start_width);  // hovering moves nothing

    QTest::mousePress(&strip, Qt::LeftButton, {}, at(w.Shape1->Width()));  // the right edge out
    QTest::mouseMove(&strip, at(400));  // the crop follows the mouse before the release
    expect_window(0, reported_x(strip, 400));
    QTest::mouseRelease(&strip, Qt::LeftButton, {}, at(400));
    hover(&strip, at(500));  // the release ended the drag
    expect_window(0, reported_x(strip, 400));
    QTest::mousePress(&strip, Qt::LeftButton, {}, at(0));  // the left edge in
    QTest::mouseMove(&strip, at(150));
    expect_window(reported_x(strip, 150), reported_x(strip, 400));
    QTest::mouseRelease(&strip, Qt::LeftButton, {}, at(150));
    expect_window(reported_x(strip, 150), reported_x(strip, 400));
    const float width = w.Shape1->Width();
    drag(&strip, at(300), at(2000));  // the whole window, held on the strip
    expect_window(to_single(600.0 - width), to_single(600.0 - width) + width);
    QVERIFY(!w.state.DragWindow && !w.state.DragLeftEdge && !w.state.DragRightEdge);
    QVERIFY(w.Command2->isEnabled());  // "Run" stays on for the family chosen
}

void WindowTest::cropByTyping()
{
    frmMain& w = imported();
    const auto window = [&] { return QList<float>{w.Shape1->Left(), w.Shape1->Width()}; };
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    type_into(w.Text5, QStringLiteral("500"));
    w.Text4->setFocus();
    type_into(w.Text4, QStringLiteral("200"));
    QCOMPARE(window(), (QList<float>{200, 300}));
    QCOMPARE((QList<int>{w.session.crop_info().first_row, w.session.crop_info().points}),
             (QList<int>{200, 301}));
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w.Text4));  // typing goes on
    type_into(w.Text4, QStringLiteral("500"));  // equal texts: 498.5 to even
    QCOMPARE(w.Text4->Text(), QStringLiteral("498"));
    QCOMPARE(w.Text4->cursorPosition(), 3);  // the caret stays where the typing goes on
    QCOMPARE(window(), (QList<float>{498, 2}));
    type_into(w.Text5, QStringLiteral("100"));  // below the left edge: taken as it stands
    QCOMPARE(window(), (QList<float>{100, 398}));
    w.Text4->setText(QStringLiteral("300"));  // the program's own writes change nothing
    w.Text5->setText(QStringLiteral("300"));
    QCOMPARE(window(), (QList<float>{100, 398}));

    // The strip's ends: the window keeps its place on the screen, now over another span.
    w.Text8->setFocus();
    type_into(w.Text8, QStringLiteral("300"));
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w.Text8));
    QCOMPARE(w.Picture2->ScaleWidth(), 300.0f);
    QCOMPARE(w.Shape1->Width(), 199.0f);  // half the span it was: the window kept its place
    QCOMPARE(w.Text5->Text(), qtext(number_text(w.Shape1->Width() + w.Shape1->Left())));
    type_into(w.Text8, QStringLiteral("600"));
    type_into(w.Text7, QStringLiteral("2000"));  // past the right end: one unit before it
    QCOMPARE(w.Text7->Text(), QStringLiteral("599"));
    QCOMPARE(w.Picture2->ScaleWidth(), 1.0f);
    QVERIFY(count_pixels(*w.Picture2, kBlue) > 100);  // the series' last segment across the strip
}

void WindowTest::plotMenusAndVerticalRange()
{
    frmMain& w = imported();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    // A right press on the crop window, its left or its right edge opens the strip's menu, which
    // takes the release: its closing ends the drag, and a move after it moves nothing.
    const QList<float> crop{w.Shape1->Left(), w.Shape1->Width()};
    for (const float x : {0.0f, 20.0f, w.Shape1->Width()}) {
        QTest::mousePress(w.Picture2, Qt::RightButton, {}, point_at(*w.Picture2, x, 15));
        QVERIFY(w.mnuRb2->isVisible());
        QTest::keyClick(w.mnuRb2, Qt::Key_Escape);
        hover(w.Picture2, point_at(*w.Picture2, x + 5, 15));
        QCOMPARE((QList<float>{w.Shape1->Left(), w.Shape1->Width()}), crop);
        QTest::mouseRelease(w.Picture2, Qt::RightButton);
    }
    QTest::mousePress(w.Picture1, Qt::RightButton, {}, point_at(*w.Picture1, 20, 15));
    QVERIFY(w.mnuRB1->isVisible());
    w.mnuRB1->close();
    QTest::mouseRelease(w.Picture1, Qt::RightButton);
    w.mnuCopy2->trigger();
    QCOMPARE(QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32),
             w.Picture1->Image().convertToFormat(QImage::Format_RGB32));

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
    frmMain& w = *m_window;
    prepare_search(w, kSample, "150", "450", "2", "60", ModelFamily::SimpleRamp);
    PictureBox& plot = *w.Picture1;
    const auto boxes = [&w] { return w.session.manual_boxes(); };
    drag(&plot, point_at(plot, 200, 12), point_at(plot, 230, 11));  // another family: no box
    QCOMPARE(count_pixels(plot, kPink), 0);
    QTest::mouseClick(w.Option1[0], Qt::LeftButton);  // "Manual constraint"
    QVERIFY(!w.Command2->isEnabled());
    drag(&plot, point_at(plot, 200, 12), point_at(plot, 230, 11));  // the first from the left edge
    QCOMPARE((QList<float>{boxes().xmin[1], boxes().xmax[1]}),
             (QList<float>{150, reported_x(plot, 230)}));
    QVERIFY(boxes().ymin[1] < boxes().ymax[1] && count_pixels(plot, kPink) > 0);
    QVERIFY(!w.Command2->isEnabled());
    drag(&plot, point_at(plot, 300, 11), point_at(plot, 260, 19));  // put in order on release
    QVERIFY(boxes().xmin[2] < boxes().xmax[2] && boxes().ymin[2] < boxes().ymax[2]);
    QVERIFY(w.Command2->isEnabled() && w.Command7->isEnabled());
    QTest::mousePress(&plot, Qt::LeftButton, {}, point_at(plot, 380, 11));
    hover(&plot, point_at(plot, 420, 12.5));  // the box follows the mouse before its release
    QVERIFY(color_near(plot, 420, 11.8, kPink));
    QTest::mouseRelease(&plot, Qt::LeftButton, {}, point_at(plot, 420, 12.5));
    click_and_wait(w, w.Command2);
    // The last box reaches the right edge and holds vertices 4 to 6.
    QCOMPARE((QList<float>{boxes().xmax[3], boxes().xmin[6]}),
             (QList<float>{450, boxes().xmin[3]}));
    QVERIFY(w.Label2[3]->Enabled() && !w.Label2[4]->Enabled());
    for (int k = 1; k <= 7; ++k)  // a new set after a result; the seventh box is refused
        drag(&plot, point_at(plot, 160 + 30 * k, 12), point_at(plot, 180 + 30 * k, 14));
    QCOMPARE(boxes().xmax[6], 450.0f);  // the sixth reaches the right edge
    QCOMPARE(m_dialogs.titles, QStringList{"Caution"});
    // After "Reset" on a result, and after a new crop, the next box is the first again.
    click_and_wait(w, w.Command2);
    QTest::mouseClick(w.Command7, Qt::LeftButton);
    drag(&plot, point_at(plot, 200, 12), point_at(plot, 230, 11));
    QCOMPARE(boxes().xmin[1], 150.0f);
    type_into(w.Text4, "160");
    drag(&plot, point_at(plot, 200, 12), point_at(plot, 230, 11));
    drag(&plot, point_at(plot, 300, 11), point_at(plot, 260, 19));
    QCOMPARE(boxes().xmin[1], 160.0f);
    click_and_wait(w, w.Command2);
    type_into(w.Text4, "9");  // a new crop on a result: no box follows the mouse
    hover(&plot, point_at(plot, 300, 12));
    QCOMPARE(count_pixels(plot, kPink), 0);
}

void WindowTest::reportAsTheCommandLine_data()
{
    QTest::addColumn<ModelFamily>("family");
    for (const ModelFamily family :
         {ModelFamily::SimpleRamp, ModelFamily::SymmetricEvent, ModelFamily::AsymmetricEvent,
          ModelFamily::Free4Segments, ModelFamily::Free3Segments, ModelFamily::EventWithDuration})
        QTest::newRow(family_caption(family).data()) << family;
}

void WindowTest::reportAsTheCommandLine()
{
    QFETCH(ModelFamily, family);
    frmMain& w = *m_window;
    prepare_search(w, kSample, "150", "450", "2", "60", family);
    click_and_wait(w, w.Command2);
    QCOMPARE(shown_report(w), fit_report_for(w, kSample, family, false));
    QCOMPARE(w.Label8->Caption(), QStringLiteral("120"));
    // The best of best and the convergence trace (drawn from its fifth point) reach their last
    // points: red within two pixels of the last segment's middle.
    const auto red_near = [](const PictureBox& plot, float x0, float y0, float x1, float y1) {
        return color_near(plot, (x0 + x1) / 2, (y0 + y1) / 2, kRed, 2);
    };
    QTest::mouseClick(w.Check2, Qt::LeftButton);  // "Show constraint" off: the boxes hide none
    const Model best = w.session.best();
    const auto& x = best.x;
    const auto& y = best.y;
    std::size_t k = 5;
    while (x[k] == x[k + 1])  // vertices past the family's own copy the last
        --k;
    QVERIFY(red_near(*w.Picture1, x[k], y[k], x[k + 1], y[k + 1]));
    const auto trace = w.session.trace();
    const std::size_t last = trace.size() - 1;
    if (last > 4)
        QVERIFY(red_near(*w.Picture3, trace[last - 1].x, trace[last - 1].y, trace[last].x,
                         trace[last].y));
    QVERIFY(!w.ProgressBar1->Visible() && !w.ProgressBar2->Visible());
    QCOMPARE(screen_mouse_pointer(), pointer::kDefault);
    QTest::mouseClick(w.Check1, Qt::LeftButton);  // "Constrain": inside the first search's boxes
    click_and_wait(w, w.Command2);
    QCOMPARE(shown_report(w), fit_report_for(w, kSample, family, true));
}

void WindowTest::picturesOfAResult()
{
    frmMain& w = *m_window;
    prepare_search(w, kSample, "150", "450", "2", "60", ModelFamily::SymmetricEvent);
    click_and_wait(w, w.Command2);
    PictureBox& plot = *w.Picture1;
    QVERIFY(count_pixels(*w.Picture3, kRed) > 0);  // the convergence trace
    // Dragging a box's edge moves the levels the family ties: the baseline's boxes 1, 2, 4, 5.
    QTest::mouseClick(w.Check1, Qt::LeftButton);
    BoxLimits set{{0, 150, 250, 300, 350, 400, 450}, {0, 150, 280, 330, 380, 430, 480}, {}, {}};
    set.ymin.fill(11);
    set.ymax.fill(12);
    w.session.set_constraint_boxes(set);
    const auto boxes = [&w] { return w.session.constraint_boxes(); };
    for (const auto& [x, y, code] : {std::tuple{250.0, 11.5, pointer::kSizeHorizontal},  // box 2's
                                     {265.0, 12.0, pointer::kSizeVertical}}) {  // left, its top
        hover(&plot, point_at(plot, x, y));
        QCOMPARE(plot.MousePointer(), code);
    }
    drag(&plot, point_at(plot, 265, 12), point_at(plot, 265, 14));
    const Vertices top = boxes().ymax;
    QCOMPARE((QList<float>{top[1], top[4], top[5], top[3]}),
             (QList<float>{top[2], top[2], top[2], 12}));
    QVERIFY(top[2] > 13.5f && top[2] < 14.5f);
    // The sampling frames, a tenth of a box wider each side, of the interior boxes 2 to 4 only.
    for (const double x : {247.0, 297.0, 347.0})
        QCOMPARE(pixel_at(plot, x, 10.95), kPaleGreen);
    QVERIFY(color_near(plot, 297, 12.1, kPaleGreen));  // the third's top, above its box's
    // Unticking "Show constraint" leaves no green: none of it was the last candidate.
    QTest::mouseClick(w.Check2, Qt::LeftButton);
    QCOMPARE(count_pixels(plot, kGreen) + count_pixels(plot, kPaleGreen), 0);
    QVERIFY(count_pixels(plot, kOrange) > 0);
    const Model best = w.session.best();
    for (std::size_t k = 1; k <= 4; ++k)  // the best of best through its vertices
        QCOMPARE(pixel_at(plot, (best.x[k] + best.x[k + 1]) / 2,
                          (best.y[k] + best.y[k + 1]) / 2), kRed);
    QTest::mouseClick(w.Command5, Qt::LeftButton);  // "Clean up diagram": the run bests go
    QCOMPARE(count_pixels(plot, kOrange), 0);
    QVERIFY(count_pixels(plot, kRed) > 0);
    QTest::mouseClick(w.Check2, Qt::LeftButton);  // shown again, and after a flip and back
    w.mnuFlipVertical1->trigger();
    w.mnuFlipVertical1->trigger();
    QCOMPARE(pixel_at(plot, 297, 10.95), kPaleGreen);
}

void WindowTest::searchCleanup_data()
{
    QTest::addColumn<ModelFamily>("family");
    QTest::addColumn<QString>("trials");
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<double>("later");  // the clock after the start: "Heavy task!!", answered No
    QTest::addColumn<int>("count");     // TrialCount at the end; -1: no search made
    QTest::addColumn<QStringList>("titles");  // but the estimate, each says tolvenar-fit's line
    const ModelFamily symmetric = ModelFamily::SymmetricEvent;
    // The symmetry index divides 0 by 0 after the unset break points and R were written.
    QTest::newRow("report fault") << ModelFamily::AsymmetricEvent << "0" << "150" << "450" << 0.0
                                  << 0 << QStringList{"Run"};
    QTest::newRow("No to the estimate") << symmetric << "500" << "150" << "450" << 1000.0 << 999
                                        << QStringList{"Heavy task!!"};
    // Said as the typed bound takes it (once, not per key), and for a Run, which searches nothing.
    QTest::newRow("crop past the data") << symmetric << "60" << "700." << "800" << 0.0 << -1
                                        << QStringList{"Crop", "Run"};
    QTest::newRow("crop between two points") << symmetric << "60" << "150.2" << "150.8" << 0.0
                                             << -1 << QStringList{"Run"};
}

void WindowTest::searchCleanup()
{
    QFETCH(ModelFamily, family);
    QFETCH(QString, trials);
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(double, later);
    QFETCH(int, count);
    QFETCH(QStringList, titles);
    frmMain& w = *m_window;
    prepare_search(w, kSample, from, to, QStringLiteral("2"), trials, family);
    int reads = 0;  // the clock stands at 0 for the start and reads `later` afterwards
    w.platform.MonotonicSeconds = [&reads, later] { return reads++ == 0 ? 0.0 : later; };
    m_dialogs.answer = kMsgBoxNo;
    click_and_wait(w, w.Command2);

    QCOMPARE(w.session.trials_made(), std::max(count, 0));
    QCOMPARE(w.Label8->Caption(), QString::number(std::max(count, 0)));
    QCOMPARE(m_dialogs.titles, titles);
    if (later == 0)  // said once the bars are gone
        QCOMPARE(m_dialogs.prompts,
                 QStringList(titles.size(), fit_report_for(w, kSample, family, false).value(0)));
    QCOMPARE(m_dialogs.busy.count(true), later > 0 ? 1 : 0);
    QCOMPARE(m_dialogs.beeps, later > 0 ? 1 : 0);
    QVERIFY(!w.ProgressBar1->Visible() && !w.ProgressBar2->Visible() && !w.Frame6->isEnabled());
    QCOMPARE(screen_mouse_pointer(), pointer::kDefault);
    QCOMPARE(w.Label5->Caption(), count < 0 ? QStringLiteral("R = ")
                                            : qtext(number_text(w.session.best_r())));
    for (const QRgb colour : {kGreen, kOrange, kRed})
        QCOMPARE(count_pixels(*w.Picture1, colour), 0);  // the bare data again
}

// A ramp with noise, cropped whole by its typed ends: the report is tolvenar-fit's, and the
// working plot, which runs from the crop's origin, shows the data and the best of best.
// Julian days, Unix seconds (a span that single rounds down) and more points than 32767.
void WindowTest::generatedSeriesAsTheCommandLine()
{
    for (const auto& [start, step, rows] :
         {std::tuple{2460000.0, 1.0 / 24, 1000}, {1.7e9, 60.1, 1000}, {0.0, 1.0, 40000}}) {
        init();
        QByteArray csv = "x,y\n";
        const auto x = [&](int i) { return QByteArray::number(start + i * step, 'g', 17); };
        for (int i = 0; i < rows; ++i) {
            const double ramp =
                10.0 + 10.0 * std::clamp((i - 0.4 * rows) / (0.2 * rows), 0.0, 1.0);
            csv += x(i) + ',' + QByteArray::number(ramp + 0.3 * std::sin(i * 1.7)) + '\n';
        }
        QTemporaryDir dir;
        const QString path = write_file(dir, "ramp.csv", csv);
        frmMain& w = *m_window;
        prepare_search(w, path, QString::fromLatin1(x(0)), QString::fromLatin1(x(rows - 1)),
                       QStringLiteral("2"), QStringLiteral("30"), ModelFamily::SimpleRamp);
        QCOMPARE(w.session.crop_info().points, rows);
        click_and_wait(w, w.Command2);
        QCOMPARE(shown_report(w), fit_report_for(w, path, ModelFamily::SimpleRamp, false));
        for (const Label* l : w.Label2)  // every digit shown, in a smaller font where needed
            QVERIFY(l->fontMetrics().horizontalAdvance(l->Caption()) <= l->contentsRect().width());
        QCOMPARE(w.Picture1->ScaleLeft(), start > 1e6 ? 0.0f : to_single(start));  // model x
        QVERIFY(count_pixels(*w.Picture1, kBlue) > rows / 40 &&
                count_pixels(*w.Picture1, kRed) > 0);
    }
}

void WindowTest::reimportShowsTheNewRange()
{
    import_file(*m_window, example_path("gauge_with_gaps.csv"));  // y about 85, the sample's 11
    frmMain& w = imported();
    frmMain fresh;
    import_file(fresh, example_path(kSample));
    QCOMPARE(view(w), view(fresh));
    QCOMPARE(w.Picture1->Image(), fresh.Picture1->Image());
    QCOMPARE(w.Picture2->Image(), fresh.Picture2->Image());
}

// After a search with "Constrain" ticked: the runs typed (0), the crop dragged past the data (1),
// then also its right edge (3), a file imported (2).
void WindowTest::resultsGoWithTheirCrop()
{
    for (int change = 0; change < 4; ++change) {
        init();
        frmMain& w = *m_window;
        QByteArray csv = "x,y\n";
        for (int i = 0; i < 40000; ++i)
            csv += QByteArray::number(i) + (i % 7 ? ",1\n" : ",2\n");
        QTemporaryDir dir;
        const QString path = write_file(dir, "long.csv", csv);
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        import_file(w, path);
        type_into(w.Text8, QStringLiteral("80000"));  // the strip reaches past the data
        type_into(w.Text3[0], QStringLiteral("60"));
        click_and_wait(w, w.Command2);
        QTest::mouseClick(w.Check1, Qt::LeftButton);
        const QStringList report = shown_report(w);
        PictureBox& strip = *w.Picture2;
        switch (change) {
        case 0:
            w.Text3[0]->setFocus();
            QTest::keyClick(w.Text3[0], Qt::Key_Tab);  // the fields in reading order: the runs next
            type_into(w.Text6, QStringLiteral("3"));
            QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w.Text6));
            break;
        case 1:  // the window dragged to the strip's end: its reason once, where the mouse let go
        case 3:
            drag(&strip, point_at(strip, w.Shape1->Left() + w.Shape1->Width() / 2, 1),
                 point_at(strip, 80000, 1));
            QCOMPARE(m_dialogs.titles, QStringList{"Crop"});
            QVERIFY(m_dialogs.prompts[0].endsWith(QStringLiteral("(the last data x is 39999)")));
            if (change == 3) {  // said again for an edge's drag
                drag(&strip, point_at(strip, w.Shape1->Left() + w.Shape1->Width(), 1),
                     point_at(strip, 79000, 1));
                QCOMPARE(m_dialogs.titles, (QStringList{"Crop", "Crop"}));
            }
            break;
        default: import_file(w, example_path(kSample));
        }
        QVERIFY(w.Check1->Value() == 0 && !w.Check1->isEnabled());
        QCOMPARE(w.session.constraint_boxes().xmin[1], kEmptyLowerLimit);
        QCOMPARE(count_pixels(*w.Picture1, kRed), 0);
        QCOMPARE(shown_report(w), change == 0 ? report : QStringList{});  // a run count keeps it
        if (change != 0)  // "Simple ramp" stays selected: its measure's bare caption
            QCOMPARE(w.Label6->Caption(), QStringLiteral("Duration of change ="));
    }
}

void WindowTest::searchStopsAndDropsInput()
{
    for (const bool close : {false, true}) {  // Escape, or the window closed
        init();
        frmMain& w = *m_window;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        prepare_search(w, kSample, "150", "450", "3", "100000", ModelFamily::SymmetricEvent);
        w.platform.MonotonicSeconds = [] { return 0.0; };  // no time estimate to answer
        // Posted while the search runs: clicks on "Reset" and on another family, then the stop.
        QTimer::singleShot(0, &w, [&w, close] {
            for (QWidget* target : std::initializer_list<QWidget*>{w.Command7, w.Option1[3]}) {
                const QPoint at = target->rect().center(), screen = target->mapToGlobal(at);
                for (const auto& [type, held] : {std::pair{QEvent::MouseButtonPress, Qt::LeftButton},
                                                {QEvent::MouseButtonRelease, Qt::NoButton}})
                    QCoreApplication::postEvent(
                        target, new QMouseEvent(type, at, screen, Qt::LeftButton, held, {}));
            }
            QCoreApplication::postEvent(
                &w, close ? static_cast<QEvent*>(new QCloseEvent)
                          : new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, {}));
        });
        QTest::mouseClick(w.Command2, Qt::LeftButton);
        w.Work->wait_until_idle();
        QVERIFY(w.session.trials_made() < 100000);  // within the first run
        QTRY_COMPARE(w.isVisible(), !close);
        // The best so far is the result, drawn and reported; the clicks never arrive.
        QVERIFY(w.state.BestOfBestShown && w.Frame6->isEnabled() && w.Label5->Enabled());
        QVERIFY(count_pixels(*w.Picture1, kRed) > 0 && w.Option1[2]->Value());
    }
}

QTEST_MAIN(WindowTest)
#include "tst_window.moc"
