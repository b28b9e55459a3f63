#include "pdf_builder.h"

#include <algorithm>
#include <cstdio>

namespace fixtures {

pdf_builder::pdf_builder(std::string header) : bytes_(std::move(header)) {}

pdf_builder& pdf_builder::raw(std::string_view bytes) {
  bytes_.append(bytes);
  return *this;
}

pdf_builder& pdf_builder::object(int num, std::string_view body, int gen) {
  pending_[num] = offset();
  all_[num] = offset();
  bytes_ += std::to_string(num) + " " + std::to_string(gen) + " obj\n";
  bytes_.append(body);
  bytes_ += "\nendobj\n";
  return *this;
}

pdf_builder& pdf_builder::stream(int num, std::string_view dict_entries, std::string_view data,
                                 long length) {
  std::string body = "<< ";
  body.append(dict_entries);
  body += " /Length " + std::to_string(length < 0 ? static_cast<long>(data.size()) : length);
  body += " >>\nstream\n";
  body.append(data);
  body += "\nendstream";
  return object(num, body);
}

pdf_builder& pdf_builder::xref_table() {
  last_xref_ = offset();
  bytes_ += "xref\n";
  if (pending_.empty()) {
    bytes_ += "0 1\n0000000000 65535 f \n";
    return *this;
  }
  bytes_ += "0 1\n0000000000 65535 f \n";
  for (const auto& [num, off] : pending_) {
    char line[64];
    std::snprintf(line, sizeof line, "%d 1\n%010ld 00000 n \n", num, off);
    bytes_ += line;
  }
  pending_.clear();
  return *this;
}

pdf_builder& pdf_builder::trailer(std::string_view dict) {
  bytes_ += "trailer\n";
  bytes_.append(dict);
  bytes_ += "\n";
  return *this;
}

pdf_builder& pdf_builder::startxref(long at) {
  bytes_ += "startxref\n" + std::to_string(at >= 0 ? at : last_xref_) + "\n%%EOF\n";
  return *this;
}

pdf_builder& pdf_builder::xref_stream(int num, std::string_view extra) {
  const long here = offset();
  pending_[num] = here;
  // One row per object, in number order: type 1 (offset) or type 2 (object stream, index).
  std::map<int, std::string> by_num;
  auto row = [](int type, long a, int b) {
    std::string r(1, static_cast<char>(type));
    for (int shift = 24; shift >= 0; shift -= 8) r += static_cast<char>((a >> shift) & 0xFF);
    r += static_cast<char>((b >> 8) & 0xFF);
    r += static_cast<char>(b & 0xFF);
    return r;
  };
  for (const auto& [n, off] : pending_) by_num[n] = row(1, off, 0);
  for (const auto& [n, where] : pending_compressed_) by_num[n] = row(2, where.first, where.second);
  std::string rows;
  std::string index;
  for (const auto& [n, r] : by_num) {
    rows += r;
    index += std::to_string(n) + " 1 ";
  }
  int size = by_num.rbegin()->first + 1;
  std::string dict = "/Type /XRef /Size " + std::to_string(size) + " /W [1 4 2] /Index [" + index +
                     "] " + std::string(extra);
  pending_.erase(num);
  stream(num, dict, rows);
  pending_.clear();
  pending_compressed_.clear();
  last_xref_ = here;
  return *this;
}

pdf_builder& pdf_builder::compressed(int num, int objstm, int index) {
  pending_compressed_[num] = {objstm, index};
  return *this;
}

long pdf_builder::offset_of(int num) const {
  auto it = all_.find(num);
  return it == all_.end() ? -1 : it->second;
}

std::string zlib_stored(std::string_view data) {
  std::string out = "\x78\x01";
  size_t pos = 0;
  do {
    size_t n = std::min<size_t>(data.size() - pos, 65535);
    bool last = pos + n == data.size();
    out += static_cast<char>(last ? 1 : 0);
    out += static_cast<char>(n & 0xFF);
    out += static_cast<char>(n >> 8);
    out += static_cast<char>(~n & 0xFF);
    out += static_cast<char>((~n >> 8) & 0xFF);
    out.append(data.substr(pos, n));
    pos += n;
  } while (pos < data.size());
  uint32_t a = 1, b = 0;
  for (unsigned char c : data) {
    a = (a + c) % 65521;
    b = (b + a) % 65521;
  }
  uint32_t adler = (b << 16) | a;
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((adler >> shift) & 0xFF);
  return out;
}

namespace {

uint32_t adler32(std::string_view data) {
  uint32_t a = 1, b = 0;
  for (unsigned char c : data) {
    a = (a + c) % 65521;
    b = (b + a) % 65521;
  }
  return (b << 16) | a;
}

// Bits of a deflate stream, least significant first within each byte.
class deflate_bits {
public:
  void put(uint32_t value, int count) {
    for (int i = 0; i < count; ++i) bit((value >> i) & 1);
  }
  // A Huffman code, most significant bit first.
  void code(uint32_t value, int length) {
    for (int i = length - 1; i >= 0; --i) bit((value >> i) & 1);
  }
  void literal(unsigned char c) {
    if (c < 144)
      code(0x30 + c, 8);
    else
      code(0x190 + (c - 144u), 9);
  }
  std::string take() { return std::move(out_); }

private:
  void bit(uint32_t b) {
    if (pos_ == 0) out_ += '\0';
    out_.back() = static_cast<char>(static_cast<unsigned char>(out_.back()) | (b << pos_));
    pos_ = (pos_ + 1) & 7;
  }
  std::string out_;
  int pos_ = 0;
};

} // namespace

std::string zlib_repeat(char byte, size_t count) {
  deflate_bits bits;
  bits.put(1, 1); // final block
  bits.put(1, 2); // fixed codes
  size_t left = count;
  if (left > 0) {
    bits.literal(static_cast<unsigned char>(byte));
    --left;
  }
  for (; left >= 258; left -= 258) {
    bits.code(0xc5, 8); // length symbol 285: 258 bytes
    bits.code(0, 5);    // distance symbol 0: one byte back
  }
  for (; left > 0; --left) bits.literal(static_cast<unsigned char>(byte));
  bits.code(0, 7); // end of block
  std::string out = "\x78\x01" + bits.take();
  const uint32_t adler = adler32(std::string(count, byte));
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((adler >> shift) & 0xFF);
  return out;
}

std::string objstm_body(const std::vector<std::pair<int, std::string>>& members, int& first) {
  std::string head;
  std::string texts;
  for (const auto& [num, text] : members) {
    head += std::to_string(num) + " " + std::to_string(texts.size()) + " ";
    texts += text + "\n";
  }
  head += "\n";
  first = static_cast<int>(head.size());
  return head + texts;
}

std::string simple_pdf(int pages) {
  pdf_builder b;
  b.object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  std::string kids;
  for (int i = 0; i < pages; ++i) kids += std::to_string(3 + 2 * i) + " 0 R ";
  b.object(2, "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages) + " >>");
  for (int i = 0; i < pages; ++i) {
    int page = 3 + 2 * i;
    b.object(page, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents " +
                       std::to_string(page + 1) + " 0 R >>");
    b.stream(page + 1, "", "BT /F1 12 Tf 72 720 Td (Page " + std::to_string(i + 1) + ") Tj ET");
  }
  b.xref_table().trailer("<< /Size " + std::to_string(3 + 2 * pages) + " /Root 1 0 R >>");
  return b.startxref().str();
}

std::string labelled_pdf(int pages, std::string_view label) {
  pdf_builder b;
  b.object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  auto page_num = [](int i) { return 10 + 2 * i; };
  std::string rest;
  for (int i = 1; i < pages; ++i) rest += std::to_string(page_num(i)) + " 0 R ";
  std::string root_kids = std::to_string(page_num(0)) + " 0 R";
  if (pages > 1) root_kids += " 3 0 R";
  b.object(2, "<< /Type /Pages /Kids [" + root_kids + "] /Count " + std::to_string(pages) +
                  " /MediaBox [0 0 612 792] /Resources << /Font << /F1 4 0 R >> >> >>");
  if (pages > 1)
    b.object(3, "<< /Type /Pages /Parent 2 0 R /Kids [" + rest + "] /Count " +
                    std::to_string(pages - 1) + " >>");
  b.object(4, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>");
  for (int i = 0; i < pages; ++i) {
    const int num = page_num(i);
    b.object(num, "<< /Type /Page /Parent " + std::string(i == 0 ? "2" : "3") + " 0 R /Contents " +
                      std::to_string(num + 1) + " 0 R >>");
    const std::string text =
        "BT /F1 24 Tf 72 700 Td (" + std::string(label) + " " + std::to_string(i + 1) + ") Tj ET";
    b.stream(num + 1, "/Filter /FlateDecode", zlib_stored(text));
  }
  b.xref_table().trailer("<< /Size " + std::to_string(page_num(pages)) + " /Root 1 0 R >>");
  return b.startxref().str();
}

} // namespace fixtures
