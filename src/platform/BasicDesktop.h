#pragma once
// The part of the desktop that needs no toolkit: modal message boxes and
// bringing a top-level window to the front by its title. The CAD link's Start
// and the draw commands reach the desktop only through it, so they build
// where there is no Qt. Texts are UTF-8.
//
// Desktop (Desktop.h) extends it with the rest of the desktop and QString
// forms of both calls; FakeBasicDesktop (FakeBasicDesktop.h) records the
// calls for tests.

#include <string>

namespace tessik {

// Message-box styles and answers, numbered as the classic toolkit numbers
// them: a style is the sum of a button set and an icon.
namespace msgbox {
inline constexpr int kOkOnly = 0;
inline constexpr int kOkCancel = 1;
inline constexpr int kQuestion = 32;
inline constexpr int kExclamation = 48;
inline constexpr int kInformation = 64;
inline constexpr int kAnswerOk = 1;
inline constexpr int kAnswerCancel = 2;
}  // namespace msgbox

class BasicDesktop {
public:
    virtual ~BasicDesktop() = default;

    // Shows a modal box and returns the answer (kAnswerOk / kAnswerCancel);
    // closing the box counts as Cancel where there is a Cancel button.
    virtual int messageBox(const std::string& text, int style, const std::string& title) = 0;
    // Brings the top-level window whose title is `title` to the front.
    virtual bool activateWindow(const std::string& title) = 0;
};

}  // namespace tessik
