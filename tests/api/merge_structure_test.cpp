// Merges that keep the structure tree of tagged inputs (PDFMERGE_KEEP_STRUCTURE), checked with
// independent tools: pdfinfo -struct-text for the elements and their text in reading order,
// pdfinfo for the tagged flag, qpdf --check, and tests/support/structure_check.py for the tree
// against the pages and the parent tree.
#include "keep_tools.h"
#include "kq_out_pdfmerge.h"
#include "merge_tools.h"
#include "pdf_builder.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using fixtures::read_file;
using fixtures::temp_path;
using fixtures::write_temp;
using keep_tools::merge_opt;
using keep_tools::value_of;
using merge_tools::object_text;

constexpr int structure = PDFMERGE_KEEP_STRUCTURE;
constexpr int annotations = PDFMERGE_KEEP_ANNOTATIONS;

// One tagged file's choices.
struct tagging {
  std::string label;                // starts every text of the file
  std::string heading_role = "/H1"; // what /RoleMap maps /Heading to
  std::string weight = "700";       // the /FontWeight of class /Bold
  std::string catalog_extra = "/MarkInfo << /Marked true >> /Lang (en-GB) ";
  std::string page_list = "3 0 R 4 0 R"; // the page tree's /Kids
  bool leftovers = false; // elements whose content is not in the output, and an empty one
};

std::string text_op(int size, int x, int y, const std::string& text) {
  return "BT /F1 " + std::to_string(size) + " Tf " + std::to_string(x) + " " + std::to_string(y) +
         " Td (" + text + ") Tj ET";
}

std::string marked(const std::string& tag, int mcid, const std::string& body) {
  return "/" + tag + " <</MCID " + std::to_string(mcid) + ">> BDC " + body + " EMC\n";
}

