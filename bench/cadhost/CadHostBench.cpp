// Run: QT_QPA_PLATFORM=offscreen build/bench/cadhost/cadhost_bench
// or, with real windows: xvfb-run -a env QT_QPA_PLATFORM=xcb build/bench/cadhost/cadhost_bench
//
// Floor_BlockingEcho, WaitedAddLine and Burst90k compare, in one run and with
// messages of the same size, a real tessik-cad against a bare blocking echo
// process (the floor).
//
// On a virtual machine a waited round trip between two otherwise idle cores
// can cost the wake-up of a halted core (about 70 us seen, for the floor as
// much as for tessik-cad), which then hides the request path altogether.
// `taskset -c 0` before the command keeps client and servers on one core, so
// that the figures compare the request paths; WaitedRatiosPinned fixes the
// placement itself, one core and two, in one run.
//
// Run the drawing benchmarks (RepaintWith100kEntities, RasterizeBands100k)
// without taskset: a large drawing is rasterized on every core.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>

#include <sched.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <random>
#include <cmath>
#include <string>
#include <vector>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QLocalSocket>
#include <QMouseEvent>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QWheelEvent>

#include "CadHostProcess.h"
#include "model/CadSession.h"
#include "render/DrawingPainter.h"
#include "ui/DrawingView.h"
#include "model/DxfFile.h"

using namespace tessik::cadhost;

namespace {

QByteArray addLineRequest(int id, qint64 modelSpace)
{
    return QStringLiteral("{\"jsonrpc\":\"2.0\",\"id\":%1,\"method\":\"call\",\"params\":{\"target\":%2,"
                          "\"member\":\"AddLine\",\"args\":[[%3,0,0],[%3,10,0]]}}\n")
        .arg(id)
        .arg(modelSpace)
        .arg(id % 1000)
        .toUtf8();
}

// VmRSS from a /proc/<pid>/status file.
double residentMegabytesOf(const std::string& statusPath)
{
    std::ifstream status(statusPath);
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            double kb = 0;
            status >> kb;
            return kb / 1024.0;
        }
    }
    return 0;
}

// Blocking line client.
class LineClient {
public:
    bool connectTo(const QString& path)
    {
        socket.connectToServer(path);
        return socket.waitForConnected(5000);
    }
    void write(const QByteArray& bytes)
    {
        socket.write(bytes);
        socket.flush();
    }
    QByteArray readLine()
    {
        for (;;) {
            const qsizetype end = buffer.indexOf('\n', scanned);
            if (end >= 0) {
                QByteArray line = buffer.left(end);
                buffer.remove(0, end + 1);
                scanned = 0;
                return line;
            }
            scanned = buffer.size();
            if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(30000)) return {};
            buffer.append(socket.readAll());
        }
    }
    // Counts reply lines without keeping them.
    int countLines()
    {
        const int n = static_cast<int>(buffer.count('\n'));
        buffer.remove(0, buffer.lastIndexOf('\n') + 1);
        return n;
    }

    QLocalSocket socket;
    QByteArray buffer;
    qsizetype scanned = 0;
};

// One tessik-cad for the whole run, on a private socket.
struct CadHost {
    CadHostProcess cad;
    QString socketPath = cad.socketPath();
    qint64 modelSpace = 0;

    // The one shared by the round-trip and burst benchmarks.
    static CadHost& instance()
    {
        static CadHost host;
        return host;
    }

    CadHost()
    {
        // The bench's own platform: offscreen unless run with QT_QPA_PLATFORM=xcb
        // (under Xvfb, say), where a shown window is really mapped.
        if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            cad.setPlatform(QString::fromLocal8Bit(qgetenv("QT_QPA_PLATFORM")));
        cad.start();
        LineClient c;
        for (int i = 0; i < 200 && !c.connectTo(socketPath); ++i) QThread::msleep(25);
        c.write("{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"get\",\"params\":{\"target\":0,\"member\":\"ActiveDocument\"}}\n");
        c.readLine();  // handle 1
        c.write("{\"jsonrpc\":\"2.0\",\"id\":2,\"method\":\"get\",\"params\":{\"target\":1,\"member\":\"ModelSpace\"}}\n");
        const QByteArray reply = c.readLine();
        modelSpace = reply.contains("\"handle\":2") ? 2 : 0;
    }

    double residentMegabytes() const
    {
        return residentMegabytesOf("/proc/" + std::to_string(cad.processId()) + "/status");
    }
};

qsizetype typicalReplySize()
{
    return QByteArray("{\"id\":12345,\"jsonrpc\":\"2.0\",\"result\":{\"handle\":12345,\"type\":\"Line\"}}\n").size();
}

