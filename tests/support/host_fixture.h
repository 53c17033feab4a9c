// A throwaway drive for native tests: a temporary directory mapped as a fixed
// drive, a report sink that records every line and status text, and a clean
// ScanState and reporting state for each test.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/host/host_control.h"

class HostDriveTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Host path of the drive's root folder, and of a Windows-relative path in it.
    const std::string& Root() const { return root_; }
    std::string HostPath(const std::string& relative) const;

    // Creates a file (and its folders) under the drive root with the content given.
    void WriteFile(const std::string& relative, const std::string& content = "x");
    void MakeDirectory(const std::string& relative);
    bool FileExists(const std::string& relative) const;

    std::vector<std::string> lines;     // every MSG_ADD_RESULT, in order
    std::vector<std::string> statuses;  // every MSG_SET_STATUS, in order

private:
    std::string root_;
};

// Puts the program-wide scan and reporting state back to its start values,
// with the memory phase over (MemoryScanMode 0) unless told otherwise.
void ResetScanGlobals(bool memoryPhaseOver = true);
