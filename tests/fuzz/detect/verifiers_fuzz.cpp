// The eight archive verifiers on fuzzed files.
#include <cstdlib>

#include "detect/signature_match.h"
#include "detect/variant_verifiers.h"
#include "tests/fuzz/detect/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static ScratchFile scratch;
    int fd = scratch.Hold(data, size);
    if (fd < 0) return 0;
    // The scanner asks a member only when its head test passes on the bytes
    // one read of the head gives: a member whose test fails must reject.
    const std::size_t head = size < kArchiveHeadRead ? size : kArchiveHeadRead;
    for (const VariantVerifier& v : VariantVerifierList) {
        if (v.verify(fd) && !v.headMayPass(data, head)) std::abort();
    }
    return 0;
}
