#pragma once
// Test helpers shared by the tests and the benchmarks that need a real
// tessik-cad: the process on a private socket (its own temporary folder
// unless a path is given), started offscreen and hidden, and a blocking
// JSON-RPC client for it. Tests that talk through the tool's own client use
// socketPath(); tests of the server itself use RpcClient.

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QLocalSocket>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>
#include <memory>

class CadHostProcess {
public:
    // A socket in a temporary folder of its own, removed with the object.
    CadHostProcess();
    explicit CadHostProcess(QString socketPath);
    ~CadHostProcess();

    // The tessik-cad executable of this build.
    static QString program();
    // The Qt platform the process runs on (offscreen unless changed before start()).
    void setPlatform(const QString& platform) { platform_ = platform; }
    // An environment variable for the process, over what environment() sets.
    void setEnvironmentValue(const QString& name, const QString& value) { overrides_.insert(name, value); }
    // Keeps the process's standard error for standardError() instead of
    // passing it on (set before start()).
    void keepStandardError() { keepErrors_ = true; }
    // What it wrote there so far (waits a moment for more while it runs).
    QString standardError();
    // Kills the process (as a crash would) and waits until it is gone.
    void kill();

    // Starts tessik-cad --automation and waits until it answers.
    bool start(const QStringList& extraArgs = {});
    // Runs tessik-cad with these arguments in this object's environment and
    // waits until it exits, for starts that are meant to end at once; false
    // when it is still running after timeoutMs.
    bool runToExit(const QStringList& args = {QStringLiteral("--automation")}, int timeoutMs = 15000);
    // The same on a process and in an environment of the caller's own.
    static bool runToExit(QProcess& process, const QProcessEnvironment& env, const QStringList& args,
                          int timeoutMs = 15000);
    QProcess& process() { return process_; }
    qint64 processId() const { return process_.processId(); }
    const QString& socketPath() const { return socketPath_; }
    QProcessEnvironment environment() const;
    bool running() const { return process_.state() == QProcess::Running; }

private:
    std::unique_ptr<QTemporaryDir> dir_;
    QString socketPath_;
    QString platform_ = QStringLiteral("offscreen");
    QProcessEnvironment overrides_;
    bool keepErrors_ = false;
    QProcess process_;
};

class RpcClient {
public:
    bool connectTo(const QString& socketPath);
    QLocalSocket& socket() { return socket_; }

    // Sends a request and returns its id.
    int send(const QString& method, qint64 target, const QString& member,
             const QJsonObject& extra = {});
    void sendRaw(const QByteArray& bytes);
    // The next reply line; an empty object when none came in time.
    QJsonObject next(int timeoutMs = 10000);

    QJsonObject get(qint64 target, const QString& member);
    QJsonObject set(qint64 target, const QString& member, const QJsonValue& value);
    QJsonObject call(qint64 target, const QString& member, const QJsonArray& args = {});
    // The handle of a get or call that returned an object; -1 on error.
    qint64 handle(const QJsonObject& reply) const;

private:
    QLocalSocket socket_;
    QByteArray buffer_;
    int nextId_ = 0;
};

// The automation error code of a reply, 0 when it succeeded.
int errorCode(const QJsonObject& reply);
