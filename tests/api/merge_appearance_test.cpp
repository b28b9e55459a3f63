// Merged pages look as their inputs do: the page size a viewer assumes when a page has no usable
// box, and optional content (layers) kept in its default state. Checked against pdfinfo's boxes
// and pdftoppm's renderings of the inputs.
#include "kq_out_pdfmerge.h"
#include "merge_tools.h"
#include "pdf_builder.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

using fixtures::read_file;
using fixtures::temp_path;
using fixtures::write_temp;

std::string merged(const std::string& name, const std::vector<std::string>& inputs) {
  std::vector<const char*> paths;
  for (const std::string& p : inputs) paths.push_back(p.c_str());
  const std::string out = temp_path(name + "_out.pdf");
  EXPECT_EQ(pdfmerge_files(paths.data(), static_cast<int>(paths.size()), out.c_str()), 0)
      << pdfmerge_last_error();
  return out;
}

// "Page N MediaBox: ..." and "Page N CropBox: ..." lines of pdfinfo -box, by page and box.
std::map<std::string, std::string> pdfinfo_boxes(const std::string& path, int pages) {
  std::map<std::string, std::string> boxes;
  const merge_tools::command_result r = merge_tools::run(
      "pdfinfo -box -f 1 -l " + std::to_string(pages) + " " + merge_tools::quoted(path));
  std::istringstream lines(r.output);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    std::string page_word, page, box, x0, y0, x1, y1;
    if (words >> page_word >> page >> box >> x0 >> y0 >> x1 >> y1 && page_word == "Page" &&
        (box == "MediaBox:" || box == "CropBox:"))
      boxes[page + " " + box] = x0 + " " + y0 + " " + x1 + " " + y1;
  }
  return boxes;
}

// ---------------------------------------------------------------- page boxes

struct box_case {
  std::string name;
  std::string page_entries; // of page 4, whose parent is node 3 under the root node 2
  std::string parent_entries;
  std::string root_entries;
  std::string media_box; // as written in the merged page object
};

std::string boxes_input(const box_case& c) {
  fixtures::pdf_builder b;
  b.object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 " + c.root_entries + " >>");
  b.object(3, "<< /Type /Pages /Parent 2 0 R /Kids [4 0 R] /Count 1 " + c.parent_entries + " >>");
  b.object(4, "<< /Type /Page /Parent 3 0 R /Contents 5 0 R " + c.page_entries + " >>");
  b.stream(5, "", "0 0 50 50 re f");
  b.object(6, "[0 0 300 400]");
  b.xref_table().trailer("<< /Size 7 /Root 1 0 R >>");
  return b.startxref().str();
}

// Each page comes out with the MediaBox and CropBox that pdfinfo reports for the input page.
TEST(MergeAppearance, PageBoxesAsViewersShowThem) {
  const std::vector<box_case> cases = {
      {"no box anywhere", "", "", "", "[0 0 612 792]"},
      {"an empty box", "/MediaBox [0 0 0 0]", "", "", "[0 0 612 792]"},
      {"a box of three numbers", "/MediaBox [0 0 612]", "", "", "[0 0 612 792]"},
      {"a box naming a missing object", "/MediaBox 9 0 R", "", "", "[0 0 612 792]"},
      {"no box, with a CropBox", "/CropBox [10 10 200 200]", "", "", "[0 0 612 792]"},
      {"inherited from the parent", "", "/MediaBox [0 0 300 400]", "", "[0 0 300 400]"},
      {"inherited from the root", "", "", "/MediaBox [0 0 420 595.5]", "[0 0 420 595.5000]"},
      {"unusable own box, usable inherited one", "/MediaBox [0 0 0 0]", "",
       "/MediaBox [0 0 500 500]", "[0 0 500 500]"},
      {"indirect box", "/MediaBox 6 0 R", "", "", "[0 0 300 400]"},
      {"swapped corners", "/MediaBox [0 400 300 0]", "", "", "[0 0 300 400]"},
  };
  const bool have_pdfinfo = merge_tools::have_tool("pdfinfo");
  for (const box_case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string in = write_temp("boxes_in.pdf", boxes_input(c));
    const std::string out = merged("boxes", {in});
    const std::string page = merge_tools::object_text(read_file(out), 3);
    EXPECT_NE(page.find("/MediaBox " + c.media_box), std::string::npos) << page;
    if (have_pdfinfo) {
      const auto want = pdfinfo_boxes(in, 1);
      EXPECT_EQ(want.size(), 2u);
      EXPECT_EQ(pdfinfo_boxes(out, 1), want);
    }
    EXPECT_QPDF_ACCEPTS(out);
  }
}

// ---------------------------------------------------------------- optional content

