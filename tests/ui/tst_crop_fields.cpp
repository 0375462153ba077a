// SPDX-License-Identifier: GPL-3.0-or-later
// The crop bound fields typed key by key: window edges with their recovery writes, strip ends
// with their ordering repair, the BoxTyping protocol that tells typing from the program's own
// writes, and the refusals of values that cannot be a window or a strip range.
#include "import_fixture.h"
#include "ui_fixture.h"

#include <QApplication>
#include <QLocale>
#include <QtTest>

#include <memory>
#include <string>

using namespace tolvenar;
using namespace tolvenar::test;

namespace {

std::string series_text(int last)
{
    std::string csv = "x,y\n";
    for (int x = 0; x <= last; ++x)
        csv += std::to_string(x) + "," + std::to_string(x % 17) + "\n";
    return csv;
}

// Selects the whole text as a user does, then types `keys` one by one.
void retype(TextField* field, const QString& keys)
{
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(field, keys);
}

QString number(float value)
{
    return QString::fromStdString(number_text(value));
}

}  // namespace

class CropFieldsTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void keysArriveAroundTheChange();
    void typedBoundsMoveTheWindowKeyByKey();
    void leftEdgeEqualToTheRightEdgeIsRecovered_data();
    void leftEdgeEqualToTheRightEdgeIsRecovered();
    void leftEdgeBeyondTheRightEdgeIsRecovered();
    void reversedRightEdgeIsTakenAsItStands();
    void rightEdgeOfEqualValueIsRecovered();
    void emptiedFieldAppliesZero();
    void programWritesChangeNothing();
    void boundsBeyondTheSingleRangeAreRecovered();
    void stripEndMovesTheWindowInDataTerms();
    void stripEndsThatWouldCrossAreRepaired();
    void stripEndBeyondTheSingleRangeIsRefused();
    void typingInAStripEndThenAClickOnTheStrip();
    void beforeTheFirstCropOnlyTheStripFollows();
    void writtenNumbersUseAFullStopInAnyLocale();

private:
    std::unique_ptr<frmMain> m_window;
    std::unique_ptr<QTemporaryDir> m_dir;
};

void CropFieldsTest::init()
{
    m_window = std::make_unique<frmMain>();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    import_text(*m_window, *m_dir, series_text(1000));
    QCOMPARE(m_window->Text7->Text(), QStringLiteral("0"));
    QCOMPARE(m_window->Text8->Text(), QStringLiteral("1000"));
}

void CropFieldsTest::cleanup()
{
    QLocale::setDefault(QLocale::c());
    m_window.reset();
    m_dir.reset();
}

void CropFieldsTest::keysArriveAroundTheChange()
{
    frmMain& w = *m_window;
    QStringList events;
    const auto record = [&events](TextField* field, const QString& name) {
        auto down = field->onKeyDown;
        auto change = field->onChange;
        auto up = field->onKeyUp;
        field->onKeyDown = [=, &events](std::int16_t key, std::int16_t shift) {
            events << name + QStringLiteral(" down");
            down(key, shift);
        };
        field->onChange = [=, &events] {
            events << name + QStringLiteral(" change");
            change();
        };
        if (up) {
            field->onKeyUp = [=, &events](std::int16_t key, std::int16_t shift) {
                events << name + QStringLiteral(" up");
                up(key, shift);
            };
        }
    };
    record(w.Text5, QStringLiteral("Text5"));
    record(w.Text8, QStringLiteral("Text8"));
    w.Text5->setCursorPosition(w.Text5->Text().size());
    QTest::keyClicks(w.Text5, QStringLiteral("5"));
    QCOMPARE(events, QStringList({"Text5 down", "Text5 change", "Text5 up"}));
    QVERIFY(!w.state.BoxTyping);
    events.clear();
    // Text8 has no key-up handler: BoxTyping stays set after the key. Its change shows the
    // window's new bounds, a program write that fires Text5's change handler without effect.
    QTest::keyClicks(w.Text8, QStringLiteral("0"));
    QCOMPARE(events, QStringList({"Text8 down", "Text8 change", "Text5 change"}));
    QVERIFY(w.state.BoxTyping);
}

