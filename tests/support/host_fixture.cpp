#include "tests/support/host_fixture.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "scan/report_channel.h"
#include "state/program_state.h"

namespace fs = std::filesystem;

void ResetScanGlobals(bool memoryPhaseOver) {
    ResetProgramState();
    if (memoryPhaseOver) ScanState.MemoryScanMode = 0;
}

void HostDriveTest::SetUp() {
    char templ[] = "/tmp/quellix-test-XXXXXX";
    ASSERT_NE(mkdtemp(templ), nullptr);
    root_ = templ;
    platform::host::ResetHostControls();
    platform::host::MapDrive('C', root_);
    ResetScanGlobals();
    static int sinkTag;
    ReportWindow = &sinkTag;
    platform::host::SetMessageSink([this](platform::WindowRef, unsigned message) {
        if (message == MSG_ADD_RESULT) lines.emplace_back(LineBuffer);
        if (message == MSG_SET_STATUS) statuses.emplace_back(StatusBuffer);
    });
}

void HostDriveTest::TearDown() {
    platform::host::ResetHostControls();
    ResetScanGlobals();
    std::error_code ec;
    fs::remove_all(root_, ec);
}

std::string HostDriveTest::HostPath(const std::string& relative) const {
    std::string p = relative;
    for (char& c : p) {
        if (c == '\\') c = '/';
    }
    return root_ + "/" + p;
}

void HostDriveTest::WriteFile(const std::string& relative, const std::string& content) {
    std::string path = HostPath(relative);
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary);
    out << content;
}

void HostDriveTest::MakeDirectory(const std::string& relative) {
    fs::create_directories(HostPath(relative));
}

bool HostDriveTest::FileExists(const std::string& relative) const {
    return fs::exists(HostPath(relative));
}