// A page 200 x 100 whose left square is drawn in layer /L1 (group 5) and whose right square in
// layer /L2 (group 6), with the catalog's /OCProperties given.
std::string layered_input(const std::string& properties, const std::string& names = "A") {
  fixtures::pdf_builder b;
  b.object(1, "<< /Type /Catalog /Pages 2 0 R /OCProperties " + properties + " >>");
  b.object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  b.object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 100] /Contents 4 0 R "
              "/Resources << /Properties << /L1 5 0 R /L2 6 0 R >> >> >>");
  b.stream(4, "", "/OC /L1 BDC 0 0 100 100 re f EMC /OC /L2 BDC 100 0 100 100 re f EMC");
  b.object(5, "<< /Type /OCG /Name (" + names + "1) >>");
  b.object(6, "<< /Type /OCG /Name (" + names + "2) >>");
  b.xref_table().trailer("<< /Size 7 /Root 1 0 R >>");
  return b.startxref().str();
}

struct grey_image {
  int width = 0;
  int height = 0;
  std::string pixels;
};

// Page `page` of the file rendered in grey at 36 dpi; empty when it cannot be rendered.
grey_image rendered(const std::string& pdf, int page) {
  const std::string prefix = temp_path("render");
  const std::string p = std::to_string(page);
  merge_tools::run("pdftoppm -gray -r 36 -singlefile -f " + p + " -l " + p + " " +
                   merge_tools::quoted(pdf) + " " + merge_tools::quoted(prefix));
  const std::string data = read_file(prefix + ".pgm");
  std::remove((prefix + ".pgm").c_str());
  grey_image img;
  std::istringstream head(data);
  std::string magic;
  int maxval = 0;
  if (!(head >> magic >> img.width >> img.height >> maxval) || magic != "P5" || maxval != 255)
    return {};
  const auto at = static_cast<size_t>(head.tellg()) + 1; // one white-space byte ends the header
  img.pixels = data.substr(at);
  if (img.pixels.size() != static_cast<size_t>(img.width) * static_cast<size_t>(img.height))
    return {};
  return img;
}

// The mean grey level of the left or right half of an image.
double half_mean(const grey_image& img, bool right) {
  double sum = 0;
  int n = 0;
  for (int y = 0; y < img.height; ++y)
    for (int x = right ? img.width / 2 : 0; x < (right ? img.width : img.width / 2); ++x) {
      sum += static_cast<unsigned char>(img.pixels[static_cast<size_t>(y * img.width + x)]);
      ++n;
    }
  return n ? sum / n : -1;
}

// The numbers of the references "N 0 R" in text, in order.
std::vector<int> refs_in(const std::string& text) {
  std::vector<int> nums;
  for (size_t at = text.find(" 0 R"); at != std::string::npos; at = text.find(" 0 R", at + 1)) {
    size_t start = at;
    while (start > 0 && text[start - 1] >= '0' && text[start - 1] <= '9') --start;
    if (start < at) nums.push_back(std::stoi(text.substr(start, at - start)));
  }
  return nums;
}

// The text of a group's /Name string, or "?".
std::string group_name(const std::string& pdf, int num) {
  const std::string group = merge_tools::object_text(pdf, num);
  const size_t at = group.find("/Name (");
  const size_t end = at == std::string::npos ? at : group.find(')', at);
  return end == std::string::npos ? "?" : group.substr(at + 7, end - at - 7);
}

// Every reference in the catalog names an object that the file holds.
void expect_catalog_refs_resolve(const std::string& pdf) {
  const std::string catalog = merge_tools::object_text(pdf, 1);
  const std::vector<std::string> table = merge_tools::xref_lines(pdf);
  for (const int num : refs_in(catalog)) {
    const auto n = static_cast<size_t>(num);
    ASSERT_GE(n, 1u);
    ASSERT_LT(n, table.size() + 1) << catalog;
    EXPECT_EQ(table[n - 1].substr(11, 7), "00000 n") << n << " in " << catalog;
  }
}

struct layer_case {
  std::string name;
  std::string properties;
  bool left_drawn;  // group 5
  bool right_drawn; // group 6
  bool renders_as_input = true;
};

// The layers a viewer shows by default are the input's: rendered, the merged page equals the
// input page, and the layers off in the input are not drawn.
TEST(MergeAppearance, LayersKeepTheirDefaultVisibility) {
  const std::vector<layer_case> cases = {
      {"a group off by default", "<< /OCGs [5 0 R 6 0 R] /D << /OFF [5 0 R] >> >>", false, true},
      {"base state off, one group on",
       "<< /OCGs [5 0 R 6 0 R] /D << /BaseState /OFF /ON [6 0 R] >> >>", false, true},
      {"base state off, no group on", "<< /OCGs [5 0 R 6 0 R] /D << /BaseState /OFF >> >>", false,
       false},
      {"all on", "<< /OCGs [5 0 R 6 0 R] /D << /Order [6 0 R 5 0 R] >> >>", true, true},
      {"dangling references",
       "<< /OCGs [5 0 R 6 0 R 40 0 R] /D << /OFF [41 0 R 6 0 R] /Order [42 0 R [5 0 R 43 0 R]] "
       "/Locked [44 0 R] >> >>",
       true, false,
       // Poppler drops the settings of the input, which names missing groups, and draws every
       // layer; the merged file names none, so the input's /OFF holds.
       false},
  };
  const bool can_render = merge_tools::have_tool("pdftoppm");
  for (const layer_case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string in = write_temp("layers_in.pdf", layered_input(c.properties));
    const std::string out = merged("layers", {in});
    const std::string pdf = read_file(out);
    expect_catalog_refs_resolve(pdf);
    EXPECT_EQ(pdf.find("40 0 R"), std::string::npos); // no output object has that number
    if (can_render) {
      const grey_image want = rendered(in, 1);
      const grey_image got = rendered(out, 1);
      ASSERT_GT(want.width, 0);
      EXPECT_EQ(got.width, want.width);
      EXPECT_EQ(got.height, want.height);
      if (c.renders_as_input) {
        EXPECT_TRUE(got.pixels == want.pixels);
      }
      EXPECT_EQ(half_mean(got, false) < 128, c.left_drawn) << half_mean(got, false);
      EXPECT_EQ(half_mean(got, true) < 128, c.right_drawn) << half_mean(got, true);
    }
    EXPECT_QPDF_ACCEPTS(out);
  }
}

