// The whole per-file scan on fuzzed files, with a fuzzed table used both as
// the executable and the archive table: verifiers, archive walk with its
// windows, PE walk and removal; and the shipped archive table's walk.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "detect/executable_scanner.h"
#include "detect/file_reads.h"
#include "detect/variant_verifiers.h"
#include "platform/file_io.h"
#include "platform/host/host_control.h"
#include "state/program_state.h"
#include "tests/fuzz/detect/fuzz_input.h"
#include "tests/fuzz/fuzz_drive.h"

namespace {

// The scanner reads the head once for the verifiers and the archive walk;
// the long way, where each reads it again, must give the same: a member whose
// head test fails rejects, and both walks end alike.
void CheckHeadShortcut(const FuzzInput& in) {
    platform::ScopedFile file(platform::OpenReadBinary("C:\\sample.bin"));
    if (!file.IsOpen()) std::abort();
    std::uint8_t head[kArchiveHeadRead];
    int got = ReadAt(file.Get(), 0, head, sizeof head, sizeof head);
    if (got < 0) std::abort();
    const auto headLength = static_cast<std::size_t>(got);
    for (const VariantVerifier& v : VariantVerifierList) {
        if (v.verify(file.Get()) && !v.headMayPass(head, headLength)) std::abort();
    }
    const auto length = static_cast<std::int64_t>(in.fileSize);
    ArchiveWalkResult once =
        WalkArchiveTable(in.table.data(), file.Get(), length, head, headLength);
    ArchiveWalkResult again = WalkArchiveTable(in.table.data(), file.Get(), length);
    if (once.end != again.end || once.record != again.record) std::abort();
    // The shipped rows, whose windows lie up to 135 KB in and whose sizes
    // reach 184,896 bytes, the same both ways.
    ArchiveWalkResult shippedOnce =
        WalkArchiveTable(ArchiveSignatureTable, file.Get(), length, head, headLength);
    ArchiveWalkResult shippedAgain = WalkArchiveTable(ArchiveSignatureTable, file.Get(), length);
    if (shippedOnce.end != shippedAgain.end || shippedOnce.record != shippedAgain.record) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const char* root = FuzzDriveRoot();
    if (!root) return 0;
    platform::host::MapDrive('C', root);
    ScanState.MemoryScanMode = 0;

    FuzzInput in = SplitFuzzInput(data, size);
    std::string hostPath = std::string(root) + "/sample.bin";
    std::FILE* out = std::fopen(hostPath.c_str(), "wb");
    if (!out) return 0;
    if (in.fileSize > 0) std::fwrite(in.file, 1, in.fileSize, out);
    std::fclose(out);

    CheckHeadShortcut(in);
    ExecutableTableIndex index(in.table.data());
    ScannedFile file("C:\\sample.bin");
    ScanFileWithTables({&index, in.table.data()}, "W32/Bagle.Worm", file);
    return 0;
}
