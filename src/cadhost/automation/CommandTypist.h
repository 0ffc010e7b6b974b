#pragma once
// Types automation clients' SendCommand texts into the command line a slice
// at a time, so that one text holding thousands of commands does not hold up
// everything else.
//
// When no other text waits, a text is typed at once for as long as kSliceMs
// allows; what is left waits, as does a text that comes while others wait,
// and is typed on later turns of the event loop, kSliceMs at a time, the
// waiting texts taking turns. A slice ends only right after a line ends
// ('\n', '\r' or Esc), so texts typed meanwhile come in between the lines of
// a long one, never inside one. Each text's own lines keep their order, and
// its done() is called once its last character is typed.
//
// The characters waiting, all texts together, are bounded by
// kMaxWaitingChars: a text that would go past it while others wait is
// refused whole, nothing of it typed.

#include <cstdint>
#include <deque>
#include <functional>

#include <QObject>
#include <QString>
#include <QTimer>

#include "Error.h"

namespace tessik::cadhost {

class CommandLine;

class CommandTypist : public QObject {
    Q_OBJECT
public:
    static constexpr int kSliceMs = 4;
    static constexpr qsizetype kMaxWaitingChars = qsizetype(4) << 20;

    explicit CommandTypist(CommandLine& line, QObject* parent = nullptr);

    using Typed = std::function<void()>;
    // Types text. Returns 0 when it was typed in full (done is not called),
    // else the id of what waits, done being called when it is typed; an
    // error when it cannot wait.
    Result<std::uint64_t> type(const QString& text, Typed done);

    qsizetype waitingChars() const { return waitingChars_; }

private:
    struct Job {
        std::uint64_t id;
        QString text;
        qsizetype at;
        Typed done;
    };
    // Types text from at for up to kSliceMs, ending at a line end or the
    // text's end; returns where it stopped.
    qsizetype typeSlice(const QString& text, qsizetype at);
    void onTurn();

    CommandLine& line_;
    std::deque<Job> jobs_;
    qsizetype waitingChars_ = 0;
    std::uint64_t nextId_ = 0;
    QTimer turn_;
};

}  // namespace tessik::cadhost
