// What a merge with options keeps beyond the pages' content and resources: the pages'
// annotations with what they reach, the form fields, the bookmarks (the inputs' own and one per
// input), the document information and metadata, the page labels and the structure tree. Kept
// source objects are
// edited (page references pointed at the new pages, destinations resolved or dropped) and written
// after the copies; their numbers join the input's renumbering map.
#pragma once

#include "pdfmerge/merge/merge.h"
#include "pdfmerge/syntax/syntax.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace pdfmerge {

// An input's named destinations: the catalog's /Dests dictionary and its /Names /Dests tree,
// read once when the first named destination is met.
struct named_dests {
  bool read = false;
  std::unordered_map<std::string, pdf_value> by_name;   // /Dests keys, without the slash
  std::unordered_map<std::string, pdf_value> by_string; // name-tree keys, as bytes
};

// What is known of one input's objects, each found out once per merge however many places
// refer to the object: its value as a tree, whether it is file structure, and where it leads
// as a destination.
struct object_memo {
  std::unordered_map<int32_t, std::unique_ptr<const pdf_value>> trees; // null: no value
  std::unordered_map<int32_t, bool> structure;
  std::unordered_map<int32_t, std::optional<pdf_value>> dests;     // by the object given
  std::unordered_map<std::string, std::optional<pdf_value>> named; // by name, '/' kept
  // Work done: bytes parsed, values visited while editing, names tried. It grows with the input,
  // never with the number of references to one object (tests hold it to that).
  uint64_t steps = 0;
};

// What one input's structure tree becomes. Kept elements are written with the values the plan
// made for them (their kids that stay, /P their parent in the output); the objects that hold a
// key into the parent tree (pages, annotations, XObjects) are given their new key, or lose it.
struct structure_keep {
  bool on = false;                                // the merge keeps structure
  std::unordered_map<int32_t, pdf_value> planned; // kept elements, written as the plan made them
  std::unordered_set<int32_t> elements;           // the kept elements
  std::unordered_set<int32_t> dropped; // objects left behind: references to them are null
  struct key {
    int32_t value;
    bool plural; // /StructParents (a page or form XObject), else /StructParent
  };
  std::unordered_map<int32_t, key> keys; // object -> its new key; other holders lose theirs
  std::vector<int32_t> page_keys;        // per page listing: its /StructParents, or -1
  std::unordered_map<std::string, std::string> roles;   // renamed structure types
  std::unordered_map<std::string, std::string> classes; // renamed attribute classes
  std::unordered_map<std::string, std::string> ids;     // renamed element IDs, as bytes
};

// One input's part of the plan.
struct input_keep {
  std::unordered_map<int32_t, int32_t> page_new; // source page -> output page (first listing)
  // Per source page listing: its annotations, references to kept objects or dictionaries
  // written inside the array (already edited); empty when the page lists a shared array.
  std::vector<std::vector<pdf_value>> annots;
  // Per source page listing: the /Annots array object it shares with other pages (written once
  // and referred to), or 0.
  std::vector<int32_t> annots_shared;
  // Shared /Annots array objects -> their annotations as written.
  std::unordered_map<int32_t, std::vector<pdf_value>> shared_arrays;
  std::unordered_map<int32_t, int32_t> annot_page;       // annotation -> output page for its /P
  std::unordered_set<int32_t> dest_arrays;               // kept objects written as destinations
  std::vector<int32_t> kept;                             // source objects written edited, in order
  std::unordered_map<int32_t, std::string> field_titles; // top-level field -> its new /T
  std::unordered_map<std::string, std::string> font_renames; // /DR font name -> merged name
  named_dests names;
  structure_keep structure;
  object_memo memo;
};

// Everything a merge editor needs about one input.
struct edit_ctx {
  const doc& d;
  input_keep& keep;
};

// The value of object `num` of the document as a tree (a stream's dictionary), its strings
// decrypted, read once per merge; null when the object is missing or does not read as a value.
const pdf_value* object_tree(edit_ctx& ctx, int32_t num);
// The value `v` stands for: `v` itself, or for a reference the tree of the object it names (one
// reference at most). Null when `v` is null, the reference leads nowhere, or the value is not of
// kind `must_be`.
const pdf_value* resolved_tree(edit_ctx& ctx, const pdf_value* v,
                               std::optional<pdf_value::kind> must_be = std::nullopt);
// Calls `visit(key, value)` for every pair of the name tree (`leaves` "Names") or number tree
// ("Nums") at `root`, in tree order; nodes reached again and nodes past the walk's bounds are
// skipped.
void for_each_tree_pair(edit_ctx& ctx, const pdf_value& root, std::string_view leaves,
                        const std::function<void(const pdf_value&, const pdf_value&)>& visit);
