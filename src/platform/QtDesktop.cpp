#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QWidget>

#include "DetachedStdio.h"
#include "Desktop.h"
#include "X11WindowActivation.h"

namespace tessik {

CivilDate Desktop::todayDate() const
{
    const QDate date = today();
    return {date.year(), date.month(), date.day()};
}

bool Desktop::startProgram(const std::string& path) { return startDetached(QString::fromStdString(path), {}); }

bool Desktop::openLink(const std::string& address) { return openUrl(QUrl(QString::fromStdString(address))); }

std::optional<RegistryValue> Desktop::queryRegistryValue(std::uint32_t, const std::string&, const std::string&)
{
    return std::nullopt;
}

bool Desktop::fileExists(const std::string& path) { return QFileInfo::exists(QString::fromStdString(path)); }

std::string Desktop::findProgram(const std::string& name, const std::vector<std::string>& folders)
{
    QStringList paths;
    for (const std::string& folder : folders) paths << QString::fromStdString(folder);
    const QString program = QString::fromStdString(name);
    return (paths.isEmpty() ? QStandardPaths::findExecutable(program) : QStandardPaths::findExecutable(program, paths))
        .toStdString();
}

int QtDesktop::messageBox(const std::string& text, int style, const std::string& title)
{
    const QPointer<QWidget> owner = QApplication::activeWindow();
    QMessageBox box(owner);
    box.setWindowTitle(QString::fromStdString(title));
    box.setText(QString::fromStdString(text));
    const int icon = style & 0x70;
    box.setIcon(icon == msgbox::kQuestion      ? QMessageBox::Question
                : icon == msgbox::kInformation ? QMessageBox::Information
                : icon == 48                   ? QMessageBox::Warning
                : icon == 16                   ? QMessageBox::Critical
                                               : QMessageBox::NoIcon);
    const bool okCancel = (style & 0x0F) == msgbox::kOkCancel;
    QPushButton* ok = box.addButton(QStringLiteral("确定"), QMessageBox::AcceptRole);
    QPushButton* cancel = okCancel ? box.addButton(QStringLiteral("取消"), QMessageBox::RejectRole) : nullptr;
    box.setDefaultButton(ok);
    box.setEscapeButton(cancel ? static_cast<QAbstractButton*>(cancel) : ok);
    box.exec();
    // The keyboard back to the window the box was asked over: a window
    // manager does this itself, a bare X server leaves it with nobody.
    if (owner && owner->isVisible()) {
        owner->raise();
        owner->activateWindow();
    }
    if (cancel && box.clickedButton() != ok) return msgbox::kAnswerCancel;
    return msgbox::kAnswerOk;
}

void QtDesktop::beep() { QApplication::beep(); }

bool QtDesktop::activateWindow(const std::string& utf8Title)
{
    const QString title = QString::fromStdString(utf8Title);
    // One of our own windows: directly.
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->isVisible() && w->windowTitle() == title) {
            w->raise();
            w->activateWindow();
            return true;
        }
    }
    // Another program's window: through the X server where there is one.
    if (QGuiApplication::platformName() == QLatin1String("xcb")) return activateX11Window({}, title);
    return false;
}

QDate QtDesktop::today() const { return QDate::currentDate(); }

bool QtDesktop::startDetached(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    keepPipesFromDetached(process);
    return process.startDetached();
}

bool QtDesktop::openUrl(const QUrl& url) { return QDesktopServices::openUrl(url); }

void QtDesktop::endProgram()
{
    // Every window closes and no further event is handled.
    QApplication::closeAllWindows();
    QApplication::exit(0);
}

}  // namespace tessik
