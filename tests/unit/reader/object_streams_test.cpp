// Object streams: the header pairs, /N and /First, decoding with growing room, members cut at
// the decoded bytes, and which definition of a number survives selection.
#include "deflate/deflate.h"
#include "loader_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

using namespace pdfmerge;
using loadtest::add_objstm;
using loadtest::add_raw_objstm;
using loadtest::doc_of;
using loadtest::nums_of;
using loadtest::text_of;

namespace {

// The document after discovery and expansion, before selection.
doc expanded(const std::string& bytes) {
  doc d = doc_of(bytes);
  objects_discover(d);
  objstms_expand(d);
  return d;
}

// The members appended by expansion, in table order.
std::vector<const obj_entry*> members_of(const doc& d) {
  std::vector<const obj_entry*> out;
  for (const obj_entry& e : d.objects)
    if (e.in_objstm) out.push_back(&e);
  return out;
}

std::vector<int32_t> member_nums(const doc& d) {
  std::vector<int32_t> nums;
  for (const obj_entry* e : members_of(d)) nums.push_back(e->num);
  return nums;
}

std::string pad(std::string text, size_t size) {
  text.resize(size, ' ');
  return text;
}

TEST(ObjectStreams, HeaderPairsGiveOffsetsFromFirst) {
  const std::string decoded =
      pad("10 0 11 15 12 40", 20) + pad("<< /A 1 >>", 15) + pad("[1 2]", 25);
  ASSERT_EQ(decoded.size(), 60u);
  fixtures::pdf_builder b;
  add_raw_objstm(b, 5, "/Type /ObjStm /N 3 /First 20", decoded);
  const doc d = expanded(b.str());
  const auto members = members_of(d);
  ASSERT_EQ(members.size(), 2u); // object 12 has size 0
  EXPECT_EQ(members[0]->num, 10);
  EXPECT_EQ(text_of(*members[0]), decoded.substr(20, 15));
  EXPECT_EQ(members[1]->num, 11);
  EXPECT_EQ(text_of(*members[1]), decoded.substr(35, 25));
  for (const obj_entry* m : members) {
    EXPECT_EQ(m->gen, 0);
    EXPECT_EQ(std::tie(m->start, m->dict_start, m->stream_kw, m->data_start, m->data_end, m->endobj,
                       m->end),
              std::make_tuple(-1, -1, -1, -1, -1, -1, -1));
    EXPECT_EQ(m->has_stream, 0);
  }
}

TEST(ObjectStreams, ContainerWithoutFilterIsReadRaw) {
  fixtures::pdf_builder b;
  add_objstm(b, 5, {{3, "<< /Type /Catalog >>"}, {4, "42"}}, false);
  const doc d = expanded(b.str());
  ASSERT_EQ(member_nums(d), (std::vector<int32_t>{3, 4}));
  EXPECT_EQ(text_of(*members_of(d)[1]), "42\n");
}

TEST(ObjectStreams, AbbreviatedFlateNameDecodes) {
  int first = 0;
  const std::string body = fixtures::objstm_body({{3, "<< /A 1 >>"}, {4, "42"}}, first);
  const struct {
    std::string filter;
    bool decoded;
  } cases[] = {
      {"/Filter /Fl", true},
      {"/Filter [/Fl]", true},
      {"/Filter /FlateDecode", true},
      {"/Filter /Flx", false}, // a longer name is no abbreviation
      {"", false},             // read raw: the deflate bytes hold no member header
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.filter);
    fixtures::pdf_builder b;
    b.stream(5, "/Type /ObjStm /N 2 /First " + std::to_string(first) + " " + c.filter,
             fixtures::zlib_stored(body));
    const doc d = expanded(b.str());
    if (!c.decoded) {
      EXPECT_TRUE(members_of(d).empty());
      continue;
    }
    ASSERT_EQ(member_nums(d), (std::vector<int32_t>{3, 4}));
    EXPECT_EQ(text_of(*members_of(d)[1]), "42\n");
  }
}

TEST(ObjectStreams, NAndFirstRules) {
  int first = 0;
  const std::string body = fixtures::objstm_body({{3, "(a)"}, {4, "(b)"}}, first);
  const std::string f = std::to_string(first);
  const struct {
    std::string dict;
    std::vector<int32_t> nums;
  } cases[] = {
      {"/N 2 /First " + f, {3, 4}},
      {"/N 1 /First " + f, {3}},
      {"/N 0 /First " + f, {}},
      {"/First " + f, {}},
      {"/N 100001 /First " + f, {}},
      {"/N 0 /N 2 /First " + f, {3, 4}}, // a value not above 0 tries the next /N
      {"/N -1 /N 2 /First " + f, {3, 4}},
      {"/N /X /N 2 /First " + f, {3, 4}},
      {"/N 2", {}}, // no /First
      {"/N 2 /First -1 /First " + f, {3, 4}},
      {"/N 2 /First 999", {}},                            // beyond the decoded bytes
      {"/N 3 /First " + f, {}},                           // a third pair does not read as numbers
      {"/N 2 /First " + std::to_string(body.size()), {}}, // every text empty
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.dict);
    fixtures::pdf_builder b;
    add_raw_objstm(b, 5, "/Type /ObjStm " + c.dict, body);
    EXPECT_EQ(member_nums(expanded(b.str())), c.nums);
  }
}

