// The cost of decryption in a merge: three generated documents of 2,000 text pages each (about
// the size and mix of the peer benchmark's W2 workload: Flate content, embedded font files,
// images; the second with object streams) merged as qpdf writes them unencrypted, encrypted with
// AES-256 (revision 6) and with 128-bit RC4 (revision 3), all with the empty user password. The
// three merges take turns, round after round, so that a busy machine slows them alike; each is
// timed in wall and in processor time (user and system), and each ratio is the median of the
// rounds' ratios to the unencrypted merge of the same round. Needs qpdf.
#include "bench_support.h"
#include "deflate/deflate.h"
#include "kq_out_pdfmerge.h"
#include "pdf_builder.h"
#include "test_files.h"

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int pages_per_doc = 2000;
constexpr int fonts = 20;
constexpr int pages_per_image = 10; // 40 KB each

std::string deflated(const std::string& text) {
  std::vector<uint8_t> out;
  deflate::deflate_compress({reinterpret_cast<const uint8_t*>(text.data()), text.size()}, out);
  return {out.begin(), out.end()};
}

// About 18 KB of text operators as typesetting programs write them: positioned lines of words
// with kerning between them, which compress about three to one.
std::string page_text(std::mt19937& rng, int page) {
  static const char* const words[] = {"merge", "page",  "count", "stream", "object", "font",
                                      "text",  "table", "tree",  "reader", "writer", "file",
                                      "bytes", "the",   "of",    "and",    "a",      "in"};
  std::string s = "BT /F" + std::to_string(page % fonts) + " 10 Tf\n";
  for (int line = 0; line < 70; ++line) {
    s += "1 0 0 1 " + std::to_string(56 + rng() % 20) + " " + std::to_string(760 - 10 * line) +
         " Tm [";
    for (int w = 0; w < 14; ++w)
      s += "(" + std::string(words[rng() % 18]) + ")" +
           std::to_string(static_cast<int>(rng() % 800) - 400);
    s += "] TJ\n";
  }
  return s + "ET\n";
}

std::string document(uint32_t seed) {
  std::mt19937 rng(seed);
  fixtures::pdf_builder b;
  const int first_font = 3;
  const int first_image = first_font + 2 * fonts;
  const int images = pages_per_doc / pages_per_image;
  const int first_page = first_image + images;
  std::string kids;
  for (int p = 0; p < pages_per_doc; ++p) kids += std::to_string(first_page + 2 * p) + " 0 R ";
  b.object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.object(2,
           "<< /Type /Pages /Count " + std::to_string(pages_per_doc) + " /Kids [" + kids + "] >>");
  for (int f = 0; f < fonts; ++f) {
    const int num = first_font + 2 * f;
    b.object(num, "<< /Type /Font /Subtype /Type1 /BaseFont /Bench" + std::to_string(f) +
                      " /FontDescriptor << /Type /FontDescriptor /FontName /Bench" +
                      std::to_string(f) + " /FontFile " + std::to_string(num + 1) + " 0 R >> >>");
    const std::vector<uint8_t> program = bench::random_ish(seed + f, 100000);
    b.stream(num + 1, "/Filter /FlateDecode",
             deflated(std::string(program.begin(), program.end())));
  }
  for (int i = 0; i < images; ++i) {
    const std::vector<uint8_t> jpeg = bench::random_uniform(seed * 1000 + i, 40000);
    b.stream(first_image + i,
             "/Type /XObject /Subtype /Image /Width 100 /Height 100 /ColorSpace /DeviceRGB "
             "/BitsPerComponent 8 /Filter /DCTDecode",
             std::string(jpeg.begin(), jpeg.end()));
  }
  std::string font_dict;
  for (int f = 0; f < fonts; ++f)
    font_dict += "/F" + std::to_string(f) + " " + std::to_string(first_font + 2 * f) + " 0 R ";
  for (int p = 0; p < pages_per_doc; ++p) {
    const int num = first_page + 2 * p;
    const std::string image = std::to_string(first_image + p / pages_per_image);
    b.object(num, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents " +
                      std::to_string(num + 1) + " 0 R /Resources << /Font << " + font_dict +
                      ">> /XObject << /Im0 " + image + " 0 R >> >> >>");
    b.stream(num + 1, "/Filter /FlateDecode", deflated(page_text(rng, p)));
  }
  b.xref_table().trailer("<< /Root 1 0 R /Size " + std::to_string(first_page + 2 * pages_per_doc) +
                         " >>");
  return b.startxref().str();
}

