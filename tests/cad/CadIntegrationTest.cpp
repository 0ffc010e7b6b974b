// The tool and tessik-cad together: a real FrmMain drives a real tessik-cad,
// started offscreen on a private socket; the test answers the pick through a
// second connection, as a user typing a point would, and reads the drawing back.

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <atomic>
#include <csignal>
#include <sys/socket.h>
#include <sys/un.h>
#include <poll.h>
#include <unistd.h>
#include <thread>

#include "CadErrors.h"
#include "DxfDrawing.h"
#include "DxfStyle.h"
#include "CadHostProcess.h"
#include "CadRpcChannel.h"
#include "ElbowGeometry.h"
#include "FakeDesktop.h"
#include "FrmMain.h"
#include "TessikCadClient.h"

using namespace tessik;

namespace {

// A second client of tessik-cad: what the test reads and types.
class Probe {
public:
    explicit Probe(const QString& path)
    {
        auto c = CadRpcChannel::open(path);
        if (c) channel_ = c.value();
    }
    bool ok() const { return bool(channel_); }
    QJsonValue rpc(const char* method, qint64 target, const QString& member, const QByteArray& params = {})
    {
        auto id = channel_->send(method, target, member, params);
        if (!id) return QJsonValue(QString::fromStdString(id.error().description));
        auto r = channel_->wait(*id);
        return r ? r.value() : QJsonValue(QStringLiteral("error %1").arg(r.error().number));
    }
    qint64 handle(qint64 target, const char* member)
    {
        return qint64(rpc("get", target, member).toObject()["handle"].toDouble());
    }
    void type(const QString& text)
    {
        rpc("call", handle(0, "ActiveDocument"), "SendCommand", "\"args\":[" + jsonString(text) + "]");
    }

private:
    std::shared_ptr<CadRpcChannel> channel_;
};

// Watches tessik-cad's model space from a thread of its own through a plain
// blocking socket, and kills the process once the space holds `atLeast`
// entities: the drawing is cut in its middle however fast the machine is.
class KillWhenHolding {
public:
    KillWhenHolding(const QString& socket, qint64 pid, int atLeast)
        : thread_([this, path = socket.toStdString(), pid, atLeast] { watch(path, pid, atLeast); })
    {
    }
    ~KillWhenHolding()
    {
        stop_ = true;
        thread_.join();
    }
    bool killed() const { return killed_; }

private:
    // One request, one reply line's result; undefined once the link is gone.
    QJsonValue rpc(int fd, const char* method, qint64 target, const char* member)
    {
        const QByteArray line = QStringLiteral(R"({"jsonrpc":"2.0","id":1,"method":"%1","params":{"target":%2,"member":"%3"}})")
                                    .arg(QLatin1String(method)).arg(target).arg(QLatin1String(member)).toUtf8() + '\n';
        if (::send(fd, line.constData(), size_t(line.size()), MSG_NOSIGNAL) != line.size()) return QJsonValue::Undefined;
        QByteArray reply;
        while (!reply.endsWith('\n') && !stop_) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0) continue;
            char buf[4096];
            const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0) return QJsonValue::Undefined;
            reply.append(buf, n);
        }
        return QJsonDocument::fromJson(reply).object()["result"];
    }
    void watch(const std::string& path, qint64 pid, int atLeast)
    {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0) {
            const qint64 doc = qint64(rpc(fd, "get", 0, "ActiveDocument").toObject()["handle"].toDouble());
            const qint64 space = qint64(rpc(fd, "get", doc, "ModelSpace").toObject()["handle"].toDouble());
            while (!stop_ && space > 0) {
                const QJsonValue count = rpc(fd, "get", space, "Count");
                if (!count.isDouble()) break;
                if (count.toInt() >= atLeast) {
                    ::kill(pid_t(pid), SIGKILL);
                    killed_ = true;
                    break;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
        ::close(fd);
    }

    std::atomic<bool> stop_{false};
    std::atomic<bool> killed_{false};
    std::thread thread_;
};

bool waitUntilAnswering(const QString& socket)
{
    for (int i = 0; i < 100; ++i) {
        if (Probe(socket).ok()) return true;
        QTest::qWait(50);
    }
    return false;
}

// A private tessik-cad and a main window that found it running at start-up.
struct Connected {
    CadHostProcess cad;
    bool answering = cad.start() && waitUntilAnswering(cad.socketPath());
    FakeDesktop desktop;
    TessikCadAutomation automation{cad.socketPath()};
    FrmMain w{desktop, automation};

    Connected() { w.Form_Load(); }
    bool connected() const
    {
        return answering && w.LblInfo->text() == "AutoCAD已经启动。" && desktop.messageBoxes.isEmpty();
    }
    std::tuple<CadHostProcess&, FakeDesktop&, FrmMain&> parts() { return {cad, desktop, w}; }
};

void setDesign(FrmMain& w, const char* angle, const char* segments, const char* diameter, const char* radius, ElbowView view)
{
    w.CmbHd->setEditText(angle);
    w.TxtZJS->setText(segments);
    w.CmbWJ->setEditText(diameter);
    w.TxtWJ->setText(radius);
    w.OptTX[optionIndex(view)]->setChecked(true);
}

void comparePoint(const QJsonValue& got, const Point3& want)
{
    const QJsonArray a = got.toArray();
    QCOMPARE(a.size(), 3);
    for (int i = 0; i < 3; ++i) QVERIFY2(qAbs(a[i].toDouble() - want[std::size_t(i)]) < 1e-9, qPrintable(QString::number(i)));
}

}  // namespace

