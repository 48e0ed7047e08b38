#include "cascade/sha256.h"

#include <immintrin.h>

#include <algorithm>
#include <bit>
#include <cstring>

#include "exact_math/cpu_features.h"

namespace cascade {
namespace {

constexpr std::uint32_t round_constants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

std::uint32_t big_endian_word(const unsigned char* bytes) {
  return std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 | std::uint32_t{bytes[2]} << 8 | bytes[3];
}

/// One block by the definition's rounds, a word at a time.
void compress_plain(std::array<std::uint32_t, 8>& state, const unsigned char* block) {
  std::uint32_t w[64];
  for (int i = 0; i < 16; ++i) w[i] = big_endian_word(block + 4 * i);
  for (int i = 16; i < 64; ++i) {
    const std::uint32_t s0 = std::rotr(w[i - 15], 7) ^ std::rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
    const std::uint32_t s1 = std::rotr(w[i - 2], 17) ^ std::rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
    w[i] = w[i - 16] + s0 + w[i - 7] + s1;
  }
  auto [a, b, c, d, e, f, g, h] = state;
  for (int i = 0; i < 64; ++i) {
    const std::uint32_t t1 =
        h + (std::rotr(e, 6) ^ std::rotr(e, 11) ^ std::rotr(e, 25)) + ((e & f) ^ (~e & g)) + round_constants[i] + w[i];
    const std::uint32_t t2 = (std::rotr(a, 2) ^ std::rotr(a, 13) ^ std::rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
    h = g;
    g = f;
    f = e;
    e = d + t1;
    d = c;
    c = b;
    b = a;
    a = t1 + t2;
  }
  const std::uint32_t rounds[8] = {a, b, c, d, e, f, g, h};
  for (int i = 0; i < 8; ++i) state[i] += rounds[i];
}

/// Blocks by the processor's SHA instructions: two rounds an instruction,
/// the state held as the instructions take it (ABEF and CDGH).
[[gnu::target("sha,sse4.1")]] void compress_sha_extensions(std::array<std::uint32_t, 8>& state,
                                                           const unsigned char* bytes, std::size_t blocks) {
  const __m128i big_endian_words = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
  __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[0]));
  __m128i abef_cdgh[2];
  __m128i& abef = abef_cdgh[0];
  __m128i& cdgh = abef_cdgh[1];
  cdgh = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[4]));
  low = _mm_shuffle_epi32(low, 0xB1);       // CDAB
  cdgh = _mm_shuffle_epi32(cdgh, 0x1B);     // EFGH
  abef = _mm_alignr_epi8(low, cdgh, 8);     // ABEF
  cdgh = _mm_blend_epi16(cdgh, low, 0xF0);  // CDGH
  for (std::size_t block = 0; block < blocks; ++block, bytes += 64) {
    const __m128i abef_before = abef, cdgh_before = cdgh;
    __m128i words[4];
#pragma GCC unroll 16
    for (int group = 0; group < 16; ++group) {
      __m128i& these = words[group % 4];
      if (group < 4) {
        these =
            _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 16 * group)), big_endian_words);
      }
      __m128i message =
          _mm_add_epi32(these, _mm_loadu_si128(reinterpret_cast<const __m128i*>(&round_constants[4 * group])));
      cdgh = _mm_sha256rnds2_epu32(cdgh, abef, message);
      if (group >= 3 && group <= 14) {
        __m128i& next = words[(group + 1) % 4];
        next = _mm_add_epi32(next, _mm_alignr_epi8(these, words[(group + 3) % 4], 4));
        next = _mm_sha256msg2_epu32(next, these);
      }
      message = _mm_shuffle_epi32(message, 0x0E);
      abef = _mm_sha256rnds2_epu32(abef, cdgh, message);
      if (group >= 1 && group <= 12) {
        __m128i& previous = words[(group + 3) % 4];
        previous = _mm_sha256msg1_epu32(previous, these);
      }
    }
    abef = _mm_add_epi32(abef, abef_before);
    cdgh = _mm_add_epi32(cdgh, cdgh_before);
  }
  low = _mm_shuffle_epi32(abef, 0x1B);                                                        // FEBA
  cdgh = _mm_shuffle_epi32(cdgh, 0xB1);                                                       // DCHG
  _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[0]), _mm_blend_epi16(low, cdgh, 0xF0));  // DCBA
  _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[4]), _mm_alignr_epi8(cdgh, low, 8));     // HGFE
}

}  // namespace

void sha256::compress(const unsigned char* bytes, std::size_t blocks) {
  static const bool extensions = exact_math::cpu_has_sha();
  if (extensions && !plain_) {
    compress_sha_extensions(state_, bytes, blocks);
    return;
  }
  for (std::size_t block = 0; block < blocks; ++block) compress_plain(state_, bytes + 64 * block);
}

sha256::sha256(bool plain)
    : state_{0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19},
      plain_(plain) {}

void sha256::add(const void* bytes, std::size_t count) {
  auto from = static_cast<const unsigned char*>(bytes);
  total_bytes_ += count;
  if (pending_count_ > 0) {
    const std::size_t taken = std::min(count, pending_.size() - pending_count_);
    std::memcpy(pending_.data() + pending_count_, from, taken);
    pending_count_ += taken;
    from += taken;
    count -= taken;
    if (pending_count_ < pending_.size()) return;
    compress(pending_.data(), 1);
    pending_count_ = 0;
  }
  compress(from, count / 64);
  from += count / 64 * 64;
  count %= 64;
  std::memcpy(pending_.data(), from, count);
  pending_count_ = count;
}

std::string sha256::hex_digest() {
  const std::uint64_t bits = total_bytes_ * 8;
  const unsigned char one = 0x80;
  add(&one, 1);
  const unsigned char zero = 0;
  while (pending_count_ != 56) add(&zero, 1);
  unsigned char length[8];
  for (int i = 0; i < 8; ++i) length[i] = static_cast<unsigned char>(bits >> (56 - 8 * i));
  add(length, 8);
  static constexpr char hex[] = "0123456789abcdef";
  std::string digest;
  for (const std::uint32_t word : state_) {
    for (int shift = 28; shift >= 0; shift -= 4) digest += hex[(word >> shift) & 0xf];
  }
  return digest;
}

}  // namespace cascade
