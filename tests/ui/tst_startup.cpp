// SPDX-License-Identifier: GPL-3.0-or-later
// The window after start-up: what is enabled, captions and design values, label moves, program
// state, geometry, icons, menus, focus and Quit.
#include "ui/app/frm_main.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QtTest>

#include <memory>

using namespace tolvenar;

class StartupTest : public QObject {
    Q_OBJECT

private slots:
    void init() { m_window = std::make_unique<frmMain>(); }
    void cleanup() { m_window.reset(); }

    void captionAndClientArea();
    void fileCaption();
    void onlyImportAndQuitTakeInput();
    void ownEnabledFlagsAfterStartup_data();
    void ownEnabledFlagsAfterStartup();
    void designCaptions_data();
    void designCaptions();
    void resultLabelsMovedDown();
    void programStateStartValues();
    void familySelectionAndNodeCount();
    void layoutInPixels();
    void fineSamplingFrameHiddenInsideModelFrame();
    void iconsGreyWithTheirStrokes();
    void popupMenus();
    void importDataHasTheFocusAndComesFirst();
    void quitClosesTheWindow();

private:
    std::unique_ptr<frmMain> m_window;
};

void StartupTest::captionAndClientArea()
{
    QCOMPARE(m_window->Caption(), QStringLiteral("Tolvenar 1.5"));
    QCOMPARE(m_window->size(), QSize(705, 539));
    QCOMPARE(m_window->minimumSize(), m_window->maximumSize());
    QCOMPARE(m_window->font().family(), QStringLiteral("Arial"));
    QCOMPARE(m_window->font().pointSize(), 9);
    QVERIFY(!m_window->font().bold());
}

void StartupTest::fileCaption()
{
    m_window->ShowFileInCaption(QStringLiteral("/data/run 3.csv"));
    QCOMPARE(m_window->Caption(), QStringLiteral("Tolvenar 1.5  (/data/run 3.csv)"));
}

void StartupTest::onlyImportAndQuitTakeInput()
{
    frmMain& w = *m_window;
    QList<QWidget*> usable;
    for (QWidget* widget : w.findChildren<QWidget*>()) {
        const bool takes_input = widget->isEnabled() && widget->isVisibleTo(&w)
                                 && widget->focusPolicy() != Qt::NoFocus;
        if (takes_input)
            usable << widget;
    }
    QCOMPARE(usable.size(), 2);
    QVERIFY(usable.contains(w.Command1));
    QVERIFY(usable.contains(w.Command4));
    for (PictureBox* plot : {w.Picture1, w.Picture2, w.Picture3})
        QVERIFY(plot->isEnabled());
}

void StartupTest::ownEnabledFlagsAfterStartup_data()
{
    QTest::addColumn<bool>("ownEnabled");
    for (const char* name : {"Command1", "Command4", "Picture1", "Picture2", "Picture3", "Image1"})
        QTest::newRow(name) << true;
    for (const char* name :
         {"Text1", "Text2", "Text4", "Text5", "Text7", "Text8", "Command2", "Command3", "Command5",
          "Command6", "Command7", "Check1", "Check2", "Frame1", "Frame3", "Frame4", "Frame5",
          "Frame6", "Text3(0)", "Text3(1)", "Text6", "Label1(0)", "Label1(1)", "Label4", "Label7",
          "Label8", "Label5", "Label6", "Label2(1)", "Label3(6)", "Option1(0)", "Option1(1)",
          "Option1(6)"})
        QTest::newRow(name) << false;
}

