#include "automation/AutomationServer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QPointer>
#include <QSocketNotifier>

#include "automation/AutomationError.h"
#include "automation/AutomationJsonQt.h"
#include "automation/AutomationRequest.h"

namespace tessik::cadhost {

Q_LOGGING_CATEGORY(lcAutomation, "tessik.cad.automation")

using namespace automation;

namespace {

// Most a connection reads at one wake-up; a full read means more may wait,
// which the next pass of the event loop picks up, so clients take turns.
constexpr qsizetype kReadChunk = 64 * 1024;
// Replies gathered in a batch go out once this much waits.
constexpr qsizetype kWriteChunk = 64 * 1024;
// The room a connection keeps for writing one reply line.
constexpr std::size_t kKeptLineRoom = 1024;
// The room a connection keeps for replies between batches.
constexpr qsizetype kKeptUnsentRoom = 4096;
// How long a connection looks for its client's next request after answering
// (see awaitNextRequest), how much of that it spins before sleeping on the
// socket, how many looks in vain end that, and how long it may go on
// answering before the rest of the event loop has its turn.
constexpr std::chrono::microseconds kLookAhead{250};
constexpr std::chrono::microseconds kLookAheadSpin{60};
constexpr int kLookAheadMissLimit = 3;
constexpr std::chrono::microseconds kLookAheadSlice{2000};
// How much of what was peeked at may stay in the kernel while looking ahead.
constexpr qsizetype kPeekedHeld = 2 * 1024;

}  // namespace

AutomationConnection::AutomationConnection(int fd, AutomationDispatcher& dispatcher, ServerLimits limits,
                                           UnsentBudget& budget, QObject* parent)
    : QObject(parent),
      fd_(fd),
      reader_(new QSocketNotifier(qintptr(fd), QSocketNotifier::Read, this)),
      writer_(new QSocketNotifier(qintptr(fd), QSocketNotifier::Write, this)),
      dispatcher_(dispatcher),
      limits_(limits),
      budget_(budget)
{
    budget_.join(this);
    writer_->setEnabled(false);
    // Each peek then starts past the bytes peeked at before.
    const int zero = 0;
    peekOffset_ = ::setsockopt(fd, SOL_SOCKET, SO_PEEK_OFF, &zero, sizeof zero) == 0;
    partialTimer_.setSingleShot(true);
    partialTimer_.setInterval(limits_.partialLineTimeoutMs);
    connect(&partialTimer_, &QTimer::timeout, this, &AutomationConnection::onLineTimeout);
    connect(reader_, &QSocketNotifier::activated, this, &AutomationConnection::onReadable);
    // The reply may come after this connection is gone (a pick answered
    // while the client disconnects); it then has nowhere to go.
    reply_ = [self = QPointer<AutomationConnection>(this)](const Result<QJsonValue>& result) {
        if (self) self->answer(result);
    };
    connect(writer_, &QSocketNotifier::activated, this, [this] {
        writer_->setEnabled(false);
        flush();
    });
}

AutomationConnection::~AutomationConnection()
{
    if (fd_ >= 0) ::close(fd_);
}

void AutomationConnection::onReadable()
{
    if (closing_ || hungUp_) return;
    // A member that spins an event loop of its own must not see its
    // connection read again underneath it; the reader waits (rather than
    // waking that loop again and again) until the batch is done.
    if (batching_) {
        reader_->setEnabled(false);
        return;
    }
    // Behind a pick or a text being typed, read no more than one line's
    // worth ahead; the rest stays in the socket (and the client waits on
    // it) until that is answered.
    if (waiting() && buffer_.size() > limits_.maxLineBytes) {
        reader_->setEnabled(false);
        return;
    }
    const auto start = std::chrono::steady_clock::now();
    // A request that came soon after the last answer: this client waits for
    // each answer and sends its next request straight away.
    if (answeredAt_ && start - *answeredAt_ < kLookAhead) lookAheadMisses_ = 0;
    std::optional<bool> ahead;  // what the look-ahead read
    for (;;) {
        const bool open = ahead ? *ahead : readSome();
        processBuffer();
        if (!open) {
            dropPeeked();
            hangUp();
            return;
        }
        if (!lookAheadWorthwhile()) {
            dropPeeked();
            return;
        }
        if (!peekOffset_ || peeked_ >= kPeekedHeld) dropPeeked();
        ahead = awaitNextRequest(start + kLookAheadSlice);
        if (!ahead) {
            dropPeeked();
            return;
        }
    }
}

bool AutomationConnection::lookAheadWorthwhile() const
{
    return !closing_ && !hungUp_ && !waiting() && buffer_.isEmpty() && answeredAt_ && !writer_->isEnabled() &&
           reader_->isEnabled() && lookAheadMisses_ < kLookAheadMissLimit;
}

std::optional<bool> AutomationConnection::awaitNextRequest(std::chrono::steady_clock::time_point sliceEnd)
{
    const auto begin = std::chrono::steady_clock::now();
    const auto until = std::min(begin + kLookAhead, sliceEnd);
    // A client on another core answers within microseconds: looked for
    // while giving the core away, in case the client waits for this one,
    // it is found without this core going idle and being woken again.
    for (auto now = begin; now < std::min(begin + kLookAheadSpin, until); now = std::chrono::steady_clock::now()) {
        const qsizetype had = peeked_;
        const bool open = readSome();
        if (!open || peeked_ > had) {
            if (open) lookAheadMisses_ = 0;
            return open;
        }
        ::sched_yield();
    }
    // Then asleep on this socket alone, as a blocking reader would be: the
    // client's write wakes this thread at once, without a pass of the
    // event loop. Bytes peeked at would keep the socket readable.
    dropPeeked();
    const auto wait = std::chrono::duration_cast<std::chrono::nanoseconds>(until - std::chrono::steady_clock::now());
    if (wait > std::chrono::nanoseconds::zero()) {
        const timespec timeout{0, long(wait.count())};
        pollfd polled{fd_, POLLIN, 0};
        const int n = ::ppoll(&polled, 1, &timeout, nullptr);
        if (n > 0) {
            lookAheadMisses_ = 0;
            return readSome();
        }
        if (n < 0) return std::nullopt;
    }
    ++lookAheadMisses_;
    return std::nullopt;
}

void AutomationConnection::hangUp()
{
    if (closing_) return;
    hungUp_ = true;
    reader_->setEnabled(false);
    partialTimer_.stop();
    lineStarted_ = false;
    // A text being typed answers when typed, then the requests sent after
    // it are carried out (onAnswered); a pick waited for is withdrawn.
    if (waiting_.kind != AutomationDispatcher::Pending::Kind::Typing) onDisconnected();
}

bool AutomationConnection::readSome()
{
    if (!peekOffset_) dropPeeked();
    qsizetype room = kReadChunk;
    if (waiting()) room = std::min(room, limits_.maxLineBytes + 1 - buffer_.size());
    const qsizetype had = buffer_.size();
    buffer_.resize(had + room);
    ssize_t n;
    do {
        n = ::recv(fd_, buffer_.data() + had, size_t(room), MSG_PEEK | MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    buffer_.resize(had + std::max<ssize_t>(n, 0));
    peeked_ += std::max<ssize_t>(n, 0);
    return n > 0 || (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK));
}

void AutomationConnection::dropPeeked()
{
    // Taken out in the buffer's spare room, which is then given back.
    while (peeked_ > 0 && fd_ >= 0) {
        const qsizetype had = buffer_.size();
        buffer_.resize(had + peeked_);
        const ssize_t n = ::recv(fd_, buffer_.data() + had, size_t(peeked_), MSG_DONTWAIT);
        buffer_.resize(had);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        peeked_ -= n;
    }
    peeked_ = 0;
}

void AutomationConnection::processBuffer()
{
    batching_ = true;
    while (!waiting() && !closing_) {
        const char* const data = buffer_.constData();
        const void* const newline = std::memchr(data + consumed_, '\n', std::size_t(buffer_.size() - consumed_));
        if (!newline) break;
        const qsizetype end = static_cast<const char*>(newline) - data;
        const qsizetype length = end - consumed_;
        if (length > limits_.maxLineBytes) {
            batching_ = false;
            closeWithError(kInvalidRequest, tooLong());
            return;
        }
        const QByteArrayView line(buffer_.constData() + consumed_, length);
        consumed_ = end + 1;
        handleLine(line);
    }
    batching_ = false;
    if (closing_) return;
    if (!reader_->isEnabled() && !waiting() && !hungUp_) reader_->setEnabled(true);
    // The replies to everything read so far go out now, in one write.
    flush();
    if (closing_) return;
    // Drop what was read in one move rather than line by line.
    const bool lineEnded = consumed_ > 0;
    if (consumed_ > 0) {
        buffer_.remove(0, consumed_);
        consumed_ = 0;
    }
    if (!waiting() && buffer_.size() > limits_.maxLineBytes) {
        closeWithError(kInvalidRequest, tooLong());
        return;
    }
    // Half a line waits for its end only so long, counted from its first
    // byte: more bytes of the same line do not start the wait again.
    if (!waiting() && !hungUp_ && !buffer_.isEmpty()) {
        if (!lineStarted_ || lineEnded) partialTimer_.start();
        lineStarted_ = true;
    } else {
        lineStarted_ = false;
        partialTimer_.stop();
    }
}

void AutomationConnection::onLineTimeout()
{
    if (closing_ || !lineStarted_) return;
    // Inside a member that runs an event loop of its own, this
    // connection's lines are being answered: look again later.
    if (batching_) {
        partialTimer_.start();
        return;
    }
    // The end of the line may be waiting in the kernel, unread while the
    // event loop was busy: read it before giving up on the line. A line
    // ended restarts the timer for the next one.
    const auto kernelHolds = [this] {
        char byte;
        return ::recv(fd_, &byte, 1, MSG_PEEK | MSG_DONTWAIT) > 0;
    };
    for (qsizetype read = 0; read <= limits_.maxLineBytes && kernelHolds(); read += kReadChunk) {
        onReadable();
        if (closing_ || !lineStarted_ || partialTimer_.isActive()) return;
    }
    closeWithError(kParseError, QStringLiteral("消息不完整：一行在 %1 秒内未送完，连接已关闭。")
                                    .arg(limits_.partialLineTimeoutMs / 1000.0));
}

QString AutomationConnection::tooLong() const
{
    return QStringLiteral("请求过长（超过 %1 字节），连接已关闭。").arg(limits_.maxLineBytes);
}

void AutomationConnection::handleLine(QByteArrayView line)
{
    AutomationRequest request = parseRequest(std::string_view(line.data(), std::size_t(line.size())));
    switch (request.outcome) {
    case AutomationRequest::Outcome::Blank: return;
    case AutomationRequest::Outcome::Refuse:
        if (request.wantsReply) send(errorReply(request.id, request.code, request.message));
        return;
    case AutomationRequest::Outcome::Invoke: dispatch(std::move(request)); return;
    }
}

void AutomationConnection::dispatch(AutomationRequest&& request)
{
    // The id is kept until the invocation answers; an invocation that is
    // answered before this returns gives back the one it replaced (an
    // invocation carried out inside another's event loop).
    JsonValue outerId = std::exchange(answerId_, std::move(request.id));
    const bool outerWanted = std::exchange(answerWanted_, request.wantsReply);
    AutomationCall& call = request.invocation;
    const AutomationDispatcher::Invocation invocation{call.verb, call.target, std::move(call.member),
                                                      toQJsonValue(call.value), std::move(call.args)};
    AutomationDispatcher::HandleAnswer handle;
    dispatcher_.setCaller(reinterpret_cast<std::uintptr_t>(this));
    const AutomationDispatcher::Pending pending = dispatcher_.invoke(invocation, reply_, &handle);
    if (handle.handle >= 0 && answerWanted_) {
        line_.clear();
        appendHandleReply(line_, answerId_, handle.handle, handle.type);
        send(line_);
        // The room of an id that was long goes back.
        if (line_.capacity() > kKeptLineRoom) std::string().swap(line_);
    }
    if (pending.kind == AutomationDispatcher::Pending::Kind::None) {
        answerId_ = std::move(outerId);
        answerWanted_ = outerWanted;
    }
    // What is left pending is never answered before invoke returns: a pick
    // is answered from a later event, a text typed on later turns.
    if (closing_) {
        if (pending.kind == AutomationDispatcher::Pending::Kind::Pick) dispatcher_.session().withdrawPoint(pending.id);
        return;
    }
    waiting_ = pending;
}

void AutomationConnection::answer(const Result<QJsonValue>& result)
{
    if (answerWanted_) sendReply(answerId_, result);
    if (waiting()) onAnswered();
}

void AutomationConnection::onAnswered()
{
    waiting_ = {};
    if (closing_) return;
    flush();
    if (closing_) return;
    if (!hungUp_) reader_->setEnabled(true);
    // Carry on with queued requests from the event loop, not from inside
    // whoever answered.
    QMetaObject::invokeMethod(this, [this] {
        if (closing_) return;
        processBuffer();
        if (closing_) return;
        if (hungUp_)
            hangUp();
        else
            onReadable();
    }, Qt::QueuedConnection);
}

void AutomationConnection::sendReply(const JsonValue& id, const Result<QJsonValue>& result)
{
    if (result.ok())
        send(resultReply(id, result.value()));
    else
        send(errorReply(id, result.error().number, result.error().description));
}

void AutomationConnection::send(std::string_view bytes)
{
    if (closing_) return;
    unsent_.append(bytes.data(), qsizetype(bytes.size()));
    if (!batching_ || unsent_.size() - sentAt_ >= kWriteChunk) flush();
    if (closing_) return;
    if (unsent_.size() - sentAt_ > limits_.maxUnsentBytes) {
        qCWarning(lcAutomation).noquote()
            << QStringLiteral("客户端未读取回复（积压超过 %1 字节），连接已断开。").arg(limits_.maxUnsentBytes);
        onDisconnected();
        return;
    }
    account();
}

void AutomationConnection::account()
{
    const qint64 now = unsent_.capacity();
    const qint64 delta = now - held_;
    held_ = now;
    if (delta != 0) budget_.change(delta);
}

void AutomationConnection::dropOverBudget()
{
    qCWarning(lcAutomation).noquote()
        << QStringLiteral("所有客户端未读取的回复合计 %1 字节，超过 %2 字节：断开积压最多的连接（%3 字节）。")
               .arg(budget_.total())
               .arg(budget_.limit())
               .arg(held_);
    onDisconnected();
}

void UnsentBudget::leave(AutomationConnection* connection)
{
    members_.erase(std::remove(members_.begin(), members_.end(), connection), members_.end());
}

void UnsentBudget::change(qint64 delta)
{
    total_ += delta;
    // A cut gives its holding back through here: the loop below goes on
    // from the new total.
    if (cutting_ || total_ <= limit_) return;
    cutting_ = true;
    while (total_ > limit_ && !members_.empty()) {
        AutomationConnection* most = *std::max_element(
            members_.begin(), members_.end(),
            [](const AutomationConnection* a, const AutomationConnection* b) { return a->held() < b->held(); });
        if (most->held() == 0) break;
        most->dropOverBudget();
    }
    cutting_ = false;
}

void AutomationConnection::flush()
{
    // While the writer is enabled the kernel is full: it says when not.
    if (fd_ < 0 || unsent_.size() == sentAt_ || writer_->isEnabled()) return;
    const qsizetype pending = unsent_.size() - sentAt_;
    ssize_t n;
    do {
        n = ::send(fd_, unsent_.constData() + sentAt_, size_t(pending), MSG_NOSIGNAL | MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
        onDisconnected();  // the client is gone
        return;
    }
    if (n == pending) {
        // Room for a batch of usual replies is kept for the next ones (and
        // stays counted in the budget); a larger one goes back.
        if (unsent_.capacity() <= kKeptUnsentRoom)
            unsent_.resize(0);
        else
            unsent_.clear();
        sentAt_ = 0;
        account();
        answeredAt_ = std::chrono::steady_clock::now();
        return;
    }
    // What the kernel did not take waits for the socket to drain; the sent
    // part is dropped once it is half the buffer, so a slow reader costs
    // linear time.
    sentAt_ += std::max<ssize_t>(n, 0);
    if (sentAt_ > unsent_.size() / 2) {
        unsent_.remove(0, sentAt_);
        sentAt_ = 0;
        account();
    }
    writer_->setEnabled(true);
}

void AutomationConnection::closeWithError(std::int32_t code, const QString& message)
{
    send(errorReply(JsonValue::null(), code, message.toStdString()));
    // Hand the kernel what it takes now, then close at once: waiting until a
    // client that is itself blocked writing reads earlier replies would hold
    // the connection for as long as it cares to block.
    batching_ = false;
    flush();
    onDisconnected();
}

void AutomationConnection::start()
{
    // Data or a hang-up may have arrived before the notifiers were set up.
    QMetaObject::invokeMethod(this, &AutomationConnection::onReadable, Qt::QueuedConnection);
}

void AutomationConnection::stopReading()
{
    // Disabled at once (the descriptor is closed right after); deleted later,
    // as one of them may be the sender of the signal being handled.
    for (QSocketNotifier* notifier : {reader_, writer_}) {
        notifier->setEnabled(false);
        notifier->deleteLater();
    }
    ::close(fd_);
    fd_ = -1;
}

void AutomationConnection::onDisconnected()
{
    if (finished_) return;
    finished_ = true;
    closing_ = true;
    partialTimer_.stop();
    buffer_.clear();
    consumed_ = 0;
    unsent_.clear();
    sentAt_ = 0;
    account();
    budget_.leave(this);
    stopReading();
    // A text being typed goes on being typed; its answer has nowhere to go.
    const AutomationDispatcher::Pending pending = waiting_;
    waiting_ = {};
    if (pending.kind == AutomationDispatcher::Pending::Kind::Pick) dispatcher_.session().withdrawPoint(pending.id);
    // Undo marks it left open are closed: what it made stays one step.
    dispatcher_.callerGone(reinterpret_cast<std::uintptr_t>(this));
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
        refusing_ = false;
        auto* connection = new AutomationConnection(fd, dispatcher_, limits_, budget_, this);
        ++connections_;
        connect(connection, &AutomationConnection::finished, this, [this] { --connections_; });
        connection->start();
    }
}

}  // namespace tessik::cadhost
