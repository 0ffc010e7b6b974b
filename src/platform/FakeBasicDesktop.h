#pragma once
// A scriptable BasicDesktop for tests that run without Qt: records every call
// in order, answers message boxes from a queue (OK when it is empty) and lets
// a test choose today's date and which registry values, files and programs
// exist.

#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "BasicDesktop.h"

namespace tessik {

class FakeBasicDesktop : public BasicDesktop {
public:
    struct MessageBoxCall {
        std::string text;
        int style = 0;
        std::string title;
    };

    int messageBox(const std::string& text, int style, const std::string& title) override;
    bool activateWindow(const std::string& title) override;
    void beep() override;
    CivilDate todayDate() const override { return today; }
    bool startProgram(const std::string& path) override;
    bool openLink(const std::string& address) override;
    void endProgram() override;
    std::optional<RegistryValue> queryRegistryValue(std::uint32_t root, const std::string& keyName,
                                                    const std::string& valueName) override;
    bool fileExists(const std::string& path) override { return existingFiles.count(path) > 0; }
    std::string findProgram(const std::string& name, const std::vector<std::string>& folders) override;

    // Script
    std::deque<int> messageBoxAnswers;       // consumed front first
    std::function<void()> onMessageBox;      // runs inside the "modal" box, before it answers
    std::set<std::string> activatableTitles;  // empty: every title can be activated
    CivilDate today{2026, 12, 8};
    bool programsStart = true;
    // Registry values by "root\\key\\value" (root in hex, as 80000002).
    std::map<std::string, RegistryValue> registryValues;
    std::set<std::string> existingFiles;
    // Programs on the search path by name, with their full paths.
    std::map<std::string, std::string> programsOnPath;

    // Record
    std::vector<MessageBoxCall> messageBoxes;
    std::vector<std::string> activatedTitles;
    std::vector<std::string> startedPrograms;
    std::vector<std::string> openedLinks;
    int beeps = 0;
    int endProgramCalls = 0;
    std::vector<std::string> calls;  // every call, in order, one line each

    static std::string registryPath(std::uint32_t root, const std::string& keyName, const std::string& valueName);
};

}  // namespace tessik
