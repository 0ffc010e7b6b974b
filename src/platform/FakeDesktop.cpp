#include "FakeDesktop.h"

namespace tessik {

int FakeDesktop::messageBox(const QString& text, int style, const QString& title)
{
    messageBoxes.append({text, style, title});
    calls << QStringLiteral("messageBox %1 | %2").arg(title, text);
    if (onMessageBox) onMessageBox();
    return messageBoxAnswers.isEmpty() ? msgbox::kAnswerOk : messageBoxAnswers.takeFirst();
}

bool FakeDesktop::activateWindow(const QString& title)
{
    activatedTitles << title;
    calls << QStringLiteral("activateWindow %1").arg(title);
    return activatableTitles.isEmpty() || activatableTitles.contains(title);
}

bool FakeDesktop::startDetached(const QString& program, const QStringList& arguments)
{
    startedPrograms.append(QStringList{program} + arguments);
    calls << QStringLiteral("startDetached %1").arg(program);
    return programsStart;
}

bool FakeDesktop::openUrl(const QUrl& url)
{
    openedUrls.append(url);
    calls << QStringLiteral("openUrl %1").arg(url.toString());
    return true;
}

}  // namespace tessik