// Two pages. Page 1 (3): a heading of role /Heading (class /Bold, ID "intro"), a paragraph, a
// figure with alternate text, a link whose element holds its text and the link annotation (9),
// a paragraph drawn inside a form XObject (8). Page 2 (4): a table (a header cell with ID "cell",
// a data cell naming it in /Headers) and a paragraph. With `leftovers`: an element (27) holding
// nothing but a note (10), a section (29) whose paragraph (28) lies on a page that is not in the
// page tree (50), and a division (35) that holds nothing at all. Keys: page 1 0, page 2 1, the
// form 2, the link 3, the note 4.
std::string tagged_pdf(const tagging& t) {
  const std::string& l = t.label;
  fixtures::pdf_builder b;
  b.object(1, "<< /Type /Catalog /Pages 2 0 R /StructTreeRoot 20 0 R " + t.catalog_extra + ">>");
  b.object(2, "<< /Type /Pages /Kids [" + t.page_list + "] /Count 2 >>");
  const std::string res = "/Resources << /Font << /F1 5 0 R >> /XObject << /Fx 8 0 R >> >> ";
  b.object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 300] " + res +
                  "/Contents 6 0 R /StructParents 0 /Annots [9 0 R 10 0 R] >>");
  b.object(4, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 300] " + res +
                  "/Contents 7 0 R /StructParents 1 >>");
  b.object(5, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
  b.stream(6, "",
           marked("Heading", 0, text_op(14, 20, 260, l + " title")) +
               marked("P", 1, text_op(10, 20, 240, l + " first paragraph")) +
               marked("Figure", 2, "0 0 1 rg 20 180 40 40 re f") +
               marked("Link", 3, text_op(10, 20, 150, l + " link")) +
               "q 1 0 0 1 20 100 cm /Fx Do Q\n");
  b.stream(7, "",
           marked("TH", 0, text_op(10, 20, 260, l + " name")) +
               marked("TD", 1, text_op(10, 120, 260, l + " value")) +
               marked("P", 2, text_op(10, 20, 200, l + " last words")));
  b.stream(8,
           "/Type /XObject /Subtype /Form /BBox [0 0 200 40] /Resources << /Font << /F1 5 0 R "
           ">> >> /StructParents 2",
           marked("P", 0, text_op(10, 0, 10, l + " in a form")));
  b.object(9, "<< /Type /Annot /Subtype /Link /Rect [20 145 100 160] /Border [0 0 0] "
              "/Dest [4 0 R /Fit] /StructParent 3 >>");
  b.object(10, "<< /Type /Annot /Subtype /Text /Rect [200 200 220 220] /Contents (" + l +
                   " note) /StructParent 4 >>");
  b.object(20, "<< /Type /StructTreeRoot /K 21 0 R /ParentTree 40 0 R /ParentTreeNextKey 5 "
               "/RoleMap << /Heading " +
                   t.heading_role + " >> /ClassMap << /Bold << /O /Layout /FontWeight " + t.weight +
                   " >> >> /IDTree 41 0 R >>");
  b.object(21, "<< /Type /StructElem /S /Document /P 20 0 R /K [22 0 R 23 0 R 24 0 R 25 0 R "
               "26 0 R " +
                   std::string(t.leftovers ? "27 0 R 29 0 R " : "") + "30 0 R 34 0 R " +
                   (t.leftovers ? "35 0 R" : "") + "] >>");
  b.object(22, "<< /Type /StructElem /S /Heading /P 21 0 R /Pg 3 0 R /K 0 /ID (intro) "
               "/C /Bold >>");
  b.object(23, "<< /Type /StructElem /S /P /P 21 0 R /Pg 3 0 R /K 1 >>");
  b.object(24, "<< /Type /StructElem /S /Figure /P 21 0 R /Pg 3 0 R /K 2 /Alt (" + l +
                   " blue square) >>");
  b.object(25, "<< /Type /StructElem /S /Link /P 21 0 R /Pg 3 0 R /K [3 << /Type /OBJR "
               "/Obj 9 0 R >>] >>");
  b.object(26, "<< /Type /StructElem /S /P /P 21 0 R /K << /Type /MCR /Pg 3 0 R /Stm 8 0 R "
               "/MCID 0 >> >>");
  b.object(27, "<< /Type /StructElem /S /Annot /P 21 0 R /Pg 3 0 R /K << /Type /OBJR "
               "/Obj 10 0 R >> >>");
  b.object(28, "<< /Type /StructElem /S /P /P 29 0 R /Pg 50 0 R /K 0 >>");
  b.object(29, "<< /Type /StructElem /S /Sect /P 21 0 R /K [28 0 R] >>");
  b.object(30, "<< /Type /StructElem /S /Table /P 21 0 R /K 31 0 R >>");
  b.object(31, "<< /Type /StructElem /S /TR /P 30 0 R /K [32 0 R 33 0 R] >>");
  b.object(32, "<< /Type /StructElem /S /TH /P 31 0 R /Pg 4 0 R /K 0 /ID (cell) >>");
  b.object(33, "<< /Type /StructElem /S /TD /P 31 0 R /Pg 4 0 R /K 1 "
               "/A << /O /Table /Headers [(cell)] >> >>");
  b.object(34, "<< /Type /StructElem /S /P /P 21 0 R /Pg 4 0 R /K 2 >>");
  b.object(35, "<< /Type /StructElem /S /Div /P 21 0 R >>");
  b.object(40, "<< /Nums [0 [22 0 R 23 0 R 24 0 R 25 0 R] 1 [32 0 R 33 0 R 34 0 R] 2 [26 0 R] "
               "3 25 0 R 4 27 0 R] >>");
  b.object(41, "<< /Names [(cell) 32 0 R (intro) 22 0 R] >>");
  b.object(50, "<< /Type /Page /MediaBox [0 0 300 300] /Contents 51 0 R /StructParents 5 >>");
  b.stream(51, "", marked("P", 0, text_op(10, 20, 20, l + " gone")));
  b.xref_table().trailer("<< /Size 52 /Root 1 0 R >>");
  return b.startxref().str();
}

bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\r';
}

// A line of pdfinfo -struct-text without the element's ID: "  TYPE <ID> ..." becomes
// "  TYPE ...", the ID ending at the first '>' followed by ` "`, ` (` or the line's end. Parsed by
// hand: <regex> draws false uninitialised-use warnings from GCC 12 in the sanitizer build.
std::string without_id(const std::string& line) {
  size_t j = 0;
  while (j < line.size() && is_space(line[j])) ++j;
  const size_t type = j;
  while (j < line.size() && !is_space(line[j]) && line[j] != '"') ++j;
  if (j == type || line.compare(j, 2, " <") != 0) return line;
  for (size_t k = line.find('>', j + 2); k != std::string::npos; k = line.find('>', k + 1))
    if (k + 1 == line.size() || line.compare(k + 1, 2, " \"") == 0 ||
        line.compare(k + 1, 2, " (") == 0)
      return line.substr(0, j) + line.substr(k + 1);
  return line;
}

