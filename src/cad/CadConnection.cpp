#include "CadConnection.h"

#include "CadErrors.h"
#include "PendingError.h"

#include <type_traits>

namespace tessik {

namespace {

// The status line and the question, after the CAD program's name.
constexpr char kNotStarted[] = "尚未启动。";
constexpr char kStarting[] = "正在启动，请稍候...";
constexpr char kStartFailed[] = "启动失败!";
constexpr char kStarted[] = "已经启动。";
constexpr char kStartNow[] = "尚未启动，现在启动吗？";
constexpr char kLaunchTitle[] = "启动";

// A property read on an object that was never taken fails like any other
// step; an object read counts only once the CAD application has answered.
template <class T, class Get>
auto take(const std::shared_ptr<T>& from, const char* member, Get get) -> decltype(get(*from))
{
    if (!from) return caderr::objectNotSet(member);
    auto r = get(*from);
    if constexpr (!std::is_same_v<decltype(r), Status>) {
        if (r.ok()) {
            if (Status s = r.value()->settle(); !s) return s.error();
        }
    }
    return r;
}

}  // namespace

CadConnection::CadConnection(CadAutomation& automation, BasicDesktop& desktop, Host host)
    : automation_(automation), desktop_(desktop), host_(std::move(host))
{
}

void CadConnection::Start()
{
    PendingError err;
    CadConnectionObjects& o = objects_;
    const std::string& name = program_.name;
    const auto status = [&](const char* text) { host_.setStatusText(name + text); };

    // 1-2. A running instance: straight to the objects.
    err.assign(o.AcadApp, automation_.getRunningInstance(program_.programId));
    if (err) {
        // 3-4. None running: ask.
        err.clear();
        status(kNotStarted);
        const int answer = desktop_.messageBox(name + kStartNow, msgbox::kOkCancel + msgbox::kQuestion, kLaunchTitle + name);
        if (answer != msgbox::kAnswerOk) return;

        // 5. Launch, then bring the main window back to the front.
        status(kStarting);
        err.assign(o.AcadApp, automation_.createInstance(program_.programId));
        const std::string caption = host_.mainWindowCaption();
        if (!desktop_.activateWindow(caption)) err.raise(caderr::activationFailed(caption));

        // 6. The launch failed: report the platform's description.
        if (err) {
            status(kStartFailed);
            desktop_.messageBox(err.error().description, msgbox::kOkOnly, kProgramTitle);
            return;
        }
    }

    // 7. Connected: five separate steps; a failing one keeps its old object.
    status(kStarted);
    err.check(take(o.AcadApp, "Visible", [](CadApplication& a) { return a.setVisible(true); }));
    err.assign(o.AcadDoc, take(o.AcadApp, "activedocument", [](CadApplication& a) { return a.activedocument(); }));
    err.assign(o.MoSpace, take(o.AcadDoc, "ModelSpace", [](CadDocument& d) { return d.ModelSpace(); }));
    err.assign(o.PaSpace, take(o.AcadDoc, "paperspace", [](CadDocument& d) { return d.paperspace(); }));
    err.assign(o.acadUtil, take(o.AcadDoc, "utility", [](CadDocument& d) { return d.utility(); }));

    // 8. The box says only that some object could not be taken: which one,
    // and why, the user sees when the draw command tries to use it.
    if (err) desktop_.messageBox("err", msgbox::kOkOnly, kProgramTitle);
}

}  // namespace tessik
