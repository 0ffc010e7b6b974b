#include "TessikCadClient.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QEventLoop>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QGuiApplication>
#include <QProcess>
#include <QWindow>
#include <QStandardPaths>
#include <QTimer>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <csignal>
#include <deque>
#include <optional>
#include <vector>

#include "AutomationMembers.h"
#include "CadErrors.h"
#include "CadRpcChannel.h"
#include "CadSocketPath.h"
#include "DetachedStdio.h"
#include "InputBlocker.h"
#include "WaitCursor.h"

namespace tessik {

namespace {

// While tessik-cad starts, how often it is asked whether it answers yet.
constexpr int kLaunchPollMs = 100;

using Id = CadRpcChannel::Id;
namespace member = protocol::member;

constexpr std::int32_t kUnknownMember = -2147352570;

struct Remote;

// The connection with what it has learnt about tessik-cad's answers: for each
// (object, member) lookup, the handle last answered and whether the same
// handle came twice in a row (then the next lookup may be guessed).
struct Link {
    std::shared_ptr<CadRpcChannel> channel;
    struct Answer {
        qint64 handle = 0;
        bool repeated = false;
    };
    QHash<QPair<qint64, QString>, Answer> answers;
    // Lookups sent on a guess or without waiting, oldest first: their answers
    // are taken in as they arrive, so a changed answer stops the guessing.
    std::deque<std::weak_ptr<Remote>> unanswered;

    void observe(qint64 on, const QString& member, qint64 handle)
    {
        Answer& a = answers[{on, member}];
        a.repeated = a.handle == handle;
        a.handle = handle;
    }
    std::optional<qint64> guess(qint64 on, const QString& member) const
    {
        auto it = answers.find({on, member});
        if (it == answers.end() || !it->repeated) return std::nullopt;
        return it->handle;
    }
};

// One object on tessik-cad's side, known by its handle once the request that
// produced it has been answered.
struct Remote {
    std::shared_ptr<Remote> parent;  // the object it was read from or made in
    Id request = 0;                  // 0: the handle was known from the start
    qint64 askedOn = 0;              // the handle the request was addressed to
    QString member;                  // lower case
    std::optional<qint64> handle;
    std::optional<qint64> guessed;   // handle calls were addressed to before the answer
    std::optional<Status> outcome;
    std::vector<Id> writes;          // unread calls made on it
};

Error typeMismatch(const QString& member)
{
    return Error{errc::kTypeMismatch, "类型不匹配", member.toStdString()};
}

Status resolve(Link& link, Remote& r)
{
    if (r.outcome) return *r.outcome;
    if (r.request == 0) return *(r.outcome = success());
    Result<QJsonValue> reply = link.channel->wait(r.request);
    if (!reply) return *(r.outcome = Status(reply.error()));
    const QJsonValue h = reply->toObject().value(QLatin1String("handle"));
    if (!h.isDouble()) return *(r.outcome = Status(typeMismatch(r.member)));
    r.handle = qint64(h.toDouble());
    link.observe(r.askedOn, r.member, *r.handle);
    if (r.guessed && *r.guessed != *r.handle) return *(r.outcome = Status(caderr::objectChanged(r.member.toStdString())));
    return *(r.outcome = success());
}

// The first failure along the chain that produced `r`, then on `r` itself.
Status settleRemote(Link& link, Remote& r)
{
    if (r.parent) {
        Status p = settleRemote(link, *r.parent);
        if (!p) return p;
    }
    Status s = resolve(link, r);
    if (!s) return s;
    for (Id w : r.writes) {
        Result<QJsonValue> reply = link.channel->wait(w);
        if (!reply && r.outcome->ok()) r.outcome = Status(reply.error());
    }
    r.writes.clear();
    return *r.outcome;
}

void takeArrivedAnswers(Link& link)
{
    while (!link.unanswered.empty()) {
        std::shared_ptr<Remote> r = link.unanswered.front().lock();
        if (r && !r->outcome) {
            if (!link.channel->hasReply(r->request)) return;
            (void)resolve(link, *r);  // its outcome stays with it for settle()
        }
        link.unanswered.pop_front();
    }
}

// The handle to address a call on `r` to: known, answered by now, guessed
// from earlier answers, or waited for.
Result<qint64> targetOf(Link& link, Remote& r)
{
    if (r.outcome && !r.outcome->ok()) return r.outcome->error();
    if (r.handle) return *r.handle;
    if (r.guessed) return *r.guessed;
    if (!link.channel->hasReply(r.request)) {
        takeArrivedAnswers(link);
        if (auto g = link.guess(r.askedOn, r.member)) {
            r.guessed = g;
            return *g;
        }
    }
    Status s = resolve(link, r);
    if (!s) return s.error();
    return *r.handle;
}

Result<QByteArray> point(const CadPoint& p, const char* member)
{
    for (double v : p)
        if (!std::isfinite(v)) return caderr::invalidArgument(member);
    return '[' + jsonNumber(p[0]) + ',' + jsonNumber(p[1]) + ',' + jsonNumber(p[2]) + ']';
}

Result<QByteArray> number(double v, const char* member)
{
    if (!std::isfinite(v)) return caderr::invalidArgument(member);
    return jsonNumber(v);
}

class RemoteObject {
public:
    RemoteObject(std::shared_ptr<Link> link, std::shared_ptr<Remote> self)
        : link_(std::move(link)), self_(std::move(self))
    {
    }

protected:
    Status settleSelf() { return settleRemote(*link_, *self_); }

