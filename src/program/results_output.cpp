#include "program/results_output.h"

#include <cerrno>
#include <cstring>
#include <new>
#include <string>

#include "cascade/quoted.h"
#include "program/command_echo.h"
#include "program/exit_status.h"
#include "program/standard_streams.h"
#include "program/writer.h"

#if CASCADE_HAVE_HDF5
#include "cascade/hdf5_file.h"
#include "cascade/results_file.h"
#include "cascade/series_source.h"
#include "program/temporary_removal.h"
#endif

namespace cascade {

#if CASCADE_HAVE_HDF5

int write_results_output(const run_parameters& parameters, std::uint64_t seed, unsigned threads,
                         progress_meter& progress) {
  const std::string& path = *parameters.output_path;
  if (const auto refused = output_refusal(path, parameters.force)) {
    report("--output %s", refused->c_str());
    return exit_usage;
  }
  temporary_removal removal;
  file_request request;
  request.run = words_of(parameters, seed);
  request.threads = threads;
  request.overwrite = parameters.force;
  request.progress = [&progress](std::int64_t done, std::int64_t total) { progress.show("generating", done, total); };
  request.temporary_named = [&removal](const char* temporary) { removal.name(temporary); };
  try {
    errno = 0;
    const moments made = write_results_file(request);
    progress.erase();
    if (const int error = write_summary_text(made, parameters, seed); error != 0) {
      report("cannot write the summary: %s", std::strerror(error));
      return exit_failure;
    }
    return exit_success;
  } catch (const results_file_error& error) {
    const int cause = errno;
    progress.erase();
    report("cannot write the results file %s: %s%s%s", quoted(path).c_str(), error.what(), cause != 0 ? ": " : "",
           cause != 0 ? std::strerror(cause) : "");
  } catch (const no_memory_for& missing) {
    progress.erase();
    report("cannot allocate memory for %lld %s", static_cast<long long>(request.run.count()), missing.what_for);
  } catch (const std::bad_alloc&) {
    progress.erase();
    report("cannot allocate memory for the working buffers");
  }
  return exit_failure;
}

int verify_results_output(const run_parameters& parameters, unsigned threads) {
  const std::string& path = *parameters.verify_path;
  const verification checked = verify_results_file(path, threads);
  if (checked.status != verification::equal) report("--verify %s: %s", quoted(path).c_str(), checked.message.c_str());
  return checked.status;
}

#else

int write_results_output(const run_parameters&, std::uint64_t, unsigned, progress_meter&) {
  report("--output needs HDF5, and this build has none (see cascade --version --verbose)");
  return exit_usage;
}

int verify_results_output(const run_parameters&, unsigned) {
  report("--verify needs HDF5, and this build has none (see cascade --version --verbose)");
  return exit_usage;
}

#endif

}  // namespace cascade