bool qpdf(const std::string& in, const std::string& out, const std::string& options) {
  const std::string command =
      "qpdf --allow-weak-crypto " + options + " '" + in + "' '" + out + "' >/dev/null 2>&1";
  const int rc = std::system(command.c_str());
  return rc == 0 || rc == 3 << 8; // 3: written, with warnings
}

double cpu_seconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  const auto sec = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return sec(u.ru_utime) + sec(u.ru_stime);
}

struct timing {
  double wall = 0;
  double cpu = 0;
};

// One merge of `inputs`; false when it fails.
bool timed_merge(const std::vector<const char*>& inputs, const std::string& out, timing& t) {
  const double cpu0 = cpu_seconds();
  const auto wall0 = std::chrono::steady_clock::now();
  const bool ok = pdfmerge_files(inputs.data(), static_cast<int>(inputs.size()), out.c_str()) == 0;
  t.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
  t.cpu = cpu_seconds() - cpu0;
  return ok;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

constexpr int rounds = 9;

} // namespace

int main() {
  if (std::system("command -v qpdf >/dev/null 2>&1") != 0) {
    std::puts("qpdf is not installed: the encrypted variants cannot be made; nothing measured");
    return 0;
  }
  std::vector<std::string> sources;
  for (uint32_t k = 0; k < 3; ++k)
    sources.push_back(
        fixtures::write_temp("crypt-src-" + std::to_string(k) + ".pdf", document(11 + k)));
  const struct {
    const char* label;
    const char* encrypt; // qpdf's arguments for the encryption
  } variants[] = {
      {"unencrypted", ""},
      {"AES-256 (R6)", "--encrypt '' owner 256 --"},
      {"RC4-128 (R3)", "--encrypt '' owner 128 --use-aes=n --"},
  };
  std::vector<std::vector<const char*>> inputs;
  std::vector<std::string> paths;
  paths.reserve(3 * std::size(variants));
  std::vector<double> in_mb;
  for (const auto& v : variants) {
    long long in_bytes = 0;
    inputs.emplace_back();
    for (size_t k = 0; k < sources.size(); ++k) {
      paths.push_back(fixtures::temp_path("crypt-" + std::to_string(k) + "-" +
                                          std::to_string(inputs.size()) + ".pdf"));
      const std::string objstm = k == 1 ? "--object-streams=generate " : "";
      if (!qpdf(sources[k], paths.back(), objstm + v.encrypt)) {
        std::printf("qpdf failed on %s (%s)\n", sources[k].c_str(), v.label);
        return 1;
      }
      in_bytes += static_cast<long long>(fixtures::read_file(paths.back()).size());
      inputs.back().push_back(paths.back().c_str());
    }
    in_mb.push_back(static_cast<double>(in_bytes) / 1e6);
  }
  const std::string out = fixtures::temp_path("crypt-out.pdf");
  const size_t n = std::size(variants);
  std::vector<std::vector<timing>> times(n);
  for (int round = 0; round < rounds; ++round) {
    for (size_t turn = 0; turn < n; ++turn) {
      const size_t v = (turn + static_cast<size_t>(round)) % n;
      timing t;
      if (!timed_merge(inputs[v], out, t) ||
          pdfmerge_page_count(out.c_str()) != 3 * pages_per_doc) {
        std::printf("%s: the merge failed: %s\n", variants[v].label, pdfmerge_last_error());
        return 1;
      }
      times[v].push_back(t);
    }
  }
  std::printf("%-14s %9s %12s %11s %11s %10s\n", "variant", "input MB", "best wall ms",
              "best cpu ms", "wall ratio", "cpu ratio");
  for (size_t v = 0; v < n; ++v) {
    std::vector<double> wall, cpu, wall_ratio, cpu_ratio;
    for (int r = 0; r < rounds; ++r) {
      wall.push_back(times[v][r].wall);
      cpu.push_back(times[v][r].cpu);
      wall_ratio.push_back(times[v][r].wall / times[0][r].wall);
      cpu_ratio.push_back(times[v][r].cpu / times[0][r].cpu);
    }
    std::printf("%-14s %9.1f %12.1f %11.1f %11.3f %10.3f\n", variants[v].label, in_mb[v],
                *std::min_element(wall.begin(), wall.end()) * 1e3,
                *std::min_element(cpu.begin(), cpu.end()) * 1e3, median(wall_ratio),
                median(cpu_ratio));
  }
  return 0;
}
