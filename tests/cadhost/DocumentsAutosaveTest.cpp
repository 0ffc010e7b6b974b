// The Documents collection, autosave and recovery after a kill or SIGTERM,
// through the real socket of real tessik-cad processes.

#include <algorithm>
#include <csignal>
#include <memory>

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalSocket>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include "CadHostProcess.h"
#include "model/DxfFile.h"

namespace {
constexpr int kFailed = -2147467259;
constexpr int kInvalidArgument = -2145320939;

QJsonArray pt(double x, double y) { return QJsonArray{x, y, 0.0}; }
QJsonValue result(const QJsonObject& reply) { return reply.value(QStringLiteral("result")); }

// n AddLine requests in one go, ids from 10.
QByteArray addLineBurst(qint64 space, int n)
{
    QByteArray burst;
    for (int i = 0; i < n; ++i)
        burst += QStringLiteral("{\"jsonrpc\":\"2.0\",\"id\":%1,\"method\":\"call\",\"params\":{\"target\":%2,"
                                "\"member\":\"AddLine\",\"args\":[[%1,0,0],[%1,1,0]]}}\n")
                     .arg(i + 10)
                     .arg(space)
                     .toUtf8();
    return burst;
}

// One tessik-cad on its own socket, with a client and the handles a test needs.
struct Cad {
    explicit Cad(const QString& socket) : process(std::make_unique<CadHostProcess>(socket)) {}
    bool start(const QStringList& args = {})
    {
        if (!process->start(args)) return false;
        client = std::make_unique<RpcClient>();
        return client->connectTo(process->socketPath());
    }
    qint64 doc() { return client->handle(client->get(0, QStringLiteral("ActiveDocument"))); }
    qint64 model() { return client->handle(client->get(doc(), QStringLiteral("ModelSpace"))); }
    qint64 count() { return result(client->get(model(), QStringLiteral("Count"))).toInteger(-1); }
    QJsonValue docValue(const char* member) { return result(client->get(doc(), QString::fromLatin1(member))); }
    void addLines(int n, double y)
    {
        const qint64 space = model();
        for (int i = 0; i < n; ++i) client->call(space, QStringLiteral("AddLine"), {pt(i, y), pt(i + 1, y + 1)});
    }
    void kill9()
    {
        ::kill(pid_t(process->process().processId()), SIGKILL);
        process->process().waitForFinished(5000);
    }
    std::unique_ptr<CadHostProcess> process;
    std::unique_ptr<RpcClient> client;
};

}  // namespace

class DocumentsAutosaveTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

    QString socket(const char* name) const { return dir_.filePath(QString::fromLatin1(name)); }
    QStringList copies() const
    {
        return QDir(dir_.filePath(QStringLiteral("state/tessik/autosave"))).entryList({QStringLiteral("*.dxf")}, QDir::Files);
    }
    // Waits until n copies are on disk and one of them was written after
    // this call, so after every edit answered before it.
    bool waitForCopies(int n)
    {
        const QDateTime since = QDateTime::currentDateTime();
        const QDir folder(dir_.filePath(QStringLiteral("state/tessik/autosave")));
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 20000) {
            const QFileInfoList found = folder.entryInfoList({QStringLiteral("*.dxf")}, QDir::Files);
            const bool fresh = std::any_of(found.begin(), found.end(),
                                           [&](const QFileInfo& f) { return f.lastModified() > since; });
            if (found.size() >= n && fresh) return true;
            QThread::msleep(20);
        }
        return false;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        qputenv("TESSIK_CAD_AUTOSAVE_SECONDS", "0.2");
    }

    void documentsAddAndOpenNeverDropChanges()
    {
        const QString file = dir_.filePath(QStringLiteral("plan.dxf"));
        Cad cad(socket("docs.sock"));
        QVERIFY(cad.start());
        RpcClient& c = *cad.client;
        const qint64 docs = c.handle(c.get(0, QStringLiteral("Documents")));
        QVERIFY(docs > 0);
        QCOMPARE(result(c.get(docs, QStringLiteral("Count"))).toInt(), 1);
        QCOMPARE(c.handle(c.call(docs, QStringLiteral("Item"), {0})), cad.doc());
        QCOMPARE(errorCode(c.call(docs, QStringLiteral("Item"), {1})), kInvalidArgument);

        cad.addLines(2, 0);
        QCOMPARE(cad.docValue("Saved").toBool(), false);
        QCOMPARE(errorCode(c.call(docs, QStringLiteral("Add"))), kFailed);
        QCOMPARE(errorCode(c.call(docs, QStringLiteral("Open"), {file})), kFailed);
        QCOMPARE(cad.count(), 2);
        QCOMPARE(errorCode(c.call(cad.doc(), QStringLiteral("SaveAs"), {file})), 0);

        // Saved: Add replaces it with a new, empty drawing.
        const qint64 added = c.handle(c.call(docs, QStringLiteral("Add")));
        QCOMPARE(added, cad.doc());
        QCOMPARE(cad.count(), 0);
        QCOMPARE(cad.docValue("Saved").toBool(), true);
        QCOMPARE(result(c.get(docs, QStringLiteral("Count"))).toInt(), 1);

        const qint64 opened = c.handle(c.call(docs, QStringLiteral("Open"), {file}));
        QCOMPARE(opened, cad.doc());
        QCOMPARE(cad.count(), 2);
        QCOMPARE(cad.docValue("FullName").toString(), file);
        // A file that cannot be read leaves the open drawing as it was.
        QCOMPARE(errorCode(c.call(docs, QStringLiteral("Open"), {dir_.filePath(QStringLiteral("none.dxf"))})), kFailed);
        QCOMPARE(errorCode(c.call(docs, QStringLiteral("Open"), {dir_.path()})), kInvalidArgument);
        QCOMPARE(cad.docValue("FullName").toString(), file);

        QCOMPARE(errorCode(c.call(cad.doc(), QStringLiteral("Close"))), 0);
        QCOMPARE(result(c.get(docs, QStringLiteral("Count"))).toInt(), 0);
        QCOMPARE(errorCode(c.call(docs, QStringLiteral("Item"), {0})), kInvalidArgument);
        QVERIFY(c.handle(c.call(docs, QStringLiteral("Add"))) > 0);
        cad.kill9();

        // --automation FILE opens it at start, as the window's start does.
        Cad again(socket("docs.sock"));
        QVERIFY(again.start({file}));
        QCOMPARE(again.count(), 2);
        QCOMPARE(again.docValue("FullName").toString(), file);
        QCOMPARE(again.docValue("Saved").toBool(), true);
    }

    void killedInstanceIsRecoveredWithItsPath()
    {
        const QString file = dir_.filePath(QStringLiteral("kept.dxf"));
        Cad cad(socket("kill.sock"));
        QVERIFY(cad.start());
        cad.addLines(1, 0);
        QCOMPARE(errorCode(cad.client->call(cad.doc(), QStringLiteral("SaveAs"), {file})), 0);
        QVERIFY(copies().isEmpty());
        cad.addLines(3, 5);
        QVERIFY(cad.client->handle(cad.client->call(cad.model(), QStringLiteral("AddCircle"), {pt(7, 7), 2.5})) > 0);
        QVERIFY(waitForCopies(1));
        // Writing the copy leaves the drawing's own state alone.
        QCOMPARE(cad.docValue("Saved").toBool(), false);
        QCOMPARE(cad.docValue("FullName").toString(), file);
        cad.kill9();

        Cad next(socket("kill.sock"));
        QVERIFY(next.start());
        QCOMPARE(next.count(), 5);
        QCOMPARE(next.docValue("Saved").toBool(), false);
        QCOMPARE(next.docValue("FullName").toString(), file);
        QCOMPARE(next.docValue("Name").toString(), QStringLiteral("kept.dxf"));
        const qint64 circle = next.client->handle(next.client->call(next.model(), QStringLiteral("Item"), {4}));
        QCOMPARE(result(next.client->get(circle, QStringLiteral("Radius"))).toDouble(), 2.5);
        // Saving puts the work where it belongs and the copy goes.
        QCOMPARE(errorCode(next.client->call(next.doc(), QStringLiteral("Save"))), 0);
        QVERIFY(copies().isEmpty());
        next.kill9();
        // Nothing is left to recover: the next start has a new drawing.
        Cad fresh(socket("kill.sock"));
        QVERIFY(fresh.start());
        QCOMPARE(fresh.count(), 0);
        QCOMPARE(fresh.docValue("FullName").toString(), QString());
    }

    void instancesOnTwoSocketsKeepTheirOwnCopies()
    {
        Cad a(socket("a.sock"));
        QVERIFY(a.start());
        a.addLines(3, 0);
        QVERIFY(waitForCopies(1));
        // A live instance's copy is not anyone else's to recover.
        Cad b(socket("b.sock"));
        QVERIFY(b.start());
        QCOMPARE(b.count(), 0);
        QCOMPARE(b.docValue("Saved").toBool(), true);
        b.addLines(1, 9);
        QVERIFY(waitForCopies(2));
        a.kill9();
        b.kill9();

        Cad b2(socket("b.sock"));
        QVERIFY(b2.start());
        QCOMPARE(b2.count(), 1);
        Cad a2(socket("a.sock"));
        QVERIFY(a2.start());
        QCOMPARE(a2.count(), 3);
        QCOMPARE(a2.docValue("Name").toString(), QStringLiteral("Drawing1"));
        QCOMPARE(a2.docValue("FullName").toString(), QString());
        // Discarding the recovered work removes its copy, and only its own.
        QCOMPARE(errorCode(a2.client->call(a2.doc(), QStringLiteral("Close"), {false})), 0);
        QCOMPARE(copies().size(), 1);
        QCOMPARE(errorCode(b2.client->call(b2.doc(), QStringLiteral("Close"), {false})), 0);
        QVERIFY(copies().isEmpty());
    }

    // Every edit reaches the copy: a paper-space addition to a drawing that
    // already has unsaved changes too.
    void paperSpaceEditsReachTheCopy()
    {
        Cad cad(socket("paper.sock"));
        QVERIFY(cad.start());
        RpcClient& c = *cad.client;
        cad.addLines(1, 0);
        QVERIFY(waitForCopies(1));
        const qint64 paper = c.handle(c.get(cad.doc(), QStringLiteral("PaperSpace")));
        QCOMPARE(errorCode(c.call(paper, QStringLiteral("AddLine"), {pt(0, 0), pt(297, 210)})), 0);
        QVERIFY(waitForCopies(1));
        cad.kill9();
        const QStringList written = copies();
        QCOMPARE(written.size(), 1);
        const QString copy = dir_.filePath(QStringLiteral("state/tessik/autosave/") + written.front());
        auto read = tessik::cadhost::readDxf(copy);
        QVERIFY(read.ok());
        QCOMPARE(read->document->modelSpace().count(), 1);
        QCOMPARE(read->document->paperSpace().count(), 1);
        // Gone, as the user's discarding would leave it.
        QFile::remove(copy);
        QFile::remove(copy.chopped(4) + QStringLiteral(".json"));
    }

    void sigtermWritesTheCopyBeforeEnding()
    {
        qputenv("TESSIK_CAD_AUTOSAVE_SECONDS", "600");
        Cad cad(socket("term.sock"));
        QVERIFY(cad.start());
        cad.addLines(2, 3);
        QVERIFY(copies().isEmpty());
        cad.process->process().terminate();
        QVERIFY(cad.process->process().waitForFinished(10000));
        QCOMPARE(cad.process->process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(copies().size(), 1);

        Cad next(socket("term.sock"));
        QVERIFY(next.start());
        qputenv("TESSIK_CAD_AUTOSAVE_SECONDS", "0.2");
        QCOMPARE(next.count(), 2);
        QCOMPARE(next.docValue("Saved").toBool(), false);
    }

    // Leftovers in the autosave folder: a copy that cannot be read is set
    // aside under a name of its own each time, never over an earlier one,
    // and a copy left by an instance on another socket that died is
    // mentioned at start (one whose instance is alive is not).
    void autosaveLeftoversAreKeptAndMentioned()
    {
        const QDir folder(dir_.filePath(QStringLiteral("state/tessik/autosave")));
        QStringList before = copies();
        Cad cad(socket("left.sock"));
        QVERIFY(cad.start());
        cad.addLines(2, 0);
        QVERIFY(waitForCopies(int(before.size()) + 1));
        cad.kill9();
        QStringList made = copies();
        for (const QString& old : before) made.removeOne(old);
        QCOMPARE(made.size(), 1);
        const QStringList damaged{QStringLiteral("first damaged copy"), QStringLiteral("second damaged copy")};
        for (const QString& text : damaged) {
            QFile copy(folder.filePath(made.front()));
            QVERIFY(copy.open(QIODevice::WriteOnly | QIODevice::Truncate));
            copy.write(text.toUtf8());
            copy.close();
            Cad next(socket("left.sock"));
            QVERIFY(next.start());
            QCOMPARE(next.count(), 0);
        }
        QStringList kept;
        for (const QString& name : folder.entryList({QStringLiteral("*unreadable*")}, QDir::Files)) {
            QFile f(folder.filePath(name));
            QVERIFY(f.open(QIODevice::ReadOnly));
            kept << QString::fromUtf8(f.readAll());
            QVERIFY(f.remove());
        }
        kept.sort();
        QCOMPARE(kept, damaged);

        Cad gone(socket("gone.sock"));
        QVERIFY(gone.start());
        gone.addLines(3, 0);
        before = copies();
        QVERIFY(waitForCopies(int(before.size())));
        gone.kill9();
        Cad other(socket("other.sock"));
        other.process->keepStandardError();
        QVERIFY(other.start());
        QCOMPARE(other.count(), 0);
        const QString said = other.process->standardError();
        QVERIFY2(said.contains(socket("gone.sock")), qPrintable(said));
        // Recovered by its own socket, the copy belongs to a live instance again.
        Cad back(socket("gone.sock"));
        QVERIFY(back.start());
        QCOMPARE(back.count(), 3);
        Cad third(socket("third.sock"));
        third.process->keepStandardError();
        QVERIFY(third.start());
        QCOMPARE(third.count(), 0);
        QVERIFY(!third.process->standardError().contains(socket("gone.sock")));
        QCOMPARE(errorCode(back.client->call(back.doc(), QStringLiteral("Close"), {false})), 0);
    }

    // The copy is written on a thread of its own: one under way when the
    // changes are undone back to the saved drawing must not bring the copy
    // back after it was removed.
    void aWriteUnderWayNeverOutlivesTheChanges()
    {
        qputenv("TESSIK_CAD_AUTOSAVE_SECONDS", "0.01");
        const QStringList before = copies();
        Cad cad(socket("busy.sock"));
        QVERIFY(cad.start());
        qputenv("TESSIK_CAD_AUTOSAVE_SECONDS", "0.2");
        RpcClient& c = *cad.client;
        c.sendRaw(addLineBurst(cad.model(), 20000));
        for (int i = 0; i < 20000; ++i) QCOMPARE(errorCode(c.next()), 0);
        QCOMPARE(errorCode(c.call(cad.doc(), QStringLiteral("SaveAs"), {dir_.filePath(QStringLiteral("busy.dxf"))})), 0);
        for (int round = 0; round < 10; ++round) {
            cad.addLines(1, round);
            QThread::msleep(5 + 3 * round);
            QCOMPARE(errorCode(c.call(cad.doc(), QStringLiteral("SendCommand"), {QStringLiteral("U\n")})), 0);
            QCOMPARE(cad.docValue("Saved").toBool(), true);
        }
        QThread::msleep(300);
        QCOMPARE(copies(), before);
    }

    // With an autosave folder that cannot be made, a signal's end still keeps
    // unsaved changes: in an emergency copy beside the drawing's file or in
    // the temporary folder, named on standard error; with nowhere to write
    // them, the exit code says they are lost.
    void sigtermWithoutAutosaveWritesAnEmergencyCopy()
    {
        const QString notAFolder = dir_.filePath(QStringLiteral("state-is-a-file"));
        QFile blocker(notAFolder);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const QString temp = dir_.filePath(QStringLiteral("tmp"));
        QVERIFY(QDir().mkpath(temp));
        const QString drawing = dir_.filePath(QStringLiteral("unprotected.dxf"));
        struct Row {
            const char* name;
            bool saved;
            QString tmpdir;
            int exitCode;
            QString folder;  // where the copy goes
        };
        for (const Row& row : {Row{"never saved", false, temp, 0, temp}, Row{"saved before", true, temp, 0, dir_.path()},
                               Row{"nowhere to write", false, notAFolder + QStringLiteral("/tmp"), 4, {}}}) {
            Cad cad(socket("unprotected.sock"));
            cad.process->setEnvironmentValue(QStringLiteral("XDG_STATE_HOME"), notAFolder);
            cad.process->setEnvironmentValue(QStringLiteral("TMPDIR"), row.tmpdir);
            cad.process->keepStandardError();
            QVERIFY(cad.start());
            cad.addLines(1, 0);
            if (row.saved) QCOMPARE(errorCode(cad.client->call(cad.doc(), QStringLiteral("SaveAs"), {drawing})), 0);
            cad.addLines(2, 5);
            cad.process->process().terminate();
            QVERIFY(cad.process->process().waitForFinished(10000));
            QCOMPARE(cad.process->process().exitCode(), row.exitCode);
            const QString errors = cad.process->standardError();
            QVERIFY2(errors.contains(QStringLiteral("自动保存已关闭")), qPrintable(errors));
            const QRegularExpressionMatch named = QRegularExpression(QStringLiteral("应急副本“([^”]+)”")).match(errors);
            if (row.exitCode != 0) {
                QVERIFY2(!named.hasMatch() && errors.contains(QStringLiteral("已丢失")), qPrintable(errors));
                continue;
            }
            QVERIFY2(named.hasMatch(), qPrintable(errors));
            const QString copy = named.captured(1);
            QCOMPARE(QFileInfo(copy).absolutePath(), row.folder);
            auto read = tessik::cadhost::readDxf(copy);
            QVERIFY(read.ok());
            QCOMPARE(read->document->modelSpace().liveCount(), 3);
            if (row.saved) QCOMPARE(tessik::cadhost::readDxf(drawing)->document->modelSpace().liveCount(), 1);
        }
    }

    // A client pipelines a burst of additions and reads the answers; SIGTERM
    // comes in the middle. Every addition answered with success, before or
    // after the signal, is in what the next start recovers.
    void sigtermInABurstKeepsEveryAnsweredAddition()
    {
        qputenv("TESSIK_CAD_AUTOSAVE_SECONDS", "600");
        constexpr int kBurst = 12000;
        for (const int signalAfter : {1, 400, 2000, 5000, 9000}) {
            Cad cad(socket("burst.sock"));
            QVERIFY(cad.start());
            QLocalSocket& s = cad.client->socket();
            s.write(addLineBurst(cad.model(), kBurst));
            int answered = 0;
            bool signalled = false;
            QByteArray pending;
            QElapsedTimer clock;
            clock.start();
            // Until the process has gone and its socket is closed.
            while (clock.elapsed() < 30000) {
                if (!signalled && answered >= signalAfter) {
                    cad.process->process().terminate();
                    signalled = true;
                }
                if (s.bytesAvailable() == 0 && !s.waitForReadyRead(200) && s.state() != QLocalSocket::ConnectedState)
                    break;
                pending += s.readAll();
                for (qsizetype end; (end = pending.indexOf('\n')) >= 0; pending.remove(0, end + 1))
                    if (pending.left(end).contains("\"result\"")) ++answered;
            }
            QVERIFY2(signalled, "the burst was never answered");
            QVERIFY(cad.process->process().waitForFinished(10000));

            Cad next(socket("burst.sock"));
            QVERIFY(next.start());
            const qint64 recovered = next.count();
            QVERIFY2(recovered >= answered, qPrintable(QStringLiteral("signal after %1 answers: %2 answered, %3 recovered")
                                                          .arg(signalAfter)
                                                          .arg(answered)
                                                          .arg(recovered)));
            QVERIFY(recovered <= kBurst);
            QCOMPARE(errorCode(next.client->call(next.doc(), QStringLiteral("Close"), {false})), 0);
        }
        qputenv("TESSIK_CAD_AUTOSAVE_SECONDS", "0.2");
    }
};

QTEST_GUILESS_MAIN(DocumentsAutosaveTest)
#include "DocumentsAutosaveTest.moc"
