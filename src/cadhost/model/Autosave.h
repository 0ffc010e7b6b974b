#pragma once
// Autosave and crash recovery for the open drawing.
//
// While the drawing has unsaved changes, a copy of it (the bytes a save
// would write) replaces "<key>.dxf" in the autosave folder every interval,
// in one step, beside "<key>.json" naming the file and name the drawing had
// and the socket. The copy is a snapshot taken on the event loop; a writer
// thread formats and writes it, so a large drawing never holds up clients,
// and a tick that comes while a write is under way waits for it.
// Both go as soon as the drawing has no unsaved changes (saved, closed,
// discarded, replaced). Writing the copy never touches the drawing: its
// path, name and modified state stay as they were.
//
// The key is a digest of the automation socket's path, so instances on
// different sockets keep apart; each holds a flock on "<key>.lock" while it
// runs. A copy found at start whose lock nobody holds was left by an
// instance that died, and recover() opens it as the active drawing; one
// that cannot be read is set aside under a name of its own. Copies left by
// instances on other sockets are only mentioned (othersLeftBehind).
//
// The folder is $XDG_STATE_HOME/tessik/autosave (~/.local/state when unset);
// TESSIK_CAD_AUTOSAVE_SECONDS sets the interval (default 120).

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include "Error.h"

namespace tessik::cadhost {

class DrawingDocument;
class CadSession;
class InstanceLock;

class Autosave : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds kDefaultInterval{120'000};

    Autosave(CadSession& session, const QString& socketPath, QObject* parent = nullptr);
    ~Autosave() override;

    static QString defaultFolder();
    // The interval TESSIK_CAD_AUTOSAVE_SECONDS asks for; the default, and a
    // warning, when it is not a number of seconds above zero.
    static std::chrono::milliseconds intervalFromEnvironment(QString* warning = nullptr);

    // Makes the folder and takes this instance's lock; autosave stays off
    // (and says why) when either fails.
    Status start(const QString& folder, std::chrono::milliseconds interval);
    bool active() const { return lock_ != nullptr; }

    // Opens the copy a dead instance left as the active drawing. False when
    // there is none, or when it cannot be read: it is then renamed to
    // "<key>-unreadable-<date>-<time>[-n].dxf" and kept for the user, or,
    // when it cannot be moved, autosave goes off rather than write over it.
    bool recover();

    // One message for each copy in the folder that an instance on another
    // socket left when it died: the next start on that socket recovers it,
    // and until then nobody would know it is there.
    QStringList othersLeftBehind() const;

    // Writes the copy now, on this thread, when the drawing has changes not
    // yet written, after any write under way has finished.
    Status writeNow();
    // Forgets the copy: the user has dealt with the changes.
    void discard();

    // The drawing as "<name>-emergency-<date>-<time>.dxf" beside its file or,
    // when that fails or it has none, in the temporary folder; never over an
    // existing file. For an end with unsaved changes that autosave cannot
    // keep. Returns the file written.
    static Result<QString> writeEmergencyCopy(const DrawingDocument& document);

    QString copyPath() const;
    QString notePath() const;

private:
    void onDocumentChanged();
    void onEdited();
    void onTimer();
    // Takes a snapshot of the drawing and hands it to the writer thread.
    void startWrite();
    // Joins a writer that is done and takes in how its write went.
    void collectWriter();
    std::string noteFor(const DrawingDocument& doc) const;
    // Formats the drawing and replaces the copy and its note, unless the
    // copy was discarded since generation. Runs on the writer thread.
    Status writeFiles(const DrawingDocument& doc, const std::string& note, std::uint64_t generation);

    CadSession& session_;
    QString socketPath_;
    QString key_;
    QString folder_;
    std::unique_ptr<InstanceLock> lock_;
    QTimer timer_;
    bool dirty_ = false;  // changes made since the last snapshot written
    bool failing_ = false;
    bool writing_ = false;
    bool again_ = false;  // a tick came while writing
    std::thread writer_;
    // Held while the copy and its note are written or removed.
    std::mutex files_;
    std::uint64_t generation_ = 0;  // under files_: moved on by discard()
    std::optional<Status> written_;  // under files_: the writer's outcome, until collected
};

}  // namespace tessik::cadhost
