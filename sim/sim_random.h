#pragma once
// A small, fast, seedable generator (SplitMix64) so that the simulated adapter gives the
// same traffic, noise and errors for the same seed on every platform and library.

#include <cstdint>

namespace velqor {

class SimRandom {
 public:
  explicit SimRandom(std::uint64_t seed = 1) : m_state(seed) {}

  std::uint64_t Next() {
    std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // Uniform in [0, 1).
  double Uniform() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }
  // Uniform integer in [0, n); n > 0.
  std::uint64_t Below(std::uint64_t n) { return Next() % n; }

 private:
  std::uint64_t m_state;
};

}  // namespace velqor
