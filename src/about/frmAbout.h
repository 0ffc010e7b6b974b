#pragma once
// frmAbout: the product information window.
//
// It shows the title and version, a description, the team's contact line with
// three link labels, a slide show of five pictures, a day counter, a blinking
// notice and a short verse, and a button that starts the desktop's
// system-information program. Three timers animate it: Timer1 (2 s) steps the
// slide show, Timer2 (0.4 s) blinks the notice, Timer3 (1 s) counts down on
// the OK button and closes the dialog at the tick that shows 0.
//
// The object lives as long as its owner; Show() loads the window afresh
// (design-time captions, colours and pictures, then Form_Load) and every way
// out (OK, Enter, Escape, the close box, the countdown) unloads it, which
// stops the timers and shows the main window again. BlnBlink survives an
// unload, so a reopened notice carries on its blink from where it stopped.
//
// Time is a seam: each timer's tick is a public slot that the QTimer calls in
// the running program and a test calls directly, so a test runs the whole
// minute at once. Everything that leaves the program (message box, starting
// a program, opening a link, today's date) goes through the Desktop.
//
// System information: on Windows the registry tells where the
// system-information program lives (GetKeyValue). Elsewhere StartSysInfo
// looks on the search path (PATH unless setToolSearchPath says otherwise) for
// the first of systemInformationTools(): hardinfo, a system profiler and the
// nearest match, then lshw-gtk, then the desktops' system monitors.

#include <QDialog>
#include <QList>
#include <QStringList>

#include "Desktop.h"

class QLabel;
class QPushButton;
class QTimer;

namespace tessik {

class frmAbout : public QDialog {
    Q_OBJECT

public:
    // `mainWindow` is shown again whenever the dialog unloads; it may be null.
    frmAbout(Desktop& desktop, QWidget* mainWindow, QWidget* parent = nullptr);
    ~frmAbout() override;

    // Loads the window (if it is not loaded) and shows it, not modal.
    void Show();
    bool isLoaded() const { return m_loaded; }

    void StartSysInfo();
#ifdef _WIN32
    // Reads the value SubKeyRef of KeyRoot\KeyName as text into KeyVal; false
    // (and KeyVal empty) when the key or value cannot be read. KeyRoot is a
    // predefined root such as HKEY_LOCAL_MACHINE.
    bool GetKeyValue(void* KeyRoot, const QString& KeyName, const QString& SubKeyRef, QString& KeyVal);
#endif

    // The programs StartSysInfo tries, in order, where there is no registry.
    static QStringList systemInformationTools();
    // Folders searched for them; empty means the PATH of the environment.
    void setToolSearchPath(const QStringList& folders) { m_toolSearchPath = folders; }

    // The dialog's variables; 16-bit as the counters they model.
    qint16 BlnBlink = 0;
    qint16 IntCountdown = 0;
    qint16 IntPic = 0;

public slots:
    void cmdSysInfo_Click();
    void cmdOK_Click();
    void Form_MouseMove();
    void Label2_Click();
    void Label2_MouseMove();
    void Label7_Click();
    void Label7_MouseMove();
    void Label8_Click();
    void Label8_MouseMove();
    void picIcon_MouseMove(int index);
    void Timer1_Timer();
    void Timer2_Timer();
    void Timer3_Timer();
    // Escape: unloads the dialog, as the OK button does.
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int px(int twips) const;
    QRect twipsRect(int left, int top, int width, int height) const;
    void createControls();
    void loadDesignState();
    void Form_Load();
    void Form_Unload();
    QLabel* addLabel(const char* name, int left, int top, int width, int height);
    void placeLabel(QLabel* label, const QString& text);
    void setLinkStyle(QLabel* label, bool hovered);
    void showUnavailable();

    Desktop& m_desktop;
    QWidget* m_mainWindow;
    bool m_loaded = false;
    QStringList m_toolSearchPath;

    QList<QLabel*> picIcon;
    QLabel* lblTitle = nullptr;
    QLabel* lblVersion = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* lblDescription = nullptr;
    QLabel* Label9 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label7 = nullptr;
    QLabel* Label10 = nullptr;
    QLabel* Label8 = nullptr;
    QLabel* Image1 = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdSysInfo = nullptr;
    QLabel* lblDisclaimer = nullptr;
    QTimer* Timer1 = nullptr;
    QTimer* Timer2 = nullptr;
    QTimer* Timer3 = nullptr;
};

}  // namespace tessik
