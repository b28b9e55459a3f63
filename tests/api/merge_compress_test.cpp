// Merges with PDFMERGE_COMPRESS_CONTENT, read back with independent tools: qpdf accepts the
// file, every page's decoded content equals that of the merge without the bit, pages render
// the same (pdftoppm), clean Flate content keeps its stored bytes (decrypted ones for an
// encrypted input), and the same inputs give the same bytes.
#include "filter_encoders.h"
#include "keep_tools.h"
#include "kq_out_pdfmerge.h"
#include "merge_tools.h"
#include "pdf_builder.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace {

using fixtures::read_file;
using fixtures::temp_path;
using fixtures::write_temp;
using keep_tools::merge_opt;

using merge_tools::run;

// Pages whose content reaches the encoder by every road: an unfiltered stream, LZW, ASCIIHex,
// an array of a Flate and a plain stream, Flate with a PNG predictor, Flate without its
// checksum, and one clean Flate stream (kept) beside them.
std::string mixed_pdf() {
  const auto text = [](const std::string& what) {
    return "BT /F1 18 Tf 20 150 Td (" + what + ") Tj ET 0 0 1 rg 10 10 50 50 re f\n";
  };
  const std::string stored = fixtures::zlib_stored(text("kept Flate"));
  const std::string png =
      testenc::to_str(testenc::png_encode(testenc::to_vec(text("PNG predictor")), 4, 1, 2));
  const std::string truncated = fixtures::zlib_stored(text("no checksum"));
  fixtures::pdf_builder b;
  b.object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.object(2, "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R 6 0 R 7 0 R 8 0 R 9 0 R] /Count 7 "
              "/MediaBox [0 0 300 200] /Resources << /Font << /F1 10 0 R >> >> >>");
  b.object(3, "<< /Type /Page /Parent 2 0 R /Contents 11 0 R >>");
  b.object(4, "<< /Type /Page /Parent 2 0 R /Contents 12 0 R >>");
  b.object(5, "<< /Type /Page /Parent 2 0 R /Contents 13 0 R >>");
  b.object(6, "<< /Type /Page /Parent 2 0 R /Contents [14 0 R 11 0 R] >>");
  b.object(7, "<< /Type /Page /Parent 2 0 R /Contents 15 0 R >>");
  b.object(8, "<< /Type /Page /Parent 2 0 R /Contents 16 0 R >>");
  b.object(9, "<< /Type /Page /Parent 2 0 R /Contents 17 0 R >>");
  b.object(10, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
  b.stream(11, "", text("unfiltered"));
  b.stream(12, "/Filter /LZWDecode",
           testenc::to_str(testenc::lzw_encode(testenc::to_vec(text("LZW")), 1)));
  std::string hex;
  for (unsigned char c : text("ASCIIHex")) {
    hex += "0123456789ABCDEF"[c >> 4];
    hex += "0123456789ABCDEF"[c & 15];
  }
  b.stream(13, "/Filter /ASCIIHexDecode", hex + ">");
  b.stream(14, "/Filter /FlateDecode", fixtures::zlib_stored(text("array part")));
  b.stream(15, "/Filter /FlateDecode /DecodeParms << /Predictor 12 /Columns 4 >>",
           fixtures::zlib_stored(png));
  b.stream(16, "/Filter /FlateDecode", truncated.substr(0, truncated.size() - 4));
  b.stream(17, "/Filter /FlateDecode", stored);
  b.xref_table().trailer("<< /Size 18 /Root 1 0 R >>");
  return b.startxref().str();
}

// The content stream number of each of a file's pages as qpdf lists them: 0 for a page whose
// content is not one stream.
std::vector<int> page_streams(const std::string& path) {
  std::istringstream lines(run("qpdf --show-pages " + merge_tools::quoted(path)).output);
  std::vector<int> nums;
  std::string line;
  int streams = 0;
  while (std::getline(lines, line)) {
    if (line.rfind("page ", 0) == 0) {
      nums.push_back(0);
      streams = 0;
    } else if (line.rfind("    ", 0) == 0 && !nums.empty()) {
      nums.back() = ++streams == 1 ? std::atoi(line.c_str()) : 0;
    }
  }
  return nums;
}

std::string stream_data(const std::string& path, int num, const char* how) {
  return run("qpdf --show-object=" + std::to_string(num) + " " + how + " " +
             merge_tools::quoted(path))
      .output;
}

// The decoded content of every page of a merged file: page k's is object T + 2 + k.
std::vector<std::string> merged_contents(const std::string& path, int pages) {
  std::vector<std::string> out;
  for (int k = 1; k <= pages; ++k)
    out.push_back(stream_data(path, pages + 2 + k, "--filtered-stream-data"));
  return out;
}

struct compress_case {
  const char* name;
  std::string file;      // the input, written to a temporary file
  std::string qpdf_args; // when not empty, qpdf rewrites the input with these first
  bool all_kept;         // every page's content is one clean Flate stream, kept as stored
  int pages;
};

std::vector<compress_case> compress_cases() {
  const std::string labelled = fixtures::labelled_pdf(4, "Page");
  return {
      {"Flate in stored blocks", labelled, "", true, 4},
      {"Flate recompressed at level 9", labelled,
       "--recompress-flate --compression-level=9 --object-streams=generate", true, 4},
      {"encrypted with RC4", labelled,
       "--allow-weak-crypto --encrypt \"\" owner 128 --use-aes=n --", true, 4},
      {"encrypted with AES-128", labelled, "--encrypt \"\" owner 128 --use-aes=y --", true, 4},
      {"encrypted with AES-256", labelled, "--object-streams=generate --encrypt \"\" owner 256 --",
       true, 4},
      {"content by every other road", mixed_pdf(), "", false, 7},
  };
}

TEST(CompressedMerge, CheckedDecodedAndRenderedAsWithoutTheBit) {
  if (!merge_tools::have_tool("qpdf")) GTEST_SKIP() << "qpdf is not installed: check skipped";
  const bool can_render = merge_tools::have_tool("pdftoppm");
  int n = 0;
  for (const compress_case& c : compress_cases()) {
    SCOPED_TRACE(c.name);
    const std::string tag = "compress_" + std::to_string(n++);
    std::string in = write_temp(tag + "_made.pdf", c.file);
    if (!c.qpdf_args.empty()) {
      const std::string rewritten = temp_path(tag + "_in.pdf");
      const merge_tools::command_result r = run("qpdf " + merge_tools::quoted(in) + " " +
                                                c.qpdf_args + " " + merge_tools::quoted(rewritten));
      ASSERT_EQ(r.status, 0) << r.output;
      in = rewritten;
    }
    const std::string plain = temp_path(tag + "_plain.pdf");
    const std::string packed = temp_path(tag + "_packed.pdf");
    const std::string again = temp_path(tag + "_again.pdf");
    ASSERT_EQ(merge_opt({in}, plain, 0), 0) << pdfmerge_last_error();
    ASSERT_EQ(merge_opt({in}, packed, PDFMERGE_COMPRESS_CONTENT), 0) << pdfmerge_last_error();
    ASSERT_EQ(merge_opt({in}, again, PDFMERGE_COMPRESS_CONTENT), 0) << pdfmerge_last_error();
    EXPECT_EQ(read_file(again), read_file(packed));
    EXPECT_QPDF_ACCEPTS(packed);

    const std::vector<std::string> want = merged_contents(plain, c.pages);
    const std::vector<std::string> got = merged_contents(packed, c.pages);
    ASSERT_EQ(got.size(), want.size());
    const std::vector<int> input_streams = page_streams(in);
    ASSERT_EQ(static_cast<int>(input_streams.size()), c.pages);
    for (int k = 0; k < c.pages; ++k) {
      SCOPED_TRACE("page " + std::to_string(k + 1));
      EXPECT_FALSE(want[static_cast<size_t>(k)].empty());
      EXPECT_EQ(got[static_cast<size_t>(k)], want[static_cast<size_t>(k)]);
      const std::string dict = run("qpdf --show-object=" + std::to_string(c.pages + 3 + k) + " " +
                                   merge_tools::quoted(packed))
                                   .output;
      EXPECT_NE(dict.find("/Filter /FlateDecode"), std::string::npos) << dict;
      // qpdf shows the stored bytes of an encrypted input decrypted, as the merge keeps them.
      if (c.all_kept) {
        EXPECT_EQ(stream_data(packed, c.pages + 3 + k, "--raw-stream-data"),
                  stream_data(in, input_streams[static_cast<size_t>(k)], "--raw-stream-data"));
      }
    }
    if (!c.all_kept) { // only the last page's stream is clean Flate
      EXPECT_EQ(stream_data(packed, 2 * c.pages + 2, "--raw-stream-data"),
                stream_data(in, input_streams.back(), "--raw-stream-data"));
      EXPECT_NE(stream_data(packed, c.pages + 3, "--raw-stream-data"),
                stream_data(in, input_streams.front(), "--raw-stream-data"));
    }
    if (can_render) {
      for (const std::string& f : {plain, packed})
        run("pdftoppm -gray -r 30 " + merge_tools::quoted(f) + " " +
            merge_tools::quoted(f + "_page"));
      for (int k = 1; k <= c.pages; ++k) {
        const std::string suffix = "_page-" + std::to_string(k) + ".pgm";
        const std::string a = read_file(plain + suffix);
        ASSERT_FALSE(a.empty()) << k;
        EXPECT_TRUE(a == read_file(packed + suffix)) << "page " << k << " renders differently";
      }
    }
  }
}

// The bit goes with the others: the kept annotations and outlines are as without it, and the
// content is compressed.
TEST(CompressedMerge, WithTheOtherOptions) {
  if (!merge_tools::have_tool("qpdf")) GTEST_SKIP() << "qpdf is not installed: check skipped";
  const std::string a = write_temp("compress_opts_a.pdf", mixed_pdf());
  const std::string b = write_temp("compress_opts_b.pdf", fixtures::labelled_pdf(2, "B"));
  const std::string keep = temp_path("compress_opts_keep.pdf");
  const std::string both = temp_path("compress_opts_both.pdf");
  const int keep_bits = PDFMERGE_KEEP_ANNOTATIONS | PDFMERGE_KEEP_OUTLINES;
  ASSERT_EQ(merge_opt({a, b}, keep, keep_bits), 0) << pdfmerge_last_error();
  ASSERT_EQ(merge_opt({a, b}, both, keep_bits | PDFMERGE_COMPRESS_CONTENT), 0)
      << pdfmerge_last_error();
  EXPECT_EQ(merged_contents(both, 9), merged_contents(keep, 9));
  EXPECT_EQ(read_file(keep).find("/Filter /FlateDecode >>"), std::string::npos);
  EXPECT_NE(read_file(both).find("/Filter /FlateDecode >>"), std::string::npos);
  EXPECT_QPDF_ACCEPTS(both);
}

} // namespace
