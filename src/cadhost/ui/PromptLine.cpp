#include "ui/PromptLine.h"

#include <QEvent>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace tessik::cadhost {

PromptLine::PromptLine(CadSession& session, QWidget* parent)
    : QWidget(parent),
      session_(session),
      history_(new QPlainTextEdit(this)),
      prompt_(new QLabel(this)),
      input_(new QLineEdit(this))
{
    history_->setReadOnly(true);
    history_->setFocusPolicy(Qt::NoFocus);
    history_->setMaximumBlockCount(200);
    const int lineHeight = history_->fontMetrics().lineSpacing();
    history_->setFixedHeight(lineHeight * 3 + 10);
    input_->setFrame(false);
    input_->setMaxLength(int(CommandLine::kMaxLength));
    input_->installEventFilter(this);

    auto* row = new QHBoxLayout;
    row->setContentsMargins(4, 0, 4, 2);
    row->addWidget(prompt_);
    row->addWidget(input_, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(history_);
    layout->addLayout(row);

    CommandLine& line = session_.commandLine();
    connect(input_, &QLineEdit::textEdited, &line, &CommandLine::setText);
    connect(input_, &QLineEdit::returnPressed, &line, &CommandLine::submit);
    connect(&line, &CommandLine::textChanged, this, [this](const QString& text) {
        if (input_->text() != text) input_->setText(text);
    });
    connect(&session_, &CadSession::promptChanged, this,
            [this] { prompt_->setText(session_.prompt()); });
    connect(&session_, &CadSession::message, this,
            [this](const QString& text) {
                // A history line stays readable (and cheap to lay out) however
                // long the text it quotes.
                constexpr qsizetype kShown = 300;
                history_->appendPlainText(text.size() > kShown ? text.left(kShown) + QStringLiteral("…") : text);
            });
    prompt_->setText(session_.prompt());
}

void PromptLine::typeAndFocus(const QString& text)
{
    input_->setFocus();
    session_.commandLine().type(text);
}

QString PromptLine::promptText() const { return prompt_->text(); }
QString PromptLine::inputText() const { return input_->text(); }

bool PromptLine::eventFilter(QObject* watched, QEvent* event)
{
    // Undo and redo keys undo the drawing, not the typed text: the line
    // edit must not claim them before the window's shortcuts.
    if (watched == input_ && event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->matches(QKeySequence::Undo) || key->matches(QKeySequence::Redo) ||
            (key->modifiers() == Qt::ControlModifier && key->key() == Qt::Key_Y)) {
            event->ignore();
            return true;
        }
    }
    if (watched == input_ && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        session_.commandLine().escape();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace tessik::cadhost
