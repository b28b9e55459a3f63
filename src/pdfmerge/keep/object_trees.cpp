// Objects of an input read as value trees, for the objects a merge edits rather than copies as
// text, and the one way a value leads on to the value it stands for.
#include "pdfmerge/keep/keep.h"

#include "pdfmerge/decrypt/decrypt.h"

namespace pdfmerge {

std::optional<pdf_value> object_tree(const doc& d, int32_t num) {
  const obj_entry* e = obj_lookup(d, num);
  if (!e) return std::nullopt;
  const bytes text = e->has_stream && !e->in_objstm ? dict_text_at(d.file(), e->dict_start)
                                                    : object_body(d.file(), *e);
  if (text.empty()) return std::nullopt;
  std::string plain; // the text with its strings decrypted, for an encrypted input
  return parse_value(strings_decrypted(d, *e, text, plain));
}

std::optional<pdf_value> resolved_tree(const doc& d, const pdf_value* v,
                                       std::optional<pdf_value::kind> must_be) {
  if (!v) return std::nullopt;
  std::optional<pdf_value> out = v->is(pdf_value::kind::ref) ? object_tree(d, v->num) : *v;
  if (out && must_be && !out->is(*must_be)) return std::nullopt;
  return out;
}

} // namespace pdfmerge
