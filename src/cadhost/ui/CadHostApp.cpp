#include "ui/CadHostApp.h"

#include <cstdio>
#include <cstring>

#include <unistd.h>

#include <QApplication>
#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocalSocket>
#include <QLocale>
#include <QMessageBox>
#include <QTranslator>

#include "automation/AutomationServer.h"
#include "automation/AutomationSocket.h"
#include "model/Autosave.h"
#include "ui/CadMainWindow.h"
#include "ui/TerminationWatch.h"

namespace tessik::cadhost {

namespace {

void tellUser(bool quiet, const QString& text)
{
    std::fprintf(stderr, "tessik-cad: %s\n", text.toLocal8Bit().constData());
    // Without a screen (offscreen, or started by a tool) there is nobody to
    // read a message box, and it would block.
    if (!quiet && QGuiApplication::platformName() != QLatin1String("offscreen"))
        QMessageBox::information(nullptr, CadSession::applicationName(), text);
}

// Brings the running instance's window up, so the user sees the CAD they
// asked for.
void showRunningInstance(const QString& socketPath)
{
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(1000)) return;
    socket.write(R"({"jsonrpc":"2.0","id":1,"method":"set","params":{"target":0,"member":"Visible","value":true}})"
                 "\n");
    socket.waitForBytesWritten(1000);
    socket.waitForReadyRead(1000);
}

// Starts autosave and recovers what an instance that died left behind;
// true when a drawing was recovered. Without autosave the window says that
// the drawing is not protected.
bool startAutosave(Autosave& autosave, CadSession& session, CadMainWindow& window)
{
    QString warning;
    const auto interval = Autosave::intervalFromEnvironment(&warning);
    if (!warning.isEmpty()) {
        tellUser(true, warning);
        emit session.message(warning);
    }
    if (Status s = autosave.start(Autosave::defaultFolder(), interval); !s) {
        const QString why = QString::fromStdString(s.error().description);
        tellUser(true, why);
        emit session.message(why + QStringLiteral("图形未受保护，请及时保存。"));
        window.warnUnprotected(why);
        return false;
    }
    for (const QString& other : autosave.othersLeftBehind()) {
        tellUser(true, other);
        emit session.message(other);
    }
    const bool recovered = autosave.recover();
    if (!autosave.active()) window.warnUnprotected(QStringLiteral("自动保存已关闭：无法移开不能读取的自动保存文件。"));
    return recovered;
}

void openStartFile(CadMainWindow& window, CadSession& session, const QString& file, bool recovered, bool quiet)
{
    // Opening it now would drop the recovered changes unasked; when it is
    // the recovered drawing's own file, those changes are what the user asked for.
    if (recovered && session.document()->path() == QFileInfo(file).absoluteFilePath()) return;
    if (recovered)
        emit session.message(QStringLiteral("未打开“%1”：请先保存或放弃恢复的图形，再打开它。").arg(file));
    else
        window.openFile(file, quiet);
}

// Nobody is there to answer "save changes?" when the session ends: the loop
// ends at once, and the changes are kept (keepUnsavedWork) only after it has
// ended, so that whatever a client was answered before the end is in them.
void endOnSignal(TerminationWatch& watch, bool& terminating)
{
    if (Status s = watch.install(); !s) tellUser(true, QString::fromStdString(s.error().description));
    QObject::connect(&watch, &TerminationWatch::terminationRequested, &watch, [&terminating](int signalNumber) {
        if (terminating) return;
        terminating = true;
        tellUser(true, QStringLiteral("收到信号 %1，退出。").arg(signalNumber));
        QApplication::exit(0);
    });
}

// Unsaved changes at a signal's end go to the autosave copy the next start
// recovers or, when autosave is off or fails, to an emergency copy named on
// standard error. The exit code: 0 when the changes were kept (or there were
// none), kExitChangesLost when they could be written nowhere.
int keepUnsavedWork(Autosave& autosave, const CadSession& session)
{
    const DrawingDocument* doc = session.document();
    if (!doc || !doc->modified()) return 0;
    if (autosave.active()) {
        const Status written = autosave.writeNow();
        if (written) return 0;
        tellUser(true, QStringLiteral("自动保存失败：%1").arg(QString::fromStdString(written.error().description)));
    }
    const auto copy = Autosave::writeEmergencyCopy(*doc);
    if (copy) {
        tellUser(true, QStringLiteral("未保存的修改已写入应急副本“%1”，请打开它并另存。").arg(*copy));
        return 0;
    }
    tellUser(true, QStringLiteral("未保存的修改无法写入任何位置，已丢失：%1")
                       .arg(QString::fromStdString(copy.error().description)));
    return kExitChangesLost;
}

// Qt's own texts (file dialogs, context menus, standard buttons) in the
// program's language; without the translation they stay English.
void installQtTexts(QTranslator& qtTexts)
{
    if (qtTexts.load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"), QStringLiteral("_"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTexts);
}

// Reads the command line (--help ends the program); true for --automation.
bool startedForAutomation(QCommandLineParser& parser, const QApplication& app)
{
    parser.setApplicationDescription(QStringLiteral("Tessik CAD: a small 2D CAD program with an automation interface."));
    parser.addHelpOption();
    const QCommandLineOption automation(QStringLiteral("automation"),
                                        QStringLiteral("Start hidden, for an automation client."));
    const QCommandLineOption socketPathOption(QStringLiteral("socket-path"),
                                              QStringLiteral("Print the automation socket's path and exit."));
    // Handled before the GUI starts; listed so --help shows it.
    parser.addOption(automation);
    parser.addOption(socketPathOption);
    parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("A DXF drawing to open."));
    parser.process(app);
    return parser.isSet(automation);
}

int alreadyRunning(const InstanceLock& lock, const QString& socketPath, bool quiet)
{
    tellUser(quiet, lock.holderPid() > 0
                        ? QStringLiteral("Tessik CAD 已在运行（进程 %1），本次启动退出。").arg(lock.holderPid())
                        : QStringLiteral("Tessik CAD 已在运行，本次启动退出。"));
    if (!quiet) showRunningInstance(socketPath);
    return 3;
}

// Moves what stands at path aside, saying where; false (and why) when it cannot.
bool moveAside(const QString& path, const QString& what, bool quiet)
{
    const auto aside = setAside(path, QStringLiteral("aside"));
    if (!aside) {
        tellUser(quiet, QStringLiteral("%1，本次启动退出。").arg(QString::fromStdString(aside.error().description)));
        return false;
    }
    tellUser(true, QStringLiteral("%1“%2”无法使用，已移到“%3”。").arg(what, path, *aside));
    return true;
}

// Makes this the one instance on the socket: 0, or the exit code of a start
// that must end (2: the folder or the lock failed, 3: another instance runs).
// A lock that no live instance holds, and whatever is not a live socket at
// the socket's path, never stop a start: what cannot be cleared is set aside.
int takeInstance(InstanceLock& lock, const QString& socketPath, bool quiet)
{
    if (Status folder = prepareSocketFolder(socketPath); !folder) {
        tellUser(quiet, QString::fromStdString(folder.error().description));
        return 2;
    }
    InstanceLock::Outcome outcome = lock.tryLock();
    if (outcome == InstanceLock::Outcome::Failed && lock.blocked()) {
        // Someone may hold a lock this process cannot see: a socket that
        // answers, or one it may not even try, is theirs.
        const SocketProbe probe = probeSocket(socketPath);
        if (probe == SocketProbe::Live) return alreadyRunning(lock, socketPath, quiet);
        if (probe != SocketProbe::Unknown) {
            if (!moveAside(lock.lockPath(), QStringLiteral("锁文件"), quiet)) return 2;
            outcome = lock.tryLock();
        }
    }
    switch (outcome) {
    case InstanceLock::Outcome::Taken: break;
    case InstanceLock::Outcome::Held: return alreadyRunning(lock, socketPath, quiet);
    case InstanceLock::Outcome::Failed:
        tellUser(quiet, QStringLiteral("%1，本次启动退出。").arg(lock.failure()));
        return 2;
    }
    switch (probeSocket(socketPath)) {
    case SocketProbe::Absent: return 0;
    case SocketProbe::Stale:
        // Left by a crash: nobody serves it.
        ::unlink(QFile::encodeName(socketPath).constData());
        return 0;
    case SocketProbe::Live: return alreadyRunning(lock, socketPath, quiet);
    case SocketProbe::NotSocket: return moveAside(socketPath, QStringLiteral("套接字路径上的"), quiet) ? 0 : 2;
    case SocketProbe::Unknown:
        tellUser(quiet, QStringLiteral("无法确定套接字“%1”是否仍在使用，本次启动退出。").arg(socketPath));
        return 2;
    }
    return 2;
}

}  // namespace

