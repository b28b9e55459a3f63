// Keeping one definition per object number: a plain object of the file beats every definition
// inside an object stream; among plain ones, and among contained ones, the last in table order
// wins. Object-stream containers and numbers above 8,388,607 never stay.
#include "pdfmerge/reader/phases.h"

#include <algorithm>
#include <new>

namespace pdfmerge {
namespace {

enum class kind { dropped, container, plain, contained };

kind kind_of(const obj_entry& e, const name_hits& objstm) {
  if (e.num > max_object_num) return kind::dropped;
  if (objstm_container(e, objstm)) return kind::container;
  return e.in_objstm ? kind::contained : kind::plain;
}

// Keeps, in table order and in place, the entries `keep` retains, and sets max_num. `keep(i)`
// may read entry i and any entry after it, which are not yet moved.
template <class Keep> void table_replace(doc& d, Keep keep) {
  size_t kept = 0;
  d.max_num = 0;
  for (size_t i = 0; i < d.objects.size(); ++i) {
    if (!keep(i)) continue;
    d.max_num = std::max(d.max_num, d.objects[i].num);
    d.objects[kept++] = d.objects[i];
  }
  d.objects.resize(kept);
  obj_index_build(d.index, d.objects);
  d.last_plain = last_plain_index_of(d.objects);
}

} // namespace

void definitions_select(doc& d, text_indexes& ix) {
  const name_hits& objstm = ix.names("ObjStm");
  std::vector<kind> kinds;
  kinds.reserve(d.objects.size());
  int32_t m = 0;
  for (const obj_entry& e : d.objects) {
    kinds.push_back(kind_of(e, objstm));
    if (e.num <= max_object_num) m = std::max(m, e.num);
  }
  std::vector<int32_t> plain_idx;
  std::vector<int32_t> objstm_idx;
  try {
    plain_idx.assign(static_cast<size_t>(m) + 1, -1);
    objstm_idx.assign(static_cast<size_t>(m) + 1, -1);
  } catch (const std::bad_alloc&) {
    definitions_select_direct(d, ix);
    return;
  }
  for (size_t i = 0; i < d.objects.size(); ++i) {
    const auto num = static_cast<size_t>(d.objects[i].num);
    if (kinds[i] == kind::plain) plain_idx[num] = static_cast<int32_t>(i);
    if (kinds[i] == kind::contained) objstm_idx[num] = static_cast<int32_t>(i);
  }
  table_replace(d, [&](size_t i) {
    const auto num = static_cast<size_t>(d.objects[i].num);
    const auto pos = static_cast<int32_t>(i);
    if (kinds[i] == kind::plain) return plain_idx[num] == pos;
    if (kinds[i] == kind::contained) return plain_idx[num] == -1 && objstm_idx[num] == pos;
    return false;
  });
}

void definitions_select_direct(doc& d, text_indexes& ix) {
  const name_hits& objstm = ix.names("ObjStm");
  std::vector<int32_t> plain_nums;
  for (const obj_entry& e : d.objects)
    if (!e.in_objstm) plain_nums.push_back(e.num);
  std::sort(plain_nums.begin(), plain_nums.end());
  // Plain definitions all stay, duplicates included; a contained one stays unless some entry
  // of the file itself (a container included) has its number.
  table_replace(d, [&](size_t i) {
    const obj_entry& e = d.objects[i];
    switch (kind_of(e, objstm)) {
    case kind::plain:
      return true;
    case kind::contained:
      return !std::binary_search(plain_nums.begin(), plain_nums.end(), e.num);
    default:
      return false;
    }
  });
}

} // namespace pdfmerge
