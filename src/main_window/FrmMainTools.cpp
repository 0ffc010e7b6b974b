// The Tools menu of the main window, above its client area.

#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include "FrmMain.h"

namespace tessik {

void FrmMain::createToolsMenu()
{
    // The controls move, untouched, into a client area of the size they were
    // laid out in; the menu bar takes the room above it.
    const QSize client = size();
    ClientArea = new QWidget(this);
    ClientArea->setObjectName(QStringLiteral("ClientArea"));
    for (QWidget* child : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (child == ClientArea) continue;
        const QRect placed = child->geometry();
        const bool hidden = child->isHidden() && child->testAttribute(Qt::WA_WState_ExplicitShowHide);
        child->setParent(ClientArea);
        child->setGeometry(placed);
        child->setVisible(!hidden);
    }

    MenuBar = new QMenuBar(this);
    MenuBar->setObjectName(QStringLiteral("MenuBar"));
    MnuTools = MenuBar->addMenu(QStringLiteral("工具(&T)"));
    MnuTools->setObjectName(QStringLiteral("MnuTools"));
    MnuFabrication = MnuTools->addAction(QStringLiteral("下料展开图(&F)..."));
    MnuFabrication->setObjectName(QStringLiteral("MnuFabrication"));
    MnuFabrication->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
    MnuFabrication->setShortcutContext(Qt::WindowShortcut);
    connect(MnuFabrication, &QAction::triggered, this, &FrmMain::fabricationRequested);

    const int barHeight = MenuBar->sizeHint().height();
    MenuBar->setGeometry(0, 0, client.width(), barHeight);
    ClientArea->setGeometry(0, barHeight, client.width(), client.height());
    setFixedSize(client.width(), client.height() + barHeight);
}

}  // namespace tessik
