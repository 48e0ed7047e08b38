// summary_line.h: the text of a series' summary, as every face prints it.
#pragma once

#include <string>

#include "cascade/summary.h"

namespace cascade {

/// "N = %ld, mean = %lf, SD = %lf", without the newline.
std::string summary_line(const series_summary& summary);

}  // namespace cascade
