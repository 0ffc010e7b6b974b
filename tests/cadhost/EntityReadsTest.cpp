// What automation answers of the entities of real drawings (a text's
// height, a reference's scale, a hatch's pattern, a spline's points ...),
// member by member against ezdxf's reading of the same file.

#include <gtest/gtest.h>

#include <map>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include "automation/AutomationDispatcher.h"
#include "model/CadSession.h"

using namespace tessik;
using namespace tessik::cadhost;
using Verb = AutomationDispatcher::Verb;

namespace {

// Numbers to 9 digits and point lists flat, as the judge prints them.
QString formatted(const QJsonValue& v)
{
    if (v.isBool()) return v.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    if (v.isDouble()) return QString::number(v.toDouble(), 'g', 9);
    if (v.isArray()) {
        QStringList parts;
        for (const QJsonValue& x : v.toArray()) parts << formatted(x);
        return parts.join(QLatin1Char(','));
    }
    return v.toString();
}

std::optional<QStringList> python(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"), args);
    if (!p.waitForFinished(120000) || p.exitCode() != 0) return std::nullopt;
    return QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

}  // namespace

TEST(EntityReads, EveryKindAnswersWhatEzdxfReads)
{
    if (!QFile::exists(QStringLiteral("/usr/bin/python3"))) GTEST_SKIP() << "no /usr/bin/python3";
    QTemporaryDir dir;
    QStringList files;
    for (const char* version : {"R2000", "R2018"}) {
        const QString made = dir.filePath(QStringLiteral("made-%1.dxf").arg(QLatin1String(version)));
        QProcess make;
        make.start(QStringLiteral("/usr/bin/python3"),
                   {QStringLiteral(TESSIK_EZDXF_ROUNDTRIP), QStringLiteral("make"), QLatin1String(version), made});
        ASSERT_TRUE(make.waitForFinished(120000));
        if (make.exitCode() == 77) GTEST_SKIP() << "ezdxf is not installed";
        ASSERT_EQ(make.exitCode(), 0) << make.readAllStandardError().toStdString();
        files << made;
    }
    // And one with the kinds and values the others lack (a leader, an image, splines by control and by fit
    // points, attributes, a pattern hatch with a hole, a dimension's own text).
    const QString reads = dir.filePath(QStringLiteral("reads.dxf"));
    ASSERT_TRUE(python({QStringLiteral(TESSIK_EZDXF_ENTITIES), QStringLiteral("make-reads"), reads}));
    files << reads;
    for (const char* d : {TESSIK_CADHOST_TEST_DATA, TESSIK_CADHOST_TEST_DATA "/real"})
        for (const QFileInfo& f : QDir(QString::fromUtf8(d)).entryInfoList({QStringLiteral("*.dxf")}, QDir::Files))
            files << f.absoluteFilePath();
    const QString library = QStringLiteral("/usr/share/librecad/library/");
    for (const char* f : {"plan/architect/Bathroom-basin-V.dxf", "elektro/relay-iso/Relay-2p2w.dxf", "block/blk1.dxf"})
        if (QFile::exists(library + QLatin1String(f))) files << library + QLatin1String(f);

    int compared = 0;
    for (const QString& file : files) {
        SCOPED_TRACE(file.toStdString());
        const auto judged = python({QStringLiteral(TESSIK_EZDXF_ENTITIES), file, QStringLiteral("reads")});
        ASSERT_TRUE(judged);
        CadSession session;
        AutomationDispatcher dispatcher{session};
        ASSERT_TRUE(session.openDocument(file));
        const auto invoke = [&](Verb verb, std::int64_t target, const QString& member, QJsonArray args = {}) {
            Result<QJsonValue> answer = QJsonValue();
            AutomationDispatcher::Invocation inv{verb, target, member.toStdString(), {}, std::move(args)};
            dispatcher.invoke(inv, [&answer](const Result<QJsonValue>& r) { answer = r; });
            return answer;
        };
        const auto handle = [](const Result<QJsonValue>& r) {
            return r ? r->toObject().value(QStringLiteral("handle")).toInteger(-1) : -1;
        };
        const std::int64_t doc = handle(invoke(Verb::Get, 0, QStringLiteral("ActiveDocument")));
        const std::int64_t model = handle(invoke(Verb::Get, doc, QStringLiteral("ModelSpace")));
        const auto count = invoke(Verb::Get, model, QStringLiteral("Count"));
        ASSERT_TRUE(count);
        std::map<QString, std::int64_t> byHandle;
        for (int i = 0; i < count->toInt(); ++i) {
            const std::int64_t e = handle(invoke(Verb::Call, model, QStringLiteral("Item"), {i}));
            const auto h = invoke(Verb::Get, e, QStringLiteral("Handle"));
            ASSERT_TRUE(h);
            byHandle[h->toString()] = e;
        }
        for (const QString& line : *judged) {
            const QStringList f = line.split(QLatin1Char(' '));
            ASSERT_GE(f.size(), 2);
            const QString theirs = line.section(QLatin1Char(' '), 2);
            ASSERT_TRUE(byHandle.count(f[0])) << line.toStdString();
            const auto ours = invoke(Verb::Get, byHandle[f[0]], f[1]);
            ASSERT_TRUE(ours) << line.toStdString() << ": " << ours.error().description;
            EXPECT_EQ(formatted(*ours).toStdString(), theirs.toStdString()) << line.toStdString();
            ++compared;
        }
    }
    EXPECT_GT(compared, 60);
}
