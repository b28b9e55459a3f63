// Crafted files whose objects are referenced many times: each shape makes a merge that keeps
// annotations, forms or bookmarks do work, or write output, out of proportion to the file when
// a value is read, copied or written again for every reference to it. `n` sets the file's size
// (the number of references, and the length of the shared value); the files grow linearly in n.
#pragma once

#include <string>
#include <vector>

namespace fixtures {

struct crafted_shape {
  const char* name;
  const char* what;
  // The file for size n.
  std::string (*make)(int n);
  // The option bits of the merge the shape is aimed at; the file is merged with itself when
  // `twice` is set (the clashes of names need a second input).
  int options;
  bool twice;
};

// Every shape: links sharing one GoTo action with a long destination, many references to one
// big dictionary in a kept annotation, one field listed many times with wide /Kids, one font key
// repeated in the form's /DR, many fields of one name, one long destination array used by many
// bookmarks, directly and through a name, one long indirect title used by many bookmarks, one
// /Annots array shared by many pages, structure trees deep and wide (with shared attributes,
// object references, clashing IDs and a long role map), marked-content ids far apart.
const std::vector<crafted_shape>& crafted_shapes();

} // namespace fixtures
