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
// requests waits for a pick, that client's later requests wait behind it;
// other clients are served meanwhile. A client that goes away withdraws its
// pending pick.
//
// A line longer than the limit, or half a line left hanging longer than the
// idle limit, gets an error reply and the connection is closed; the drawing
// is never touched by a request that could not be read.
//
// Memory per client is bounded whatever it does: replies it does not read
// pile up only to maxUnsentBytes (past that it is disconnected, with a line
// in the log), and requests queued behind a pick are read from the socket
// only to maxLineBytes (the client then waits on its own socket).
//
// The server accepts connections itself rather than through QLocalServer,
// which stops listening and deletes its socket file when one accept() fails.
// Here a failed accept() (out of descriptors) refuses that one connection
// and the server carries on; connections past maxConnections are refused
// with an error line, leaving descriptors for files.

#include <cstdint>

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include "AutomationDispatcher.h"
#include "Error.h"

class QByteArrayView;
class QSocketNotifier;

namespace tessik::cadhost {

struct AutomationRequest;

struct ServerLimits {
    qsizetype maxLineBytes = 1 << 20;  // 1 MiB
    int partialLineTimeoutMs = 5000;
    qint64 maxUnsentBytes = qint64(32) << 20;  // replies a client has not read
    int maxConnections = 4096;  // lowered at listen() to what descriptors allow
};

// One client, on a non-blocking socket descriptor it owns. Each wake-up reads
// what the kernel holds in one read() and answers every complete line;
// replies go straight to the socket in one write per batch, and only what the
// kernel refuses is kept, to go out when the socket is writable again.
class AutomationConnection : public QObject {
    Q_OBJECT
public:
    AutomationConnection(int fd, AutomationDispatcher& dispatcher, ServerLimits limits, QObject* parent);
    ~AutomationConnection() override;

    // Takes up whatever arrived before the connection was set up.
    void start();

signals:
    void finished();

private:
    void onReadable();
    // Reads once; false when the client hung up or the read failed.
    bool readSome();
    void processBuffer();
    void handleLine(QByteArrayView line);
    void dispatch(const AutomationRequest& request);
    void onPickAnswered();
    bool waitingForPick() const;
    void sendReply(const QJsonValue& id, const Result<QJsonValue>& result);
    // Queues one reply line, written out at the end of the batch or at once
    // outside one; past maxUnsentBytes unread, drops the client.
    void send(const QByteArray& bytes);
    void flush();
    void closeWithError(std::int32_t code, const QString& message);
    QString tooLong() const;
    void stopReading();
    void onDisconnected();

    int fd_;
    QSocketNotifier* reader_;
    QSocketNotifier* writer_;  // enabled only while the kernel refuses replies
    AutomationDispatcher& dispatcher_;
    ServerLimits limits_;
    QByteArray buffer_;
    qsizetype consumed_ = 0;
    QByteArray unsent_;
    qsizetype sentAt_ = 0;  // unsent_ before this went out already
    std::uint64_t waitingPick_ = 0;  // the pick this client's queue waits for, if any
    bool batching_ = false;  // inside processBuffer: replies wait for one write
    bool closing_ = false;
    bool finished_ = false;
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
    QString path_;
    int listenFd_ = -1;
    int spareFd_ = -1;  // given up for a moment to accept and refuse when out of descriptors
    QSocketNotifier* notifier_ = nullptr;
    QTimer retryTimer_;
    bool refusing_ = false;  // logs once per run of refused connections
    int connections_ = 0;
};

}  // namespace tessik::cadhost
