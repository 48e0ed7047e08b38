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
  /// `plain`: the definition's rounds a word at a time, even where the
  /// processor's SHA instructions would be used (what tests compare them by).
  explicit sha256(bool plain = false);
  void add(const void* bytes, std::size_t count);
  /// The digest as 64 lowercase hex digits; the object is spent afterwards.
  std::string hex_digest();

 private:
  /// Folds `blocks` blocks of 64 bytes into the state.
  void compress(const unsigned char* bytes, std::size_t blocks);
  std::array<std::uint32_t, 8> state_;
  std::array<unsigned char, 64> pending_{};
  std::size_t pending_count_ = 0;
  std::uint64_t total_bytes_ = 0;
  bool plain_;
};

}  // namespace cascade
