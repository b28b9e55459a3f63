// The bookmarks: every input's outline items, in input order, as one new outline, each input's
// under a bookmark of its own when asked. Items are written afresh (title, open state, colour
// and style kept), their destinations resolved as links' are, and the counts recomputed for the
// tree as written.
#include "pdfmerge/keep/keep.h"

#include <unordered_set>

namespace pdfmerge {
namespace {

// Items nested deeper than this are left behind with their subtrees.
constexpr int32_t max_outline_depth = 64;

// The item's title as written: a string, or a reference to a string object (kept and written
// once, however many items share it); an empty string for anything else.
pdf_value title_of(edit_ctx& ctx, const pdf_value& item) {
  const pdf_value* given = item.get("Title");
  const pdf_value* t = resolved_tree(ctx, given);
  return t && is_string(*t) ? *given : pdf_value::atom("()");
}

bool is_goto(const pdf_value& action) {
  const pdf_value* s = action.get("S");
  return s && s->is_atom("/GoTo");
}

struct outline_reader {
  edit_ctx& ctx;
  outline_plan& plan;
  size_t input;
  std::vector<int32_t>& seeds; // objects that kept actions reach
  int64_t& next;
  int64_t max_size;
  std::unordered_set<int32_t> visited{};
  bool full = false;

  // The destination `dest` leads to, if any; a destination array kept as an object of its own
  // joins the seeds.
  void read_dest(const pdf_value* dest, outline_item& item) {
    if (!dest) return;
    item.dest = resolve_dest(ctx, *dest);
    if (item.dest) collect_refs_of(*item.dest, seeds);
  }

  // Where the item leads: /Dest, or a GoTo's /D, as an explicit destination; another action
  // kept (edited) as it is.
  void read_target(const pdf_value& v, outline_item& item) {
    read_dest(v.get("Dest"), item);
    const pdf_value* a = v.get("A");
    if (!a || item.dest) return;
    const pdf_value* action = resolved_tree(ctx, a, pdf_value::kind::dict);
    if (!action) return;
    if (is_goto(*action)) {
      read_dest(action->get("D"), item);
      return;
    }
    pdf_value kept = *a;
    edit_kept_value(ctx, kept);
    collect_refs_of(kept, seeds);
    item.action = std::move(kept);
  }

  // Reads the chain of items from `first`; the indexes of those read, in order.
  std::vector<size_t> read_chain(const pdf_value* first, int32_t depth) {
    std::vector<size_t> chain;
    if (depth >= max_outline_depth || !first || !first->is(pdf_value::kind::ref)) return chain;
    for (int32_t at = first->num; at > 0 && !full;) {
      if (!visited.insert(at).second) break; // a loop
      const pdf_value* v = object_tree(ctx, at);
      if (!v || !v->is(pdf_value::kind::dict)) break;
      if (next >= max_size) {
        full = true;
        break;
      }
      const size_t index = plan.items.size();
      plan.items.push_back(read_item(*v));
      chain.push_back(index);
      std::vector<size_t> kids = read_chain(v->get("First"), depth + 1);
      plan.items[index].kids = std::move(kids);
      const pdf_value* n = v->get("Next");
      at = n && n->is(pdf_value::kind::ref) ? n->num : 0;
    }
    return chain;
  }

