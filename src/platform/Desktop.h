#pragma once
// Seams to the desktop.
//
// Everything the windows do that reaches outside the program (modal message
// boxes, the alert beep, bringing a top-level window to the front by its
// title, today's date, starting another program, opening a link, ending the
// program) goes through a Desktop. QtDesktop is the one real implementation;
// tests use FakeDesktop (FakeDesktop.h), which records every call and answers
// message boxes from a script, so no test ever blocks on a modal box.
//
// BasicDesktop (BasicDesktop.h) holds the calls with UTF-8 texts that the
// toolkit-free behaviour uses; the QString and QDate forms here are the Qt
// edition's, and the UTF-8 calls that have one are implemented through it.

#include <QDate>
#include <QString>
#include <QStringList>
#include <QUrl>

#include "BasicDesktop.h"

namespace tessik {

class Desktop : public BasicDesktop {
public:
    using BasicDesktop::activateWindow;
    using BasicDesktop::messageBox;
    int messageBox(const QString& text, int style, const QString& title)
    {
        return messageBox(text.toStdString(), style, title.toStdString());
    }
    bool activateWindow(const QString& title) { return activateWindow(title.toStdString()); }

    virtual QDate today() const = 0;
    // Starts a program detached; false when it could not be started.
    virtual bool startDetached(const QString& program, const QStringList& arguments) = 0;
    virtual bool openUrl(const QUrl& url) = 0;

    CivilDate todayDate() const override;
    bool startProgram(const std::string& path) override;
    bool openLink(const std::string& address) override;
    // No registry on this edition's desktops.
    std::optional<RegistryValue> queryRegistryValue(std::uint32_t root, const std::string& keyName,
                                                    const std::string& valueName) override;
    bool fileExists(const std::string& path) override;
    std::string findProgram(const std::string& name, const std::vector<std::string>& folders) override;
};

class QtDesktop : public Desktop {
public:
    using Desktop::activateWindow;
    using Desktop::messageBox;
    int messageBox(const std::string& text, int style, const std::string& title) override;
    void beep() override;
    bool activateWindow(const std::string& title) override;
    QDate today() const override;
    bool startDetached(const QString& program, const QStringList& arguments) override;
    bool openUrl(const QUrl& url) override;
    void endProgram() override;
};

}  // namespace tessik
