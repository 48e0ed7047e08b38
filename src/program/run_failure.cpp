#include "program/run_failure.h"

#include <cstring>

#include "cascade/quoted.h"
#include "program/exit_status.h"
#include "program/standard_streams.h"

namespace cascade {

int report_failure(const run_failure& failure, std::int64_t count, const run_parameters& parameters) {
  if (failure.no_memory_for != nullptr) {
    if (failure.counted) {
      report("cannot allocate memory for %lld %s", static_cast<long long>(count), failure.no_memory_for);
    } else {
      report("cannot allocate memory for %s", failure.no_memory_for);
    }
    return exit_failure;
  }
  if (failure.write_of == weights_write) {
    report("cannot write the weights to %s: %s", quoted(*parameters.weights_path).c_str(),
           std::strerror(failure.errno_value));
    return exit_failure;
  }
  if (failure.write_of != nullptr) {
    report("cannot write %s: %s", failure.write_of, std::strerror(failure.errno_value));
    return exit_failure;
  }
  return exit_success;
}

}  // namespace cascade