TEST(ObjectStreams, HeaderNumbersDecideWholeContainersOrSingleMembers) {
  const struct {
    std::string header; // padded to /First 16
    std::vector<int32_t> nums;
  } cases[] = {
      {"3 0 4 4", {3, 4}},  {"-3 0 4 4", {}}, // a negative number drops the whole container
      {"3 -1 4 4", {}},     {"0 0 4 4", {4}}, // number 0 is left out alone
      {"3 4 4 0", {3, 4}},                    // offsets out of order: sorted first
      {"3 0 4 0", {3}},                       // a second member at the same offset is dropped
      {"3 0 +4 4", {3, 4}}, {"3 0 4 R", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.header);
    fixtures::pdf_builder b;
    add_raw_objstm(b, 5, "/Type /ObjStm /N 2 /First 16", pad(c.header, 16) + "(a)\n(b)\n");
    EXPECT_EQ(member_nums(expanded(b.str())), c.nums);
  }
}

TEST(ObjectStreams, MembersNeverReachPastTheDecodedBytes) {
  const struct {
    std::string header; // padded to /First 20; the texts are "(hello)", 7 bytes
    std::vector<int32_t> nums;
    std::vector<int32_t> lens;
  } cases[] = {
      {"1 0 2 10", {1}, {7}},          // member 1 would reach 3 bytes past the end
      {"1 7 2 8 3 0", {3}, {7}},       // member 1 starts at the end: empty, left out
      {"1 0 2 1048576 3 0", {1}, {7}}, // 3 shares 1's offset; 2 starts beyond the data
      {"1 0 2 1048577 3 0", {}, {}},   // above 1 MiB by its offsets: left out
      {"1 100 2 101", {}, {}},         // starts far beyond the data
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.header);
    fixtures::pdf_builder b;
    const int n = static_cast<int>((std::count(c.header.begin(), c.header.end(), ' ') + 1) / 2);
    add_raw_objstm(b, 5, "/Type /ObjStm /N " + std::to_string(n) + " /First 20",
                   pad(c.header, 20) + "(hello)");
    const doc d = expanded(b.str());
    EXPECT_EQ(member_nums(d), c.nums);
    std::vector<int32_t> lens;
    for (const obj_entry* m : members_of(d)) {
      lens.push_back(m->text_len);
      EXPECT_EQ(std::string(reinterpret_cast<const char*>(m->text), 7), "(hello)");
    }
    EXPECT_EQ(lens, c.lens);
  }
}

