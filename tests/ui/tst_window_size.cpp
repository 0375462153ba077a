// SPDX-License-Identifier: GPL-3.0-or-later
// The window resized and maximised: the plots map data to pixels at the size they have, for the
// mouse as for their drawings; the controls keep their places beside the plots; a drawing made
// before a resize is the one made at the new size.
#include "window_fixture.h"

using namespace tolvenar;
using namespace tolvenar::test;

namespace {

constexpr const char* kSample = "symmetric_event.csv";  // x = 0, 1, ..., 600: row r holds r - 1

void add_sizes()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("design") << frmMain::design_size();
    QTest::newRow("wider") << QSize(1100, 539);
    QTest::newRow("taller") << QSize(705, 900);
    QTest::newRow("1280 x 1024") << QSize(1280, 1024);
    QTest::newRow("maximised on 1920 x 1080") << QSize(1920, 1080);
}

// Where each control lies from the corner of the plot (or the window) it sits by.
QList<QPoint> places(const frmMain& w)
{
    const QRect strip = w.Picture2->geometry();
    const QRect plot = w.Picture1->geometry();
    const QRect trace = w.Picture3->geometry();
    const QRect window = w.rect();
    const auto at = [](const QWidget* control) { return control->geometry(); };
    return {strip.topLeft(),
            window.topRight() - strip.topRight(),
            at(w.Text7).topLeft() - strip.bottomLeft(),
            at(w.Text8).topRight() - strip.bottomRight(),
            trace.topLeft() - strip.bottomLeft(),
            at(w.Label7).bottomLeft() - trace.topLeft(),
            at(w.Label8).bottomRight() - trace.topRight(),
            plot.topLeft() - trace.bottomLeft(),
            plot.topRight() - trace.bottomRight(),
            at(w.Text1).topLeft() - plot.topRight(),
            at(w.Text2).bottomLeft() - plot.bottomRight(),
            at(w.Text4).topLeft() - plot.bottomLeft(),
            at(w.Text5).topRight() - plot.bottomRight(),
            at(w.Command1).topLeft() - trace.topLeft(),
            at(w.Frame4).topLeft() - trace.topLeft(),
            at(w.Command7).topLeft() - trace.topLeft(),
            at(w.Frame6).topLeft() - trace.topLeft(),
            at(w.Command6).bottomLeft() - plot.bottomLeft(),
            at(w.Command4).bottomLeft() - plot.bottomLeft(),
            at(w.Frame1).topLeft() - trace.topRight(),
            at(w.Frame5).bottomLeft() - plot.bottomRight(),
            at(w.ProgressBar1).topLeft() - window.bottomLeft(),
            at(w.ProgressBar2).bottomRight() - window.bottomRight()};
}

}  // namespace

class WindowSizeTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void controlsBesideThePlots_data() { add_sizes(); }
    void controlsBesideThePlots();
    void plotsTakeTheMouseAtTheirSize_data() { add_sizes(); }
    void plotsTakeTheMouseAtTheirSize();
    void drawingsFollowTheSize();

private:
    QList<QPoint> m_designPlaces;
    QString m_firstBound;  // Text5 after the first import at the design size
};

void WindowSizeTest::initTestCase()
{
    frmMain w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(w.size(), frmMain::design_size());
    m_designPlaces = places(w);
    import_file(w, example_path(kSample));
    m_firstBound = w.Text5->Text();
}

void WindowSizeTest::controlsBesideThePlots()
{
    QFETCH(QSize, size);
    frmMain w;
    w.show();
    w.resize(size);
    QCOMPARE(w.size(), size);
    QCOMPARE(places(w), m_designPlaces);
    w.resize(400, 300);  // no smaller than designed
    QCOMPARE(w.size(), frmMain::design_size());
}

