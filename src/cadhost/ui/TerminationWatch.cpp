#include "ui/TerminationWatch.h"

#include <cerrno>
#include <csignal>
#include <cstring>

#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>

namespace tessik::cadhost {

namespace {

constexpr int kSignals[] = {SIGTERM, SIGHUP, SIGINT};
volatile std::sig_atomic_t writeEnd = -1;

extern "C" void onTerminationSignal(int signalNumber)
{
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    // A full socket means a byte is already waiting: nothing is lost.
    if (writeEnd >= 0) {
        const ssize_t n = ::write(writeEnd, &byte, 1);
        static_cast<void>(n);
    }
    errno = saved;
}

}  // namespace

TerminationWatch::TerminationWatch(QObject* parent) : QObject(parent) {}

TerminationWatch::~TerminationWatch()
{
    if (fds_[0] < 0) return;
    for (int s : kSignals) std::signal(s, SIG_DFL);
    writeEnd = -1;
    ::close(fds_[0]);
    ::close(fds_[1]);
}

Status TerminationWatch::install()
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds_) != 0)
        return Error{-1, std::string("无法建立信号通道：") + std::strerror(errno), {}};
    writeEnd = fds_[1];
    notifier_ = new QSocketNotifier(fds_[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TerminationWatch::onReadable);
    struct sigaction action{};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int s : kSignals) ::sigaction(s, &action, nullptr);
    return success();
}

void TerminationWatch::onReadable()
{
    unsigned char bytes[16];
    const ssize_t n = ::read(fds_[0], bytes, sizeof bytes);
    if (n > 0) emit terminationRequested(bytes[n - 1]);
}

}  // namespace tessik::cadhost