    Result<std::shared_ptr<Remote>> request(const char* method, const char* member, const QByteArray& params = {})
    {
        Result<qint64> target = targetOf(*link_, *self_);
        if (!target) return target.error();
        Result<Id> id = link_->channel->send(method, *target, QString::fromLatin1(member), params);
        if (!id) return id.error();
        auto r = std::make_shared<Remote>();
        r->parent = self_;
        r->request = *id;
        r->askedOn = *target;
        r->member = protocol::memberKey(member);
        if (std::strcmp(method, "get") == 0) link_->unanswered.push_back(r);
        return r;
    }

    // A value read: waits for the answer.
    // Without timeoutMs the channel's own limit applies.
    Result<QJsonValue> read(const char* member, const QByteArray& params = {}, const char* method = "get",
                            std::optional<int> timeoutMs = std::nullopt)
    {
        Result<qint64> target = targetOf(*link_, *self_);
        if (!target) return target.error();
        Result<Id> id = link_->channel->send(method, *target, QString::fromLatin1(member), params);
        if (!id) return id.error();
        return timeoutMs ? link_->channel->wait(*id, *timeoutMs) : link_->channel->wait(*id);
    }

    // An unread call on this object: sent now, answered at settle().
    Status write(const char* method, const char* member, const QByteArray& params)
    {
        Result<qint64> target = targetOf(*link_, *self_);
        if (!target) return target.error();
        Result<Id> id = link_->channel->send(method, *target, QString::fromLatin1(member), params);
        if (!id) return id.error();
        self_->writes.push_back(*id);
        return success();
    }

    // An entity's Layer, unread.
    Status writeLayer(const std::string& name)
    {
        return write("set", member::kLayer, "\"value\":" + jsonString(QString::fromStdString(name)));
    }

    template <class Proxy, class Interface>
    Result<std::shared_ptr<Interface>> object(Result<std::shared_ptr<Remote>> r)
    {
        if (!r) return r.error();
        return std::shared_ptr<Interface>(std::make_shared<Proxy>(link_, std::move(r).value()));
    }

