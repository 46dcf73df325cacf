// The generator's pseudo-random source: xoshiro128++ (32-bit output) seeded by SplitMix64, and
// the bounded draws built on it. Every draw is spelled out so that a seed fixes the output.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace tessark {

class RandomGenerator {
 public:
  using State = std::array<std::uint32_t, 4>;  // s0, s1, s2, s3

  // State expanded from a 64-bit seed with two SplitMix64 steps.
  static RandomGenerator from_seed(std::uint64_t seed);
  // State read from 16 bytes as four little-endian words; all zero bytes mean the seed-0 state
  // (xoshiro cannot leave the all-zero state).
  static RandomGenerator from_bytes(const std::array<std::uint8_t, 16>& bytes);
  // State from the operating system's entropy source. Throws std::system_error when the source
  // fails: that is a fault of the platform, not of any input.
  static RandomGenerator from_entropy();

  const State& state() const { return state_; }

  std::uint32_t draw32();
  std::uint64_t draw64();  // first draw is the low half

  // Uniform in [0, n), n >= 1: multiply-and-correct with at most two draws (one when n is a
  // power of two).
  std::uint32_t below(std::uint32_t n);
  // Uniform in [a, b], a <= b, the same method on 64 bits.
  std::int64_t between(std::int64_t a, std::int64_t b);
  // An index into a list of `size` entries; nothing (and no draw) when size is 0.
  std::optional<std::uint32_t> pick(std::uint32_t size);
  // `amount` distinct indices below `length` (amount <= length), Floyd's method, in the order
  // that method produces them.
  std::vector<std::uint32_t> distinct(std::uint32_t length, std::uint32_t amount);

 private:
  explicit RandomGenerator(State state) : state_(state) {}
  State state_;
};

}  // namespace tessark
