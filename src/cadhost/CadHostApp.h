#pragma once
// tessik-cad as a program: command line, the one-instance rule, the automation
// server and the window. main() only calls runCadHost().
//
//   tessik-cad [file.dxf]      start with the window shown
//   tessik-cad --automation [file.dxf]
//                              start hidden until a client sets Visible
//   tessik-cad --socket-path   print where the automation socket is
//
// At start a drawing autosaved by an instance on the same socket that died
// is opened instead of the file. SIGTERM, SIGHUP and SIGINT write the
// autosave and end the program (status 0) without asking about changes.
//
// Exit codes: 0 normal end, 2 the automation socket cannot be set up, 3 another
// instance already serves the socket.

namespace tessik::cadhost {

int runCadHost(int argc, char** argv);

}  // namespace tessik::cadhost