void CropFieldsTest::typedBoundsMoveTheWindowKeyByKey()
{
    frmMain& w = *m_window;
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    w.Text5->setFocus();
    retype(w.Text5, QStringLiteral("60"));
    QCOMPARE(w.Shape1->Left() + w.Shape1->Width(), 60.0f);
    QTest::keyClicks(w.Text5, QStringLiteral("0"));
    QCOMPARE(w.Shape1->Width(), 600.0f);

    w.Text4->setFocus();
    QTest::keyClick(w.Text4, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(w.Text4, QStringLiteral("2"));
    QCOMPARE(w.Shape1->Left(), 2.0f);  // each keystroke applies what stands in the field
    QCOMPARE(w.Shape1->Width(), 598.0f);
    QTest::keyClicks(w.Text4, QStringLiteral("00"));
    QCOMPARE(w.Shape1->Left(), 200.0f);
    QCOMPARE(w.Shape1->Width(), 400.0f);
    QCOMPARE(w.Picture1->ScaleLeft(), 200.0f);
    QCOMPARE(w.Picture1->ScaleWidth(), 400.0f);
    QCOMPARE(w.state.CropStart, 200);
    QCOMPARE(int{w.state.CropCount}, 401);
    QVERIFY(!w.state.BoxTyping);
    // The crops taken while typing leave the keyboard in the field.
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w.Text4));
    QCOMPARE(w.Text4->Text(), QStringLiteral("200"));
    QCOMPARE(w.Text5->Text(), QStringLiteral("600"));
}

void CropFieldsTest::leftEdgeEqualToTheRightEdgeIsRecovered_data()
{
    QTest::addColumn<QString>("right");
    QTest::addColumn<QString>("left");
    QTest::newRow("10 gives 8") << QStringLiteral("10") << QStringLiteral("8");
    QTest::newRow("11 gives 10") << QStringLiteral("11") << QStringLiteral("10");
}

void CropFieldsTest::leftEdgeEqualToTheRightEdgeIsRecovered()
{
    QFETCH(QString, right);
    QFETCH(QString, left);
    frmMain& w = *m_window;
    retype(w.Text5, right);
    retype(w.Text4, right);
    QCOMPARE(w.Text4->Text(), left);
    QCOMPARE(w.Shape1->Left(), left.toFloat());
    QCOMPARE(w.Shape1->Width(), right.toFloat() - left.toFloat());
    QCOMPARE(w.Picture1->ScaleLeft(), left.toFloat());
}

void CropFieldsTest::leftEdgeBeyondTheRightEdgeIsRecovered()
{
    frmMain& w = *m_window;
    retype(w.Text5, QStringLiteral("300"));
    retype(w.Text4, QStringLiteral("500"));
    // At "500" the window would be reversed: the left edge becomes 300 - 1.5 = 298.5 -> 298.
    QCOMPARE(w.Text4->Text(), QStringLiteral("298"));
    QCOMPARE(w.Shape1->Left(), 298.0f);
    QCOMPARE(w.Shape1->Width(), 2.0f);
    QCOMPARE(w.state.CropStart, 298);
    QCOMPARE(int{w.state.CropCount}, 3);
}

void CropFieldsTest::reversedRightEdgeIsTakenAsItStands()
{
    frmMain& w = *m_window;
    retype(w.Text5, QStringLiteral("600"));
    retype(w.Text4, QStringLiteral("300"));
    retype(w.Text5, QStringLiteral("100"));
    QCOMPARE(w.Text4->Text(), QStringLiteral("300"));
    QCOMPARE(w.Text5->Text(), QStringLiteral("100"));
    QCOMPARE(w.Shape1->Left(), 100.0f);
    QCOMPARE(w.Shape1->Width(), 200.0f);
    QCOMPARE(w.Picture1->ScaleLeft(), 100.0f);
    QCOMPARE(w.state.CropStart, 100);
    QCOMPARE(int{w.state.CropCount}, 201);
}

