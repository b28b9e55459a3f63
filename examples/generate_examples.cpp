// Writes the bundled example PDFs into the folder given as the only argument.
// The files are small, varied on purpose: a plain letter page, a document whose objects sit in a
// compressed object stream behind a cross-reference stream, and rotated pages that inherit their
// box and resources from the page tree.
#include "pdf_builder.h"

#include <cstdio>
#include <fstream>
#include <string>

using fixtures::pdf_builder;

namespace {

const char* const font = "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>";

std::string text_content(const std::string& line, int size, int y) {
  return "BT /F1 " + std::to_string(size) + " Tf 72 " + std::to_string(y) + " Td (" + line +
         ") Tj ET\n0.2 0.4 0.8 rg 72 " + std::to_string(y - 40) + " 300 20 re f\n";
}

std::string letter() {
  pdf_builder b;
  b.object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  b.object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] "
              "/Resources << /Font << /F1 5 0 R >> >> /Contents 4 0 R >>");
  b.stream(4, "", text_content("A letter-sized page", 24, 700));
  b.object(5, font);
  b.xref_table().trailer("<< /Size 6 /Root 1 0 R >>");
  return b.startxref().str();
}

std::string object_stream_doc() {
  // Catalog, page tree, pages and font live in one object stream (stored deflate blocks).
  std::vector<std::pair<int, std::string>> members = {
      {1, "<< /Type /Catalog /Pages 2 0 R >>"},
      {2, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 /MediaBox [0 0 595.28 841.89] >>"},
      {3, "<< /Type /Page /Parent 2 0 R /Resources << /Font << /F1 7 0 R >> >> /Contents 5 0 R >>"},
      {4, "<< /Type /Page /Parent 2 0 R /Resources << /Font << /F1 7 0 R >> >> /Contents 6 0 R >>"},
      {7, font}};
  int first = 0;
  std::string body = fixtures::objstm_body(members, first);
  pdf_builder b("%PDF-1.5\n%\xE2\xE3\xCF\xD3\n");
  b.stream(8, "/Type /ObjStm /N 5 /First " + std::to_string(first) + " /Filter /FlateDecode",
           fixtures::zlib_stored(body));
  b.stream(5, "/Filter /FlateDecode",
           fixtures::zlib_stored(text_content("Object streams, page 1 of 2", 20, 760)));
  b.stream(6, "/Filter /FlateDecode",
           fixtures::zlib_stored(text_content("Object streams, page 2 of 2", 20, 760)));
  for (size_t i = 0; i < members.size(); ++i)
    b.compressed(members[i].first, 8, static_cast<int>(i));
  b.xref_stream(9, "/Root 1 0 R");
  return b.startxref().str();
}

std::string rotated_doc() {
  pdf_builder b;
  b.object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.object(2, "<< /Type /Pages /Kids [3 0 R 6 0 R] /Count 3 /Rotate 90 "
              "/MediaBox [0 0 420 595] /Resources << /Font << /F1 9 0 R >> >> >>");
  b.object(3, "<< /Type /Page /Parent 2 0 R /Contents 4 0 R >>");
  b.stream(4, "", text_content("Rotated by the page tree", 18, 500));
  b.object(6, "<< /Type /Pages /Parent 2 0 R /Kids [7 0 R 10 0 R] /Count 2 >>");
  b.object(7, "<< /Type /Page /Parent 6 0 R /Rotate 0 /Contents [8 0 R 11 0 R] >>");
  b.stream(8, "", "BT /F1 18 Tf 72 500 Td (Upright, two content parts) Tj ET");
  b.stream(11, "", "0.8 0.2 0.2 rg 72 440 200 30 re f");
  b.object(10, "<< /Type /Page /Parent 6 0 R /CropBox [20 20 400 575] /Contents 12 0 R >>");
  b.stream(12, "", text_content("Cropped and rotated", 18, 500));
  b.object(9, font);
  b.xref_table().trailer("<< /Size 13 /Root 1 0 R >>");
  return b.startxref().str();
}

bool write(const std::string& dir, const char* name, const std::string& bytes) {
  std::ofstream out(dir + "/" + name, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

} // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: generate_examples OUTPUT_DIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  bool ok = write(dir, "letter.pdf", letter()) &&
            write(dir, "object-streams.pdf", object_stream_doc()) &&
            write(dir, "rotated.pdf", rotated_doc());
  return ok ? 0 : 1;
}
