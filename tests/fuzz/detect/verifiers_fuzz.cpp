// The eight archive verifiers on fuzzed files.
#include "detect/variant_verifiers.h"
#include "tests/fuzz/detect/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static ScratchFile scratch;
    int fd = scratch.Hold(data, size);
    if (fd < 0)
        return 0;
    for (const VariantVerifier& v : VariantVerifierList)
        v.verify(fd);
    return 0;
}