    std::shared_ptr<Link> link_;
    std::shared_ptr<Remote> self_;
};

#define TESSIK_REMOTE_SETTLE \
    using RemoteObject::RemoteObject; \
    Status settle() override { return settleSelf(); }

#define TESSIK_REMOTE_LAYER \
    Status setLayer(const std::string& name) override { return writeLayer(name); }

class RemoteEntity : public CadEntity, RemoteObject {
public:
    TESSIK_REMOTE_SETTLE
    TESSIK_REMOTE_LAYER
};

class RemoteLayer : public CadLayer, RemoteObject {
public:
    TESSIK_REMOTE_SETTLE
    Status setcolor(int colorIndex) override { return write("set", member::kColor, "\"value\":" + QByteArray::number(colorIndex)); }
};

class RemoteLayers : public CadLayers, RemoteObject {
public:
    TESSIK_REMOTE_SETTLE
    Result<std::shared_ptr<CadLayer>> Add(const std::string& name) override
    {
        return object<RemoteLayer, CadLayer>(
            request("call", member::kAdd, "\"args\":[" + jsonString(QString::fromStdString(name)) + ']'));
    }
};

class RemoteEllipse : public CadEllipse, RemoteObject {
public:
    TESSIK_REMOTE_SETTLE
    TESSIK_REMOTE_LAYER
    Status setStartAngle(double a) override { return angle(member::kStartAngle, a); }
    Status setEndAngle(double a) override { return angle(member::kEndAngle, a); }

private:
    Status angle(const char* member, double a)
    {
        Result<QByteArray> v = number(a, member);
        if (!v) return v.error();
        return write("set", member, "\"value\":" + *v);
    }
};

class RemoteLWPolyline : public CadLWPolyline, RemoteObject {
public:
    TESSIK_REMOTE_SETTLE
    TESSIK_REMOTE_LAYER
    Status setClosed(bool closed) override
    {
        return write("set", member::kClosed, closed ? QByteArray("\"value\":true") : QByteArray("\"value\":false"));
    }
};

class RemoteModelSpace : public CadModelSpace, RemoteObject {
public:
    TESSIK_REMOTE_SETTLE

    Result<std::shared_ptr<CadEntity>> addline(const CadPoint& start, const CadPoint& end) override
    {
        Result<QByteArray> a = point(start, member::kAddLine), b = point(end, member::kAddLine);
        if (!a) return a.error();
        if (!b) return b.error();
        return object<RemoteEntity, CadEntity>(request("call", member::kAddLine, "\"args\":[" + *a + ',' + *b + ']'));
    }

    Result<std::shared_ptr<CadEntity>> addarc(const CadPoint& center, double radius, double startAngle,
                                              double endAngle) override
    {
        Result<QByteArray> c = point(center, member::kAddArc), r = number(radius, member::kAddArc),
                           s = number(startAngle, member::kAddArc), e = number(endAngle, member::kAddArc);
        for (auto* x : {&c, &r, &s, &e})
            if (!*x) return x->error();
        return object<RemoteEntity, CadEntity>(
            request("call", member::kAddArc, "\"args\":[" + *c + ',' + *r + ',' + *s + ',' + *e + ']'));
    }

    Result<std::shared_ptr<CadEllipse>> AddEllipse(const CadPoint& center, const CadPoint& majorAxis,
                                                   double ratio) override
    {
        Result<QByteArray> c = point(center, member::kAddEllipse), m = point(majorAxis, member::kAddEllipse),
                           q = number(ratio, member::kAddEllipse);
        for (auto* x : {&c, &m, &q})
            if (!*x) return x->error();
        return object<RemoteEllipse, CadEllipse>(
            request("call", member::kAddEllipse, "\"args\":[" + *c + ',' + *m + ',' + *q + ']'));
    }

    Result<std::shared_ptr<CadLWPolyline>> AddLightWeightPolyline(const std::vector<double>& vertices) override
    {
        QByteArray list = "[";
        for (std::size_t i = 0; i < vertices.size(); ++i) {
            Result<QByteArray> v = number(vertices[i], member::kAddLightWeightPolyline);
            if (!v) return v.error();
            list += (i ? "," : "") + *v;
        }
        return object<RemoteLWPolyline, CadLWPolyline>(
            request("call", member::kAddLightWeightPolyline, "\"args\":[" + list + "]]"));
    }

    Result<std::shared_ptr<CadEntity>> AddText(const std::string& text, const CadPoint& insertionPoint,
                                               double height) override
    {
        Result<QByteArray> p = point(insertionPoint, member::kAddText), h = number(height, member::kAddText);
        if (!p) return p.error();
        if (!h) return h.error();
        return object<RemoteEntity, CadEntity>(
            request("call", member::kAddText, "\"args\":[" + jsonString(QString::fromStdString(text)) + ',' + *p + ',' + *h + ']'));
    }
};

class RemotePaperSpace : public CadPaperSpace, RemoteObject {
public:
    TESSIK_REMOTE_SETTLE
};

class RemoteUtility : public CadUtility, RemoteObject {
public:
    TESSIK_REMOTE_SETTLE

