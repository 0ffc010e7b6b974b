#include "frmAbout.h"

#include <QCloseEvent>
#include <QCursor>
#include <QFileInfo>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>

#include "ToolConstants.h"
#include "frmAboutDesign.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <cstring>
#endif

// The pictures live in a static library: their registration has to be
// pulled in by name, from the global namespace.
static void initAboutResources() { Q_INIT_RESOURCE(about); }

namespace tessik {

namespace {

const QColor kLightRed(255, 128, 128);
const QColor kLightBlue(128, 128, 255);
const QColor kBlack(0, 0, 0);

void setTextColour(QLabel* label, const QColor& colour)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}

}  // namespace

// The layout is in twips, 1440 to the inch: 15 to a pixel at 96 dots per inch.
int frmAbout::px(int twips) const { return qRound(twips * logicalDpiX() / 1440.0); }

// Edges are converted, not sizes, so the layout's edges land where they should.
QRect frmAbout::twipsRect(int left, int top, int width, int height) const
{
    return QRect(QPoint(px(left), px(top)), QPoint(px(left + width) - 1, px(top + height) - 1));
}

frmAbout::frmAbout(Desktop& desktop, QWidget* mainWindow, QWidget* parent)
    : QDialog(parent),
      view_(std::make_unique<View>(*this)),
      form_(std::make_unique<frmAboutForm>(*view_, desktop,
                                           [mainWindow = QPointer<QWidget>(mainWindow)] {
                                               if (mainWindow) mainWindow->show();
                                           })),
      BlnBlink(form_->BlnBlink),
      IntCountdown(form_->IntCountdown),
      IntPic(form_->IntPic)
{
    initAboutResources();
    setObjectName(QStringLiteral("frmAbout"));
    // A fixed dialog frame: a title and a close box, no minimize or maximize.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
                   | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(px(6000), px(4110));
    setMouseTracking(true);
    createControls();
}

frmAbout::~frmAbout() = default;

