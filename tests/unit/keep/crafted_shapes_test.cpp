// Files whose objects are referenced many times: a merge that keeps annotations, forms or
// bookmarks does work and writes output in proportion to the file, however many references
// share one value. Each shape is merged at two sizes, n and 4n; the work counted by the plan
// (bytes parsed, values visited, names tried) and the output's size may grow about four times,
// not sixteen.
#include "crafted_shapes.h"
#include "pdfmerge/pdfmerge_internal.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace pdfmerge;

struct measured {
  uint64_t steps = 0;
  uint64_t output = 0;
  uint64_t input = 0;
  size_t pages = 0;
};

// Plans and writes (into memory) the merge the shape is aimed at.
measured merge_shape(const fixtures::crafted_shape& shape, int n) {
  const std::string bytes = shape.make(n);
  const std::string path = fixtures::write_temp(std::string(shape.name) + ".pdf", bytes);
  std::vector<merge_input> inputs(shape.twice ? 2 : 1);
  measured m;
  for (merge_input& in : inputs) {
    EXPECT_EQ(doc_load(path.c_str(), in.d), 0) << error_text();
    m.input += bytes.size();
    m.pages += in.d.pages.size();
  }
  merge_options opts;
  EXPECT_EQ(merge_options_from_bits(shape.options, opts), 0);
  const int64_t size = merge_plan(inputs, static_cast<int32_t>(m.pages));
  keep_plan plan;
  const int64_t kept = plan_keep(inputs, opts, size, plan);
  EXPECT_GT(kept, 0);
  const output_extras extras = keep_extras(inputs, plan);
  out_file f;
  EXPECT_EQ(
      write_output(f, inputs, static_cast<int32_t>(m.pages), static_cast<int32_t>(kept), &extras),
      0)
      << error_text();
  m.output = f.out.len;
  for (const input_keep& k : plan.inputs) m.steps += k.memo.steps;
  return m;
}

TEST(CraftedShapes, WorkAndOutputGrowWithTheFile) {
  constexpr int n = 300;
  for (const fixtures::crafted_shape& shape : fixtures::crafted_shapes()) {
    SCOPED_TRACE(std::string(shape.name) + ": " + shape.what);
    const measured small = merge_shape(shape, n);
    const measured large = merge_shape(shape, 4 * n);
    ASSERT_GT(small.steps, 0u);
    // Linear growth makes four times the work, up to what does not depend on n.
    EXPECT_LE(large.steps, 5 * small.steps) << small.steps << " -> " << large.steps;
    EXPECT_LE(large.output, 5 * small.output) << small.output << " -> " << large.output;
    // At most a few times the input, and a little for every page.
    EXPECT_LE(large.output, 8 * large.input + 4096 * large.pages)
        << large.input << " in, " << large.output << " out";
  }
}

} // namespace
