// Prints the time and peak memory of merges of generated files: one 10,000-page input,
// 500, 5,000 and 50,000 one-page inputs, and flat page trees of 100,000 to 400,000 references. Each
// merge runs in a child process so that its peak resident size is its own (Linux and other POSIX
// systems).
#include "kq_out_pdfmerge.h"
#include "pdf_builder.h"
#include "test_files.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// Runs one merge in a child; prints its wall time and the child's peak resident size.
void time_merge(const char* label, const std::vector<std::string>& inputs) {
  const std::string out = fixtures::temp_path(std::string(label) + "-out.pdf");
  std::vector<const char*> paths;
  for (const auto& p : inputs) paths.push_back(p.c_str());
  auto t0 = std::chrono::steady_clock::now();
  pid_t child = fork();
  if (child == 0) {
    int rc = pdfmerge_files(paths.data(), static_cast<int>(paths.size()), out.c_str());
    _exit(rc == 0 ? 0 : 1);
  }
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  auto t1 = std::chrono::steady_clock::now();
  double ms = std::chrono::duration<double, std::milli>(t1 - t0).count();
  int pages = pdfmerge_page_count(out.c_str());
  std::printf("%-22s %5zu inputs -> %6d pages  %8.1f ms  peak %7.1f MB%s\n", label, inputs.size(),
              pages, ms, usage.ru_maxrss / 1024.0,
              WIFEXITED(status) && WEXITSTATUS(status) == 0 ? "" : "  (merge failed)");
}

// 10,000 pages that inherit their box and resources from the one page-tree node above them.
std::string inheriting_pages(int pages) {
  fixtures::pdf_builder b;
  std::string kids;
  for (int i = 0; i < pages; ++i) kids += std::to_string(4 + 2 * i) + " 0 R ";
  b.object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.object(2, "<< /Type /Pages /MediaBox [0 0 612 792] /Resources << /Font << /F1 3 0 R >> >> "
              "/Kids [" +
                  kids + "] /Count " + std::to_string(pages) + " >>");
  b.object(3, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
  for (int i = 0; i < pages; ++i) {
    int page = 4 + 2 * i;
    b.object(page,
             "<< /Type /Page /Parent 2 0 R /Contents " + std::to_string(page + 1) + " 0 R >>");
    b.stream(page + 1, "", "BT /F1 12 Tf 72 720 Td (Page " + std::to_string(i + 1) + ") Tj ET");
  }
  b.xref_table().trailer("<< /Size " + std::to_string(4 + 2 * pages) + " /Root 1 0 R >>");
  return b.startxref().str();
}

// `refs` references under one page-tree node to one page that inherits nothing it can find (no
// box or resources anywhere): every page asks the node for its /Parent, which must cost the
// same per page however long the node's /Kids array is.
std::string flat_tree(int refs) {
  fixtures::pdf_builder b;
  std::string kids;
  kids.reserve(static_cast<size_t>(refs) * 6);
  for (int i = 0; i < refs; ++i) kids += "3 0 R ";
  b.object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.object(2, "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(refs) + " >>");
  b.object(3, "<< /Type /Page /Parent 2 0 R >>");
  b.xref_table().trailer("<< /Size 4 /Root 1 0 R >>");
  return b.startxref().str();
}

} // namespace

int main() {
  time_merge("10000-page input", {fixtures::write_temp("big.pdf", fixtures::simple_pdf(10000))});
  time_merge("10000 inheriting pages",
             {fixtures::write_temp("inherit.pdf", inheriting_pages(10000))});
  std::vector<std::string> many;
  const std::string one = fixtures::simple_pdf(1);
  for (int i = 0; i < 500; ++i)
    many.push_back(fixtures::write_temp("one" + std::to_string(i), one));
  time_merge("500 one-page inputs", many);
  // Linear in the number of inputs: the same 500 files listed 10 and 100 times over, so the
  // time should grow tenfold from row to row.
  for (int times : {10, 100}) {
    std::vector<std::string> listed;
    for (int k = 0; k < times; ++k) listed.insert(listed.end(), many.begin(), many.end());
    const std::string label = std::to_string(500 * times) + " one-page inputs";
    time_merge(label.c_str(), listed);
  }
  // Linear in the size of the tree: the time should double from row to row.
  for (int refs : {100000, 200000, 400000}) {
    const std::string label = "flat tree " + std::to_string(refs / 1000) + "k";
    time_merge(label.c_str(), {fixtures::write_temp(label + ".pdf", flat_tree(refs))});
  }
  return 0;
}
