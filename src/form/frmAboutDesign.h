#pragma once
// The About dialog's design-time captions, shared by its views: each view
// shows these when it loads the window, before frmAboutForm's Form_Load sets
// the title, the version and the day counter. UTF-8; empty for a control
// whose text is set at load or that shows a picture.

#include <string>

#include "FormControls.h"

namespace tessik {

std::string designText(frmAboutControl control);

}  // namespace tessik
