#pragma once
// The automation server: JSON-RPC 2.0 over a local socket, one JSON object
// per line (UTF-8).
//
//   {"jsonrpc":"2.0","id":1,"method":"get","params":{"target":0,"member":"Caption"}}
//   {"jsonrpc":"2.0","id":2,"method":"set","params":{"target":0,"member":"Visible","value":true}}
//   {"jsonrpc":"2.0","id":3,"method":"call","params":{"target":5,"member":"AddLine","args":[[0,0,0],[1,0,0]]}}
//
// Each client's requests are answered strictly in order, so a client may send
// many without waiting (pipelining) and match replies by id. While one of its
// requests waits for a pick, or for a long SendCommand text to be typed (a
// slice per turn of the event loop, see CommandTypist), that client's later
// requests wait behind it; other clients are served meanwhile. A client that
// goes away withdraws its pending pick; a text being typed is typed to its
// end, and a client that only stopped sending (end of file) still gets the
// requests it sent before carried out and answered.
//
// A line longer than the limit, or a line not complete within the line time
// limit from its first byte, gets an error reply and the connection is
// closed; the drawing is never touched by a request that could not be read.
//
// Memory is bounded whatever clients do: replies a client does not read pile
// up only to maxUnsentBytes (past that it is disconnected, with a line in the
// log), those of all clients together only to maxUnsentTotalBytes (past that
// the client holding most is disconnected, with a line in the log), requests
// queued behind a pick or a SendCommand are read from the socket only to
// maxLineBytes (the client then waits on its own socket), and the SendCommand
// text waiting to be typed is bounded by CommandTypist.
//
// The server accepts connections itself rather than through QLocalServer,
// which stops listening and deletes its socket file when one accept() fails.
// Here a failed accept() (out of descriptors) refuses that one connection
// and the server carries on; connections past maxConnections are refused
// with an error line, leaving descriptors for files.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include "automation/AutomationDispatcher.h"
#include "automation/JsonValue.h"
#include "Error.h"

class QByteArrayView;
class QSocketNotifier;

namespace tessik::cadhost {

struct AutomationRequest;

struct ServerLimits {
    qsizetype maxLineBytes = 1 << 20;  // 1 MiB
    int partialLineTimeoutMs = 5000;  // from a line's first byte to its end
    qint64 maxUnsentBytes = qint64(32) << 20;  // replies a client has not read
    qint64 maxUnsentTotalBytes = qint64(64) << 20;  // memory held for unread replies, all clients
    int maxConnections = 4096;  // lowered at listen() to what descriptors allow
};

class AutomationConnection;

// The memory all connections hold for replies not yet read, against one limit:
// past it the connection holding most is cut, until the rest fit.
class UnsentBudget {
public:
    explicit UnsentBudget(qint64 limit) : limit_(limit) {}
    void join(AutomationConnection* connection) { members_.push_back(connection); }
    void leave(AutomationConnection* connection);
    // One member's holding changed by delta.
    void change(qint64 delta);
    qint64 limit() const { return limit_; }
    qint64 total() const { return total_; }

private:
    qint64 limit_;
    qint64 total_ = 0;
    bool cutting_ = false;
    std::vector<AutomationConnection*> members_;
};

// One client, on a non-blocking socket descriptor it owns. Each wake-up reads
// what the kernel holds in one peek (see readSome) and answers every complete line;
// replies go straight to the socket in one write per batch, and only what the
// kernel refuses is kept, to go out when the socket is writable again.
class AutomationConnection : public QObject {
    Q_OBJECT
public:
    AutomationConnection(int fd, AutomationDispatcher& dispatcher, ServerLimits limits, UnsentBudget& budget,
                         QObject* parent);
    ~AutomationConnection() override;

    // Takes up whatever arrived before the connection was set up.
    void start();

