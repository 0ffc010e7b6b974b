#include "frmAbout.h"

#include <QCloseEvent>
#include <QCursor>
#include <QFileInfo>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>

#include "ToolConstants.h"

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

const QString kTitle = QString::fromUtf8(kProgramTitle);
const QString kContactAddress = QStringLiteral("tessik@example.org");
const QColor kLightRed(255, 128, 128);
const QColor kLightBlue(128, 128, 255);
const QColor kLinkBlue(0, 0, 255);
const QColor kBlack(0, 0, 0);
const QDate kFirstDay(2006, 3, 8);

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
    : QDialog(parent), m_desktop(desktop), m_mainWindow(mainWindow)
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
    connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);

    cmdSysInfo = new QPushButton(this);
    cmdSysInfo->setObjectName(QStringLiteral("cmdSysInfo"));
    cmdSysInfo->setGeometry(twipsRect(4200, 3600, 1485, 345));
    // Focused, it takes Enter (and shows as the default); OK is the default otherwise.
    cmdSysInfo->setAutoDefault(true);
    connect(cmdSysInfo, &QPushButton::clicked, this, &frmAbout::cmdSysInfo_Click);

    const std::pair<QTimer**, int> timers[] = {{&Timer1, 2000}, {&Timer2, 400}, {&Timer3, 1000}};
    int number = 1;
    for (const auto& [timer, interval] : timers) {
        *timer = new QTimer(this);
        (*timer)->setObjectName(QStringLiteral("Timer%1").arg(number++));
        (*timer)->setInterval(interval);
    }
    connect(Timer1, &QTimer::timeout, this, &frmAbout::Timer1_Timer);
    connect(Timer2, &QTimer::timeout, this, &frmAbout::Timer2_Timer);
    connect(Timer3, &QTimer::timeout, this, &frmAbout::Timer3_Timer);
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

    placeLabel(Label1, QStringLiteral("© 2006–2026 %1 开发组").arg(kTitle));
    lblDescription->setText(QStringLiteral("%1 是分节（虾米腰）弯头的设计工具：按标准推荐弯曲半径和中节数，"
                                           "计算弯头重量，并把主视图、左视图或右视图画进 CAD 图形。")
                                .arg(kTitle));
    placeLabel(Label9, QStringLiteral("自由软件：GNU GPL v3+，无任何担保。"));
    placeLabel(Label5, QStringLiteral("献给管工们"));
    placeLabel(Label4, QStringLiteral("问题与建议，请写电子邮件："));
    placeLabel(Label3, QStringLiteral("欢迎反馈"));
    placeLabel(Label2, QStringLiteral("Email:") + kContactAddress);
    placeLabel(Label6, QStringLiteral("始于2006-3-8"));
    placeLabel(Label7, QStringLiteral("https://tessik.example.org/"));
    placeLabel(Label10, QString());
    placeLabel(Label8, QStringLiteral("https://example.org/tessik/"));
    lblDisclaimer->setText(QStringLiteral("截直成弯节节连，一纸图样到眼前。"));
    placeLabel(lblTitle, QString());
    placeLabel(lblVersion, QString());

    setTextColour(lblTitle, kBlack);
    setTextColour(lblDescription, kBlack);
    setTextColour(Label9, kLightRed);
    setTextColour(lblDisclaimer, kLightBlue);
    for (QLabel* link : {Label2, Label7, Label8}) setLinkStyle(link, false);

    cmdOK->setText(QStringLiteral("确定"));
    cmdSysInfo->setText(QStringLiteral("系统信息(&S)..."));
}

void frmAbout::Show()
{
    if (!m_loaded) {
        loadDesignState();
        Form_Load();
        for (QTimer* timer : {Timer1, Timer2, Timer3}) timer->start();
        m_loaded = true;
        cmdOK->setFocus();
    }
    show();
    raise();
    activateWindow();
}

void frmAbout::Form_Load()
{
    setWindowTitle(QStringLiteral("关于 ") + kTitle);
    placeLabel(lblVersion, QStringLiteral("版本 %1.%2.%3")
                               .arg(TESSIK_VERSION_MAJOR)
                               .arg(TESSIK_VERSION_MINOR)
                               .arg(TESSIK_VERSION_PATCH));
    placeLabel(lblTitle, kTitle);
    for (IntPic = 1; IntPic <= 4; ++IntPic) picIcon[IntPic]->move(picIcon[0]->pos());
    IntPic = 0;
    placeLabel(Label10, QStringLiteral("今日第%1天").arg(kFirstDay.daysTo(m_desktop.today())));
    IntCountdown = 60;
}

void frmAbout::Form_Unload()
{
    if (m_mainWindow) m_mainWindow->show();
}

void frmAbout::closeEvent(QCloseEvent* event)
{
    if (m_loaded) {
        for (QTimer* timer : {Timer1, Timer2, Timer3}) timer->stop();
        m_loaded = false;
        Form_Unload();
    }
    event->accept();
}

void frmAbout::reject() { close(); }

void frmAbout::cmdOK_Click() { close(); }

void frmAbout::cmdSysInfo_Click() { StartSysInfo(); }

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

void frmAbout::setLinkStyle(QLabel* label, bool hovered)
{
    QFont font = label->font();
    font.setUnderline(hovered);
    font.setItalic(hovered);
    label->setFont(font);
    setTextColour(label, hovered ? kLinkBlue : kBlack);
}

