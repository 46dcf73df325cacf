#include "generator/random.hpp"

#include <sys/random.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <system_error>

namespace tessark {
namespace {

std::uint32_t rotate_left(std::uint32_t x, int k) { return (x << k) | (x >> (32 - k)); }

std::uint64_t splitmix64_output(std::uint64_t seed, std::uint64_t step) {
  std::uint64_t z = seed + step * 0x9e3779b97f4a7c15ULL;
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  return z ^ (z >> 31);
}

// The full 128-bit product of two 64-bit words as (high, low), without a 128-bit type so that
// 32-bit targets build the same code.
struct Product128 {
  std::uint64_t high;
  std::uint64_t low;
};

Product128 multiply_wide(std::uint64_t a, std::uint64_t b) {
  const std::uint64_t a_lo = a & 0xffffffffULL, a_hi = a >> 32;
  const std::uint64_t b_lo = b & 0xffffffffULL, b_hi = b >> 32;
  const std::uint64_t lo_lo = a_lo * b_lo;
  const std::uint64_t hi_lo = a_hi * b_lo;
  const std::uint64_t lo_hi = a_lo * b_hi;
  const std::uint64_t hi_hi = a_hi * b_hi;
  const std::uint64_t middle = (lo_lo >> 32) + (hi_lo & 0xffffffffULL) + lo_hi;
  return {hi_hi + (hi_lo >> 32) + (middle >> 32), (middle << 32) | (lo_lo & 0xffffffffULL)};
}

}  // namespace

RandomGenerator RandomGenerator::from_seed(std::uint64_t seed) {
  const std::uint64_t first = splitmix64_output(seed, 1);
  const std::uint64_t second = splitmix64_output(seed, 2);
  return RandomGenerator({static_cast<std::uint32_t>(first), static_cast<std::uint32_t>(first >> 32),
                          static_cast<std::uint32_t>(second),
                          static_cast<std::uint32_t>(second >> 32)});
}

RandomGenerator RandomGenerator::from_bytes(const std::array<std::uint8_t, 16>& bytes) {
  if (std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; })) {
    return from_seed(0);
  }
  State state{};
  for (std::size_t word = 0; word < 4; ++word) {
    for (std::size_t byte = 0; byte < 4; ++byte) {
      state[word] |= std::uint32_t{bytes[word * 4 + byte]} << (8 * byte);
    }
  }
  return RandomGenerator(state);
}

RandomGenerator RandomGenerator::from_entropy() {
  std::array<std::uint8_t, 16> bytes{};
  std::size_t filled = 0;
  while (filled < bytes.size()) {
    const ssize_t got = getrandom(bytes.data() + filled, bytes.size() - filled, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      throw std::system_error(errno, std::generic_category(),
                              "Reading the operating system's entropy source failed");
    }
    filled += static_cast<std::size_t>(got);
  }
  return from_bytes(bytes);
}

std::uint32_t RandomGenerator::draw32() {
  auto& [s0, s1, s2, s3] = state_;
  const std::uint32_t result = rotate_left(s0 + s3, 7) + s0;
  const std::uint32_t t = s1 << 9;
  s2 ^= s0;
  s3 ^= s1;
  s1 ^= s2;
  s0 ^= s3;
  s2 ^= t;
  s3 = rotate_left(s3, 11);
  return result;
}

std::uint64_t RandomGenerator::draw64() {
  const std::uint64_t low = draw32();
  const std::uint64_t high = draw32();
  return (high << 32) | low;
}

std::uint32_t RandomGenerator::below(std::uint32_t n) {
  const std::uint64_t product = std::uint64_t{draw32()} * n;
  std::uint32_t result = static_cast<std::uint32_t>(product >> 32);
  const std::uint32_t low = static_cast<std::uint32_t>(product);
  // 0 - n is 2^32 - n for every n >= 1.
  if (low > static_cast<std::uint32_t>(0U - n)) {
    const std::uint32_t carry = static_cast<std::uint32_t>((std::uint64_t{draw32()} * n) >> 32);
    if (std::uint64_t{low} + carry >= (std::uint64_t{1} << 32)) result += 1;
  }
  return result;
}

std::int64_t RandomGenerator::between(std::int64_t a, std::int64_t b) {
  const std::uint64_t n = static_cast<std::uint64_t>(b) - static_cast<std::uint64_t>(a) + 1;
  if (n == 0) return static_cast<std::int64_t>(draw64());  // the whole 64-bit range
  const Product128 product = multiply_wide(draw64(), n);
  std::uint64_t offset = product.high;
  if (product.low > 0ULL - n) {
    const std::uint64_t carry = multiply_wide(draw64(), n).high;
    if (product.low + carry < product.low) offset += 1;  // the sum reached 2^64
  }
  return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) + offset);
}

std::optional<std::uint32_t> RandomGenerator::pick(std::uint32_t size) {
  if (size == 0) return std::nullopt;
  return below(size);
}

std::vector<std::uint32_t> RandomGenerator::distinct(std::uint32_t length, std::uint32_t amount) {
  std::vector<std::uint32_t> chosen;
  amount = std::min(amount, length);
  chosen.reserve(amount);
  for (std::uint32_t j = length - amount; j < length; ++j) {
    const std::uint32_t t = below(j + 1);
    auto seen = std::find(chosen.begin(), chosen.end(), t);
    if (seen != chosen.end()) *seen = j;
    chosen.push_back(t);
  }
  return chosen;
}

}  // namespace tessark