QLabel* frmAbout::addLabel(const char* name, int left, int top, int width, int height)
{
    auto* label = new QLabel(this);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(twipsRect(left, top, width, height));
    label->setProperty("layoutWidth", label->width());
    label->setProperty("layoutHeight", label->height());
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

void frmAbout::createControls()
{
    for (int i = 0; i < 5; ++i) {
        auto* picture = new QLabel(this);
        picture->setObjectName(QStringLiteral("picIcon%1").arg(i));
        picture->setGeometry(twipsRect(120, 240, 1500, 1500));
        picture->setMouseTracking(true);
        picture->installEventFilter(this);
        picIcon << picture;
    }
    lblTitle = addLabel("lblTitle", 1800, 240, 3645, 240);
    lblVersion = addLabel("lblVersion", 1800, 480, 360, 180);
    Label1 = addLabel("Label1", 3000, 480, 2700, 180);
    lblDescription = addLabel("lblDescription", 1800, 720, 4095, 885);
    lblDescription->setWordWrap(true);
    Label9 = addLabel("Label9", 2040, 1680, 3330, 180);
    Label5 = addLabel("Label5", 360, 1920, 990, 180);
    Label4 = addLabel("Label4", 2040, 1920, 2340, 180);
    Label3 = addLabel("Label3", 4680, 1920, 1170, 180);
    Label2 = addLabel("Label2", 2040, 2160, 2250, 180);
    Label6 = addLabel("Label6", 360, 2220, 1170, 180);
    Label7 = addLabel("Label7", 2040, 2400, 2520, 180);
    Label10 = addLabel("Label10", 360, 2520, 630, 180);
    Label8 = addLabel("Label8", 2040, 2640, 2160, 180);
    Image1 = addLabel("Image1", 120, 3120, 3945, 285);
    lblDisclaimer = addLabel("lblDisclaimer", 480, 3480, 3135, 345);

    const QCursor hand(QPixmap(QStringLiteral(":/about/hand.png")), 12, 1);
    for (QLabel* link : {Label2, Label7, Label8}) {
        link->setCursor(hand);
        link->setMouseTracking(true);
        link->installEventFilter(this);
    }

    cmdOK = new QPushButton(this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setGeometry(twipsRect(4200, 3120, 1500, 345));
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, [this] { form_->cmdOK_Click(); });

    cmdSysInfo = new QPushButton(this);
    cmdSysInfo->setObjectName(QStringLiteral("cmdSysInfo"));
    cmdSysInfo->setGeometry(twipsRect(4200, 3600, 1485, 345));
    // Focused, it takes Enter (and shows as the default); OK is the default otherwise.
    cmdSysInfo->setAutoDefault(true);
    connect(cmdSysInfo, &QPushButton::clicked, this, [this] { form_->cmdSysInfo_Click(); });

    const std::pair<QTimer**, int> timers[] = {{&Timer1, 2000}, {&Timer2, 400}, {&Timer3, 1000}};
    int number = 1;
    for (const auto& [timer, interval] : timers) {
        *timer = new QTimer(this);
        (*timer)->setObjectName(QStringLiteral("Timer%1").arg(number++));
        (*timer)->setInterval(interval);
    }
    connect(Timer1, &QTimer::timeout, this, [this] { form_->Timer1_Timer(); });
    connect(Timer2, &QTimer::timeout, this, [this] { form_->Timer2_Timer(); });
    connect(Timer3, &QTimer::timeout, this, [this] { form_->Timer3_Timer(); });
}

// A one-line label keeps its place from the layout and grows to the right
// and downwards when its text (in the wider, hovered style too) would not
// fit: the layout's 12-pixel lines are shorter than today's default fonts.
void frmAbout::placeLabel(QLabel* label, const QString& text)
{
    label->setText(text);
    QFont widest = label->font();
    widest.setItalic(true);
    const QFontMetrics metrics(widest);
    label->resize(qMax(label->property("layoutWidth").toInt(), metrics.horizontalAdvance(text) + 2),
                  qMax(label->property("layoutHeight").toInt(), metrics.height()));
}

// What a freshly loaded window looks like before Form_Load runs.
void frmAbout::loadDesignState()
{
    const char* pictures[] = {":/about/pic0.png", ":/about/pic1.png", ":/about/pic2.png", ":/about/pic3.png",
                              ":/about/pic4.png"};
    for (int i = 0; i < picIcon.size(); ++i) {
        picIcon[i]->setPixmap(QPixmap(QString::fromLatin1(pictures[i])));
        picIcon[i]->show();
    }
    Image1->setPixmap(QPixmap(QStringLiteral(":/about/banner.png")));

    const auto design = [](frmAboutControl c) { return QString::fromStdString(designText(c)); };
    using C = frmAboutControl;
    placeLabel(Label1, design(C::Label1));
    lblDescription->setText(design(C::lblDescription));
    for (const auto& [label, id] : {std::pair{Label9, C::Label9}, {Label5, C::Label5}, {Label4, C::Label4},
                                    {Label3, C::Label3}, {Label2, C::Label2}, {Label6, C::Label6}, {Label7, C::Label7}})
        placeLabel(label, design(id));
    placeLabel(Label10, QString());
    placeLabel(Label8, design(C::Label8));
    lblDisclaimer->setText(design(C::lblDisclaimer));
    placeLabel(lblTitle, QString());
    placeLabel(lblVersion, QString());

    setTextColour(lblTitle, kBlack);
    setTextColour(lblDescription, kBlack);
    setTextColour(Label9, kLightRed);
    setTextColour(lblDisclaimer, kLightBlue);
    for (QLabel* link : {Label2, Label7, Label8}) setLinkStyle(link, false, kBlack);

    cmdOK->setText(design(C::cmdOK));
    cmdSysInfo->setText(design(C::cmdSysInfo));
}

void frmAbout::Show() { form_->Show(); }
bool frmAbout::isLoaded() const { return form_->isLoaded(); }

void frmAbout::closeEvent(QCloseEvent* event)
{
    closing_ = true;
    form_->Unload();
    closing_ = false;
    event->accept();
}

void frmAbout::reject() { close(); }

void frmAbout::mouseMoveEvent(QMouseEvent* event)
{
    // Moves over a control reach the dialog too; only the background counts.
    if (!childAt(event->position().toPoint())) Form_MouseMove();
    QDialog::mouseMoveEvent(event);
}

bool frmAbout::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseMove) {
        if (watched == Label2) Label2_MouseMove();
        else if (watched == Label7) Label7_MouseMove();
        else if (watched == Label8) Label8_MouseMove();
        else if (const int index = picIcon.indexOf(static_cast<QLabel*>(watched)); index >= 0) picIcon_MouseMove(index);
    } else if (event->type() == QEvent::MouseButtonRelease
               && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        auto* label = static_cast<QWidget*>(watched);
        if (label->rect().contains(static_cast<QMouseEvent*>(event)->position().toPoint())) {
            if (watched == Label2) Label2_Click();
            else if (watched == Label7) Label7_Click();
            else if (watched == Label8) Label8_Click();
        }
    }
    return QDialog::eventFilter(watched, event);
}

