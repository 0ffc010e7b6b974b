// The About dialog of the main window.

#include "FrmMain.h"
#include "frmAbout.h"

namespace tessik {

frmAboutForm& FrmMain::aboutDialog()
{
    if (!frmAbout_) {
        // No parent: a dialog owned by a hidden window may be hidden with it.
        frmAbout_ = new frmAbout(desktop_, this);
        connect(this, &QObject::destroyed, frmAbout_, [dialog = frmAbout_] { delete dialog; });
    }
    return frmAbout_->form();
}

}  // namespace tessik
