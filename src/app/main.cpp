// tessik: the elbow design tool. Run it from a folder that holds book.ini,
// gbhd.ini and zjxl.ini.

#include <QApplication>

#include "Desktop.h"
#include "FabricationWindow.h"
#include "FrmMain.h"
#include "TessikCadClient.h"
#include "TessikLook.h"
#include "ToolConstants.h"

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(tessik::kProgramTitle));
    QApplication::setApplicationVersion(QStringLiteral(TESSIK_VERSION));
    tessik::applyTessikLook(app);

    tessik::QtDesktop desktop;
    tessik::TessikCadAutomation cad;
    tessik::FrmMain frmMain(desktop, cad);
    tessik::FabricationWindow::attachTo(frmMain, desktop);
    frmMain.Form_Load();
    return app.exec();
}
