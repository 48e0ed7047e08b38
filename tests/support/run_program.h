// run_program.h: runs the built cascade binary and collects what it did.
#pragma once

#include <string>
#include <vector>

namespace testing_support {

struct program_result {
  int status;       ///< exit status, or 128 + signal number
  std::string out;  ///< standard output (empty when redirected elsewhere)
  std::string err;  ///< standard error (empty when redirected elsewhere)
};

struct program_options {
  std::vector<std::string> environment;  ///< NAME=value added to ours, replacing any NAME we have
  std::string stdout_path;               ///< standard output to this file instead
  std::string shell_prefix;              ///< shell commands to run first, e.g. "ulimit -v 100000;"
  std::string stderr_path;               ///< standard error to this file instead
};

/// A fresh file under /tmp holding `text`, for a test to write to and remove.
std::string scratch_file(const std::string& text = "");

/// Runs the cascade binary with `arguments`, standard input from /dev/null.
program_result run_cascade(const std::vector<std::string>& arguments, const program_options& options = {});

}  // namespace testing_support
