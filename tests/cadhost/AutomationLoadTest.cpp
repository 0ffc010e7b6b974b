// The automation socket under abuse, through the real socket of a real
// tessik-cad: clients that never read their replies, thousands of clients at
// once, one enormous SendCommand line and one holding 200,000 commands.

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include "CadHostProcess.h"

namespace {

// A raw, non-blocking connection; -1 while the server's queue is full
// (EAGAIN), -2 when it refuses outright.
int rawConnect(const QString& path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray native = QFile::encodeName(path);
    memcpy(address.sun_path, native.constData(), size_t(native.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return -2;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
    const int e = errno;
    ::close(fd);
    return e == EAGAIN ? -1 : -2;
}

qint64 residentKiB(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

const QByteArray kCaptionRequest =
    R"({"jsonrpc":"2.0","id":1,"method":"get","params":{"target":0,"member":"Caption"}})"
    "\n";

bool answersCaption(const QString& socketPath)
{
    RpcClient client;
    if (!client.connectTo(socketPath)) return false;
    return client.get(0, QStringLiteral("Caption")).value(QStringLiteral("result")).isString();
}

}  // namespace

class AutomationLoadTest : public QObject {
    Q_OBJECT

private slots:
    // Replies pile up in tessik-cad only to its per-client limit (32 MiB);
    // past it the client is dropped. Without the limit this input would
    // cost some 700 MB.
    void clientThatNeverReadsIsDropped()
    {
        QTemporaryDir dir;
        CadHostProcess cad(dir.filePath(QStringLiteral("cad.sock")));
        QVERIFY(cad.start());
        const qint64 pid = cad.process().processId();
        const qint64 before = residentKiB(pid);
        QVERIFY(before > 0);

        int fd = -1;
        for (int i = 0; i < 100 && fd < 0; ++i) fd = rawConnect(cad.socketPath());
        QVERIFY(fd >= 0);
        const QByteArray chunk = QByteArray("x\n").repeated(32 * 1024);
        qint64 peak = before;
        bool dropped = false;
        for (int round = 0; round < 96 && !dropped; ++round) {  // up to 3 million lines
            qsizetype sent = 0;
            while (sent < chunk.size()) {
                pollfd p{fd, POLLOUT, 0};
                if (::poll(&p, 1, 10000) <= 0) break;  // tessik-cad stopped reading: fails below
                const ssize_t n = ::send(fd, chunk.constData() + sent, size_t(chunk.size() - sent), MSG_NOSIGNAL);
                if (n < 0 && errno == EAGAIN) continue;
                if (n <= 0) {
                    dropped = true;
                    break;
                }
                sent += n;
            }
            QVERIFY2(dropped || sent == chunk.size(), "tessik-cad stopped reading the socket");
            peak = std::max(peak, residentKiB(pid));
        }
        ::close(fd);
        QVERIFY2(dropped, "a client that never reads was never disconnected");
        QVERIFY2(peak - before < 96 * 1024, qPrintable(QStringLiteral("grew by %1 KiB").arg(peak - before)));
        QVERIFY(cad.running());
        QVERIFY(answersCaption(cad.socketPath()));
    }

    // Sixteen clients that never read share one budget for the replies
    // tessik-cad holds for them: the one holding most is cut whenever they
    // hold more than 64 MiB together. Each on its own would be let grow to
    // 32 MiB, some 600 MB for the sixteen.
    void clientsThatNeverReadShareOneBudget()
    {
        QTemporaryDir dir;
        CadHostProcess cad(dir.filePath(QStringLiteral("cad.sock")));
        cad.keepStandardError();
        QVERIFY(cad.start());
        const qint64 pid = cad.process().processId();
        const qint64 before = residentKiB(pid);
        QVERIFY(before > 0);

        constexpr int kClients = 16;
        std::vector<int> fds;
        for (int i = 0; i < kClients; ++i) {
            int fd = -1;
            for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) fd = rawConnect(cad.socketPath());
            QVERIFY(fd >= 0);
            fds.push_back(fd);
        }
        // Each two-byte line is answered with an error line of some 80 bytes.
        const QByteArray chunk = QByteArray("x\n").repeated(32 * 1024);
        std::vector<qsizetype> sent(fds.size(), 0);
        std::vector<bool> dropped(fds.size(), false);
        qint64 peak = before;
        QElapsedTimer clock;
        clock.start();
        int left = kClients;
        while (left > 0 && clock.elapsed() < 120000) {
            std::vector<pollfd> polls;
            for (size_t i = 0; i < fds.size(); ++i)
                if (!dropped[i]) polls.push_back({fds[i], POLLOUT, 0});
            if (::poll(polls.data(), polls.size(), 10000) <= 0) break;  // tessik-cad stopped reading: fails below
            for (const pollfd& p : polls) {
                if (!p.revents) continue;
                const size_t i = size_t(std::find(fds.begin(), fds.end(), p.fd) - fds.begin());
                const qsizetype at = sent[i] % chunk.size();
                const ssize_t n = ::send(p.fd, chunk.constData() + at, size_t(chunk.size() - at), MSG_NOSIGNAL);
                if (n < 0 && errno == EAGAIN) continue;
                if (n <= 0 || (p.revents & (POLLERR | POLLHUP))) {
                    dropped[i] = true;
                    --left;
                    continue;
                }
                sent[i] += n;
            }
            peak = std::max(peak, residentKiB(pid));
        }
        for (int fd : fds) ::close(fd);
        qInfo("%d clients cut; tessik-cad grew by %lld KiB at most", kClients - left, peak - before);
        QVERIFY2(left == 0, qPrintable(QStringLiteral("%1 clients that never read were never cut").arg(left)));
        QVERIFY2(peak - before < 192 * 1024, qPrintable(QStringLiteral("grew by %1 KiB").arg(peak - before)));
        QVERIFY(cad.running());
        QVERIFY(answersCaption(cad.socketPath()));
        QVERIFY2(cad.standardError().contains(QStringLiteral("合计")), "no log line names the shared budget");
    }

    // One SendCommand holding 200,000 commands is typed a slice at a time:
    // another client's waited calls are answered meanwhile, the batch keeps
    // its own order (the undos before the two redos) and gets one answer,
    // and its client's next request comes after it, though that client has
    // ended its side of the connection.
    void longSendCommandLeavesOthersServed()
    {
        QTemporaryDir dir;
        CadHostProcess cad(dir.filePath(QStringLiteral("cad.sock")));
        QVERIFY(cad.start());
        RpcClient batch, other;
        QVERIFY(batch.connectTo(cad.socketPath()));
        QVERIFY(other.connectTo(cad.socketPath()));
        const qint64 doc = batch.handle(batch.get(0, QStringLiteral("ActiveDocument")));
        const qint64 model = batch.handle(batch.get(doc, QStringLiteral("ModelSpace")));
        QVERIFY(doc > 0 && model > 0);
        for (int i = 0; i < 5; ++i)
            QVERIFY(batch.handle(batch.call(model, QStringLiteral("AddLine"), {QJsonArray{i, 0, 0}, QJsonArray{i, 1, 0}})) > 0);

        const QString text = QStringLiteral("U\n").repeated(10) + QStringLiteral("Z\n").repeated(199988) +
                             QStringLiteral("REDO\nREDO\n");
        const int sendId = batch.send(QStringLiteral("call"), doc, QStringLiteral("SendCommand"),
                                      QJsonObject{{QStringLiteral("args"), QJsonArray{text}}});
        const int countId = batch.send(QStringLiteral("get"), model, QStringLiteral("Count"));
        // Sent all it will: both are still carried out and answered.
        QCOMPARE(::shutdown(int(batch.socket().socketDescriptor()), SHUT_WR), 0);

        qint64 worstMs = 0;
        int served = 0;
        QJsonObject answer;
        QElapsedTimer clock;
        clock.start();
        while (answer.isEmpty() && clock.elapsed() < 300000) {
            QElapsedTimer call;
            call.start();
            other.send(QStringLiteral("get"), 0, QStringLiteral("Caption"));
            QVERIFY(other.next(300000).value(QStringLiteral("result")).isString());
            worstMs = std::max(worstMs, call.elapsed());
            ++served;
            answer = batch.next(20);
        }
        qInfo("batch answered after %lld ms; %d waited calls meanwhile, the slowest %lld ms",
              clock.elapsed(), served, worstMs);
        QCOMPARE(answer.value(QStringLiteral("id")).toInt(), sendId);
        QVERIFY(answer.contains(QStringLiteral("result")));
        QVERIFY2(worstMs < 1500, qPrintable(QStringLiteral("another client waited %1 ms").arg(worstMs)));
        const QJsonObject count = batch.next();
        QCOMPARE(count.value(QStringLiteral("id")).toInt(), countId);
        QCOMPARE(count.value(QStringLiteral("result")).toInt(), 2);
    }

    // A client that sends its next request the moment it reads an answer,
    // for seconds on end, is answered in order, and leaves the others served:
    // its connection waits for it only a slice (milliseconds) at a time.
    void tightWaitedClientLeavesOthersServed()
    {
        QTemporaryDir dir;
        CadHostProcess cad(dir.filePath(QStringLiteral("cad.sock")));
        QVERIFY(cad.start());
        RpcClient other;
        QVERIFY(other.connectTo(cad.socketPath()));
        const qint64 doc = other.handle(other.get(0, QStringLiteral("ActiveDocument")));
        const qint64 model = other.handle(other.get(doc, QStringLiteral("ModelSpace")));
        QVERIFY(doc > 0 && model > 0);

        int fd = -1;
        for (int i = 0; i < 100 && (fd = rawConnect(cad.socketPath())) == -1; ++i) QThread::msleep(10);
        QVERIFY(fd >= 0);
        const int flags = ::fcntl(fd, F_GETFL);
        QVERIFY(flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0);
        std::atomic<bool> stop{false};
        int answered = 0;
        bool inOrder = true;
        std::thread tight([&] {
            std::string pending;
            char buffer[4096];
            for (int id = 1; !stop; ++id) {
                const std::string request = "{\"jsonrpc\":\"2.0\",\"id\":" + std::to_string(id) +
                                            ",\"method\":\"call\",\"params\":{\"target\":" + std::to_string(model) +
                                            ",\"member\":\"AddLine\",\"args\":[[0,0,0],[1,1,0]]}}\n";
                if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) != ssize_t(request.size())) return;
                std::size_t end;
                while ((end = pending.find('\n')) == std::string::npos) {
                    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
                    if (n <= 0) return;
                    pending.append(buffer, std::size_t(n));
                }
                inOrder = inOrder && pending.find("\"id\":" + std::to_string(id) + ",") != std::string::npos;
                pending.erase(0, end + 1);
                ++answered;
            }
        });
        qint64 worstMs = 0;
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 3000) {
            QElapsedTimer call;
            call.start();
            const QJsonObject reply = other.get(0, QStringLiteral("Caption"));
            worstMs = std::max(worstMs, call.elapsed());
            if (!reply.value(QStringLiteral("result")).isString()) break;
            QThread::msleep(5);
        }
        stop = true;
        tight.join();
        ::close(fd);
        qInfo("%d waited AddLine calls meanwhile; the other client's slowest call %lld ms", answered, worstMs);
        QVERIFY(inOrder);
        QVERIFY(answered > 100);
        QVERIFY2(worstMs < 250, qPrintable(QStringLiteral("another client waited %1 ms").arg(worstMs)));
        QCOMPARE(other.get(model, QStringLiteral("Count")).value(QStringLiteral("result")).toInt(), answered);
    }

    // A client that waits for each answer sleeps once per call, for its
    // answer: taking its request out of the socket must not wake it before
    // the answer is there. Client and tessik-cad share one core, where each
    // needless wake-up is a sleep more for the client.
    void waitedClientSleepsOncePerCall()
    {
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(sched_getcpu(), &one);
        cpu_set_t own;
        QVERIFY(sched_getaffinity(0, sizeof own, &own) == 0);
        QVERIFY(sched_setaffinity(0, sizeof one, &one) == 0);
        struct Restore {
            cpu_set_t set;
            ~Restore() { sched_setaffinity(0, sizeof set, &set); }
        } restore{own};

        QTemporaryDir dir;
        CadHostProcess cad(dir.filePath(QStringLiteral("cad.sock")));
        QVERIFY(cad.start());  // on the same core: affinity is inherited
        RpcClient setup;
        QVERIFY(setup.connectTo(cad.socketPath()));
        const qint64 doc = setup.handle(setup.get(0, QStringLiteral("ActiveDocument")));
        const qint64 model = setup.handle(setup.get(doc, QStringLiteral("ModelSpace")));
        QVERIFY(doc > 0 && model > 0);
        int fd = -1;
        for (int i = 0; i < 100 && (fd = rawConnect(cad.socketPath())) == -1; ++i) QThread::msleep(10);
        QVERIFY(fd >= 0);
        const int flags = ::fcntl(fd, F_GETFL);
        QVERIFY(flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0);
        const auto sleeps = [] {
            rusage usage{};
            getrusage(RUSAGE_THREAD, &usage);
            return usage.ru_nvcsw;
        };
        constexpr int kCalls = 3000;
        std::string pending;
        char buffer[4096];
        long slept = 0;
        for (int id = 1; id <= kCalls; ++id) {
            const std::string request = "{\"jsonrpc\":\"2.0\",\"id\":" + std::to_string(id) +
                                        ",\"method\":\"call\",\"params\":{\"target\":" + std::to_string(model) +
                                        ",\"member\":\"AddLine\",\"args\":[[0,0,0],[1,1,0]]}}\n";
            const long before = sleeps();
            QCOMPARE(::send(fd, request.data(), request.size(), MSG_NOSIGNAL), ssize_t(request.size()));
            std::size_t end;
            while ((end = pending.find('\n')) == std::string::npos) {
                const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
                QVERIFY(n > 0);
                pending.append(buffer, std::size_t(n));
            }
            // The first calls find the server in its event loop.
            if (id > 100) slept += sleeps() - before;
            QVERIFY(pending.find("\"id\":" + std::to_string(id) + ",") != std::string::npos);
            pending.erase(0, end + 1);
        }
        ::close(fd);
        const double perCall = double(slept) / (kCalls - 100);
        qInfo("the waited client slept %.2f times per call", perCall);
        QVERIFY2(perCall < 1.3, qPrintable(QStringLiteral("%1 sleeps per call").arg(perCall)));
        QCOMPARE(setup.get(model, QStringLiteral("Count")).value(QStringLiteral("result")).toInt(), kCalls);
    }

    // With few descriptors (hard limit 40) most of 2,000 simultaneous
    // connections are refused, each one definitely; tessik-cad keeps its
    // socket file and serves again once they are gone.
    void twoThousandConnectionsAtOnce()
    {
        rlimit own{};
        QVERIFY(getrlimit(RLIMIT_NOFILE, &own) == 0);
        if (own.rlim_max < 2200) QSKIP("the hard descriptor limit is below 2,200");
        own.rlim_cur = own.rlim_max;
        QVERIFY(setrlimit(RLIMIT_NOFILE, &own) == 0);

        QTemporaryDir dir;
        CadHostProcess cad(dir.filePath(QStringLiteral("cad.sock")));
        cad.process().setChildProcessModifier([] {
            const rlimit few{40, 40};
            setrlimit(RLIMIT_NOFILE, &few);
        });
        QVERIFY(cad.start());

        std::vector<int> fds;
        QElapsedTimer clock;
        clock.start();
        while (fds.size() < 2000 && clock.elapsed() < 30000) {
            const int fd = rawConnect(cad.socketPath());
            if (fd == -1) {
                QThread::usleep(200);  // the queue is full: tessik-cad is working through it
                continue;
            }
            QVERIFY2(fd >= 0, "tessik-cad stopped listening");
            fds.push_back(fd);
        }
        QCOMPARE(fds.size(), size_t(2000));
        QVERIFY(QFile::exists(cad.socketPath()));

        // Every connection either answers or has been refused: an error
        // line or the hang-up.
        int answered = 0, refused = 0;
        std::vector<QByteArray> received(fds.size());
        std::vector<bool> done(fds.size(), false);
        for (int fd : fds) ::send(fd, kCaptionRequest.constData(), size_t(kCaptionRequest.size()), MSG_NOSIGNAL);
        clock.restart();
        while (answered + refused < int(fds.size()) && clock.elapsed() < 20000) {
            std::vector<pollfd> polls;
            std::vector<size_t> which;
            for (size_t i = 0; i < fds.size(); ++i)
                if (!done[i]) {
                    polls.push_back({fds[i], POLLIN, 0});
                    which.push_back(i);
                }
            if (::poll(polls.data(), polls.size(), 1000) <= 0) continue;
            for (size_t k = 0; k < polls.size(); ++k) {
                if (!polls[k].revents) continue;
                const size_t i = which[k];
                char bytes[4096];
                const ssize_t n = ::recv(fds[i], bytes, sizeof bytes, 0);
                if (n > 0) received[i].append(bytes, n);
                if (received[i].contains('\n') || n <= 0) {
                    done[i] = true;
                    const QJsonObject reply = QJsonDocument::fromJson(received[i].split('\n').first()).object();
                    if (reply.value(QStringLiteral("result")).isString())
                        ++answered;
                    else
                        ++refused;
                }
            }
        }
        QCOMPARE(answered + refused, int(fds.size()));
        QVERIFY(answered >= 1);
        QVERIFY(refused >= 1);
        QVERIFY(QFile::exists(cad.socketPath()));
        for (int fd : fds) ::close(fd);

        // Descriptors are free again: new clients are served.
        QTRY_VERIFY_WITH_TIMEOUT(answersCaption(cad.socketPath()), 10000);
        for (int i = 0; i < 20; ++i) QVERIFY(answersCaption(cad.socketPath()));
        QVERIFY(cad.running());
        QVERIFY(QFile::exists(cad.socketPath()));
    }

    // A 1 MB SendCommand line is answered well within a second; the typed
    // line is cut at its maximum length and the session carries on.
    void megabyteSendCommand()
    {
        QTemporaryDir dir;
        CadHostProcess cad(dir.filePath(QStringLiteral("cad.sock")));
        QVERIFY(cad.start());
        RpcClient client;
        QVERIFY(client.connectTo(cad.socketPath()));
        const qint64 doc = client.handle(client.get(0, QStringLiteral("ActiveDocument")));
        QVERIFY(doc > 0);
        const QString text = QString(1000000, u'A') + u'\n';
        client.send(QStringLiteral("call"), doc, QStringLiteral("SendCommand"),
                    QJsonObject{{QStringLiteral("args"), QJsonArray{text}}});
        const QJsonObject reply = client.next(1000);
        QVERIFY2(!reply.isEmpty(), "no reply within a second");
        QVERIFY(reply.contains(QStringLiteral("result")) || reply.contains(QStringLiteral("error")));
        QVERIFY(client.get(0, QStringLiteral("Caption")).value(QStringLiteral("result")).isString());
    }
};

QTEST_GUILESS_MAIN(AutomationLoadTest)

#include "AutomationLoadTest.moc"
