#pragma once
// Test helpers: a real tessik-cad process on a private socket, started
// offscreen and hidden, and a blocking JSON-RPC client for it.

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QLocalSocket>
#include <QProcess>
#include <QString>

class CadHostProcess {
public:
    explicit CadHostProcess(QString socketPath);
    ~CadHostProcess();

    // Starts tessik-cad --automation and waits until it answers.
    bool start(const QStringList& extraArgs = {});
    QProcess& process() { return process_; }
    const QString& socketPath() const { return socketPath_; }
    QProcessEnvironment environment() const;
    bool running() const { return process_.state() == QProcess::Running; }

private:
    QString socketPath_;
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
