// command_echo.h: a run written back as the command line that repeats it.
#pragma once

#include <cstdint>
#include <string>

#include "cascade/replay_command.h"
#include "program/arguments.h"

namespace cascade {

/// The run's words, the seed made explicit; a results file's format is
/// float64 unless --float32 is given.
run_words words_of(const run_parameters& parameters, std::uint64_t seed);

/// replay_command of the run's words (replay_command.h): one line with no
/// newline, ready to paste into a POSIX shell.
std::string command_echo(const run_parameters& parameters, std::uint64_t seed);

}  // namespace cascade
