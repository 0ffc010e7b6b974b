#include "FakeDesktop.h"

namespace tessik {

int FakeDesktop::messageBox(const std::string& utf8Text, int style, const std::string& utf8Title)
{
    const QString text = QString::fromStdString(utf8Text);
    const QString title = QString::fromStdString(utf8Title);
    messageBoxes.append({text, style, title});
    calls << QStringLiteral("messageBox %1 | %2").arg(title, text);
    if (onMessageBox) onMessageBox();
    return messageBoxAnswers.isEmpty() ? msgbox::kAnswerOk : messageBoxAnswers.takeFirst();
}

bool FakeDesktop::activateWindow(const std::string& utf8Title)
{
    const QString title = QString::fromStdString(utf8Title);
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
