// golden.h: reading the known-answer files under tests/data.
#pragma once

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace testing_support {

inline std::string data_path(const std::string& name) { return std::string(CASCADE_TEST_DATA_DIR) + "/" + name; }

inline std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

/// One double a line, as text that reads back to the exact double.
inline std::vector<double> read_doubles(const std::string& path) {
  std::ifstream in(path);
  std::vector<double> values;
  for (std::string line; std::getline(in, line);) values.push_back(std::strtod(line.c_str(), nullptr));
  return values;
}

}  // namespace testing_support
