#include "tools/sigtool/compile_command.h"

#include <cstdio>
#include <vector>

#include "tools/sigtool/signature_text.h"

namespace {

bool IsIdentifier(const std::string& s) {
    if (s.empty() || (s[0] >= '0' && s[0] <= '9')) return false;
    for (char c : s) {
        const bool ok =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
        if (!ok) return false;
    }
    return true;
}

void AppendBytes(std::string& out, const std::uint8_t* bytes) {
    char buf[8];
    out += '{';
    for (int i = 0; i < kPatternSize; ++i) {
        std::snprintf(buf, sizeof buf, i ? ",0x%02x" : "0x%02x", bytes[i]);
        out += buf;
    }
    out += '}';
}

// Names are printable ASCII; only the quote and the backslash need escaping.
void AppendName(std::string& out, const char* name) {
    out += '"';
    for (int i = 0; i < kDetectionNameSize && name[i] != 0; ++i) {
        if (name[i] == '"' || name[i] == '\\') out += '\\';
        out += name[i];
    }
    out += '"';
}

}  // namespace

int CompileSignatureText(const std::string& inputPath, const std::string& outputPath,
                         const std::string& symbol) {
    if (!IsIdentifier(symbol)) {
        std::fprintf(stderr, "quellix-sigtool: '%s' is not a C++ identifier\n", symbol.c_str());
        return 2;
    }
    std::vector<SignatureRecord> records;
    std::string error;
    if (!ReadSignatureText(inputPath, records, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    std::string out;
    out.reserve(records.size() * 320 + 512);
    out += "// Built from " + inputPath + " by quellix-sigtool compile; edit that file.\n";
    out += "#include \"detect/signature_record.h\"\n\n";
    out += "extern const SignatureRecord " + symbol + "[] = {\n";
    char num[64];
    for (const SignatureRecord& r : records) {
        out += "    {";
        AppendName(out, r.detectionName);
        std::snprintf(num, sizeof num, ", %ld, ", static_cast<long>(r.offset1));
        out += num;
        AppendBytes(out, r.pattern1);
        std::snprintf(num, sizeof num, ", %ld, ", static_cast<long>(r.offset2));
        out += num;
        AppendBytes(out, r.pattern2);
        std::snprintf(num, sizeof num, ", %ld, %ld},\n", static_cast<long>(r.expectedSize),
                      static_cast<long>(r.sizeRule));
        out += num;
    }
    out += "    {},  // the terminator: 108 zero bytes\n};\n";

    // Write to a side file first so an interrupted build never leaves half a table.
    const std::string temp = outputPath + ".tmp";
    std::FILE* f = std::fopen(temp.c_str(), "wb");
    if (f == nullptr) {
        std::fprintf(stderr, "quellix-sigtool: cannot write %s\n", temp.c_str());
        return 1;
    }
    const bool written = std::fwrite(out.data(), 1, out.size(), f) == out.size();
    if (std::fclose(f) != 0 || !written) {
        std::remove(temp.c_str());
        std::fprintf(stderr, "quellix-sigtool: cannot write %s\n", temp.c_str());
        return 1;
    }
    std::remove(outputPath.c_str());  // rename does not replace on Windows
    if (std::rename(temp.c_str(), outputPath.c_str()) != 0) {
        std::remove(temp.c_str());
        std::fprintf(stderr, "quellix-sigtool: cannot write %s\n", outputPath.c_str());
        return 1;
    }
    return 0;
}