class CadIntegration : public QObject {
    Q_OBJECT
private slots:
    // Started as a user starts it: in the folder with the shipped data files.
    void initTestCase() { QVERIFY(QDir::setCurrent(TESSIK_DATA_DIR)); }

    void drawsTheSelectedViewIntoTessikCad_data()
    {
        QTest::addColumn<int>("option");
        QTest::addColumn<QString>("angle");
        QTest::addColumn<QString>("segments");
        QTest::newRow("front 90 N2") << int(ElbowView::Front) << "90" << "2";
        QTest::newRow("left 90 N2") << int(ElbowView::Left) << "90" << "2";
        QTest::newRow("right 60 N1") << int(ElbowView::Right) << "60" << "1";
    }

    void drawsTheSelectedViewIntoTessikCad()
    {
        QFETCH(int, option);
        const ElbowView view = kElbowViews[std::size_t(option)].view;
        QFETCH(QString, angle);
        QFETCH(QString, segments);
        Connected session;
        QVERIFY(session.connected());
        auto [cad, desktop, w] = session.parts();
        setDesign(w, qPrintable(angle), qPrintable(segments), "100", "150", view);

        Probe probe(cad.socketPath());
        QVERIFY(probe.ok());
        // The user types the point once tessik-cad has been brought forward.
        desktop.activatableTitles.clear();
        QTimer::singleShot(300, [&] { probe.type("12.5,-3\n"); });
        const auto outcome = w.CmdDraw1_Click();

        QCOMPARE(int(outcome.ending), int(ElbowDrawCommand::Ending::Drawn));
        QCOMPARE(desktop.activatedTitles.first(), "Drawing1 - Tessik CAD");
        QCOMPARE(desktop.endProgramCalls, 1);  // ChkQuit is grayed after start-up

        const auto expected = elbowView(w.record, Point3{12.5, -3, 0}, view);
        const qint64 space = probe.handle(probe.handle(0, "ActiveDocument"), "ModelSpace");
        QCOMPARE(probe.rpc("get", space, "Count").toInt(), int(expected.size()));
        for (std::size_t i = 0; i < expected.size(); ++i) {
            const qint64 e = qint64(probe.rpc("call", space, "Item", "\"args\":[" + QByteArray::number(qulonglong(i)) + "]")
                                        .toObject()["handle"].toDouble());
            if (auto* l = std::get_if<LineEntity>(&expected[i])) {
                QCOMPARE(probe.rpc("get", e, "EntityType").toInt(), 19);
                comparePoint(probe.rpc("get", e, "StartPoint"), l->start);
                comparePoint(probe.rpc("get", e, "EndPoint"), l->end);
            } else if (auto* a = std::get_if<ArcEntity>(&expected[i])) {
                QCOMPARE(probe.rpc("get", e, "EntityType").toInt(), 4);
                comparePoint(probe.rpc("get", e, "Center"), a->center);
                QVERIFY(qAbs(probe.rpc("get", e, "Radius").toDouble() - a->radius) < 1e-9);
                QVERIFY(qAbs(probe.rpc("get", e, "StartAngle").toDouble() - a->startAngle) < 1e-9);
                QVERIFY(qAbs(probe.rpc("get", e, "EndAngle").toDouble() - a->endAngle) < 1e-9);
            } else {
                const auto& el = std::get<EllipseEntity>(expected[i]);
                QCOMPARE(probe.rpc("get", e, "EntityType").toInt(), 16);
                comparePoint(probe.rpc("get", e, "Center"), el.center);
                comparePoint(probe.rpc("get", e, "MajorAxis"), el.majorAxis);
                QVERIFY(qAbs(probe.rpc("get", e, "RadiusRatio").toDouble() - el.ratio) < 1e-9);
                const double start = el.angles ? el.angles->start : 0;
                const double end = el.angles ? el.angles->end : 2 * M_PI;
                QVERIFY2(qAbs(probe.rpc("get", e, "StartAngle").toDouble() - start) < 1e-6, qPrintable(QString::number(i)));
                QVERIFY2(qAbs(probe.rpc("get", e, "EndAngle").toDouble() - end) < 1e-6, qPrintable(QString::number(i)));
            }
        }
    }

