// SPDX-License-Identifier: GPL-3.0-or-later
// frmMain's construction (every control at its place with its design values), the connection of
// the control events to the handlers, start-up and the shell's own handlers.
#include "ui/app/frm_main.h"

#include "core/model/family.h"
#include "ui/app/logo.h"

#include <QAction>
#include <QCursor>
#include <QFont>
#include <QIcon>
#include <QMenu>
#include <QPixmap>

#include <algorithm>
#include <array>
#include <initializer_list>
#include <type_traits>
#include <utility>
#include <vector>

namespace tolvenar {

namespace {

constexpr QRgb kRed = 0xffff0000;

// The families' option buttons and icons: the first button's Top, the space between two, and
// an icon frame's place beside its button.
constexpr int kFirstOptionTop = 360;
constexpr int kOptionStep = 480;
constexpr int kIconAboveOption = 180;

int option_top(const FamilyRow& row)
{
    return kFirstOptionTop + kOptionStep * row.button.order;
}

template <typename T, typename... Args>
T* placed(QWidget* container, int left, int top, int width, int height, Args&&... args)
{
    T* control = new T(std::forward<Args>(args)..., container);
    control->place(left, top, width, height);
    return control;
}

TextField* text_field(QWidget* container, int left, int top, int width, const QString& text = {})
{
    auto* field = placed<TextField>(container, left, top, width, 285);
    field->QLineEdit::setText(text);  // design text: no event before the handlers are connected
    return field;
}

}  // namespace

frmMain::frmMain(QWidget* parent)
    : QWidget(parent), platform(desktop_platform(this)), Work(new WorkRunner(*this))
{
    setWindowTitle(design_caption());
    setWindowIcon(QIcon(QPixmap::fromImage(make_icon(64))));
    QFont font(QStringLiteral("Arial"));
    font.setPointSize(9);
    font.setWeight(QFont::Normal);
    setFont(font);
    // It opens at its design size and grows from there (Form_Resize).
    setMinimumSize(design_size());
    resize(design_size());

    createControls();
    createMenus();
    nameControls();
    connectEvents();
    orderTabs();
    Form_Load();
    Command1->SetFocus();
}

frmMain::~frmMain()
{
    Work->shut_down();  // the work reads the session, which goes with the window
    if (screen_mouse_pointer() != pointer::kDefault)
        set_screen_mouse_pointer(pointer::kDefault);
}

QString frmMain::design_caption()
{
    return QStringLiteral("Tolvenar 1.5");
}

void frmMain::ShowFileInCaption(const QString& path)
{
    setWindowTitle(design_caption() + QStringLiteral("  (") + path + QLatin1Char(')'));
}

void frmMain::Refresh()
{
    repaint();
}

void frmMain::PopupMenu(QMenu* menu)
{
    menu->popup(QCursor::pos());
}

void frmMain::createControls()
{
    // Creation order is the stacking order: later controls lie on top of earlier ones.
    Picture2 = placed<PictureBox>(this, 240, 240, 10095, 975);
    Shape1 = new Shape(Picture2);
    Shape1->place(0, 0, 735, 915);
    Shape1->setBorderColor(kRed);

    Text7 = text_field(this, 120, 1320, 735);
    Text8 = text_field(this, 9720, 1320, 735);
    Label7 = placed<Label>(this, 2760, 1560, 255, 255, QStringLiteral("0"));
    Label7->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    Label8 = placed<Label>(this, 5880, 1560, 735, 255, QStringLiteral("8888"));
    Label8->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    Picture3 = placed<PictureBox>(this, 2880, 1800, 3375, 975);
    Command1 = placed<CommandButton>(this, 480, 1800, 1815, 375, QStringLiteral("Import data"));

    Frame4 = placed<Frame>(this, 240, 2280, 2295, 2175, QStringLiteral(" Monte Carlo simulation"));
    Text3.set(0, text_field(Frame4, 240, 360, 615, QStringLiteral("1000")));
    Label4 = placed<Label>(Frame4, 840, 360, 255, 255, QStringLiteral("X"));
    Label4->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    Text6 = text_field(Frame4, 1080, 360, 395, QStringLiteral("10"));
    Label1.set(0, placed<Label>(Frame4, 1560, 360, 495, 255, QStringLiteral("times")));
    Command2 = placed<CommandButton>(Frame4, 240, 840, 1815, 375, QStringLiteral("Run"));
    Check1 = placed<CheckBox>(Frame4, 240, 1800, 1575, 225, QStringLiteral("Constrain"));
    // On Frame4's area but a control of the window: disabling the frame leaves it alone.
    Command7 = placed<CommandButton>(this, 480, 3480, 1815, 375, QStringLiteral("Reset"));

    Frame6 = placed<Frame>(this, 240, 4560, 2295, 2295, QStringLiteral(" Display setting"));
    Command5 = placed<CommandButton>(Frame6, 240, 360, 1815, 375,
                                     QStringLiteral("Clean up diagram"));
    Check2 = placed<CheckBox>(Frame6, 240, 840, 1815, 255, QStringLiteral("Show constraint"));
    Check2->setCheckState(Qt::Checked);
    Image1 = placed<ImageBox>(Frame6, 240, 1260, 1815, 855);
    Image1->setPicture(make_logo());

    Command6 = placed<CommandButton>(this, 480, 7080, 1815, 375, QStringLiteral("Save"));
    Command4 = placed<CommandButton>(this, 480, 7440, 1815, 375, QStringLiteral("Quit"));

    Picture1 = placed<PictureBox>(this, 2880, 2880, 3375, 4455);
    Text1 = text_field(this, 6360, 2880, 735);
    Text2 = text_field(this, 6360, 7080, 735);
    Text4 = text_field(this, 2640, 7440, 735);
    Text5 = text_field(this, 5760, 7440, 735);
    // The range, crop and strip fields are designed disabled; the first import enables them.
    for (TextField* field : {Text1, Text2, Text4, Text5, Text7, Text8})
        field->setEnabled(false);

    createModelFrame();

    Frame5 = placed<Frame>(this, 7200, 5520, 3135, 2295, QStringLiteral(" Best fitting "));
    static constexpr std::array<const char*, 7> kYCaptions{"", "Y1 =", "Y2 =", "Y3 =",
                                                           "Y4=", "Y5=", "Y6="};
    for (int i = 1; i <= 6; ++i) {
        Label2.set(i, placed<Label>(Frame5, 240, 240 * i, 1335, 255,
                                    QStringLiteral("X%1 =").arg(i)));
        Label3.set(i, placed<Label>(Frame5, 1680, 240 * i, 1335, 255,
                                    QString::fromLatin1(kYCaptions[static_cast<std::size_t>(i)])));
    }
    Label5 = placed<Label>(Frame5, 240, 1680, 1335, 255, QStringLiteral("R = "));
    Label6 = placed<Label>(Frame5, 240, 1920, 2775, 255, QStringLiteral("Symmetry index = "));

    // Lies within Frame1's area and is never shown; the program only switches its Enabled.
    Frame3 = placed<Frame>(this, 7680, 2520, 2175, 1215, QStringLiteral(" Fine sampling "));
    Text3.set(1, text_field(Frame3, 240, 360, 1095, QStringLiteral("1000")));
    Label1.set(1, placed<Label>(Frame3, 1440, 360, 495, 255, QStringLiteral("times")));
    Command3 = placed<CommandButton>(Frame3, 240, 720, 1695, 375, QStringLiteral("Run"));
    Command3->setEnabled(false);
    Frame3->hide();

    ProgressBar1 = placed<ProgressBar>(this, 0, 7815, 10575, 135);
    ProgressBar1->hide();
    ProgressBar2 = placed<ProgressBar>(this, 0, 7950, 10575, 135);
    ProgressBar2->hide();
}

void frmMain::createModelFrame()
{
    Frame1 = placed<Frame>(this, 7200, 1680, 3135, 3735, QStringLiteral(" Fitting model "));
    // Frame2 and Line1 follow the families' order; a drawn family's icon is Shape2.
    int stroke = 0;
    int icon = 0;
    for (const FamilyRow& row : family_table()) {
        if (row.drawn)
            continue;
        Frame* frame =
            placed<Frame>(Frame1, 1920, option_top(row) - kIconAboveOption, 1095, 495, QString());
        frame->setBorderStyle(0);  // only the strokes show
        Frame2.set(icon++, frame);
        for (std::size_t k = 1; k < row.button.icon.size(); ++k) {
            const IconPoint from = row.button.icon[k - 1], to = row.button.icon[k];
            Line1.set(stroke++, new LineControl(frame, from.x, from.y, to.x, to.y));
        }
    }
    Shape2.set(0, new Shape(Frame1));
    Shape2[0]->place(2040, 3360, 375, 255);
    Shape2.set(1, new Shape(Frame1));
    Shape2[1]->place(2520, 3240, 375, 255);

    // Above the icon frames, so a click on a long caption reaches the button; top to bottom.
    std::vector<const FamilyRow*> buttons;
    for (const FamilyRow& row : family_table())
        buttons.push_back(&row);
    std::sort(buttons.begin(), buttons.end(),
              [](const auto* a, const auto* b) { return a->button.order < b->button.order; });
    for (const FamilyRow* row : buttons) {
        auto* option = placed<OptionButton>(
            Frame1, 180, option_top(*row), row->button.width, 255,
            QString::fromLatin1(row->caption.data(), static_cast<qsizetype>(row->caption.size())));
        Option1.set(static_cast<int>(row->family), option);
    }
    Option1[1]->setChecked(true);
}

void frmMain::createMenus()
{
    const auto make_menu = [this](const QString& caption, QAction*& flip, QAction*& separator,
                                  QAction*& copy) {
        auto* menu = new QMenu(caption, this);
        flip = menu->addAction(QStringLiteral("Flip vertical"));
        separator = menu->addSeparator();
        copy = menu->addAction(QStringLiteral("Copy"));
        return menu;
    };
    mnuRB1 = make_menu(QStringLiteral("RB1"), mnuFlipVertical1, break1, mnuCopy1);
    mnuRb2 = make_menu(QStringLiteral("RB2"), mnuFlipVertical2, break2, mnuCopy2);
    mnuRefine1 = mnuRB1->addAction(QStringLiteral("Refine best fit"));
    mnuBootstrap1 = mnuRB1->addAction(QStringLiteral("Bootstrap intervals…"));
    mnuCompare1 = mnuRB1->addAction(QStringLiteral("Compare families…"));
    mnuFindEvents1 = mnuRB1->addAction(QStringLiteral("Find events…"));
    mnuFindEvents2 = mnuRb2->addAction(QStringLiteral("Find events…"));
}

void frmMain::nameControls()
{
    // Object names are the program's names ("Text3(0)" for an array member), for inspection.
    const std::initializer_list<std::pair<QObject*, const char*>> named{
        {Picture1, "Picture1"}, {Picture2, "Picture2"}, {Picture3, "Picture3"}, {Shape1, "Shape1"},
        {Text1, "Text1"}, {Text2, "Text2"}, {Text4, "Text4"}, {Text5, "Text5"}, {Text6, "Text6"},
        {Text7, "Text7"}, {Text8, "Text8"}, {Label4, "Label4"}, {Label5, "Label5"},
        {Label6, "Label6"}, {Label7, "Label7"}, {Label8, "Label8"}, {Command1, "Command1"},
        {Command2, "Command2"}, {Command3, "Command3"}, {Command4, "Command4"},
        {Command5, "Command5"}, {Command6, "Command6"}, {Command7, "Command7"},
        {Check1, "Check1"}, {Check2, "Check2"}, {Image1, "Image1"}, {Frame1, "Frame1"},
        {Frame3, "Frame3"}, {Frame4, "Frame4"}, {Frame5, "Frame5"}, {Frame6, "Frame6"},
        {ProgressBar1, "ProgressBar1"}, {ProgressBar2, "ProgressBar2"}, {mnuRB1, "mnuRB1"},
        {mnuRb2, "mnuRb2"}, {mnuFlipVertical1, "mnuFlipVertical1"}, {mnuCopy1, "mnuCopy1"},
        {mnuRefine1, "mnuRefine1"}, {mnuCompare1, "mnuCompare1"},
        {mnuFindEvents1, "mnuFindEvents1"}, {mnuFindEvents2, "mnuFindEvents2"},
        {mnuFlipVertical2, "mnuFlipVertical2"}, {mnuCopy2, "mnuCopy2"}};
    for (const auto& [object, name] : named)
        object->setObjectName(QLatin1String(name));
    const auto name_array = [](const auto& members, const char* name) {
        int index = std::decay_t<decltype(members)>::LBound;
        for (QObject* member : members)
            member->setObjectName(QStringLiteral("%1(%2)").arg(QLatin1String(name)).arg(index++));
    };
    name_array(Text3, "Text3");
    name_array(Label1, "Label1");
    name_array(Label2, "Label2");
    name_array(Label3, "Label3");
    name_array(Option1, "Option1");
    name_array(Frame2, "Frame2");
    name_array(Line1, "Line1");
    name_array(Shape2, "Shape2");
}

void frmMain::connectEvents()
{
    Command1->onClick = [this] { Command1_Click(); };
    Command2->onClick = [this] { Command2_Click(); };
    Command4->onClick = [this] { Command4_Click(); };
    Command5->onClick = [this] { Command5_Click(); };
    Command6->onClick = [this] { Command6_Click(); };
    Command7->onClick = [this] { Command7_Click(); };
    Check1->onClick = [this] { Check1_Click(); };
    Check2->onClick = [this] { Check2_Click(); };
    for (int i = Option1.LBound; i <= Option1.UBound; ++i) {
        const auto index = static_cast<std::int16_t>(i);
        Option1[i]->onClick = [this, index] { Option1_Click(index); };
    }

    Text1->onChange = [this] { Text1_Change(); };
    Text2->onChange = [this] { Text2_Change(); };
    for (int i = Text3.LBound; i <= Text3.UBound; ++i) {
        const auto index = static_cast<std::int16_t>(i);
        Text3[i]->onChange = [this, index] { Text3_Change(index); };
    }
    Text4->onChange = [this] { Text4_Change(); };
    Text4->onKeyDown = [this](std::int16_t key, std::int16_t shift) { Text4_KeyDown(key, shift); };
    Text4->onKeyUp = [this](std::int16_t key, std::int16_t shift) { Text4_KeyUp(key, shift); };
    Text5->onChange = [this] { Text5_Change(); };
    Text5->onKeyDown = [this](std::int16_t key, std::int16_t shift) { Text5_KeyDown(key, shift); };
    Text5->onKeyUp = [this](std::int16_t key, std::int16_t shift) { Text5_KeyUp(key, shift); };
    Text6->onChange = [this] { Text6_Change(); };
    Text7->onChange = [this] { Text7_Change(); };
    Text7->onKeyDown = [this](std::int16_t key, std::int16_t shift) { Text7_KeyDown(key, shift); };
    Text8->onChange = [this] { Text8_Change(); };
    Text8->onKeyDown = [this](std::int16_t key, std::int16_t shift) { Text8_KeyDown(key, shift); };

    Picture1->onMouseDown = [this](std::int16_t b, std::int16_t s, float x, float y) {
        Picture1_MouseDown(b, s, x, y);
    };
    Picture1->onMouseMove = [this](std::int16_t b, std::int16_t s, float x, float y) {
        Picture1_MouseMove(b, s, x, y);
    };
    Picture1->onMouseUp = [this](std::int16_t b, std::int16_t s, float x, float y) {
        Picture1_MouseUp(b, s, x, y);
    };
    Picture2->onMouseDown = [this](std::int16_t b, std::int16_t s, float x, float y) {
        Picture2_MouseDown(b, s, x, y);
    };
    Picture2->onMouseMove = [this](std::int16_t b, std::int16_t s, float x, float y) {
        Picture2_MouseMove(b, s, x, y);
    };
    Picture2->onMouseUp = [this](std::int16_t b, std::int16_t s, float x, float y) {
        Picture2_MouseUp(b, s, x, y);
    };

    const auto on_trigger = [this](QAction* item, void (frmMain::*handler)()) {
        connect(item, &QAction::triggered, this,
                [this, handler] { run_event([&] { (this->*handler)(); }); });
    };
    on_trigger(mnuFlipVertical1, &frmMain::mnuFlipVertical1_Click);
    on_trigger(mnuCopy1, &frmMain::mnuCopy1_Click);
    on_trigger(mnuFlipVertical2, &frmMain::mnuFlipVertical2_Click);
    on_trigger(mnuCopy2, &frmMain::mnuCopy2_Click);
    on_trigger(mnuRefine1, &frmMain::mnuRefine1_Click);
    on_trigger(mnuBootstrap1, &frmMain::mnuBootstrap1_Click);
    connect(mnuRB1, &QMenu::aboutToShow, this, [this] { mnuRB1_AboutToShow(); });
    on_trigger(mnuCompare1, &frmMain::mnuCompare1_Click);
    connect(mnuRB1, &QMenu::aboutToShow, this, [this] { mnuCompare1_AboutToShow(); });
    on_trigger(mnuFindEvents1, &frmMain::mnuFindEvents1_Click);
    on_trigger(mnuFindEvents2, &frmMain::mnuFindEvents2_Click);
    for (QMenu* menu : {mnuRB1, mnuRb2})
        connect(menu, &QMenu::aboutToShow, this, [this] { mnuFindEvents_AboutToShow(); });
}

void frmMain::orderTabs()
{
    // "Import data" first; then the fields and buttons in reading order.
    const std::initializer_list<QWidget*> chain{
        Command1, Text7, Text8, Text3[0], Text6, Command2, Check1, Command7, Command5, Check2,
        Text1, Text2, Text4, Text5, Option1[1], Command6, Command4};
    QWidget* previous = nullptr;
    for (QWidget* widget : chain) {
        if (previous)
            QWidget::setTabOrder(previous, widget);
        previous = widget;
    }
}

void frmMain::Form_Load()
{
    state.CurrentSet = 1;
    state.BoxTyping = false;
    state.PreviewDrawn = false;
    state.CropDrawn = false;
    state.BestOfBestShown = false;
    state.DragRightEdge = false;
    state.DragLeftEdge = false;
    state.DragWindow = false;

    for (TextField* field : {Text1, Text2, Text4, Text5, Text7, Text8})
        field->setText(QString());

    for (int i = 1; i <= 6; ++i) {
        for (Label* label : {Label2[i], Label3[i]}) {
            label->setTop(label->Top() + 60);
            label->setEnabled(false);
        }
    }
    Label5->setTop(Label5->Top() + 60);
    Label5->setEnabled(false);
    Label5->setCaption(QStringLiteral("R = "));
    Label6->setTop(Label6->Top() + 60);
    Label6->setEnabled(false);
    Label6->setCaption(QStringLiteral("Symmetry index = "));

    Label7->setEnabled(false);
    Label8->setEnabled(false);
    Label8->setCaption(QStringLiteral("0"));

    Command2->setEnabled(false);
    Check1->setEnabled(false);
    Check1->setValue(0);
    Command6->setEnabled(false);
    Command5->setEnabled(false);
    Command7->setEnabled(false);

    for (Frame* frame : {Frame1, Frame3, Frame4, Frame5, Frame6})
        frame->setEnabled(false);
    Check2->setEnabled(false);

    for (QWidget* control : std::initializer_list<QWidget*>{Label1[0], Label1[1], Label4, Text3[0],
                                                            Text3[1], Text6})
        control->setEnabled(false);

    for (LineControl* stroke : Line1)
        stroke->setBorderColor(kGrey);
    for (Shape* outline : Shape2)
        outline->setBorderColor(kGrey);

    session.reset_counters();

    for (OptionButton* option : Option1)
        option->setEnabled(false);

    for (int i = Option1.LBound; i <= Option1.UBound; ++i) {
        if (Option1[i]->Value())
            session.set_vertices(node_count_of(static_cast<ModelFamily>(i)));
    }
}

// The controls that would change what the work reads or shows: the import, the counts and
// the family, the crop and range fields, the display settings and the reset. The plots take no
// mouse while work runs (their handlers ask Busy()).
void frmMain::BeginWork()
{
    m_guarded.clear();
    for (QWidget* control : std::initializer_list<QWidget*>{
             Command1, Frame4, Command7, Frame1, Frame6, Command6, Text1, Text2, Text4, Text5,
             Text7, Text8}) {
        m_guarded.emplace_back(control, control->isEnabled());
        control->setEnabled(false);
    }
}

void frmMain::EndWork()
{
    for (const auto& [control, enabled] : m_guarded)
        control->setEnabled(enabled);
    m_guarded.clear();
}

void frmMain::SayWhy(const QString& action, const std::string& line)
{
    platform.MsgBox(qtext(line), MsgBoxButtons::OkOnly, action);
}

void frmMain::Command4_Click()
{
    close();  // the program ends with its only window
}

}  // namespace tolvenar
