#include "crafted_shapes.h"

#include "pdf_builder.h"

namespace fixtures {
namespace {

std::string repeat(const std::string& piece, int n) {
  std::string out;
  out.reserve(piece.size() * static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) out += piece;
  return out;
}

std::string numbers(int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += std::to_string(i % 1000) + " ";
  return out;
}

std::string ref(int num) {
  return std::to_string(num) + " 0 R";
}

// Catalog 1 (with `catalog_extra`), page tree 2 and one page 3 whose dictionary holds
// `page_extra`, then the caller's objects from 4 on.
pdf_builder one_page(const std::string& catalog_extra, const std::string& page_extra) {
  pdf_builder b;
  b.object(1, "<< /Type /Catalog /Pages 2 0 R " + catalog_extra + ">>");
  b.object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  b.object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] " + page_extra + ">>");
  return b;
}

std::string finish(pdf_builder& b, int size) {
  b.xref_table().trailer("<< /Size " + std::to_string(size) + " /Root 1 0 R >>");
  return b.startxref().str();
}

std::string shared_goto_action(int n) {
  std::string links;
  for (int i = 0; i < n; ++i) links += ref(5 + i) + " ";
  pdf_builder b = one_page("", "/Annots [" + links + "] ");
  b.object(4, "<< /S /GoTo /D [3 0 R /XYZ " + numbers(n) + "] >>");
  for (int i = 0; i < n; ++i)
    b.object(5 + i, "<< /Type /Annot /Subtype /Link /Rect [0 0 10 10] /A 4 0 R >>");
  return finish(b, 5 + n);
}

std::string big_dict_many_refs(int n) {
  pdf_builder b = one_page("", "/Annots [4 0 R] ");
  b.object(4, "<< /Type /Annot /Subtype /Square /Rect [0 0 10 10] /Extra [" + repeat("5 0 R ", n) +
                  "] >>");
  std::string big = "<<";
  for (int i = 0; i < n; ++i) big += " /K" + std::to_string(i) + " " + std::to_string(i);
  b.object(5, big + " >>");
  return finish(b, 6);
}

std::string field_listed_many_times(int n) {
  pdf_builder b = one_page("/AcroForm << /Fields [" + repeat("4 0 R ", n) + "] >> ", "");
  std::string kids;
  for (int i = 0; i < n; ++i) kids += ref(5 + i) + " ";
  b.object(4, "<< /FT /Tx /T (f) /Kids [" + kids + "] >>");
  for (int i = 0; i < n; ++i)
    b.object(5 + i, "<< /T (k" + std::to_string(i) + ") /Parent 4 0 R >>");
  return finish(b, 5 + n);
}

std::string repeated_font_key(int n) {
  pdf_builder b = one_page(
      "/AcroForm << /Fields [] /DR << /Font << " + repeat("/Helv 4 0 R ", n) + ">> >> >> ", "");
  b.object(4, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
  return finish(b, 5);
}

std::string fields_of_one_name(int n) {
  std::string fields;
  for (int i = 0; i < n; ++i) fields += ref(4 + i) + " ";
  pdf_builder b = one_page("/AcroForm << /Fields [" + fields + "] >> ", "");
  // Half the fields are named x, the others x_2, x_3, ...: the names a renamed x would take.
  for (int i = 0; i < n; ++i) {
    const std::string name = i % 2 == 0 ? "x" : "x_" + std::to_string(2 + i / 2);
    b.object(4 + i, "<< /FT /Tx /T (" + name + ") /V (" + std::to_string(i) + ") >>");
  }
  return finish(b, 4 + n);
}

// Bookmarks 6.. in one chain under the outline root 5, each with `item_extra`.
void bookmark_chain(pdf_builder& b, int n, const std::string& item_extra) {
  b.object(5, "<< /Type /Outlines /First 6 0 R /Last " + ref(5 + n) + " /Count " +
                  std::to_string(n) + " >>");
  for (int i = 0; i < n; ++i) {
    std::string item = "<< /Parent 5 0 R " + item_extra;
    if (i > 0) item += " /Prev " + ref(5 + i);
    if (i + 1 < n) item += " /Next " + ref(7 + i);
    b.object(6 + i, item + " >>");
  }
}

std::string long_dest_many_bookmarks(int n) {
  pdf_builder b = one_page("/Outlines 5 0 R ", "");
  b.object(4, "[3 0 R /XYZ " + numbers(n) + "]");
  bookmark_chain(b, n, "/Title (b) /Dest 4 0 R");
  return finish(b, 6 + n);
}

std::string long_named_dest_many_bookmarks(int n) {
  pdf_builder b = one_page("/Outlines 5 0 R /Dests << /far 4 0 R >> ", "");
  b.object(4, "<< /D [3 0 R /XYZ " + numbers(n) + "] >>");
  bookmark_chain(b, n, "/Title (b) /Dest /far");
  return finish(b, 6 + n);
}

std::string long_title_many_bookmarks(int n) {
  pdf_builder b = one_page("/Outlines 5 0 R ", "");
  b.object(4, "(" + std::string(static_cast<size_t>(n) * 4, 't') + ")");
  bookmark_chain(b, n, "/Title 4 0 R /Dest [3 0 R /Fit]");
  return finish(b, 6 + n);
}

std::string annots_shared_by_pages(int n) {
  pdf_builder b;
  std::string kids;
  for (int i = 0; i < n; ++i) kids += ref(5 + i) + " ";
  b.object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.object(2, "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(n) + " >>");
  std::string annots;
  for (int i = 0; i < n; ++i) annots += ref(5 + n + i) + " ";
  b.object(4, "[" + annots + "]");
  for (int i = 0; i < n; ++i)
    b.object(5 + i, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Annots 4 0 R >>");
  for (int i = 0; i < n; ++i)
    b.object(5 + n + i, "<< /Type /Annot /Subtype /Square /Rect [0 0 10 10] /P 5 0 R >>");
  return finish(b, 5 + 2 * n);
}

// A tagged page 3 (its /StructParents 0) under catalog 1, with the structure root 4 whose
// /K and further entries are `root_entries`; `page_extra` is added to the page.
pdf_builder tagged_page(const std::string& root_entries, const std::string& page_extra) {
  pdf_builder b = one_page("/StructTreeRoot 4 0 R /MarkInfo << /Marked true >> ",
                           "/StructParents 0 " + page_extra);
  b.object(4, "<< /Type /StructTreeRoot " + root_entries + " >>");
  return b;
}

std::string deep_structure_tree(int n) {
  pdf_builder b = tagged_page("/K 5 0 R", "");
  for (int i = 0; i < n; ++i) {
    const std::string parent = i == 0 ? ref(4) : ref(4 + i);
    const std::string next = i + 1 < n ? " " + ref(6 + i) : "";
    b.object(5 + i,
             "<< /S /Sect /P " + parent + " /Pg 3 0 R /K [" + std::to_string(i) + next + "] >>");
  }
  return finish(b, 5 + n);
}

std::string wide_structure_tree(int n) {
  // Elements 7.. each hold MCID i and an object reference to link annotation 7 + n + i; their
  // IDs are x and the names a renamed x would take; all share the attributes of object 5 and a
  // long role map.
  std::string kids;
  std::string links;
  std::string roles;
  for (int i = 0; i < n; ++i) {
    kids += ref(7 + i) + " ";
    links += ref(7 + n + i) + " ";
    roles += "/R" + std::to_string(i) + " /P ";
  }
  pdf_builder b = tagged_page("/K 6 0 R /RoleMap << " + roles + ">>", "/Annots [" + links + "] ");
  b.object(5, "<< /O /Layout /Extra [" + numbers(n) + "] >>");
  b.object(6, "<< /S /Document /P 4 0 R /K [" + kids + "] >>");
  for (int i = 0; i < n; ++i) {
    const std::string id = i % 2 == 0 ? "x" : "x_" + std::to_string(2 + i / 2);
    b.object(7 + i, "<< /S /R" + std::to_string(i) + " /P 6 0 R /Pg 3 0 R /A 5 0 R /ID (" + id +
                        ") /K [" + std::to_string(i) + " << /Type /OBJR /Obj " + ref(7 + n + i) +
                        " >>] >>");
  }
  for (int i = 0; i < n; ++i)
    b.object(7 + n + i, "<< /Type /Annot /Subtype /Link /Rect [0 0 10 10] /StructParent " +
                            std::to_string(i + 1) + " >>");
  return finish(b, 7 + 2 * n);
}

std::string far_apart_mcids(int n) {
  std::string kids;
  for (int i = 0; i < n; ++i) kids += ref(5 + i) + " ";
  pdf_builder b = tagged_page("/K [" + kids + "]", "");
  for (int i = 0; i < n; ++i)
    b.object(5 + i, "<< /S /P /P 4 0 R /Pg 3 0 R /K " + std::to_string(i * 1000000) + " >>");
  return finish(b, 5 + n);
}

} // namespace

const std::vector<crafted_shape>& crafted_shapes() {
  static const std::vector<crafted_shape> shapes = {
      {"shared-goto-action", "links sharing one GoTo action with a long destination",
       shared_goto_action, 1, false},
      {"big-dict-many-refs", "many references to one big dictionary in a kept annotation",
       big_dict_many_refs, 1, false},
      {"field-listed-many-times", "one field listed many times in /Fields, with wide /Kids",
       field_listed_many_times, 1, false},
      {"repeated-font-key", "one font key repeated in the form's /DR, merged with itself",
       repeated_font_key, 1, true},
      {"fields-of-one-name",
       "many fields of one name (and of the names its renaming would take), "
       "merged with itself",
       fields_of_one_name, 1, true},
      {"long-dest-many-bookmarks", "one long destination array used by many bookmarks",
       long_dest_many_bookmarks, 2, false},
      {"long-named-dest-many-bookmarks", "one long named destination used by many bookmarks",
       long_named_dest_many_bookmarks, 2, false},
      {"long-title-many-bookmarks", "one long indirect /Title used by many bookmarks",
       long_title_many_bookmarks, 2, false},
      {"annots-shared-by-pages", "one /Annots array shared by many pages", annots_shared_by_pages,
       1, false},
      {"deep-structure-tree", "a chain of nested structure elements, merged with itself",
       deep_structure_tree, 512, true},
      {"wide-structure-tree",
       "many elements sharing attributes, with object references, clashing IDs and a long role "
       "map, merged with itself",
       wide_structure_tree, 513, true},
      {"far-apart-mcids", "marked-content ids a million apart on one page", far_apart_mcids, 512,
       false},
  };
  return shapes;
}

} // namespace fixtures