// True for objects a kept value must never reach (pages, page-tree nodes, the catalog,
// cross-reference streams, object-stream containers); known once per object.
bool is_structure(edit_ctx& ctx, int32_t num);

// The destination that `dest` (an array, a name, a string, a reference, or a dictionary with /D)
// leads to, as it is written: an explicit destination whose page reference is the output page
// and which holds at most five parameters; for a reference to such an array, the reference
// itself (the array is kept and written once, however many links use it). None when the
// destination cannot be resolved or names a page that is not in the output. Each destination
// object and each name is resolved once per merge.
std::optional<pdf_value> resolve_dest(edit_ctx& ctx, const pdf_value& dest);
// The explicit destination `array` as it is written: its page the output page, at most five
// parameters after it, any that is not a number or a name written as null. None when its page
// is not in the output.
std::optional<pdf_value> explicit_dest(edit_ctx& ctx, const pdf_value& array);

// Edits a value about to be kept: references to pages in the output become output references,
// references to other pages, page-tree nodes and the catalog become null, destinations are
// resolved (a /Dest or a GoTo's /D that cannot be is removed, and so is an /A naming such a
// GoTo).
void edit_kept_value(edit_ctx& ctx, pdf_value& v);

// The kept object `num` as it is written: its value edited, an annotation's /P set to its page.
std::optional<pdf_value> kept_value(edit_ctx& ctx, int32_t num);

// Numbers for the kept objects: `next` is the next free output number, moved on; `seeds` are
// added (if not yet in the map) and then everything they reach, breadth-first. False when the
// numbers would pass `max_size`.
bool keep_reached(edit_ctx& ctx, renumber_map& map, std::vector<int32_t> seeds, int64_t& next,
                  int64_t max_size);

// The pages' annotations: fills keep.annots and keep.annot_page (keep.page_new filled first)
// and returns the annotations as seeds for keep_reached. `first_page` is the output number of
// the input's first page.
std::vector<int32_t> plan_annotations(edit_ctx& ctx, int32_t first_page);

// Writes the input's kept objects.
void write_kept_objects(out_file& f, const merge_input& in, input_keep& keep);

// Appends the source references in `v`.
void collect_refs_of(const pdf_value& v, std::vector<int32_t>& out);

// ---------------------------------------------------------------- bookmarks

// One outline item as it is written, under a new number.
struct outline_item {
  size_t input = 0; // whose map renumbers its values
  int32_t num = 0;
  pdf_value title;
  pdf_value style;                 // a dictionary of the /C and /F kept
  bool open = false;               // the source's /Count was positive
  int64_t count = 0;               // written when it has kids
  std::optional<pdf_value> dest;   // an explicit destination in the output
  std::optional<pdf_value> action; // another action than GoTo, edited
  std::vector<size_t> kids;
};

struct outline_plan {
  std::vector<outline_item> items;
  std::vector<size_t> top; // the top-level items of every input, in input order
  int32_t root = 0;        // the new /Outlines dictionary, 0 when there is none
  int64_t root_count = 0;
};

// Reads the input's outline into the plan, numbering items from `next`; its top-level items
// go to `top`, and what kept actions reach joins `seeds`. False when the numbers would pass
// `max_size`.
bool plan_outlines(edit_ctx& ctx, size_t input, outline_plan& plan, std::vector<int32_t>& seeds,
                   int64_t& next, int64_t max_size, std::vector<size_t>& top);
// Adds one top-level item for the input: `title` (a string token) leading to output page
// `first_page`, with `kids` (the input's own top-level items) under it. False when the number
// would pass `max_size`.
bool plan_input_bookmark(outline_plan& plan, size_t input, std::string title, int32_t first_page,
                         std::vector<size_t> kids, int64_t& next, int64_t max_size);
// Numbers the outline dictionary and computes the counts, once every input is read.
bool number_outline_root(outline_plan& plan, int64_t& next, int64_t max_size);
void write_outlines(out_file& f, const std::vector<merge_input>& inputs, const outline_plan& plan);

// ---------------------------------------------------------------- form fields

struct form_plan {
  struct field {
    size_t input;
    int32_t num;
  };
  struct entry {
    std::string key;
    size_t input; // whose map renumbers the value
    pdf_value value;
  };
  struct category {
    std::string name; // Font, Encoding, ...
    std::vector<entry> entries;
    std::unordered_set<std::string> keys;             // of the entries
    std::unordered_map<std::string, int> next_suffix; // a renamed key -> its next try
  };
  bool present = false; // some input has a form
  int32_t num = 0;      // the new /AcroForm, 0 when there is none
  std::vector<field> fields;
  std::vector<category> resources;
  std::unordered_map<std::string, size_t> resource_index; // category name -> its position
  std::optional<pdf_value> da;
  std::optional<pdf_value> q;
  bool need_appearances = false;
  std::unordered_set<std::string> used_names;       // top-level field names of the inputs read
  std::unordered_map<std::string, int> next_suffix; // a clashing field name -> its next try
};

