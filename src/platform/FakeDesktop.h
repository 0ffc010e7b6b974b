#pragma once
// A scriptable Desktop for tests: records every call in order, answers message
// boxes from a queue (OK when the queue is empty) and lets a test choose
// today's date and which windows and programs "exist".

#include <QList>
#include <QSet>
#include <functional>

#include "Desktop.h"

namespace tessik {

class FakeDesktop : public Desktop {
public:
    struct MessageBoxCall {
        QString text;
        int style = 0;
        QString title;
    };

    using Desktop::activateWindow;
    using Desktop::messageBox;
    int messageBox(const std::string& text, int style, const std::string& title) override;
    void beep() override { ++beeps; calls << QStringLiteral("beep"); }
    bool activateWindow(const std::string& title) override;
    QDate today() const override { return todayValue; }
    bool startDetached(const QString& program, const QStringList& arguments) override;
    bool openUrl(const QUrl& url) override;
    void endProgram() override { ++endProgramCalls; calls << QStringLiteral("endProgram"); }

    // Script
    QList<int> messageBoxAnswers;        // consumed front first
    std::function<void()> onMessageBox;  // runs inside the "modal" box, before it answers
    QSet<QString> activatableTitles;     // empty: every title can be activated
    bool programsStart = true;
    QDate todayValue = QDate(2026, 12, 8);

    // Record
    QList<MessageBoxCall> messageBoxes;
    QStringList activatedTitles;
    QList<QStringList> startedPrograms;  // program followed by its arguments
    QList<QUrl> openedUrls;
    QStringList calls;                   // every call, in order, one line each
    int beeps = 0;
    int endProgramCalls = 0;
};

}  // namespace tessik