// A crop edge grabbed where the strip shows it and dragged to a data x takes that x; a data
// point is drawn at its pixel on the working plot; a box drawn from one data point to another
// spans them.
void WindowSizeTest::plotsTakeTheMouseAtTheirSize()
{
    QFETCH(QSize, size);
    frmMain w;
    w.resize(size);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    import_file(w, example_path(kSample));
    QCOMPARE(w.Text5->Text(), m_firstBound);  // the marker kept its share of the strip

    PictureBox& strip = *w.Picture2;
    const double pixel = strip.ScaleWidth() / strip.contentsRect().width();
    const double row = strip.ScaleTop() + strip.ScaleHeight() / 2;  // a drag's y plays no part
    const auto right_edge = [&w] { return w.Shape1->Left() + w.Shape1->Width(); };
    drag(&strip, point_at(strip, right_edge(), row), point_at(strip, 450, row));
    QCOMPARE(right_edge(), reported_x(strip, 450));
    QVERIFY2(std::abs(right_edge() - 450) <= pixel / 2, qPrintable(w.Text5->Text()));
    drag(&strip, point_at(strip, w.Shape1->Left(), row), point_at(strip, 150, row));
    QCOMPARE(w.Shape1->Left(), reported_x(strip, 150));
    QVERIFY2(std::abs(w.Shape1->Left() - 150) <= pixel / 2, qPrintable(w.Text4->Text()));

    PictureBox& plot = *w.Picture1;
    const DataTable& table = w.session.table();
    const auto data_y = [&table](int x) { return cell_number(table.y_cell(x + 1)); };
    for (const int x : {200, 300, 400})
        QVERIFY2(color_near(plot, x, data_y(x), kBlue), qPrintable(QString::number(x)));

    QTest::mouseClick(w.Option1[0], Qt::LeftButton);  // "Manual constraint"
    drag(&plot, point_at(plot, 200, data_y(200)), point_at(plot, 240, data_y(240)));
    drag(&plot, point_at(plot, 280, data_y(280)), point_at(plot, 320, data_y(320)));
    const BoxLimits boxes = w.session.manual_boxes();
    const auto user_y = [&plot](double y) {
        const int row = point_at(plot, 0, y).y() - plot.contentsRect().top();
        return to_single(plot.axisY().user_at(row * kTwipsPerPixel));
    };
    QCOMPARE((QList<float>{boxes.xmin[2], boxes.xmax[2]}),
             (QList<float>{reported_x(plot, 280), reported_x(plot, 320)}));
    QCOMPARE((QList<float>{boxes.ymin[2], boxes.ymax[2]}),
             (QList<float>{std::min(user_y(data_y(280)), user_y(data_y(320))),
                           std::max(user_y(data_y(280)), user_y(data_y(320)))}));
    QVERIFY(color_near(plot, 320, data_y(320), kPink));
}

// The plots drawn at the design size, then resized, show what plots drawn at the new size show;
// back at the design size, what they showed. The crop window stands for the same crop throughout.
void WindowSizeTest::drawingsFollowTheSize()
{
    const QSize large(1280, 1024);
    const auto searched = [](frmMain& w) {
        prepare_search(w, kSample, "150", "450", "2", "60", ModelFamily::SymmetricEvent);
        click_and_wait(w, w.Command2);
    };
    frmMain w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    searched(w);
    const QImage plot = w.Picture1->Image();
    const QImage strip = w.Picture2->Image();
    const QList<float> marker{w.Shape1->Left(), w.Shape1->Width(), w.Shape1->Top(),
                              w.Shape1->Height()};

    w.resize(large);
    QCOMPARE((QList<float>{w.Shape1->Left(), w.Shape1->Width(), w.Shape1->Top(),
                           w.Shape1->Height()}),
             marker);
    frmMain drawn_large;
    drawn_large.resize(large);
    drawn_large.show();
    QVERIFY(QTest::qWaitForWindowExposed(&drawn_large));
    searched(drawn_large);
    QCOMPARE(w.Picture1->Image(), drawn_large.Picture1->Image());
    QCOMPARE(w.Picture2->Image(), drawn_large.Picture2->Image());
    QCOMPARE(w.Shape1->geometry(), drawn_large.Shape1->geometry());

    w.resize(frmMain::design_size());
    QCOMPARE(w.Picture1->Image(), plot);
    QCOMPARE(w.Picture2->Image(), strip);
}

QTEST_MAIN(WindowSizeTest)
#include "tst_window_size.moc"
