#include "cascade/output.h"

namespace cascade {

void write_summary(std::FILE* stream, const series_summary& summary) {
  std::fprintf(stream, "N = %ld, mean = %lf, SD = %lf\n", static_cast<long>(summary.count), summary.mean,
               summary.sd);
}

void write_values(output_sink& sink, const double* values, std::int32_t count) {
  for (std::int32_t i = 1; i <= count && !sink.failed(); ++i) {
    char* line = sink.reserve(max_value_line);
    const int length = std::snprintf(line, max_value_line, "%16.15lf\n", values[i]);
    sink.commit(static_cast<std::size_t>(length));
  }
}

}  // namespace cascade