void CropFieldsTest::rightEdgeOfEqualValueIsRecovered()
{
    frmMain& w = *m_window;
    retype(w.Text5, QStringLiteral("600"));
    retype(w.Text4, QStringLiteral("300"));
    // "3e2" is 300 in another text: the window would have no width; 300 + 1.5 = 301.5 -> 302.
    retype(w.Text5, QStringLiteral("3e2"));
    QCOMPARE(w.Text5->Text(), QStringLiteral("302"));
    QCOMPARE(w.Shape1->Left(), 300.0f);
    QCOMPARE(w.Shape1->Width(), 2.0f);
    // The same text in both fields recovers at once.
    retype(w.Text5, QStringLiteral("300"));
    QCOMPARE(w.Text5->Text(), QStringLiteral("302"));
}

void CropFieldsTest::emptiedFieldAppliesZero()
{
    frmMain& w = *m_window;
    retype(w.Text5, QStringLiteral("600"));
    retype(w.Text4, QStringLiteral("25"));
    QCOMPARE(w.Shape1->Left(), 25.0f);
    QTest::keyClick(w.Text4, Qt::Key_Backspace);
    QCOMPARE(w.Shape1->Left(), 2.0f);
    QTest::keyClick(w.Text4, Qt::Key_Backspace);
    QCOMPARE(w.Text4->Text(), QString());
    QCOMPARE(w.Shape1->Left(), 0.0f);
    QCOMPARE(w.Shape1->Width(), 600.0f);
    QCOMPARE(w.state.CropStart, 0);
}

void CropFieldsTest::programWritesChangeNothing()
{
    frmMain& w = *m_window;
    const float left = w.Shape1->Left();
    const float width = w.Shape1->Width();
    QVERIFY(!w.state.BoxTyping);
    w.Text4->setText(QStringLiteral("500"));
    w.Text5->setText(QStringLiteral("500"));
    w.Text7->setText(QStringLiteral("-5"));
    w.Text8->setText(QStringLiteral("-50"));
    QCOMPARE(w.Shape1->Left(), left);
    QCOMPARE(w.Shape1->Width(), width);
    QCOMPARE(w.Picture2->ScaleLeft(), 0.0f);
    QCOMPARE(w.Picture2->ScaleWidth(), 1000.0f);
    QCOMPARE(w.Text4->Text(), QStringLiteral("500"));  // no recovery either
}

void CropFieldsTest::boundsBeyondTheSingleRangeAreRecovered()
{
    frmMain& w = *m_window;
    retype(w.Text5, QStringLiteral("600"));
    retype(w.Text4, QStringLiteral("300"));
    // Typed on: "6001e3" is 6.001e6, "6001e38" beyond the single range.
    QTest::keyClicks(w.Text5, QStringLiteral("1e38"));
    QCOMPARE(w.Text5->Text(), QStringLiteral("302"));
    QCOMPARE(w.Shape1->Left(), 300.0f);
    QCOMPARE(w.Shape1->Width(), 2.0f);
    // Beyond the double range the number cannot be read at all: recovered the same way. (The
    // exponent goes first: every shorter prefix of "1e999" would be recovered already.)
    retype(w.Text4, QStringLiteral("e999"));
    QCOMPARE(w.Shape1->Left(), 0.0f);
    QTest::keyClick(w.Text4, Qt::Key_Home);
    QTest::keyClicks(w.Text4, QStringLiteral("1"));
    QCOMPARE(w.Text4->Text(), QStringLiteral("300"));  // 302 - 1.5 = 300.5 -> 300
    QCOMPARE(w.Shape1->Left(), 300.0f);
    QCOMPARE(w.Shape1->Width(), 2.0f);
}

