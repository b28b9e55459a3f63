// qpdf as the oracle of encrypted files.
#include "qpdf_encryption.h"

#include "../api/merge_tools.h"

#include <cstring>

namespace qpdf_oracle {
namespace {

std::vector<uint8_t> bytes_of(const testpdf::value* v) {
  if (v == nullptr || v->k != testpdf::value::kind::string) return {};
  return {v->text.begin(), v->text.end()};
}

std::string name_of(const testpdf::value* v) {
  return v != nullptr && v->k == testpdf::value::kind::name ? v->text : std::string();
}

// The text after "<label>" up to the end of its line.
std::string line_after(const std::string& text, const std::string& label) {
  const size_t at = text.find(label);
  if (at == std::string::npos) return {};
  const size_t start = at + label.size();
  const size_t end = text.find('\n', start);
  return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

std::optional<testpdf::value> shown_object(const std::string& path, const std::string& which) {
  const auto r = merge_tools::run("(qpdf --show-object=" + which + " " + merge_tools::quoted(path) +
                                  " 2>/dev/null)");
  size_t at = 0;
  if (r.status != 0 && r.status != 3) return std::nullopt;
  return testpdf::parse_value(r.output, at);
}

} // namespace

bool available() {
  return merge_tools::have_tool("qpdf");
}

std::string encrypt(const std::string& in, const std::string& out, const std::string& args,
                    const std::string& extra) {
  const auto r =
      merge_tools::run("qpdf --allow-weak-crypto " + extra + " " + merge_tools::quoted(in) +
                       " --encrypt " + args + " -- " + merge_tools::quoted(out));
  // 3: success with warnings.
  return r.status == 0 || r.status == 3 ? std::string() : r.output;
}

pdfcrypt::encrypt_dict dict_of(const testpdf::value& d) {
  pdfcrypt::encrypt_dict out;
  out.filter = name_of(d.get("Filter"));
  out.has_subfilter = d.get("SubFilter") != nullptr;
  if (const auto* v = d.get("V")) out.v = static_cast<int32_t>(v->integer());
  if (const auto* r = d.get("R")) out.r = static_cast<int32_t>(r->integer());
  if (const auto* len = d.get("Length")) out.length = static_cast<int32_t>(len->integer());
  // /P as written, signed or unsigned: its low 32 bits.
  if (const auto* p = d.get("P")) out.p = static_cast<int32_t>(static_cast<uint32_t>(p->integer()));
  out.o = bytes_of(d.get("O"));
  out.u = bytes_of(d.get("U"));
  out.oe = bytes_of(d.get("OE"));
  out.ue = bytes_of(d.get("UE"));
  out.perms = bytes_of(d.get("Perms"));
  if (const auto* m = d.get("EncryptMetadata")) out.encrypt_metadata = m->text != "false";
  if (const auto* cf = d.get("CF")) {
    for (const auto& [name, entry] : cf->entries) {
      pdfcrypt::crypt_filter_entry f{name, name_of(entry.get("CFM")), std::nullopt};
      if (const auto* len = entry.get("Length")) f.length = static_cast<int32_t>(len->integer());
      out.filters.push_back(std::move(f));
    }
  }
  out.stmf = name_of(d.get("StmF"));
  out.strf = name_of(d.get("StrF"));
  return out;
}

std::optional<encryption> read(const std::string& path, std::string& error) {
  const auto shown =
      merge_tools::run("qpdf --show-encryption-key --show-encryption " + merge_tools::quoted(path));
  encryption e;
  e.key_hex = line_after(shown.output, "Encryption key = ");
  if (e.key_hex.empty()) {
    error = "qpdf shows no key:\n" + shown.output;
    return std::nullopt;
  }
  e.stream_word = line_after(shown.output, "stream encryption method: ");
  e.string_word = line_after(shown.output, "string encryption method: ");
  const auto trailer = shown_object(path, "trailer");
  const testpdf::value* ref = trailer ? trailer->get("Encrypt") : nullptr;
  if (ref == nullptr || ref->k != testpdf::value::kind::ref) {
    error = "no /Encrypt reference in the trailer";
    return std::nullopt;
  }
  if (const auto* id = trailer->get("ID"); id != nullptr && !id->items.empty())
    e.id0 = bytes_of(&id->items[0]);
  if (const auto* info = trailer->get("Info"); info != nullptr) e.info_num = info->num;
  const auto dict = shown_object(path, std::to_string(ref->num));
  if (!dict || dict->k != testpdf::value::kind::dict) {
    error = "the /Encrypt dictionary does not parse";
    return std::nullopt;
  }
  e.dict = dict_of(*dict);
  return e;
}

std::string raw_stream(const std::string& path, int num) {
  // Warnings go elsewhere: only the data reaches the output.
  return merge_tools::run("(qpdf --show-object=" + std::to_string(num) + " --raw-stream-data " +
                          merge_tools::quoted(path) + " 2>/dev/null)")
      .output;
}

} // namespace qpdf_oracle
