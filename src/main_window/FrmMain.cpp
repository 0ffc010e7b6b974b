#include "FrmMain.h"

#include <QApplication>
#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QShortcut>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QStylePainter>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <type_traits>
#include <vector>

#include "ControlEvents.h"
#include "Desktop.h"
#include "NumberText.h"
#include "TessikIcon.h"
#include "ToolConstants.h"

namespace tessik {

namespace {

const QString kBlank = QString::fromUtf8(kBlankText);

// The window's client area and every position below are in twips.
constexpr int kClientWidth = 6450;
constexpr int kClientHeight = 3510;
constexpr int kTwipsPerInch = 1440;

// Edges are converted, not sizes, so neighbours that touch in twips touch
// on screen too.
int toPixels(int twips, qreal dpi) { return qRound(twips * dpi / kTwipsPerInch); }

QRect toPixels(const TwipsRect& r, qreal dpi)
{
    const int left = toPixels(r.left, dpi);
    const int top = toPixels(r.top, dpi);
    return QRect(left, top, toPixels(r.left + r.width, dpi) - left, toPixels(r.top + r.height, dpi) - top);
}

template <class W>
W* make(QWidget* parent, const QString& name, const QString& text = {})
{
    W* w = new W(parent);
    w->setObjectName(name);
    if constexpr (std::is_base_of_v<QLineEdit, W> || std::is_base_of_v<QAbstractButton, W> ||
                  std::is_base_of_v<QLabel, W>) {
        w->setText(text);
    } else if constexpr (std::is_base_of_v<QGroupBox, W>) {
        w->setTitle(text);
    }
    return w;
}

QString indexed(const char* name, int index) { return QStringLiteral("%1_%2").arg(QLatin1String(name)).arg(index); }

void setTextColor(QWidget* w, const QColor& color)
{
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, color);
    w->setPalette(p);
}

void setFillColor(QWidget* w, const QColor& color)
{
    QPalette p = w->palette();
    p.setColor(QPalette::Window, color);
    w->setPalette(p);
    w->setAutoFillBackground(true);
}

QComboBox* makeList(QWidget* parent, const QString& name, const QString& text)
{
    auto* list = make<QComboBox>(parent, name);
    list->setEditable(true);
    // A plain text line: typing neither completes from nor adds to the list.
    list->setInsertPolicy(QComboBox::NoInsert);
    list->setCompleter(nullptr);
    // Qt raises activated when typed text that matches an entry is committed
    // (Enter, leaving the field); typing must start nothing by itself, so only
    // a choice from the list raises the list's click handling.
    QObject::disconnect(list->lineEdit(), &QLineEdit::editingFinished, list, nullptr);
    list->setEditText(text);
    return list;
}

constexpr std::int32_t kInvalidPropertyValue = 380;

// A check box that the user ticks and clears; its grayed state is set from
// code only, and a click on it clears the box.
class TwoStateCheckBox : public QCheckBox {
public:
    using QCheckBox::QCheckBox;

protected:
    void nextCheckState() override { setCheckState(checkState() == Qt::Unchecked ? Qt::Checked : Qt::Unchecked); }
};

// Tells when the watched widget hides.
class HideWatch : public QObject {
public:
    HideWatch(QObject* parent, std::function<void()> hidden) : QObject(parent), hidden_(std::move(hidden)) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Hide) hidden_();
        return false;
    }

private:
    std::function<void()> hidden_;
};

// The spinner: the style draws no focus mark on a scroll bar, yet the bar
// takes the focus by Tab and answers the arrow keys, so it draws the focus
// frame itself.
class SpinnerBar : public QScrollBar {
public:
    using QScrollBar::QScrollBar;

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QScrollBar::paintEvent(event);
        if (!hasFocus()) return;
        QStylePainter painter(this);
        QStyleOptionFocusRect frame;
        frame.initFrom(this);
        frame.rect = rect().adjusted(1, 1, -1, -1);
        frame.backgroundColor = palette().color(QPalette::Window);
        painter.drawPrimitive(QStyle::PE_FrameFocusRect, frame);
    }
};

