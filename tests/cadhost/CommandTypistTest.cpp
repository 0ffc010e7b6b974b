// CommandTypist against a plain model of what must reach the command line:
// every line of every accepted text submitted exactly once, each text's lines
// in their order, no line made of two texts, one answer per text, and the
// text left waiting bounded.

#include <gtest/gtest.h>

#include <map>
#include <vector>

#include <QCoreApplication>
#include <QElapsedTimer>

#include "model/CommandLine.h"
#include "automation/CommandTypist.h"

using namespace tessik::cadhost;

namespace {

// Text number t: lines "t:0" ... "t:n-1", each ended by '\n'.
QString numberedLines(int t, int n)
{
    QString text;
    for (int i = 0; i < n; ++i) text += QStringLiteral("%1:%2\n").arg(t).arg(i);
    return text;
}

}  // namespace

TEST(CommandTypistTest, LongTextsAreTypedInTurnsWholeLinesInOrderAndWaitingIsBounded)
{
    int argc = 0;
    QCoreApplication app(argc, nullptr);
    CommandLine line;
    CommandTypist typist(line);
    std::vector<QString> submitted;
    QObject::connect(&line, &CommandLine::submitted, [&](const QString& l) { submitted.push_back(l); });

    // Texts big enough that one slice cannot type them: they wait, and with
    // no event loop running meanwhile they pile up until the bound refuses one.
    constexpr int kLines = 60000;
    std::map<int, int> answers;  // text -> times answered
    std::vector<int> accepted;
    int refusedAt = -1;
    for (int t = 0; t < 200 && refusedAt < 0; ++t) {
        const std::size_t before = submitted.size();
        const auto typing = typist.type(numberedLines(t, kLines), [&answers, t] { ++answers[t]; });
        if (!typing) {
            refusedAt = t;
            EXPECT_EQ(submitted.size(), before) << "a refused text was typed in part";
            EXPECT_FALSE(typing.error().description.empty());
            break;
        }
        accepted.push_back(t);
        if (*typing == 0) ++answers[t];  // typed in full at once: answered by the caller
    }
    ASSERT_GE(refusedAt, 2) << "nothing was left waiting, or the bound was never reached";
    EXPECT_LE(typist.waitingChars(), CommandTypist::kMaxWaitingChars);

    // A short text sent while others wait is typed between their lines.
    typist.type(QStringLiteral("short\n"), [&answers] { ++answers[-1]; }).value();

    QElapsedTimer clock;
    clock.start();
    while (typist.waitingChars() > 0 && clock.elapsed() < 60000) QCoreApplication::processEvents();
    ASSERT_EQ(typist.waitingChars(), 0);

    // Every accepted text answered once; each one's lines all there, whole, in order.
    for (int t : accepted) EXPECT_EQ(answers[t], 1) << "text " << t;
    EXPECT_EQ(answers[-1], 1);
    std::map<int, int> nextLine;
    int shortAt = -1;
    for (std::size_t i = 0; i < submitted.size(); ++i) {
        const QString& l = submitted[i];
        if (l == QLatin1String("short")) {
            shortAt = int(i);
            continue;
        }
        const QStringList parts = l.split(u':');
        ASSERT_EQ(parts.size(), 2) << "a line mixes texts: " << l.toStdString();
        const int t = parts[0].toInt();
        EXPECT_EQ(parts[1].toInt(), nextLine[t]++) << "text " << t << " out of order";
    }
    EXPECT_EQ(submitted.size(), accepted.size() * kLines + 1);
    for (int t : accepted) EXPECT_EQ(nextLine[t], kLines) << "text " << t;
    // The short text did not wait for the long ones to end.
    EXPECT_LT(shortAt, int(submitted.size()) - kLines);
}