// Member texts never overlap, whatever order the header gives the offsets in: each runs to the
// next larger offset. (Overlapping texts let a small file hold millions of page objects.)
TEST(ObjectStreams, MemberTextsNeverOverlap) {
  const struct {
    std::string header; // padded to /First 20; the texts are "(a)(bb)(ccc)"
    std::vector<int32_t> nums;
    std::vector<std::string> texts;
  } cases[] = {
      {"1 0 2 3 3 7", {1, 2, 3}, {"(a)", "(bb)", "(ccc)"}},
      {"3 7 2 3 1 0", {3, 2, 1}, {"(ccc)", "(bb)", "(a)"}}, // table order stays header order
      {"1 0 2 0 3 0", {1}, {"(a)(bb)(ccc)"}},
      {"1 3 2 0 3 3", {1, 2}, {"(bb)(ccc)", "(a)"}},
      {"1 7 2 3 3 99", {1, 2}, {"(ccc)", "(bb)"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.header);
    fixtures::pdf_builder b;
    add_raw_objstm(b, 5, "/Type /ObjStm /N 3 /First 20", pad(c.header, 20) + "(a)(bb)(ccc)");
    const doc d = expanded(b.str());
    EXPECT_EQ(member_nums(d), c.nums);
    std::vector<std::string> texts;
    for (const obj_entry* m : members_of(d)) texts.push_back(text_of(*m));
    EXPECT_EQ(texts, c.texts);
  }
}

TEST(ObjectStreams, HundredThousandMembersAreTheLimit) {
  for (int n : {100000, 100001}) {
    std::vector<std::pair<int, std::string>> members;
    for (int k = 1; k <= n; ++k) members.emplace_back(k, "0");
    fixtures::pdf_builder b;
    add_objstm(b, 200001, members);
    EXPECT_EQ(member_nums(expanded(b.str())).size(), n == 100000 ? 100000u : 0u) << n;
  }
}

TEST(ObjectStreams, PlainDefinitionBeatsContainedOnesInEitherOrder) {
  for (bool plain_first : {true, false}) {
    SCOPED_TRACE(plain_first);
    fixtures::pdf_builder b;
    if (plain_first) b.object(4, "(plain)");
    add_objstm(b, 10, {{4, "(first stream)"}, {7, "(seven a)"}});
    add_objstm(b, 11, {{4, "(second stream)"}, {7, "(seven b)"}});
    if (!plain_first) b.object(4, "(plain)");
    const doc d = loadtest::selected(b.str());
    const obj_entry* four = obj_lookup(d, 4);
    ASSERT_NE(four, nullptr);
    EXPECT_EQ(four->in_objstm, 0);
    EXPECT_EQ(four->start, b.offset_of(4));
    const obj_entry* seven = obj_lookup(d, 7);
    ASSERT_NE(seven, nullptr);
    EXPECT_EQ(text_of(*seven), "(seven b)\n"); // the later container wins
    EXPECT_EQ(obj_lookup(d, 10), nullptr);     // containers never stay
    EXPECT_EQ(obj_lookup(d, 11), nullptr);
    EXPECT_EQ(nums_of(d).size(), 2u);
    EXPECT_EQ(d.max_num, 7);
  }
}

TEST(ObjectStreams, ContainedObjectsAreNotExpandedAgain) {
  fixtures::pdf_builder b;
  add_objstm(b, 10, {{4, "<< /Type /ObjStm /N 1 /First 4 >>"}});
  const doc d = expanded(b.str());
  EXPECT_EQ(member_nums(d), (std::vector<int32_t>{4}));
}

// ------------------------------------------------------------ decoding and its budget

// Real deflate data (the library's own encoder), so that it inflates far beyond its size.
std::string deflated(const std::string& text) {
  std::vector<uint8_t> out;
  EXPECT_TRUE(deflate::deflate_compress(as_bytes(text), out));
  return {out.begin(), out.end()};
}

// A container of one member whose text is `size` bytes of a dictionary padded with spaces.
void add_padded_objstm(fixtures::pdf_builder& b, int num, int member, size_t size) {
  std::string text = "<< /Padded true >>";
  text.resize(size, ' ');
  int first = 0;
  const std::string body = fixtures::objstm_body({{member, text}}, first);
  b.stream(num, "/Type /ObjStm /N 1 /First " + std::to_string(first) + " /Filter /FlateDecode",
           deflated(body));
}

TEST(ObjectStreams, DataInflatingFarBeyondItsSizeIsExpanded) {
  fixtures::pdf_builder b;
  add_padded_objstm(b, 5, 3, 500000); // some hundred times its compressed size
  const doc d = expanded(b.str());
  ASSERT_EQ(member_nums(d), (std::vector<int32_t>{3}));
  const std::string text = text_of(*members_of(d)[0]);
  EXPECT_EQ(text.substr(0, 18), "<< /Padded true >>");
  EXPECT_GE(text.size(), 500000u); // the whole padded text, with the separator after it
}

TEST(ObjectStreams, DecodedDataIsBoundByTheDocumentsBudget) {
  struct budget_case {
    const char* what;
    std::vector<size_t> sizes; // one container per entry, each of one padded member
    uint64_t budget;
    bool within;
  };
  const budget_case cases[] = {
      {"one container within", {4000}, 5000, true},
      {"one container past it", {6000}, 5000, false},
      {"two containers past it together", {3000, 3000}, 5000, false},
      {"two containers within together", {2000, 2000}, 5000, true},
  };
  for (const budget_case& c : cases) {
    SCOPED_TRACE(c.what);
    fixtures::pdf_builder b;
    int num = 10;
    for (size_t size : c.sizes) {
      add_padded_objstm(b, num, num + 100, size);
      ++num;
    }
    doc d = doc_of(b.str());
    objects_discover(d);
    EXPECT_EQ(objstms_expand(d, c.budget), c.within);
    if (c.within) {
      EXPECT_EQ(members_of(d).size(), c.sizes.size());
    }
  }
}

TEST(ObjectStreams, DataThatDoesNotInflateLeavesTheRestLoadable) {
  fixtures::pdf_builder b("");
  b.object(1, "<< /Type /Catalog /Pages 2 0 R >>").object(2, "<< /Type /Pages /Kids [3 0 R] >>");
  b.object(3, "<< /Type /Page >>");
  b.stream(5, "/Type /ObjStm /N 1 /First 4 /Filter /FlateDecode", "not deflate");
  const doc d = loadtest::selected(b.str());
  EXPECT_EQ(nums_of(d), (std::vector<int32_t>{1, 2, 3}));
}

TEST(ObjectStreams, ContainersSharingTheirDataEachContribute) {
  // Object 9's header sits in a string of container 8's dictionary, so both dictionaries end
  // at the same "stream": two containers, one data.
  int first = 0;
  const std::string body = fixtures::objstm_body({{3, "(a)"}}, first);
  const std::string stored = fixtures::zlib_stored(body);
  const std::string text = "8 0 obj << /Type /ObjStm /S (9 0 obj << /Type /ObjStm ) /N 1 /First " +
                           std::to_string(first) + " /Filter /FlateDecode /Length " +
                           std::to_string(stored.size()) + " >>\nstream\n" + stored +
                           "\nendstream\nendobj\n";
  const doc d = expanded(text);
  ASSERT_EQ(member_nums(d), (std::vector<int32_t>{3, 3}));
  EXPECT_EQ(members_of(d)[0]->text, members_of(d)[1]->text);
}

} // namespace
