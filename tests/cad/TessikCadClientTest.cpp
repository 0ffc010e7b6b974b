#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMouseEvent>
#include <QPushButton>
#include <QTemporaryDir>
#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/un.h>
#include <unistd.h>

#include "CadErrors.h"
#include "CadRpcChannel.h"
#include "ScriptedCadServer.h"
#include "TessikCadClient.h"

namespace tessik {
namespace {

class Client : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        static int argc = 1;
        static char name[] = "cad_client_tests";
        static char* argv[] = {name, nullptr};
        // gtest_discover_tests passes only the first entry of the test environment.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        if (!qApp) new QApplication(argc, argv);
    }

    ScriptedCadServer server;
    // A hang shows as a failure, not a stuck run.
    TessikCadAutomation automation{server.path, {}, TessikCadAutomation::kDefaultLaunchTimeoutMs, 3000};

    std::shared_ptr<CadApplication> connect()
    {
        auto app = automation.getRunningInstance("autocad.application");
        EXPECT_TRUE(app.ok()) << (app.ok() ? "" : app.error().description);
        return app.ok() ? app.value() : nullptr;
    }
    std::shared_ptr<CadModelSpace> modelSpace(CadApplication& app)
    {
        auto doc = app.activedocument();
        EXPECT_TRUE(doc.ok());
        auto ms = doc.value()->ModelSpace();
        EXPECT_TRUE(ms.ok());
        EXPECT_TRUE(ms.value()->settle().ok());
        return ms.value();
    }
    // n lines, each through application -> activedocument -> ModelSpace, as the draw command sends them.
    std::vector<Result<std::shared_ptr<CadEntity>>> lines(CadApplication& app, int n)
    {
        std::vector<Result<std::shared_ptr<CadEntity>>> out;
        for (int i = 0; i < n; ++i) {
            auto doc = app.activedocument();
            if (!doc) { out.push_back(doc.error()); continue; }
            auto ms = doc.value()->ModelSpace();
            if (!ms) { out.push_back(ms.error()); continue; }
            out.push_back(ms.value()->addline({double(i), 0, 0}, {double(i), 1, 0}));
        }
        return out;
    }
};

TEST_F(Client, SpeaksJsonRpcWithMembersAsWritten)
{
    auto app = connect();
    ASSERT_TRUE(app);
    auto caption = app->Caption();
    ASSERT_TRUE(caption.ok());
    EXPECT_EQ(*caption, "Drawing1 - Tessik CAD");
    auto ms = modelSpace(*app);
    auto made = ms->addarc({0, -150, 0}, 150, 0, 1.5707963);
    ASSERT_TRUE(made.ok());
    ASSERT_TRUE(made.value()->settle().ok());

    ASSERT_EQ(server.requests.size(), 4);
    const QJsonObject first = server.requests[0];
    EXPECT_EQ(first["jsonrpc"].toString(), "2.0");
    EXPECT_EQ(first["method"].toString(), "get");
    EXPECT_EQ(first["params"].toObject()["target"].toInt(), 0);
    EXPECT_EQ(first["params"].toObject()["member"].toString(), "Caption");
    EXPECT_EQ(server.requests[1]["params"].toObject()["member"].toString(), "ActiveDocument");
    EXPECT_EQ(server.requests[2]["params"].toObject()["target"].toInt(), 1);
    const QJsonObject arc = server.requests[3]["params"].toObject();
    EXPECT_EQ(server.requests[3]["method"].toString(), "call");
    EXPECT_EQ(arc["member"].toString(), "AddArc");
    EXPECT_EQ(arc["target"].toInt(), 2);
    EXPECT_EQ(arc["args"].toArray(), (QJsonArray{QJsonArray{0, -150, 0}, 150, 0, 1.5707963}));
    QSet<int> ids;
    for (const auto& r : server.requests) ids << r["id"].toInt();
    EXPECT_EQ(ids.size(), 4) << "every request has its own id";
}

TEST_F(Client, SendsLinesWithoutWaitingOnceTheLookupsAreKnown)
{
    auto app = connect();
    ASSERT_TRUE(app);
    // The first two lines teach the client the lookups; the next 30 lines'
    // 90 requests get no reply until all of them have arrived.
    server.holdRepliesFrom = 6;
    server.releaseAt = 6 + 90;
    auto sent = lines(*app, 32);
    for (auto& r : sent) {
        ASSERT_TRUE(r.ok()) << r.error().description;
        EXPECT_TRUE(r.value()->settle().ok());
    }
    ASSERT_EQ(server.requests.size(), 96);
    EXPECT_EQ(server.repliesSentWhenReceived.last(), 6) << "the last request was sent before any held reply";
    EXPECT_EQ(server.requests.last()["params"].toObject()["args"].toArray()[0].toArray()[0].toInt(), 31);
}

