// The cost of decryption in a merge: three generated documents of 2,000 text pages each (about
// the size of the peer benchmark's W2 workload: Flate content, embedded font files, images; the
// second with object streams) merged as qpdf writes them unencrypted, encrypted with AES-256
// (revision 6) and with 128-bit RC4 (revision 3), all with the empty user password. Prints the
// best time of each merge and its ratio to the unencrypted one. Needs qpdf.
#include "bench_support.h"
#include "inflate/deflate.h"
#include "kq_out_pdfmerge.h"
#include "pdf_builder.h"
#include "test_files.h"

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int pages_per_doc = 2000;
constexpr int fonts = 20;
constexpr int pages_per_image = 10;

std::string deflated(const std::string& text) {
  std::vector<uint8_t> out;
  inflate::deflate_compress({reinterpret_cast<const uint8_t*>(text.data()), text.size()}, out);
  return {out.begin(), out.end()};
}

// About 6 KB of text operators: lines of words drawn from a small vocabulary.
std::string page_text(std::mt19937& rng, int page) {
  static const char* const words[] = {"merge", "page",  "count", "stream", "object", "font",
                                      "text",  "table", "tree",  "reader", "writer", "file",
                                      "bytes", "the",   "of",    "and",    "a",      "in"};
  std::string s = "BT /F" + std::to_string(page % fonts) + " 10 Tf 12 TL 56 760 Td\n";
  for (int line = 0; line < 60; ++line) {
    s += "(";
    for (int w = 0; w < 12; ++w) s += std::string(words[rng() % 18]) + " ";
    s += ") '\n";
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
    const std::vector<uint8_t> program = bench::random_ish(seed + f, 120000);
    b.stream(num + 1, "/Filter /FlateDecode",
             deflated(std::string(program.begin(), program.end())));
  }
  for (int i = 0; i < images; ++i) {
    const std::vector<uint8_t> jpeg = bench::random_uniform(seed * 1000 + i, 50000);
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
  std::printf("%-14s %9s %10s %8s\n", "variant", "input MB", "merge ms", "ratio");
  double plain_seconds = 0;
  for (const auto& v : variants) {
    std::vector<std::string> paths;
    long long in_bytes = 0;
    for (size_t k = 0; k < sources.size(); ++k) {
      const std::string path = fixtures::temp_path("crypt-" + std::to_string(k) + "-" +
                                                   std::to_string(&v - variants) + ".pdf");
      const std::string objstm = k == 1 ? "--object-streams=generate " : "";
      if (!qpdf(sources[k], path, objstm + v.encrypt)) {
        std::printf("qpdf failed on %s (%s)\n", sources[k].c_str(), v.label);
        return 1;
      }
      in_bytes += static_cast<long long>(fixtures::read_file(path).size());
      paths.push_back(path);
    }
    std::vector<const char*> inputs;
    for (const std::string& p : paths) inputs.push_back(p.c_str());
    const std::string out = fixtures::temp_path("crypt-out.pdf");
    bool ok = true;
    const double s = bench::best_seconds([&] {
      ok = ok && pdfmerge_files(inputs.data(), static_cast<int>(inputs.size()), out.c_str()) == 0;
    });
    if (!ok || pdfmerge_page_count(out.c_str()) != 3 * pages_per_doc) {
      std::printf("%s: the merge failed: %s\n", v.label, pdfmerge_last_error());
      return 1;
    }
    if (plain_seconds == 0) plain_seconds = s;
    std::printf("%-14s %9.1f %10.1f %8.3f\n", v.label, static_cast<double>(in_bytes) / 1e6, s * 1e3,
                s / plain_seconds);
  }
  return 0;
}
