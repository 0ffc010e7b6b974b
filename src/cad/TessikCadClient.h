#pragma once
// The CAD automation objects served by tessik-cad (docs/automation.md).
//
// "Get running instance" of "autocad.application" connects to the user's
// tessik-cad socket; "create instance" starts tessik-cad --automation
// detached (next to our own executable, then on PATH) and waits until it
// answers, at most 30 s.
//
// Pipelining. A new line or arc and an angle write are sent without waiting.
// The document and model space a line goes to are looked up anew for every
// line; once tessik-cad has answered the same lookup twice with the same
// handle, the next lookups are sent without waiting too, with the calls on
// them addressed to that handle. settle() checks every such guess against the
// real answer: a line sent to a model space that was no longer the active one
// fails with caderr::kObjectChanged instead of counting as drawn.

#include <QString>
#include <QStringList>
#include <memory>

#include "CadObjects.h"
#include "CadRpcChannel.h"

namespace tessik {

class TessikCadAutomation : public CadAutomation {
public:
    // An empty socketPath means tessikCadSocketPath(); empty programDirs
    // means the directory of the running executable. replyTimeoutMs: how
    // long tessik-cad may stay silent before the connection counts as broken
    // (a pick waits as long as the user takes).
    explicit TessikCadAutomation(QString socketPath = {}, QStringList programDirs = {},
                                 int launchTimeoutMs = kDefaultLaunchTimeoutMs,
                                 int replyTimeoutMs = CadRpcChannel::kDefaultTimeoutMs);

    static constexpr int kDefaultLaunchTimeoutMs = 30000;

    Result<std::shared_ptr<CadApplication>> getRunningInstance(const std::string& programId) override;
    Result<std::shared_ptr<CadApplication>> createInstance(const std::string& programId) override;

    // Where createInstance would start tessik-cad from, or an empty text.
    QString findProgram() const;

private:
    QString socketPath() const;
    QString socketPath_;
    QStringList programDirs_;
    int launchTimeoutMs_;
    int replyTimeoutMs_;
};

}  // namespace tessik
