// Throughput of the content-stream decoders in MB/s of decoded output: LZW (both code-width
// rules), ASCIIHex, ASCII85, RunLength and the TIFF and PNG predictors, each over 4 MiB of
// page-content-like text. Flate's own figures are printed by bench_inflate.
#include "filter_encoders.h"
#include "pdfmerge/filters/filters.h"

#include <chrono>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

using vec = std::vector<uint8_t>;
using clock_type = std::chrono::steady_clock;

constexpr size_t data_size = 4 << 20;

// Operators and numbers as page content has them: "q 1 0 0 1 72.5 700 cm BT /F1 12 Tf ...".
vec content_like(uint32_t seed) {
  std::mt19937 rng(seed);
  const char* ops[] = {"m", "l", "c", "re", "f", "S", "cm", "Tf", "Td", "Tj", "q", "Q", "BT", "ET"};
  vec out;
  out.reserve(data_size + 64);
  while (out.size() < data_size) {
    const int operands = static_cast<int>(rng() % 5);
    for (int k = 0; k < operands; ++k) {
      const std::string n = std::to_string(rng() % 800) + (rng() % 3 == 0 ? ".5 " : " ");
      out.insert(out.end(), n.begin(), n.end());
    }
    const std::string op = std::string(ops[rng() % 14]) + "\n";
    out.insert(out.end(), op.begin(), op.end());
  }
  out.resize(data_size);
  return out;
}

std::string hex_encode(const vec& in) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(in.size() * 2 + in.size() / 32 + 1);
  for (size_t k = 0; k < in.size(); ++k) {
    out += digits[in[k] >> 4];
    out += digits[in[k] & 15];
    if (k % 32 == 31) out += '\n';
  }
  return out + ">";
}

// Runs of repeated bytes (as in flat image rows) and literal stretches.
std::string run_length_encode(const vec& in) {
  std::string out;
  for (size_t i = 0; i < in.size();) {
    const size_t n = std::min<size_t>(128, in.size() - i);
    out += static_cast<char>(n - 1);
    out.append(reinterpret_cast<const char*>(in.data() + i), n);
    i += n;
    out += static_cast<char>(257 - 100); // then a run of 100 spaces
    out += ' ';
  }
  return out + "\x80";
}

vec png_up(const vec& plain, size_t row) {
  vec out;
  for (size_t r = 0; r * row < plain.size(); ++r) {
    out.push_back(2);
    for (size_t k = 0; k < row && r * row + k < plain.size(); ++k)
      out.push_back(
          static_cast<uint8_t>(plain[r * row + k] - (r > 0 ? plain[(r - 1) * row + k] : 0)));
  }
  return out;
}

// Best of five runs of `decode`, which returns the bytes it produced.
void report(const char* name, const std::function<size_t()>& decode) {
  double best = 1e30;
  size_t produced = 0;
  for (int round = 0; round < 5; ++round) {
    const auto t0 = clock_type::now();
    produced = decode();
    const double s = std::chrono::duration<double>(clock_type::now() - t0).count();
    best = std::min(best, s);
  }
  std::printf("%-28s %8.1f MB/s  (%zu bytes out)\n", name,
              static_cast<double>(produced) / best / 1e6, produced);
}

pdfmerge::bytes view(const std::string& s) {
  return pdfmerge::as_bytes(s);
}

} // namespace

int main() {
  using namespace pdfmerge;
  const vec plain = content_like(1);
  const std::string lzw1 = testenc::to_str(testenc::lzw_encode(plain, 1));
  const std::string lzw0 = testenc::to_str(testenc::lzw_encode(plain, 0));
  const std::string hex = hex_encode(plain);
  const std::string a85 = testenc::a85_encode(plain);
  const std::string rl = run_length_encode(plain);
  const vec png = png_up(plain, 600);

  std::printf("decoder throughput, MB/s of decoded output (best of 5)\n");
  vec out;
  out.reserve(data_size * 2);
  report("LZW (EarlyChange 1)", [&] {
    out.clear();
    lzw_decode(view(lzw1), 1, out);
    return out.size();
  });
  report("LZW (EarlyChange 0)", [&] {
    out.clear();
    lzw_decode(view(lzw0), 0, out);
    return out.size();
  });
  report("ASCIIHex", [&] {
    out.clear();
    ascii_hex_decode(view(hex), out);
    return out.size();
  });
  report("ASCII85", [&] {
    out.clear();
    ascii85_decode(view(a85), out);
    return out.size();
  });
  report("RunLength", [&] {
    out.clear();
    run_length_decode(view(rl), out);
    return out.size();
  });
  report("PNG predictor (Up, 600/row)", [&] {
    vec data = png;
    apply_predictor({12, 3, 8, 200, 1}, data);
    return data.size();
  });
  report("TIFF predictor (3x8 bits)", [&] {
    vec data = plain;
    apply_predictor({2, 3, 8, 200, 1}, data);
    return data.size();
  });
  report("TIFF predictor (1x4 bits)", [&] {
    vec data = plain;
    apply_predictor({2, 1, 4, 1200, 1}, data);
    return data.size();
  });
  return 0;
}