void CropFieldsTest::stripEndMovesTheWindowInDataTerms()
{
    frmMain& w = *m_window;
    const float share = w.Shape1->Width() / 1000.0f;
    retype(w.Text8, QStringLiteral("500"));
    QCOMPARE(w.Picture2->ScaleLeft(), 0.0f);
    QCOMPARE(w.Picture2->ScaleWidth(), 500.0f);
    // The window kept its place on the screen: half the data span now.
    QCOMPARE(w.Shape1->Left(), 0.0f);
    QVERIFY(qAbs(w.Shape1->Width() - 500.0f * share) < 1e-3f);
    QCOMPARE(w.Text4->Text(), number(w.Shape1->Left()));
    QCOMPARE(w.Text5->Text(), number(w.Shape1->Width() + w.Shape1->Left()));
    QCOMPARE(w.Picture1->ScaleWidth(), w.Shape1->Width());
    QCOMPARE(int{w.state.CropCount}, static_cast<int>(w.Shape1->Width()) + 1);
    QVERIFY(w.state.BoxTyping);  // no key-up handler in the strip fields

    retype(w.Text7, QStringLiteral("100"));
    QCOMPARE(w.Picture2->ScaleLeft(), 100.0f);
    QCOMPARE(w.Picture2->ScaleWidth(), 400.0f);
    QCOMPARE(w.Shape1->Left(), 100.0f);
    QCOMPARE(w.state.CropStart, 100);
    // The strip shows the part of the series in its new range.
    QCOMPARE(pixel_at(*w.Picture2, 250.5, 12.5), kBlue);  // middle of (250, 12)-(251, 13)
}

void CropFieldsTest::stripEndsThatWouldCrossAreRepaired()
{
    frmMain& w = *m_window;
    retype(w.Text7, QStringLiteral("2000"));
    // At "2000" the left end passed the right one: it becomes 1000 - 1.
    QCOMPARE(w.Text7->Text(), QStringLiteral("999"));
    QCOMPARE(w.Picture2->ScaleLeft(), 999.0f);
    QCOMPARE(w.Picture2->ScaleWidth(), 1.0f);

    retype(w.Text7, QStringLiteral("0"));
    QCOMPARE(w.Picture2->ScaleWidth(), 1000.0f);
    // "-" reads as 0, at the left end: the right end becomes 0 + 1, and the next key goes on.
    retype(w.Text8, QStringLiteral("-"));
    QCOMPARE(w.Text8->Text(), QStringLiteral("1"));
    QCOMPARE(w.Picture2->ScaleWidth(), 1.0f);
    QTest::keyClicks(w.Text8, QStringLiteral("5"));
    QCOMPARE(w.Text8->Text(), QStringLiteral("15"));
    QCOMPARE(w.Picture2->ScaleWidth(), 15.0f);
    retype(w.Text7, QStringLiteral("15"));
    QCOMPARE(w.Text7->Text(), QStringLiteral("14"));
    QCOMPARE(w.Picture2->ScaleLeft(), 14.0f);
    // The repair is not rounded.
    retype(w.Text7, QStringLiteral("2.5"));
    retype(w.Text8, QStringLiteral("1"));
    QCOMPARE(w.Text8->Text(), QStringLiteral("3.5"));
    QCOMPARE(w.Picture2->ScaleLeft(), 2.5f);
    QCOMPARE(w.Picture2->ScaleWidth(), 1.0f);
}

void CropFieldsTest::stripEndBeyondTheSingleRangeIsRefused()
{
    frmMain& w = *m_window;
    QTest::keyClicks(w.Text8, QStringLiteral("e35"));  // "1000e35": 1e38, still single
    QCOMPARE(w.Picture2->ScaleWidth(), 1e38f);
    QTest::keyClick(w.Text8, Qt::Key_Backspace);  // "1000e3"
    QCOMPARE(w.Picture2->ScaleWidth(), 1e6f);
    QTest::keyClicks(w.Text8, QStringLiteral("6"));  // "1000e36": 1e39
    QCOMPARE(w.Picture2->ScaleWidth(), 1e6f);  // the strip keeps its range
    QCOMPARE(w.Text8->Text(), QStringLiteral("1000e36"));
    retype(w.Text8, QStringLiteral("1e999"));  // "1e99" beyond single, "1e999" beyond double
    QCOMPARE(w.Picture2->ScaleWidth(), 1e9f);  // "1e9" was the last one taken
    QCOMPARE(w.Picture2->ScaleLeft(), 0.0f);

    retype(w.Text8, QStringLiteral("1000"));
    retype(w.Text7, QStringLiteral("-1e39"));
    QCOMPARE(w.Picture2->ScaleLeft(), -1000.0f);  // "-1e3" was the last one taken
    QCOMPARE(w.Picture2->ScaleWidth(), 2000.0f);
    QCOMPARE(w.Text7->Text(), QStringLiteral("-1e39"));
}