    Result<CadPoint> getpoint(const std::string& prompt) override
    {
        // The user takes as long as they like: no deadline, but a closed
        // connection still ends the wait.
        const WaitCursor waiting;
        Result<QJsonValue> r = read(member::kGetPoint, "\"args\":[null," + jsonString(QString::fromStdString(prompt)) + ']', "call", -1);
        if (!r) return r.error();
        const QJsonArray a = r->toArray();
        if (a.size() != 3) return typeMismatch(QString::fromLatin1(member::kGetPoint));
        CadPoint p{};
        for (int i = 0; i < 3; ++i) {
            if (!a[i].isDouble()) return typeMismatch(QString::fromLatin1(member::kGetPoint));
            p[std::size_t(i)] = a[i].toDouble();
        }
        return p;
    }
};

class RemoteDocument : public CadDocument, RemoteObject {
public:
    TESSIK_REMOTE_SETTLE
    Result<std::shared_ptr<CadModelSpace>> ModelSpace() override
    {
        return object<RemoteModelSpace, CadModelSpace>(request("get", member::kModelSpace));
    }
    Result<std::shared_ptr<CadPaperSpace>> paperspace() override
    {
        return object<RemotePaperSpace, CadPaperSpace>(request("get", member::kPaperSpace));
    }
    Result<std::shared_ptr<CadUtility>> utility() override
    {
        return object<RemoteUtility, CadUtility>(request("get", member::kUtility));
    }
    Status StartUndoMark() override { return mark(member::kStartUndoMark); }
    Status EndUndoMark() override { return mark(member::kEndUndoMark); }
    Result<std::shared_ptr<CadLayers>> Layers() override
    {
        return object<RemoteLayers, CadLayers>(request("get", member::kLayers));
    }

private:
    // Waited for, so a mark is in place before what follows it is sent.
    Status mark(const char* member)
    {
        Result<QJsonValue> r = read(member, "\"args\":[]", "call");
        if (!r) return r.error();
        return success();
    }
};

class RemoteApplication : public CadApplication, RemoteObject {
public:
    TESSIK_REMOTE_SETTLE

    Status setVisible(bool visible) override
    {
        Result<QJsonValue> r = read(member::kVisible, visible ? "\"value\":true" : "\"value\":false", "set");
        if (!r) return r.error();
        return success();
    }
    Result<std::string> Caption() override
    {
        Result<QJsonValue> r = read(member::kCaption);
        if (!r) return r.error();
        if (!r->isString()) return typeMismatch(QString::fromLatin1(member::kCaption));
        return r->toString().toStdString();
    }
    Result<std::shared_ptr<CadDocument>> activedocument() override
    {
        return object<RemoteDocument, CadDocument>(request("get", member::kActiveDocument));
    }
    // An Activate member where the server has one; otherwise showing the
    // window is the most it can be asked for.
    Status bringToFront() override
    {
        Result<QJsonValue> r = read(member::kActivate, "\"args\":[]", "call");
        if (r || r.error().number != kUnknownMember) return r ? success() : Status(r.error());
        return setVisible(true);
    }
};

// Gone, or a zombie nobody reaps (a detached child belongs to init, which in
// a container may never reap it).
bool processGone(qint64 pid)
{
    if (pid <= 0) return false;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) return ::kill(pid_t(pid), 0) != 0 && errno == ESRCH;
    const QByteArray line = stat.readAll();
    const qsizetype close = line.lastIndexOf(')');
    return close < 0 || line.mid(close + 2, 1) == "Z";
}

// tessik-cad answers to the one program id, in any case.
Status knownProgramId(const std::string& programId)
{
    const QString id = QString::fromStdString(programId);
    if (id.compare(QLatin1String("autocad.application"), Qt::CaseInsensitive) == 0) return success();
    return caderr::cannotCreateObject(QStringLiteral("未知的程序标识 %1").arg(id).toStdString());
}

}  // namespace

