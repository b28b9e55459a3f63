// Objects of an input read as value trees, for the objects a merge edits rather than copies as
// text, and the one way a value leads on to the value it stands for. Each object is read and
// typed once per merge: a value that many places refer to costs its size once, not once per
// reference.
#include "pdfmerge/keep/keep.h"

#include "pdfmerge/decrypt/decrypt.h"

namespace pdfmerge {
namespace {

std::unique_ptr<const pdf_value> read_tree(edit_ctx& ctx, int32_t num) {
  const obj_entry* e = obj_lookup(ctx.d, num);
  if (!e) return nullptr;
  const bytes text = e->has_stream && !e->in_objstm ? dict_text_at(ctx.d.file(), e->dict_start)
                                                    : object_body(ctx.d.file(), *e);
  if (text.empty()) return nullptr;
  ctx.keep.memo.steps += text.size();
  std::string plain; // the text with its strings decrypted, for an encrypted input
  std::optional<pdf_value> v = parse_value(strings_decrypted(ctx.d, *e, text, plain));
  return v ? std::make_unique<const pdf_value>(std::move(*v)) : nullptr;
}

} // namespace

const pdf_value* object_tree(edit_ctx& ctx, int32_t num) {
  ++ctx.keep.memo.steps;
  auto& trees = ctx.keep.memo.trees;
  auto it = trees.find(num);
  if (it == trees.end()) it = trees.emplace(num, read_tree(ctx, num)).first;
  return it->second.get();
}

const pdf_value* resolved_tree(edit_ctx& ctx, const pdf_value* v,
                               std::optional<pdf_value::kind> must_be) {
  if (!v) return nullptr;
  const pdf_value* out = v->is(pdf_value::kind::ref) ? object_tree(ctx, v->num) : v;
  if (out && must_be && !out->is(*must_be)) return nullptr;
  return out;
}

bool is_structure(edit_ctx& ctx, int32_t num) {
  auto& known = ctx.keep.memo.structure;
  auto it = known.find(num);
  if (it == known.end()) it = known.emplace(num, is_file_structure(ctx.d, num)).first;
  return it->second;
}

} // namespace pdfmerge
