#include "AutomationServer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QLoggingCategory>
#include <QSocketNotifier>

#include "AutomationError.h"
#include "AutomationRequest.h"

namespace tessik::cadhost {

Q_LOGGING_CATEGORY(lcAutomation, "tessik.cad.automation")

using namespace automation;

AutomationConnection::AutomationConnection(QLocalSocket* socket, AutomationDispatcher& dispatcher,
                                           ServerLimits limits, QObject* parent)
    : QObject(parent), socket_(socket), dispatcher_(dispatcher), limits_(limits)
{
    socket_->setParent(this);
    // Qt stops reading the socket once this much waits unread, so a client
    // whose requests queue behind a pick waits on its own socket.
    socket_->setReadBufferSize(limits_.maxLineBytes + 1);
    partialTimer_.setSingleShot(true);
    partialTimer_.setInterval(limits_.partialLineTimeoutMs);
    connect(&partialTimer_, &QTimer::timeout, this, [this] {
        closeWithError(kParseError, QStringLiteral("消息不完整：等待行尾超时，连接已关闭。"));
    });
    connect(socket_, &QLocalSocket::readyRead, this, &AutomationConnection::onReadyRead);
    connect(socket_, &QLocalSocket::disconnected, this, &AutomationConnection::onDisconnected);
}

AutomationConnection::~AutomationConnection() = default;

bool AutomationConnection::waitingForPick() const { return waitingPick_ != 0; }

void AutomationConnection::onReadyRead()
{
    if (closing_) {
        socket_->readAll();
        return;
    }
    // Behind a pick, read no more than one line's worth ahead; the rest
    // stays in the socket until the pick is answered.
    if (waitingForPick() && buffer_.size() > limits_.maxLineBytes) return;
    buffer_.append(socket_->readAll());
    processBuffer();
}

void AutomationConnection::processBuffer()
{
    while (!waitingForPick() && !closing_) {
        const qsizetype end = buffer_.indexOf('\n', consumed_);
        if (end < 0) break;
        const qsizetype length = end - consumed_;
        if (length > limits_.maxLineBytes) {
            closeWithError(kInvalidRequest, tooLong());
            return;
        }
        const QByteArrayView line(buffer_.constData() + consumed_, length);
        consumed_ = end + 1;
        handleLine(line);
    }
    if (closing_) return;
    // The replies to everything read so far go out now, in one write, rather
    // than on a later pass of the event loop.
    if (socket_->bytesToWrite() > 0) socket_->flush();
    // Drop what was read in one move rather than line by line.
    if (consumed_ > 0) {
        buffer_.remove(0, consumed_);
        consumed_ = 0;
    }
    if (!waitingForPick() && buffer_.size() > limits_.maxLineBytes) {
        closeWithError(kInvalidRequest, tooLong());
        return;
    }
    // Half a line waits for its end only so long.
    if (!waitingForPick() && !buffer_.isEmpty())
        partialTimer_.start();
    else
        partialTimer_.stop();
}

QString AutomationConnection::tooLong() const
{
    return QStringLiteral("请求过长（超过 %1 字节），连接已关闭。").arg(limits_.maxLineBytes);
}

void AutomationConnection::handleLine(QByteArrayView line)
{
    AutomationRequest request = parseRequest(line);
    switch (request.outcome) {
    case AutomationRequest::Outcome::Blank: return;
    case AutomationRequest::Outcome::Refuse:
        if (request.wantsReply) send(errorReply(request.id, request.code, request.message));
        return;
    case AutomationRequest::Outcome::Invoke: dispatch(request); return;
    }
}

void AutomationConnection::dispatch(const AutomationRequest& request)
{
    // The reply may come after this connection is gone (a pick answered while
    // the client disconnects); it then has nowhere to go.
    QPointer<AutomationConnection> self(this);
    const QJsonValue id = request.id;
    const bool wantsReply = request.wantsReply;
    const std::uint64_t pick =
        dispatcher_.invoke(request.invocation, [self, id, wantsReply](const Result<QJsonValue>& result) {
            if (!self) return;
            if (wantsReply) self->sendReply(id, result);
            if (self->waitingForPick()) self->onPickAnswered();
        });
    // A pick is never answered before invoke returns: the user or another
    // client answers it from a later event.
    waitingPick_ = pick;
}

void AutomationConnection::onPickAnswered()
{
    if (!closing_) socket_->flush();
    waitingPick_ = 0;
    // Carry on with queued requests from the event loop, not from inside
    // whoever answered the pick.
    QMetaObject::invokeMethod(this, &AutomationConnection::onReadyRead, Qt::QueuedConnection);
}

void AutomationConnection::sendReply(const QJsonValue& id, const Result<QJsonValue>& result)
{
    if (result.ok())
        send(resultReply(id, result.value()));
    else
        send(errorReply(id, result.error().number, QString::fromStdString(result.error().description)));
}

void AutomationConnection::send(const QByteArray& bytes)
{
    if (closing_ || socket_->state() != QLocalSocket::ConnectedState) return;
    socket_->write(bytes);
    if (socket_->bytesToWrite() <= limits_.maxUnsentBytes) return;
    qCWarning(lcAutomation).noquote()
        << QStringLiteral("客户端未读取回复（积压超过 %1 字节），连接已断开。").arg(limits_.maxUnsentBytes);
    closing_ = true;
    partialTimer_.stop();
    buffer_.clear();
    consumed_ = 0;
    socket_->abort();
    onDisconnected();
}

void AutomationConnection::closeWithError(std::int32_t code, const QString& message)
{
    send(errorReply(QJsonValue(), code, message));
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
    if (waitingForPick()) {
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
    : QObject(parent), dispatcher_(session)
{
    retryTimer_.setSingleShot(true);
    retryTimer_.setInterval(100);
    connect(&retryTimer_, &QTimer::timeout, this, [this] {
        if (notifier_) notifier_->setEnabled(true);
        onNewConnection();
    });
}

AutomationServer::~AutomationServer() { close(); }

namespace {

QString systemError(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

// Raises the soft descriptor limit to the hard one; returns the limit now in force.
rlim_t raiseDescriptorLimit()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return 1024;
    if (limit.rlim_cur < limit.rlim_max) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max;
        if (setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
    }
    return limit.rlim_cur;
}

}  // namespace

Status AutomationServer::listen(const QString& path)
{
    close();
    const QByteArray native = QFile::encodeName(path);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (native.isEmpty() || native.size() >= qsizetype(sizeof address.sun_path))
        return error(kFailed, QStringLiteral("无法在“%1”上监听：路径过长。").arg(path));
    std::memcpy(address.sun_path, native.constData(), size_t(native.size()));

    const rlim_t descriptors = raiseDescriptorLimit();
    // Keep descriptors for files and the display; a few connections at least.
    const rlim_t usable = descriptors > 160 ? descriptors - 128 : 32;
    limits_.maxConnections = int(std::min<rlim_t>(usable, rlim_t(limits_.maxConnections)));

    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return error(kFailed, QStringLiteral("无法在“%1”上监听：%2").arg(path, systemError(errno)));
    // Owner-only from the start: the file gets the mode the umask leaves.
    const mode_t oldMask = ::umask(0177);
    const int bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    const int bindError = errno;
    ::umask(oldMask);
    if (bound != 0) {
        ::close(fd);
        return error(kFailed, QStringLiteral("无法在“%1”上监听：%2").arg(path, systemError(bindError)));
    }
    if (::listen(fd, SOMAXCONN) != 0) {
        const int listenError = errno;
        ::close(fd);
        ::unlink(native.constData());
        return error(kFailed, QStringLiteral("无法在“%1”上监听：%2").arg(path, systemError(listenError)));
    }
    listenFd_ = fd;
    path_ = path;
    spareFd_ = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    notifier_ = new QSocketNotifier(qintptr(fd), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &AutomationServer::onNewConnection);
    return success();
}

void AutomationServer::close()
{
    if (listenFd_ < 0) return;
    delete notifier_;
    notifier_ = nullptr;
    retryTimer_.stop();
    ::close(listenFd_);
    listenFd_ = -1;
    if (spareFd_ >= 0) ::close(spareFd_);
    spareFd_ = -1;
    ::unlink(QFile::encodeName(path_).constData());
}

void AutomationServer::refuse(int fd, const char* why)
{
    if (!refusing_) {
        refusing_ = true;
        qCWarning(lcAutomation).noquote()
            << QStringLiteral("连接过多（%1 个）：拒绝新连接（%2），直到有连接关闭。")
                   .arg(connections_)
                   .arg(QString::fromLatin1(why));
    }
    if (fd < 0) return;
    static const QByteArray reply =
        QJsonDocument(QJsonObject{
                          {QLatin1String("jsonrpc"), QLatin1String("2.0")},
                          {QLatin1String("id"), QJsonValue()},
                          {QLatin1String("error"),
                           QJsonObject{{QLatin1String("code"), kFailed},
                                       {QLatin1String("message"), QStringLiteral("连接过多，请稍后再试。")}}}})
            .toJson(QJsonDocument::Compact) +
        '\n';
    // A fresh socket's buffer is empty: this never blocks, and a lost reply
    // still leaves the client seeing the connection closed.
    [[maybe_unused]] const ssize_t sent =
        ::send(fd, reply.constData(), size_t(reply.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
    ::close(fd);
}

void AutomationServer::onNewConnection()
{
    while (listenFd_ >= 0) {
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            const int e = errno;
            if (e == EINTR || e == ECONNABORTED) continue;
            if (e == EAGAIN || e == EWOULDBLOCK) return;
            if ((e == EMFILE || e == ENFILE) && spareFd_ >= 0) {
                // Out of descriptors: give up the spare one to take the
                // connection off the queue and refuse it, so that it does
                // not wake us again and again.
                ::close(spareFd_);
                const int taken = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
                refuse(taken, "out of descriptors");
                spareFd_ = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
                if (taken >= 0) continue;
            }
            // Nothing more to do now: still listening, look again shortly.
            if (!refusing_)
                qCWarning(lcAutomation).noquote()
                    << QStringLiteral("接受连接失败：%1；稍后重试。").arg(systemError(e));
            refusing_ = true;
            if (notifier_) notifier_->setEnabled(false);
            retryTimer_.start();
            return;
        }
        if (connections_ >= limits_.maxConnections) {
            refuse(fd, "connection limit");
            continue;
        }
        auto* socket = new QLocalSocket;
        if (!socket->setSocketDescriptor(qintptr(fd), QLocalSocket::ConnectedState, QIODevice::ReadWrite)) {
            delete socket;
            ::close(fd);
            continue;
        }
        refusing_ = false;
        auto* connection = new AutomationConnection(socket, dispatcher_, limits_, this);
        ++connections_;
        connect(connection, &AutomationConnection::finished, this, [this] { --connections_; });
        connection->start();
    }
}

}  // namespace tessik::cadhost