// The names of the groups that an array of the catalog lists, in order; a nested array's in
// brackets.
std::string listed_names(const std::string& pdf, const std::string& key) {
  const std::string catalog = merge_tools::object_text(pdf, 1);
  const size_t at = catalog.find("/" + key + " [");
  if (at == std::string::npos) return "none";
  std::string names;
  int depth = 0;
  for (size_t i = catalog.find('[', at); i < catalog.size(); ++i) {
    const char c = catalog[i];
    if (c == '[' && depth++ > 0) names += "[";
    if (c == ']' && --depth == 0) break;
    if (c == ']') names += "]";
    if (c >= '0' && c <= '9') {
      char* rest = nullptr;
      const long n = std::strtol(catalog.c_str() + i, &rest, 10);
      names += group_name(pdf, static_cast<int>(n)) + " ";
      i = static_cast<size_t>(rest - catalog.c_str()) + 3; // the R of " 0 R"
    }
  }
  return names;
}

// Two inputs with the same object numbers, and the same input twice: each input's groups are
// its own, listed in input order, with each input's settings.
TEST(MergeAppearance, LayersOfSeveralInputs) {
  const std::string a = write_temp(
      "layers_a.pdf", layered_input("<< /OCGs [5 0 R 6 0 R] /D << /OFF [5 0 R] /Order [6 0 R 5 0 "
                                    "R] /ListMode /VisiblePages >> >>",
                                    "A"));
  const std::string b = write_temp(
      "layers_b.pdf",
      layered_input("<< /OCGs [6 0 R 5 0 R] /D << /BaseState /OFF /ON [5 0 R] /Order [(Bs) [5 0 "
                    "R 6 0 R]] /RBGroups [[5 0 R 6 0 R]] /ListMode /AllPages >> >>",
                    "B"));
  const std::string out = merged("layers_ab", {a, b, a});
  const std::string pdf = read_file(out);
  EXPECT_EQ(listed_names(pdf, "OCGs"), "A1 A2 B2 B1 A1 A2 ");
  EXPECT_EQ(listed_names(pdf, "OFF"), "A1 B2 A1 ");
  EXPECT_EQ(listed_names(pdf, "Order"), "A2 A1 [B1 B2 ]A2 A1 ");
  EXPECT_EQ(listed_names(pdf, "RBGroups"), "[B1 B2 ]");
  EXPECT_NE(merge_tools::object_text(pdf, 1).find("/ListMode /VisiblePages >>"), std::string::npos);
  // Each group object is written once per input, and the first page uses the copies listed.
  const auto count = [&](const std::string& text) {
    size_t n = 0;
    for (size_t at = pdf.find(text); at != std::string::npos; at = pdf.find(text, at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(count("/Name (A1)"), 2u);
  EXPECT_EQ(count("/Name (B1)"), 1u);
  const std::string catalog = merge_tools::object_text(pdf, 1);
  const std::vector<int> groups = refs_in(catalog.substr(catalog.find("/OCGs [")));
  ASSERT_GE(groups.size(), 2u);
  EXPECT_NE(merge_tools::object_text(pdf, 3).find("/L1 " + std::to_string(groups[0]) + " 0 R /L2 " +
                                                  std::to_string(groups[1]) + " 0 R"),
            std::string::npos);
  expect_catalog_refs_resolve(pdf);
  if (merge_tools::have_tool("pdftoppm")) {
    const struct {
      std::string input;
      bool left_drawn, right_drawn;
    } pages[] = {{a, false, true}, {b, true, false}, {a, false, true}};
    for (int page = 1; page <= 3; ++page) {
      SCOPED_TRACE(page);
      const auto& want = pages[page - 1];
      const grey_image img = rendered(out, page);
      ASSERT_GT(img.width, 0);
      EXPECT_TRUE(img.pixels == rendered(want.input, 1).pixels);
      EXPECT_EQ(half_mean(img, false) < 128, want.left_drawn);
      EXPECT_EQ(half_mean(img, true) < 128, want.right_drawn);
    }
  }
  EXPECT_QPDF_ACCEPTS(out);
}

} // namespace
