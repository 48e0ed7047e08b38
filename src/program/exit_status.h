// exit_status.h: what the process tells its caller.
#pragma once

namespace cascade {

enum exit_status : int {
  exit_success = 0,  ///< the values were written, or --help / --version
  exit_failure = 1,  ///< the run could not finish: no memory, or output failed
  exit_usage = 2,    ///< the command line was refused; nothing was generated
};

}  // namespace cascade
