// One synthetic file of each detection kind the file scanners remove, against
// the shipped tables: an executable-table PE, an archive-table "PK" file, the
// encrypted ZIP and RAR the verifiers take, and a script file. For tests that
// follow every kind through removal and back.
#pragma once

#include <string>
#include <vector>

#include "tools/samples/archive_sample.h"

struct DetectionSample {
    std::string kind;           // "exe", "archive", "zip", "rar", "script"
    std::string detectionName;  // as the result line names it
    SampleBytes bytes;
};

// Every kind, in the order above; a kind whose sample cannot be made is left
// out (the shipped tables always allow all five).
std::vector<DetectionSample> DetectionSamples();
