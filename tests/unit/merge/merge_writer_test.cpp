// The whole output assembled in memory: object order and the size limit.
#include "doc_fixture.h"
#include "pdf_builder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace pdfmerge;

namespace {

using testdoc::obj;

std::vector<merge_input> two_inputs() {
  std::vector<merge_input> inputs(2);
  inputs[0].d = testdoc::make_doc(
      {obj(3, "<< /Type /Page /MediaBox [0 0 10 10] /Contents 4 0 R /Resources << /F 6 0 R >> >>"),
       obj(4, "<< /Length 5 >>\nstream\nfirst\nendstream"), obj(6, "<< /Type /Font >>")});
  inputs[0].d.pages = {{3, 0}};
  inputs[1].d =
      testdoc::make_doc({obj(7, "<< /Type /Page /MediaBox [0 0 20 20] /Contents 8 0 R >>"),
                         obj(8, "<< /Length 6 >>\nstream\nsecond\nendstream")});
  inputs[1].d.pages = {{7, 90}, {7, 0}};
  return inputs;
}

std::string text_of(const out_file& f) {
  return std::string(reinterpret_cast<const char*>(f.out.data.get()), f.out.len);
}

TEST(WriteOutput, ObjectsInNumberOrder) {
  std::vector<merge_input> inputs = two_inputs();
  const int64_t size = merge_plan(inputs, 3);
  ASSERT_EQ(size, 10); // 3 pages, 3 contents, one copy
  out_file f;
  ASSERT_EQ(write_output(f, inputs, 3, static_cast<int32_t>(size)), 0);
  const std::string pdf = text_of(f);
  size_t last = 0;
  for (int32_t n = 1; n < size; ++n) {
    const int32_t at = f.xref_offsets[static_cast<size_t>(n)];
    ASSERT_GT(at, 0) << n;
    EXPECT_GT(static_cast<size_t>(at), last) << n;
    EXPECT_EQ(pdf.compare(static_cast<size_t>(at), 8, std::to_string(n) + " 0 obj\n"), 0) << n;
    last = static_cast<size_t>(at);
  }
  EXPECT_NE(pdf.find("6 0 obj\n<< /Length 5 >>\nstream\nfirst\nendstream"), std::string::npos);
  EXPECT_NE(pdf.find("7 0 obj\n<< /Length 6 >>\nstream\nsecond\nendstream"), std::string::npos);
  EXPECT_NE(pdf.find("/Rotate 90 /Contents 7 0 R"), std::string::npos);
  EXPECT_NE(pdf.find("/Resources << /F 9 0 R >> /Contents 6 0 R"), std::string::npos);
}

// An output that would reach the limit fails as a whole.
TEST(WriteOutput, ReachingTheSizeLimitFails) {
  std::vector<merge_input> inputs = two_inputs();
  const auto size = static_cast<int32_t>(merge_plan(inputs, 3));
  out_file whole;
  ASSERT_EQ(write_output(whole, inputs, 3, size), 0);
  for (uint64_t limit : {uint64_t{100}, whole.out.len - 1, whole.out.len, whole.out.len + 1}) {
    out_file f;
    f.limit = limit;
    clear_error();
    const int32_t result = write_output(f, inputs, 3, size);
    EXPECT_EQ(result, limit > whole.out.len ? 0 : -1) << limit;
    EXPECT_STREQ(error_text(), result == 0 ? "" : "failed to build output") << limit;
    EXPECT_LT(f.out.len, limit);
  }
}

// Pages in a row that share a content stream get its bytes again; any other page its own.
TEST(WriteOutput, SharedContentIsWrittenForEveryPage) {
  std::vector<merge_input> inputs(2);
  const std::string a = fixtures::zlib_stored("shared A");
  inputs[0].d = testdoc::make_doc(
      {obj(3, "<< /Type /Page /Contents 4 0 R >>"), obj(5, "<< /Type /Page /Contents 6 0 R >>"),
       obj(4, "<< /Filter /FlateDecode /Length " + std::to_string(a.size()) + " >>\nstream\n" + a +
                  "\nendstream"),
       obj(6, "<< /Length 5 >>\nstream\nown B\nendstream")});
  inputs[0].d.pages = {{3, 0}, {3, 0}, {5, 0}, {3, 0}};
  // The same object number in another input is another stream.
  inputs[1].d = testdoc::make_doc({obj(3, "<< /Type /Page /Contents 4 0 R >>"),
                                   obj(4, "<< /Length 7 >>\nstream\nother A\nendstream")});
  inputs[1].d.pages = {{3, 0}};
  const auto size = static_cast<int32_t>(merge_plan(inputs, 5));
  out_file f;
  ASSERT_EQ(write_output(f, inputs, 5, size), 0);
  const std::string pdf = text_of(f);
  const char* expected[] = {"shared A", "shared A", "own B", "shared A", "other A"};
  for (int k = 0; k < 5; ++k) {
    const std::string head = std::to_string(8 + k) + " 0 obj\n<< /Length ";
    const size_t at = pdf.find(head);
    ASSERT_NE(at, std::string::npos) << k;
    const size_t data = pdf.find("stream\n", at) + 7;
    EXPECT_EQ(pdf.substr(data, std::strlen(expected[k])), expected[k]) << k;
  }
}

} // namespace
