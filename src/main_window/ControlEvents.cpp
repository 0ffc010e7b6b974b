#include "ControlEvents.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <memory>

namespace tessik {

std::optional<std::int16_t> characterCode(const QKeyEvent& event)
{
    const Qt::KeyboardModifiers mods = event.modifiers() & ~(Qt::KeypadModifier | Qt::ShiftModifier);
    const bool ctrl = mods.testFlag(Qt::ControlModifier);
    if (mods.testFlag(Qt::AltModifier) || mods.testFlag(Qt::MetaModifier)) return std::nullopt;

    switch (event.key()) {
    case Qt::Key_Backspace: return std::int16_t(ctrl ? 127 : 8);
    case Qt::Key_Return:
    case Qt::Key_Enter: return std::int16_t(ctrl ? 10 : 13);
    case Qt::Key_Escape: return std::int16_t(27);
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Delete: return std::nullopt;
    default: break;
    }
    if (ctrl) {
        if (event.key() >= Qt::Key_A && event.key() <= Qt::Key_Z)
            return std::int16_t(event.key() - Qt::Key_A + 1);
        return std::nullopt;
    }
    const QString text = event.text();
    if (text.isEmpty()) return std::nullopt;
    const char16_t unit = text.front().unicode();
    if (unit < 0x20 || unit == 0x7F) return std::nullopt;  // a control key typing nothing
    return static_cast<std::int16_t>(unit);                 // >= 0x8000 reads negative
}

namespace {

// Offers one character to the handler and types what it leaves.
void typeThrough(QLineEdit* field, const KeyPressHandler& handler, std::int16_t code)
{
    std::int16_t KeyAscii = code;
    handler(KeyAscii);
    if (KeyAscii != 0) field->insert(QString(QChar(char16_t(KeyAscii))));
}

// The field's context menu without the shortcut hints (each shortcut types a
// control character, which the field's handler gets and may refuse), and
// with Paste typing the clipboard's text through the handler, character by
// character, as if it had been typed.
void showFilteredContextMenu(QLineEdit* field, const std::shared_ptr<KeyPressHandler>& handler, const QPoint& at)
{
    QMenu* menu = field->createStandardContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const QString pasteText = QLineEdit::tr("&Paste");
    for (QAction* action : menu->actions()) {
        const qsizetype tab = action->text().indexOf(u'\t');
        if (tab >= 0) action->setText(action->text().left(tab));
        if (action->objectName() != QLatin1String("edit-paste") && action->text() != pasteText) continue;
        QObject::disconnect(action, &QAction::triggered, field, nullptr);
        QObject::connect(action, &QAction::triggered, field, [field, handler] {
            for (QChar c : QGuiApplication::clipboard()->text()) typeThrough(field, *handler, std::int16_t(c.unicode()));
        });
    }
    menu->popup(field->mapToGlobal(at));
}

class KeyPressAdapter : public QObject {
public:
    KeyPressAdapter(QLineEdit* field, std::shared_ptr<KeyPressHandler> handler)
        : QObject(field), field_(field), handler_(std::move(handler))
    {
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched != field_ || event->type() != QEvent::KeyPress) return false;
        const auto code = characterCode(*static_cast<QKeyEvent*>(event));
        if (!code) return false;
        std::int16_t KeyAscii = *code;
        (*handler_)(KeyAscii);
        if (KeyAscii == *code) return false;
        if (KeyAscii != 0) field_->insert(QString(QChar(char16_t(KeyAscii))));
        return true;
    }

private:
    QLineEdit* field_;
    std::shared_ptr<KeyPressHandler> handler_;
};

class FocusAdapter : public QObject {
public:
    FocusAdapter(QWidget* control, QEvent::Type type, FocusHandler handler)
        : QObject(control), control_(control), type_(type), handler_(std::move(handler))
    {
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched != control_ || event->type() != type_) return false;
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason == Qt::PopupFocusReason || reason == Qt::ActiveWindowFocusReason ||
            QApplication::activePopupWidget())
            return false;
        // The control handles the event first (a line edit sets up its caret
        // and selection on focus), then the handler runs on the settled
        // control. Calling event() directly does not pass the filters again.
        static_cast<QObject*>(control_)->event(event);
        handler_();
        return true;
    }

private:
    QWidget* control_;
    QEvent::Type type_;
    FocusHandler handler_;
};

}  // namespace

void onKeyPress(QWidget* field, KeyPressHandler handler)
{
    auto* edit = qobject_cast<QLineEdit*>(field);
    Q_ASSERT(edit);
    edit->setAttribute(Qt::WA_InputMethodEnabled, false);
    auto shared = std::make_shared<KeyPressHandler>(std::move(handler));
    edit->installEventFilter(new KeyPressAdapter(edit, shared));
    edit->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(edit, &QWidget::customContextMenuRequested, edit,
                     [edit, shared](const QPoint& at) { showFilteredContextMenu(edit, shared, at); });
}

void onGotFocus(QWidget* control, FocusHandler handler)
{
    control->installEventFilter(new FocusAdapter(control, QEvent::FocusIn, std::move(handler)));
}

void onLostFocus(QWidget* control, FocusHandler handler)
{
    control->installEventFilter(new FocusAdapter(control, QEvent::FocusOut, std::move(handler)));
}

void showBeginningOfWrittenText(QLineEdit* field)
{
    QObject::connect(field, &QLineEdit::textChanged, field, [field] {
        if (!field->hasFocus()) field->setCursorPosition(0);
    });
}

}  // namespace tessik