    // Every standard proposal, drawn in both side views: each view lands
    // whole. The first joint's ellipse is a circle seen edge-on, whose ratio
    // the tool computes a hair above 1 for about one design in ten.
    void everyStandardProposalLandsInBothSideViews()
    {
        Connected session;
        QVERIFY(session.connected());
        auto [cad, desktop, w] = session.parts();
        QVERIFY(w.CmbWJ->count() > 60);
        Probe probe(cad.socketPath());
        QVERIFY(probe.ok());
        const qint64 space = probe.handle(probe.handle(0, "ActiveDocument"), "ModelSpace");
        // Answers whatever pick is waiting; a point typed with none waiting is
        // an unknown command there and changes nothing.
        QTimer answer;
        answer.setInterval(20);
        QObject::connect(&answer, &QTimer::timeout, [&] { probe.type("0,0\n"); });

        int designs = 0;
        QStringList incomplete;
        for (int angle = 0; angle < w.CmbHd->count(); ++angle) {
            QVERIFY(FrmMain::selectListEntry(w.CmbHd, angle));
            for (int diameter = 0; diameter < w.CmbWJ->count(); ++diameter) {
                QVERIFY(FrmMain::selectListEntry(w.CmbWJ, diameter));
                for (ElbowView view : {ElbowView::Left, ElbowView::Right}) {
                    w.OptTX[optionIndex(view)]->setChecked(true);
                    const int before = probe.rpc("get", space, "Count").toInt();
                    answer.start();
                    const auto outcome = w.CmdDraw1_Click();
                    answer.stop();
                    const int landed = probe.rpc("get", space, "Count").toInt() - before;
                    ++designs;
                    if (outcome.ending != ElbowDrawCommand::Ending::Drawn || landed != outcome.entities ||
                        outcome.entities == 0)
                        incomplete << QStringLiteral("%1/%2/%3/%4 view %5: %6 of %7")
                                          .arg(w.CmbWJ->currentText(), w.CmbHd->currentText(), w.TxtWJ->text(),
                                               w.TxtZJS->text())
                                          .arg(optionIndex(view))
                                          .arg(landed)
                                          .arg(outcome.entities);
                }
            }
        }
        QCOMPARE(designs, 2 * w.CmbHd->count() * w.CmbWJ->count());
        QVERIFY2(incomplete.isEmpty(), qPrintable(incomplete.join(u'\n')));
        QVERIFY(desktop.messageBoxes.isEmpty());
    }