// Every control with a rectangle of its own, in twips; the input rows are a
// caption label and its field.
struct Placed {
    QWidget* control;
    TwipsRect rect;
};

std::vector<Placed> fixedRectangles(const FrmMain& w)
{
    constexpr int kCaptionLeft = 120, kCaptionWidth = 735, kCaptionHeight = 255;
    constexpr int kFieldLeft = 960, kFieldWidth = 1215;
    constexpr int kButtonLeft = 4680, kButtonWidth = 1575, kButtonHeight = 375;
    const auto caption = [](int top) { return TwipsRect{kCaptionLeft, top, kCaptionWidth, kCaptionHeight}; };
    const auto field = [](int top, int height) { return TwipsRect{kFieldLeft, top, kFieldWidth, height}; };
    std::vector<Placed> out{
        {w.Frame1, {120, 120, 2775, 2775}},     {w.Frame2, {3000, 120, 1935, 855}},
        {w.Frame3, {5040, 120, 1200, 855}},     {w.Frame4, {3000, 1080, 1575, 1815}},
        {w.LblWaJ_1, caption(285)},             {w.CmbWJ, field(240, 300)},
        {w.LblWanJ[1], caption(645)},           {w.CmbHd, field(600, 300)},
        {w.LblWanJ[0], caption(1005)},          {w.TxtWJ, field(975, 270)},
        {w.LblWanJ[3], caption(1365)},          {w.TxtZJS, field(1320, 270)},
        {w.LblCZ_1, caption(1725)},             {w.TxtCZ, field(1665, 270)},
        {w.LblBH_1, caption(2085)},             {w.CmbBH, field(2025, 300)},
        {w.Label3, caption(2400)},              {w.TxtWeight, field(2400, 270)},
        {w.VScroll1, {2205, 1320, 300, 255}},   {w.ChkQuit, {120, 240, 1695, 180}},
        {w.OptGc, {120, 240, 1020, 255}},       {w.OptWc, {100, 480, 1020, 255}},
        {w.CmdStart, {kButtonLeft, 1200, kButtonWidth, kButtonHeight}},
        {w.CmdDraw1, {kButtonLeft, 1640, kButtonWidth, kButtonHeight}},
        {w.CmdAbout, {kButtonLeft, 2080, kButtonWidth, kButtonHeight}},
        {w.CmdQuit, {kButtonLeft, 2520, kButtonWidth, kButtonHeight}},
        {w.CmdIquire, {8040, 2280, 1335, 375}},
    };
    for (std::size_t i = 0; i < w.OptTX.size(); ++i)
        out.push_back({w.OptTX[i], {120, 240 + 240 * int(i), i == optionIndex(ElbowView::All) ? 1335 : 1215, 255}});
    return out;
}

// Labels that size themselves to their text: the unit labels, level with
// their row's caption, and the note and status lines.
struct LabelAt {
    QLabel* label;
    int left, top;
};

std::vector<LabelAt> labelPositions(const FrmMain& w)
{
    constexpr int kUnitLeft = 2280;
    return {{w.Label1[0], kUnitLeft, 285},  {w.LblWanJ[2], kUnitLeft, 645}, {w.Label1[2], kUnitLeft, 1005},
            {w.Label1[3], kUnitLeft, 1725}, {w.Label1[1], kUnitLeft, 2085}, {w.Label4, kUnitLeft, 2400},
            {w.Label2, 195, 3000},          {w.LblInfo, 195, 3285}};
}

