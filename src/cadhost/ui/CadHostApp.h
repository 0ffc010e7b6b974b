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
// is opened instead of the file. SIGTERM, SIGHUP and SIGINT end the program
// without asking about changes: unsaved changes go to the autosave or, when
// autosave is off or fails, to an emergency copy beside the drawing or in
// the temporary folder, named on standard error.
//
// Exit codes: 0 normal end, 2 the automation socket cannot be set up, 3 another
// instance already serves the socket, 4 ended by a signal with unsaved changes
// that could be written nowhere.
//
// How the pieces fit: one CadSession holds the running state (the open
// DrawingDocument with its model and paper CadSpace, the prompt's CommandLine,
// the queue of point requests). Two front ends work on it and never on each
// other. The automation side is AutomationServer (accepts connections on
// the socket InstanceLock guards) -> one AutomationConnection per client
// (reads lines, parseRequest turns each into an Invocation, replies in
// order) -> AutomationDispatcher (the object model: handles, members) ->
// CadSession. The window side is CadMainWindow with its DrawingView and
// PromptLine, which follow the session's signals: DrawingView keeps the
// drawing as a cached image drawn by DrawingPainter through a Viewport and
// refreshes it at most every 16 ms, so a call is answered before anything
// is painted. DxfFile and DxfShapes read and write drawings through dxf/.

namespace tessik::cadhost {

inline constexpr int kExitChangesLost = 4;

int runCadHost(int argc, char** argv);

}  // namespace tessik::cadhost
