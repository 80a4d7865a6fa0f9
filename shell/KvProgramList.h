#pragma once
// The patch's programs as the parameters document gives them: each
// parameter's "patch-list" holds its value in program 0, 1, 2 ... in order,
// so the patch has as many programs as its longest list (at least one). A
// text parameter that carries the "ProgramName" host control names them;
// without one, where its list is shorter, or where a name is empty or holds
// no well-formed UTF-8 at all, a program is "Program N" (counted from 1).
// Ill-formed bytes inside a name become U+FFFD.
//
// Threads: UI, every function.

#include <string>
#include <vector>

namespace KvProgramList
{
// Programs beyond this many are not offered (the MIDI program numbers).
constexpr int kMaxPrograms = 128;

// The names of the programs, one per program; one "Program 1" for a
// document that is empty or no XML.
std::vector<std::string> Read(const std::string& parametersDocument);
} // namespace KvProgramList
