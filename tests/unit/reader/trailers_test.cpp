// What the trailers tell: /Root and /Encrypt through startxref, classic tables with their
// trailers, and chains of cross-reference streams; and, when startxref leads to no trailer, the
// same read from every trailer dictionary and cross-reference stream of the file.
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

// The text of the dictionary whose record would be read (from its "<<" on), or "" for none.
std::string record_trailer_of(const std::string& bytes) {
  doc d = loadtest::doc_of(bytes);
  trailers_read(d);
  return d.encrypt_trailer < 0 ? "" : bytes.substr(static_cast<size_t>(d.encrypt_trailer));
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
      // Without a usable startxref the trailers are found by the scan below.
      {"no startxref", base().xref_table().trailer("<< /Root 1 0 R >>").str(), {1, 0}},
      {"startxref without a number",
       base().xref_table().trailer("<< /Root 1 0 R >>").raw("startxref\nx\n").str(),
       {1, 0}},
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

TEST(Trailers, StartxrefLeadingToNoTrailerFallsBackToTheScan) {
  pdf_builder b;
  b.object(1, "<< /Type /Catalog >>").xref_table().trailer("<< /Root 1 0 R >>");
  const std::string body = b.str();
  // Offsets outside the file, at a byte that is neither a digit nor "xref", one byte into
  // "xref": the trailer is found by the scan.
  for (long at : {static_cast<long>(body.size()) + 40, 1000000L, 0L, b.last_xref() + 1}) {
    SCOPED_TRACE(at);
    EXPECT_EQ(facts_of(pdf_builder(b).startxref(at).str()).root_num, 1);
  }
  // An offset at an ordinary object is read like a cross-reference stream: without a stream
  // keyword after its dictionary the search for /Root runs on to the end of the file, and the
  // /Root found there counts as a trailer's.
  EXPECT_EQ(facts_of(pdf_builder(b).startxref(b.offset_of(1)).str()).root_num, 1);
  // A chain that reaches a trailer naming no catalog is not second-guessed by the scan.
  pdf_builder update(b);
  update.startxref().object(5, "(update)").xref_table().trailer("<< /Size 6 >>").startxref();
  EXPECT_EQ(facts_of(update.str()).root_num, -1);
}

// What the scan reads, with startxref pointing nowhere useful (or missing): classic trailers
// and cross-reference streams, whole or cut short by the end of the file.
TEST(Trailers, ScanReadsEveryTrailerLikeDictionary) {
  const auto catalog = [] {
    pdf_builder b;
    b.object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    return b;
  };
  const auto cut = [](const std::string& s, const std::string& at) {
    return s.substr(0, s.rfind(at));
  };
  const struct {
    const char* what;
    std::string bytes;
    trailer_facts want;
    const char* record; // how the dictionary whose record is read begins; "" for none
  } cases[] = {
      {"a classic trailer, startxref cut",
       cut(catalog().xref_table().trailer("<< /Root 1 0 R /Encrypt 9 0 R >>").startxref().str(),
           "startxref"),
       {1, 1},
       "<< /Root 1 0 R /Encrypt"},
      {"a trailer cut inside its dictionary still counts up to the cut",
       cut(catalog().xref_table().trailer("<< /Root 1 0 R /Encrypt 9 0 R /ID [<ab>] >>").str(),
           "/ID"),
       {1, 1},
       "<< /Root 1 0 R /Encrypt"},
      {"two updates: the last /Root wins, an older /Encrypt still counts",
       cut(catalog()
               .xref_table()
               .trailer("<< /Root 1 0 R /Encrypt 9 0 R >>")
               .startxref()
               .object(3, "(update)")
               .xref_table()
               .trailer("<< /Root 3 0 R >>")
               .startxref()
               .str(),
           "startxref"),
       {3, 1},
       "<< /Root 1 0 R /Encrypt"},
      {"a trailer is read up to where it closes",
       catalog().trailer("<< /Root 1 0 R >>").trailer("<< /Size 3 >>").raw("/Root 5 0 R\n").str(),
       {1, 0},
       ""},
      {"a cross-reference stream, startxref cut",
       cut(catalog().xref_stream(9, "/Root 1 0 R /Encrypt 8 0 R").startxref().str(), "startxref"),
       {1, 1},
       "<< /Type /XRef"},
      {"a cross-reference stream whose data is cut",
       cut(catalog().xref_stream(9, "/Root 1 0 R /Encrypt 8 0 R").str(), "endstream"),
       {1, 1},
       "<< /Type /XRef"},
      {"classic trailer then stream, in file order",
       catalog()
           .xref_table()
           .trailer("<< /Root 2 0 R >>")
           .xref_stream(9, "/Root 1 0 R")
           .startxref(3)
           .str(),
       {1, 0},
       ""},
      {"/Type /XRef in a stream's data is no dictionary of its own",
       catalog()
           .stream(5, "", "<< /Type /XRef /Root 7 0 R /Encrypt 8 0 R >>")
           .trailer("<< /Root 1 0 R >>")
           .str(),
       {1, 0},
       ""},
      {"no trailer, but a standard security handler's dictionary: encrypted, no record",
       catalog().object(8, "<< /Filter /Standard /V 2 /R 3 /O <00> /U <00> /P -4 >>").str(),
       {-1, 1},
       ""},
      {"the same beside a trailer naming no /Encrypt (cut before it)",
       catalog()
           .object(8, "<< /Filter /Standard >>")
           .trailer("<< /Root 1 0 R >>")
           .startxref(0)
           .str(),
       {1, 1},
       ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const trailer_facts got = facts_of(c.bytes);
    EXPECT_EQ(got.root_num, c.want.root_num);
    EXPECT_EQ(got.encrypted, c.want.encrypted);
    EXPECT_EQ(record_trailer_of(c.bytes).substr(0, std::string(c.record).size()), c.record);
  }
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
