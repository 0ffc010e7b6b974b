#pragma once
// The standard streams of a program this one starts detached. The detached
// program outlives this one; a pipe or a socket it inherited stays open as
// long as it runs, and whoever reads this program's output (a script's
// capture, `$(tessik)`, `tessik | tee log`) sees no end of it until the
// detached program ends too, long after this one has quit.

class QProcess;

namespace tessik {

// Gives `process`, not yet started, the null device for its input, and for
// its output and errors unless this program's own go to a terminal or a
// file, which it may share.
void keepPipesFromDetached(QProcess& process);

}  // namespace tessik
