#pragma once
// The desktop as code without a toolkit sees it: modal message boxes,
// bringing a top-level window to the front by its title, the alert beep,
// today's date, starting a program, opening a link, ending the program, and
// what the system-information lookup needs (the registry, a file test, a
// program on the search path). The CAD link's Start, the draw commands and
// the windows' behaviour (form/) reach the desktop only through it, so they
// build where there is no Qt. Texts are UTF-8.
//
// Desktop (Desktop.h) is the Qt edition's: it adds QString and QDate forms
// and implements the calls that have a Qt counterpart; FakeBasicDesktop
// (FakeBasicDesktop.h) records the calls for tests.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

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

// A calendar day.
struct CivilDate {
    int year = 1970, month = 1, day = 1;
    friend bool operator==(const CivilDate&, const CivilDate&) = default;
};

// The registry's predefined roots by their handle values, and what a query
// returns: the value's type (1 text, 4 32-bit number, ...) and its raw bytes.
namespace registry {
inline constexpr std::uint32_t kCurrentUser = 0x80000001u;
inline constexpr std::uint32_t kLocalMachine = 0x80000002u;
inline constexpr std::uint32_t kText = 1;
inline constexpr std::uint32_t kNumber = 4;
}  // namespace registry

struct RegistryValue {
    std::uint32_t type = 0;
    // As stored, terminating NULs included; a text value (kText) in UTF-8.
    std::string data;
};

class BasicDesktop {
public:
    virtual ~BasicDesktop() = default;

    // Shows a modal box and returns the answer (kAnswerOk / kAnswerCancel);
    // closing the box counts as Cancel where there is a Cancel button.
    virtual int messageBox(const std::string& text, int style, const std::string& title) = 0;
    // Brings the top-level window whose title is `title` to the front.
    virtual bool activateWindow(const std::string& title) = 0;

    virtual void beep() = 0;
    virtual CivilDate todayDate() const = 0;
    // Starts a program in a normal window with the focus and does not wait
    // for it; false when it could not be started.
    virtual bool startProgram(const std::string& path) = 0;
    // Opens a mailto: or web address with the desktop's handler.
    virtual bool openLink(const std::string& address) = 0;
    // Ends the program at once: every window closes, no further event runs.
    virtual void endProgram() = 0;

    // Reads one value of a key under a predefined root, for reading only;
    // nothing where there is no registry or the key or value cannot be read.
    virtual std::optional<RegistryValue> queryRegistryValue(std::uint32_t root, const std::string& keyName,
                                                            const std::string& valueName) = 0;
    virtual bool fileExists(const std::string& path) = 0;
    // The full path of program `name` in `folders` (empty: the search path
    // of the environment); empty when there is none.
    virtual std::string findProgram(const std::string& name, const std::vector<std::string>& folders) = 0;
};

}  // namespace tessik
