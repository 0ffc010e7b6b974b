#include "FakeBasicDesktop.h"

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

}  // namespace tessik