    // While the pick waits in tessik-cad the tool's windows show the wait
    // cursor; it goes however the pick ends: a point, Esc, tessik-cad gone.
    void waitCursorWhileThePickWaits()
    {
        for (const char* ending : {"picked", "cancelled", "gone"}) {
            Connected session;
            QVERIFY(session.connected());
            auto [cad, desktop, w] = session.parts();
            setDesign(w, "90", "2", "100", "150", ElbowView::Front);
            Probe probe(cad.socketPath());
            QVERIFY(probe.ok());
            int shapeWhileWaiting = -1;
            QTimer::singleShot(300, [&] {
                const QCursor* c = QGuiApplication::overrideCursor();
                shapeWhileWaiting = c ? int(c->shape()) : -1;
                if (qstrcmp(ending, "picked") == 0) probe.type("0,0\n");
                else if (qstrcmp(ending, "cancelled") == 0) probe.type(QStringLiteral("\u001b"));
                else cad.process().kill();
            });
            const auto outcome = w.CmdDraw1_Click();
            QCOMPARE(shapeWhileWaiting, int(Qt::WaitCursor));
            QVERIFY2(QGuiApplication::overrideCursor() == nullptr, ending);
            const auto expected = qstrcmp(ending, "picked") == 0 ? ElbowDrawCommand::Ending::Drawn
                                                                  : ElbowDrawCommand::Ending::NoPoint;
            QCOMPARE(int(outcome.ending), int(expected));
        }
    }

    // Layers through the real client: made with their colours, new entities
    // put on them, a layer the drawing lacks refused, and all of it in the
    // saved file's layer table and entities.
    void layersReachTheSavedFile()
    {
        CadHostProcess cad;
        QVERIFY(cad.start() && waitUntilAnswering(cad.socketPath()));
        TessikCadAutomation automation{cad.socketPath()};
        auto app = automation.getRunningInstance("AutoCAD.Application");
        QVERIFY(app);
        auto doc = app.value()->activedocument();
        QVERIFY(doc);
        auto layers = doc.value()->Layers();
        QVERIFY(layers);
        for (const auto& [name, color] : {std::pair{"CUT", 1}, std::pair{"MARK", 3}}) {
            auto layer = layers.value()->Add(name);
            QVERIFY(layer && layer.value()->setcolor(color));
            QVERIFY(layer.value()->settle());
        }
        auto bad = layers.value()->Add("TEXT");
        QVERIFY(bad && bad.value()->setcolor(300));
        QVERIFY(!bad.value()->settle());
        auto space = doc.value()->ModelSpace();
        QVERIFY(space);
        auto cut = space.value()->addline({0, 0, 0}, {100, 0, 0});
        auto mark = space.value()->addline({0, 10, 0}, {100, 10, 0});
        auto plain = space.value()->addline({0, 20, 0}, {100, 20, 0});
        auto stray = space.value()->addline({0, 30, 0}, {100, 30, 0});
        QVERIFY(cut && mark && plain && stray);
        QVERIFY(cut.value()->setLayer("CUT") && mark.value()->setLayer("MARK") && stray.value()->setLayer("NONE"));
        QVERIFY(cut.value()->settle() && mark.value()->settle() && plain.value()->settle());
        QCOMPARE(stray.value()->settle().error().number, caderr::kInvalidArgument);

        QTemporaryDir dir;
        const QString path = dir.filePath("layers.dxf");
        Probe probe(cad.socketPath());
        probe.rpc("call", probe.handle(0, "ActiveDocument"), "SaveAs", "\"args\":[" + jsonString(path) + "]");
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        auto drawing = dxf::DxfDrawing::fromBytes(file.readAll().toStdString());
        QVERIFY(drawing);
        const dxf::LayerTable table(*drawing);
        QCOMPARE(table.layer("CUT").color, 1);
        QCOMPARE(table.layer("MARK").color, 3);
        QVERIFY(drawing->hasLayer("TEXT"));
        std::vector<std::string> onLayers;
        for (std::size_t i = 0; i < drawing->entityCount(); ++i)
            onLayers.push_back(dxf::entityStyle(drawing->entityTags(i)).layer);
        QCOMPARE(onLayers, (std::vector<std::string>{"CUT", "MARK", "0", "0"}));
    }

