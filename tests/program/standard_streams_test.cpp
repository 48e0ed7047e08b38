// The program's standard descriptors as a careless or hostile caller leaves
// them: closed, shared with the weights file, or non-blocking and full.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/golden.h"
#include "support/run_program.h"

namespace {

using testing_support::data_path;
using testing_support::program_options;
using testing_support::read_file;
using testing_support::run_cascade;
using testing_support::scratch_file;

const std::string known_run = "run-T1700000000-args-0.3-3-1";

struct closed_case {
  std::string shell;  ///< closes one descriptor before the program starts
  int status;
  std::string err;  ///< what standard error ends with ("" when it is the one closed)
  bool weights_whole;  ///< the weights file holds exactly the known weights (else: nothing)
};

// A closed descriptor is never taken by the weights file: the values, the
// summary and the weights each go where they belong, or fail as a write to
// a closed stream fails.
TEST(StandardStreams, ClosedDescriptorsAreNeverTakenByTheWeightsFile) {
  const std::vector<closed_case> cases = {
      {"exec >&-;", 1, "cascade: cannot write the values: Bad file descriptor\n", false},
      {"exec 2>&-;", 1, "", false},
      {"exec <&-;", 0, read_file(data_path(known_run + ".err")), true},
  };
  for (const auto& c : cases) {
    const std::string weights = scratch_file(), out = scratch_file(), err = scratch_file();
    const auto result = run_cascade({"--seed", "1700000000", "--weights", weights, "0.3", "3", "1"},
                                    program_options{{}, out, c.shell, err});
    EXPECT_EQ(result.status, c.status) << c.shell;
    EXPECT_TRUE(read_file(err).ends_with(c.err)) << c.shell << "\n" << read_file(err);
    EXPECT_EQ(read_file(weights), c.weights_whole ? read_file(data_path(known_run + ".weights")) : "") << c.shell;
    if (c.status == 0) {
      EXPECT_EQ(read_file(out), read_file(data_path(known_run + ".out"))) << c.shell;
    }
    for (const std::string& file : {weights, out, err}) unlink(file.c_str());
  }
}

struct same_file_case {
  std::string why;
  std::string weights;  ///< the --weights path; "OUT" and "ERR" stand for the files below
  std::string shell;    ///< how standard output and error reach OUT and ERR
  std::string stream;   ///< the stream named in the refusal, or "" when the run goes ahead
};

// Weights into the file that already takes the values or the messages would
// interleave both series in one file: refused, and the file left as it was.
TEST(StandardStreams, WeightsIntoStandardOutputOrErrorAreRefused) {
  const std::vector<same_file_case> cases = {
      {"appended to", "OUT", "exec >>OUT 2>>ERR;", "standard output"},
      {"through /dev/stdout", "/dev/stdout", "exec >>OUT 2>>ERR;", "standard output"},
      {"the messages' file", "ERR", "exec >>OUT 2>>ERR;", "standard error"},
      {"a device keeps nothing", "/dev/null", "exec >/dev/null 2>>ERR;", ""},
  };
  for (const auto& c : cases) {
    const std::string previous = "what the file held before\n";
    const std::string out = scratch_file(previous), err = scratch_file(previous);
    const auto place = [&](std::string text) {
      for (const auto& [name, path] : {std::pair{std::string("OUT"), out}, std::pair{std::string("ERR"), err}}) {
        for (std::size_t at; (at = text.find(name)) != std::string::npos;) text.replace(at, name.size(), path);
      }
      return text;
    };
    const std::string weights = place(c.weights);
    const auto result = run_cascade({"--seed", "1", "--weights", weights, "0.3", "3", "1"},
                                    program_options{{}, "", place(c.shell), ""});
    const std::string err_text = read_file(err);
    if (c.stream.empty()) {
      EXPECT_EQ(result.status, 0) << c.why << "\n" << err_text;
    } else {
      EXPECT_EQ(result.status, 2) << c.why;
      EXPECT_EQ(read_file(out), previous) << c.why;
      EXPECT_EQ(err_text, previous + "cascade: --weights '" + weights + "' is the same file as " + c.stream + "\n")
          << c.why;
    }
    unlink(out.c_str());
    unlink(err.c_str());
  }
}

// A parent may leave standard error non-blocking; when its pipe is full the
// summary waits for room, as the values do on standard output.
TEST(StandardStreams, AFullNonBlockingStandardErrorIsWaitedOn) {
  int pipe_ends[2];
  ASSERT_EQ(pipe(pipe_ends), 0);
  fcntl(pipe_ends[1], F_SETFL, fcntl(pipe_ends[1], F_GETFL) | O_NONBLOCK);
  std::string filler(4096, 'x');
  std::size_t filled = 0;
  for (ssize_t wrote; (wrote = write(pipe_ends[1], filler.data(), filler.size())) > 0;) filled += static_cast<std::size_t>(wrote);
  ASSERT_GT(filled, 0u);

  const std::string out = scratch_file();
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(pipe_ends[0]);
    const int out_fd = open(out.c_str(), O_WRONLY | O_TRUNC);
    if (out_fd < 0 || dup2(out_fd, STDOUT_FILENO) < 0 || dup2(pipe_ends[1], STDERR_FILENO) < 0) _exit(127);
    execl(CASCADE_BINARY, CASCADE_BINARY, "--seed", "1700000000", "0.3", "3", "1", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(pipe_ends[1]);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the program meets the full pipe
  std::string received;
  char buffer[4096];
  for (ssize_t got; (got = read(pipe_ends[0], buffer, sizeof buffer)) > 0;) received.append(buffer, static_cast<std::size_t>(got));
  close(pipe_ends[0]);
  int wait_status = 0;
  waitpid(child, &wait_status, 0);
  EXPECT_TRUE(WIFEXITED(wait_status) && WEXITSTATUS(wait_status) == 0) << wait_status;
  EXPECT_EQ(received.substr(filled), read_file(data_path(known_run + ".err")));
  EXPECT_EQ(read_file(out), read_file(data_path(known_run + ".out")));
  unlink(out.c_str());
}

}  // namespace