void frmAbout::paintEvent(QPaintEvent* event)
{
    QDialog::paintEvent(event);
    // The etched separator: a white line under a grey one.
    QPainter painter(this);
    painter.setPen(QPen(Qt::white, 2));
    painter.drawLine(px(225), px(2940), px(5774), px(2940));
    painter.setPen(QPen(QColor(128, 128, 128), 1));
    painter.drawLine(px(120), px(2925), px(5880), px(2925));
}

void frmAbout::setLinkStyle(QLabel* label, bool underlineItalic, const QColor& colour)
{
    QFont font = label->font();
    font.setUnderline(underlineItalic);
    font.setItalic(underlineItalic);
    label->setFont(font);
    setTextColour(label, colour);
}

// ---- The handlers: the form's ---------------------------------------------------

void frmAbout::cmdOK_Click() { form_->cmdOK_Click(); }
void frmAbout::cmdSysInfo_Click() { form_->cmdSysInfo_Click(); }
void frmAbout::StartSysInfo() { form_->StartSysInfo(); }
void frmAbout::Form_MouseMove() { form_->Form_MouseMove(); }
void frmAbout::Label2_MouseMove() { form_->Label2_MouseMove(); }
void frmAbout::Label7_MouseMove() { form_->Label7_MouseMove(); }
void frmAbout::Label8_MouseMove() { form_->Label8_MouseMove(); }
void frmAbout::picIcon_MouseMove(int index) { form_->picIcon_MouseMove(index); }
void frmAbout::Label2_Click() { form_->Label2_Click(); }
void frmAbout::Label7_Click() { form_->Label7_Click(); }
void frmAbout::Label8_Click() { form_->Label8_Click(); }
void frmAbout::Timer1_Timer() { form_->Timer1_Timer(); }
void frmAbout::Timer2_Timer() { form_->Timer2_Timer(); }
void frmAbout::Timer3_Timer() { form_->Timer3_Timer(); }

QStringList frmAbout::systemInformationTools()
{
    QStringList tools;
    for (const std::string& tool : frmAboutForm::systemInformationTools()) tools << QString::fromStdString(tool);
    return tools;
}

void frmAbout::setToolSearchPath(const QStringList& folders)
{
    std::vector<std::string> paths;
    for (const QString& folder : folders) paths.push_back(folder.toStdString());
    form_->setToolSearchPath(std::move(paths));
}

QWidget* frmAbout::control(frmAboutControl id) const
{
    using C = frmAboutControl;
    switch (id) {
    case C::Window: return const_cast<frmAbout*>(this);
    case C::picIcon_0:
    case C::picIcon_1:
    case C::picIcon_2:
    case C::picIcon_3:
    case C::picIcon_4: return picIcon.value(int(id) - int(C::picIcon_0));
    case C::lblTitle: return lblTitle;
    case C::lblVersion: return lblVersion;
    case C::Label1: return Label1;
    case C::lblDescription: return lblDescription;
    case C::Label9: return Label9;
    case C::Label5: return Label5;
    case C::Label4: return Label4;
    case C::Label3: return Label3;
    case C::Label2: return Label2;
    case C::Label6: return Label6;
    case C::Label7: return Label7;
    case C::Label10: return Label10;
    case C::Label8: return Label8;
    case C::Image1: return Image1;
    case C::cmdOK: return cmdOK;
    case C::cmdSysInfo: return cmdSysInfo;
    case C::lblDisclaimer: return lblDisclaimer;
    case C::Timer1:
    case C::Timer2:
    case C::Timer3: return nullptr;
    }
    return nullptr;
}