TEST_F(Client, AFailedCallIsReportedOnItsOwnEntity)
{
    auto app = connect();
    ASSERT_TRUE(app);
    server.override = [](const QJsonObject& req, int index) -> std::optional<QJsonObject> {
        if (index == 3 * 6 + 2) return ScriptedCadServer::error(req["id"].toInteger(), -2145320939, "第七条线无效");
        return std::nullopt;
    };
    auto sent = lines(*app, 12);
    for (int i = 0; i < 12; ++i) {
        ASSERT_TRUE(sent[std::size_t(i)].ok());
        const Status s = sent[std::size_t(i)].value()->settle();
        EXPECT_EQ(s.ok(), i != 6) << i;
        if (!s.ok()) {
            EXPECT_EQ(s.error().number, caderr::kInvalidArgument);
            EXPECT_EQ(s.error().description, "第七条线无效");
        }
    }
}

TEST_F(Client, ALineMeantForANewlyActiveDrawingIsNeverCountedAsDrawn)
{
    auto app = connect();
    ASSERT_TRUE(app);
    // After five lines the user switches drawings: document 7 with model space 8.
    const int switchAt = 14;
    server.afterRequest = [this](int index) {
        if (index == switchAt) {
            server.document = 7;
            server.modelSpace = 8;
        }
    };
    auto sent = lines(*app, 12);
    for (int i = 0; i < 12; ++i) {
        ASSERT_TRUE(sent[std::size_t(i)].ok());
        const Status s = sent[std::size_t(i)].value()->settle();
        const int addline = 3 * i + 2;
        const bool misdirected = addline > switchAt && server.requests[addline]["params"].toObject()["target"].toInt() == 2;
        EXPECT_EQ(s.ok(), !misdirected) << i;
        if (misdirected) {
            EXPECT_EQ(s.error().number, caderr::kObjectChanged);
        }
    }
    // Once the new answers are known, lines reach the new model space.
    for (auto& r : lines(*app, 3)) EXPECT_TRUE(r.ok() && r.value()->settle().ok());
    EXPECT_EQ(server.requests.last()["params"].toObject()["target"].toInt(), 8);
}

TEST_F(Client, ABrokenConnectionFailsEveryLaterCallWithoutHanging)
{
    auto app = connect();
    ASSERT_TRUE(app);
    server.afterRequest = [this](int index) {
        if (index == 20) server.client->abort();
    };
    QElapsedTimer clock;
    clock.start();
    auto sent = lines(*app, 20);
    int failed = 0;
    for (auto& r : sent)
        if (!r.ok() || !r.value()->settle().ok()) ++failed;
    EXPECT_GE(failed, 13);
    auto caption = app->Caption();
    ASSERT_FALSE(caption.ok());
    EXPECT_EQ(caption.error().number, caderr::kServerUnavailable);
    EXPECT_FALSE(app->activedocument().ok());
    EXPECT_LT(clock.elapsed(), 2000);
}

TEST_F(Client, AServerThatStopsAnsweringBreaksTheConnectionAtTheDeadline)
{
    TessikCadAutomation impatient{server.path, {}, TessikCadAutomation::kDefaultLaunchTimeoutMs, 300};
    auto connected = impatient.getRunningInstance("autocad.application");
    ASSERT_TRUE(connected.ok());
    auto app = connected.value();
    server.holdRepliesFrom = 0;
    server.releaseAt = 1000000;
    auto caption = app->Caption();
    ASSERT_FALSE(caption.ok());
    EXPECT_EQ(caption.error().number, caderr::kServerUnavailable);
    EXPECT_FALSE(app->setVisible(true).ok());
}

TEST_F(Client, NonFiniteArgumentsAreRefusedBeforeSending)
{
    auto app = connect();
    ASSERT_TRUE(app);
    auto ms = modelSpace(*app);
    const auto before = server.requests.size();
    auto r = ms->addline({std::numeric_limits<double>::infinity(), 0, 0}, {0, 0, 0});
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().number, caderr::kInvalidArgument);
    EXPECT_EQ(server.requests.size(), before);
}

