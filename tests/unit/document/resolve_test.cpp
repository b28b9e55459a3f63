// The value an entry stands for, under each rule the readers use.
#include "doc_fixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace pdfmerge;
using testdoc::obj;
using testdoc::stream_obj;

// The filter chain's rule: any whole reference, first values, no streams, three hops.
constexpr resolve_rule filters{
    definition::selected, reference_form::loose_whole, 3, false, target_text::first_value, true};
// The optional-content rule: a whole strict reference, one hop, whole bodies.
constexpr resolve_rule one_hop{
    definition::selected, reference_form::strict_whole, 1, true, target_text::whole_body, false};
// The /Encrypt record's rule: a strict reference at the start, the last plain definition.
constexpr resolve_rule record{
    definition::last_plain, reference_form::strict_prefix, 1, true, target_text::whole_body, false};

doc sample() {
  return testdoc::make_doc({
      obj(2, "3 0 R"),                        // a reference to a reference
      obj(3, "/FlateDecode"),                 // a name
      obj(4, "5 0 R"), obj(5, "4 0 R"),       // a loop
      stream_obj(6, "/Type /XObject", "xyz"), // a stream
      obj(7, "[/A /B] % trailing"),           // a value and then more text
      obj(8, "(first)"), obj(8, "(second)"),  // two definitions of one number
  });
}

TEST(ResolveValue, EachRuleFollowsWhatItAccepts) {
  struct row {
    const char* value;
    const resolve_rule* rule;
    const char* rule_name;
    std::string want;
  };
  const std::vector<row> rows = {
      // a direct value is itself, under every rule
      {"/Name", &filters, "filters", "/Name"},
      {"/Name", &one_hop, "one hop", "/Name"},
      {"[1 2 R]", &record, "record", "[1 2 R]"},
      // a reference, and a chain of them
      {"3 0 R", &filters, "filters", "/FlateDecode"},
      {"3 0 R", &one_hop, "one hop", "/FlateDecode"},
      {"2 0 R", &filters, "filters", "/FlateDecode"},
      {"2 0 R", &one_hop, "one hop", "3 0 R"}, // one hop: the reference it leads to
      // a loop ends: given up after the hops, or the last reference given as it is
      {"4 0 R", &filters, "filters", ""},
      {"4 0 R", &one_hop, "one hop", "5 0 R"},
      // a stream is a value only where the rule says so
      {"6 0 R", &filters, "filters", ""},
      {"6 0 R", &one_hop, "one hop", "<< /Type /XObject /Length 3 >>\nstream\nxyz\nendstream"},
      // a missing object leads nowhere
      {"99 0 R", &filters, "filters", ""},
      {"99 0 R", &record, "record", ""},
      // text after the reference: a prefix reference is followed, a whole one is no reference
      {"3 0 R /X", &record, "record", "/FlateDecode"},
      {"3 0 R /X", &one_hop, "one hop", "3 0 R /X"},
      {"3 0 R /X", &filters, "filters", "3 0 R /X"},
      // the loose form needs no generation; the strict forms do, and a number above 0
      {"3 R", &filters, "filters", "/FlateDecode"},
      {"3 R", &one_hop, "one hop", "3 R"},
      {"0 0 R", &one_hop, "one hop", "0 0 R"},
      // the first value of the target, or its whole body
      {"7 0 R", &filters, "filters", "[/A /B]"},
      {"7 0 R", &one_hop, "one hop", "[/A /B] % trailing"},
      // the selected definition (first in table order here), or the last in the file
      {"8 0 R", &one_hop, "one hop", "(first)"},
      {"8 0 R", &record, "record", "(second)"},
  };
  const doc d = sample();
  for (const row& r : rows)
    EXPECT_EQ(testdoc::str(resolve_value(d, as_bytes(r.value), *r.rule)), r.want)
        << r.value << " under " << r.rule_name;
}

TEST(ResolveValue, ObjectTextAloneReadsOneDefinition) {
  const doc d = sample();
  EXPECT_EQ(testdoc::str(object_text(d, 2, filters)), "3 0 R"); // not followed further
  EXPECT_EQ(testdoc::str(object_text(d, 6, filters)), "");      // a stream
  EXPECT_EQ(testdoc::str(object_text(d, 0, one_hop)), "");      // no such object
  EXPECT_EQ(reference_of(as_bytes("12 0 R"), reference_form::strict_whole), 12);
  EXPECT_EQ(reference_of(as_bytes("12 0 Rx"), reference_form::loose_whole), -1);
  EXPECT_EQ(reference_of(as_bytes("-3 0 R"), reference_form::strict_prefix), -1);
}

// The last plain definition through the index the reader builds gives what the scan of the
// table gives: the last entry in table order that is not an object-stream member, whatever the
// order of the table (removals move entries) and however many definitions a number has.
TEST(ResolveValue, TheLastPlainIndexAnswersAsTheScan) {
  doc d = testdoc::make_doc(
      {obj(4, "(a)"), obj(5, "(b)"), obj(4, "(c)"), obj(6, "(d)"), obj(5, "(e)"), obj(4, "(f)")},
      {{5, "(member)"}, {7, "(only a member)"}});
  std::swap(d.objects[0], d.objects[5]); // 4 "(f)" first, 4 "(a)" last
  ASSERT_FALSE(d.last_plain.has_value());
  std::vector<std::string> scanned;
  for (int32_t num = 0; num <= 8; ++num)
    scanned.push_back(testdoc::str(object_text(d, num, record)));
  EXPECT_EQ(scanned[4], "(a)");
  EXPECT_EQ(scanned[5], "(e)");
  EXPECT_EQ(scanned[7], "");
  d.last_plain = last_plain_index_of(d.objects);
  for (int32_t num = 0; num <= 8; ++num)
    EXPECT_EQ(testdoc::str(object_text(d, num, record)), scanned[static_cast<size_t>(num)]) << num;
}

} // namespace