void StartupTest::ownEnabledFlagsAfterStartup()
{
    QFETCH(bool, ownEnabled);
    auto* control = m_window->findChild<QWidget*>(QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY(control);
    // The control's own flag: frames grey their members without changing it.
    QCOMPARE(!control->testAttribute(Qt::WA_ForceDisabled), ownEnabled);
}

void StartupTest::designCaptions_data()
{
    QTest::addColumn<QString>("actual");
    QTest::addColumn<QString>("expected");
    frmMain w;
    const auto row = [](const char* name, const QString& actual, const char* expected) {
        QTest::newRow(name) << actual << QString::fromUtf8(expected);
    };
    row("Command1", w.Command1->Caption(), "Import data");
    row("Command2", w.Command2->Caption(), "Run");
    row("Command3", w.Command3->Caption(), "Run");
    row("Command4", w.Command4->Caption(), "Quit");
    row("Command5", w.Command5->Caption(), "Clean up diagram");
    row("Command6", w.Command6->Caption(), "Save");
    row("Command7", w.Command7->Caption(), "Reset");
    row("Check1", w.Check1->text(), "Constrain");
    row("Check2", w.Check2->text(), "Show constraint");
    row("Frame1", w.Frame1->Caption(), " Fitting model ");
    row("Frame3", w.Frame3->Caption(), " Fine sampling ");
    row("Frame4", w.Frame4->Caption(), " Monte Carlo simulation");
    row("Frame5", w.Frame5->Caption(), " Best fitting ");
    row("Frame6", w.Frame6->Caption(), " Display setting");
    row("Text3(0)", w.Text3[0]->Text(), "1000");
    row("Text3(1)", w.Text3[1]->Text(), "1000");
    row("Text6", w.Text6->Text(), "10");
    row("Text1", w.Text1->Text(), "");
    row("Text8", w.Text8->Text(), "");
    row("Label1(0)", w.Label1[0]->Caption(), "times");
    row("Label1(1)", w.Label1[1]->Caption(), "times");
    row("Label4", w.Label4->Caption(), "X");
    row("Label7", w.Label7->Caption(), "0");
    row("Label8", w.Label8->Caption(), "0");
    row("Label2(1)", w.Label2[1]->Caption(), "X1 =");
    row("Label2(6)", w.Label2[6]->Caption(), "X6 =");
    row("Label3(3)", w.Label3[3]->Caption(), "Y3 =");
    row("Label3(4)", w.Label3[4]->Caption(), "Y4=");
    row("Label3(5)", w.Label3[5]->Caption(), "Y5=");
    row("Label3(6)", w.Label3[6]->Caption(), "Y6=");
    row("Label5", w.Label5->Caption(), "R = ");
    row("Label6", w.Label6->Caption(), "Symmetry index = ");
    row("Option1(0)", w.Option1[0]->text(), "Manual constraint");
    row("Option1(1)", w.Option1[1]->text(), "Simple ramp");
    row("Option1(2)", w.Option1[2]->text(), "Symmetric event");
    row("Option1(3)", w.Option1[3]->text(), "Asymmetric event");
    row("Option1(4)", w.Option1[4]->text(), "Free 4 segments");
    row("Option1(5)", w.Option1[5]->text(), "Free 3 segments");
    row("Option1(6)", w.Option1[6]->text(), "Event with duration");
}

void StartupTest::designCaptions()
{
    QFETCH(QString, actual);
    QFETCH(QString, expected);
    QCOMPARE(actual, expected);
}

void StartupTest::resultLabelsMovedDown()
{
    frmMain& w = *m_window;
    for (int i = 1; i <= 6; ++i) {
        QCOMPARE(w.Label2[i]->Top(), 240 * i + 60);
        QCOMPARE(w.Label3[i]->Top(), 240 * i + 60);
        QCOMPARE(w.Label2[i]->y(), (240 * i + 60) / 15);
        QVERIFY(!w.Label2[i]->Enabled());
        QVERIFY(!w.Label3[i]->Enabled());
    }
    QCOMPARE(w.Label2[1]->Top(), 300);
    QCOMPARE(w.Label5->Top(), 1740);
    QCOMPARE(w.Label6->Top(), 1980);
}

void StartupTest::programStateStartValues()
{
    const ProgramState& s = m_window->state;
    QCOMPARE(s.CurrentSet, std::int16_t{1});
    QCOMPARE(s.NodeCount, std::int16_t{4});
    QCOMPARE(s.TrialCount, 0);
    QCOMPARE(s.ConvergenceCount, std::int16_t{0});
    QCOMPARE(s.ConvergenceTrace[0].x, 0.0f);
    QCOMPARE(s.ConvergenceTrace[1].x, 0.0f);
    QVERIFY(!s.BoxTyping && !s.PreviewDrawn && !s.CropDrawn && !s.BestOfBestShown);
    QVERIFY(!s.DragLeftEdge && !s.DragRightEdge && !s.DragWindow);
    QVERIFY(!s.BoxDrawing && !s.EdgeDragging && !s.FieldCheckFailed);
    QCOMPARE(s.EdgeBox, std::int16_t{0});
    QCOMPARE(static_cast<int>(s.EdgeSide), 0);
    QVERIFY(!s.data.allocated());
    QVERIFY(s.CropObserved.empty() && s.CropModel.empty());
    QCOMPARE(s.BestOfBestSqDist, 0.0f);  // sentinels arrive with the first import
}

void StartupTest::familySelectionAndNodeCount()
{
    frmMain& w = *m_window;
    for (int i = 0; i <= 6; ++i) {
        QCOMPARE(w.Option1[i]->Value(), i == 1);
        QVERIFY(!w.Option1[i]->Enabled());
    }
    QCOMPARE(w.Check1->Value(), 0);
    QCOMPARE(w.Check2->Value(), 1);
}

void StartupTest::layoutInPixels()
{
    frmMain& w = *m_window;
    QCOMPARE(w.Picture2->geometry(), QRect(16, 16, 673, 65));
    QCOMPARE(w.Picture1->geometry(), QRect(192, 192, 225, 297));
    QCOMPARE(w.Picture3->geometry(), QRect(192, 120, 225, 65));
    QCOMPARE(w.Command1->geometry(), QRect(32, 120, 121, 25));
    QCOMPARE(w.Text5->geometry(), QRect(384, 496, 49, 19));
    QCOMPARE(w.Label2[3]->geometry(), QRect(16, 52, 89, 17));
    QCOMPARE(w.Option1[6]->geometry(), QRect(12, 120, 125, 17));
    QCOMPARE(w.ProgressBar2->geometry(), QRect(0, 530, 705, 9));
    // "Reset" lies on the Monte Carlo frame's area but is the window's control.
    QCOMPARE(w.Command7->parentWidget(), static_cast<QWidget*>(&w));
    QVERIFY(w.Frame4->geometry().contains(w.Command7->geometry()));
    QVERIFY(w.Command7->isEnabledTo(&w) == w.Command7->Enabled());
    QCOMPARE(w.Text3[0]->parentWidget(), static_cast<QWidget*>(w.Frame4));
    QCOMPARE(w.Image1->parentWidget(), static_cast<QWidget*>(w.Frame6));
    QCOMPARE(w.Image1->Picture().size(), QSize(263, 128));
    // The crop window fills the strip's drawing area in height; in the design scale it reads
    // its twips.
    QCOMPARE(w.Shape1->parentWidget(), static_cast<QWidget*>(w.Picture2));
    QCOMPARE(w.Shape1->Left(), 0.0f);
    QCOMPARE(w.Shape1->Width(), 735.0f);
    QCOMPARE(w.Shape1->Height(), 915.0f);
    QCOMPARE(w.Shape1->geometry().height(), w.Picture2->contentsRect().height());
    QCOMPARE(w.Shape1->BorderColor(), qRgb(255, 0, 0));
    QVERIFY(!w.ProgressBar1->Visible());
    QVERIFY(!w.ProgressBar2->Visible());
}

void StartupTest::fineSamplingFrameHiddenInsideModelFrame()
{
    frmMain& w = *m_window;
    QVERIFY(!w.Frame3->isVisibleTo(&w));
    QVERIFY(w.Frame1->geometry().contains(w.Frame3->geometry()));
    QCOMPARE(w.Text3[1]->parentWidget(), static_cast<QWidget*>(w.Frame3));
    QCOMPARE(w.Command3->parentWidget(), static_cast<QWidget*>(w.Frame3));
}

void StartupTest::iconsGreyWithTheirStrokes()
{
    frmMain& w = *m_window;
    int strokes = 0;
    for (LineControl* stroke : w.Line1) {
        QVERIFY(stroke);
        QCOMPARE(stroke->BorderColor(), qRgb(128, 128, 128));
        ++strokes;
    }
    QCOMPARE(strokes, 23);
    for (Shape* outline : w.Shape2)
        QCOMPARE(outline->BorderColor(), qRgb(128, 128, 128));
    // Strokes per icon frame: ramp 3, symmetric 4, asymmetric 4, free 4: 4, free 3: 3, duration 5.
    const int expected[6] = {3, 4, 4, 4, 3, 5};
    for (int i = 0; i <= 5; ++i)
        QCOMPARE(w.Frame2[i]->findChildren<LineControl*>().size(), expected[i]);
    QCOMPARE(w.Frame2[0]->Top(), 180);
    QCOMPARE(w.Frame2[5]->Top(), 1620);
    QCOMPARE(w.Line1[0]->start(), QPoint(120, 120));
    QCOMPARE(w.Line1[0]->end(), QPoint(480, 120));
    QCOMPARE(w.Line1[22]->end(), QPoint(960, 480));
}

void StartupTest::popupMenus()
{
    frmMain& w = *m_window;
    QCOMPARE(w.mnuRB1->title(), QStringLiteral("RB1"));
    QCOMPARE(w.mnuRb2->title(), QStringLiteral("RB2"));
    const QList<QAction*> items = w.mnuRB1->actions();
    QCOMPARE(items.size(), 3);
    QCOMPARE(items[0], w.mnuFlipVertical1);
    QCOMPARE(items[0]->text(), QStringLiteral("Flip vertical"));
    QVERIFY(items[1]->isSeparator());
    QCOMPARE(items[1], w.break1);
    QCOMPARE(items[2]->text(), QStringLiteral("Copy"));
    QCOMPARE(w.mnuRb2->actions().at(2), w.mnuCopy2);
    QVERIFY(!w.mnuRB1->isVisible() && !w.mnuRb2->isVisible());
}

void StartupTest::importDataHasTheFocusAndComesFirst()
{
    frmMain& w = *m_window;
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w.Command1));
    // The only other control that takes the focus now is "Quit".
    QTest::keyClick(w.Command1, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w.Command4));
    QTest::keyClick(w.Command4, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w.Command1));
}

void StartupTest::quitClosesTheWindow()
{
    frmMain& w = *m_window;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QTest::mouseClick(w.Command4, Qt::LeftButton);
    QVERIFY(!w.isVisible());
    // No window is left open, so the application's event loop ends with this one.
    QVERIFY(QGuiApplication::quitOnLastWindowClosed());
    for (QWidget* top : QApplication::topLevelWidgets())
        QVERIFY(!top->isVisible());
}

QTEST_MAIN(StartupTest)
#include "tst_startup.moc"
