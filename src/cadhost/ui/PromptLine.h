#pragma once
// The prompt line at the bottom of the window: a short history of prompts
// and answers above the current prompt and the text being typed. It mirrors
// the session's CommandLine both ways, so text typed by an automation client
// (SendCommand) shows up here as if typed by the user.

#include <QWidget>

#include "model/CadSession.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;

namespace tessik::cadhost {

class PromptLine : public QWidget {
    Q_OBJECT
public:
    explicit PromptLine(CadSession& session, QWidget* parent = nullptr);

    // Takes keys typed elsewhere (the drawing view) and the focus with them.
    void typeAndFocus(const QString& text);
    QString promptText() const;
    QString inputText() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    CadSession& session_;
    QPlainTextEdit* history_;
    QLabel* prompt_;
    QLineEdit* input_;
};

}  // namespace tessik::cadhost
