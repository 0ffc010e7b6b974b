#include "FakeBasicDesktop.h"

#include <cstdio>

namespace tessik {

int FakeBasicDesktop::messageBox(const std::string& text, int style, const std::string& title)
{
    messageBoxes.push_back({text, style, title});
    calls.push_back("messageBox " + title + " | " + text);
    if (onMessageBox) onMessageBox();
    if (messageBoxAnswers.empty()) return msgbox::kAnswerOk;
    const int answer = messageBoxAnswers.front();
    messageBoxAnswers.pop_front();
    return answer;
}

bool FakeBasicDesktop::activateWindow(const std::string& title)
{
    activatedTitles.push_back(title);
    calls.push_back("activateWindow " + title);
    return activatableTitles.empty() || activatableTitles.count(title) > 0;
}

void FakeBasicDesktop::beep()
{
    ++beeps;
    calls.push_back("beep");
}

bool FakeBasicDesktop::startProgram(const std::string& path)
{
    startedPrograms.push_back(path);
    calls.push_back("startProgram " + path);
    return programsStart;
}

bool FakeBasicDesktop::openLink(const std::string& address)
{
    openedLinks.push_back(address);
    calls.push_back("openLink " + address);
    return true;
}

void FakeBasicDesktop::endProgram()
{
    ++endProgramCalls;
    calls.push_back("endProgram");
}

std::string FakeBasicDesktop::registryPath(std::uint32_t root, const std::string& keyName,
                                           const std::string& valueName)
{
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08X", unsigned(root));
    return std::string(hex) + "\\" + keyName + "\\" + valueName;
}

std::optional<RegistryValue> FakeBasicDesktop::queryRegistryValue(std::uint32_t root, const std::string& keyName,
                                                                  const std::string& valueName)
{
    const auto found = registryValues.find(registryPath(root, keyName, valueName));
    if (found == registryValues.end()) return std::nullopt;
    return found->second;
}

std::string FakeBasicDesktop::findProgram(const std::string& name, const std::vector<std::string>&)
{
    const auto found = programsOnPath.find(name);
    return found == programsOnPath.end() ? std::string() : found->second;
}

}  // namespace tessik
