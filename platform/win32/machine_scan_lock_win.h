// One scan per machine: quellix.exe and quellix-scan.exe each hold a named
// mutex for their whole run, in the global namespace where there is one
// (NT 5.0 and later, so that a start-up script in session 0 and a user's
// window in session 1 see each other); on the 95 family and NT 4.0, whose
// kernels know no namespaces, under its plain name.
#pragma once

namespace platform {

class MachineScanLock {
public:
    MachineScanLock() = default;
    MachineScanLock(const MachineScanLock&) = delete;
    MachineScanLock& operator=(const MachineScanLock&) = delete;
    ~MachineScanLock();

    // True when this program now holds the lock; false when another holds it
    // (or made it with rights this program lacks).
    bool Take();

private:
    void* handle_ = nullptr;
};

// The mutex's name on this system.
const char* MachineScanLockName();

}  // namespace platform
