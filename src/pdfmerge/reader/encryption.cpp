// Opening an encrypted file before its object streams are expanded: the security handler is
// opened with the empty user password and every object-stream container decrypted in place, so
// that its members are then read as plain text.
#include "pdfmerge/reader/phases.h"

namespace pdfmerge {

void encryption_open(doc& d, text_indexes& ix) {
  crypt_open(d);
  if (!d.crypt) return;
  const name_hits& objstm = ix.names("ObjStm");
  for (obj_entry& e : d.objects)
    if (objstm_container(e, objstm)) crypt_stream_in_place(d, e);
}

} // namespace pdfmerge