void frmAbout::Form_MouseMove()
{
    for (QLabel* link : {Label2, Label7, Label8}) setLinkStyle(link, false);
    // Enabling a running timer leaves its interval alone, so moving about
    // the background does not hold the slide show back.
    if (m_loaded && !Timer1->isActive()) Timer1->start();
}

void frmAbout::Label2_MouseMove()
{
    setLinkStyle(Label2, true);
    setLinkStyle(Label7, false);
    setLinkStyle(Label8, false);
}

void frmAbout::Label7_MouseMove()
{
    setLinkStyle(Label2, false);
    setLinkStyle(Label7, true);
    setLinkStyle(Label8, false);
}

void frmAbout::Label8_MouseMove() { setLinkStyle(Label8, true); }

void frmAbout::picIcon_MouseMove(int /*index*/) { Timer1->stop(); }

void frmAbout::Label2_Click() { m_desktop.openUrl(QUrl(QStringLiteral("mailto:") + kContactAddress)); }

void frmAbout::Label7_Click() { m_desktop.openUrl(QUrl(Label7->text())); }

void frmAbout::Label8_Click() { m_desktop.openUrl(QUrl(Label8->text())); }

void frmAbout::Timer1_Timer()
{
    IntPic = IntPic % 5;
    picIcon[IntPic]->setVisible(true);
    for (int step = 1; step <= 4; ++step) picIcon[(IntPic + step) % 5]->setVisible(false);
    IntPic = IntPic + 1;
}

void frmAbout::Timer2_Timer()
{
    setTextColour(Label9, BlnBlink != 0 ? kBlack : kLightRed);
    BlnBlink = ~BlnBlink;
}

void frmAbout::Timer3_Timer()
{
    cmdOK->setText(QStringLiteral("%1秒后自动确定").arg(IntCountdown));
    if (IntCountdown == 0) cmdOK_Click();
    IntCountdown = IntCountdown - 1;
}

QStringList frmAbout::systemInformationTools()
{
    return {QStringLiteral("hardinfo"),          QStringLiteral("lshw-gtk"),
            QStringLiteral("gnome-system-monitor"), QStringLiteral("plasma-systemmonitor"),
            QStringLiteral("ksysguard"),         QStringLiteral("xfce4-taskmanager")};
}

// The box is modal and runs its own event loop: the dialog's timers are held
// while it is open, so no tick (and not the countdown's close) lands in the
// middle of this handler, and they go on from where they were afterwards.
void frmAbout::showUnavailable()
{
    QList<QTimer*> held;
    for (QTimer* timer : {Timer1, Timer2, Timer3}) {
        if (!timer->isActive()) continue;
        timer->stop();
        held << timer;
    }
    m_desktop.messageBox(QStringLiteral("此时系统信息不可用"), msgbox::kOkOnly, kTitle);
    if (m_loaded)
        for (QTimer* timer : held) timer->start();
}

#ifdef _WIN32

void frmAbout::StartSysInfo()
{
    QString path;
    if (GetKeyValue(HKEY_LOCAL_MACHINE, QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO"),
                    QStringLiteral("PATH"), path)) {
        // The registered path is used as it is.
    } else if (GetKeyValue(HKEY_LOCAL_MACHINE, QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location"),
                           QStringLiteral("MSINFO"), path)
               && QFileInfo::exists(path + QStringLiteral("\\MSINFO32.EXE"))) {
        path += QStringLiteral("\\MSINFO32.EXE");
    } else {
        showUnavailable();
        return;
    }
    if (!m_desktop.startDetached(path, {})) showUnavailable();
}

bool frmAbout::GetKeyValue(void* KeyRoot, const QString& KeyName, const QString& SubKeyRef, QString& KeyVal)
{
    // Read access is all a lookup needs; asking for full access fails for
    // ordinary users.
    HKEY key = nullptr;
    if (RegOpenKeyExA(static_cast<HKEY>(KeyRoot), KeyName.toLocal8Bit().constData(), 0, KEY_READ, &key)
        != ERROR_SUCCESS) {
        KeyVal.clear();
        return false;
    }
    QByteArray buffer(1024, '\0');
    DWORD size = 1024;
    DWORD type = 0;
    if (RegQueryValueExA(key, SubKeyRef.toLocal8Bit().constData(), nullptr, &type,
                         reinterpret_cast<LPBYTE>(buffer.data()), &size)
        != ERROR_SUCCESS) {
        KeyVal.clear();
        RegCloseKey(key);
        return false;
    }
    QByteArray data = buffer.left(static_cast<int>(size));
    if (data.endsWith('\0')) data.chop(1);
    if (type == REG_SZ) {
        KeyVal = QString::fromLocal8Bit(data);
    } else if (type == REG_DWORD && size >= sizeof(DWORD)) {
        DWORD number = 0;
        std::memcpy(&number, buffer.constData(), sizeof number);
        KeyVal = QString::number(number);
    }
    RegCloseKey(key);
    return true;
}

#else

void frmAbout::StartSysInfo()
{
    QString program;
    for (const QString& tool : systemInformationTools()) {
        program = m_toolSearchPath.isEmpty() ? QStandardPaths::findExecutable(tool)
                                             : QStandardPaths::findExecutable(tool, m_toolSearchPath);
        if (!program.isEmpty()) break;
    }
    if (program.isEmpty() || !m_desktop.startDetached(program, {})) showUnavailable();
}

#endif

}  // namespace tessik
