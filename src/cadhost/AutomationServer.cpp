#include "AutomationServer.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalServer>
#include <QLocalSocket>

#include "AutomationError.h"

namespace tessik::cadhost {

using namespace automation;

AutomationConnection::AutomationConnection(QLocalSocket* socket, AutomationDispatcher& dispatcher,
                                           ServerLimits limits, QObject* parent)
    : QObject(parent), socket_(socket), dispatcher_(dispatcher), limits_(limits)
{
    socket_->setParent(this);
    partialTimer_.setSingleShot(true);
    partialTimer_.setInterval(limits_.partialLineTimeoutMs);
    connect(&partialTimer_, &QTimer::timeout, this, [this] {
        closeWithError(kParseError, QStringLiteral("消息不完整：等待行尾超时，连接已关闭。"));
    });
    connect(socket_, &QLocalSocket::readyRead, this, &AutomationConnection::onReadyRead);
    connect(socket_, &QLocalSocket::disconnected, this, &AutomationConnection::onDisconnected);
}

AutomationConnection::~AutomationConnection() = default;

void AutomationConnection::onReadyRead()
{
    if (closing_) {
        socket_->readAll();
        return;
    }
    buffer_.append(socket_->readAll());
    processBuffer();
}

void AutomationConnection::processBuffer()
{
    while (!waiting_ && !closing_) {
        const qsizetype end = buffer_.indexOf('\n', consumed_);
        if (end < 0) break;
        const qsizetype length = end - consumed_;
        if (length > limits_.maxLineBytes) {
            closeWithError(kInvalidRequest, QStringLiteral("请求过长（超过 %1 字节），连接已关闭。")
                                                .arg(limits_.maxLineBytes));
            return;
        }
        const QByteArray line = buffer_.mid(consumed_, length);
        consumed_ = end + 1;
        handleLine(line);
    }
    if (closing_) return;
    // Drop what was read in one move rather than line by line.
    if (consumed_ > 0) {
        buffer_.remove(0, consumed_);
        consumed_ = 0;
    }
    if (!waiting_ && buffer_.size() > limits_.maxLineBytes) {
        closeWithError(kInvalidRequest, QStringLiteral("请求过长（超过 %1 字节），连接已关闭。")
                                            .arg(limits_.maxLineBytes));
        return;
    }
    // Half a line waits for its end only so long.
    if (!waiting_ && !buffer_.isEmpty())
        partialTimer_.start();
    else
        partialTimer_.stop();
}

void AutomationConnection::handleLine(const QByteArray& rawLine)
{
    QByteArray line = rawLine;
    if (line.endsWith('\r')) line.chop(1);
    if (line.trimmed().isEmpty()) return;

    QJsonParseError parseError{};
    const QJsonDocument doc = QJsonDocument::fromJson(line, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        sendError(QJsonValue(), kParseError,
                  QStringLiteral("JSON 格式错误（第 %1 个字节）：%2")
                      .arg(parseError.offset)
                      .arg(parseError.errorString()));
        return;
    }
    if (!doc.isObject()) {
        sendError(QJsonValue(), kInvalidRequest, QStringLiteral("请求必须是一个 JSON 对象。"));
        return;
    }
    const QJsonObject request = doc.object();
    const bool notification = !request.contains(QLatin1String("id"));
    const QJsonValue id = request.value(QLatin1String("id"));
    const auto refuse = [&](std::int32_t code, const QString& message) {
        if (!notification) sendError(id, code, message);
    };
    if (!id.isUndefined() && !id.isNull() && !id.isDouble() && !id.isString()) {
        sendError(QJsonValue(), kInvalidRequest, QStringLiteral("id 必须是数字或字符串。"));
        return;
    }
    if (request.value(QLatin1String("jsonrpc")).toString() != QLatin1String("2.0")) {
        refuse(kInvalidRequest, QStringLiteral("缺少 \"jsonrpc\":\"2.0\"。"));
        return;
    }
    const QJsonValue methodValue = request.value(QLatin1String("method"));
    if (!methodValue.isString()) {
        refuse(kInvalidRequest, QStringLiteral("缺少方法名 method。"));
        return;
    }
    const QString method = methodValue.toString().toLower();
    AutomationDispatcher::Invocation inv;
    if (method == QLatin1String("get"))
        inv.verb = AutomationDispatcher::Verb::Get;
    else if (method == QLatin1String("set"))
        inv.verb = AutomationDispatcher::Verb::Set;
    else if (method == QLatin1String("call"))
        inv.verb = AutomationDispatcher::Verb::Call;
    else {
        refuse(kMethodNotFound,
               QStringLiteral("未知的方法“%1”：应为 get、set 或 call。").arg(methodValue.toString()));
        return;
    }
    const QJsonValue paramsValue = request.value(QLatin1String("params"));
    if (!paramsValue.isObject()) {
        refuse(kInvalidParams, QStringLiteral("params 必须是对象。"));
        return;
    }
    const QJsonObject params = paramsValue.toObject();
    const QJsonValue target = params.value(QLatin1String("target"));
    const double targetNumber = target.toDouble(-1);
    if (!target.isDouble() || targetNumber < 0 || targetNumber != std::floor(targetNumber) ||
        targetNumber > 9.0e15) {
        refuse(kInvalidParams, QStringLiteral("target 必须是非负整数。"));
        return;
    }
    inv.target = static_cast<std::int64_t>(targetNumber);
    const QJsonValue member = params.value(QLatin1String("member"));
    if (!member.isString() || member.toString().isEmpty()) {
        refuse(kInvalidParams, QStringLiteral("member 必须是非空字符串。"));
        return;
    }
    inv.member = member.toString();
    if (inv.verb == AutomationDispatcher::Verb::Set) {
        if (!params.contains(QLatin1String("value"))) {
            refuse(kInvalidParams, QStringLiteral("set 需要 value。"));
            return;
        }
        inv.value = params.value(QLatin1String("value"));
    }
    if (inv.verb == AutomationDispatcher::Verb::Call) {
        const QJsonValue args = params.value(QLatin1String("args"));
        if (!args.isUndefined() && !args.isNull() && !args.isArray()) {
            refuse(kInvalidParams, QStringLiteral("args 必须是数组。"));
            return;
        }
        inv.args = args.toArray();
    }

    // The reply may come after this connection is gone (a pick answered while
    // the client disconnects); it then has nowhere to go.
    QPointer<AutomationConnection> self(this);
    const std::uint64_t pick = dispatcher_.invoke(
        inv, [self, id, notification](const Result<QJsonValue>& result) {
            if (!self) return;
            if (!notification) self->sendReply(id, result);
            if (self->waiting_) {
                self->waiting_ = false;
                self->waitingPick_ = 0;
                // Carry on with queued requests from the event loop, not from
                // inside whoever answered the pick.
                QMetaObject::invokeMethod(self, &AutomationConnection::processBuffer,
                                          Qt::QueuedConnection);
            }
        });
    // A pick is never answered before invoke returns: the user or another
    // client answers it from a later event.
    if (pick != 0) {
        waiting_ = true;
        waitingPick_ = pick;
    }
}

void AutomationConnection::sendReply(const QJsonValue& id, const Result<QJsonValue>& result)
{
    if (!result.ok()) {
        sendError(id, result.error().number, QString::fromStdString(result.error().description));
        return;
    }
    if (closing_ || socket_->state() != QLocalSocket::ConnectedState) return;
    QJsonObject reply;
    reply.insert(QLatin1String("jsonrpc"), QLatin1String("2.0"));
    reply.insert(QLatin1String("id"), id);
    reply.insert(QLatin1String("result"), result.value());
    QByteArray bytes = QJsonDocument(reply).toJson(QJsonDocument::Compact);
    bytes.append('\n');
    socket_->write(bytes);
}

void AutomationConnection::sendError(const QJsonValue& id, std::int32_t code, const QString& message)
{
    if (closing_ || socket_->state() != QLocalSocket::ConnectedState) return;
    QJsonObject error;
    error.insert(QLatin1String("code"), code);
    error.insert(QLatin1String("message"), message);
    QJsonObject reply;
    reply.insert(QLatin1String("jsonrpc"), QLatin1String("2.0"));
    reply.insert(QLatin1String("id"), id.isUndefined() ? QJsonValue() : id);
    reply.insert(QLatin1String("error"), error);
    QByteArray bytes = QJsonDocument(reply).toJson(QJsonDocument::Compact);
    bytes.append('\n');
    socket_->write(bytes);
}

void AutomationConnection::closeWithError(std::int32_t code, const QString& message)
{
    sendError(QJsonValue(), code, message);
    closing_ = true;
    partialTimer_.stop();
    buffer_.clear();
    consumed_ = 0;
    // Hand the kernel what it takes now, then close at once: waiting until a
    // client that is itself blocked writing reads earlier replies would hold
    // the connection for as long as it cares to block.
    socket_->flush();
    socket_->abort();
}

void AutomationConnection::start()
{
    // Data or a hang-up may have arrived before the signals were connected.
    QMetaObject::invokeMethod(this, [this] {
        if (socket_->state() == QLocalSocket::UnconnectedState)
            onDisconnected();
        else
            onReadyRead();
    }, Qt::QueuedConnection);
}

void AutomationConnection::onDisconnected()
{
    if (finished_) return;
    finished_ = true;
    if (waiting_) {
        waiting_ = false;
        const std::uint64_t pick = waitingPick_;
        waitingPick_ = 0;
        closing_ = true;
        dispatcher_.session().withdrawPoint(pick);
    }
    closing_ = true;
    partialTimer_.stop();
    emit finished();
    deleteLater();
}

AutomationServer::AutomationServer(CadSession& session, QObject* parent)
    : QObject(parent), dispatcher_(session), server_(new QLocalServer(this))
{
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    server_->setMaxPendingConnections(256);
    connect(server_, &QLocalServer::newConnection, this, &AutomationServer::onNewConnection);
}

AutomationServer::~AutomationServer() = default;

Status AutomationServer::listen(const QString& path)
{
    if (!server_->listen(path))
        return error(kFailed, QStringLiteral("无法在“%1”上监听：%2").arg(path, server_->errorString()));
    return success();
}

QString AutomationServer::path() const { return server_->fullServerName(); }

void AutomationServer::onNewConnection()
{
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        auto* connection = new AutomationConnection(socket, dispatcher_, limits_, this);
        ++connections_;
        connect(connection, &AutomationConnection::finished, this, [this] { --connections_; });
        connection->start();
    }
}

}  // namespace tessik::cadhost