    // The memory held for replies the client has not read, as counted in
    // the budget.
    qint64 held() const { return held_; }
    // Cut by the budget: logs why and disconnects.
    void dropOverBudget();

signals:
    void finished();

private:
    void onReadable();
    // A client that waits for each answer sends its next request within
    // microseconds of reading one: looking for it a little while (to
    // sliceEnd at most), first spinning, then asleep on this socket alone,
    // before going back to the event loop saves the loop's pass and the
    // wake-ups around it, which cost more than answering. When a request (or
    // a hang-up) came, it is read (readSome) and what that returned is
    // returned; nothing when none came. Each look in vain counts, a request
    // found clears the count, and a few in a row stop the looking until a
    // request again follows its answer closely.
    std::optional<bool> awaitNextRequest(std::chrono::steady_clock::time_point sliceEnd);
    bool lookAheadWorthwhile() const;
    // Reads once; false when the client hung up or the read failed. The
    // bytes are only peeked at: they stay in the kernel until dropPeeked(),
    // called once their replies are written. Taking a request out of the
    // socket frees the client's send buffer, which wakes a client already
    // asleep on its reply for nothing: done after the reply, that wake-up
    // is the reply's own. Where peeks can start past what was peeked at
    // before (peekOffset_), the requests of a client that waits for each
    // answer are taken out in bunches while looking ahead (a client on the
    // same core is asleep again before this thread runs on after its
    // reply), and always before polling or going back to the event loop.
    bool readSome();
    void dropPeeked();
    void processBuffer();
    // The line time limit ran out: what the kernel holds is read first.
    void onLineTimeout();
    void handleLine(QByteArrayView line);
    void dispatch(AutomationRequest&& request);
    // reply_: the answer of the invocation being carried out.
    void answer(const Result<QJsonValue>& result);
    void onAnswered();
    bool waiting() const { return waiting_.kind != AutomationDispatcher::Pending::Kind::None; }
    // The client sent its end of file: closes once nothing it sent is
    // being carried out.
    void hangUp();
    void sendReply(const JsonValue& id, const Result<QJsonValue>& result);
    // Queues one reply line, written out at the end of the batch or at once
    // outside one; past maxUnsentBytes unread, drops the client.
    void send(std::string_view bytes);
    void flush();
    // Brings the budget up to the memory unsent_ holds; may cut any connection,
    // this one included.
    void account();
    void closeWithError(std::int32_t code, const QString& message);
    QString tooLong() const;
    void stopReading();
    void onDisconnected();

    int fd_;
    QSocketNotifier* reader_;
    QSocketNotifier* writer_;  // enabled only while the kernel refuses replies
    AutomationDispatcher& dispatcher_;
    ServerLimits limits_;
    UnsentBudget& budget_;
    QByteArray buffer_;
    qsizetype consumed_ = 0;
    qsizetype peeked_ = 0;  // bytes read (at the end of buffer_ or answered) still in the kernel
    bool peekOffset_ = false;
    QByteArray unsent_;
    qsizetype sentAt_ = 0;  // unsent_ before this went out already
    qint64 held_ = 0;  // unsent_'s capacity (the memory it holds) as last counted in budget_
    AutomationDispatcher::Pending waiting_;  // what this client's queue waits for, if anything
    // The invocation being answered: its id and whether it wants a reply.
    // One at a time, as the queue waits for each; reply_ answers it, built
    // once (rather than a closure per call), and copies of reply_ a member
    // keeps answer nothing once the connection is gone.
    JsonValue answerId_;
    bool answerWanted_ = false;
    AutomationDispatcher::Reply reply_;
    std::string line_;  // the reply line being written, its room kept between calls
    bool batching_ = false;  // inside processBuffer: replies wait for one write
    bool hungUp_ = false;  // the client's end of file was read
    bool lineStarted_ = false;  // buffer_ holds the start of a line, partialTimer_ runs from its first byte
    bool closing_ = false;
    bool finished_ = false;
    std::optional<std::chrono::steady_clock::time_point> answeredAt_;  // the last reply went out in full
    int lookAheadMisses_ = 0;
    QTimer partialTimer_;
};

class AutomationServer : public QObject {
    Q_OBJECT
public:
    AutomationServer(CadSession& session, QObject* parent = nullptr);
    ~AutomationServer() override;

    // Listens on the socket at path (owner-only access). A file left there
    // must have been cleared by the caller (see InstanceLock). Raises the
    // soft limit on open descriptors to the hard one.
    Status listen(const QString& path);
    QString path() const { return path_; }

private:
    void onNewConnection();
    void refuse(int fd, const char* why);
    void close();

    AutomationDispatcher dispatcher_;
    ServerLimits limits_;
    UnsentBudget budget_{limits_.maxUnsentTotalBytes};
    QString path_;
    int listenFd_ = -1;
    int spareFd_ = -1;  // given up for a moment to accept and refuse when out of descriptors
    QSocketNotifier* notifier_ = nullptr;
    QTimer retryTimer_;
    bool refusing_ = false;  // logs once per run of refused connections
    int connections_ = 0;
};

}  // namespace tessik::cadhost
