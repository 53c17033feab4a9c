// Makes one executable signature record from a sample PE file, reading its
// headers with the scanner's own readers so the record finds what the
// scanner will read.
#pragma once

#include <cstdint>
#include <string>

#include "detect/signature_record.h"

struct MakeRecordRequest {
    std::string samplePath;
    std::string name;
    std::int32_t sizeRule = SizeExact;
    bool offsetsGiven = false;
    std::int32_t offset1 = 0;
    std::int32_t offset2 = 0;
};

// Fills `record` (expectedSize is the sample's length) and checks that it
// detects the sample; otherwise returns false with the reason in `error`.
bool MakeRecordFromSample(const MakeRecordRequest& request, SignatureRecord& record,
                          std::string& error);
