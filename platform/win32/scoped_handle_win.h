// Owning, move-only types for the Windows handle kinds: one template over a
// traits type that names the handle type, what counts as no handle, and the
// call that closes it. Every acquire gets its release in the owner's scope.
#pragma once

#include <windows.h>

#include <utility>

namespace platform {

template <class Traits>
class ScopedHandle {
public:
    using Type = typename Traits::Type;

    ScopedHandle() = default;
    explicit ScopedHandle(Type handle) : handle_(handle) {}
    ScopedHandle(ScopedHandle&& other) noexcept : handle_(other.Detach()) {}
    ScopedHandle& operator=(ScopedHandle&& other) noexcept {
        if (this != &other) Reset(other.Detach());
        return *this;
    }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;
    ~ScopedHandle() { Close(); }

    Type Get() const { return handle_; }
    explicit operator bool() const { return Traits::IsValid(handle_); }

    // For the API's out parameter; the handle held before is closed. Pass the
    // call's success to KeepIf: not every API leaves the parameter unset when
    // it fails, and what it left there is no handle to close.
    //   if (!key.KeepIf(RegOpenKeyExA(..., key.Receive()) == ERROR_SUCCESS)) ...
    Type* Receive() {
        Close();
        return &handle_;
    }
    // Keeps the received handle when succeeded, else forgets it unclosed;
    // returns succeeded.
    bool KeepIf(bool succeeded) {
        if (!succeeded) Detach();
        return succeeded;
    }
    // Takes ownership of handle; the one held before is closed.
    void Reset(Type handle = Traits::kNone) {
        Close();
        handle_ = handle;
    }
    // Gives the handle up without closing it.
    Type Detach() { return std::exchange(handle_, Traits::kNone); }
    // Closes now; true when a handle was held and its close call succeeded,
    // for the callers whose result depends on the close (a file's last write).
    bool Close() {
        Type handle = Detach();
        return Traits::IsValid(handle) && Traits::Close(handle);
    }

private:
    Type handle_ = Traits::kNone;
};

// Processes, threads, tokens, events and files. CreateFile fails with
// INVALID_HANDLE_VALUE, the others with null: neither is closed.
struct KernelHandleTraits {
    using Type = HANDLE;
    static constexpr HANDLE kNone = nullptr;
    static bool IsValid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static bool Close(HANDLE h) { return CloseHandle(h) != FALSE; }
};

// FindFirstFile's handle, closed with FindClose.
struct FindHandleTraits {
    using Type = HANDLE;
    static constexpr HANDLE kNone = nullptr;
    static bool IsValid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static bool Close(HANDLE h) { return FindClose(h) != FALSE; }
};

struct RegistryKeyTraits {
    using Type = HKEY;
    static constexpr HKEY kNone = nullptr;
    static bool IsValid(HKEY h) { return h != nullptr; }
    static bool Close(HKEY h) { return RegCloseKey(h) == ERROR_SUCCESS; }
};

struct ServiceHandleTraits {
    using Type = SC_HANDLE;
    static constexpr SC_HANDLE kNone = nullptr;
    static bool IsValid(SC_HANDLE h) { return h != nullptr; }
    static bool Close(SC_HANDLE h) { return CloseServiceHandle(h) != FALSE; }
};

// A module from LoadLibrary, freed with FreeLibrary.
struct ModuleTraits {
    using Type = HMODULE;
    static constexpr HMODULE kNone = nullptr;
    static bool IsValid(HMODULE h) { return h != nullptr; }
    static bool Close(HMODULE h) { return FreeLibrary(h) != FALSE; }
};

using KernelHandle = ScopedHandle<KernelHandleTraits>;
using FindHandle = ScopedHandle<FindHandleTraits>;
using RegistryKey = ScopedHandle<RegistryKeyTraits>;
using ServiceHandle = ScopedHandle<ServiceHandleTraits>;
using Module = ScopedHandle<ModuleTraits>;

}  // namespace platform