// Reads the input's /AcroForm into the plan: its top-level fields (renamed where an earlier
// input uses the name) and its default resources join `seeds`.
void plan_form(edit_ctx& ctx, size_t input, form_plan& form, std::vector<int32_t>& seeds);
bool number_form(form_plan& form, int64_t& next, int64_t max_size);
void write_form(out_file& f, const std::vector<merge_input>& inputs, const form_plan& form);
// A /DA text with the font names of `renames` replaced.
std::string renamed_da(std::string_view da,
                       const std::unordered_map<std::string, std::string>& renames);
// Sets the dictionary's /DA to use the input's renamed fonts.
void rename_da_fonts(const input_keep& keep, pdf_value& v);

// ---------------------------------------------------------------- structure tree

// The output's one structure tree, gathered from the inputs'.
struct structure_plan {
  struct entry {
    size_t input; // whose map renumbers the value
    pdf_value value;
  };
  struct named {
    std::string name; // without the slash
    size_t input;
    pdf_value value;
  };
  bool tagged = false;    // some input has a structure tree
  bool all_marked = true; // every input is marked
  int32_t root = 0;       // the new /StructTreeRoot
  int32_t parent_tree = 0;
  int32_t id_tree = 0;
  std::optional<pdf_value> lang; // the first input's /Lang, as written
  std::vector<entry> kids;       // the root's kids: every input's top-level elements
  std::vector<entry> parents;    // the parent tree: key k holds parents[k]
  std::vector<named> roles;      // the merged /RoleMap
  std::vector<named> classes;    // the merged /ClassMap
  std::unordered_map<std::string, size_t> role_index;  // name -> its place in roles
  std::unordered_map<std::string, size_t> class_index; // name -> its place in classes
  struct id_entry {
    std::string id; // as bytes
    size_t input;
    int32_t num;
  };
  std::vector<id_entry> ids;                        // the new /IDTree
  std::unordered_map<std::string, size_t> id_owner; // an ID -> the input whose element has it
  std::unordered_map<std::string, int> next_suffix; // a renamed name or ID -> its next try
};

struct keep_plan;

// Before anything of the input is kept: its structure root is left behind (the output has its
// own).
void begin_structure(edit_ctx& ctx);
// Plans input `i`'s structure tree after its other kept objects are numbered: elements kept,
// pruned and numbered, names merged, keys into the parent tree given. False when the numbers
// would pass `max_size`.
bool plan_structure(std::vector<merge_input>& inputs, keep_plan& plan, size_t i, int32_t first_page,
                    int64_t& next, int64_t max_size);
// Numbers the parent tree and the ID tree once every input is planned.
bool number_structure(structure_plan& sp, int64_t& next, int64_t max_size);
// The catalog's /StructTreeRoot, /MarkInfo and, when `with_lang`, /Lang.
std::string structure_catalog_entries(const structure_plan& sp, bool with_lang);
void write_structure(out_file& f, const std::vector<merge_input>& inputs, const structure_plan& sp);
// The edits every kept value gets when structure is kept: its key into the parent tree, renamed
// element IDs.
void edit_structure_entries(const structure_keep& sk, int32_t num, pdf_value& v);

// Steps of plan_structure, in the order it takes them.
// Merges the input's /RoleMap into the plan's, renaming its names that clash.
void merge_role_map(edit_ctx& ctx, size_t input, const pdf_value& root, structure_plan& sp);
// Merges the input's /ClassMap; what kept classes reach joins `seeds`.
void merge_class_map(std::vector<merge_input>& inputs, std::vector<input_keep>& keeps, size_t input,
                     const pdf_value& root, structure_plan& sp, std::vector<int32_t>& seeds);
// Which element holds each piece of kept content, as the walk of the tree finds it.
struct content_owners {
  // A page or stream -> (MCID, element) for its marked content.
  std::unordered_map<int32_t, std::vector<std::pair<int64_t, int32_t>>> marked;
  std::unordered_map<int32_t, int32_t> objects; // object named by an object reference -> element
};
// Walks the input's elements from `root`: the kept ones are planned and join `seeds`, the others
// are dropped; `owners` learns who holds the content kept. Returns the root's kids as written;
// `lang` is set on those without a /Lang.
std::vector<pdf_value> walk_structure(edit_ctx& ctx, size_t input, structure_plan& sp,
                                      const renumber_map& map, const pdf_value& root,
                                      int32_t root_num, std::optional<pdf_value> lang,
                                      content_owners& owners, std::vector<int32_t>& seeds);