void CropFieldsTest::typingInAStripEndThenAClickOnTheStrip()
{
    frmMain& w = *m_window;
    retype(w.Text7, QStringLiteral("1"));
    QVERIFY(w.state.BoxTyping);
    const float left = w.Shape1->Left();
    const float right = w.Shape1->Left() + w.Shape1->Width();
    QCOMPARE(w.Text5->Text(), number(right));  // unrounded after a strip change
    QVERIFY(w.Text5->Text() != QString::fromStdString(rounded_text(right, 1)));
    w.state.BestOfBestSqDist = 3.0f;

    // A click outside the window: the release's rounded bounds are applied as typed ones.
    QTest::mouseClick(w.Picture2, Qt::LeftButton, {}, point_at(*w.Picture2, 700, 10));
    QVERIFY(w.state.BoxTyping);
    QCOMPARE(w.Text4->Text(), QString::fromStdString(rounded_text(left, 1)));
    QCOMPARE(w.Text5->Text(), QString::fromStdString(rounded_text(right, 1)));
    const double rounded_right = parse_leading_number(w.Text5->Text().toStdString());
    QCOMPARE(w.Shape1->Left() + w.Shape1->Width(),
             to_single(left + to_single(rounded_right - left)));
    QCOMPARE(w.state.BestOfBestSqDist, kUnsetBestOfBest);  // and cropped
}

void CropFieldsTest::beforeTheFirstCropOnlyTheStripFollows()
{
    // A window whose data exist but that has not cropped yet.
    m_window = std::make_unique<frmMain>();
    frmMain& w = *m_window;
    place_rows(w, {{0, 1}, {10, 3}, {20, 2}, {30, 5}});
    place_windows(w, 0, 30, 5, 10, 6, -6);
    w.Text4->QLineEdit::setText(QStringLiteral("5"));
    w.Text5->QLineEdit::setText(QStringLiteral("15"));
    w.Text7->QLineEdit::setText(QStringLiteral("0"));
    w.Text8->QLineEdit::setText(QStringLiteral("30"));
    for (TextField* field : {w.Text4, w.Text5, w.Text7, w.Text8})
        field->setEnabled(true);

    retype(w.Text4, QStringLiteral("8"));
    QCOMPARE(w.Shape1->Left(), 5.0f);
    QVERIFY(!w.state.CropDrawn);
    retype(w.Text8, QStringLiteral("60"));
    QCOMPARE(w.Picture2->ScaleWidth(), 60.0f);
    QVERIFY(w.state.PreviewDrawn);
    QVERIFY(!w.state.CropDrawn);
    QCOMPARE(w.Shape1->Left(), 10.0f);
    QCOMPARE(w.Text4->Text(), QStringLiteral("10"));
}

void CropFieldsTest::writtenNumbersUseAFullStopInAnyLocale()
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    frmMain& w = *m_window;
    // The window's right edge lands between two whole numbers after the import.
    QVERIFY(w.Text5->Text().contains(QLatin1Char('.')));
    // A drag writes its bounds with a full stop, and they read back as themselves.
    QTest::mousePress(w.Picture2, Qt::LeftButton, {},
                      point_at(*w.Picture2, w.Shape1->Left() + w.Shape1->Width(), 10));
    QTest::mouseMove(w.Picture2, point_at(*w.Picture2, 333.3, 10));
    QTest::mouseRelease(w.Picture2, Qt::LeftButton, {}, point_at(*w.Picture2, 333.3, 10));
    const float right = w.Shape1->Left() + w.Shape1->Width();
    QCOMPARE(w.Text5->Text(), QString::fromStdString(rounded_text(right, 1)));
    QVERIFY(!w.Text5->Text().contains(QLatin1Char(',')));
    QCOMPARE(to_single(parse_leading_number(w.Text5->Text().toStdString())),
             to_single(round_half_even(right, 1)));
    // Typed with a full stop, a bound is taken whole.
    retype(w.Text4, QStringLiteral("12.5"));
    QCOMPARE(w.Shape1->Left(), 12.5f);
}

QTEST_MAIN(CropFieldsTest)
#include "tst_crop_fields.moc"
