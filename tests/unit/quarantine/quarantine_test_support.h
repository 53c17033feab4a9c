// Shared by the quarantine tests: a host drive whose C: keeps the records,
// and readers of what the records hold.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "platform/host/quarantine_io_control.h"
#include "tests/support/host_fixture.h"
#include "tools/samples/archive_sample.h"

class RecordsDriveTest : public HostDriveTest {
protected:
    void SetUp() override {
        HostDriveTest::SetUp();
        platform::host::SetRecordsDrive('C');
        platform::host::SetRecordFaultInjector(nullptr);
    }
    void TearDown() override {
        platform::host::SetRecordsDrive(0);
        platform::host::SetRecordFaultInjector(nullptr);
        HostDriveTest::TearDown();
    }

    std::string ReadHostFile(const std::string& hostPath) const {
        std::ifstream in(hostPath, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    void WriteBytes(const std::string& relative, const SampleBytes& bytes) {
        WriteFile(relative, std::string(bytes.begin(), bytes.end()));
    }

    // The log's lines without their CRLF (a line ending otherwise is kept whole).
    std::vector<std::string> LogLines() const {
        std::string text = ReadHostFile(HostPath("Quellix/Quellix.log"));
        std::vector<std::string> out;
        std::size_t start = 0;
        while (start < text.size()) {
            std::size_t end = text.find("\r\n", start);
            if (end == std::string::npos) {
                out.push_back(text.substr(start));
                break;
            }
            out.push_back(text.substr(start, end - start));
            start = end + 2;
        }
        return out;
    }

    // The IDs of the quarantine's items, sorted.
    std::vector<std::string> ItemIds() const {
        std::vector<std::string> ids;
        std::error_code ec;
        for (const auto& e :
             std::filesystem::directory_iterator(HostPath("Quellix/Quarantine"), ec)) {
            std::string name = e.path().filename().string();
            if (name.size() > 4 && name.substr(name.size() - 4) == ".qrn") {
                ids.push_back(name.substr(0, name.size() - 4));
            }
        }
        std::sort(ids.begin(), ids.end());
        return ids;
    }

    std::vector<std::string> QuarantineFiles() const {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& e :
             std::filesystem::directory_iterator(HostPath("Quellix/Quarantine"), ec)) {
            names.push_back(e.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }
};
