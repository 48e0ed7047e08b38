#include "cascade/sha256.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

std::string digest_of(const std::string& text, bool plain, std::size_t piece) {
  cascade::sha256 sum(plain);
  for (std::size_t at = 0; at < text.size(); at += piece) sum.add(text.data() + at, std::min(piece, text.size() - at));
  return sum.hex_digest();
}

// The definition's own examples, fed whole and a byte at a time, by both paths.
TEST(Sha256, KnownDigests) {
  const std::pair<std::string, std::string> known[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
  };
  for (const auto& [text, digest] : known) {
    for (const bool plain : {false, true}) {
      EXPECT_EQ(digest_of(text, plain, text.size() + 1), digest) << text << " plain " << plain;
      EXPECT_EQ(digest_of(text, plain, 1), digest) << text << " plain " << plain;
    }
  }
}

// The processor's instructions (where it has them) and the plain rounds agree
// on every length across the padding's edges and on pieces of any size.
TEST(Sha256, BothPathsAgree) {
  std::string text;
  std::uint64_t state = 88172645463325252ull;
  for (int i = 0; i < 5000; ++i) {
    state ^= state << 13, state ^= state >> 7, state ^= state << 17;
    text.push_back(static_cast<char>(state));
  }
  for (std::size_t length = 0; length < 300; ++length) {
    const std::string part = text.substr(0, length);
    EXPECT_EQ(digest_of(part, false, 7), digest_of(part, true, 64)) << length;
  }
  EXPECT_EQ(digest_of(text, false, 1000), digest_of(text, true, 3));
}

}  // namespace
