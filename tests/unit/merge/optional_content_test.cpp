// The merged catalog's /OCProperties: the inputs' groups and default settings combined in input
// order, renumbered through the plan, with references to missing objects dropped.
#include "doc_fixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace pdfmerge;

namespace {

using testdoc::obj;

std::string catalog(const std::string& entries) {
  return obj(1, "<< /Type /Catalog /Pages 2 0 R " + entries + " >>");
}

std::string group(int num, const std::string& name) {
  return obj(num, "<< /Type /OCG /Name (" + name + ") >>");
}

// One input: catalog 1, one page 3 with the given resources, and further objects.
doc input(const std::string& catalog_entries, const std::string& resources,
          std::vector<std::string> more) {
  more.push_back(catalog(catalog_entries));
  more.push_back(obj(3, "<< /Type /Page /Parent 2 0 R " + resources + " >>"));
  doc d = testdoc::make_doc(more);
  d.catalog_num = 1;
  d.pages.push_back({3, 0});
  return d;
}

// The catalog entry written for the inputs after the plan numbered their copies.
std::string entry_of(std::vector<doc> docs) {
  std::vector<merge_input> inputs(docs.size());
  for (size_t k = 0; k < docs.size(); ++k) inputs[k].d = std::move(docs[k]);
  EXPECT_GT(merge_plan(inputs, static_cast<int32_t>(inputs.size())), 0);
  return optional_content_entry(inputs);
}

struct oc_case {
  std::string name;
  std::vector<std::vector<std::string>> inputs; // per input: catalog entries, then objects
  std::string expected;                         // the entry after " /OCProperties "
};

std::vector<std::string> with(std::string entries, std::vector<std::string> objects) {
  objects.insert(objects.begin(), std::move(entries));
  return objects;
}

// One page per input and no resources, so that the copies are numbered from 2T+3 in the order
// the settings name them.
TEST(OptionalContent, Cases) {
  const std::vector<oc_case> cases = {
      {"a group off by default",
       {with("/OCProperties << /OCGs [5 0 R 6 0 R] /D << /OFF [6 0 R] /Order [5 0 R 6 0 R] >> >>",
             {group(5, "A"), group(6, "B")})},
       "<< /OCGs [5 0 R 6 0 R] /D << /BaseState /ON /OFF [6 0 R] /Order [5 0 R 6 0 R] >> >>"},
      {"base state off: every group not on",
       {with("/OCProperties << /OCGs [5 0 R 6 0 R 7 0 R] /D << /BaseState /OFF /ON [6 0 R] >> >>",
             {group(5, "A"), group(6, "B"), group(7, "C")})},
       "<< /OCGs [5 0 R 6 0 R 7 0 R] /D << /BaseState /ON /OFF [5 0 R 7 0 R] >> >>"},
      {"base state off with /OFF and /ON: /ON decides",
       {with("/OCProperties << /OCGs [5 0 R 6 0 R] /D << /BaseState /OFF /ON [5 0 R] /OFF [5 0 "
             "R] >> >>",
             {group(5, "A"), group(6, "B")})},
       "<< /OCGs [5 0 R 6 0 R] /D << /BaseState /ON /OFF [6 0 R] >> >>"},
      {"base state on: /ON adds nothing",
       {with("/OCProperties << /OCGs [5 0 R] /D << /BaseState /ON /ON [5 0 R] >> >>",
             {group(5, "A")})},
       "<< /OCGs [5 0 R] /D << /BaseState /ON >> >>"},
      {"base state unchanged counts as on",
       {with("/OCProperties << /OCGs [5 0 R 6 0 R] /D << /BaseState /Unchanged /OFF [5 0 R] >> "
             ">>",
             {group(5, "A"), group(6, "B")})},
       "<< /OCGs [5 0 R 6 0 R] /D << /BaseState /ON /OFF [5 0 R] >> >>"},
      {"two inputs with the same numbers: each renumbered, in input order",
       {with("/OCProperties << /OCGs [5 0 R 6 0 R] /D << /OFF [5 0 R] /Order [6 0 R 5 0 R] >> >>",
             {group(5, "A1"), group(6, "A2")}),
        with("/OCProperties << /OCGs [6 0 R 5 0 R] /D << /OFF [6 0 R] /Order [5 0 R [(Sub) 6 0 "
             "R]] >> >>",
             {group(5, "B1"), group(6, "B2")})},
       "<< /OCGs [7 0 R 8 0 R 9 0 R 10 0 R] /D << /BaseState /ON /OFF [7 0 R 9 0 R] /Order [8 0 "
       "R 7 0 R 10 0 R [(Sub) 9 0 R]] >> >>"},
      {"an input without optional content adds nothing",
       {with("", {group(5, "unlisted")}),
        with("/OCProperties << /OCGs [5 0 R] /D << /OFF [5 0 R] >> >>", {group(5, "A")})},
       "<< /OCGs [7 0 R] /D << /BaseState /ON /OFF [7 0 R] >> >>"},
      {"lists concatenated; intent and list mode from the first input that has them",
       {with("/OCProperties << /OCGs [5 0 R 6 0 R] /D << /RBGroups [[5 0 R 6 0 R]] /Locked [5 0 "
             "R] /ListMode /VisiblePages >> >>",
             {group(5, "A"), group(6, "B")}),
        with("/OCProperties << /OCGs [5 0 R] /D << /RBGroups [[5 0 R]] /Intent [/View /Design] "
             "/ListMode /AllPages /AS [<< /Event /Print /OCGs [5 0 R] /Category [/Print] >>] >> "
             ">>",
             {group(5, "C")}),
        with("/OCProperties << /OCGs [5 0 R] /D << /Intent /Design >> >>", {group(5, "D")})},
       "<< /OCGs [9 0 R 10 0 R 11 0 R 12 0 R] /D << /BaseState /ON /RBGroups [[9 0 R 10 0 R] "
       "[11 0 R]] /Locked [9 0 R] /AS [<< /Event /Print /OCGs [11 0 R] /Category [/Print] >>] "
       "/Intent "
       "[/View /Design] /ListMode /VisiblePages >> >>"},
      {"alternate configurations and other entries left behind",
       {with("/OCProperties << /OCGs [5 0 R] /D << /Name (Default) /Creator (x) /OFF [5 0 R] >> "
             "/Configs [<< /Name (Alt) /OFF [] >>] /Extra 6 0 R >>",
             {group(5, "A"), obj(6, "<< /Big true >>")})},
       "<< /OCGs [5 0 R] /D << /BaseState /ON /OFF [5 0 R] >> >>"},
      {"dangling references dropped everywhere",
       {with("/OCProperties << /OCGs [5 0 R 40 0 R] /D << /OFF [41 0 R 5 0 R] /Order [42 0 R "
             "(Label) [43 0 R 5 0 R]] /RBGroups [[44 0 R]] /Locked [45 0 R] /AS [<< /Event /View "
             "/OCGs [46 0 R] >> 47 0 R] >> >>",
             {group(5, "A")})},
       "<< /OCGs [5 0 R] /D << /BaseState /ON /OFF [5 0 R] /Order [(Label) [5 0 R]] /RBGroups "
       "[[]] /Locked [] /AS [<< /Event /View /OCGs [] >>] >> >>"},
      {"indirect properties, configuration and arrays",
       {with("/OCProperties 8 0 R",
             {group(5, "A"), group(6, "B"), obj(8, "<< /OCGs 9 0 R /D 10 0 R >>"),
              obj(9, "[5 0 R 6 0 R]"), obj(10, "<< /BaseState 11 0 R /ON 12 0 R /Order 13 0 R >>"),
              obj(11, "/OFF"), obj(12, "[6 0 R]"), obj(13, "[6 0 R 5 0 R]")})},
       "<< /OCGs [5 0 R 6 0 R] /D << /BaseState /ON /OFF [5 0 R] /Order [6 0 R 5 0 R] >> >>"},
      {"a group listed twice is listed once",
       {with("/OCProperties << /OCGs [5 0 R 5 0 R] /D << /OFF [5 0 R 5 0 R] >> >>",
             {group(5, "A")})},
       "<< /OCGs [5 0 R] /D << /BaseState /ON /OFF [5 0 R] >> >>"},
      {"no default configuration: the groups alone",
       {with("/OCProperties << /OCGs [5 0 R] >>", {group(5, "A")})},
       "<< /OCGs [5 0 R] /D << /BaseState /ON >> >>"},
      {"comments and loose spacing in the settings",
       {with("/OCProperties<</OCGs[5 0 R%c\n6 0 R]/D<</OFF[6 0 R]/Order[5 0 R[6 0 R]]>>>>",
             {group(5, "A"), group(6, "B")})},
       "<< /OCGs [5 0 R 6 0 R] /D << /BaseState /ON /OFF [6 0 R] /Order [5 0 R [6 0 R]] >> >>"},
      {"structure words in a label are made safe",
       {with("/OCProperties << /OCGs [5 0 R] /D << /Order [(a endobj b) 5 0 R] >> >>",
             {group(5, "A")})},
       "<< /OCGs [5 0 R] /D << /BaseState /ON /Order [(a \\145ndobj b) 5 0 R] >> >>"},
  };
  for (const oc_case& c : cases) {
    std::vector<doc> docs;
    for (const auto& in : c.inputs)
      docs.push_back(input(in[0], "", std::vector<std::string>(in.begin() + 1, in.end())));
    EXPECT_EQ(entry_of(std::move(docs)), " /OCProperties " + c.expected) << c.name;
  }
}

TEST(OptionalContent, WithoutPropertiesNothingIsAdded) {
  for (const std::string& entries : {std::string(""), std::string("/OCProperties 9 0 R"),
                                     std::string("/OCProperties [5 0 R]")}) {
    std::vector<doc> docs;
    docs.push_back(input(entries, "/Resources << /Properties << /oc 5 0 R >> >>", {group(5, "A")}));
    EXPECT_EQ(entry_of(std::move(docs)), "") << entries;
  }
}

// A group that the pages' /Properties reach and /OCGs names is copied once, under the number
// the pages give it; groups no page uses follow the objects the pages reach.
TEST(OptionalContent, GroupsJoinThePagesCopiesOnce) {
  std::vector<merge_input> inputs(1);
  inputs[0].d = input("/OCProperties << /OCGs [6 0 R 5 0 R 7 0 R] /D << /OFF [5 0 R] >> >>",
                      "/Resources << /Properties << /oc1 5 0 R /mc 8 0 R >> >>",
                      {group(5, "used"), group(6, "unused"), group(7, "unused too"),
                       obj(8, "<< /Type /OCMD /OCGs [5 0 R 6 0 R] >>")});
  EXPECT_EQ(merge_plan(inputs, 1), 9);
  EXPECT_EQ(inputs[0].map.old_nums, (std::vector<int32_t>{5, 8, 6, 7}));
  EXPECT_EQ(optional_content_entry(inputs),
            " /OCProperties << /OCGs [7 0 R 5 0 R 8 0 R] /D << /BaseState /ON /OFF [5 0 R] >> >>");
}

TEST(OptionalContent, TheSettingsReachFurtherObjects) {
  // /AS names a usage dictionary of its own, which is copied with what it refers to.
  std::vector<merge_input> inputs(1);
  inputs[0].d = input(
      "/OCProperties << /OCGs [5 0 R] /D << /AS [6 0 R] >> >>", "",
      {group(5, "A"), obj(6, "<< /Event /View /OCGs [5 0 R] /Next 7 0 R >>"), obj(7, "<< >>")});
  EXPECT_EQ(merge_plan(inputs, 1), 8);
  EXPECT_EQ(inputs[0].map.old_nums, (std::vector<int32_t>{5, 6, 7}));
  EXPECT_EQ(optional_content_entry(inputs),
            " /OCProperties << /OCGs [5 0 R] /D << /BaseState /ON /AS [6 0 R] >> >>");
}

// Arrays nested deeper than 32 levels in /Order are dropped; shallower ones are kept whole.
TEST(OptionalContent, DeeplyNestedOrderIsCut) {
  for (int levels : {31, 32}) {
    std::string order = std::string(static_cast<size_t>(levels), '[') + "5 0 R" +
                        std::string(static_cast<size_t>(levels), ']');
    std::vector<doc> docs;
    docs.push_back(input("/OCProperties << /OCGs [5 0 R] /D << /Order [" + order + "] >> >>", "",
                         {group(5, "A")}));
    const std::string entry = entry_of(std::move(docs));
    const std::string kept = "/Order [" + order + "]";
    EXPECT_EQ(entry.find(kept) != std::string::npos, levels == 31) << levels << ": " << entry;
    EXPECT_NE(entry.find("/OCGs [5 0 R]"), std::string::npos) << levels;
  }
}

} // namespace
