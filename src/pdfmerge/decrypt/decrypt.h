// Encrypted documents that open with the empty user password: reading the /Encrypt record,
// opening it, and decrypting what the reader and the writer use. Object-stream containers are
// decrypted in place while loading, before they are expanded; the other streams in place
// before a merge; strings as their objects are copied, written back as hexadecimal strings.
#pragma once

#include "crypt/security_handler.h"
#include "pdfmerge/document/document.h"

#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace pdfmerge {

// ---------------------------------------------------------------- the /Encrypt record

struct encrypt_record {
  pdfcrypt::encrypt_dict dict;
  std::vector<uint8_t> id0; // the first element of the trailer's /ID; empty when absent
  int32_t num = -1;         // the dictionary's object, -1 when it is written in the trailer
};

// The record that the trailer at d.encrypt_trailer names, read with the objects of the file
// itself (the record is never inside an object stream); nullopt when no dictionary is found.
std::optional<encrypt_record> encrypt_record_read(const doc& d);

// ---------------------------------------------------------------- an opened document

struct doc_crypt {
  pdfcrypt::file_crypt fc;
  int32_t encrypt_num = -1; // the /Encrypt dictionary's object: never decrypted
  // The plain data range of every stream decrypted in place, by its first data start: each
  // range is decrypted once.
  std::unordered_map<int32_t, std::pair<int32_t, int32_t>> decrypted;
  // (start, table position) of every object of the file, by start; built on first use.
  std::vector<std::pair<int32_t, int32_t>> owners;
};

// For an encrypted file (d.encrypted), after object discovery: opens the standard security
// handler with the empty user password and, when it opens, sets d.crypt. A file that does not
// open keeps d.crypt empty and is refused by the loader.
void crypt_open(doc& d);
// Decrypts the data of stream `e` in place, once per data range, with the method its
// dictionary asks for; its data range becomes that of the plain text. The reader decrypts the
// object-stream containers so before it expands them.
void crypt_stream_in_place(doc& d, obj_entry& e);

// Before a merge: decrypts every stream of the table in place (its data range moves for AES),
// except cross-reference streams, streams whose crypt filter is /Identity or unknown, and
// /Metadata kept in clear. Nothing for a document without d.crypt.
void crypt_streams_decrypt(doc& d);

// True when stream `e` names a /Crypt filter first and that filter is one the document knows:
// its data is then plain once the streams are decrypted (or was never encrypted, /Identity),
// so the filter no longer applies to it.
bool crypt_filter_undone(const doc& d, const obj_entry& e);
// The dictionary text `dict` of stream `e`, as written to an output without encryption: when
// crypt_filter_undone, its /Crypt filter is taken out of /Filter together with the /DecodeParms
// entry that belongs to it (a /Filter or /DecodeParms left empty goes whole).
void crypt_filter_drop(const doc& d, const obj_entry& e, std::string& dict);

// The text of object `e` (its dictionary or body) with every string decrypted and written as
// a hexadecimal string; `text` itself when nothing is to be decrypted (no encryption,
// object-stream members, cross-reference streams, the /Encrypt dictionary).
bytes strings_decrypted(const doc& d, const obj_entry& e, bytes text, std::string& storage);
// The same for text that lies somewhere in the document: the object holding it decides.
bytes strings_decrypted_at(const doc& d, bytes text, std::string& storage);

} // namespace pdfmerge
