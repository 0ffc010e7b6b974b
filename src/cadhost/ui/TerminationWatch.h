#pragma once
// SIGTERM, SIGHUP and SIGINT (a session logging out, a terminal closing, a
// Ctrl+C) as a Qt signal in the event loop, so the program can write what it
// must keep before it goes. The handler only writes the signal's number to a
// socket pair (async-signal-safe); a QSocketNotifier reads it in the loop.
// One watch per process; destroying it restores the default handlers.

#include <QObject>

#include "Error.h"

class QSocketNotifier;

namespace tessik::cadhost {

class TerminationWatch : public QObject {
    Q_OBJECT
public:
    explicit TerminationWatch(QObject* parent = nullptr);
    ~TerminationWatch() override;

    Status install();

signals:
    void terminationRequested(int signalNumber);

private:
    void onReadable();

    int fds_[2] = {-1, -1};
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace tessik::cadhost
