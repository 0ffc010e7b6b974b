#pragma once
// `Start`: attaches to a running CAD application or, after asking, launches
// one, makes it visible and takes the five objects the draw command works
// with. The objects are taken once per run and not followed afterwards; a
// failed step leaves its object as it was (a stale reference stays until a
// new one is obtained). The status line and the launch question name the
// CAD program the connection is set to (AutoCAD unless told otherwise).

#include <functional>
#include <memory>
#include <string>

#include "BasicDesktop.h"
#include "CadObjects.h"
#include "CadProgram.h"
#include "ToolConstants.h"

namespace tessik {

// The main window's CAD references: empty at first, written only by Start.
struct CadConnectionObjects {
    std::shared_ptr<CadApplication> AcadApp;
    std::shared_ptr<CadDocument> AcadDoc;
    std::shared_ptr<CadModelSpace> MoSpace;
    std::shared_ptr<CadPaperSpace> PaSpace;
    std::shared_ptr<CadUtility> acadUtil;
};

class CadConnection {
public:
    struct Host {
        std::function<void(const std::string&)> setStatusText;  // LblInfo, UTF-8
        std::function<std::string()> mainWindowCaption;
    };

    CadConnection(CadAutomation& automation, BasicDesktop& desktop, Host host);

    // Runs resume-next; no error leaves it. The outcome shows in objects(),
    // the status line and the message boxes.
    void Start();

    const CadConnectionObjects& objects() const { return objects_; }

    // The program the next Start asks for; the objects already taken stay.
    void setProgram(CadProgram program) { program_ = std::move(program); }
    const CadProgram& program() const { return program_; }

private:
    CadAutomation& automation_;
    BasicDesktop& desktop_;
    Host host_;
    CadConnectionObjects objects_;
    CadProgram program_{"AutoCAD", kCadProgramId};
};

}  // namespace tessik
