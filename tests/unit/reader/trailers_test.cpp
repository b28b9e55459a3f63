// What the trailers tell: /Root and /Encrypt through startxref, classic tables with their
// trailers, and chains of cross-reference streams.
#include "loader_fixture.h"

#include <gtest/gtest.h>

#include <string>

using namespace pdfmerge;
using fixtures::pdf_builder;

namespace {

struct trailer_facts {
  int32_t root_num;
  int32_t encrypted;
};

trailer_facts facts_of(const std::string& bytes) {
  doc d = loadtest::doc_of(bytes);
  trailers_read(d);
  return {d.root_num, d.encrypted};
}

std::string prev(long at) {
  return " /Prev " + std::to_string(at);
}

// A chain of `count` cross-reference streams, each /Prev to the one before; `extra(k)` goes
// into the k-th (0 = oldest).
template <class Extra> std::string xref_chain(int count, Extra extra) {
  pdf_builder b;
  b.object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  long last = -1;
  for (int k = 0; k < count; ++k) {
    b.xref_stream(100 + k, extra(k) + (last >= 0 ? prev(last) : ""));
    last = b.last_xref();
  }
  return b.startxref().str();
}

TEST(Trailers, ClassicTablesAndTheirTrailers) {
  const auto base = [] {
    pdf_builder b;
    b.object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    return b;
  };
  const struct {
    const char* what;
    std::string bytes;
    trailer_facts want;
  } cases[] = {
      {"one trailer", base().xref_table().trailer("<< /Root 1 0 R >>").startxref().str(), {1, 0}},
      {"two trailers: the last naming a catalog",
       base()
           .xref_table()
           .trailer("<< /Root 1 0 R >>")
           .trailer("<< /Root 7 0 R >>")
           .startxref()
           .str(),
       {7, 0}},
      {"a later trailer without /Root keeps the value",
       base().xref_table().trailer("<< /Root 3 0 R >>").trailer("<< /Size 9 >>").startxref().str(),
       {3, 0}},
      {"/Root followed by a name is passed over",
       base().xref_table().trailer("<< /Root /X /Root 5 0 R >>").startxref().str(),
       {5, 0}},
      {"/Root 0", base().xref_table().trailer("<< /Root 0 0 R >>").startxref().str(), {0, 0}},
      {"a trailer not opening a dictionary is skipped",
       base().xref_table().raw("trailer\n/Root 4 0 R\n").startxref().str(),
       {-1, 0}},
      {"/Encrypt in the trailer",
       base().xref_table().trailer("<< /Root 1 0 R /Encrypt 9 0 R >>").startxref().str(),
       {1, 1}},
      {"/Encrypt in a later trailer",
       base()
           .xref_table()
           .trailer("<< /Root 1 0 R >>")
           .trailer("<< /Encrypt 9 0 R >>")
           .startxref()
           .str(),
       {1, 1}},
      {"/Encrypt before the table goes unnoticed",
       base()
           .trailer("<< /Encrypt 9 0 R >>")
           .xref_table()
           .trailer("<< /Root 1 0 R >>")
           .startxref()
           .str(),
       {1, 0}},
      {"no startxref", base().xref_table().trailer("<< /Root 1 0 R >>").str(), {-1, 0}},
      {"startxref without a number",
       base().xref_table().trailer("<< /Root 1 0 R >>").raw("startxref\nx\n").str(),
       {-1, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const trailer_facts got = facts_of(c.bytes);
    EXPECT_EQ(got.root_num, c.want.root_num);
    EXPECT_EQ(got.encrypted, c.want.encrypted);
  }
}

TEST(Trailers, OffsetsAreIndexesIntoTheWholeFile) {
  // Junk before the header shifts every offset; a startxref that counts it finds the table.
  pdf_builder b("junk " + std::string(95, 'j') + "%PDF-1.4\n");
  b.object(1, "<< /Type /Catalog >>").xref_table().trailer("<< /Root 1 0 R >>").startxref();
  EXPECT_EQ(facts_of(b.str()).root_num, 1);
  // Without a header at all.
  pdf_builder n("");
  n.object(1, "<< /Type /Catalog >>").xref_table().trailer("<< /Root 1 0 R >>").startxref();
  EXPECT_EQ(facts_of(n.str()).root_num, 1);
}

TEST(Trailers, TheLastStartxrefIsFollowed) {
  // The newer section's trailer names no catalog; following the older startxref would find 1.
  pdf_builder b;
  b.object(1, "<< /Type /Catalog >>").xref_table().trailer("<< /Root 1 0 R >>").startxref();
  b.object(5, "(update)").xref_table().trailer("<< /Size 6 >>").startxref();
  EXPECT_EQ(facts_of(b.str()).root_num, -1);
}

TEST(Trailers, StartxrefOffsetsOutsideTheFileEndDiscovery) {
  pdf_builder b;
  b.object(1, "<< /Type /Catalog >>").xref_table().trailer("<< /Root 1 0 R >>");
  const std::string body = b.str();
  for (long at : {static_cast<long>(body.size()) + 40, 1000000L}) {
    SCOPED_TRACE(at);
    EXPECT_EQ(facts_of(pdf_builder(b).startxref(at).str()).root_num, -1);
  }
  // An offset at a byte that is neither a digit nor "xref".
  EXPECT_EQ(facts_of(pdf_builder(b).startxref(0).str()).root_num, -1);
  // An offset at an ordinary object is read like a cross-reference stream: without a stream
  // keyword after its dictionary the search for /Root runs on to the end of the file.
  EXPECT_EQ(facts_of(pdf_builder(b).startxref(b.offset_of(1)).str()).root_num, 1);
}

TEST(Trailers, CrossReferenceStreamChains) {
  const struct {
    const char* what;
    std::string bytes;
    trailer_facts want;
  } cases[] = {
      {"the newest /Root wins",
       xref_chain(3, [](int k) { return k == 0   ? "/Root 2 0 R"
                                        : k == 2 ? "/Root 9 0 R"
                                                 : ""; }),
       {9, 0}},
      {"/Prev is followed to the oldest",
       xref_chain(3, [](int k) { return std::string(k == 0 ? "/Root 2 0 R" : ""); }),
       {2, 0}},
      {"/Encrypt anywhere on the chain",
       xref_chain(3, [](int k) { return std::string(k == 0 ? "/Encrypt 8 0 R" : "/Root 1 0 R"); }),
       {1, 1}},
      {"32 streams are visited",
       xref_chain(32, [](int k) { return std::string(k == 0 ? "/Root 4 0 R" : ""); }),
       {4, 0}},
      {"the 33rd is not",
       xref_chain(33, [](int k) { return std::string(k == 0 ? "/Root 4 0 R" : ""); }),
       {-1, 0}},
      {"/Prev beyond the file ends the chain",
       xref_chain(2, [](int k) { return std::string(k == 0 ? "/Root 4 0 R" : "/Prev 99999999"); }),
       {-1, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const trailer_facts got = facts_of(c.bytes);
    EXPECT_EQ(got.root_num, c.want.root_num);
    EXPECT_EQ(got.encrypted, c.want.encrypted);
  }
}

TEST(Trailers, PrevPointingToItselfEnds) {
  pdf_builder b;
  b.object(1, "<< /Type /Catalog >>");
  const long self = b.offset();
  b.xref_stream(9, "/Root 1 0 R" + prev(self)).startxref();
  EXPECT_EQ(facts_of(b.str()).root_num, 1);
}

TEST(Trailers, StreamChainEndingAtAClassicTableReadsItsTrailers) {
  // The trailer found through the table replaces the stream's /Root.
  pdf_builder b;
  b.object(1, "<< /Type /Catalog >>").xref_table().trailer("<< /Root 2 0 R >>");
  const long table = b.last_xref();
  b.xref_stream(9, "/Root 7 0 R" + prev(table)).startxref();
  EXPECT_EQ(facts_of(b.str()).root_num, 2);
}

TEST(Trailers, EncryptOutsideTheChainGoesUnnoticed) {
  pdf_builder b;
  b.object(1, "<< /Type /Catalog >>").xref_stream(8, "/Encrypt 5 0 R");
  b.xref_stream(9, "/Root 1 0 R").startxref();
  EXPECT_EQ(facts_of(b.str()).encrypted, 0);
}

} // namespace
