// XMP packets without their PDF/A and PDF/UA identification: attributes and elements of those
// namespaces go, under any prefix; everything else stays byte for byte.
#include "pdfmerge/keep/keep.h"

#include <gtest/gtest.h>

#include <string>

using namespace pdfmerge;

namespace {

const std::string head = "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
                         "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
                         "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n";
const std::string tail = "</rdf:RDF></x:xmpmeta>\n<?xpacket end=\"w\"?>";

std::string packet(const std::string& body) {
  return head + body + tail;
}

TEST(Xmp, ConformanceClaimsAreTakenOut) {
  const struct {
    const char* name;
    std::string body, kept;
  } cases[] = {
      {"attributes",
       "<rdf:Description rdf:about=\"\" xmlns:pdfaid=\"http://www.aiim.org/pdfa/ns/id/\" "
       "pdfaid:part=\"1\" pdfaid:conformance='B' xmlns:dc=\"http://purl.org/dc/elements/1.1/\"/>",
       "<rdf:Description rdf:about=\"\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\"/>"},
      {"elements",
       "<rdf:Description rdf:about=\"\" xmlns:pdfaid=\"http://www.aiim.org/pdfa/ns/id/\">\n"
       "<pdfaid:part>2</pdfaid:part>\n<pdfaid:conformance>U</pdfaid:conformance>\n"
       "<pdfaid:amd/>\n</rdf:Description>",
       "<rdf:Description rdf:about=\"\">\n\n\n\n</rdf:Description>"},
      {"PDF/UA under another prefix",
       "<rdf:Description xmlns:ua = 'http://www.aiim.org/pdfua/ns/id/' ua:part=\"1\">"
       "<ua:part>1</ua:part><dc:title>T</dc:title></rdf:Description>",
       "<rdf:Description><dc:title>T</dc:title></rdf:Description>"},
      {"nothing to take out",
       "<rdf:Description rdf:about=\"\"><!-- pdfaid:part=\"1\" --><dc:format>application/pdf"
       "</dc:format><![CDATA[<pdfaid:part>]]></rdf:Description>",
       "<rdf:Description rdf:about=\"\"><!-- pdfaid:part=\"1\" --><dc:format>application/pdf"
       "</dc:format><![CDATA[<pdfaid:part>]]></rdf:Description>"},
      {"a similar prefix stays",
       "<rdf:Description pdfaidx:part=\"1\"><pdfaidx:part>1</pdfaidx:part></rdf:Description>",
       "<rdf:Description pdfaidx:part=\"1\"><pdfaidx:part>1</pdfaidx:part></rdf:Description>"},
  };
  for (const auto& c : cases) {
    const std::optional<std::string> out = xmp_without_conformance(packet(c.body));
    ASSERT_TRUE(out.has_value()) << c.name;
    EXPECT_EQ(*out, packet(c.kept)) << c.name;
  }
}

TEST(Xmp, PacketsThatCannotBeEditedAreNotKept) {
  EXPECT_FALSE(xmp_without_conformance(std::string("<\0x\0>\0", 6)).has_value()); // UTF-16
  EXPECT_FALSE(xmp_without_conformance(packet("<pdfaid:part>1")).has_value());    // unclosed
  EXPECT_FALSE(xmp_without_conformance(packet("<rdf:Description pdfaid:part=\"1")).has_value());
  EXPECT_EQ(xmp_without_conformance(""), std::string());
}

} // namespace