int runCadHost(int argc, char** argv)
{
    // Printing the path needs no display; answer before the GUI starts.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--socket-path") == 0) {
            std::printf("%s\n", QFile::encodeName(automationSocketPath()).constData());
            return 0;
        }
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tessik-cad"));
    QApplication::setApplicationDisplayName(CadSession::applicationName());
    QTranslator qtTexts;
    installQtTexts(qtTexts);

    QCommandLineParser parser;
    const bool quiet = startedForAutomation(parser, app);
    const QString socketPath = automationSocketPath();
    InstanceLock lock(socketPath);
    if (const int refused = takeInstance(lock, socketPath, quiet)) return refused;

    CadSession session;
    AutomationServer server(session);
    if (Status listening = server.listen(socketPath); !listening) {
        tellUser(quiet, QString::fromStdString(listening.error().description));
        return 2;
    }
    CadMainWindow window(session);
    Autosave autosave(session, socketPath);
    const bool recovered = startAutosave(autosave, session, window);
    if (!parser.positionalArguments().isEmpty())
        openStartFile(window, session, parser.positionalArguments().constFirst(), recovered, quiet);
    bool terminating = false;
    TerminationWatch watch;
    endOnSignal(watch, terminating);
    if (!quiet) session.setVisible(true);
    const int code = app.exec();
    if (terminating) return keepUnsavedWork(autosave, session);
    // An ordinary end comes after the user saved or discarded the changes.
    autosave.discard();
    return code;
}

}  // namespace tessik::cadhost
