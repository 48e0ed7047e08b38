// The progress line, seen on a real pseudo-terminal, and its absence
// everywhere else.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/run_program.h"

namespace {

struct terminal_run {
  int status;
  std::string bytes;  ///< everything the terminal received
};

/// Runs cascade with standard error (and, unless `output_to_terminal`,
/// nothing else) on a fresh pseudo-terminal; standard output goes to /dev/null.
/// With `interrupt`, sends that signal once the progress line has appeared.
terminal_run run_on_terminal(const std::vector<std::string>& arguments, bool output_to_terminal = false,
                             int interrupt = 0) {
  std::vector<std::string> words{CASCADE_BINARY};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (auto& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  int terminal = -1;
  const pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
  if (child < 0) return {-1, "forkpty failed"};
  if (child == 0) {
    const int null = open("/dev/null", O_RDWR);
    dup2(null, STDIN_FILENO);
    if (!output_to_terminal) dup2(null, STDOUT_FILENO);
    execv(argv[0], argv.data());
    _exit(127);
  }
  terminal_run run{0, {}};
  char buffer[4096];
  bool interrupted = false;
  for (ssize_t got; (got = read(terminal, buffer, sizeof buffer)) > 0;) {
    run.bytes.append(buffer, static_cast<std::size_t>(got));
    if (interrupt != 0 && !interrupted && run.bytes.find("cascade: generating") != std::string::npos) {
      kill(child, interrupt);
      interrupted = true;
    }
  }
  close(terminal);
  int wait_status = 0;
  waitpid(child, &wait_status, 0);
  run.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 128 + WTERMSIG(wait_status);
  return run;
}

/// What a terminal shows after these bytes: carriage returns, clear to end of
/// line, and newlines (which the terminal receives as CR LF).
std::vector<std::string> screen(const std::string& bytes) {
  std::vector<std::string> lines{""};
  std::size_t column = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::string& line = lines.back();
    if (bytes.compare(i, 3, "\033[K") == 0) {
      line.resize(column);
      i += 2;
    } else if (bytes[i] == '\r') {
      column = 0;
    } else if (bytes[i] == '\n') {
      lines.emplace_back();
      column = 0;
    } else {
      if (column < line.size()) line[column] = bytes[i]; else line.push_back(bytes[i]);
      ++column;
    }
  }
  if (lines.back().empty()) lines.pop_back();
  return lines;
}

const std::vector<std::string> long_run = {"--seed", "3", "0.3", "22", "1"};  // N = 2^22

TEST(Terminal, ProgressShowsThenLeavesOnlyTheSummary) {
  const std::string summary = testing_support::run_cascade(long_run).err;
  ASSERT_EQ(summary.rfind("N = 4194304, mean = ", 0), 0u);

  const terminal_run run = run_on_terminal(long_run);
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.bytes.find("cascade: generating "), std::string::npos) << run.bytes;
  const std::vector<std::string> shown = screen(run.bytes);
  ASSERT_EQ(shown.size(), 1u) << run.bytes;
  EXPECT_EQ(shown[0] + "\n", summary);
}

// Only the summary line reaches the terminal when progress is turned off,
// when the data goes to the terminal too, or for a short run.
TEST(Terminal, NoProgressWhenNotWanted) {
  const std::vector<std::string> quiet_runs[] = {
      {"--no-progress", "--seed", "3", "0.3", "22", "1"},
      {"--seed", "3", "0.3", "21", "1"},
  };
  for (const auto& arguments : quiet_runs) {
    const terminal_run run = run_on_terminal(arguments);
    EXPECT_EQ(run.status, 0);
    std::string summary = testing_support::run_cascade(arguments).err;
    summary.pop_back();
    summary += "\r\n";  // the terminal turns LF into CR LF
    EXPECT_EQ(run.bytes, summary) << arguments[0];
  }
  const terminal_run both = run_on_terminal({"--seed", "3", "0.3", "22", "1"}, true);
  EXPECT_EQ(both.bytes.find("cascade: generating"), std::string::npos);
}

// Ctrl-C or SIGTERM during the progress line: the line is erased and the
// program dies of that signal, as it would have without the line.
TEST(Terminal, InterruptedRunErasesTheProgressLine) {
  const std::vector<std::string> longer_run = {"--seed", "3", "0.3", "24", "1"};  // N = 2^24, about a second
  for (const int signal_number : {SIGINT, SIGTERM}) {
    const terminal_run run = run_on_terminal(longer_run, false, signal_number);
    EXPECT_EQ(run.status, 128 + signal_number) << run.bytes;
    EXPECT_NE(run.bytes.find("cascade: generating"), std::string::npos) << run.bytes;
    for (const std::string& line : screen(run.bytes)) EXPECT_EQ(line, "") << run.bytes;
  }
}

// Raw doubles are not for a terminal: refused before the run, nothing written.
TEST(Terminal, BinaryOutputToATerminalIsRefused) {
  const terminal_run run = run_on_terminal({"--binary", "--seed", "3", "0.3", "3", "1"}, true);
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.bytes,
            "cascade: binary output is not written to a terminal; redirect standard output to a file or a pipe\r\n");
}

// Standard error in a file (as every run_cascade has it) holds exactly the summary.
TEST(Terminal, NoProgressInAFile) {
  const auto result = testing_support::run_cascade(long_run);
  EXPECT_EQ(result.err.find('\r'), std::string::npos);
  EXPECT_EQ(result.err.find('\n'), result.err.size() - 1);
}

}  // namespace
