// The text form of the signature sets: one record a line,
//   name|offset1|pattern1|offset2|pattern2|expectedSize|sizeRule
// with each pattern as 40 hex digits (the 20 compared bytes; the 21st byte
// is always 0), offsets and size in decimal. Blank lines and lines starting
// with # are ignored. The 108-byte record is rebuilt from it byte for byte.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "detect/signature_record.h"

// Parses one line; on failure returns false and says why in `error`.
// A comment or blank line returns true with `isRecord` false.
bool ParseSignatureLine(const std::string& line, SignatureRecord& record, bool& isRecord,
                        std::string& error);

// The line for a record, without the newline.
std::string FormatSignatureLine(const SignatureRecord& record);

// Reads a whole text source. On the first bad line returns false with
// "path:line: reason" in `error`.
bool ReadSignatureText(const std::string& path, std::vector<SignatureRecord>& records,
                       std::string& error);

// Writes `header` (each line prefixed with "# ") and then one line per record.
bool WriteSignatureText(const std::string& path, const std::vector<std::string>& header,
                        const std::vector<SignatureRecord>& records);
