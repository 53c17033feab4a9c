// Seeds for the header fuzzer: whole headers of several shapes, and a full
// item, made by the encoder itself. Usage: make_seeds DIR
#include <cstdio>
#include <cstring>
#include <string>

#include "quarantine/quarantine_record.h"
#include "tests/fuzz/seed_file.h"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const std::string dir = argv[1];
    QuarantineHeader h;
    h.originalSize = 21000;
    h.time = {2026, 12, 10, 16, 30, 5};
    std::strcpy(h.id, "20261210-163005-01");
    std::strcpy(h.detectionName, "W32/Bagle.H.Worm");
    std::strcpy(h.originalPath, "C:\\Documents and Settings\\me\\notes");
    std::uint8_t header[kQuarantineHeaderSize];
    EncodeQuarantineHeader(h, header);
    std::uint8_t item[kQuarantineHeaderSize + 64];
    std::memcpy(item, header, sizeof header);
    for (std::size_t i = 0; i < 64; ++i) item[sizeof header + i] = static_cast<std::uint8_t>(i);
    NeutraliseBytes(item + sizeof header, 64, 0);
    bool ok = WriteSeedFile(dir + "/item", item, sizeof item);
    EncodeQuarantineHeader(QuarantineHeader{}, header);
    ok = WriteSeedFile(dir + "/empty-fields", header, sizeof header) && ok;
    std::memset(h.originalPath, 'P', sizeof h.originalPath - 1);
    std::memset(h.detectionName, 'N', sizeof h.detectionName - 1);
    EncodeQuarantineHeader(h, header);
    ok = WriteSeedFile(dir + "/full-fields", header, sizeof header) && ok;
    return ok ? 0 : 1;
}
