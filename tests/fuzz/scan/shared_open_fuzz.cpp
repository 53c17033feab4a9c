// The file scanners as the walker runs them, one open shared by both, against
// each scanner opening the path itself, and against one open whose every
// read is an exact read (no head or tail block): for any file that does not
// change during the scan all three must give the same result lines, counts
// and outcome for the file. Input: byte 0 a run of zero bytes put in the middle of the
// file in 577-byte units (the script fuzzer's layout, so its seeds serve
// here too); byte 1 bit 0 makes every delete fail, so a finding stays and the
// second scanner looks at it again; then the file's head and tail halves.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/host/host_control.h"
#include "scan/file_scanner_list.h"
#include "scan/report_channel.h"
#include "scan/scanned_file.h"
#include "state/program_state.h"
#include "tests/fuzz/fuzz_drive.h"

namespace {

constexpr std::size_t kGapUnit = 577;
constexpr char kPath[] = "C:\\sample.bin";

struct Outcome {
    std::vector<std::string> lines;
    int infected = 0;
    int removed = 0;
    int restart = 0;
    bool fileLeft = false;

    bool operator==(const Outcome& o) const {
        return lines == o.lines && infected == o.infected && removed == o.removed &&
               restart == o.restart && fileLeft == o.fileLeft;
    }
};

std::vector<std::string>* collected = nullptr;
int sinkTag;

template <typename Scan>
Outcome Run(const std::string& bytes, bool deletesFail, Scan scan) {
    const std::string hostPath = std::string(FuzzDriveRoot()) + "/sample.bin";
    std::FILE* out = std::fopen(hostPath.c_str(), "wb");
    if (!out) std::abort();
    std::fwrite(bytes.data(), 1, bytes.size(), out);
    std::fclose(out);

    ResetProgramState();
    ScanState.MemoryScanMode = 0;
    ReportWindow = &sinkTag;
    Outcome outcome;
    collected = &outcome.lines;
    platform::host::SetFaultInjector([deletesFail](platform::host::FileOperation op, const char*) {
        return deletesFail && op == platform::host::FileOperation::Delete;
    });
    scan();
    platform::host::SetFaultInjector(nullptr);
    collected = nullptr;
    outcome.infected = ScanState.FilesInfected;
    outcome.removed = ScanState.FilesRemoved;
    outcome.restart = ScanState.RestartNeeded;
    outcome.fileLeft = access(hostPath.c_str(), F_OK) == 0;
    return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool ready = [] {
        if (!FuzzDriveRoot()) return false;
        platform::host::MapDrive('C', FuzzDriveRoot());
        platform::host::SetMessageSink([](platform::WindowRef, unsigned message) {
            if (message == MSG_ADD_RESULT && collected) collected->emplace_back(LineBuffer);
        });
        return true;
    }();
    if (!ready || size < 2) return 0;
    const std::size_t gap = data[0] * kGapUnit;
    const bool deletesFail = (data[1] & 1) != 0;
    const char* file = reinterpret_cast<const char*>(data + 2);
    const std::size_t fileSize = size - 2;
    const std::size_t half = fileSize / 2;
    std::string bytes(file, half);
    bytes.append(gap, '\0');
    bytes.append(file + half, fileSize - half);

    const Outcome shared = Run(bytes, deletesFail, [] { RunFileScanners(kPath); });
    const Outcome own = Run(bytes, deletesFail, [] {
        for (const FileScannerEntry* s = FileScannerList; s->scanner; ++s) {
            ScannedFile file(kPath);
            if (s->scanner(s->defaultName, file) != 0) break;
        }
    });
    const Outcome exact = Run(bytes, deletesFail, [] {
        ScannedFile file(kPath, ScannedFile::Reads::Exact);
        for (const FileScannerEntry* s = FileScannerList; s->scanner; ++s) {
            if (s->scanner(s->defaultName, file) != 0) break;
        }
    });
    if (!(shared == own) || !(shared == exact)) std::abort();
    return 0;
}
