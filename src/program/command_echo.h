// command_echo.h: a run written back as the command line that repeats it.
#pragma once

#include <cstdint>
#include <string>

#include "program/arguments.h"

namespace cascade {

/// "cascade --seed T [--generator philox] [--range START:STOP] [--binary]
/// [--weights FILE] lambda step_number n0 # N = count", one line with no
/// newline, ready to paste into a POSIX shell: the seed T made explicit,
/// lambda in the fewest digits that read back to the same double, FILE
/// quoted for the shell, count the values written.
std::string command_echo(const run_parameters& parameters, std::uint64_t seed);

}  // namespace cascade
