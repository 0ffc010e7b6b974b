#include "WaitCursor.h"

#include <QCursor>
#include <QGuiApplication>

namespace tessik {

WaitCursor::WaitCursor()
{
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
        shown_ = true;
    }
}

WaitCursor::~WaitCursor()
{
    if (shown_ && QCoreApplication::instance()) QGuiApplication::restoreOverrideCursor();
}

}  // namespace tessik
