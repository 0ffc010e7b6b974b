#include "CadRpcChannel.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>
#include <charconv>

#include "CadErrors.h"
#include "CadSocketPath.h"
#include "InputBlocker.h"

namespace tessik {

namespace {

// Above this much unsent data the sender stops and lets the server catch up.
constexpr qint64 kWriteHighWater = 1 << 20;
// During a burst, every so many requests the sent ones go out and the replies
// that have come in are read, without waiting for either.
constexpr qint64 kPumpEvery = 256;
// A socket that somebody listens on accepts at once; this is only a bound.
constexpr int kConnectTimeoutMs = 2000;

}  // namespace

QByteArray jsonNumber(double value)
{
    char buf[32];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
    return ec == std::errc() ? QByteArray(buf, int(end - buf)) : QByteArray("null");
}

QByteArray jsonString(const QString& text)
{
    QByteArray out = "\"";
    for (char c : text.toUtf8()) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            out += "\\u00";
            out += "0123456789abcdef"[u >> 4];
            out += "0123456789abcdef"[u & 15];
        } else {
            out += c;
        }
    }
    return out + '"';
}

Result<std::shared_ptr<CadRpcChannel>> CadRpcChannel::open(const QString& path, int timeoutMs)
{
    if (Status owner = checkSocketOwner(path); !owner) return owner.error();
    auto* socket = new QLocalSocket;
    socket->connectToServer(path);
    if (!socket->waitForConnected(kConnectTimeoutMs)) {
        const QString why = socket->errorString();
        delete socket;
        return caderr::cannotCreateObject(QStringLiteral("没有正在运行的 tessik-cad（%1：%2）").arg(path, why).toStdString());
    }
    return std::shared_ptr<CadRpcChannel>(new CadRpcChannel(socket, timeoutMs));
}

CadRpcChannel::CadRpcChannel(QLocalSocket* socket, int timeoutMs) : socket_(socket), timeoutMs_(timeoutMs)
{
    socket_->setParent(this);
    connect(socket_, &QLocalSocket::readyRead, this, &CadRpcChannel::readReplies);
    connect(socket_, &QLocalSocket::disconnected, this, [this] {
        if (!broken()) readReplies();  // the last replies before the close still count
        breakWith(caderr::serverUnavailable("tessik-cad 已关闭连接"));
    });
    connect(socket_, &QLocalSocket::errorOccurred, this, [this](QLocalSocket::LocalSocketError e) {
        // A closed peer is handled by disconnected; a time-out is only the
        // non-blocking look for replies during a burst.
        if (e == QLocalSocket::PeerClosedError || e == QLocalSocket::SocketTimeoutError) return;
        breakWith(caderr::serverUnavailable(socket_->errorString().toStdString()));
    });
}

CadRpcChannel::~CadRpcChannel() { socket_->disconnect(this); }

Result<CadRpcChannel::Id> CadRpcChannel::send(const char* method, qint64 target, const QString& member,
                                              const QByteArray& params)
{
    if (broken()) return broken_;
    const Id id = nextId_++;
    QByteArray line;
    line.reserve(96 + params.size());
    line += "{\"jsonrpc\":\"2.0\",\"id\":";
    line += QByteArray::number(id);
    line += ",\"method\":\"";
    line += method;
    line += "\",\"params\":{\"target\":";
    line += QByteArray::number(target);
    line += ",\"member\":";
    line += jsonString(member);
    if (!params.isEmpty()) {
        line += ',';
        line += params;
    }
    line += "}}\n";
    if (socket_->write(line) != line.size()) {
        breakWith(caderr::serverUnavailable(socket_->errorString().toStdString()));
        return broken_;
    }
    if (socket_->bytesToWrite() > kWriteHighWater) drainWrites();
    else if (id % kPumpEvery == 0) pump();
    return id;
}