    void tessikCadKilledBeforeTheDrawing()
    {
        Connected session;
        QVERIFY(session.connected());
        auto [cad, desktop, w] = session.parts();
        setDesign(w, "90", "2", "100", "150", ElbowView::Front);
        cad.kill();

        QElapsedTimer clock;
        clock.start();
        const auto outcome = w.CmdDraw1_Click();
        QVERIFY(clock.elapsed() < 5000);
        QCOMPARE(int(outcome.ending), int(ElbowDrawCommand::Ending::NoPoint));
        QCOMPARE(desktop.endProgramCalls, 0);
        QCOMPARE(desktop.activatedTitles.last(), "Tessik");

        // Start again: nothing runs there any more; the user declines.
        desktop.messageBoxAnswers = {msgbox::kAnswerCancel};
        w.CmdStart_Click();
        QCOMPARE(w.LblInfo->text(), "AutoCAD尚未启动。");
        QCOMPARE(desktop.messageBoxes.last().text, "AutoCAD尚未启动，现在启动吗？");
    }

    // The user closes the drawing in tessik-cad and starts another: the
    // objects taken from the first are gone, and the press says so in
    // tessik-cad's words; after Start the new drawing takes the elbow.
    void drawingClosedAndAnotherOpened()
    {
        Connected session;
        QVERIFY(session.connected());
        auto [cad, desktop, w] = session.parts();
        setDesign(w, "90", "2", "100", "150", ElbowView::Front);
        Probe probe(cad.socketPath());
        QVERIFY(probe.ok());
        QVERIFY(probe.rpc("call", probe.handle(0, "ActiveDocument"), "Close", "\"args\":[false]").isNull());
        QVERIFY(probe.rpc("call", probe.handle(0, "Documents"), "Add", "\"args\":[]").toObject()["handle"].toDouble() > 0);

        const auto outcome = w.CmdDraw1_Click();
        QCOMPARE(int(outcome.ending), int(ElbowDrawCommand::Ending::NoPoint));
        QCOMPARE(desktop.endProgramCalls, 0);
        QCOMPARE(desktop.activatedTitles.last(), "Tessik");
        QCOMPARE(desktop.messageBoxes.size(), 1);
        QCOMPARE(desktop.messageBoxes[0].title, "提醒");
        QCOMPARE(desktop.messageBoxes[0].style, msgbox::kExclamation);
        QVERIFY2(desktop.messageBoxes[0].text.contains("对象所属的图形已关闭。"), qPrintable(desktop.messageBoxes[0].text));

        w.CmdStart_Click();
        QCOMPARE(desktop.messageBoxes.size(), 1);
        QTimer::singleShot(300, [&] { probe.type("0,0\n"); });
        const auto drawn = w.CmdDraw1_Click();
        QCOMPARE(int(drawn.ending), int(ElbowDrawCommand::Ending::Drawn));
        const qint64 space = probe.handle(probe.handle(0, "ActiveDocument"), "ModelSpace");
        QCOMPARE(probe.rpc("get", space, "Count").toInt(), drawn.entities);
    }

