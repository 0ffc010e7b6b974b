#pragma once
// The desktop seam on Windows: MessageBoxW, MessageBeep, a window brought to
// the front by its title, the local date, programs and links started through
// the shell, the registry read with the wide calls. Texts cross as UTF-8 and
// become UTF-16 here, so Chinese reaches Windows whatever the ANSI code page.

#include "BasicDesktop.h"

namespace tessik::win32 {

class Win32Desktop : public BasicDesktop {
public:
    // The styles are Windows' own MB_ values (OK/Cancel 1, question 32,
    // exclamation 48, information 64) and the answers its IDOK / IDCANCEL.
    // The box is modal to the window that is active in this program.
    int messageBox(const std::string& text, int style, const std::string& title) override;
    // Found by its exact title. Windows may refuse to hand the foreground to
    // a program that does not have it; the window then only flashes, and the
    // call still counts as done, as there is nothing the user has to repair.
    bool activateWindow(const std::string& title) override;
    void beep() override;
    CivilDate todayDate() const override;
    bool startProgram(const std::string& path) override;
    bool openLink(const std::string& address) override;
    // ExitProcess: no window and no message of this program runs after it.
    void endProgram() override;
    std::optional<RegistryValue> queryRegistryValue(std::uint32_t root, const std::string& keyName,
                                                    const std::string& valueName) override;
    bool fileExists(const std::string& path) override;
    std::string findProgram(const std::string& name, const std::vector<std::string>& folders) override;
};

}  // namespace tessik::win32
