// A results file through the library's public header: saved, checked value
// by value, refused over an existing file, and its attributes judged by the
// same rules whichever store carries them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cascade/cascade.hpp>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <variant>

namespace {

std::string scratch_path() {
  char name[] = "/tmp/cascade_results_XXXXXX";
  const int fd = mkstemp(name);
  close(fd);
  unlink(name);
  return std::string(name) + ".h5";
}

cascade::run_request philox_run() {
  cascade::run_request request;
  request.lambda = 0.4;
  request.step_number = 12;
  request.n0 = 2;
  request.seed = 77;
  request.generator = cascade::random_stream::philox;
  request.law = "microcanonical";
  return request;
}

TEST(ResultsFile, SavedThenVerifiedAndNeverOverwrittenUnlessAsked) {
  if (!cascade::results_files_built()) GTEST_SKIP() << "built without HDF5";
  const std::string path = scratch_path();
  cascade::results_options options;
  options.weights = true;
  options.float32 = true;
  cascade::save_results(philox_run(), path, options);
  EXPECT_EQ(cascade::verify_results(path).status, 0);
  EXPECT_EQ(cascade::inspect_results(path).status, 0);
  EXPECT_THROW(cascade::save_results(philox_run(), path, options), std::invalid_argument);
  options.overwrite = true;
  options.has_range = true;
  options.start = 100;
  options.stop = 3000;
  cascade::save_results(philox_run(), path, options);
  EXPECT_EQ(cascade::verify_results(path, 1).status, 0);
  unlink(path.c_str());
  const cascade::results_check missing = cascade::verify_results(path);
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.message.find("cannot be read"), std::string::npos) << missing.message;
}

TEST(ResultsFile, AttributesAreJudgedByTheSameRules) {
  cascade::results_options options;
  const std::string digest(64, 'a');
  auto attributes = cascade::results_attributes(philox_run(), "r.h5", options, digest);
  EXPECT_EQ(cascade::results_attributes_refusal(attributes), "");
  for (auto& attribute : attributes) {
    if (attribute.name == "law") attribute.value = std::string("gaussian");
  }
  EXPECT_NE(cascade::results_attributes_refusal(attributes).find("law"), std::string::npos);
  cascade::run_request refused = philox_run();
  refused.n0 = 0;
  EXPECT_THROW(cascade::results_attributes(refused, "r.h5", options, digest), std::invalid_argument);
}

}  // namespace
