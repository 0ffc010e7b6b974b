#pragma once
// Where tessik-cad listens, and the rule that only one instance listens there.
//
// The path follows protocol::socketPath(), the rule clients follow too.
//
// InstanceLock holds "<socket>.lock" for the life of the process. A second
// instance fails to take it and must not touch the socket; the first one,
// holding the lock, may remove a socket file left behind by a crash.

#include <memory>

#include <QString>

#include "AutomationProtocol.h"
#include "Error.h"

class QLockFile;

namespace tessik::cadhost {

// The path only, nothing is created: what `tessik-cad --socket-path` prints.
inline QString automationSocketPath() { return protocol::socketPath(); }

// Creates the socket's folder when missing (mode 0700) and refuses one that
// another user owns or that others can enter.
Status prepareSocketFolder(const QString& socketPath);

class InstanceLock {
public:
    explicit InstanceLock(const QString& socketPath);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // True when this process now holds the lock. A lock left by a crashed
    // process is recognised as stale and taken over.
    bool tryLock();
    // The process id of the holder when tryLock failed, 0 if unknown.
    qint64 holderPid() const;
    // Removes a socket file that no live instance serves.
    void removeStaleSocket() const;

private:
    QString socketPath_;
    std::unique_ptr<QLockFile> lock_;
};

}  // namespace tessik::cadhost
