#pragma once
// Which CAD program the link drives. AutoCAD is the default; CAD programs
// that offer the same automation model under their own program id can take
// its place. The status line and the launch question name the program
// (CadConnection), and the Windows edition keeps the user's choice.

#include <array>
#include <string>
#include <string_view>

namespace tessik {

struct CadProgram {
    std::string name;       // as the status line names it: "AutoCAD", "中望CAD"
    std::string programId;  // what the automation layer asks for
};

// The choices offered by name, the default first.
struct KnownCadProgram {
    const char* name;
    const char* programId;
};
inline constexpr std::array<KnownCadProgram, 4> kKnownCadPrograms{{
    {"AutoCAD", "AutoCAD.Application"},
    {"中望CAD", "ZWCAD.Application"},
    {"浩辰CAD", "GCAD.Application"},
    {"BricsCAD", "BricscadApp.AcadApplication"},
}};

// The program of the first entry.
CadProgram defaultCadProgram();

// A well-formed program id: 1 to 39 characters, ASCII letters, digits,
// periods and underscores, starting with a letter, no empty part between
// periods. Windows keeps program ids in this shape; anything else cannot name
// an automation class and is refused before it is stored or asked for.
bool isWellFormedProgramId(std::string_view programId);

// The program a program id stands for: a known one by its name (program ids
// compare without regard to case), any other under the id itself.
CadProgram cadProgramFor(std::string_view programId);

}  // namespace tessik
