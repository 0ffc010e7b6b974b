#pragma once
// frmAbout: the product information window, the Qt view of frmAboutForm.
//
// It shows the title and version, a description, the team's contact line with
// three link labels, a slide show of five pictures, a day counter, a blinking
// notice and a short verse, and a button that starts the desktop's
// system-information program. What it does (loading, the three timers, the
// links, the system-information lookup, unloading) lives in frmAboutForm
// (form/); this class builds the widgets in their design-time state, shows
// the form their state through frmAboutView and hands Qt's events to it. Its
// handler slots run the form's handler of the same name.
//
// Each way out (OK, Enter, Escape, the close box, the countdown) unloads the
// dialog through the form, which stops the timers and shows the main window
// again. The QTimers Timer1..Timer3 run the form's tick handlers; a test calls
// the slots directly, so it runs the whole minute at once.

#include <QDialog>
#include <QList>
#include <QStringList>

#include <cstdint>
#include <memory>

#include "Desktop.h"
#include "frmAboutForm.h"

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
    bool isLoaded() const;
    frmAboutForm& form() { return *form_; }

    void StartSysInfo();

    // The programs StartSysInfo tries, in order, where there is no registry.
    static QStringList systemInformationTools();
    // Folders searched for them; empty means the PATH of the environment.
    void setToolSearchPath(const QStringList& folders);

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
    class View;
    int px(int twips) const;
    QRect twipsRect(int left, int top, int width, int height) const;
    void createControls();
    void loadDesignState();
    QLabel* addLabel(const char* name, int left, int top, int width, int height);
    void placeLabel(QLabel* label, const QString& text);
    void setLinkStyle(QLabel* label, bool underlineItalic, const QColor& colour);
    QWidget* control(frmAboutControl id) const;

    std::unique_ptr<View> view_;
    std::unique_ptr<frmAboutForm> form_;
    // A close under way: the form's unload hides nothing further.
    bool closing_ = false;

public:
    // The dialog's variables (the form's); 16-bit as the counters they model.
    std::int16_t& BlnBlink;
    std::int16_t& IntCountdown;
    std::int16_t& IntPic;

private:
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
