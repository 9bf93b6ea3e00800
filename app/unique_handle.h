#pragma once
// One move-only owner for every Win32 handle kind. Each kind names its empty
// value and its close function once, here; no call site closes a handle itself.
#include <windows.h>
#include <bcrypt.h>
#include <objbase.h>

#include <utility>

namespace elvara {

template <typename Traits>
class UniqueHandle {
public:
    using pointer = typename Traits::type;

    UniqueHandle() noexcept = default;
    explicit UniqueHandle(pointer value) noexcept : value_(value) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : value_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept
    {
        if (this != &other) reset(other.release());
        return *this;
    }
    ~UniqueHandle() { reset(); }

    pointer get() const noexcept { return value_; }
    explicit operator bool() const noexcept { return value_ != Traits::empty(); }

    void reset(pointer value = Traits::empty()) noexcept
    {
        pointer old = std::exchange(value_, value);
        if (old != Traits::empty()) Traits::close(old);
    }
    pointer release() noexcept { return std::exchange(value_, Traits::empty()); }
    // For out-parameters: closes what is held and hands out the slot.
    pointer* put() noexcept
    {
        reset();
        return &value_;
    }

private:
    pointer value_ = Traits::empty();
};

struct FileHandleTraits {
    using type = HANDLE;
    static HANDLE empty() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(HANDLE h) noexcept { ::CloseHandle(h); }
};
struct FindHandleTraits {
    using type = HANDLE;
    static HANDLE empty() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(HANDLE h) noexcept { ::FindClose(h); }
};
struct KernelHandleTraits {
    using type = HANDLE;
    static HANDLE empty() noexcept { return nullptr; }
    static void close(HANDLE h) noexcept { ::CloseHandle(h); }
};
struct RegistryKeyTraits {
    using type = HKEY;
    static HKEY empty() noexcept { return nullptr; }
    static void close(HKEY h) noexcept { ::RegCloseKey(h); }
};
struct SidTraits {
    using type = PSID;
    static PSID empty() noexcept { return nullptr; }
    static void close(PSID h) noexcept { ::FreeSid(h); }
};
template <typename GdiObject>
struct GdiObjectTraits {
    using type = GdiObject;
    static GdiObject empty() noexcept { return nullptr; }
    static void close(GdiObject h) noexcept { ::DeleteObject(h); }
};
struct AlgorithmProviderTraits {
    using type = BCRYPT_ALG_HANDLE;
    static BCRYPT_ALG_HANDLE empty() noexcept { return nullptr; }
    static void close(BCRYPT_ALG_HANDLE h) noexcept { ::BCryptCloseAlgorithmProvider(h, 0); }
};
struct LocalMemoryTraits {
    using type = HLOCAL;
    static HLOCAL empty() noexcept { return nullptr; }
    static void close(HLOCAL h) noexcept { ::LocalFree(h); }
};
struct CoTaskMemoryTraits {
    using type = PWSTR;
    static PWSTR empty() noexcept { return nullptr; }
    static void close(PWSTR p) noexcept { ::CoTaskMemFree(p); }
};

using UniqueFile = UniqueHandle<FileHandleTraits>;
using UniqueFindHandle = UniqueHandle<FindHandleTraits>;
using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;
using UniqueRegistryKey = UniqueHandle<RegistryKeyTraits>;
using UniqueSid = UniqueHandle<SidTraits>;
using UniqueFont = UniqueHandle<GdiObjectTraits<HFONT>>;
using UniqueBrush = UniqueHandle<GdiObjectTraits<HBRUSH>>;
using UniqueAlgorithmProvider = UniqueHandle<AlgorithmProviderTraits>;
using UniqueLocalMemory = UniqueHandle<LocalMemoryTraits>;
using UniqueCoTaskString = UniqueHandle<CoTaskMemoryTraits>;

} // namespace elvara
