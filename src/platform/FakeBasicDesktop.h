#pragma once
// A scriptable BasicDesktop for tests that run without Qt: records every call
// in order and answers message boxes from a queue (OK when it is empty).

#include <deque>
#include <functional>
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

    // Script
    std::deque<int> messageBoxAnswers;       // consumed front first
    std::function<void()> onMessageBox;      // runs inside the "modal" box, before it answers
    std::set<std::string> activatableTitles;  // empty: every title can be activated

    // Record
    std::vector<MessageBoxCall> messageBoxes;
    std::vector<std::string> activatedTitles;
    std::vector<std::string> calls;  // every call, in order, one line each
};

}  // namespace tessik
