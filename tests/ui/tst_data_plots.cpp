// SPDX-License-Identifier: GPL-3.0-or-later
// The data plots: which segments DrawCrop draws and measures, the single-precision right edge,
// WipePicture1, DrawPreview with the import's progress bar, and their faults.
#include "core/runtime/fault.h"
#include "ui_fixture.h"

#include <QtTest>

#include <memory>

using namespace tolvenar;
using namespace tolvenar::test;

class DataPlotsTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup() { m_window.reset(); }

    void drawCropDrawsAndMeasuresOverlappingSegments_data();
    void drawCropDrawsAndMeasuresOverlappingSegments();
    void drawCropTwiceKeepsTheExtent();
    void singleRowDrawsNothing();
    void rightEdgeIsRoundedToSingle();
    void drawCropFaults();
    void wipeBlanksAndPersists();
    void previewDrawsTheSeriesAndAdvancesTheProgressBar();
    void previewAfterACropLeavesTheProgressBar();
    void previewFaults();

private:
    void startMeasurement();
    std::unique_ptr<frmMain> m_window;
};

void DataPlotsTest::init()
{
    m_window = std::make_unique<frmMain>();
    frmMain& w = *m_window;
    // Rising by one per unit of x: the segments' middles are (5, 5), (15, 15), (25, 25), (35, 35).
    place_rows(w, {{0, 0}, {10, 10}, {20, 20}, {30, 30}, {40, 40}});
    w.Picture2->setScaleLeft(0);
    w.Picture2->setScaleWidth(100);
    // One user unit per pixel, y downwards, over the whole series whatever the crop window.
    w.Picture1->setScaleLeft(0);
    w.Picture1->setScaleWidth(221);
    w.Picture1->setScaleTop(0);
    w.Picture1->setScaleHeight(293);
    w.Picture1->setBackColor(kWhite);
}

void DataPlotsTest::startMeasurement()
{
    m_window->state.CropMinY = 999999.0f;
    m_window->state.CropMaxY = -999999.0f;
}

void DataPlotsTest::drawCropDrawsAndMeasuresOverlappingSegments_data()
{
    QTest::addColumn<float>("left");
    QTest::addColumn<float>("width");
    QTest::addColumn<QList<int>>("drawn");
    QTest::addColumn<float>("minY");
    QTest::addColumn<float>("maxY");
    // The first point left of the window is never measured, the first one right of it is.
    QTest::newRow("inside") << 12.f << 16.f << QList<int>{2, 3} << 20.f << 30.f;
    QTest::newRow("left edge on a data x") << 10.f << 5.f << QList<int>{2} << 20.f << 20.f;
    QTest::newRow("right edge on a data x") << 12.f << 8.f << QList<int>{2} << 20.f << 20.f;
    QTest::newRow("between two points") << 12.f << 4.f << QList<int>{2} << 20.f << 20.f;
    QTest::newRow("starts left of the data") << -5.f << 10.f << QList<int>{1} << 10.f << 10.f;
    QTest::newRow("ends right of the data") << 35.f << 20.f << QList<int>{4} << 40.f << 40.f;
    QTest::newRow("all of it") << -1.f << 50.f << QList<int>{1, 2, 3, 4} << 10.f << 40.f;
    QTest::newRow("right of the data") << 50.f << 10.f << QList<int>{} << 999999.f << -999999.f;
}

void DataPlotsTest::drawCropDrawsAndMeasuresOverlappingSegments()
{
    QFETCH(float, left);
    QFETCH(float, width);
    QFETCH(QList<int>, drawn);
    QFETCH(float, minY);
    QFETCH(float, maxY);
    frmMain& w = *m_window;
    w.Shape1->setLeft(left);
    w.Shape1->setWidth(width);
    startMeasurement();
    w.DrawCrop();
    for (int segment = 1; segment <= 4; ++segment) {
        const double middle = segment * 10 - 5;
        const QRgb expected = drawn.contains(segment) ? kBlue : kWhite;
        QCOMPARE(pixel_at(*w.Picture1, middle, middle), expected);
    }
    // Drawn segments run to their ends, beyond the window: the plot clips, not DrawCrop.
    if (drawn.contains(1))
        QCOMPARE(pixel_at(*w.Picture1, 1, 1), kBlue);
    QCOMPARE(w.state.CropMinY, minY);
    QCOMPARE(w.state.CropMaxY, maxY);
    QVERIFY(w.state.CropDrawn);
}

void DataPlotsTest::drawCropTwiceKeepsTheExtent()
{
    frmMain& w = *m_window;
    w.Shape1->setLeft(12);
    w.Shape1->setWidth(16);
    startMeasurement();
    w.DrawCrop();
    const int blue = count_pixels(*w.Picture1, kBlue);
    w.DrawCrop();
    QCOMPARE(count_pixels(*w.Picture1, kBlue), blue);
    QCOMPARE(w.state.CropMinY, 20.0f);
    QCOMPARE(w.state.CropMaxY, 30.0f);
}