// VScroll1: the segment count's spinner, 1 to 20, starting at 20.
QScrollBar* makeSpinner(QWidget* parent)
{
    constexpr int kFewest = 1, kMost = 20;
    QScrollBar* bar = make<SpinnerBar>(parent, QStringLiteral("VScroll1"));
    bar->setOrientation(Qt::Vertical);
    bar->setRange(kFewest, kMost);
    bar->setSingleStep(1);
    bar->setPageStep(2);
    bar->setValue(kMost);
    // A spinner: the upper end is 20 and the upper arrow (and the Up key)
    // raises the count. Qt turns the picture upside down but not the arrows,
    // so every step goes the other way.
    bar->setInvertedAppearance(true);
    QObject::connect(bar, &QAbstractSlider::actionTriggered, bar, [bar](int action) {
        int step = 0;
        switch (action) {
        case QAbstractSlider::SliderSingleStepAdd: step = -bar->singleStep(); break;
        case QAbstractSlider::SliderSingleStepSub: step = bar->singleStep(); break;
        case QAbstractSlider::SliderPageStepAdd: step = -bar->pageStep(); break;
        case QAbstractSlider::SliderPageStepSub: step = bar->pageStep(); break;
        default: return;
        }
        bar->setSliderPosition(std::clamp(bar->value() + step, bar->minimum(), bar->maximum()));
    });
    bar->setFocusPolicy(Qt::TabFocus);
    return bar;
}

}  // namespace

