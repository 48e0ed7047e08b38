// The table of formats: what its rows promise every face that reads them.
#include "cascade/formats.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "cascade/value_encoding.h"

namespace {

using cascade::format_row;
using cascade::output_formats;

TEST(Formats, TextIsTheDefaultAndAloneWithoutAnOption) {
  ASSERT_FALSE(output_formats().empty());
  const format_row& text = output_formats().front();
  EXPECT_EQ(text.id, cascade::value_format::text);
  EXPECT_EQ(text.option, "");
  EXPECT_FALSE(text.binary());
  EXPECT_EQ(text.dtype, "");
  std::set<std::string_view> names, options;
  for (const format_row& row : output_formats()) {
    EXPECT_TRUE(names.insert(row.name).second) << row.name;
    EXPECT_EQ(&cascade::format_of(row.id), &row) << row.name;
    if (&row == &text) continue;
    EXPECT_TRUE(row.option.starts_with("--")) << row.name;
    EXPECT_TRUE(options.insert(row.option).second) << row.option;
    EXPECT_FALSE(row.help.empty()) << row.name;
    EXPECT_FALSE(row.help.ends_with('\n')) << row.name;
  }
}

// A binary row is an array of floats that numpy reads as its dtype says:
// little-endian, value_bytes each, every one written over doubles in place.
TEST(Formats, BinaryRowsAreLittleEndianFloatsOfTheirSize) {
  for (const format_row& row : output_formats()) {
    if (!row.binary()) continue;
    EXPECT_EQ(row.dtype, "<f" + std::to_string(row.value_bytes)) << row.name;
    EXPECT_LE(row.value_bytes, sizeof(double)) << row.name;
    ASSERT_NE(row.encode, nullptr) << row.name;
    ASSERT_NE(row.encode_over, nullptr) << row.name;
    EXPECT_TRUE(cascade::encodes_over_values(row.id)) << row.name;
  }
}

// Both encodings of a block give the same bytes, at every length around the
// runs that the in-place encodings take whole.
TEST(Formats, EncodingOverTheValuesEqualsEncodingIntoABuffer) {
  std::mt19937_64 bits(7);
  std::normal_distribution<double> normal(0.0, 3.0);
  for (const format_row& row : output_formats()) {
    if (!row.binary()) continue;
    for (std::int64_t count = 0; count <= 40; ++count) {
      std::vector<double> values(static_cast<std::size_t>(count));
      for (double& value : values) value = normal(bits);
      cascade::text_buffer buffer;
      const cascade::encoded_bytes copied = cascade::encode_values(row.id, values.data(), count, &buffer);
      const std::string expected(static_cast<const char*>(copied.data), copied.size);
      const cascade::encoded_bytes over = cascade::encode_over_values(row.id, values.data(), count);
      EXPECT_EQ(expected.size(), static_cast<std::size_t>(count) * row.value_bytes) << row.name;
      EXPECT_EQ(std::string(static_cast<const char*>(over.data), over.size), expected) << row.name << " " << count;
    }
  }
}

}  // namespace