void BM_AutomationRoundTrip(benchmark::State& state)
{
    CadHost& host = CadHost::instance();
    LineClient client;
    if (!client.connectTo(host.socketPath) || host.modelSpace == 0) {
        state.SkipWithError("tessik-cad did not start");
        return;
    }
    int id = 0;
    for (auto _ : state) {
        client.write(addLineRequest(++id, host.modelSpace));
        benchmark::DoNotOptimize(client.readLine());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AutomationRoundTrip)->MinTime(2.0)->UseRealTime();

// 90,000 AddLine calls written in one burst; the time runs until the last
// reply has arrived.
void BM_PipelinedAddLine90k(benchmark::State& state)
{
    constexpr int n = 90000;
    CadHost& host = CadHost::instance();
    LineClient client;
    if (!client.connectTo(host.socketPath)) {
        state.SkipWithError("tessik-cad did not start");
        return;
    }
    QByteArray burst;
    for (int i = 1; i <= n; ++i) burst += addLineRequest(i, host.modelSpace);
    for (auto _ : state) {
        client.socket.write(burst);
        int replies = 0;
        while (replies < n) {
            if (client.socket.bytesToWrite() > 0) client.socket.waitForBytesWritten(1);
            if (client.socket.bytesAvailable() == 0) client.socket.waitForReadyRead(1);
            client.buffer.append(client.socket.readAll());
            replies += client.countLines();
        }
    }
    state.counters["calls_per_s"] = benchmark::Counter(double(n) * state.iterations(), benchmark::Counter::kIsRate);
    state.counters["cad_rss_MB"] = host.residentMegabytes();
}
BENCHMARK(BM_PipelinedAddLine90k)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

// ---------------------------------------------------------------------------
// Waited calls and bursts, hidden and shown, against the floor: a plain
// blocking echo process on a Unix socket, answering
// every request line with a line as long as tessik-cad's AddLine reply. The
// client side is the same blocking POSIX code for all of them, so the only
// difference is what answers. The ratios are calls_per_s of one over the
// other, from one run.

// Blocking line client on a raw Unix socket.
class RawClient {
public:
    ~RawClient() { reset(); }
    void reset()
    {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    bool connectTo(const QString& path)
    {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray native = QFile::encodeName(path);
        std::memcpy(address.sun_path, native.constData(), size_t(native.size()));
        fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        return fd_ >= 0 && ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    bool writeAll(const char* data, size_t size)
    {
        while (size > 0) {
            const ssize_t n = ::send(fd_, data, size, MSG_NOSIGNAL);
            if (n <= 0) return false;
            data += n;
            size -= size_t(n);
        }
        return true;
    }
    bool writeAll(const QByteArray& bytes) { return writeAll(bytes.constData(), size_t(bytes.size())); }
    // Reads until count more line ends have arrived; false on hang-up.
    bool readLines(qint64 count)
    {
        while (count > 0) {
            if (pending_ == 0) {
                const ssize_t n = ::recv(fd_, buffer_, sizeof buffer_, 0);
                if (n <= 0) return false;
                pending_ = n;
                at_ = 0;
            }
            const char* begin = buffer_ + at_;
            const char* end = buffer_ + at_ + pending_;
            const char* nl = static_cast<const char*>(std::memchr(begin, '\n', size_t(end - begin)));
            if (!nl) {
                pending_ = 0;
                continue;
            }
            --count;
            const ssize_t used = nl - begin + 1;
            at_ += used;
            pending_ -= used;
        }
        return true;
    }
    int fd() const { return fd_; }

private:
    int fd_ = -1;
    char buffer_[1 << 16];
    ssize_t at_ = 0, pending_ = 0;
};

// The floor: a separate process (this executable run with --blocking-echo)
// that accepts one connection on a Unix socket and, with plain blocking
// recv() and send(), answers every request line with a line as long as
// tessik-cad's AddLine reply. No event loop, no parsing: what one round trip
// between two processes costs on this machine at this moment.
int runBlockingEcho(const char* path, long replySize)
{
    std::string reply(size_t(std::max(1L, replySize) - 1), 'r');
    reply += '\n';
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path, sizeof address.sun_path - 1);
    const int listenFd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (::bind(listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listenFd, 4) != 0)
        return 1;
    const int fd = ::accept(listenFd, nullptr, nullptr);
    if (fd < 0) return 1;
    char buffer[1 << 16];
    std::string out;
    for (;;) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        out.clear();
        for (const char* at = buffer; (at = static_cast<const char*>(std::memchr(at, '\n', size_t(buffer + n - at))));
             ++at)
            out += reply;
        for (size_t sent = 0; sent < out.size();) {
            const ssize_t w = ::send(fd, out.data() + sent, out.size() - sent, MSG_NOSIGNAL);
            if (w <= 0) return 0;
            sent += size_t(w);
        }
    }
    ::close(fd);
    ::unlink(path);
    return 0;
}

// Starts the echo process and waits until its socket takes a connection.
class BlockingEchoProcess {
public:
    BlockingEchoProcess(const QString& path, qsizetype replySize)
    {
        process_.setProgram(QCoreApplication::applicationFilePath());
        process_.setArguments({QStringLiteral("--blocking-echo"), path, QString::number(replySize)});
        process_.setProcessChannelMode(QProcess::ForwardedChannels);
        process_.start();
        process_.waitForStarted(5000);
    }
    qint64 processId() const { return process_.processId(); }
    ~BlockingEchoProcess()
    {
        if (!process_.waitForFinished(5000)) process_.kill();
    }
    bool connect(RawClient& client, const QString& path)
    {
        for (int i = 0; i < 200; ++i) {
            if (client.connectTo(path)) return true;
            client.reset();
            QThread::msleep(10);
        }
        return false;
    }

private:
    QProcess process_;
};

CadHost& hostShown(bool shown)
{
    if (!shown) return CadHost::instance();
    static CadHost host;
    static bool once = [] {
        RawClient c;
        c.connectTo(host.socketPath);
        c.writeAll(QByteArray("{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"set\",\"params\":{\"target\":0,"
                              "\"member\":\"Visible\",\"value\":true}}\n"));
        c.readLines(1);
        QThread::msleep(500);  // the window is mapped and painted once
        return true;
    }();
    (void)once;
    return host;
}

void BM_Floor_BlockingEcho(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("floor.sock"));
    BlockingEchoProcess echo(path, typicalReplySize());
    RawClient client;
    if (!echo.connect(client, path)) {
        state.SkipWithError("echo did not start");
        return;
    }
    int id = 0;
    for (auto _ : state) {
        if (!client.writeAll(addLineRequest(++id, 2)) || !client.readLines(1)) {
            state.SkipWithError("echo failed");
            return;
        }
    }
    state.counters["calls_per_s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    client.reset();  // the echo process ends when its client hangs up
}
BENCHMARK(BM_Floor_BlockingEcho)->MinTime(2.0)->UseRealTime();

// Waited AddLine calls: one request, then its reply, then the next.
void BM_WaitedAddLine(benchmark::State& state)
{
    const bool shown = state.range(0) != 0;
    CadHost& host = hostShown(shown);
    RawClient client;
    if (!client.connectTo(host.socketPath) || host.modelSpace == 0) {
        state.SkipWithError("tessik-cad did not start");
        return;
    }
    int id = 0;
    for (auto _ : state) {
        if (!client.writeAll(addLineRequest(++id, host.modelSpace)) || !client.readLines(1)) {
            state.SkipWithError("tessik-cad hung up");
            return;
        }
    }
    state.SetLabel(shown ? "shown" : "hidden");
    state.counters["calls_per_s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_WaitedAddLine)->Arg(0)->Arg(1)->MinTime(2.0)->UseRealTime();

// The floor and the waited calls hidden and shown, taken in turns of 500
// calls each so that all three see the same load on a busy machine; the
// ratios are of the median turns' rates.
struct WaitedSide {
    RawClient& client;
    qint64 modelSpace;
    std::vector<double> rates;
    long sleeps = 0;  // the client's voluntary context switches
    long calls = 0;
};

bool runWaitedTurns(benchmark::State& state, WaitedSide (&sides)[3])
{
    const auto clientSleeps = [] {
        rusage usage{};
        getrusage(RUSAGE_THREAD, &usage);
        return usage.ru_nvcsw;
    };
    int id = 0;
    for (auto _ : state) {
        for (WaitedSide& side : sides) {
            QElapsedTimer clock;
            clock.start();
            const long sleptBefore = clientSleeps();
            for (int i = 0; i < 500; ++i)
                if (!side.client.writeAll(addLineRequest(++id, side.modelSpace)) || !side.client.readLines(1)) {
                    state.SkipWithError("a server hung up");
                    return false;
                }
            side.rates.push_back(500e9 / double(clock.nsecsElapsed()));
            side.sleeps += clientSleeps() - sleptBefore;
            side.calls += 500;
        }
    }
    const auto median = [](std::vector<double> v) {
        std::nth_element(v.begin(), v.begin() + std::ptrdiff_t(v.size() / 2), v.end());
        return v[v.size() / 2];
    };
    const double floorRate = median(sides[0].rates);
    state.counters["floor_per_s"] = floorRate;
    state.counters["hidden_per_s"] = median(sides[1].rates);
    state.counters["shown_per_s"] = median(sides[2].rates);
    state.counters["hidden_ratio"] = median(sides[1].rates) / floorRate;
    state.counters["shown_ratio"] = median(sides[2].rates) / floorRate;
    // How often the client slept per call: once for its answer at least;
    // more when it is woken before the answer is there.
    state.counters["floor_sleeps"] = double(sides[0].sleeps) / double(sides[0].calls);
    state.counters["hidden_sleeps"] = double(sides[1].sleeps) / double(sides[1].calls);
    state.counters["shown_sleeps"] = double(sides[2].sleeps) / double(sides[2].calls);
    return true;
}

// The echo process and both tessik-cads, each with a client connected.
struct WaitedServers {
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("floor.sock"));
    BlockingEchoProcess echo{path, typicalReplySize()};
    RawClient floor, hidden, shown;
    CadHost& hiddenHost = hostShown(false);
    CadHost& shownHost = hostShown(true);
    WaitedSide sides[3] = {{floor, 2, {}}, {hidden, hiddenHost.modelSpace, {}}, {shown, shownHost.modelSpace, {}}};

    bool connect()
    {
        return echo.connect(floor, path) && hidden.connectTo(hiddenHost.socketPath) &&
               shown.connectTo(shownHost.socketPath);
    }
    ~WaitedServers() { floor.reset(); }  // the echo process ends when its client hangs up
};

void BM_WaitedRatiosInTurns(benchmark::State& state)
{
    WaitedServers servers;
    if (!servers.connect()) {
        state.SkipWithError("a server did not start");
        return;
    }
    runWaitedTurns(state, servers.sides);
}
BENCHMARK(BM_WaitedRatiosInTurns)->Iterations(40)->Unit(benchmark::kMillisecond)->UseRealTime();

// Sets the cores every thread of a process may run on; false if none took it.
bool pinProcess(qint64 pid, const cpu_set_t& cores)
{
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    bool pinned = false;
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        pinned |= ::sched_setaffinity(pid_t(task.toLongLong()), sizeof cores, &cores) == 0;
    return pinned;
}

// The same turns with the placement fixed, so that the floor does not swing
// with where the scheduler happens to put the echo process: Arg(0) puts the
// client and every server on one core (a round trip hands the core over, the
// cheapest placement for the blocking echo: the true floor), Arg(1) the
// client on one core and the servers on the other (each round trip wakes a
// core). Every process is put back on all cores afterwards.
void BM_WaitedRatiosPinned(benchmark::State& state)
{
    const bool twoCores = state.range(0) != 0;
    cpu_set_t all;
    if (::sched_getaffinity(0, sizeof all, &all) != 0 || CPU_COUNT(&all) < (twoCores ? 2 : 1)) {
        state.SkipWithError("not enough cores");
        return;
    }
    int first = -1, last = -1;
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
        if (CPU_ISSET(cpu, &all)) {
            if (first < 0) first = cpu;
            last = cpu;
        }
    cpu_set_t clientCore, serverCore;
    CPU_ZERO(&clientCore);
    CPU_ZERO(&serverCore);
    CPU_SET(twoCores ? first : last, &clientCore);
    CPU_SET(last, &serverCore);

    WaitedServers servers;
    if (!servers.connect()) {
        state.SkipWithError("a server did not start");
        return;
    }
    const qint64 pids[] = {servers.echo.processId(), servers.hiddenHost.cad.processId(),
                           servers.shownHost.cad.processId()};
    struct Unpin {
        const qint64 (&pids)[3];
        const cpu_set_t& all;
        ~Unpin()
        {
            for (qint64 pid : pids) pinProcess(pid, all);
            ::sched_setaffinity(0, sizeof all, &all);
        }
    } unpin{pids, all};
    bool pinned = ::sched_setaffinity(0, sizeof clientCore, &clientCore) == 0;
    for (qint64 pid : pids) pinned = pinned && pinProcess(pid, serverCore);
    if (!pinned) {
        state.SkipWithError("could not pin the processes");
        return;
    }
    runWaitedTurns(state, servers.sides);
    state.SetLabel(twoCores ? "two cores" : "one core");
}
BENCHMARK(BM_WaitedRatiosPinned)->Arg(0)->Arg(1)->Iterations(40)->Unit(benchmark::kMillisecond)->UseRealTime();

// 90,000 AddLine calls written in one go (from a second thread, so neither
// side waits on the other's buffer); the time runs to the last reply.
void BM_Burst90k(benchmark::State& state)
{
    constexpr int n = 90000;
    const bool shown = state.range(0) != 0;
    CadHost& host = hostShown(shown);
    RawClient client;
    if (!client.connectTo(host.socketPath) || host.modelSpace == 0) {
        state.SkipWithError("tessik-cad did not start");
        return;
    }
    QByteArray burst;
    for (int i = 1; i <= n; ++i) burst += addLineRequest(i, host.modelSpace);
    for (auto _ : state) {
        std::thread writer([&] { client.writeAll(burst); });
        const bool ok = client.readLines(n);
        writer.join();
        if (!ok) {
            state.SkipWithError("tessik-cad hung up");
            return;
        }
    }
    state.SetLabel(shown ? "shown" : "hidden");
    state.counters["calls_per_s"] = benchmark::Counter(double(n) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Burst90k)->Arg(0)->Arg(1)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

// A drawing of 100,000 mixed entities spread so that most of them are a few
// to a few dozen pixels across in a 1280x800 view.
// With more of them (a larger drawing), spread over a wider area of the
// same density: the same pixels per entity at the extents.
template <class Add>
void fillEntities(const Add& addEntity, int n)
{
    std::mt19937 random(42);
    const double side = 1000 * std::sqrt(std::max(1.0, n / 100000.0));
    std::uniform_real_distribution<double> where(0, side), size(5 * side / 1000, 50 * side / 1000), angle(0, kTwoPi),
        ratio(0.2, 1);
    for (int i = 0; i < n; ++i) {
        const Point3 c{where(random), where(random), 0};
        const double r = size(random);
        switch (i % 5) {
        case 0:
        case 1: {
            const double a = angle(random);
            addEntity(ModelLine{c, {c[0] + r * std::cos(a), c[1] + r * std::sin(a), 0}});
            break;
        }
        case 2: addEntity(ModelArc{c, r, angle(random), angle(random)}); break;
        case 3: addEntity(ModelCircle{c, r}); break;
        default: {
            const double a = angle(random);
            addEntity(ModelEllipse{c, {r * std::cos(a), r * std::sin(a), 0}, ratio(random),
                                                           i % 2 ? 0 : angle(random), i % 2 ? kTwoPi : angle(random)});
        }
        }
    }
}

void fillDrawing(CadSession& session, int n)
{
    session.document()->modelSpace().reserve(static_cast<std::size_t>(n));
    fillEntities([&](ModelEntity e) { session.addEntity(SpaceKind::Model, std::move(e)); }, n);
}

double ownResidentMegabytes() { return residentMegabytesOf("/proc/self/status"); }

// A 1280x800 view of the 100,000-entity drawing at its extents, and an
// image to render it into.
QImage fillView(CadSession& session, DrawingView& view)
{
    view.resize(1280, 800);
    fillDrawing(session, 100000);
    view.zoomExtents();
    return QImage(view.size(), QImage::Format_ARGB32_Premultiplied);
}

void BM_RepaintWith100kEntities(benchmark::State& state)
{
    const double before = ownResidentMegabytes();
    CadSession session;
    DrawingView view(session);
    QImage target = fillView(session, view);
    for (auto _ : state) {
        view.invalidateDrawing();
        view.render(&target);
        benchmark::DoNotOptimize(target.constBits());
    }
    state.counters["entities"] = session.document()->modelSpace().count();
    state.counters["drawing_MB"] = ownResidentMegabytes() - before;
    state.counters["process_rss_MB"] = ownResidentMegabytes();
}
// Frames while the view moves over the same drawing: a middle-button drag
// (Arg 0) or wheel steps in and out (Arg 1), each event followed by a paint.
// The view redraws the drawing only once it settles, which a benchmark loop
// without an event loop never lets happen; the settled redraw is
// RepaintWith100kEntities.
void BM_MovingFrameWith100kEntities(benchmark::State& state)
{
    const bool wheel = state.range(0) != 0;
    CadSession session;
    DrawingView view(session);
    QImage target = fillView(session, view);
    view.render(&target);
    QPointF at(640, 400);
    const auto mouse = [&](QEvent::Type type, Qt::MouseButtons buttons) {
        QMouseEvent e(type, at, view.mapToGlobal(at), Qt::MiddleButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(&view, &e);
    };
    if (!wheel) mouse(QEvent::MouseButtonPress, Qt::MiddleButton);
    int i = 0;
    for (auto _ : state) {
        ++i;
        if (wheel) {
            QWheelEvent e(at, view.mapToGlobal(at), QPoint(), QPoint(0, i % 2 ? 120 : -120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(&view, &e);
        } else {
            at += QPointF(i % 40 < 20 ? 3 : -3, 1);
            mouse(QEvent::MouseMove, Qt::MiddleButton);
        }
        view.render(&target);
        benchmark::DoNotOptimize(target.constBits());
    }
    state.SetLabel(wheel ? "wheel zoom" : "pan");
    state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_MovingFrameWith100kEntities)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);

// Opening the DXF named by TESSIK_BENCH_DXF (bench/cadhost/dxf_open_compare.py
// writes one and compares the time with ezdxf and LibreCAD).
void BM_OpenDxf(benchmark::State& state)
{
    const QString path = qEnvironmentVariable("TESSIK_BENCH_DXF");
    if (path.isEmpty()) {
        state.SkipWithError("set TESSIK_BENCH_DXF to a DXF file");
        return;
    }
    int entities = 0;
    for (auto _ : state) {
        CadSession session;
        QElapsedTimer clock;
        clock.start();
        const auto report = session.openDocument(path);
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
        if (!report) {
            state.SkipWithError(report.error().description.c_str());
            return;
        }
        entities = session.document()->modelSpace().count();
    }
    state.counters["entities"] = entities;
}
BENCHMARK(BM_OpenDxf)->Iterations(1)->Unit(benchmark::kMillisecond)->UseManualTime();

// From the request to open the DXF named by TESSIK_BENCH_DXF to the first
// picture of it in a 1280x800 view (what File > Open shows), beside the
// floor: reading the file's bytes alone.
void BM_OpenDxfToFirstPaint(benchmark::State& state)
{
    const QString path = qEnvironmentVariable("TESSIK_BENCH_DXF");
    if (path.isEmpty()) {
        state.SkipWithError("set TESSIK_BENCH_DXF to a DXF file");
        return;
    }
    double open = 0, paint = 0, bytes = 0;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            state.SkipWithError("cannot read the file");
            return;
        }
        benchmark::DoNotOptimize(file.readAll().size());
        bytes = double(clock.nsecsElapsed()) / 1e6;
        CadSession session;
        DrawingView view(session);
        view.resize(1280, 800);
        QImage target(view.size(), QImage::Format_ARGB32_Premultiplied);
        clock.restart();
        const auto report = session.openDocument(path);
        if (!report) {
            state.SkipWithError(report.error().description.c_str());
            return;
        }
        open = double(clock.nsecsElapsed()) / 1e6;
        view.zoomExtents();
        view.render(&target);
        paint = double(clock.nsecsElapsed()) / 1e6;
        state.SetIterationTime(paint / 1e3);
    }
    state.counters["read_bytes_ms"] = bytes;
    state.counters["open_ms"] = open;
    state.counters["first_paint_ms"] = paint;
}
BENCHMARK(BM_OpenDxfToFirstPaint)->Iterations(1)->Unit(benchmark::kMillisecond)->UseManualTime();

// The same drawing through QPainter (what printing and images use).
void BM_PaintSpaceThroughQPainter(benchmark::State& state)
{
    CadSession session;
    fillDrawing(session, 100000);
    Viewport viewport;
    viewport.setSize({1280, 800});
    viewport.zoomToBounds(session.document()->modelSpace().extents());
    QImage target(1280, 800, QImage::Format_RGB32);
    for (auto _ : state) {
        target.fill(Qt::black);
        QPainter painter(&target);
        painter.setPen(QPen(Qt::white, 0));
        paintSpace(painter, viewport, session.document()->modelSpace());
    }
}
BENCHMARK(BM_PaintSpaceThroughQPainter)->Unit(benchmark::kMillisecond)->MinTime(2.0);

BENCHMARK(BM_RepaintWith100kEntities)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// A DXF file of a styled drawing in a temporary folder: layers in eight
// colours, every third one dashed, and the given ENTITIES section body.
QString styledDxf(QTemporaryDir& dir, const std::string& entities)
{
    std::string out = "0\nSECTION\n2\nHEADER\n9\n$LTSCALE\n40\n1\n0\nENDSEC\n0\nSECTION\n2\nTABLES\n"
                      "0\nTABLE\n2\nLTYPE\n70\n2\n0\nLTYPE\n2\nCONTINUOUS\n70\n0\n3\nSolid\n72\n65\n73\n0\n40\n0\n"
                      "0\nLTYPE\n2\nDASHED\n70\n0\n3\n__ __\n72\n65\n73\n2\n40\n6\n49\n4\n49\n-2\n0\nENDTAB\n"
                      "0\nTABLE\n2\nLAYER\n70\n8\n";
    for (int i = 0; i < 8; ++i)
        out += "0\nLAYER\n2\nL" + std::to_string(i) + "\n70\n0\n62\n" + std::to_string(i * 30 + 1) + "\n6\n" +
               (i % 3 == 0 ? "DASHED" : "CONTINUOUS") + "\n";
    out += "0\nENDTAB\n0\nENDSEC\n0\nSECTION\n2\nENTITIES\n" + entities + "0\nENDSEC\n0\nEOF\n";
    const QString path = dir.filePath(QStringLiteral("styled.dxf"));
    QFile f(path);
    if (f.open(QIODevice::WriteOnly)) f.write(out.data(), qint64(out.size()));
    return path;
}

// The 100,000 mixed entities of fillDrawing's kind, on the styled layers:
// lines, arcs, circles and ellipses in eight colours, every third layer dashed.
std::string styledEntities(int n)
{
    std::mt19937 random(42);
    std::uniform_real_distribution<double> where(0, 1000), size(5, 50), angle(0, 360), ratio(0.2, 1);
    std::string out;
    char buffer[512];
    for (int i = 0; i < n; ++i) {
        const double x = where(random), y = where(random), r = size(random);
        const int layer = i % 8;
        switch (i % 5) {
        case 0:
        case 1: {
            const double a = angle(random) * kTwoPi / 360;
            std::snprintf(buffer, sizeof buffer, "0\nLINE\n8\nL%d\n10\n%g\n20\n%g\n11\n%g\n21\n%g\n", layer, x, y,
                          x + r * std::cos(a), y + r * std::sin(a));
            break;
        }
        case 2:
            std::snprintf(buffer, sizeof buffer, "0\nARC\n8\nL%d\n10\n%g\n20\n%g\n40\n%g\n50\n%g\n51\n%g\n", layer, x,
                          y, r, angle(random), angle(random));
            break;
        case 3: std::snprintf(buffer, sizeof buffer, "0\nCIRCLE\n8\nL%d\n10\n%g\n20\n%g\n40\n%g\n", layer, x, y, r); break;
        default: {
            const double a = angle(random) * kTwoPi / 360;
            std::snprintf(buffer, sizeof buffer, "0\nELLIPSE\n8\nL%d\n10\n%g\n20\n%g\n11\n%g\n21\n%g\n40\n%g\n41\n0\n42\n%g\n",
                          layer, x, y, r * std::cos(a), r * std::sin(a), ratio(random), kTwoPi);
        }
        }
        out += buffer;
    }
    return out;
}

// RepaintWith100kEntities with every entity in its layer's colour and a
// third of them dashed, read from a DXF file as a user's drawing is.
void BM_RepaintWith100kStyledEntities(benchmark::State& state)
{
    QTemporaryDir dir;
    CadSession session;
    if (!session.openDocument(styledDxf(dir, styledEntities(100000)))) {
        state.SkipWithError("the styled drawing did not open");
        return;
    }
    DrawingView view(session);
    view.resize(1280, 800);
    view.zoomExtents();
    QImage target(view.size(), QImage::Format_ARGB32_Premultiplied);
    view.render(&target);  // the look of the entities, worked out once
    for (auto _ : state) {
        view.invalidateDrawing();
        view.render(&target);
        benchmark::DoNotOptimize(target.constBits());
    }
    state.counters["entities"] = session.document()->modelSpace().count();
}
BENCHMARK(BM_RepaintWith100kStyledEntities)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// A drawing of 10,000 pattern hatches and 10,000 multi-line texts (shapes
// the view paints with QPainter): frames while a middle-button drag pans it
// (Arg 0), and the settled redraw at the new view (Arg 1).
void BM_PanWith20kHatchesAndTexts(benchmark::State& state)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<double> where(0, 1000), size(2, 12);
    std::string entities;
    char buffer[1024];
    for (int i = 0; i < 10000; ++i) {
        const double x = where(random), y = where(random), s = size(random);
        std::snprintf(buffer, sizeof buffer,
                      "0\nHATCH\n8\nL%d\n10\n0\n20\n0\n30\n0\n2\nANSI31\n70\n0\n71\n0\n91\n1\n92\n2\n72\n0\n73\n1\n93\n4\n"
                      "10\n%g\n20\n%g\n10\n%g\n20\n%g\n10\n%g\n20\n%g\n10\n%g\n20\n%g\n97\n0\n75\n0\n76\n1\n52\n0\n41\n1\n"
                      "77\n0\n78\n1\n53\n45\n43\n0\n44\n0\n45\n-0.7071\n46\n0.7071\n79\n0\n98\n0\n",
                      i % 8, x, y, x + s, y, x + s, y + s, x, y + s);
        entities += buffer;
        std::snprintf(buffer, sizeof buffer,
                      "0\nMTEXT\n8\nL%d\n10\n%g\n20\n%g\n40\n1.5\n41\n20\n71\n1\n1\nPipe {\\C1;%d} elbow\\Psegment %d\n",
                      i % 8, where(random), where(random), i, i % 7);
        entities += buffer;
    }
    QTemporaryDir dir;
    CadSession session;
    if (!session.openDocument(styledDxf(dir, entities))) {
        state.SkipWithError("the drawing did not open");
        return;
    }
    const bool settled = state.range(0) != 0;
    DrawingView view(session);
    view.resize(1280, 800);
    view.zoomExtents();
    QImage target(view.size(), QImage::Format_ARGB32_Premultiplied);
    view.render(&target);
    QPointF at(640, 400);
    const auto mouse = [&](QEvent::Type type, Qt::MouseButtons buttons) {
        QMouseEvent e(type, at, view.mapToGlobal(at), Qt::MiddleButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(&view, &e);
    };
    if (!settled) mouse(QEvent::MouseButtonPress, Qt::MiddleButton);
    int i = 0;
    for (auto _ : state) {
        ++i;
        if (settled) {
            view.zoomAbout(at, i % 2 ? 1.2 : 1 / 1.2);
            view.invalidateDrawing();
        } else {
            at += QPointF(i % 40 < 20 ? 3 : -3, 1);
            mouse(QEvent::MouseMove, Qt::MiddleButton);
        }
        view.render(&target);
        benchmark::DoNotOptimize(target.constBits());
    }
    state.SetLabel(settled ? "settled redraw" : "pan");
    state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PanWith20kHatchesAndTexts)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);

// The first paint of a drawing of a million lines, arcs, circles and
// ellipses (fillEntities) in a 1280x800 view at its extents.
void BM_FirstPaintWith1MEntities(benchmark::State& state)
{
    CadSession session;
    CadSpace& space = session.document()->modelSpace();
    space.reserve(1000000);
    fillEntities([&](ModelEntity e) { space.add(std::move(e)); }, 1000000);
    DrawingView view(session);
    view.resize(1280, 800);
    view.zoomExtents();
    QImage target(view.size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        view.invalidateDrawing();
        view.render(&target);
        benchmark::DoNotOptimize(target.constBits());
    }
    state.counters["entities"] = space.count();
}
BENCHMARK(BM_FirstPaintWith1MEntities)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// Moving one shape (a kind without a struct: its picture is shown through
// the document's picture of all shapes) among 300,000, and the picture
// shown again (Arg 0), beside that picture made afresh from every shape
// (Arg 1).
void BM_MoveOneShapeAmong300k(benchmark::State& state)
{
    DrawingDocument doc(QStringLiteral("shapes"));
    std::mt19937 random(3);
    std::uniform_real_distribution<double> where(0, 1000);
    constexpr int kShapes = 300000;
    doc.modelSpace().reserve(kShapes);
    for (int i = 0; i < kShapes; ++i) {
        auto picture = std::make_shared<DrawingExtras>();
        const double x = where(random), y = where(random);
        picture->outlines.push_back({{x, y}, {x + 3, y}, {x + 3, y + 2}, {x, y + 2}, {x, y}});
        picture->outlineStyles.push_back(ShapeStyle{});
        if (i % 2) {
            picture->fills.push_back({{x, y}, {x + 3, y}, {x + 3, y + 2}});
            picture->fillStyles.push_back(ShapeStyle{});
        }
        picture->bounds.add(x, y);
        picture->bounds.add(x + 3, y + 2);
        ModelShape shape{"SOLID", "AcDbTrace", picture, picture->bounds, {}, true};
        doc.modelSpace().add(std::move(shape));
    }
    benchmark::DoNotOptimize(doc.extras().outlines.size());
    const bool afresh = state.range(0) != 0;
    int i = 0;
    for (auto _ : state) {
        if (afresh) {
            state.PauseTiming();
            std::unique_ptr<DrawingDocument> copy = doc.snapshot();  // no picture yet
            state.ResumeTiming();
            benchmark::DoNotOptimize(copy->extras().outlines.size());
            state.PauseTiming();
            copy.reset();  // outside the timing
            state.ResumeTiming();
            continue;
        }
        const int slot = (i++ * 7919) % kShapes;
        ModelShape moved = std::get<ModelShape>(doc.modelSpace().at(slot));
        moved.offset[0] += 1;
        doc.replaceEntity(SpaceKind::Model, slot, std::move(moved));
        benchmark::DoNotOptimize(doc.extras().outlines.size());
    }
    state.SetLabel(afresh ? "made afresh" : "one moved");
}
BENCHMARK(BM_MoveOneShapeAmong300k)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);

// The drawing's pixels alone, as the repaint makes them, in one band of rows
// (Arg 1: one core) or as many as it picks (Arg 0: one per core).
void BM_RasterizeBands100k(benchmark::State& state)
{
    CadSession session;
    DrawingView view(session);
    QImage target = fillView(session, view);
    Viewport device = view.viewport();
    device.setSize(target.size());
    for (auto _ : state) {
        target.fill(0);
        rasterizeSpace(target, 0xffffffff, device, session.document()->modelSpace(), 0, int(state.range(0)));
        benchmark::DoNotOptimize(target.constBits());
    }
}
BENCHMARK(BM_RasterizeBands100k)->Arg(1)->Arg(0)->Arg(4)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// The same with every band drawn on one thread (Arg: the bands, 0 as many
// as it picks): the whole work of a band split, whatever the cores.
void BM_RasterizeBandsOnOneThread100k(benchmark::State& state)
{
    CadSession session;
    DrawingView view(session);
    QImage target = fillView(session, view);
    Viewport device = view.viewport();
    device.setSize(target.size());
    for (auto _ : state) {
        target.fill(0);
        rasterizeSpace(target, 0xffffffff, device, session.document()->modelSpace(), 0, int(state.range(0)), 1);
        benchmark::DoNotOptimize(target.constBits());
    }
}
BENCHMARK(BM_RasterizeBandsOnOneThread100k)->Arg(0)->Arg(2)->Arg(8)->Arg(16)->Arg(32)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// A fresh tessik-cad, shown (offscreen), holding 100,000 mixed entities sent
// through the automation interface: its resident memory.
void BM_ResidentMemoryWith100kEntities(benchmark::State& state)
{
    for (auto _ : state) {
        CadHost host;
        LineClient client;
        if (!client.connectTo(host.socketPath) || host.modelSpace == 0) {
            state.SkipWithError("tessik-cad did not start");
            return;
        }
        const qint64 ms = host.modelSpace;
        std::string burst;
        burst.reserve(100000 * 128);
        char line[256];
        for (int i = 1; i <= 100000; ++i) {
            const int x = static_cast<int>((i * 7919LL) % 1000), y = static_cast<int>((i * 104729LL) % 1000);
            const char* head = "{\"jsonrpc\":\"2.0\",\"id\":%d,\"method\":\"call\",\"params\":{\"target\":%lld,";
            int used = std::snprintf(line, sizeof line, head, i, static_cast<long long>(ms));
            switch (i % 5) {
            case 0:
            case 1:
                used += std::snprintf(line + used, sizeof line - used,
                                      "\"member\":\"AddLine\",\"args\":[[%d,%d,0],[%d,%d,0]]}}\n", x, y, x + 20, y + 5);
                break;
            case 2:
                used += std::snprintf(line + used, sizeof line - used,
                                      "\"member\":\"AddArc\",\"args\":[[%d,%d,0],15,0.5,2.5]}}\n", x, y);
                break;
            case 3:
                used += std::snprintf(line + used, sizeof line - used,
                                      "\"member\":\"AddCircle\",\"args\":[[%d,%d,0],12]}}\n", x, y);
                break;
            default:
                used += std::snprintf(line + used, sizeof line - used,
                                      "\"member\":\"AddEllipse\",\"args\":[[%d,%d,0],[20,10,0],0.4]}}\n", x, y);
            }
            burst.append(line, used);
        }
        burst += "{\"jsonrpc\":\"2.0\",\"id\":0,\"method\":\"set\",\"params\":{\"target\":0,\"member\":\"Visible\",\"value\":true}}\n";
        client.socket.write(burst.data(), static_cast<qint64>(burst.size()));
        int replies = 0;
        while (replies < 100001) {
            if (client.socket.bytesToWrite() > 0) client.socket.waitForBytesWritten(1);
            if (client.socket.bytesAvailable() == 0) client.socket.waitForReadyRead(1);
            client.buffer.append(client.socket.readAll());
            replies += client.countLines();
        }
        QThread::msleep(1500);  // let the window paint the drawing
        state.counters["cad_rss_MB"] = host.residentMegabytes();
    }
}
BENCHMARK(BM_ResidentMemoryWith100kEntities)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "--blocking-echo") == 0) return runBlockingEcho(argv[2], std::atol(argv[3]));
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
