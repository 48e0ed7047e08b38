#include "support/run_program.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>
#include <string_view>

#include "support/golden.h"

extern char** environ;

namespace testing_support {
namespace {

std::string temporary_path(const char* what) {
  char path[] = "/tmp/cascade-test-XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) throw std::runtime_error(std::string("cannot make a temporary file for ") + what);
  close(fd);
  return path;
}

void redirect(const std::string& path, int target, int flags) {
  const int fd = open(path.c_str(), flags, 0600);
  if (fd < 0 || dup2(fd, target) < 0) _exit(127);
  close(fd);
}

}  // namespace

std::string scratch_file(const std::string& text) {
  char path[] = "/tmp/cascade-test-XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) throw std::runtime_error("cannot make a scratch file");
  const bool written = text.empty() || write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  close(fd);
  if (!written) throw std::runtime_error("cannot prepare a scratch file");
  return path;
}

program_result run_cascade(const std::vector<std::string>& arguments, const program_options& options) {
  std::vector<std::string> words;
  if (!options.shell_prefix.empty()) {
    words = {"/bin/sh", "-c", options.shell_prefix + " exec \"$0\" \"$@\""};
  }
  words.push_back(CASCADE_BINARY);
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (auto& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  // Ours, less each variable that options.environment sets anew: with two
  // entries of one name, getenv would find the inherited one first.
  const auto set_anew = [&](std::string_view entry) {
    const std::string_view name = entry.substr(0, entry.find('='));
    for (const auto& added : options.environment) {
      if (added.starts_with(name) && added.size() > name.size() && added[name.size()] == '=') return true;
    }
    return false;
  };
  std::vector<std::string> environment_text;
  for (char** e = environ; *e != nullptr; ++e) {
    if (!set_anew(*e)) environment_text.emplace_back(*e);
  }
  environment_text.insert(environment_text.end(), options.environment.begin(), options.environment.end());
  std::vector<char*> envp;
  for (auto& entry : environment_text) envp.push_back(entry.data());
  envp.push_back(nullptr);

  const std::string out_path = options.stdout_path.empty() ? temporary_path("stdout") : options.stdout_path;
  const std::string err_path = options.stderr_path.empty() ? temporary_path("stderr") : options.stderr_path;
  const pid_t child = fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) {
    redirect("/dev/null", STDIN_FILENO, O_RDONLY);
    redirect(out_path, STDOUT_FILENO, O_WRONLY | O_TRUNC);
    redirect(err_path, STDERR_FILENO, O_WRONLY | O_TRUNC);
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  int wait_status = 0;
  while (waitpid(child, &wait_status, 0) < 0) {
  }
  program_result result;
  result.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 128 + WTERMSIG(wait_status);
  if (options.stdout_path.empty()) {
    result.out = read_file(out_path);
    unlink(out_path.c_str());
  }
  if (options.stderr_path.empty()) {
    result.err = read_file(err_path);
    unlink(err_path.c_str());
  }
  return result;
}

}  // namespace testing_support