struct PickCase {
    const char* name;
    QJsonValue answer;  // a number: the error code answered
    bool hangUp;
    std::int32_t expectedError;  // 0: a point
};

class Pick : public Client, public ::testing::WithParamInterface<PickCase> {};

TEST_P(Pick, WaitsForTheUserWithoutTakingInput)
{
    const PickCase& c = GetParam();
    auto app = connect();
    ASSERT_TRUE(app);
    auto doc = app->activedocument();
    auto util = doc.value()->utility();
    ASSERT_TRUE(util.ok());
    server.pickDelayMs = 400;
    server.pickAnswer = c.answer;
    if (c.hangUp) server.afterRequest = [this](int) { QTimer::singleShot(200, server.client, &QLocalSocket::abort); };

    QPushButton button("draw");
    button.show();
    int clicks = 0, ticks = 0;
    QObject::connect(&button, &QPushButton::clicked, [&] { ++clicks; });
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] { ++ticks; });
    tick.start(20);
    QTimer::singleShot(100, [&] {
        const QPointF at(5, 5);
        QApplication::postEvent(&button, new QMouseEvent(QEvent::MouseButtonPress, at, button.mapToGlobal(at),
                                                         Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
        QApplication::postEvent(&button, new QMouseEvent(QEvent::MouseButtonRelease, at, button.mapToGlobal(at),
                                                         Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
    });

    auto p = util.value()->getpoint("请输入第一点");
    QApplication::processEvents();

    EXPECT_EQ(clicks, 0) << "the click during the wait was swallowed";
    EXPECT_GE(ticks, 5) << "timers (and painting) went on during the wait";
    EXPECT_TRUE(button.isVisible());
    const QJsonObject req = server.requests.last();
    EXPECT_EQ(req["params"].toObject()["args"].toArray(), (QJsonArray{QJsonValue::Null, "请输入第一点"}));
    if (c.expectedError == 0) {
        ASSERT_TRUE(p.ok());
        EXPECT_EQ(*p, (CadPoint{1.5, -2.5, 0}));
    } else {
        ASSERT_FALSE(p.ok());
        EXPECT_EQ(p.error().number, c.expectedError);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Client, Pick,
    ::testing::Values(PickCase{"Picked", QJsonArray{1.5, -2.5, 0}, false, 0},
                      PickCase{"Cancelled", -2147352567.0, false, caderr::kPickCancelled},
                      PickCase{"NotAPoint", QJsonArray{1, 2}, false, 13},
                      PickCase{"CadClosedDuringPick", QJsonArray{1, 2, 3}, true, caderr::kServerUnavailable}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Client, NoRunningInstanceWhenNobodyListens)
{
    QTemporaryDir dir;
    const QString stale = dir.filePath("stale.sock");
    // A socket file left behind by a process that is gone.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, stale.toLocal8Bit().constData(), sizeof addr.sun_path - 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ::close(fd);

    for (const QString& path : {dir.filePath("missing.sock"), stale}) {
        TessikCadAutomation none(path);
        auto app = none.getRunningInstance("autocad.application");
        ASSERT_FALSE(app.ok()) << path.toStdString();
        EXPECT_EQ(app.error().number, caderr::kCannotCreateObject);
    }
    EXPECT_FALSE(automation.getRunningInstance("excel.application").ok());
}

TEST_F(Client, LaunchFailuresSayWhatWentWrong)
{
    QTemporaryDir bin;
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", bin.path().toLocal8Bit());
    TessikCadAutomation notInstalled(server.path + ".none", {bin.path()}, 2000);
    auto missing = notInstalled.createInstance("autocad.application");
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error().number, caderr::kCannotCreateObject);
    EXPECT_NE(missing.error().description.find("找不到 tessik-cad"), std::string::npos) << missing.error().description;

    QFile script(bin.filePath("tessik-cad"));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\nexit 3\n");
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QElapsedTimer clock;
    clock.start();
    auto exited = notInstalled.createInstance("autocad.application");
    qputenv("PATH", path);
    ASSERT_FALSE(exited.ok());
    EXPECT_NE(exited.error().description.find("启动后随即退出"), std::string::npos) << exited.error().description;
    EXPECT_LT(clock.elapsed(), 1900) << "a program that exits is not waited for until the deadline";
}

// A socket whose folder others can write could be swapped for theirs at any
// moment: the client refuses it before it connects, even while it is ours.
TEST_F(Client, RefusesASocketInAFolderOthersCanWrite)
{
    ASSERT_EQ(::chmod(QFile::encodeName(server.dir.path()).constData(), 0777), 0);
    auto app = automation.getRunningInstance("autocad.application");
    ASSERT_FALSE(app.ok());
    EXPECT_EQ(app.error().number, caderr::kCannotCreateObject);
    EXPECT_NE(app.error().description.find(server.dir.path().toStdString()), std::string::npos) << app.error().description;
    EXPECT_FALSE(server.server.waitForNewConnection(200)) << "the client must not even connect to such a socket";
    ::chmod(QFile::encodeName(server.dir.path()).constData(), 0700);
    EXPECT_TRUE(automation.getRunningInstance("autocad.application").ok());
}

// A second account, made for the test, plays the other user on the machine.
class OtherUser {
public:
    OtherUser() : name_("tkplant" + std::to_string(::getpid()))
    {
        if (std::system(("useradd -M -N -r -s /usr/sbin/nologin " + name_).c_str()) != 0) return;
        if (const passwd* pw = ::getpwnam(name_.c_str())) uid_ = pw->pw_uid, gid_ = pw->pw_gid;
    }
    ~OtherUser() { std::system(("userdel " + name_ + " 2>/dev/null").c_str()); }
    bool ok() const { return uid_ > 0; }
    uid_t uid() const { return uid_; }

    // Binds a listening socket at path as this user and reports whether
    // anyone connected to it or sent a byte within the time it waits.
    // Returns the report pipe's read end, -1 when the plant failed.
    int plant(const std::string& path, pid_t& child) const
    {
        int report[2];
        if (::pipe(report) != 0) return -1;
        child = ::fork();
        if (child == 0) {
            ::close(report[0]);
            char outcome = 'F';  // could not plant
            if (::setgid(gid_) == 0 && ::setuid(uid_) == 0) {
                const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
                sockaddr_un addr{};
                addr.sun_family = AF_UNIX;
                std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
                ::unlink(path.c_str());  // the victim's own socket, if any, goes first
                if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 && ::listen(fd, 4) == 0) {
                    (void)!::write(report[1], "P", 1);  // planted
                    pollfd wait{fd, POLLIN, 0};
                    outcome = ::poll(&wait, 1, 1500) > 0 ? 'C' : 'N';  // connected / nobody came
                }
            }
            (void)!::write(report[1], &outcome, 1);
            ::_exit(0);
        }
        ::close(report[1]);
        return report[0];
    }

private:
    std::string name_;
    uid_t uid_ = 0;
    gid_t gid_ = 0;
};

TEST(PlantedSocket, AnotherUsersSocketIsRefusedBeforeAnythingIsSent)
{
    if (::getuid() != 0) GTEST_SKIP() << "needs root to make and remove a second user account";
    OtherUser other;
    ASSERT_TRUE(other.ok()) << "useradd failed";
    // A folder the other user can reach: our own left open (0777), and one
    // the other user made himself.
    char open[] = "/tmp/tessik-plant-XXXXXX";
    ASSERT_NE(::mkdtemp(open), nullptr);
    ASSERT_EQ(::chmod(open, 0777), 0);
    char his[] = "/tmp/tessik-his-XXXXXX";
    ASSERT_NE(::mkdtemp(his), nullptr);
    ASSERT_EQ(::chown(his, other.uid(), 0), 0);

    for (const char* folder : {static_cast<const char*>(open), static_cast<const char*>(his)}) {
        const std::string path = std::string(folder) + "/cad.sock";
        pid_t child = 0;
        const int report = other.plant(path, child);
        ASSERT_GE(report, 0);
        char planted = 0;
        ASSERT_EQ(::read(report, &planted, 1), 1);
        ASSERT_EQ(planted, 'P') << "the other user could not plant his socket in " << folder;

        TessikCadAutomation victim(QString::fromStdString(path));
        auto app = victim.getRunningInstance("autocad.application");
        ASSERT_FALSE(app.ok()) << folder;
        EXPECT_EQ(app.error().number, caderr::kCannotCreateObject);
        EXPECT_NE(app.error().description.find(folder), std::string::npos) << app.error().description;

        char outcome = 0;
        ASSERT_EQ(::read(report, &outcome, 1), 1);
        EXPECT_EQ(outcome, 'N') << "the client reached the planted socket in " << folder;
        ::close(report);
        ::waitpid(child, nullptr, 0);
        ::unlink(path.c_str());
    }
    ::rmdir(open);
    ::rmdir(his);
}

}  // namespace
}  // namespace tessik
