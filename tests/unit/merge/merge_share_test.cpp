// Objects of identical content written once: the output held object by object, the partition
// refinement against a plain fixed-point refinement, the identity rule as a table over held
// objects, the numbering and rewritten texts of what is written, and the packing order of
// object streams.
#include "doc_fixture.h"
#include "pdfmerge/merge/compact.h"
#include "pdfmerge/pdfmerge_internal.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

using namespace pdfmerge;

namespace {

// ---------------------------------------------------------------- partition refinement

// The same partition the slow way: blocks split by (block, blocks of the k-th edges) until no
// block splits.
std::vector<int32_t> fixed_point_partition(int32_t n, const std::vector<int32_t>& initial,
                                           const std::vector<graph_edge>& edges) {
  std::vector<std::vector<std::pair<int32_t, int32_t>>> out(static_cast<size_t>(n));
  for (const graph_edge& e : edges) out[static_cast<size_t>(e.tail)].push_back({e.label, e.head});
  for (auto& v : out) std::sort(v.begin(), v.end());
  std::vector<int32_t> block = initial;
  for (size_t count = 0;;) {
    std::map<std::vector<int32_t>, int32_t> ids;
    std::vector<int32_t> next(static_cast<size_t>(n));
    for (int32_t q = 0; q < n; ++q) {
      std::vector<int32_t> sig = {block[static_cast<size_t>(q)]};
      for (const auto& [label, head] : out[static_cast<size_t>(q)]) {
        sig.push_back(label);
        sig.push_back(block[static_cast<size_t>(head)]);
      }
      next[static_cast<size_t>(q)] =
          ids.emplace(sig, static_cast<int32_t>(ids.size())).first->second;
    }
    block = next;
    if (ids.size() == count) return block;
    count = ids.size();
  }
}

bool same_partition(const std::vector<int32_t>& a, const std::vector<int32_t>& b) {
  for (size_t i = 0; i < a.size(); ++i)
    for (size_t j = 0; j < a.size(); ++j)
      if ((a[i] == a[j]) != (b[i] == b[j])) return false;
  return true;
}

// Random graphs of few labels and classes, so that many nodes are alike and the blocks have to
// be split again and again; chains and cycles of every shape turn up among them.
TEST(StablePartition, AgreesWithTheFixedPointOnRandomGraphs) {
  std::mt19937 rng(26);
  for (int round = 0; round < 400; ++round) {
    const int32_t n = 1 + static_cast<int32_t>(rng() % 40);
    const int32_t classes = 1 + static_cast<int32_t>(rng() % 3);
    std::vector<int32_t> initial(static_cast<size_t>(n));
    for (int32_t q = 0; q < n; ++q)
      initial[static_cast<size_t>(q)] = q < classes ? q : static_cast<int32_t>(rng() % classes);
    std::vector<graph_edge> edges;
    for (int32_t q = 0; q < n; ++q) {
      const int32_t degree = static_cast<int32_t>(rng() % 3);
      for (int32_t k = 0; k < degree; ++k)
        edges.push_back({q, k, static_cast<int32_t>(rng() % static_cast<uint32_t>(n))});
    }
    const std::vector<int32_t> got = stable_partition(n, initial, classes, edges);
    ASSERT_TRUE(same_partition(got, fixed_point_partition(n, initial, edges))) << "round " << round;
  }
}

// A long chain whose last link differs tells every link apart, one step per link for the
// fixed point; two chains alike to the end are merged link by link.
TEST(StablePartition, LongChains) {
  const int32_t len = 5000;
  std::vector<int32_t> initial(3 * static_cast<size_t>(len), 0);
  std::vector<graph_edge> edges;
  for (int32_t c = 0; c < 3; ++c)
    for (int32_t k = 0; k + 1 < len; ++k) edges.push_back({c * len + k, 0, c * len + k + 1});
  initial[static_cast<size_t>(len) - 1] = 1;     // chain 0 ends in class 1
  initial[2 * static_cast<size_t>(len) - 1] = 1; // chain 1 too
  const std::vector<int32_t> block = stable_partition(3 * len, initial, 2, edges);
  for (int32_t k = 0; k < len; ++k) {
    EXPECT_EQ(block[static_cast<size_t>(k)], block[static_cast<size_t>(len + k)]) << k;
    EXPECT_NE(block[static_cast<size_t>(k)], block[static_cast<size_t>(2 * len + k)]) << k;
    if (k > 0) {
      EXPECT_NE(block[static_cast<size_t>(k)], block[static_cast<size_t>(k - 1)]) << k;
    }
  }
}

// ---------------------------------------------------------------- the identity rule

struct spec {
  spec(int32_t n, std::string t) : num(n), text(std::move(t)) {}
  spec(int32_t n, std::string t, bool s, std::string d)
      : num(n), text(std::move(t)), stream(s), data(std::move(d)) {}
  int32_t num;
  std::string text;
  bool stream = false;
  std::string data;
};

held_output held_of(const std::vector<spec>& specs) {
  held_output h;
  for (const spec& s : specs) {
    held_object o;
    o.num = s.num;
    o.text = s.text;
    o.stream = s.stream;
    o.data = hold_copy(h, as_bytes(s.data));
    h.objects.push_back(std::move(o));
  }
  return h;
}

// The number written for each number: its own, or that of the object it shares.
std::map<int32_t, int32_t> written_for(const held_output& h, const std::vector<uint8_t>& pinned) {
  const object_graph g = graph_of(h);
  const std::vector<int32_t> rep = shared_representatives(h, g, pinned);
  std::map<int32_t, int32_t> out;
  for (size_t i = 0; i < h.objects.size(); ++i)
    out[h.objects[i].num] = h.objects[static_cast<size_t>(rep[i])].num;
  return out;
}

struct identity_case {
  const char* name;
  std::vector<spec> objects;
  std::map<int32_t, int32_t> shared; // number -> the number written for it, for those shared
};

std::vector<identity_case> identity_cases() {
  return {
      {"the same bytes", {{10, "<< /A 1 >>"}, {11, "<< /A 1 >>"}}, {{11, 10}}},
      {"one byte differs", {{10, "<< /A 1 >>"}, {11, "<< /A 2 >>"}}, {}},
      {"white space differs", {{10, "<< /A 1 >>"}, {11, "<</A 1>>"}}, {}},
      {"the same bytes, references to different objects",
       {{10, "<< /F 12 0 R >>"}, {11, "<< /F 13 0 R >>"}, {12, "(x)"}, {13, "(y)"}},
       {}},
      {"the same bytes, references to identical objects",
       {{10, "<< /F 12 0 R >>"}, {11, "<< /F 13 0 R >>"}, {12, "(x)"}, {13, "(x)"}},
       {{11, 10}, {13, 12}}},
      {"references in another order",
       {{10, "[12 0 R 13 0 R]"}, {11, "[13 0 R 12 0 R]"}, {12, "(x)"}, {13, "(y)"}},
       {}},
      {"two cycles of the same shape",
       {{10, "<< /Next 11 0 R /K 1 >>"},
        {11, "<< /Next 10 0 R /K 2 >>"},
        {12, "<< /Next 13 0 R /K 1 >>"},
        {13, "<< /Next 12 0 R /K 2 >>"}},
       {{12, 10}, {13, 11}}},
      {"cycles of different shapes",
       {{10, "<< /Next 11 0 R /K 1 >>"},
        {11, "<< /Next 10 0 R /K 2 >>"},
        {12, "<< /Next 13 0 R /K 1 >>"},
        {13, "<< /Next 14 0 R /K 2 >>"},
        {14, "<< /Next 12 0 R /K 1 >>"}},
       {}},
      {"a cycle and a chain that starts alike",
       {{10, "<< /Next 11 0 R /K 1 >>"},
        {11, "<< /Next 10 0 R /K 2 >>"},
        {12, "<< /Next 13 0 R /K 1 >>"},
        {13, "<< /Next 14 0 R /K 2 >>"},
        {14, "<< /K 1 >>"}},
       {}},
      // Followed reference by reference, every object of both rings reads the same for ever.
      {"rings of alike objects of any length",
       {{10, "<< /N 11 0 R >>"},
        {11, "<< /N 10 0 R >>"},
        {12, "<< /N 13 0 R >>"},
        {13, "<< /N 14 0 R >>"},
        {14, "<< /N 12 0 R >>"}},
       {{11, 10}, {12, 10}, {13, 10}, {14, 10}}},
      {"streams: the same dictionary and data",
       {{10, "<< /Length 3 >>", true, "abc"}, {11, "<< /Length 3 >>", true, "abc"}},
       {{11, 10}}},
      {"streams: other data",
       {{10, "<< /Length 3 >>", true, "abc"}, {11, "<< /Length 3 >>", true, "abd"}},
       {}},
      {"streams: other dictionary",
       {{10, "<< /Length 3 >>", true, "abc"},
        {11, "<< /Length 3 /Filter /FlateDecode >>", true, "abc"}},
       {}},
      {"streams: /Length spelled otherwise",
       {{10, "<< /Length 3 >>", true, "abc"},
        {11, "<< /Length   3  >>", true, "abc"},
        {12, "<< /Filter /X /Length 3 >>", true, "abc"},
        {13, "<< /Length 3 /Filter /X >>", true, "abc"},
        {14, "<< /Length 3 /P 16 0 R >>", true, "abc"},
        {15, "<< /Length  3 /P 17 0 R >>", true, "abc"},
        {16, "1"},
        {17, "1"}},
       {{11, 10}, {13, 12}, {15, 14}, {17, 16}}},
      {"a /Length that is no stream's counts",
       {{10, "<< /Length 3 >>"}, {11, "<< /Length  3 >>"}},
       {}},
      {"a stream and a dictionary of the same text",
       {{10, "<< /Length 0 >>", true, ""}, {11, "<< /Length 0 >>"}},
       {}},
      {"streams whose dictionaries lead to identical objects",
       {{10, "<< /Length 3 /DecodeParms 12 0 R >>", true, "abc"},
        {11, "<< /Length 3 /DecodeParms 13 0 R >>", true, "abc"},
        {12, "<< /Columns 4 >>"},
        {13, "<< /Columns 4 >>"}},
       {{11, 10}, {13, 12}}},
      {"a reference to no object reads as null",
       {{10, "[99 0 R]"}, {11, "[null]"}, {12, "[98 0 R]"}},
       {{11, 10}, {12, 10}}},
      {"reference forms are read as the renumbering reads them",
       {{10, "[12 0 R]"}, {11, "[13 R]"}, {12, "1"}, {13, "1"}},
       {{11, 10}, {13, 12}}},
      {"numbers in strings are no references",
       {{10, "(12 0 R)"}, {11, "(13 0 R)"}, {12, "1"}, {13, "1"}},
       {{13, 12}}},
      {"the first occurrence stands for the others, whatever the order made",
       {{20, "<< /A 1 >>"}, {15, "<< /A 1 >>"}, {17, "<< /A 1 >>"}},
       {{20, 15}, {17, 15}}},
  };
}

TEST(SharedObjects, IdentityRule) {
  for (const identity_case& c : identity_cases()) {
    SCOPED_TRACE(c.name);
    const held_output h = held_of(c.objects);
    const std::map<int32_t, int32_t> got =
        written_for(h, std::vector<uint8_t>(h.objects.size(), 0));
    for (const auto& [num, written] : got) {
      const auto want = c.shared.find(num);
      EXPECT_EQ(written, want == c.shared.end() ? num : want->second) << "object " << num;
    }
  }
}

// The catalog, the page tree, the pages and the optional-content groups stay one per
// occurrence; what they refer to is still shared.
TEST(SharedObjects, PinnedObjectsStayApart) {
  const held_output h = held_of({
      {1,
       "<< /Type /Catalog /Pages 2 0 R /OCProperties << /OCGs [9 0 R 10 0 R] /D << /OFF [10 0 R] "
       ">> >> >>"},
      {2, "<< /Type /Pages /Count 2 /Kids [3 0 R 4 0 R] >>"},
      {3, "<< /Type /Page /Parent 2 0 R /Resources << /Font << /F 7 0 R >> >> /Contents 5 0 R >>"},
      {4, "<< /Type /Page /Parent 2 0 R /Resources << /Font << /F 8 0 R >> >> /Contents 6 0 R >>"},
      {5, "<< /Length 2 >>", true, "q\n"},
      {6, "<< /Length 2 >>", true, "q\n"},
      {7, "<< /Type /Font /OC 9 0 R >>"},
      {8, "<< /Type /Font /OC 10 0 R >>"},
      {9, "<< /Type /OCG /Name (Layer) >>"},
      {10, "<< /Type /OCG /Name (Layer) >>"},
      {11, "<< /Type /Font >>"},
      {12, "<< /Type /Font >>"},
  });
  const object_graph g = graph_of(h);
  const std::vector<uint8_t> pinned = pinned_objects(h, g, 2);
  EXPECT_EQ(pinned, (std::vector<uint8_t>{1, 1, 1, 1, 0, 0, 0, 0, 1, 1, 0, 0}));
  const std::map<int32_t, int32_t> got = written_for(h, pinned);
  const std::map<int32_t, int32_t> want = {{1, 1}, {2, 2}, {3, 3}, {4, 4},   {5, 5},   {6, 5},
                                           {7, 7}, {8, 8}, {9, 9}, {10, 10}, {11, 11}, {12, 11}};
  EXPECT_EQ(got, want);
}

// Written objects are numbered 1.. in the order of their numbers, and their references are
// rewritten to those numbers: the shared object's and the absent number's (null) included.
TEST(SharedObjects, NumberingAndRewrittenText) {
  const held_output h = held_of({
      {1, "<< /Type /Catalog /Pages 2 0 R >>"},
      {2, "<< /Type /Pages /Count 1 /Kids [3 0 R] >>"},
      {3, "<< /Type /Page /Parent 2 0 R /Resources << /XObject << /A 7 0 R /B 9 0 R /C 12R>> >> "
          "/Contents 4 0 R >>"},
      {4, "<< /Length 0 >>", true, ""},
      {7, "<< /Length 1 /SMask 10 0 R >>", true, "x"},
      {9, "<< /Length 1 /SMask 11 0 R >>", true, "x"},
      {10, "<< /Length 1 >>", true, "y"},
      {11, "<< /Length 1 >>", true, "y"},
  });
  const object_graph g = graph_of(h);
  const std::vector<uint8_t> pinned = pinned_objects(h, g, 1);
  const std::vector<int32_t> rep = shared_representatives(h, g, pinned);
  const held_plan plan = plan_shared(h, g, rep);
  EXPECT_EQ(plan.out_num, (std::vector<int32_t>{1, 2, 3, 4, 5, 0, 6, 0}));
  EXPECT_EQ(plan.size, 7);
  EXPECT_EQ(held_text(h, g, plan, 2, rep),
            "<< /Type /Page /Parent 2 0 R /Resources << /XObject << /A 5 0 R /B 5 0 R /C null>> >> "
            "/Contents 4 0 R >>");
  EXPECT_EQ(held_text(h, g, plan, 4, rep), "<< /Length 1 /SMask 6 0 R >>");
}

// Objects are packed page by page: the catalog and the tree, then each page with what it
// reaches first, then what the catalog reaches besides, then what nothing reaches.
TEST(SharedObjects, PageOrder) {
  const held_output h = held_of({
      {1, "<< /Type /Catalog /Pages 2 0 R /Outlines 20 0 R >>"},
      {2, "<< /Type /Pages /Count 2 /Kids [3 0 R 4 0 R] >>"},
      {3, "<< /Type /Page /Parent 2 0 R /Annots [21 0 R] /Resources << /F 10 0 R /G 12 0 R >> "
          "/Contents 5 0 R >>"},
      {4, "<< /Type /Page /Parent 2 0 R /Resources << /F 11 0 R /G 12 0 R >> /Contents 6 0 R >>"},
      {5, "<< /Length 0 >>", true, ""},
      {6, "<< /Length 0 >>", true, ""},
      {10, "<< /D 13 0 R >>"},
      {11, "<< /X 1 >>"},
      {12, "<< /X 2 >>"},
      {13, "<< /X 3 >>"},
      {20, "<< /First 22 0 R >>"},
      {21, "<< /Dest [4 0 R /Fit] >>"},
      {22, "<< /Dest [4 0 R /Fit] /Parent 20 0 R >>"},
      {30, "<< /X 4 >>"},
  });
  const object_graph g = graph_of(h);
  std::vector<int32_t> rep(h.objects.size());
  for (size_t i = 0; i < rep.size(); ++i) rep[i] = static_cast<int32_t>(i);
  const held_plan plan = plan_as_held(h, g);
  std::vector<int32_t> nums;
  for (int32_t i : page_order(h, g, plan, rep, 2))
    nums.push_back(h.objects[static_cast<size_t>(i)].num);
  EXPECT_EQ(nums, (std::vector<int32_t>{1, 2, 3, 21, 10, 13, 12, 5, 4, 11, 6, 20, 22, 30}));
}

// ---------------------------------------------------------------- held and written again

using testdoc::obj;

// Two inputs whose objects all exist: a page with a font (a dictionary, its descriptor and a
// program stream), a page without resources, and the first listed twice.
std::vector<merge_input> complete_inputs() {
  std::vector<merge_input> inputs(2);
  inputs[0].d = testdoc::make_doc(
      {obj(3,
           "<< /Type /Page /MediaBox [0 0 10 10] /Contents 4 0 R /Resources << /Font << /F 6 0 R "
           ">> >> >>"),
       obj(4, "<< /Length 5 >>\nstream\nfirst\nendstream"),
       obj(6, "<< /Type /Font /FontDescriptor 7 0 R >>"),
       obj(7, "<< /Type /FontDescriptor /FontFile2 8 0 R >>"),
       obj(8, "<< /Length 4 >>\nstream\nglyf\nendstream")});
  inputs[0].d.pages = {{3, 0}};
  inputs[1].d =
      testdoc::make_doc({obj(9, "<< /Type /Page /MediaBox [0 0 20 20] /Contents 10 0 R >>"),
                         obj(10, "<< /Length 6 >>\nstream\nsecond\nendstream")});
  inputs[1].d.pages = {{9, 90}, {9, 0}};
  return inputs;
}

std::string text_of(const out_file& f) {
  return std::string(reinterpret_cast<const char*>(f.out.data.get()), f.out.len);
}

// Holding gathers every object the writer makes, in its order, with the text and data it would
// have written: each held object framed again is the plain output's object, byte for byte.
TEST(HeldOutput, HoldsWhatTheWriterWrites) {
  std::vector<merge_input> inputs = complete_inputs();
  const auto size = static_cast<int32_t>(merge_plan(inputs, 3));
  out_file plain;
  ASSERT_EQ(write_output(plain, inputs, 3, size), 0);
  const std::string pdf = text_of(plain);
  held_output held;
  out_file holder;
  holder.hold = &held;
  ASSERT_EQ(write_output(holder, inputs, 3, size), 0);
  EXPECT_EQ(holder.out.len, 0u);
  ASSERT_EQ(held.objects.size(), static_cast<size_t>(size - 1));
  for (size_t k = 0; k < held.objects.size(); ++k) {
    const held_object& o = held.objects[k];
    EXPECT_EQ(o.num, static_cast<int32_t>(k) + 1);
    std::string framed = std::to_string(o.num) + " 0 obj\n" + o.text;
    framed += o.stream ? "\nstream\n" + std::string(as_chars(o.data)) + "\nendstream\nendobj\n"
                       : "\nendobj\n";
    EXPECT_EQ(pdf.compare(static_cast<size_t>(plain.xref_offsets[static_cast<size_t>(o.num)]),
                          framed.size(), framed),
              0)
        << framed;
  }
  EXPECT_TRUE(held.objects[5].stream); // the first page's content, object 6
  EXPECT_FALSE(held.objects[2].stream);
}

// Holding past the output's limit fails the output as writing would.
TEST(HeldOutput, ReachingTheLimitFails) {
  std::vector<merge_input> inputs = complete_inputs();
  const auto size = static_cast<int32_t>(merge_plan(inputs, 3));
  held_output held;
  out_file holder;
  holder.hold = &held;
  holder.limit = 100;
  clear_error();
  EXPECT_EQ(write_output(holder, inputs, 3, size), -1);
  EXPECT_STREQ(error_text(), "failed to build output");
}

// Where nothing is shared and no number is missing, the output written again from the held
// objects is the plain output byte for byte; where the second input's page is listed twice, its
// content stream is written once and the numbers after it close up. Object streams make a PDF
// 1.5 file whose every number the library's own reader finds.
TEST(CompactOutput, WrittenAgainFromHeldObjects) {
  merge_options shared;
  shared.share_resources = true;
  {
    std::vector<merge_input> inputs = complete_inputs();
    inputs[1].d.pages = {{9, 90}};
    const auto size = static_cast<int32_t>(merge_plan(inputs, 2));
    out_file plain;
    ASSERT_EQ(write_output(plain, inputs, 2, size), 0);
    out_file f;
    ASSERT_EQ(write_compact_output(f, inputs, 2, size, nullptr, shared), 0);
    EXPECT_EQ(text_of(f), text_of(plain));
  }
  std::vector<merge_input> inputs = complete_inputs();
  const auto size = static_cast<int32_t>(merge_plan(inputs, 3));
  out_file f;
  ASSERT_EQ(write_compact_output(f, inputs, 3, size, nullptr, shared), 0);
  const std::string pdf = text_of(f);
  EXPECT_EQ(pdf.find("second\nendstream", pdf.find("second\nendstream") + 1), std::string::npos);
  EXPECT_NE(pdf.find("/Rotate 90 /Contents 7 0 R"), std::string::npos);
  EXPECT_NE(pdf.find("/MediaBox [0 0 20 20] /Contents 7 0 R"), std::string::npos);
  EXPECT_NE(pdf.find("/Font << /F 8 0 R >>"), std::string::npos);
  EXPECT_NE(pdf.find("8 0 obj\n<< /Type /Font /FontDescriptor 9 0 R >>"), std::string::npos);
  EXPECT_NE(pdf.find("9 0 obj\n<< /Type /FontDescriptor /FontFile2 10 0 R >>"), std::string::npos);
  EXPECT_NE(pdf.find("xref\n0 11\n"), std::string::npos);

  merge_options packed;
  packed.object_streams = true;
  out_file g;
  ASSERT_EQ(write_compact_output(g, inputs, 3, size, nullptr, packed), 0);
  const std::string file = fixtures::write_temp("compact_packed.pdf", text_of(g));
  EXPECT_EQ(text_of(g).compare(0, 9, "%PDF-1.5\n"), 0);
  doc d;
  ASSERT_EQ(doc_load(file.c_str(), d), 0) << error_text();
  EXPECT_EQ(d.pages.size(), 3u);
  for (int32_t n = 1; n < size; ++n) EXPECT_NE(obj_lookup(d, n), nullptr) << n;
}

} // namespace