FrmMain::FrmMain(Desktop& desktop, CadAutomation& cad, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      view_(std::make_unique<View>(*this)),
      form_(std::make_unique<FrmMainForm>(*view_, desktop, cad)),
      record(form_->record),
      desktop_(desktop)
{
    setObjectName(QStringLiteral("FrmMain"));
    setWindowTitle(QString::fromUtf8(kProgramTitle));
    setWindowIcon(tessikIcon());
    createControls();
    placeControls();
    setKeyboardOrder();
    connectHandlers();
    CmbWJ->setFocus();
    createToolsMenu();
}

void FrmMain::createControls()
{
    // Frames as the layout was drawn for: the border runs through the middle
    // of the caption, and positions inside count from the frame's top edge.
    setStyleSheet(QStringLiteral(
        "QGroupBox { border: 1px solid palette(mid); border-radius: 2px; margin-top: 0.5em; }"
        "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left; left: 5px;"
        " padding: 0px 2px; background-color: palette(window); }"));
    Frame1 = make<QGroupBox>(this, QStringLiteral("Frame1"), QStringLiteral("输入"));
    Frame2 = make<QGroupBox>(this, QStringLiteral("Frame2"), QStringLiteral("程序设置"));
    Frame3 = make<QGroupBox>(this, QStringLiteral("Frame3"), QStringLiteral("插入点设置"));
    Frame4 = make<QGroupBox>(this, QStringLiteral("Frame4"), QStringLiteral("图形设置"));
    createInputRows();
    createOptions();
    createCommands();
}

// Frame1: caption, field and unit of each design value.
void FrmMain::createInputRows()
{
    LblWaJ_1 = make<QLabel>(Frame1, QStringLiteral("LblWaJ_1"), QStringLiteral("外    径"));
    CmbWJ = makeList(Frame1, QStringLiteral("CmbWJ"), QStringLiteral("直径"));
    Label1[0] = make<QLabel>(Frame1, indexed("Label1", 0), QStringLiteral("mm"));

    LblWanJ[1] = make<QLabel>(Frame1, indexed("LblWanJ", 1), QStringLiteral("角    度"));
    CmbHd = makeList(Frame1, QStringLiteral("CmbHd"), QStringLiteral("弯角"));
    LblWanJ[2] = make<QLabel>(Frame1, indexed("LblWanJ", 2), QStringLiteral("度"));

    LblWanJ[0] = make<QLabel>(Frame1, indexed("LblWanJ", 0), QStringLiteral("曲率半径"));
    TxtWJ = make<QLineEdit>(Frame1, QStringLiteral("TxtWJ"), kBlank);
    Label1[2] = make<QLabel>(Frame1, indexed("Label1", 2), QStringLiteral("mm"));

    LblWanJ[3] = make<QLabel>(Frame1, indexed("LblWanJ", 3), QStringLiteral("中 节 数"));
    TxtZJS = make<QLineEdit>(Frame1, QStringLiteral("TxtZJS"), kBlank);
    VScroll1 = makeSpinner(Frame1);

    LblCZ_1 = make<QLabel>(Frame1, QStringLiteral("LblCZ_1"), QStringLiteral("材    质"));
    TxtCZ = make<QLineEdit>(Frame1, QStringLiteral("TxtCZ"), QStringLiteral("7850"));
    Label1[3] = make<QLabel>(Frame1, indexed("Label1", 3), QStringLiteral("kg/m"));

    LblBH_1 = make<QLabel>(Frame1, QStringLiteral("LblBH_1"), QStringLiteral("壁    厚"));
    CmbBH = makeList(Frame1, QStringLiteral("CmbBH"), kBlank);
    Label1[1] = make<QLabel>(Frame1, indexed("Label1", 1), QStringLiteral("mm"));

    Label3 = make<QLabel>(Frame1, QStringLiteral("Label3"), QStringLiteral("重    量"));
    TxtWeight = make<QLineEdit>(Frame1, QStringLiteral("TxtWeight"), kBlank);
    TxtWeight->setReadOnly(true);
    Label4 = make<QLabel>(Frame1, QStringLiteral("Label4"), QStringLiteral("kg"));

    for (QLabel* caption : {LblWaJ_1, LblWanJ[1], LblWanJ[0], LblWanJ[3], LblCZ_1, LblBH_1, Label3})
        setTextColor(caption, Qt::black);
}

// Frames 2 to 4: the quit option, the insertion point and the views.
void FrmMain::createOptions()
{
    ChkQuit = make<TwoStateCheckBox>(Frame2, QStringLiteral("ChkQuit"), QStringLiteral("绘图结束退出(&H)"));
    ChkQuit->setChecked(true);

    OptGc = make<QRadioButton>(Frame3, QStringLiteral("OptGc"), QStringLiteral("管道中心"));
    OptWc = make<QRadioButton>(Frame3, QStringLiteral("OptWc"), QStringLiteral("弯曲中心"));
    OptWc->setChecked(true);
    OptGc->setEnabled(false);
    OptWc->setEnabled(false);
    Frame3->setEnabled(false);

    const std::array<QString, 6> views{QStringLiteral("主视图(&B)"), QStringLiteral("上视图(&U)"),
                                       QStringLiteral("下视图(&D)"), QStringLiteral("左视图(&L)"),
                                       QStringLiteral("右视图(&R)"), QStringLiteral("所有视图(&A)")};
    static_assert(views.size() == kElbowViews.size() && std::tuple_size_v<decltype(OptTX)> == kElbowViews.size(),
                  "one view option per row of the view table");
    for (const ElbowViewInfo& view : kElbowViews) {
        const std::size_t i = optionIndex(view.view);
        OptTX[i] = make<QRadioButton>(Frame4, indexed("OptTX", int(i)), views[i]);
        // A view without entities cannot be chosen.
        OptTX[i]->setEnabled(view.drawable);
    }
    OptTX[optionIndex(ElbowView::Front)]->setChecked(true);
}

// The command buttons, the note, the separator and the status line.
void FrmMain::createCommands()
{
    CmdStart = make<QPushButton>(this, QStringLiteral("CmdStart"), QStringLiteral("启动AutoCAD(&C)"));
    CmdDraw1 = make<QPushButton>(this, QStringLiteral("CmdDraw1"), QStringLiteral("绘       图(&D)"));
    CmdAbout = make<QPushButton>(this, QStringLiteral("CmdAbout"), QStringLiteral("关       于(&A)"));
    CmdQuit = make<QPushButton>(this, QStringLiteral("CmdQuit"), QStringLiteral("退       出(&Q)"));
    CmdIquire = make<QPushButton>(this, QStringLiteral("CmdIquire"), QStringLiteral("查询(&I)"));
    CmdIquire->hide();
    // Enter presses the focused button, as on the classic desktop.
    for (QPushButton* b : {CmdStart, CmdDraw1, CmdAbout, CmdQuit}) b->setAutoDefault(true);

    Label2 = make<QLabel>(this, QStringLiteral("Label2"),
                          QStringLiteral("注：外径中加\"*\"者为基本系列，其它为辅助系列。"));
    const QColor highlight = palette().color(QPalette::Highlight);
    setTextColor(Label2, highlight);
    for (int i = 0; i < 2; ++i) Line1[i] = make<QFrame>(this, indexed("Line1", i));
    setFillColor(Line1[1], palette().color(QPalette::WindowText));
    setFillColor(Line1[0], palette().color(QPalette::Base));
    LblInfo = make<QLabel>(this, QStringLiteral("LblInfo"), QStringLiteral("Label1"));
    setTextColor(LblInfo, highlight);
}

void FrmMain::placeControls()
{
    const qreal dpi = logicalDpiX();
    setFixedSize(toPixels(kClientWidth, dpi), toPixels(kClientHeight, dpi));
    for (const Placed& p : fixedRectangles(*this)) p.control->setGeometry(toPixels(p.rect, dpi));
    for (const LabelAt& l : labelPositions(*this)) {
        l.label->adjustSize();
        l.label->move(toPixels(l.left, dpi), toPixels(l.top, dpi));
    }

    // Too low for the toolkit's check mark and text: it grows about its middle.
    const int checkHeight = std::max(ChkQuit->fontMetrics().height(), style()->pixelMetric(QStyle::PM_IndicatorHeight));
    if (ChkQuit->height() < checkHeight)
        ChkQuit->setGeometry(ChkQuit->geometry().adjusted(0, 0, 0, checkHeight - ChkQuit->height())
                                 .translated(0, -(checkHeight - ChkQuit->height()) / 2));

    // The etched separator: a dark line of width 1 over a light one of width 2
    // (in pixels at the standard 96 dpi, thicker on denser screens).
    constexpr int kLineLeft = 45, kLineRight = 6400, kDarkTop = 3225, kLightTop = 3240;
    constexpr qreal kStandardDpi = 96;
    const int lineLeft = toPixels(kLineLeft, dpi);
    const int lineRight = toPixels(kLineRight, dpi);
    const int onePixel = std::max(1, qRound(dpi / kStandardDpi));
    Line1[1]->setGeometry(lineLeft, toPixels(kDarkTop, dpi), lineRight - lineLeft, onePixel);
    Line1[0]->setGeometry(lineLeft, toPixels(kLightTop, dpi), lineRight - lineLeft, 2 * onePixel);
}

void FrmMain::setKeyboardOrder()
{
    // Only controls that can take the focus are listed; the disabled ones
    // stand where they would come if they were enabled. A group of options
    // is one stop, at its selected option; the arrow keys move within it.
    QWidget* const order[] = {CmbWJ,   CmbHd,    TxtWJ,    TxtZJS,   TxtCZ,     CmbBH,    TxtWeight, ChkQuit,
                              OptTX[0], OptTX[3], OptTX[4], CmdStart, CmdDraw1,  CmdAbout, CmdQuit,   CmdIquire,
                              VScroll1, OptGc,    OptWc,    OptTX[1], OptTX[2],  OptTX[5]};
    for (std::size_t i = 1; i < std::size(order); ++i) QWidget::setTabOrder(order[i - 1], order[i]);
}

void FrmMain::connectHandlers()
{
    // Esc presses the cancel button; with a drop-down list open it only
    // closes the list. Under a window manager the open list grabs the
    // keyboard and the shortcut never sees the key; on a bare X server the
    // key arrives at this window, and the shortcut closes the list itself.
    auto* cancel = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(cancel, &QShortcut::activated, this, [this] {
        if (QWidget* popup = QApplication::activePopupWidget()) {
            popup->close();
            return;
        }
        // On a bare X server the list may already have closed on this very
        // key before the shortcut runs; the key was the list's.
        if (listClosedThisPass_) return;
        CmdQuit->click();
    });
    for (QComboBox* list : {CmbWJ, CmbHd, CmbBH}) {
        list->view()->window()->installEventFilter(new HideWatch(this, [this] {
            listClosedThisPass_ = true;
            QTimer::singleShot(0, this, [this] { listClosedThisPass_ = false; });
        }));
    }
    // Every event of the wiring goes to the form, which runs its handler.
    using C = FrmMainControl;
    for (C id : {C::CmdStart, C::CmdDraw1, C::CmdAbout, C::CmdQuit, C::CmdIquire})
        connect(static_cast<QPushButton*>(control(id)), &QPushButton::clicked, this, [this, id] { form_->Click(id); });
    for (C id : {C::CmbWJ, C::CmbHd, C::CmbBH})
        connect(static_cast<QComboBox*>(control(id)), &QComboBox::activated, this, [this, id] { form_->Click(id); });
    for (C id : {C::TxtWJ, C::TxtCZ, C::TxtZJS}) {
        onKeyPress(control(id), [this, id](std::int16_t& KeyAscii) { form_->KeyPress(id, KeyAscii); });
        onGotFocus(control(id), [this, id] { form_->GotFocus(id); });
    }
    onGotFocus(TxtWeight, [this] { form_->GotFocus(C::TxtWeight); });
    onLostFocus(CmbWJ, [this] { form_->LostFocus(C::CmbWJ); });
    connect(TxtZJS, &QLineEdit::textChanged, this, [this] { form_->Change(C::TxtZJS); });
    connect(VScroll1, &QScrollBar::valueChanged, this, [this] { form_->Change(C::VScroll1); });
    for (QLineEdit* field : {TxtWJ, TxtZJS, TxtCZ, TxtWeight, CmbWJ->lineEdit(), CmbHd->lineEdit(), CmbBH->lineEdit()})
        showBeginningOfWrittenText(field);
}


QWidget* FrmMain::control(FrmMainControl id) const
{
    using C = FrmMainControl;
    switch (id) {
    case C::Window: return const_cast<FrmMain*>(this);
    case C::Frame1: return Frame1;
    case C::Frame2: return Frame2;
    case C::Frame3: return Frame3;
    case C::Frame4: return Frame4;
    case C::LblWaJ_1: return LblWaJ_1;
    case C::CmbWJ: return CmbWJ;
    case C::Label1_0: return Label1[0];
    case C::LblWanJ_1: return LblWanJ[1];
    case C::CmbHd: return CmbHd;
    case C::LblWanJ_2: return LblWanJ[2];
    case C::LblWanJ_0: return LblWanJ[0];
    case C::TxtWJ: return TxtWJ;
    case C::Label1_2: return Label1[2];
    case C::LblWanJ_3: return LblWanJ[3];
    case C::TxtZJS: return TxtZJS;
    case C::VScroll1: return VScroll1;
    case C::LblCZ_1: return LblCZ_1;
    case C::TxtCZ: return TxtCZ;
    case C::Label1_3: return Label1[3];
    case C::LblBH_1: return LblBH_1;
    case C::CmbBH: return CmbBH;
    case C::Label1_1: return Label1[1];
    case C::Label3: return Label3;
    case C::TxtWeight: return TxtWeight;
    case C::Label4: return Label4;
    case C::ChkQuit: return ChkQuit;
    case C::OptGc: return OptGc;
    case C::OptWc: return OptWc;
    case C::OptTX_0:
    case C::OptTX_1:
    case C::OptTX_2:
    case C::OptTX_3:
    case C::OptTX_4:
    case C::OptTX_5: return OptTX[std::size_t(int(id) - int(C::OptTX_0))];
    case C::CmdStart: return CmdStart;
    case C::CmdDraw1: return CmdDraw1;
    case C::CmdAbout: return CmdAbout;
    case C::CmdQuit: return CmdQuit;
    case C::CmdIquire: return CmdIquire;
    case C::Label2: return Label2;
    case C::Line1_0: return Line1[0];
    case C::Line1_1: return Line1[1];
    case C::LblInfo: return LblInfo;
    }
    return nullptr;
}

// ---- The controls as the form sees them --------------------------------------

class FrmMain::View : public FrmMainView {
public:
    explicit View(FrmMain& w) : w_(w) {}

    std::string text(FrmMainControl id) const override
    {
        QWidget* c = w_.control(id);
        if (id == FrmMainControl::Window) return w_.windowTitle().toStdString();
        if (auto* edit = qobject_cast<QLineEdit*>(c)) return edit->text().toStdString();
        if (auto* list = qobject_cast<QComboBox*>(c)) return list->currentText().toStdString();
        if (auto* label = qobject_cast<QLabel*>(c)) return label->text().toStdString();
        if (auto* button = qobject_cast<QAbstractButton*>(c)) return button->text().toStdString();
        if (auto* frame = qobject_cast<QGroupBox*>(c)) return frame->title().toStdString();
        return {};
    }

    void setText(FrmMainControl id, const std::string& utf8) override
    {
        QWidget* c = w_.control(id);
        const QString text = QString::fromStdString(utf8);
        if (id == FrmMainControl::Window) w_.setWindowTitle(text);
        else if (auto* edit = qobject_cast<QLineEdit*>(c)) edit->setText(text);
        else if (auto* list = qobject_cast<QComboBox*>(c)) list->setEditText(text);
        else if (auto* label = qobject_cast<QLabel*>(c)) {
            label->setText(text);
            // The status line sizes itself to its text.
            if (label == w_.LblInfo) label->adjustSize();
        } else if (auto* button = qobject_cast<QAbstractButton*>(c)) button->setText(text);
        else if (auto* frame = qobject_cast<QGroupBox*>(c)) frame->setTitle(text);
    }

    void setSelection(FrmMainControl id, int SelStart, int SelLength) override
    {
        auto* field = qobject_cast<QLineEdit*>(w_.control(id));
        if (!field) return;
        field->setSelection(SelStart, SelLength);
        // A click that brought the focus places the caret after the handler
        // has run; the selection is made again once the click is through.
        if (QGuiApplication::mouseButtons() != Qt::NoButton)
            QTimer::singleShot(0, field, [field, SelStart, SelLength] {
                if (field->hasFocus()) field->setSelection(SelStart, SelLength);
            });
    }

    int listCount(FrmMainControl id) const override
    {
        auto* list = qobject_cast<QComboBox*>(w_.control(id));
        return list ? list->count() : 0;
    }

    std::string listItem(FrmMainControl id, int index) const override
    {
        auto* list = qobject_cast<QComboBox*>(w_.control(id));
        return list ? list->itemText(index).toStdString() : std::string();
    }

    void addItem(FrmMainControl id, int position, const std::string& item) override
    {
        auto* list = qobject_cast<QComboBox*>(w_.control(id));
        if (!list) return;
        const QString shown = list->currentText();
        const int index = list->currentIndex();
        list->insertItem(position, QString::fromStdString(item));
        // Qt makes the first entry inserted into an empty list the current
        // one; adding chooses nothing by itself.
        if (index < 0) {
            list->setCurrentIndex(-1);
            list->setEditText(shown);
        }
    }

    int listIndex(FrmMainControl id) const override
    {
        auto* list = qobject_cast<QComboBox*>(w_.control(id));
        return list ? list->currentIndex() : -1;
    }

    void setListIndex(FrmMainControl id, int index) override
    {
        if (auto* list = qobject_cast<QComboBox*>(w_.control(id))) list->setCurrentIndex(index);
    }

    int value(FrmMainControl id) const override
    {
        QWidget* c = w_.control(id);
        if (auto* box = qobject_cast<QCheckBox*>(c)) {
            switch (box->checkState()) {
            case Qt::Unchecked: return check::kClear;
            case Qt::Checked: return check::kTicked;
            case Qt::PartiallyChecked: return check::kGrayed;
            }
        }
        if (auto* option = qobject_cast<QRadioButton*>(c)) return option->isChecked() ? 1 : 0;
        return 0;
    }

    void setValue(FrmMainControl id, int value) override
    {
        QWidget* c = w_.control(id);
        if (auto* box = qobject_cast<QCheckBox*>(c))
            box->setCheckState(value == check::kGrayed ? Qt::PartiallyChecked
                               : value == check::kClear ? Qt::Unchecked
                                                        : Qt::Checked);
        else if (auto* option = qobject_cast<QRadioButton*>(c))
            option->setChecked(value != 0);
    }

    int scrollValue(FrmMainControl id) const override { return bar(id) ? bar(id)->value() : 0; }
    void setScrollValue(FrmMainControl id, int value) override
    {
        if (bar(id)) bar(id)->setValue(value);
    }
    int scrollMin(FrmMainControl id) const override { return bar(id) ? bar(id)->minimum() : 0; }
    int scrollMax(FrmMainControl id) const override { return bar(id) ? bar(id)->maximum() : 0; }

    bool enabled(FrmMainControl id) const override { return w_.control(id)->isEnabled(); }
    void setEnabled(FrmMainControl id, bool enabled) override { w_.control(id)->setEnabled(enabled); }
    bool visible(FrmMainControl id) const override
    {
        return id == FrmMainControl::Window ? w_.isVisible() : !w_.control(id)->isHidden();
    }
    void setVisible(FrmMainControl id, bool visible) override { w_.control(id)->setVisible(visible); }
    void setFocus(FrmMainControl id) override { w_.control(id)->setFocus(); }

    void activate() override
    {
        w_.raise();
        w_.activateWindow();
    }

    frmAboutForm& aboutDialog() override { return w_.aboutDialog(); }

private:
    QScrollBar* bar(FrmMainControl id) const { return qobject_cast<QScrollBar*>(w_.control(id)); }
    FrmMain& w_;
};

FrmMain::~FrmMain() = default;

// ---- The handlers: the form's --------------------------------------------------

void FrmMain::Form_Load() { form_->Form_Load(); }
PendingError FrmMain::InputParameter() { return form_->InputParameter(); }
void FrmMain::CmdQuit_Click() { form_->CmdQuit_Click(); }
void FrmMain::CmdAbout_Click() { form_->CmdAbout_Click(); }
void FrmMain::TxtWJ_KeyPress(std::int16_t& KeyAscii) { form_->TxtWJ_KeyPress(KeyAscii); }
void FrmMain::TxtCZ_KeyPress(std::int16_t& KeyAscii) { form_->TxtCZ_KeyPress(KeyAscii); }
void FrmMain::TxtZJS_KeyPress(std::int16_t& KeyAscii) { form_->TxtZJS_KeyPress(KeyAscii); }
void FrmMain::TxtWJ_GotFocus() { form_->TxtWJ_GotFocus(); }
void FrmMain::TxtCZ_GotFocus() { form_->TxtCZ_GotFocus(); }
void FrmMain::TxtZJS_GotFocus() { form_->TxtZJS_GotFocus(); }
void FrmMain::TxtZJS_Change() { form_->TxtZJS_Change(); }
void FrmMain::VScroll1_Change() { form_->VScroll1_Change(); }
void FrmMain::LoadDiameterSeries() { form_->LoadDiameterSeries(); }
void FrmMain::LoadWallThickness() { form_->LoadWallThickness(); }
void FrmMain::LoadBendAngles() { form_->LoadBendAngles(); }
void FrmMain::CmdIquire_Click() { form_->CmdIquire_Click(); }
void FrmMain::CmbWJ_Click() { form_->CmbWJ_Click(); }
void FrmMain::CmbHd_Click() { form_->CmbHd_Click(); }
void FrmMain::CmbWJ_LostFocus() { form_->CmbWJ_LostFocus(); }
void FrmMain::CmbBH_Click() { form_->CmbBH_Click(); }
void FrmMain::TxtWeight_GotFocus() { form_->TxtWeight_GotFocus(); }
void FrmMain::Start() { form_->Start(); }
void FrmMain::CmdStart_Click() { form_->CmdStart_Click(); }
ElbowDrawCommand::Outcome FrmMain::CmdDraw1_Click() { return form_->CmdDraw1_Click(); }

int FrmMain::chkQuitValue() const { return view_->value(FrmMainControl::ChkQuit); }

Status FrmMain::selectListEntry(QComboBox* list, int index)
{
    if (index < -1 || index >= list->count())
        return Error{kInvalidPropertyValue, "Invalid property value", list->objectName().toStdString()};
    list->setCurrentIndex(index);
    emit list->activated(index);
    return success();
}

}  // namespace tessik
