#pragma once
// A small stand-in for tessik-cad's socket, scripted by the test: it answers
// the members the tool uses with a tiny model (document 1, model space 2,
// utility 3, paper space 4, new entities from 100 up) and lets a test hold
// replies back, fail chosen calls, switch the active document or hang up.

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <optional>

namespace tessik {

class ScriptedCadServer : public QObject {
public:
    ScriptedCadServer()
    {
        path = dir.filePath("cad.sock");
        server.listen(path);
        QObject::connect(&server, &QLocalServer::newConnection, this, [this] {
            while (QLocalSocket* s = server.nextPendingConnection()) {
                client = s;
                QObject::connect(s, &QLocalSocket::readyRead, this, [this, s] { serve(s); });
            }
        });
    }

    QTemporaryDir dir;
    QString path;
    QLocalServer server;
    QLocalSocket* client = nullptr;

    // Script
    qint64 document = 1, modelSpace = 2;
    int holdRepliesFrom = -1;   // requests from this index (0-based) on are answered ...
    int releaseAt = -1;         // ... only once this many requests have arrived
    std::function<std::optional<QJsonObject>(const QJsonObject& request, int index)> override;
    std::function<void(int index)> afterRequest;
    int pickDelayMs = 0;
    QJsonValue pickAnswer = QJsonArray{1.5, -2.5, 0};

    // Record
    QList<QJsonObject> requests;
    int repliesSent = 0;
    QList<int> repliesSentWhenReceived;

    static QJsonObject error(qint64 id, int code, const QString& message)
    {
        return {{"jsonrpc", "2.0"}, {"id", id}, {"error", QJsonObject{{"code", code}, {"message", message}}}};
    }
    static QJsonObject result(qint64 id, const QJsonValue& v) { return {{"jsonrpc", "2.0"}, {"id", id}, {"result", v}}; }
    static QJsonObject handle(qint64 h, const char* type) { return {{"handle", h}, {"type", type}}; }

private:
    QByteArray inbox_;
    QList<QByteArray> held_;

    void serve(QLocalSocket* s)
    {
        inbox_ += s->readAll();
        for (qsizetype nl; (nl = inbox_.indexOf('\n')) >= 0;) {
            const QJsonObject req = QJsonDocument::fromJson(inbox_.left(nl)).object();
            inbox_.remove(0, nl + 1);
            const int index = int(requests.size());
            requests << req;
            repliesSentWhenReceived << repliesSent;
            const QJsonObject reply = answer(req, index);
            const QByteArray line = QJsonDocument(reply).toJson(QJsonDocument::Compact) + '\n';
            if (req["params"].toObject()["member"].toString().toLower() == "getpoint" && pickDelayMs > 0) {
                QTimer::singleShot(pickDelayMs, s, [this, s, line] { send(s, line); });
            } else if (holdRepliesFrom >= 0 && index >= holdRepliesFrom && int(requests.size()) < releaseAt) {
                held_ << line;
            } else {
                for (const QByteArray& h : std::exchange(held_, {})) send(s, h);
                send(s, line);
            }
            if (afterRequest) afterRequest(index);
            if (s->state() != QLocalSocket::ConnectedState) return;
        }
    }

    void send(QLocalSocket* s, const QByteArray& line)
    {
        ++repliesSent;
        s->write(line);
    }

    QJsonObject answer(const QJsonObject& req, int index)
    {
        if (override) {
            if (auto r = override(req, index)) return *r;
        }
        const qint64 id = qint64(req["id"].toDouble());
        const QJsonObject p = req["params"].toObject();
        const QString m = p["member"].toString().toLower();
        const qint64 target = qint64(p["target"].toDouble());
        if (target == 0 && m == "caption") return result(id, "Drawing1 - Tessik CAD");
        if (target == 0 && m == "visible") return result(id, QJsonValue::Null);
        if (target == 0 && m == "activedocument") return result(id, handle(document, "Document"));
        if (target == document && m == "modelspace") return result(id, handle(modelSpace, "ModelSpace"));
        if (target == document && m == "utility") return result(id, handle(3, "Utility"));
        if (target == document && m == "paperspace") return result(id, handle(4, "PaperSpace"));
        if (target == 3 && m == "getpoint") {
            if (pickAnswer.isDouble()) return error(id, int(pickAnswer.toDouble()), "用户取消了输入");
            return result(id, pickAnswer);
        }
        if (target == modelSpace || target == 2) {
            if (m == "addline" || m == "addarc" || m == "addellipse") return result(id, handle(100 + index, "Entity"));
        }
        if (target >= 100 && (m == "startangle" || m == "endangle")) return result(id, QJsonValue::Null);
        return error(id, -2147352570, "未知的名称");
    }
};

}  // namespace tessik
