#pragma once
// The rule that only one tessik-cad serves a socket and keeps its autosave.
//
// InstanceLock holds an advisory lock (flock) on "<socket>.lock" for the life
// of the process; the kernel drops it when the process ends, however it ends.
// Whatever the file holds (a process id, nothing, garbage) or whatever stands
// in its place (an unreadable file, a directory, a link), only a lock held by
// a live process blocks a start. A second instance fails to take it and must
// not touch the socket; the holder may remove a socket file left behind by a
// crash. What this process can neither open nor clear (another user's file,
// a folder with files in it) is set aside by the caller when nothing live is
// behind it.

#include <QByteArray>
#include <QString>

#include "Error.h"

namespace tessik::cadhost {

// Why a file operation failed (errno), in the words a user acts on.
QString fileErrorReason(int error);

// Moves what stands at path (a file, a folder, a link) to the first free name
// "<base>-<tag>-<date>-<time>[-n].<suffix>" beside it, never over anything;
// returns that name.
Result<QString> setAside(const QString& path, const QString& tag);

class InstanceLock {
public:
    explicit InstanceLock(const QString& socketPath);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    enum class Outcome { Taken, Held, Failed };
    // Taken: this process now holds the lock. Held: a live process holds it
    // (holderPid() names it when its file says so). Failed: the lock could
    // not be made; failure() says why (disk full, permission ...).
    Outcome tryLock();
    // The process id the holder wrote, 0 when it cannot be read.
    qint64 holderPid() const { return holderPid_; }
    const QString& failure() const { return failure_; }
    // After Failed: something stands at the lock's path that this process
    // may not open or replace (another user's file, a folder with files in
    // it) and no live process is seen holding it. Setting it aside lets a
    // next tryLock() succeed, once nothing live serves the socket either.
    bool blocked() const { return blocked_; }
    const QString& lockPath() const { return lockPath_; }

private:
    Outcome fail(const QString& what, int error);
    // Whether a live process holds the lock file at path, seen through a
    // read-only descriptor (for a file this process may not write).
    static bool heldByOther(const QByteArray& path);

    QString socketPath_;
    QString lockPath_;
    int fd_ = -1;
    qint64 holderPid_ = 0;
    QString failure_;
    bool blocked_ = false;
};
}  // namespace tessik::cadhost
