// SPDX-License-Identifier: GPL-3.0-or-later
// The window as a user sees it after importing a sample and dragging the crop window over its
// event: the strip's polyline, the red window rectangle over it and the cropped data filling the
// working plot, checked on the rendered window. With TOLVENAR_CROP_SCREENSHOT set to a file name
// the rendering is saved there as PNG (docs/crop_window.png is made this way).
#include "import_fixture.h"
#include "ui_fixture.h"

#include <QImage>
#include <QPixmap>
#include <QtTest>

using namespace tolvenar;
using namespace tolvenar::test;

class CropScreenshotTest : public QObject {
    Q_OBJECT

private slots:
    void croppedEventOnTheWorkingPlot();
};

void CropScreenshotTest::croppedEventOnTheWorkingPlot()
{
    frmMain w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    import_file(w, example_path("asymmetric_event.csv"));
    QCOMPARE(w.state.data.DataCount, 801);
    PictureBox& strip = *w.Picture2;
    constexpr int kRow = 30;

    // The right edge out to 600 min, then the whole window 300 min to the right: 300 to 900.
    QTest::mousePress(&strip, Qt::LeftButton, {},
                      QPoint(column_at(strip, w.Shape1->Left() + w.Shape1->Width()), kRow));
    QTest::mouseMove(&strip, QPoint(column_at(strip, 600), kRow));
    QTest::mouseRelease(&strip, Qt::LeftButton, {}, QPoint(column_at(strip, 600), kRow));
    QTest::mousePress(&strip, Qt::LeftButton, {}, QPoint(column_at(strip, 300), kRow));
    QTest::mouseMove(&strip, QPoint(column_at(strip, 450), kRow));
    QTest::mouseMove(&strip, QPoint(column_at(strip, 600), kRow));
    QTest::mouseRelease(&strip, Qt::LeftButton, {}, QPoint(column_at(strip, 600), kRow));
    QVERIFY(qAbs(w.Text4->Text().toDouble() - 300) < 3);
    QVERIFY(qAbs(w.Text5->Text().toDouble() - 900) < 3);
    QVERIFY(w.state.CropCount > 390);

    const QImage shot = w.grab().toImage();
    const QRect strip_area = strip.geometry();
    const QRect plot_area = w.Picture1->geometry();
    const QRect window_area(strip_area.topLeft() + w.Shape1->geometry().topLeft(),
                            w.Shape1->geometry().size());
    // The red rectangle: its left and right sides run the strip's height.
    const QRect left_side(window_area.left(), window_area.top(), 1, window_area.height());
    const QRect right_side(window_area.right(), window_area.top(), 1, window_area.height());
    QVERIFY(count_in(shot, left_side, kRed) > window_area.height() * 3 / 4);
    QVERIFY(count_in(shot, right_side, kRed) > window_area.height() * 3 / 4);
    // The series on the strip, and the cropped data across the working plot.
    QVERIFY(count_in(shot, strip_area, kBlue) > strip_area.width());
    const int plot_blue = count_in(shot, plot_area, kBlue);
    QVERIFY(plot_blue > plot_area.width());
    for (int part = 0; part < 4; ++part) {
        const QRect quarter(plot_area.left() + part * plot_area.width() / 4, plot_area.top(),
                            plot_area.width() / 4, plot_area.height());
        QVERIFY2(count_in(shot, quarter, kBlue) > 0, "the data fill the working plot's width");
    }

    const QString file = qEnvironmentVariable("TOLVENAR_CROP_SCREENSHOT");
    if (!file.isEmpty())
        QVERIFY2(shot.save(file, "PNG"), qPrintable(file));
}

QTEST_MAIN(CropScreenshotTest)
#include "tst_crop_screenshot.moc"