void DataPlotsTest::singleRowDrawsNothing()
{
    frmMain& w = *m_window;
    place_rows(w, {{5, 5}});
    w.Shape1->setLeft(0);
    w.Shape1->setWidth(10);
    startMeasurement();
    w.DrawCrop();
    QCOMPARE(count_pixels(*w.Picture1, kBlue), 0);
    QCOMPARE(w.state.CropMinY, 999999.0f);
    QCOMPARE(w.state.CropMaxY, -999999.0f);
    QVERIFY(w.state.CropDrawn);
}

void DataPlotsTest::rightEdgeIsRoundedToSingle()
{
    // 0.1f + 0.2f is 0.30000000447 in double but 0.30000001192 as a single: a row at 0.30000001
    // lies inside the single-precision window only, so its segment onwards is drawn and measured.
    frmMain& w = *m_window;
    place_rows(w, {{0.0, 1.0}, {0.30000001, 2.0}, {1.0, 3.0}, {2.0, 4.0}});
    w.Picture2->setScaleWidth(2);
    w.Shape1->setLeft(0.1);
    w.Shape1->setWidth(0.2);
    QCOMPARE(w.Shape1->Left(), 0.1f);  // what DrawCrop reads is what was written
    QCOMPARE(w.Shape1->Width(), 0.2f);
    startMeasurement();
    w.DrawCrop();
    QCOMPARE(w.state.CropMinY, 2.0f);
    QCOMPARE(w.state.CropMaxY, 3.0f);
}

void DataPlotsTest::drawCropFaults()
{
    frmMain fresh;
    QCOMPARE(fault_of([&] { fresh.DrawCrop(); }), FaultKind::IndexOutOfRange);  // no table yet
    QVERIFY(!fresh.state.CropDrawn);

    frmMain& w = *m_window;
    put_text_y(w, 3, "---");
    w.Shape1->setLeft(12);
    w.Shape1->setWidth(16);
    QCOMPARE(fault_of([&] { w.DrawCrop(); }), FaultKind::TypeMismatch);
    QVERIFY(!w.state.CropDrawn);
}

void DataPlotsTest::wipeBlanksAndPersists()
{
    frmMain& w = *m_window;
    const int area = w.Picture1->contentsRect().width() * w.Picture1->contentsRect().height();
    for (bool mirrored : {false, true}) {
        if (mirrored) {
            w.Picture1->setScaleTop(293);
            w.Picture1->setScaleHeight(-293);
        }
        w.Picture1->setBackColor(qRgb(240, 240, 240));
        w.Picture1->Line(0, 10, 221, 10, kRed);
        w.Frame3->setEnabled(true);
        w.Command3->setEnabled(true);
        w.WipePicture1();
        QCOMPARE(count_pixels(*w.Picture1, kWhite), area);
        w.Picture1->Cls();
        QCOMPARE(count_pixels(*w.Picture1, kWhite), area);
        QVERIFY(!w.Command3->Enabled());
    }
}

void DataPlotsTest::previewDrawsTheSeriesAndAdvancesTheProgressBar()
{
    frmMain& w = *m_window;
    // One unit per pixel on the strip too; y downwards.
    w.Picture2->setScaleWidth(669);
    w.Picture2->setScaleTop(0);
    w.Picture2->setScaleHeight(61);
    w.Picture2->setBackColor(kWhite);
    w.Picture2->Line(0, 50, 600, 50, kRed);  // not persisted: DrawPreview starts by clearing
    w.ProgressBar1->setMin(0);
    w.ProgressBar1->setMax(5);
    w.ProgressBar1->setValue(0);
    w.DrawPreview();
    QCOMPARE(count_pixels(*w.Picture2, kRed), 0);
    for (double x : {5.0, 15.0, 25.0, 35.0})
        QCOMPARE(pixel_at(*w.Picture2, x, x), kBlue);
    QCOMPARE(w.ProgressBar1->Value(), 4.0f);  // rows 1..DataCount - 1
    QVERIFY(w.state.PreviewDrawn);
}

void DataPlotsTest::previewAfterACropLeavesTheProgressBar()
{
    frmMain& w = *m_window;
    w.state.CropDrawn = true;
    w.ProgressBar1->setValue(0);
    w.DrawPreview();
    QCOMPARE(w.ProgressBar1->Value(), 0.0f);
    QVERIFY(w.state.PreviewDrawn);
}

void DataPlotsTest::previewFaults()
{
    frmMain fresh;
    QCOMPARE(fault_of([&] { fresh.DrawPreview(); }), FaultKind::IndexOutOfRange);
    QVERIFY(!fresh.state.PreviewDrawn);

    frmMain& w = *m_window;
    put_text_y(w, 4, "BREAK");
    QCOMPARE(fault_of([&] { w.DrawPreview(); }), FaultKind::TypeMismatch);
    QVERIFY(!w.state.PreviewDrawn);
    QCOMPARE(w.ProgressBar1->Value(), 2.0f);  // rows 1 and 2 were drawn before row 4's text
}

QTEST_MAIN(DataPlotsTest)
#include "tst_data_plots.moc"