    // tessik-cad dies while a large elbow is on its way: the tool says the
    // connection was lost and counts only what was not confirmed, which can
    // never exceed what was sent nor be all of it once replies came back.
    void tessikCadKilledMidDrawing()
    {
        Connected session;
        QVERIFY(session.connected());
        auto [cad, desktop, w] = session.parts();
        setDesign(w, "90", "20000", "100", "150", ElbowView::Front);
        Probe probe(cad.socketPath());
        QVERIFY(probe.ok());
        desktop.activatableTitles.clear();
        QTimer::singleShot(300, [&] { probe.type("0,0\n"); });
        KillWhenHolding killer(cad.socketPath(), cad.processId(), 2000);
        const auto outcome = w.CmdDraw1_Click();
        QVERIFY(killer.killed());

        QCOMPARE(int(outcome.ending), int(ElbowDrawCommand::Ending::PartlyDrawn));
        QVERIFY(outcome.connectionLost);
        QCOMPARE(outcome.entities, 3 * 20000 + 8);
        QVERIFY2(outcome.failed > 0 && outcome.failed < outcome.entities, qPrintable(QString::number(outcome.failed)));
        QCOMPARE(desktop.endProgramCalls, 0);
        const QString told = desktop.messageBoxes.last().text;
        QVERIFY2(told.startsWith(QStringLiteral("共 %1 个图元，其中 %2 个未得到 CAD 程序的确认，与 CAD 程序的连接已中断。")
                                     .arg(outcome.entities)
                                     .arg(outcome.failed)),
                 qPrintable(told));
    }

    void tessikCadNotInstalled()
    {
        QTemporaryDir empty;
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", empty.path().toLocal8Bit());
        FakeDesktop desktop;
        TessikCadAutomation automation(empty.filePath("cad.sock"), {empty.path()});
        FrmMain w(desktop, automation);
        w.Form_Load();
        qputenv("PATH", path);
        QCOMPARE(w.LblInfo->text(), "AutoCAD启动失败!");
        QCOMPARE(desktop.messageBoxes.size(), 2);
        QCOMPARE(desktop.messageBoxes[1].title, "Tessik");
        QCOMPARE(desktop.messageBoxes[1].style, 0);
        const QString said = desktop.messageBoxes[1].text;
        QVERIFY2(said.contains("找不到 tessik-cad") && said.contains("429") && !said.contains("ActiveX"), qPrintable(said));
    }

    void launchesTessikCadWhenAsked()
    {
        QTemporaryDir dir;
        const QString socket = dir.filePath("cad.sock");
        FakeDesktop desktop;
        TessikCadAutomation automation(socket, {QFileInfo(CadHostProcess::program()).absolutePath()});
        FrmMain w(desktop, automation);
        w.Form_Load();
        // The launched instance holds its lock file, which names its process.
        QFile lock(socket + ".lock");
        const qint64 pid = lock.open(QIODevice::ReadOnly) ? lock.readLine().trimmed().toLongLong() : 0;
        const auto stop = qScopeGuard([pid] {
            if (pid > 0) ::kill(pid_t(pid), SIGKILL);
        });
        QCOMPARE(w.LblInfo->text(), "AutoCAD已经启动。");
        QCOMPARE(desktop.messageBoxes.size(), 1);
        QCOMPARE(desktop.messageBoxes[0].style, 33);
        QVERIFY(w.cadObjects().acadUtil);
        Probe probe(socket);
        QCOMPARE(probe.rpc("get", 0, "Visible").toBool(), true);
        QVERIFY(pid > 0);
    }
};

QTEST_MAIN(CadIntegration)
#include "CadIntegrationTest.moc"