// "  Object N G" without its numbers.
std::string without_object_numbers(const std::string& line) {
  size_t j = 0;
  while (j < line.size() && is_space(line[j])) ++j;
  if (line.compare(j, 7, "Object ") != 0) return line;
  int numbers = 0;
  for (size_t k = j + 7; k <= line.size(); ++numbers) {
    const size_t start = k;
    while (k < line.size() && line[k] >= '0' && line[k] <= '9') ++k;
    if (k == start) return line;
    if (k == line.size()) return numbers == 1 ? line.substr(0, j) + "Object" : line;
    if (line[k++] != ' ') return line;
  }
  return line;
}

// pdfinfo -struct-text's lines without element IDs (a clashing one is renamed) and without the
// numbers of object references; empty when pdfinfo is absent or fails.
std::vector<std::string> struct_text(const std::string& path) {
  std::vector<std::string> lines;
  if (!merge_tools::have_tool("pdfinfo")) return lines;
  const merge_tools::command_result r =
      merge_tools::run("pdfinfo -struct-text " + merge_tools::quoted(path));
  if (r.status != 0) return lines;
  size_t at = 0;
  for (size_t nl; (nl = r.output.find('\n', at)) != std::string::npos; at = nl + 1) {
    const std::string line = without_object_numbers(without_id(r.output.substr(at, nl - at)));
    if (!line.empty() && !line.starts_with("Syntax Warning") && !line.starts_with("Syntax Error"))
      lines.push_back(line);
  }
  return lines;
}

