#include "InputBlocker.h"

#include <QCoreApplication>
#include <QEvent>

namespace tessik {

namespace {

class InputFilter : public QObject {
protected:
    bool eventFilter(QObject*, QEvent* e) override
    {
        switch (e->type()) {
        case QEvent::Close:
            e->ignore();
            return true;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TabletPress:
        case QEvent::TabletRelease:
            return true;
        default:
            return false;
        }
    }
};

int depth = 0;

InputFilter& filter()
{
    static InputFilter f;
    return f;
}

}  // namespace

InputBlocker::InputBlocker()
{
    if (depth++ == 0 && QCoreApplication::instance()) QCoreApplication::instance()->installEventFilter(&filter());
}

InputBlocker::~InputBlocker()
{
    if (--depth == 0 && QCoreApplication::instance()) QCoreApplication::instance()->removeEventFilter(&filter());
}

bool InputBlocker::active() { return depth > 0; }

}  // namespace tessik
