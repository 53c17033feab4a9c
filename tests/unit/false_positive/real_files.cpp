#include "tests/unit/false_positive/real_files.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <iostream>

#include "detect/executable_scanner.h"
#include "detect/pe_reader.h"
#include "detect/signature_record.h"
#include "platform/file_io.h"
#include "state/program_state.h"

namespace {

bool EndsWithNoCase(const std::string& s, const std::string& tail) {
    if (s.size() < tail.size()) return false;
    return std::equal(tail.begin(), tail.end(), s.end() - tail.size(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) ==
               std::tolower(static_cast<unsigned char>(b));
    });
}

}  // namespace

std::vector<fs::path> FindPeFiles(const std::vector<fs::path>& roots) {
    std::vector<fs::path> found;
    for (const auto& root : roots) {
        std::error_code ec;
        if (!fs::is_directory(root, ec)) continue;
        for (fs::recursive_directory_iterator
                 it(root, fs::directory_options::skip_permission_denied, ec),
             end;
             it != end; it.increment(ec)) {
            if (ec) break;
            const auto status = it->symlink_status(ec);
            if (ec || !fs::is_regular_file(status)) continue;
            const std::string name = it->path().filename().string();
            if (EndsWithNoCase(name, ".exe") || EndsWithNoCase(name, ".dll")) {
                found.push_back(it->path());
            }
        }
    }
    std::sort(found.begin(), found.end());
    return found;
}

int RunTool(const fs::path& dir, const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        int devnull = open("/dev/null", O_RDWR);
        if (devnull >= 0) {
            dup2(devnull, 0);
            dup2(devnull, 1);
            dup2(devnull, 2);
        }
        if (chdir(dir.c_str()) != 0) _exit(126);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

bool HaveTool(const std::string& name) {
    return RunTool(fs::temp_directory_path(), {"sh", "-c", "command -v " + name}) == 0;
}

std::set<std::int64_t> ExecutableRecordSizes() {
    std::set<std::int64_t> sizes;
    for (const SignatureRecord* r = ExecutableSignatureTable; r->detectionName[0] != '\0'; ++r) {
        // Every shipped record is SizeExact; another rule would not select by length.
        if (r->sizeRule == SizeExact) sizes.insert(r->expectedSize);
    }
    return sizes;
}

std::int64_t NextExecutableRecordSize(std::int64_t length) {
    static const std::set<std::int64_t> sizes = ExecutableRecordSizes();
    auto it = sizes.lower_bound(length);
    return it == sizes.end() ? -1 : *it;
}

ScanOutcome RealFileDrive::Scan(const std::string& name) {
    const std::string windowsPath = "C:\\" + name;
    const std::size_t before = lines.size();
    ScanOutcome outcome;
    ScannedFile file(windowsPath.c_str());
    outcome.result = ScanExecutableFile("W32/Bagle.Worm", file);
    outcome.lines.assign(lines.begin() + static_cast<std::ptrdiff_t>(before), lines.end());
    outcome.stillThere = FileExists(name);
    return outcome;
}

ScanOutcome RealFileDrive::ScanCopy(const fs::path& source, const std::string& name) {
    fs::copy_file(source, HostPath(name), fs::copy_options::overwrite_existing);
    return Scan(name);
}

namespace {

std::string Explain(const ScanOutcome& o) {
    std::string s = "result " + std::to_string(o.result);
    for (const auto& line : o.lines) s += ", line \"" + line + "\"";
    if (!o.stillThere) s += ", file gone";
    return s;
}

bool Clean(const ScanOutcome& o) {
    return o.result == 0 && o.lines.empty() && o.stillThere;
}

}  // namespace

PeSweep RealPeSweep::Sweep(const std::vector<fs::path>& files) {
    static const std::set<std::int64_t> sizes = ExecutableRecordSizes();
    PeSweep sweep;
    int index = 0;
    for (const auto& source : files) {
        // A numbered name: system32 and syswow64 share file names.
        const std::string name = std::to_string(index++) + "_" + source.filename().string();
        ScanOutcome outcome = ScanCopy(source, name);
        ++sweep.files;
        if (!Clean(outcome)) {
            sweep.failures.push_back(source.string() + ": " + Explain(outcome));
            continue;
        }
        const std::int64_t length = static_cast<std::int64_t>(fs::file_size(HostPath(name)));
        {
            // The same readers as the scanner, to tell which path the file took.
            platform::ScopedFile file(platform::OpenReadBinary(("C:\\" + name).c_str()));
            if (file.IsOpen() && ReadPeSignature(file.Get())) {
                ++sweep.peFiles;
                if (ReadPeSections(file.Get())) {
                    ++sweep.tableWalked;
                    if (sizes.count(length)) ++sweep.sizeHits;
                }
            }
        }
        const std::int64_t padded = NextExecutableRecordSize(length);
        if (padded > length) {
            fs::resize_file(HostPath(name), static_cast<std::uintmax_t>(padded));
            outcome = Scan(name);
            ++sweep.paddedToRecordSize;
            if (!Clean(outcome)) {
                sweep.failures.push_back(source.string() + " lengthened to " +
                                         std::to_string(padded) + ": " + Explain(outcome));
            }
        }
        fs::remove(HostPath(name));
    }
    return sweep;
}

void RealPeSweep::Describe(const char* what, const PeSweep& sweep) {
    std::cout << what << ": " << sweep.files << " files, " << sweep.peFiles << " PE, "
              << sweep.tableWalked << " through the executable walk, " << sweep.sizeHits
              << " at a record's length, " << sweep.paddedToRecordSize
              << " lengthened to a record's length and scanned again\n";
}