// ---- The controls as the form sees them --------------------------------------

class frmAbout::View : public frmAboutView {
public:
    explicit View(frmAbout& d) : d_(d) {}

    void load() override
    {
        for (QTimer* timer : {d_.Timer1, d_.Timer2, d_.Timer3}) timer->stop();
        d_.loadDesignState();
    }

    std::string text(frmAboutControl id) const override
    {
        QWidget* c = d_.control(id);
        if (id == frmAboutControl::Window) return d_.windowTitle().toStdString();
        if (auto* label = qobject_cast<QLabel*>(c)) return label->text().toStdString();
        if (auto* button = qobject_cast<QPushButton*>(c)) return button->text().toStdString();
        return {};
    }

    void setText(frmAboutControl id, const std::string& utf8) override
    {
        QWidget* c = d_.control(id);
        const QString text = QString::fromStdString(utf8);
        if (id == frmAboutControl::Window) d_.setWindowTitle(text);
        else if (c == d_.lblDescription || c == d_.lblDisclaimer) static_cast<QLabel*>(c)->setText(text);
        else if (auto* label = qobject_cast<QLabel*>(c)) d_.placeLabel(label, text);
        else if (auto* button = qobject_cast<QPushButton*>(c)) button->setText(text);
    }

    void setTextColour(frmAboutControl id, TextColour colour) override
    {
        if (auto* label = qobject_cast<QLabel*>(d_.control(id))) tessik::setTextColour(label, toQColor(colour));
    }

    TextColour textColour(frmAboutControl id) const override
    {
        QWidget* c = d_.control(id);
        if (!c) return {};
        const QColor colour = c->palette().color(QPalette::WindowText);
        return {std::uint8_t(colour.red()), std::uint8_t(colour.green()), std::uint8_t(colour.blue())};
    }

    void setLinkStyle(frmAboutControl id, bool underlineItalic, TextColour colour) override
    {
        if (auto* label = qobject_cast<QLabel*>(d_.control(id))) d_.setLinkStyle(label, underlineItalic, toQColor(colour));
    }

    bool visible(frmAboutControl id) const override
    {
        if (id == frmAboutControl::Window) return d_.isVisible();
        QWidget* c = d_.control(id);
        return c && !c->isHidden();
    }

    void setVisible(frmAboutControl id, bool visible) override
    {
        if (id == frmAboutControl::Window) {
            if (visible) d_.show();
            else if (!d_.closing_) d_.close();
        } else if (QWidget* c = d_.control(id)) {
            c->setVisible(visible);
        }
    }

    int left(frmAboutControl id) const override { return d_.control(id) ? d_.control(id)->x() : 0; }
    int top(frmAboutControl id) const override { return d_.control(id) ? d_.control(id)->y() : 0; }
    void move(frmAboutControl id, int left, int top) override
    {
        if (QWidget* c = d_.control(id)) c->move(left, top);
    }

    void setFocus(frmAboutControl id) override
    {
        if (QWidget* c = d_.control(id)) c->setFocus();
    }

    void activate() override
    {
        d_.raise();
        d_.activateWindow();
    }

    void setTimerInterval(frmAboutControl id, int milliseconds) override
    {
        if (QTimer* t = timer(id)) t->setInterval(milliseconds);
    }

    void setTimerEnabled(frmAboutControl id, bool enabled) override
    {
        QTimer* t = timer(id);
        if (!t) return;
        if (!enabled) t->stop();
        else if (!t->isActive()) t->start();
    }

    bool timerEnabled(frmAboutControl id) const override { return timer(id) && timer(id)->isActive(); }

private:
    static QColor toQColor(TextColour colour) { return QColor(colour.red, colour.green, colour.blue); }
    QTimer* timer(frmAboutControl id) const
    {
        switch (id) {
        case frmAboutControl::Timer1: return d_.Timer1;
        case frmAboutControl::Timer2: return d_.Timer2;
        case frmAboutControl::Timer3: return d_.Timer3;
        default: return nullptr;
        }
    }
    frmAbout& d_;
};

}  // namespace tessik
