// Prints how long counting pages takes on large generated files: a 10,000-page document and a
// document of about 100 MB (a few pages with large image streams between them).
#include "kq_out_pdfmerge.h"
#include "pdf_builder.h"
#include "test_files.h"

#include <chrono>
#include <cstdio>
#include <string>

namespace {

std::string many_pages(int pages) {
  return fixtures::simple_pdf(pages);
}

std::string hundred_megabytes() {
  fixtures::pdf_builder b;
  const int pages = 50;
  std::string kids;
  for (int i = 0; i < pages; ++i) kids += std::to_string(3 + 2 * i) + " 0 R ";
  b.object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.object(2, "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages) + " >>");
  // Pseudo-random bytes so the data is not trivially compressible or full of keywords.
  std::string data(2 * 1024 * 1024, '\0');
  uint32_t x = 2463534242u;
  for (char& c : data) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = static_cast<char>(x & 0xFF);
  }
  for (int i = 0; i < pages; ++i) {
    int page = 3 + 2 * i;
    b.object(page, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents " +
                       std::to_string(page + 1) + " 0 R >>");
    b.stream(page + 1, "/Filter /DCTDecode", data);
  }
  b.xref_table().trailer("<< /Size " + std::to_string(3 + 2 * pages) + " /Root 1 0 R >>");
  return b.startxref().str();
}

void time_count(const char* label, const std::string& bytes) {
  std::string path = fixtures::write_temp(std::string(label) + ".pdf", bytes);
  double best = 1e9;
  int pages = 0;
  for (int run = 0; run < 5; ++run) {
    auto t0 = std::chrono::steady_clock::now();
    pages = pdfmerge_page_count(path.c_str());
    auto t1 = std::chrono::steady_clock::now();
    double ms = std::chrono::duration<double, std::milli>(t1 - t0).count();
    if (ms < best) best = ms;
  }
  std::printf("%-24s %10.1f MB %8d pages  best of 5: %8.1f ms%s%s\n", label, bytes.size() / 1e6,
              pages, best, pages < 0 ? "  error: " : "", pages < 0 ? pdfmerge_last_error() : "");
}

} // namespace

int main() {
  time_count("10000-pages", many_pages(10000));
  time_count("100-megabytes", hundred_megabytes());
  return 0;
}
