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
// Message boxes and window activation are BasicDesktop's (BasicDesktop.h),
// with UTF-8 texts; the QString forms here convert and pass them on.

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

    virtual void beep() = 0;
    virtual QDate today() const = 0;
    // Starts a program detached; false when it could not be started.
    virtual bool startDetached(const QString& program, const QStringList& arguments) = 0;
    virtual bool openUrl(const QUrl& url) = 0;
    // Ends the program at once: every window closes, no further event runs.
    virtual void endProgram() = 0;
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
