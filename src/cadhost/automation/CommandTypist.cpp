#include "automation/CommandTypist.h"

#include <QElapsedTimer>

#include "automation/AutomationError.h"
#include "model/CommandLine.h"

namespace tessik::cadhost {

namespace {

bool endsLine(QChar c) { return c == u'\n' || c == u'\r' || c == QChar(0x1b); }

}  // namespace

CommandTypist::CommandTypist(CommandLine& line, QObject* parent) : QObject(parent), line_(line)
{
    turn_.setSingleShot(true);
    turn_.setInterval(0);
    connect(&turn_, &QTimer::timeout, this, &CommandTypist::onTurn);
}

Result<std::uint64_t> CommandTypist::type(const QString& text, Typed done)
{
    qsizetype at = 0;
    if (jobs_.empty()) {
        at = typeSlice(text, 0);
        if (at == text.size()) return std::uint64_t(0);
    } else if (waitingChars_ + text.size() > kMaxWaitingChars) {
        return automation::error(
            automation::kFailed,
            QStringLiteral("命令行输入已排满：已有 %1 个字符等待输入（最多 %2 个）。请等先前的 SendCommand 完成后再试。")
                .arg(waitingChars_)
                .arg(kMaxWaitingChars));
    }
    waitingChars_ += text.size();
    jobs_.push_back(Job{++nextId_, text, at, std::move(done)});
    turn_.start();
    return nextId_;
}

qsizetype CommandTypist::typeSlice(const QString& text, qsizetype at)
{
    QElapsedTimer clock;
    clock.start();
    const QChar* chars = text.constData();
    const qsizetype size = text.size();
    while (at < size) {
        qsizetype end = at;
        while (end < size && !endsLine(chars[end])) ++end;
        if (end < size) ++end;  // the line end goes with its line
        line_.type(QStringView(chars + at, end - at));
        at = end;
        if (clock.nsecsElapsed() >= qint64(kSliceMs) * 1000000) break;
    }
    return at;
}

void CommandTypist::onTurn()
{
    if (jobs_.empty()) return;
    // The waiting texts take turns, a slice each.
    Job job = std::move(jobs_.front());
    jobs_.pop_front();
    job.at = typeSlice(job.text, job.at);
    const bool finished = job.at == job.text.size();
    if (finished)
        waitingChars_ -= job.text.size();
    else
        jobs_.push_back(std::move(job));
    if (!jobs_.empty()) turn_.start();
    // Last: whoever waits may send a reply and carry on with its requests.
    if (finished && job.done) job.done();
}

}  // namespace tessik::cadhost
