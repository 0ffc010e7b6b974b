#include "DetachedStdio.h"

#include <QProcess>

#include <sys/stat.h>
#include <unistd.h>

namespace tessik {

namespace {

bool isPipeOrSocket(int fd)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0) return false;  // closed: nothing to inherit
    return S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode);
}

}  // namespace

void keepPipesFromDetached(QProcess& process)
{
    process.setStandardInputFile(QProcess::nullDevice());
    if (isPipeOrSocket(STDOUT_FILENO)) process.setStandardOutputFile(QProcess::nullDevice());
    if (isPipeOrSocket(STDERR_FILENO)) process.setStandardErrorFile(QProcess::nullDevice());
}

}  // namespace tessik