std::vector<std::string> joined(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// What pdfinfo says of the tagged flag: "yes", "no", or "" without pdfinfo.
std::string tagged_flag(const std::string& path) {
  if (!merge_tools::have_tool("pdfinfo")) return {};
  const std::string out = merge_tools::run("pdfinfo " + merge_tools::quoted(path)).output;
  size_t at = out.find("Tagged:");
  if (at == std::string::npos) return "?";
  at += 7;
  const size_t value = out.find_first_not_of(" \t", at);
  if (value == std::string::npos || value == at) return "?";
  return out.substr(value, out.find_first_of(" \t\r\n", value) - value);
}

// The problems structure_check.py finds, one per line, then "problems: N"; empty without
// qpdf or python3.
std::string tree_problems(const std::string& path) {
  if (!merge_tools::have_tool("qpdf") || !merge_tools::have_tool("python3")) return {};
  return merge_tools::run("python3 " + merge_tools::quoted(PDFMERGE_STRUCTURE_CHECK) + " " +
                          merge_tools::quoted(path))
      .output;
}

// structure_check.py finds no problem in the file (nothing checked without qpdf or python3).
#define EXPECT_TREE_SOUND(path)                                                                    \
  do {                                                                                             \
    const std::string problems_ = tree_problems(path);                                             \
    if (!problems_.empty()) {                                                                      \
      EXPECT_NE(problems_.find("problems: 0\n"), std::string::npos) << problems_;                  \
    }                                                                                              \
  } while (0)

std::string merged(const std::vector<std::string>& inputs, const std::string& name, int options) {
  const std::string out = temp_path(name);
  EXPECT_EQ(merge_opt(inputs, out, options), 0) << pdfmerge_last_error();
  return out;
}

// The structure tree of the output as qpdf reads it: the root's role map, class map and ID tree,
// the /Lang of the catalog and of the top-level elements, and every element with an ID (its
// type, class and ID). Empty without qpdf or python3.
std::vector<std::string> tree_names(const std::string& path) {
  return keep_tools::qpdf_json_lines(
      path, "qpdf",
      "import json,sys\n"
      "q=json.load(sys.stdin)['qpdf'][1]\n"
      "def v(r):\n"
      "  o=q.get('obj:'+r) if isinstance(r,str) and r.endswith(' R') else None\n"
      "  if o is None: return r\n"
      "  return o['stream']['dict'] if 'stream' in o else o.get('value')\n"
      "def s(x): return x[2:] if isinstance(x,str) and x[:2] in ('u:','b:') else x\n"
      "cat=v(q['trailer']['value']['/Root'])\n"
      "print('catalog lang', s(cat.get('/Lang')))\n"
      "root=v(cat['/StructTreeRoot'])\n"
      "for k,x in sorted((v(root.get('/RoleMap')) or {}).items()): print('role',k,x)\n"
      "for k,x in sorted((v(root.get('/ClassMap')) or {}).items()):\n"
      "  print('class',k,v(x).get('/FontWeight'))\n"
      "ids=v(v(root['/IDTree'])['/Names']) if '/IDTree' in root else []\n"
      "print('ids',' '.join(s(ids[i]) for i in range(0,len(ids),2)))\n"
      "for i in range(0,len(ids),2):\n"
      "  e=v(ids[i+1]); print('id',s(ids[i]),e.get('/S'),e.get('/C'),s(e.get('/ID')))\n"
      "for k in root['/K']: print('top',v(k).get('/S'),s(v(k).get('/Lang')))\n");
}

std::vector<std::string> without(std::vector<std::string> lines, const std::string& text) {
  std::erase_if(lines, [&](const std::string& l) { return l.find(text) != std::string::npos; });
  return lines;
}

size_t count_of(const std::vector<std::string>& lines, const std::string& text) {
  return lines.size() - without(lines, text).size();
}

size_t occurrences(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// ---------------------------------------------------------------- reading order and names

TEST(MergeStructure, EveryInputsElementsFollowOneAnotherInReadingOrder) {
  const std::string a = write_temp("struct_a.pdf", tagged_pdf({"Alpha"}));
  const std::string b = write_temp("struct_b.pdf", tagged_pdf({"Beta", "/H2", "800"}));
  const std::vector<std::string> in_a = struct_text(a);
  if (in_a.empty()) GTEST_SKIP() << "pdfinfo is not installed";
  std::vector<std::string> in_b = struct_text(b);
  // /Heading is H1 in one input and H2 in the other; each keeps its own.
  ASSERT_EQ(count_of(in_a, "H1 (block)") + count_of(in_b, "H2 (block)"), 2u);
  // The second input's "cell" is renamed, in its table cell's /Headers too.
  for (std::string& line : in_b)
    if (line.find("/Headers [(cell)]") != std::string::npos) line.replace(line.find(")]"), 0, "_2");
  for (const int options : {structure, structure | annotations}) {
    SCOPED_TRACE("options " + std::to_string(options));
    const std::string out = merged({a, b}, "struct_ab.pdf", options);
    EXPECT_EQ(pdfmerge_page_count(out.c_str()), 4);
    std::vector<std::string> want = joined(in_a, in_b);
    // Without the annotations, the link element keeps its text but not the annotation.
    if (!(options & annotations)) want = without(want, "Object");
    EXPECT_EQ(struct_text(out), want);
    EXPECT_EQ(tagged_flag(out), "yes");
    EXPECT_TREE_SOUND(out);
    EXPECT_QPDF_ACCEPTS(out);
  }
}

TEST(MergeStructure, NamesThatTwoInputsGiveDifferentMeaningsAreRenamedInTheLaterOne) {
  const std::string a = write_temp("names_a.pdf", tagged_pdf({"Alpha"}));
  const std::string b = write_temp("names_b.pdf", tagged_pdf({"Beta", "/H2", "800"}));
  const std::string same = write_temp("names_same.pdf", tagged_pdf({"Gamma"}));
  const std::string out = merged({a, b, same}, "names_out.pdf", structure);
  const std::vector<std::string> got = tree_names(out);
  if (got.empty()) GTEST_SKIP() << "qpdf or python3 is not installed";
  // The third input maps /Heading and /Bold as the first does: it shares their entries. IDs
  // name one element each: both later inputs' are renamed.
  const std::vector<std::string> want = {
      "catalog lang en-GB",
      "role /Heading /H1",
      "role /Heading_2 /H2",
      "class /Bold 700",
      "class /Bold_2 800",
      "ids cell cell_2 cell_3 intro intro_2 intro_3",
      "id cell /TH None cell",
      "id cell_2 /TH None cell_2",
      "id cell_3 /TH None cell_3",
      "id intro /Heading /Bold intro",
      "id intro_2 /Heading_2 /Bold_2 intro_2",
      "id intro_3 /Heading /Bold intro_3",
      "top /Document None",
      "top /Document None",
      "top /Document None",
  };
  EXPECT_EQ(got, want);
  EXPECT_TREE_SOUND(out);
  EXPECT_QPDF_ACCEPTS(out);
}

TEST(MergeStructure, EachInputsLanguageStaysWithItsElements) {
  tagging de{"Beta"};
  de.catalog_extra = "/MarkInfo << /Marked true >> /Lang (de-DE) ";
  tagging none{"Gamma"};
  none.catalog_extra = "/MarkInfo << /Marked true >> ";
  const std::string out = merged(
      {write_temp("lang_a.pdf", tagged_pdf({"Alpha"})), write_temp("lang_b.pdf", tagged_pdf(de)),
       write_temp("lang_c.pdf", tagged_pdf(none)), write_temp("lang_d.pdf", tagged_pdf({"Delta"}))},
      "lang_out.pdf", structure);
  const std::vector<std::string> got = tree_names(out);
  if (got.empty()) GTEST_SKIP() << "qpdf or python3 is not installed";
  // The first input's language is the catalog's; one without a language gets the empty one
  // (unknown) rather than the first input's.
  EXPECT_EQ(got.front(), "catalog lang en-GB");
  const std::vector<std::string> top(got.end() - 4, got.end());
  EXPECT_EQ(top, (std::vector<std::string>{"top /Document None", "top /Document de-DE",
                                           "top /Document ", "top /Document None"}));
}

TEST(MergeStructure, EncryptedInputsKeepTheirStructureWithTheirStringsDecrypted) {
  if (!merge_tools::have_tool("qpdf")) GTEST_SKIP() << "qpdf is not installed";
  const std::string a = write_temp("crypt_a.pdf", tagged_pdf({"Alpha"}));
  const std::string b = write_temp("crypt_b.pdf", tagged_pdf({"Beta", "/H2", "800"}));
  for (const std::string method : {"128 --use-aes=n", "256"}) {
    SCOPED_TRACE(method);
    const std::string locked = temp_path("crypt_locked.pdf");
    ASSERT_EQ(merge_tools::run("qpdf --allow-weak-crypto --encrypt '' owner " + method + " -- " +
                               merge_tools::quoted(b) + " " + merge_tools::quoted(locked))
                  .status,
              0);
    const std::string out = merged({a, locked}, "crypt_out.pdf", structure | annotations);
    const std::string plain = merged({a, b}, "crypt_plain.pdf", structure | annotations);
    // The same tree as from the unencrypted file: the second input's IDs, read decrypted,
    // clash with the first's and are renamed.
    EXPECT_EQ(struct_text(out), struct_text(plain));
    const std::vector<std::string> names = tree_names(out);
    if (!names.empty()) {
      EXPECT_EQ(names, tree_names(plain));
    }
    // "Beta blue square", decrypted and written in hexadecimal.
    EXPECT_NE(read_file(out).find("/Alt <4265746120626c756520737175617265>"), std::string::npos);
    EXPECT_TREE_SOUND(out);
    EXPECT_QPDF_ACCEPTS(out);
  }
}

// ---------------------------------------------------------------- what is left behind

TEST(MergeStructure, ContentNotInTheOutputTakesItsElementsWithIt) {
  tagging t{"Alpha"};
  t.leftovers = true;
  const std::string a = write_temp("left_a.pdf", tagged_pdf(t));
  t.label = "Beta";
  const std::string b = write_temp("left_b.pdf", tagged_pdf(t));
  for (const int options : {structure, structure | annotations}) {
    SCOPED_TRACE("options " + std::to_string(options));
    const std::string out = merged({a, b}, "left_out.pdf", options);
    const std::string pdf = read_file(out);
    EXPECT_EQ(keep_tools::dangling_refs(pdf), std::vector<int>());
    // The paragraph on the page outside the page tree goes, and so does its section, which held
    // nothing else; the element of the note goes when the note does; the division that held
    // nothing in the input stays.
    EXPECT_EQ(occurrences(pdf, "/S /Sect"), 0u);
    EXPECT_EQ(occurrences(pdf, "gone"), 0u);
    EXPECT_EQ(occurrences(pdf, "/S /Div"), 2u);
    const size_t annots = options & annotations ? 2u : 0u;
    EXPECT_EQ(occurrences(pdf, "/S /Annot"), annots);
    const std::vector<std::string> text = struct_text(out);
    if (!text.empty()) {
      EXPECT_EQ(count_of(text, "Sect"), 0u);
      EXPECT_EQ(count_of(text, "Div"), 2u);
      EXPECT_EQ(count_of(text, "Annot"), annots);
    }
    EXPECT_TREE_SOUND(out);
    EXPECT_QPDF_ACCEPTS(out);
  }
}

TEST(MergeStructure, TaggedOnlyWhenEveryInputIsMarked) {
  const std::string a = write_temp("mark_a.pdf", tagged_pdf({"Alpha"}));
  tagging unmarked{"Beta"};
  unmarked.catalog_extra = "";
  const std::string b = write_temp("mark_b.pdf", tagged_pdf(unmarked));
  const std::string plain = write_temp("mark_plain.pdf", fixtures::labelled_pdf(2, "plain"));
  struct mark_case {
    std::vector<std::string> inputs;
    std::string tagged;
    bool tree;
  };
  const mark_case cases[] = {
      {{a, a}, "yes", true},
      {{a, b}, "no", true},
      {{plain, a}, "no", true},
      {{plain, plain}, "no", false},
  };
  for (const mark_case& c : cases) {
    const std::string out = merged(c.inputs, "mark_out.pdf", structure);
    const std::string catalog = object_text(read_file(out), 1);
    SCOPED_TRACE(catalog);
    EXPECT_EQ(catalog.find("/StructTreeRoot") != std::string::npos, c.tree);
    EXPECT_EQ(catalog.find("/MarkInfo") != std::string::npos, c.tagged == "yes");
    const std::string flag = tagged_flag(out);
    if (!flag.empty()) {
      EXPECT_EQ(flag, c.tagged);
    }
    if (c.tree) {
      EXPECT_TREE_SOUND(out);
    }
  }
  // An untagged input gives pages without structure: the tree is the tagged input's alone.
  const std::string out = merged({plain, a}, "mark_mixed.pdf", structure | annotations);
  EXPECT_EQ(struct_text(out), struct_text(a));
  const std::string pdf = read_file(out);
  EXPECT_EQ(value_of(object_text(pdf, 3), "StructParents"), "");
  EXPECT_EQ(value_of(object_text(pdf, 5), "StructParents"), "0");
}

TEST(MergeStructure, APageListedTwiceHoldsItsKeyAtItsFirstListingOnly) {
  tagging t{"Alpha"};
  t.page_list = "3 0 R 4 0 R 3 0 R";
  std::string bytes = tagged_pdf(t);
  bytes.replace(bytes.find("/Count 2"), 8, "/Count 3");
  const std::string in = write_temp("twice_in.pdf", bytes);
  const std::string out = merged({in, in}, "twice_out.pdf", structure | annotations);
  const std::string pdf = read_file(out);
  ASSERT_EQ(pdfmerge_page_count(out.c_str()), 6);
  // Output pages 3..8: each input's page 1, page 2, page 1 again.
  const std::vector<std::string> keys = {"0", "1", "", "4", "5", ""};
  for (int k = 0; k < 6; ++k)
    EXPECT_EQ(value_of(object_text(pdf, 3 + k), "StructParents"), keys[static_cast<size_t>(k)])
        << "page " << k + 1;
  EXPECT_TREE_SOUND(out);
  EXPECT_QPDF_ACCEPTS(out);
}

// ---------------------------------------------------------------- damaged trees

// A one-page tagged file whose root's kids are `kids` and which holds `objects` (from 20 on).
std::string small_tagged(const std::string& kids, const std::vector<std::string>& objects) {
  fixtures::pdf_builder b;
  b.object(1, "<< /Type /Catalog /Pages 2 0 R /StructTreeRoot 10 0 R /MarkInfo << /Marked true "
              ">> >>");
  b.object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  b.object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Resources << /Font << /F1 "
              "5 0 R >> >> /Contents 4 0 R /StructParents 0 >>");
  b.stream(4, "",
           marked("P", 0, text_op(10, 20, 150, "zero")) +
               marked("P", 1, text_op(10, 20, 100, "one")));
  b.object(5, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
  b.object(10, "<< /Type /StructTreeRoot /K " + kids + " >>");
  for (size_t k = 0; k < objects.size(); ++k) b.object(20 + static_cast<int>(k), objects[k]);
  b.xref_table().trailer("<< /Size " + std::to_string(20 + objects.size()) + " /Root 1 0 R >>");
  return b.startxref().str();
}

TEST(MergeStructure, DamagedTreesGiveASoundOne) {
  struct damaged {
    const char* what;
    std::string kids;
    std::vector<std::string> objects;
    size_t paragraphs; // P elements in the output, per input
    size_t problems;   // what structure_check finds, per input
  };
  const damaged cases[] = {
      {"an element lists its parent",
       "[20 0 R]",
       {"<< /S /Sect /P 10 0 R /K [21 0 R] >>", "<< /S /P /P 20 0 R /Pg 3 0 R /K [0 20 0 R] >>"},
       1,
       0},
      {"two parents list one element",
       "[20 0 R 21 0 R]",
       {"<< /S /Sect /K [22 0 R] >>", "<< /S /Div /K [22 0 R 23 0 R] >>",
        "<< /S /P /Pg 3 0 R /K 0 >>", "<< /S /P /Pg 3 0 R /K 1 >>"},
       2,
       0},
      {"an element lists the root, a page and the catalog",
       "[20 0 R]",
       {"<< /S /P /Pg 3 0 R /K [0 10 0 R 3 0 R 1 0 R] >>"},
       1,
       0},
      // The parent tree's array for the page stops short of it: that MCID has no parent there.
      {"an MCID far beyond the others",
       "[20 0 R 21 0 R]",
       {"<< /S /P /Pg 3 0 R /K 0 >>", "<< /S /P /Pg 3 0 R /K 2000000000 >>"},
       2,
       1},
      {"kids given as an array object, elements written inside their parent",
       "22 0 R",
       {"<< /S /P /Pg 3 0 R /K 0 >>", "<< /S /Div /K [<< /S /P /Pg 3 0 R /K 1 >>] >>",
        "[20 0 R 21 0 R]"},
       2,
       0},
      {"a kid that is no element, a /Pg that is no page",
       "[20 0 R 21 0 R]",
       {"<< /S /P /Pg 3 0 R /K [0 (text) [1] null] >>", "<< /S /P /Pg 5 0 R /K 1 >>"},
       1,
       0},
  };
  for (const damaged& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string in = write_temp("damaged_in.pdf", small_tagged(c.kids, c.objects));
    const std::string out = merged({in, in}, "damaged_out.pdf", structure);
    ASSERT_EQ(pdfmerge_page_count(out.c_str()), 2);
    const std::string pdf = read_file(out);
    EXPECT_EQ(keep_tools::dangling_refs(pdf), std::vector<int>());
    EXPECT_EQ(occurrences(pdf, "/S /P "), 2 * c.paragraphs);
    const std::string problems = tree_problems(out);
    if (!problems.empty()) {
      EXPECT_NE(problems.find("problems: " + std::to_string(2 * c.problems) + "\n"),
                std::string::npos)
          << problems;
    }
    EXPECT_QPDF_ACCEPTS(out);
  }
}

// ---------------------------------------------------------------- page ranges and writing

// pdfmerge_files_ex over lists, with a range (or null) per input.
std::string merged_ex(const std::vector<std::string>& inputs,
                      const std::vector<const char*>& ranges, const std::string& name,
                      int options) {
  const std::string out = temp_path(name);
  std::vector<const char*> paths;
  for (const std::string& p : inputs) paths.push_back(p.c_str());
  EXPECT_EQ(pdfmerge_files_ex(paths.data(), ranges.data(), nullptr, static_cast<int>(paths.size()),
                              out.c_str(), options),
            0)
      << pdfmerge_last_error();
  return out;
}

// The lines of an input's tree for its first page alone (`first`) or its second alone: the
// fixture's elements of page 2 begin with its table.
std::vector<std::string> page_lines(const std::vector<std::string>& all, bool first) {
  const auto table = std::find(all.begin(), all.end(), "  Table (block)");
  if (table == all.end()) return {};
  if (first) return {all.begin(), table};
  std::vector<std::string> out = {all.front()};
  out.insert(out.end(), table, all.end());
  return out;
}

TEST(MergeStructure, PageRangesKeepTheStructureOfThePagesTaken) {
  const std::string a = write_temp("range_a.pdf", tagged_pdf({"Alpha"}));
  const std::string b = write_temp("range_b.pdf", tagged_pdf({"Beta", "/H2", "800"}));
  const std::vector<std::string> in_a = struct_text(a);
  if (in_a.empty()) GTEST_SKIP() << "pdfinfo is not installed";
  const std::vector<std::string> in_b = struct_text(b);
  ASSERT_FALSE(page_lines(in_a, true).empty());
  struct range_case {
    const char* range_a;
    std::vector<std::string> want;
    std::vector<std::string> keys; // /StructParents of output pages 3.. ("" for none)
  };
  // Every case takes Beta's page 1 after Alpha's pages; with PDFMERGE_PAD_ODD a blank page
  // follows an odd number of Alpha's pages and holds no key.
  const range_case cases[] = {
      {"2", joined(page_lines(in_a, false), page_lines(in_b, true)), {"0", "", "1"}},
      {"1", joined(page_lines(in_a, true), page_lines(in_b, true)), {"0", "", "3"}},
      // Page 2 listed twice holds its key at its first listing only.
      {"2,1,2", joined(in_a, page_lines(in_b, true)), {"0", "1", "", "", "4"}},
  };
  for (const range_case& c : cases) {
    SCOPED_TRACE(std::string("range ") + c.range_a);
    const std::string out = merged_ex({a, b}, {c.range_a, "1"}, "range_out.pdf",
                                      structure | annotations | PDFMERGE_PAD_ODD);
    const std::string pdf = read_file(out);
    ASSERT_EQ(pdfmerge_page_count(out.c_str()), static_cast<int>(c.keys.size()));
    EXPECT_EQ(struct_text(out), c.want);
    for (size_t k = 0; k < c.keys.size(); ++k)
      EXPECT_EQ(value_of(object_text(pdf, 3 + static_cast<int>(k)), "StructParents"), c.keys[k])
          << "output page " << k + 1;
    // No element names the blank page, and nothing names a page or object not written.
    const std::string blank = std::to_string(3 + c.keys.size() - 2) + " 0 R";
    EXPECT_EQ(occurrences(pdf, "/Pg " + blank), 0u);
    EXPECT_EQ(keep_tools::dangling_refs(pdf), std::vector<int>());
    EXPECT_EQ(tagged_flag(out), "yes");
    EXPECT_TREE_SOUND(out);
    EXPECT_QPDF_ACCEPTS(out);
  }
}

// Shared objects and object streams hold the structure tree like any other objects: the same tree
// as without them, through page ranges and blank pages; the document information's language
// and the structure's are one /Lang.
TEST(MergeStructure, SharedObjectsAndObjectStreamsHoldTheSameTree) {
  const std::string a = write_temp("pack_a.pdf", tagged_pdf({"Alpha"}));
  const std::string b = write_temp("pack_b.pdf", tagged_pdf({"Beta", "/H2", "800"}));
  const int kept = structure | annotations | PDFMERGE_PAD_ODD | PDFMERGE_KEEP_DOC_INFO;
  for (const std::vector<const char*>& ranges :
       {std::vector<const char*>{nullptr, nullptr}, std::vector<const char*>{"2,1,2", "1"}}) {
    SCOPED_TRACE(ranges[0] ? "ranges" : "whole inputs");
    // The same input twice: with PDFMERGE_SHARE_RESOURCES the fonts are shared, never the
    // elements (each names its own pages).
    const std::string plain =
        merged_ex({a, b, a}, {ranges[0], ranges[1], ranges[0]}, "pack_plain.pdf", kept);
    const std::string catalog = object_text(read_file(plain), 1);
    EXPECT_EQ(occurrences(catalog, "/Lang "), 1u) << catalog;
    const std::vector<std::string> want = struct_text(plain);
    const std::vector<std::string> names = tree_names(plain);
    for (const int packing : {PDFMERGE_SHARE_RESOURCES, PDFMERGE_OBJECT_STREAMS,
                              PDFMERGE_SHARE_RESOURCES | PDFMERGE_OBJECT_STREAMS}) {
      SCOPED_TRACE("options " + std::to_string(kept | packing));
      const std::string out =
          merged_ex({a, b, a}, {ranges[0], ranges[1], ranges[0]}, "pack_out.pdf", kept | packing);
      EXPECT_EQ(pdfmerge_page_count(out.c_str()), pdfmerge_page_count(plain.c_str()));
      EXPECT_EQ(struct_text(out), want);
      EXPECT_EQ(tree_names(out), names);
      // Without pdfinfo (under wine) the flag is not read; the rest still holds.
      if (const std::string flag = tagged_flag(out); !flag.empty()) {
        EXPECT_EQ(flag, "yes");
      }
      EXPECT_TREE_SOUND(out);
      EXPECT_QPDF_ACCEPTS(out);
    }
  }
}

} // namespace
