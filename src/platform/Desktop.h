#pragma once
// Seams to the desktop.
//
// Everything the windows do that reaches outside the program (modal message
// boxes, the alert beep, bringing a top-level window to the front by its
// title, today's date, starting another program, opening a link, ending the
// program) goes through a Desktop. QtDesktop is the one real implementation;
// tests use FakeDesktop (FakeDesktop.h), which records every call and answers
// message boxes from a script, so no test ever blocks on a modal box.

#include <QDate>
#include <QString>
#include <QStringList>
#include <QUrl>

namespace tessik {

// Message-box styles and answers, numbered as the classic toolkit numbers
// them: a style is the sum of a button set and an icon.
namespace msgbox {
inline constexpr int kOkOnly = 0;
inline constexpr int kOkCancel = 1;
inline constexpr int kQuestion = 32;
inline constexpr int kExclamation = 48;
inline constexpr int kInformation = 64;
inline constexpr int kAnswerOk = 1;
inline constexpr int kAnswerCancel = 2;
}  // namespace msgbox

class Desktop {
public:
    virtual ~Desktop() = default;

    // Shows a modal box and returns the answer (kAnswerOk / kAnswerCancel);
    // closing the box counts as Cancel where there is a Cancel button.
    virtual int messageBox(const QString& text, int style, const QString& title) = 0;
    virtual void beep() = 0;
    // Brings the top-level window whose title is `title` to the front.
    virtual bool activateWindow(const QString& title) = 0;
    virtual QDate today() const = 0;
    // Starts a program detached; false when it could not be started.
    virtual bool startDetached(const QString& program, const QStringList& arguments) = 0;
    virtual bool openUrl(const QUrl& url) = 0;
    // Ends the program at once: every window closes, no further event runs.
    virtual void endProgram() = 0;
};

class QtDesktop : public Desktop {
public:
    int messageBox(const QString& text, int style, const QString& title) override;
    void beep() override;
    bool activateWindow(const QString& title) override;
    QDate today() const override;
    bool startDetached(const QString& program, const QStringList& arguments) override;
    bool openUrl(const QUrl& url) override;
    void endProgram() override;
};

}  // namespace tessik