TessikCadAutomation::TessikCadAutomation(QString socketPath, QStringList programDirs, int launchTimeoutMs,
                                         int replyTimeoutMs)
    : socketPath_(std::move(socketPath)),
      programDirs_(std::move(programDirs)),
      launchTimeoutMs_(launchTimeoutMs),
      replyTimeoutMs_(replyTimeoutMs)
{
}

QString TessikCadAutomation::socketPath() const
{
    return socketPath_.isEmpty() ? tessikCadSocketPath() : socketPath_;
}

Result<std::shared_ptr<CadApplication>> TessikCadAutomation::getRunningInstance(const std::string& programId)
{
    if (Status known = knownProgramId(programId); !known) return known.error();
    Result<std::shared_ptr<CadRpcChannel>> channel = CadRpcChannel::open(socketPath(), replyTimeoutMs_);
    if (!channel) return channel.error();
    auto link = std::make_shared<Link>();
    link->channel = std::move(channel).value();
    auto app = std::make_shared<Remote>();
    app->handle = 0;  // target 0 is the application
    app->outcome = success();
    return std::shared_ptr<CadApplication>(std::make_shared<RemoteApplication>(link, app));
}

QString TessikCadAutomation::findProgram() const
{
    const QStringList dirs = programDirs_.isEmpty() && QCoreApplication::instance()
                                 ? QStringList{QCoreApplication::applicationDirPath()}
                                 : programDirs_;
    for (const QString& dir : dirs) {
        const QFileInfo candidate(QDir(dir).filePath(QStringLiteral("tessik-cad")));
        if (candidate.isFile() && candidate.isExecutable()) return candidate.absoluteFilePath();
    }
    return QStandardPaths::findExecutable(QStringLiteral("tessik-cad"));
}

namespace {

// The window that asked for tessik-cad: the focused one, else the first shown.
const QWindow* launchingWindow()
{
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return nullptr;  // no windows at all
    if (const QWindow* focus = QGuiApplication::focusWindow()) return focus;
    for (const QWindow* w : QGuiApplication::topLevelWindows())
        if (w->isVisible()) return w;
    return nullptr;
}

}  // namespace

Result<std::shared_ptr<CadApplication>> TessikCadAutomation::createInstance(const std::string& programId)
{
    if (Status known = knownProgramId(programId); !known) return known.error();
    const QString program = findProgram();
    if (program.isEmpty())
        return caderr::launchFailed(
            "找不到 tessik-cad 程序（已在本程序所在目录和 PATH 中查找），请先安装 tessik-cad");

    QProcess process;
    process.setProgram(program);
    process.setArguments({QStringLiteral("--automation")});
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TESSIK_CAD_SOCKET"), socketPath());
    // tessik-cad opens beside the window the user works in, not over it.
    if (const QWindow* main = launchingWindow()) {
        const QRect r = main->frameGeometry();
        env.insert(QStringLiteral("TESSIK_CAD_BESIDE"),
                   QStringLiteral("%1,%2,%3,%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height()));
    }
    process.setProcessEnvironment(env);
    // tessik-cad keeps running after this program quits.
    keepPipesFromDetached(process);
    qint64 pid = 0;
    if (!process.startDetached(&pid))
        return caderr::launchFailed(QStringLiteral("无法运行 %1：%2").arg(program, process.errorString()).toStdString());

    // Poll until it answers; the main window keeps painting meanwhile.
    InputBlocker block;
    QElapsedTimer clock;
    clock.start();
    Error last = caderr::launchFailed("tessik-cad 没有应答");
    while (clock.elapsed() < launchTimeoutMs_) {
        Result<std::shared_ptr<CadApplication>> app = getRunningInstance(programId);
        if (app) {
            Result<std::string> caption = app.value()->Caption();  // it answers: it is up
            if (caption) return app;
            last = caption.error();
        }
        if (processGone(pid))
            return caderr::launchFailed(QStringLiteral("%1 启动后随即退出").arg(program).toStdString());
        QEventLoop pause;
        QTimer::singleShot(kLaunchPollMs, &pause, &QEventLoop::quit);
        pause.exec(QEventLoop::AllEvents);
    }
    return caderr::launchFailed(
        QStringLiteral("%1 在 %2 秒内没有应答").arg(program).arg(launchTimeoutMs_ / 1000).toStdString());
}

}  // namespace tessik
