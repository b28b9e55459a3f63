// The bytes that literal and hexadecimal string tokens stand for, and bytes written back as a
// hexadecimal string.
#pragma once

#include "pdfmerge/syntax/lexer.h"

#include <string>
#include <vector>

namespace pdfmerge {

// The bytes of the literal string whose '(' is at `open` and which closes before `close`
// (skip_literal_string's answer; -1 when it runs to the end of the text): escapes (n r t b f,
// octal, any other byte standing for itself), escaped line ends dropped, and CR or CR LF read
// as LF, as the format says.
void literal_string_value(bytes text, int32_t open, int32_t close, std::vector<uint8_t>& out);
// The bytes of the hexadecimal string whose '<' is at `open` and which closes before `close`
// (skip_hex_string's answer, or -1): other bytes skipped, an odd last digit followed by 0.
void hex_string_value(bytes text, int32_t open, int32_t close, std::vector<uint8_t>& out);
// Appends `value` as a hexadecimal string, "<...>" in lower case.
void append_hex_string(std::string& out, bytes value);

} // namespace pdfmerge
