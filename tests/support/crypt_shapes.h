// Crafted encrypted files whose cost once grew with the square of their size, made at any size
// n for the tests (small n, counting the work), the fuzz seeds and the benchmark (the sizes
// where they took seconds). Header-only, as md5_encryption.h.
#pragma once

#include "md5_encryption.h"
#include "pdf_builder.h"

#include <string>
#include <vector>

namespace fixtures {

namespace shape_detail {

inline void one_page(pdf_builder& b, const std::string& page_extra = "") {
  b.object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.object(2, "<< /Type /Pages /Kids [4 0 R] /Count 1 >>");
  b.object(4, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100 100]" + page_extra + " >>");
}

inline std::string record_file(pdf_builder& b, const std::string& record) {
  b.object(5, "/Standard").object(6, "4").object(7, "128").object(8, "/StdCF");
  b.object(9, record);
  b.xref_table().trailer("<< /Root 1 0 R /Encrypt 9 0 R /ID [<00> <00>] >>").startxref();
  return b.str();
}

} // namespace shape_detail

// An /Encrypt record whose values are all references (it does not open: /O and /U are no
// key's), with n crypt filters of their own, each named by a /CF entry.
inline std::string record_of_references(int n) {
  pdf_builder b;
  shape_detail::one_page(b);
  b.object(11, "<" + std::string(64, 'a') + ">");
  std::string cf;
  for (int k = 0; k < n; ++k) {
    b.object(100 + k, "<< /CFM /V2 /Length 16 >>");
    cf += "/F" + std::to_string(k) + " " + std::to_string(100 + k) + " 0 R ";
  }
  return shape_detail::record_file(b, "<< /Filter 5 0 R /V 6 0 R /R 6 0 R /Length 7 0 R "
                                      "/StmF 8 0 R /StrF 8 0 R /O 11 0 R /U 11 0 R /CF << " +
                                          cf + ">> >>");
}

// The same with shared targets: n /CF entries naming one crypt filter of n keys, and /O
// written n times, naming one string of 4n bytes.
inline std::string record_of_shared_references(int n) {
  pdf_builder b;
  shape_detail::one_page(b);
  std::string wide = "<< /CFM /AESV2";
  for (int k = 0; k < n; ++k) wide += " /K" + std::to_string(k) + " " + std::to_string(k);
  b.object(10, wide + " >>");
  b.object(11, "<" + std::string(8 * static_cast<size_t>(n), 'a') + ">");
  std::string record = "<< /Filter 5 0 R /V 6 0 R /R 6 0 R /Length 7 0 R /StmF 8 0 R /CF << ";
  for (int k = 0; k < n; ++k) record += "/W" + std::to_string(k) + " 10 0 R ";
  record += ">>";
  for (int k = 0; k < n; ++k) record += " /O 11 0 R";
  return shape_detail::record_file(b, record + " >>");
}

// A file that opens (V 4, RC4, the empty user password) with n crypt filters in /CF and n
// streams, each naming its own /Crypt filter; the page's content is encrypted by default and
// draws none of them.
inline std::string crypt_filters_and_streams(int n) {
  const std::vector<uint8_t> id0(16, 7);
  const md5_encryption e = md5_encryption_for("", "owner", 4, 16, -4, id0);
  pdf_builder b;
  b.object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.object(2, "<< /Type /Pages /Kids [4 0 R] /Count 1 >>");
  b.object(4, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100 100] /Contents 5 0 R >>");
  b.stream(5, "", rc4_encrypted(e.key, 5, 0, "0 0 10 10 re f"));
  std::string cf;
  for (int k = 0; k < n; ++k) {
    const std::string name = "F" + std::to_string(k);
    cf += "/" + name + " << /CFM /V2 >> ";
    b.stream(100 + k, "/Filter /Crypt /DecodeParms << /Name /" + name + " >>",
             rc4_encrypted(e.key, 100 + k, 0, "plain"));
  }
  b.object(3, "<< /Filter /Standard /V 4 /R 4 /Length 128 /P -4 /O " + hex_string(e.o) + " /U " +
                  hex_string(e.u) + " /CF << /StdCF << /CFM /V2 >> " + cf +
                  ">> /StmF /StdCF /StrF /StdCF >>");
  b.xref_table();
  b.trailer("<< /Root 1 0 R /Encrypt 3 0 R /ID [" + hex_string(id0) + hex_string(id0) + "] >>");
  b.startxref();
  return b.str();
}

} // namespace fixtures
