#include "CadProgram.h"

#include <algorithm>

namespace tessik {

namespace {

constexpr std::size_t kLongestProgramId = 39;

bool isAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool isAsciiDigit(char c) { return c >= '0' && c <= '9'; }
char lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

bool sameIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lower(x) == lower(y); });
}

}  // namespace

CadProgram defaultCadProgram() { return {kKnownCadPrograms[0].name, kKnownCadPrograms[0].programId}; }

bool isWellFormedProgramId(std::string_view id)
{
    if (id.empty() || id.size() > kLongestProgramId || !isAsciiLetter(id.front()) || id.back() == '.') return false;
    char previous = 0;
    for (char c : id) {
        if (!isAsciiLetter(c) && !isAsciiDigit(c) && c != '.' && c != '_') return false;
        if (c == '.' && previous == '.') return false;
        previous = c;
    }
    return true;
}

CadProgram cadProgramFor(std::string_view programId)
{
    for (const KnownCadProgram& known : kKnownCadPrograms) {
        if (sameIgnoringCase(programId, known.programId)) return {known.name, known.programId};
    }
    return {std::string(programId), std::string(programId)};
}

}  // namespace tessik