  outline_item read_item(const pdf_value& v) {
    outline_item item;
    item.input = input;
    item.num = static_cast<int32_t>(next++);
    item.title = title_of(ctx, v);
    collect_refs_of(item.title, seeds);
    item.style.k = pdf_value::kind::dict;
    for (const char* key : {"C", "F"})
      if (const pdf_value* x = v.get(key)) item.style.set(key, *x);
    edit_kept_value(ctx, item.style);
    const pdf_value* count = v.get("Count");
    // Open when the count is positive, as readers show it; a missing or zero count (wrong for
    // an item with kids) leaves it closed.
    item.open = count && !count->text.empty() && is_digit(static_cast<uint8_t>(count->text[0])) &&
                count->text.find_first_not_of('0') != std::string::npos &&
                count->text.find_first_not_of("0123456789") == std::string::npos;
    read_target(v, item);
    return item;
  }
};

// Visible descendants of an item if it is open: its kids and the visible ones of open kids.
int64_t open_count(outline_plan& plan, size_t index) {
  outline_item& item = plan.items[index];
  int64_t n = 0;
  for (size_t kid : item.kids) {
    const int64_t below = open_count(plan, kid);
    n += 1 + (plan.items[kid].open ? below : 0);
  }
  item.count = item.kids.empty() ? 0 : item.open ? n : -n;
  return n;
}

void write_ref(std::string& text, std::string_view key, int32_t num) {
  text += " /";
  text += key;
  text += ' ' + std::to_string(num) + " 0 R";
}

} // namespace

void collect_refs_of(const pdf_value& v, std::vector<int32_t>& out) {
  if (v.is(pdf_value::kind::ref)) out.push_back(v.num);
  for (const pdf_value& item : v.items) collect_refs_of(item, out);
}

bool plan_outlines(edit_ctx& ctx, size_t input, outline_plan& plan, std::vector<int32_t>& seeds,
                   int64_t& next, int64_t max_size, std::vector<size_t>& top) {
  const pdf_value* catalog = object_tree(ctx, ctx.d.catalog_num);
  const pdf_value* ref = catalog ? catalog->get("Outlines") : nullptr;
  const pdf_value* root =
      ref && ref->is(pdf_value::kind::ref) ? object_tree(ctx, ref->num) : nullptr;
  if (!root || !root->is(pdf_value::kind::dict)) return true;
  outline_reader reader{ctx, plan, input, seeds, next, max_size};
  if (ref) reader.visited.insert(ref->num);
  top = reader.read_chain(root->get("First"), 0);
  return !reader.full;
}

bool plan_input_bookmark(outline_plan& plan, size_t input, std::string title, int32_t first_page,
                         std::vector<size_t> kids, int64_t& next, int64_t max_size) {
  if (next >= max_size) return false;
  outline_item item;
  item.input = input;
  item.num = static_cast<int32_t>(next++);
  item.title = pdf_value::atom(title);
  item.style.k = pdf_value::kind::dict;
  pdf_value dest;
  dest.k = pdf_value::kind::array;
  dest.items = {pdf_value::output_ref(first_page), pdf_value::atom("/Fit")};
  item.dest = std::move(dest);
  // Closed: a merge of many inputs shows one line per input until one is opened.
  item.open = false;
  item.kids = std::move(kids);
  plan.top.push_back(plan.items.size());
  plan.items.push_back(std::move(item));
  return true;
}

bool number_outline_root(outline_plan& plan, int64_t& next, int64_t max_size) {
  if (plan.top.empty()) return true;
  if (next >= max_size) return false;
  plan.root = static_cast<int32_t>(next++);
  plan.root_count = 0;
  for (size_t index : plan.top) {
    const int64_t below = open_count(plan, index);
    plan.root_count += 1 + (plan.items[index].open ? below : 0);
  }
  return true;
}

void write_outlines(out_file& f, const std::vector<merge_input>& inputs, const outline_plan& plan) {
  if (plan.top.empty()) return;
  auto write_chain = [&](const std::vector<size_t>& chain, int32_t parent, auto& self) -> void {
    for (size_t k = 0; k < chain.size() && !f.failed; ++k) {
      const outline_item& item = plan.items[chain[k]];
      const renumber_map& map = inputs[item.input].map;
      const auto renumber = [&map](int32_t n) { return renumber_lookup(map, n); };
      std::string text = "<< /Title ";
      write_value(item.title, renumber, text);
      write_ref(text, "Parent", parent);
      if (k > 0) write_ref(text, "Prev", plan.items[chain[k - 1]].num);
      if (k + 1 < chain.size()) write_ref(text, "Next", plan.items[chain[k + 1]].num);
      if (!item.kids.empty()) {
        write_ref(text, "First", plan.items[item.kids.front()].num);
        write_ref(text, "Last", plan.items[item.kids.back()].num);
        text += " /Count " + std::to_string(item.count);
      }
      if (item.dest) {
        text += " /Dest ";
        write_value(*item.dest, renumber, text);
      } else if (item.action) {
        text += " /A ";
        write_value(*item.action, renumber, text);
      }
      for (size_t s = 0; s < item.style.keys.size(); ++s) {
        text += " /" + item.style.keys[s] + ' ';
        write_value(item.style.items[s], renumber, text);
      }
      text += " >>";
      make_reader_safe(text);
      out_begin_object(f, item.num);
      out_put(f, text);
      out_put(f, "\nendobj\n");
      self(item.kids, item.num, self);
    }
  };
  std::string root = "<< /Type /Outlines";
  write_ref(root, "First", plan.items[plan.top.front()].num);
  write_ref(root, "Last", plan.items[plan.top.back()].num);
  root += " /Count " + std::to_string(plan.root_count) + " >>\nendobj\n";
  out_begin_object(f, plan.root);
  out_put(f, root);
  write_chain(plan.top, plan.root, write_chain);
}

} // namespace pdfmerge
