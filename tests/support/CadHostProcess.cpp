#include "CadHostProcess.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonDocument>
#include <QThread>

namespace {

constexpr int kStartTimeoutMs = 10000;    // until the process runs
constexpr int kAnswerTimeoutMs = 20000;   // until its socket accepts
constexpr int kProbeTimeoutMs = 200;
constexpr int kProbeIntervalMs = 20;
constexpr int kExitTimeoutMs = 5000;

}  // namespace

CadHostProcess::CadHostProcess() : dir_(std::make_unique<QTemporaryDir>())
{
    socketPath_ = dir_->filePath(QStringLiteral("cad.sock"));
}

CadHostProcess::CadHostProcess(QString socketPath) : socketPath_(std::move(socketPath)) {}

CadHostProcess::~CadHostProcess() { kill(); }

QString CadHostProcess::program() { return QStringLiteral(TESSIK_CAD_EXECUTABLE); }

void CadHostProcess::kill()
{
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(kExitTimeoutMs);
    }
}

QProcessEnvironment CadHostProcess::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), platform_);
    env.insert(QStringLiteral("TESSIK_CAD_SOCKET"), socketPath_);
    // Autosaves stay beside the socket, never in the user's own state folder.
    env.insert(QStringLiteral("XDG_STATE_HOME"), QFileInfo(socketPath_).absolutePath() + QStringLiteral("/state"));
    for (const QString& name : overrides_.keys()) env.insert(name, overrides_.value(name));
    return env;
}

bool CadHostProcess::start(const QStringList& extraArgs)
{
    process_.setProcessEnvironment(environment());
    process_.setProcessChannelMode(keepErrors_ ? QProcess::SeparateChannels : QProcess::ForwardedErrorChannel);
    process_.start(program(), QStringList{QStringLiteral("--automation")} + extraArgs);
    if (!process_.waitForStarted(kStartTimeoutMs)) return false;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < kAnswerTimeoutMs) {
        QLocalSocket probe;
        probe.connectToServer(socketPath_);
        if (probe.waitForConnected(kProbeTimeoutMs)) return true;
        if (process_.state() == QProcess::NotRunning) return false;
        QThread::msleep(kProbeIntervalMs);
    }
    return false;
}

QString CadHostProcess::standardError()
{
    process_.setReadChannel(QProcess::StandardError);
    while (process_.waitForReadyRead(50)) {
    }
    process_.setReadChannel(QProcess::StandardOutput);
    return QString::fromLocal8Bit(process_.readAllStandardError());
}

bool CadHostProcess::runToExit(const QStringList& args, int timeoutMs)
{
    return runToExit(process_, environment(), args, timeoutMs);
}

bool CadHostProcess::runToExit(QProcess& process, const QProcessEnvironment& env, const QStringList& args,
                               int timeoutMs)
{
    process.setProcessEnvironment(env);
    process.start(program(), args);
    return process.waitForFinished(timeoutMs);
}

bool RpcClient::connectTo(const QString& socketPath)
{
    socket_.connectToServer(socketPath);
    return socket_.waitForConnected(5000);
}

int RpcClient::send(const QString& method, qint64 target, const QString& member, const QJsonObject& extra)
{
    QJsonObject params = extra;
    params.insert(QStringLiteral("target"), target);
    params.insert(QStringLiteral("member"), member);
    const int id = ++nextId_;
    const QJsonObject request{{QStringLiteral("jsonrpc"), QStringLiteral("2.0")},
                              {QStringLiteral("id"), id},
                              {QStringLiteral("method"), method},
                              {QStringLiteral("params"), params}};
    sendRaw(QJsonDocument(request).toJson(QJsonDocument::Compact) + '\n');
    return id;
}

void RpcClient::sendRaw(const QByteArray& bytes)
{
    socket_.write(bytes);
    socket_.flush();
    while (socket_.bytesToWrite() > 0 && socket_.waitForBytesWritten(10000)) {
    }
}

QJsonObject RpcClient::next(int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        const qsizetype end = buffer_.indexOf('\n');
        if (end >= 0) {
            const QByteArray line = buffer_.left(end);
            buffer_.remove(0, end + 1);
            return QJsonDocument::fromJson(line).object();
        }
        const qint64 left = timeoutMs - clock.elapsed();
        if (left <= 0) return {};
        if (socket_.bytesAvailable() == 0 && !socket_.waitForReadyRead(static_cast<int>(left))) {
            buffer_.append(socket_.readAll());
            if (buffer_.indexOf('\n') < 0) return {};
        }
        buffer_.append(socket_.readAll());
    }
}

QJsonObject RpcClient::get(qint64 target, const QString& member)
{
    send(QStringLiteral("get"), target, member);
    return next();
}

QJsonObject RpcClient::set(qint64 target, const QString& member, const QJsonValue& value)
{
    send(QStringLiteral("set"), target, member, {{QStringLiteral("value"), value}});
    return next();
}

QJsonObject RpcClient::call(qint64 target, const QString& member, const QJsonArray& args)
{
    send(QStringLiteral("call"), target, member, {{QStringLiteral("args"), args}});
    return next();
}

qint64 RpcClient::handle(const QJsonObject& reply) const
{
    const QJsonValue result = reply.value(QStringLiteral("result"));
    if (!result.isObject()) return -1;
    return result.toObject().value(QStringLiteral("handle")).toInteger(-1);
}

int errorCode(const QJsonObject& reply)
{
    return reply.value(QStringLiteral("error")).toObject().value(QStringLiteral("code")).toInt(0);
}
