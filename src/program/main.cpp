// The cascade command: reads the command line and hands the run over.
#include <sys/uio.h>
#include <unistd.h>

#include <cstring>
#include <new>
#include <span>
#include <string>
#include <string_view>

#include "exact_math/portable_math.h"
#include "exact_math/vector_math.h"
#if CASCADE_HAVE_HDF5
#include "cascade/hdf5_file.h"
#endif
#include "program/arguments.h"
#include "program/exit_status.h"
#include "program/help_text.h"
#include "program/run.h"
#include "program/standard_streams.h"
#include "program/write_fully.h"

#ifndef CASCADE_VERSION
#define CASCADE_VERSION "unknown"
#endif

namespace {

constexpr const char* usage_lines =
    "Command lambda step_number n0\n"
    "Try 'cascade --help' for more information.\n";

/// Writes `text` to standard output; a failure (a full disk) is an error.
int print(std::string_view text) {
  iovec piece{const_cast<char*>(text.data()), text.size()};
  const int error = cascade::write_fully(STDOUT_FILENO, &piece, 1);
  if (error == 0) return cascade::exit_success;
  cascade::report("cannot write to standard output: %s", std::strerror(error));
  return cascade::exit_failure;
}

/// Whether --output and --verify are built, and with which HDF5.
std::string results_files_description() {
#if CASCADE_HAVE_HDF5
  return "--output and --verify, " + cascade::hdf5_version();
#else
  return "none (built without HDF5: no --output, no --verify)";
#endif
}

int print_version(bool verbose) {
  if (!verbose) return print("cascade " CASCADE_VERSION "\n");
  // The subtractive stream's values are the C library's exp and log (or
  // vector forms proven equal to them); the philox stream's, of every law,
  // are the program's own.
  return print("cascade " CASCADE_VERSION "\nmath: " + exact_math::math_path_description() +
               " (the subtractive stream)\nphilox math: " + exact_math::portable_math_description() +
               "\nresults files: " + results_files_description() + "\n");
}

int run(int argc, char** argv) {
  using cascade::parsed_command;
  parsed_command command;
  try {
    command = cascade::parse_arguments(std::span<const char* const>(argv + 1, argc > 0 ? argc - 1 : 0));
  } catch (const std::bad_alloc&) {
    cascade::report("cannot allocate memory for the command line");
    return cascade::exit_failure;
  }
  switch (command.what) {
    case parsed_command::usage:
      cascade::write_error_text(usage_lines);
      return command.status;
    case parsed_command::help:
      return print(cascade::help_text());
    case parsed_command::version:
      return print_version(command.parameters.verbose);
    case parsed_command::error:
      cascade::write_error_text(command.message + "\n");
      return command.status;
    case parsed_command::verify:
      return cascade::verify_cascade(command.parameters);
    case parsed_command::run:
      break;
  }
  return cascade::run_cascade(command.parameters);
}

}  // namespace

int main(int argc, char** argv) {
  cascade::ensure_standard_descriptors();
  // Whatever could not be had and was not reported where it was wanted: one
  // line and the failure status, never an abort.
  try {
    return run(argc, argv);
  } catch (const std::bad_alloc&) {
    cascade::report("cannot allocate memory");
    return cascade::exit_failure;
  }
}
