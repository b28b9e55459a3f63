// What the throughput benchmarks share: the best time of repeated runs, MB/s, and sample data
// made from a seed, so that every program measures the same kinds of input the same way.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <random>
#include <vector>

namespace bench {

using clock_type = std::chrono::steady_clock;

// Best wall time of up to 50 runs of `run` (at least 5, then until 2 seconds have passed).
inline double best_seconds(const std::function<void()>& run) {
  double best = 1e9;
  const auto start = clock_type::now();
  for (int i = 0; i < 50; ++i) {
    const auto t0 = clock_type::now();
    run();
    const std::chrono::duration<double> took = clock_type::now() - t0;
    best = std::min(best, took.count());
    if (i >= 4 && clock_type::now() - start > std::chrono::seconds(2)) break;
  }
  return best;
}

inline double megabytes_per_second(size_t n, double seconds) {
  return static_cast<double>(n) / 1e6 / seconds;
}

// Random bytes from a skewed distribution: few matches, mostly literals.
inline std::vector<uint8_t> random_ish(uint32_t seed, size_t size) {
  std::mt19937 rng(seed);
  std::geometric_distribution<int> skew(0.05);
  std::vector<uint8_t> b(size);
  for (auto& x : b) x = static_cast<uint8_t>(skew(rng));
  return b;
}

// Uniform random bytes: incompressible.
inline std::vector<uint8_t> random_uniform(uint32_t seed, size_t size) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> b(size);
  for (auto& x : b) x = static_cast<uint8_t>(rng());
  return b;
}

} // namespace bench