// The element's /S and /C renamed as the merged maps need.
void rename_element_names(const structure_keep& sk, pdf_value& elem);
// Enters the kept element's /ID into the ID tree, renamed when an earlier input uses it.
void claim_element_id(edit_ctx& ctx, size_t input, structure_plan& sp, int32_t num,
                      const pdf_value& elem);
// The renamed IDs in a kept value: an element's /ID, the IDs table cells' /Headers name.
void rename_ids(const structure_keep& sk, int32_t num, pdf_value& v);
// Gives the input's pages and objects in the output that hold kept content their new keys into
// the parent tree, with entries made from `owners`; other objects lose the keys they hold.
// Copied objects that hold or lose a key move to the kept list.
void give_parent_keys(edit_ctx& ctx, size_t input, structure_plan& sp, renumber_map& map,
                      const content_owners& owners, int32_t first_page);
// An integer atom's value.
std::optional<int64_t> integer_of(const pdf_value* v);
// ---------------------------------------------------------------- document information

// The dictionary that the document's trailer names as /Info: that of the last trailer in the
// file that names one, or of the last cross-reference stream that does when it comes later.
// Its strings are decrypted. None when no trailer names a dictionary.
std::optional<pdf_value> document_info(edit_ctx& ctx);
// The bytes of a string value, or of the string object a reference names; none otherwise.
std::optional<std::string> string_of(edit_ctx& ctx, const pdf_value* v);

// The title of an input's bookmark, as UTF-8: `given` when it is not blank (read as UTF-8
// where valid), else the document's non-blank /Title, else the file name of `path` without its
// folder and extension.
std::string input_title(edit_ctx& ctx, const char* given, const char* path);

// The XMP packet with every PDF/A and PDF/UA identification taken out (the elements and
// attributes of those namespaces, and their declarations). None when the packet is not text
// that can be edited safely (UTF-16 or UTF-32, an unclosed element of those namespaces).
std::optional<std::string> xmp_without_conformance(std::string_view xmp);

struct info_plan {
  int32_t info = 0;      // the new /Info dictionary
  std::string info_text; // its value
  int32_t metadata = 0;  // the new XMP stream, 0 when there is none
  std::string xmp;       // its data
  std::string lang;      // the catalog's /Lang value, empty when none
};

// Reads the information that PDFMERGE_KEEP_DOC_INFO keeps and numbers its objects.
bool plan_doc_info(const std::vector<merge_input>& inputs, std::vector<input_keep>& keeps,
                   const std::string& producer, info_plan& plan, int64_t& next, int64_t max_size);
void write_doc_info(out_file& f, const info_plan& plan);

// ---------------------------------------------------------------- page labels

// One range of labels: from output page `first` (0-based) on, numbers from `start` in `style`
// ('D', 'R', 'r', 'A', 'a', or 0 for none) after `prefix` (the bytes of a string).
struct label_range {
  int32_t first = 0;
  char style = 0;
  std::string prefix;
  int64_t start = 1;
};

// The label ranges of a document's page tree, by the 0-based index of their first page; empty
// when it has no /PageLabels.
std::vector<label_range> document_labels(edit_ctx& ctx);

// The ranges of the output: every page labelled as in its input, or with its page number in
// the output when its input has no label for it and for blank pages; runs merged.
std::vector<label_range> output_labels(const std::vector<merge_input>& inputs,
                                       std::vector<input_keep>& keeps);
// The /PageLabels number tree written as one dictionary.
std::string labels_text(const std::vector<label_range>& ranges);

// The whole plan of a merge with options.
struct keep_plan {
  merge_options opts;
  std::string producer;           // this library's name and version, for /Producer
  std::vector<input_keep> inputs; // parallel to the merge inputs
  outline_plan outlines;
  form_plan form;
  structure_plan structure;
  info_plan info;
  int32_t labels = 0; // the /PageLabels object, 0 when there is none
  std::string labels_value;
  std::string catalog_entries; // added to the output catalog
  std::string trailer_entries; // added to the trailer
};

// Plans what the options keep after merge_plan gave `size`; returns the new table size, or -1.
int64_t plan_keep(std::vector<merge_input>& inputs, const merge_options& opts, int64_t size,
                  keep_plan& plan);

// The writer's hooks for the plan.
output_extras keep_extras(const std::vector<merge_input>& inputs, keep_plan& plan);

} // namespace pdfmerge