void CadRpcChannel::drainWrites()
{
    InputBlocker block;
    QEventLoop loop;
    QTimer stall;
    stall.setSingleShot(true);
    connect(socket_, &QLocalSocket::bytesWritten, &loop, [&] {
        stall.start(timeoutMs_);
        if (socket_->bytesToWrite() < kWriteHighWater / 4) loop.quit();
    });
    connect(socket_, &QLocalSocket::disconnected, &loop, &QEventLoop::quit);
    connect(&stall, &QTimer::timeout, &loop, [&] {
        breakWith(caderr::serverUnavailable(
            QStringLiteral("tessik-cad 未在 %1 秒内接收数据").arg(timeoutMs_ / 1000).toStdString()));
        loop.quit();
    });
    stall.start(timeoutMs_);
    socket_->flush();
    if (!broken() && socket_->bytesToWrite() >= kWriteHighWater / 4) loop.exec(QEventLoop::AllEvents);
}

void CadRpcChannel::pump()
{
    socket_->flush();
    socket_->waitForReadyRead(0);  // reads (and parses) what has arrived, never blocks
}

bool CadRpcChannel::hasReply(Id id)
{
    if (!replies_.contains(id) && socket_->bytesAvailable() > 0) readReplies();
    return replies_.contains(id) || broken();
}

Result<QJsonValue> CadRpcChannel::wait(Id id, int timeoutMs)
{
    if (!replies_.contains(id) && !broken()) {
        socket_->flush();
        if (socket_->bytesAvailable() > 0) readReplies();
    }
    if (!replies_.contains(id) && !broken()) {
        InputBlocker block;
        QEventLoop loop;
        QTimer deadline;
        deadline.setSingleShot(true);
        qint64 seen = lifeSigns_;
        auto check = [&] {
            if (replies_.contains(id) || broken()) loop.quit();
            else if (timeoutMs >= 0 && lifeSigns_ != seen) {
                seen = lifeSigns_;
                deadline.start(timeoutMs);
            }
        };
        connect(socket_, &QLocalSocket::readyRead, &loop, check);
        connect(socket_, &QLocalSocket::disconnected, &loop, &QEventLoop::quit);
        connect(&deadline, &QTimer::timeout, &loop, [&] {
            breakWith(caderr::serverUnavailable(
                QStringLiteral("tessik-cad 未在 %1 秒内应答").arg(timeoutMs / 1000).toStdString()));
            loop.quit();
        });
        if (timeoutMs >= 0) deadline.start(timeoutMs);
        check();
        if (!replies_.contains(id) && !broken()) loop.exec(QEventLoop::AllEvents);
    }
    if (auto it = replies_.find(id); it != replies_.end()) {
        Result<QJsonValue> r = std::move(it.value());
        replies_.erase(it);
        return r;
    }
    return broken_.number ? broken_ : caderr::serverUnavailable("没有应答");
}

void CadRpcChannel::readReplies()
{
    if (!socket_->isOpen()) return;
    inbox_ += socket_->readAll();
    qsizetype start = 0;
    for (qsizetype nl; (nl = inbox_.indexOf('\n', start)) >= 0; start = nl + 1) {
        const QByteArray line = inbox_.mid(start, nl - start);
        if (line.trimmed().isEmpty()) continue;
        QJsonParseError perr;
        const QJsonDocument doc = QJsonDocument::fromJson(line, &perr);
        const QJsonObject o = doc.object();
        const QJsonValue idv = o.value(QLatin1String("id"));
        if (perr.error != QJsonParseError::NoError || !doc.isObject() || !idv.isDouble()) {
            breakWith(caderr::serverUnavailable("无法理解 tessik-cad 的应答"));
            return;
        }
        const Id id = Id(idv.toDouble());
        ++lifeSigns_;
        lastReplied_ = std::max(lastReplied_, id);
        if (o.contains(QLatin1String("error"))) {
            const QJsonObject e = o.value(QLatin1String("error")).toObject();
            replies_.insert(id, Error{std::int32_t(e.value(QLatin1String("code")).toDouble()),
                                      e.value(QLatin1String("message")).toString().toStdString(), std::string()});
        } else {
            replies_.insert(id, o.value(QLatin1String("result")));
        }
    }
    inbox_.remove(0, start);
}

void CadRpcChannel::breakWith(const Error& error)
{
    if (broken()) return;
    broken_ = error;
    // Replies that arrived before the break are the server's confirmations:
    // they are taken in before the socket goes, so the calls they answer
    // count as done.
    readReplies();
    socket_->abort();
}

}  // namespace tessik
