// Windows-only parts of the file seam.
#pragma once

namespace platform {

// Forgets the C runtime's 64-bit seek and length, as on a system whose
// msvcrt.dll lacks them, so that tests can run the fallback.
void UseOldRuntimeFileCallsForTests();

}  // namespace platform
