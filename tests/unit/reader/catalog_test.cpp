// Choosing the catalog and the root of the page tree, and the messages when that fails.
#include "loader_fixture.h"

#include <gtest/gtest.h>

#include <string>

using namespace pdfmerge;
using fixtures::pdf_builder;

namespace {

struct resolved {
  int32_t rc;
  std::string message;
  doc d;
};

resolved resolve(const std::string& bytes) {
  resolved r{0, "", loadtest::selected(bytes)};
  set_error("an earlier message");
  r.rc = catalog_resolve(r.d);
  r.message = error_text();
  return r;
}

const std::string pages_2 = "<< /Type /Pages /Kids [4 0 R] /Count 1 >>";
const std::string page = "<< /Type /Page /MediaBox [0 0 612 792] >>";

std::string no_pages_reference(int n) {
  return "catalog (obj " + std::to_string(n) + ") has no /Pages reference";
}

TEST(Catalog, ChoosingTheCatalogAndTheTreeRoot) {
  const struct {
    const char* what;
    std::string bytes;
    int32_t catalog_num;
    size_t pages;
  } cases[] = {
      {"no trailer: the object naming /Catalog",
       pdf_builder()
           .object(2, pages_2)
           .object(3, "<< /Type /Catalog /Pages 2 0 R >>")
           .object(4, page)
           .str(),
       3, 1},
      {"no trailer, no /Catalog: object 1, a page-tree node",
       pdf_builder().object(1, "<< /Type /Pages /Kids [4 0 R 4 0 R] >>").object(4, page).str(), 1,
       2},
      {"/Root naming a missing object",
       pdf_builder()
           .object(2, pages_2)
           .object(3, "<< /Type /Catalog /Pages 2 0 R >>")
           .object(4, page)
           .xref_table()
           .trailer("<< /Root 9 0 R >>")
           .startxref()
           .str(),
       3, 1},
      {"/Root naming a page-tree node",
       pdf_builder()
           .object(1, "<< /Type /Catalog /Pages 7 0 R >>")
           .object(2, pages_2)
           .object(4, page)
           .xref_table()
           .trailer("<< /Root 2 0 R >>")
           .startxref()
           .str(),
       2, 1},
      {"/Root naming a page",
       pdf_builder().object(4, page).xref_table().trailer("<< /Root 4 0 R >>").startxref().str(), 4,
       1},
      {"/Root naming an object that is no catalog: the search as without /Root",
       pdf_builder()
           .object(2, pages_2)
           .object(3, "<< /Type /Catalog /Pages 2 0 R >>")
           .object(4, page)
           .object(5, "<< /Producer (x) >>")
           .xref_table()
           .trailer("<< /Root 5 0 R >>")
           .startxref()
           .str(),
       3, 1},
      {"/Root naming a catalog without a usable /Pages",
       pdf_builder()
           .object(7, "<< /Type /Catalog /Pages 2 0 R >>")
           .object(3, "<< /Type /Catalog /Pages 0 0 R >>")
           .object(2, pages_2)
           .object(4, page)
           .xref_table()
           .trailer("<< /Root 3 0 R >>")
           .startxref()
           .str(),
       7, 1},
      {"/Root naming a usable catalog after another one",
       pdf_builder()
           .object(7, "<< /Type /Catalog /Pages 9 0 R >>")
           .object(3, "<< /Type /Catalog /Pages 2 0 R >>")
           .object(2, pages_2)
           .object(4, page)
           .xref_table()
           .trailer("<< /Root 3 0 R >>")
           .startxref()
           .str(),
       3, 1},
      {"the first /Pages with a value above 0",
       pdf_builder()
           .object(1, "<< /Type /Catalog /Pages 0 0 R /Pages /X /Pages 2 0 R >>")
           .object(2, pages_2)
           .object(4, page)
           .str(),
       1, 1},
      {"the first /Catalog in table order",
       pdf_builder()
           .object(7, "<< /Type /Catalog /Pages 2 0 R >>")
           .object(3, "<< /Type /Catalog /Pages 9 0 R >>")
           .object(2, pages_2)
           .object(4, page)
           .str(),
       7, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    resolved r = resolve(c.bytes);
    ASSERT_EQ(r.rc, 0) << r.message;
    EXPECT_EQ(r.d.catalog_num, c.catalog_num);
    EXPECT_EQ(r.d.pages.size(), c.pages);
    EXPECT_EQ(r.message, ""); // emptied before the walk; success leaves it so
  }
}

TEST(Catalog, CatalogInAnObjectStreamIsSearchedInItsOwnText) {
  for (bool with_root : {true, false}) {
    SCOPED_TRACE(with_root);
    pdf_builder b;
    b.object(2, pages_2).object(4, page);
    loadtest::add_objstm(b, 10, {{5, "<< /A 1 >>"}, {6, "<< /Type /Catalog /Pages 2 0 R >>"}});
    if (with_root) b.xref_table().trailer("<< /Root 6 0 R >>").startxref();
    resolved r = resolve(b.str());
    ASSERT_EQ(r.rc, 0) << r.message;
    EXPECT_EQ(r.d.catalog_num, 6);
    EXPECT_EQ(r.d.pages.size(), 1u);
  }
}

TEST(Catalog, MembersWithOverlappingTextsAreEachSearchedInTheirOwnText) {
  // Offsets 0, 24, 0: member 5 is the first 24 bytes, member 7 all of the texts. Member 5 ends
  // exactly with "/Catalog", which is a name in its own text though "x" follows in the block.
  const std::string texts = "<< /Pages 2 0 R /Catalogx /Type /Catalog >>";
  const std::string header = "5 0 6 24 7 0";
  pdf_builder b;
  b.object(2, pages_2).object(4, page);
  loadtest::add_raw_objstm(b, 10, "/Type /ObjStm /N 3 /First 12", header + texts);
  resolved r = resolve(b.str());
  ASSERT_EQ(r.rc, 0) << r.message;
  EXPECT_EQ(r.d.catalog_num, 5);

  // Member 5 (first 10 bytes) names no catalog; member 7 shares its offset and is dropped, and
  // member 6 after it names the catalog.
  pdf_builder c;
  c.object(2, pages_2).object(4, page);
  loadtest::add_raw_objstm(c, 10, "/Type /ObjStm /N 3 /First 12",
                           "5 0 6 10 7 0" + std::string("<< /A 1 >> /Type /Catalog /Pages 2 0 R"));
  resolved s = resolve(c.str());
  ASSERT_EQ(s.rc, 0) << s.message;
  EXPECT_EQ(s.d.catalog_num, 6);
}

TEST(Catalog, StreamDataNamingCatalogCounts) {
  // With no usable /Root the search looks into stream data too.
  pdf_builder b;
  b.stream(5, "", "/Catalog").object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.object(2, pages_2).object(4, page);
  resolved r = resolve(b.str());
  EXPECT_EQ(r.rc, -1);
  EXPECT_EQ(r.d.catalog_num, 5);
  EXPECT_EQ(r.message, no_pages_reference(5));
}

TEST(Catalog, FailureMessages) {
  const std::string walk_failed = "could not resolve the page tree (obj 2 is not a /Pages or "
                                  "/Page object, or tree is broken)";
  const struct {
    const char* what;
    std::string bytes;
    std::string message;
  } cases[] = {
      {"no catalog and no object 1", pdf_builder().object(2, pages_2).object(4, page).str(),
       no_pages_reference(1)},
      {"only /Pages 0 0 R",
       pdf_builder().object(3, "<< /Type /Catalog /Pages 0 0 R >>").object(2, pages_2).str(),
       no_pages_reference(3)},
      {"a catalog without a dictionary",
       pdf_builder().object(1, "42").xref_table().trailer("<< /Root 1 0 R >>").startxref().str(),
       no_pages_reference(1)},
      {"a /Pages after the catalog's endobj does not count",
       pdf_builder().object(1, "<< /Type /Catalog >>").object(8, "(/Pages 2 0 R)").str(),
       no_pages_reference(1)},
      {"a root that is no page-tree node",
       pdf_builder()
           .object(1, "<< /Type /Catalog /Pages 2 0 R >>")
           .object(2, "<< /Type /Font >>")
           .str(),
       walk_failed},
      {"a root that is missing", pdf_builder().object(1, "<< /Type /Catalog /Pages 2 0 R >>").str(),
       walk_failed},
      {"a kid that is missing",
       pdf_builder().object(1, "<< /Type /Catalog /Pages 2 0 R >>").object(2, pages_2).str(),
       walk_failed},
      {"an empty /Kids",
       pdf_builder()
           .object(1, "<< /Type /Catalog /Pages 2 0 R >>")
           .object(2, "<< /Type /Pages /Kids [] >>")
           .str(),
       "document has no pages"},
      {"an inline page dictionary",
       pdf_builder()
           .object(1, "<< /Type /Catalog /Pages 2 0 R >>")
           .object(2, "<< /Type /Pages /Kids [4 0 R << /Type /Page >>] >>")
           .object(4, page)
           .str(),
       "page tree uses inline page dictionaries in /Kids (obj 2) \xE2\x80\x94 pages must be "
       "indirect objects"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    resolved r = resolve(c.bytes);
    EXPECT_EQ(r.rc, -1);
    EXPECT_EQ(r.message, c.message);
  }
}

} // namespace
