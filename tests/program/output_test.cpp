// The value lines as the program writes them: many blocks and chunks,
// formatted by both threads, against the C library's printf.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cascade/cascade.h"
#include "cascade/work_sharing.h"
#include "program/output.h"
#include "support/golden.h"

namespace {

using cascade::cascade_shape;

// Lines of many blocks and chunks, written by both threads, in order.
TEST(Output, WrittenLinesEqualTheCLibrary) {
  const cascade_shape shape{cascade::step_sigma(2.0, 17), 17, 1};
  std::vector<double> values(static_cast<std::size_t>(shape.value_count()));
  cascade::work_sharing lanes(true);
  cascade::generate_series(values.data(), shape, -5, lanes);
  values[100] = 1e300;  // a line far longer than usual, to make a block grow

  std::string expected;
  char line[400];
  for (const double v : values) expected.append(line, static_cast<std::size_t>(std::snprintf(line, sizeof line, "%16.15lf\n", v)));

  char path[] = "/tmp/cascade-lines-XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(cascade::write_values(fd, values.data(), shape.value_count(), lanes), 0);
  close(fd);
  const std::string written = testing_support::read_file(path);
  unlink(path);
  EXPECT_TRUE(written == expected) << "the written lines differ from printf's";
}

}  // namespace
