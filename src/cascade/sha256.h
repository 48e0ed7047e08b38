// sha256.h: SHA-256 of a stream of bytes, fed in pieces of any size: the
// checksum a results file keeps of each of its datasets.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace cascade {

class sha256 {
 public:
  sha256();
  void add(const void* bytes, std::size_t count);
  /// The digest as 64 lowercase hex digits; the object is spent afterwards.
  std::string hex_digest();

 private:
  void compress(const unsigned char* block);
  std::array<std::uint32_t, 8> state_;
  std::array<unsigned char, 64> pending_{};
  std::size_t pending_count_ = 0;
  std::uint64_t total_bytes_ = 0;
};

}  // namespace cascade
