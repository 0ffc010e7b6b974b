#pragma once
// One JSON-RPC 2.0 connection to tessik-cad: one JSON object per line over a
// local socket. Requests may be sent back to back without waiting (the server
// answers them in order); replies are matched by id and kept until taken.
//
// Waiting for a reply runs a local event loop: windows keep painting, user
// input to our windows is swallowed (so no handler interrupts the waiting
// one), closing a window is refused. Once the connection breaks (the server
// went away, a reply could not be parsed, no answer within the deadline) every
// outstanding and every later request fails; nothing blocks for ever except a
// wait the caller asked to be unlimited (the user's pick), and even that ends
// when the server goes away.

#include <QByteArray>
#include <QHash>
#include <QJsonValue>
#include <QLocalSocket>
#include <QObject>
#include <QString>
#include <memory>

#include "Error.h"

namespace tessik {

class CadRpcChannel : public QObject {
    Q_OBJECT
public:
    using Id = qint64;

    // How long the server may stay silent before the connection counts as
    // broken, unless a wait asks for its own limit.
    static constexpr int kDefaultTimeoutMs = 30000;

    // Connects to the socket at `path`; fails when nobody listens there.
    static Result<std::shared_ptr<CadRpcChannel>> open(const QString& path, int timeoutMs = kDefaultTimeoutMs);
    ~CadRpcChannel() override;

    // `params` is the JSON text of the params members after "target" and
    // "member" (e.g. `"args":[1,2]`), empty for none.
    Result<Id> send(const char* method, qint64 target, const QString& member, const QByteArray& params = {});

    // Waits for the reply to `id` and hands it over (once). timeoutMs < 0: no
    // limit, as long as the connection holds; otherwise the deadline counts
    // from the last sign of life from the server. Without timeoutMs: the
    // channel's own.
    Result<QJsonValue> wait(Id id, int timeoutMs);
    Result<QJsonValue> wait(Id id) { return wait(id, timeoutMs_); }
    // The reply, if it has already arrived (reads what is waiting, never blocks).
    bool hasReply(Id id);

    bool broken() const { return broken_.number != 0; }
    const Error& brokenError() const { return broken_; }

    int timeoutMs() const { return timeoutMs_; }

private:
    CadRpcChannel(QLocalSocket* socket, int timeoutMs);
    void readReplies();
    void breakWith(const Error& error);
    void drainWrites();
    void pump();

    QLocalSocket* socket_;
    QByteArray inbox_;
    QHash<Id, Result<QJsonValue>> replies_;
    Id nextId_ = 1;
    Id lastReplied_ = 0;
    qint64 lifeSigns_ = 0;  // replies received so far, to tell a slow server from a dead one
    Error broken_;
    int timeoutMs_;
};

// JSON text of values the CAD calls take.
QByteArray jsonNumber(double value);
QByteArray jsonString(const QString& text);

}  // namespace tessik
