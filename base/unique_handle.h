#pragma once
// One move-only owner for every Win32 handle kind. Each kind is declared once, in
// one line below, with its close function and its empty value; no call site closes
// a handle itself.
#include <windows.h>
#include <bcrypt.h>
#include <objbase.h>

#include <cstdint>
#include <utility>

namespace elvara {

// Close: the function that releases a held value. EmptyValue: the bit pattern of
// "holds nothing" (0 for most kinds, -1 for INVALID_HANDLE_VALUE).
template <typename T, auto Close, std::intptr_t EmptyValue = 0>
class UniqueHandle {
public:
    using pointer = T;

    static pointer empty() noexcept { return reinterpret_cast<pointer>(EmptyValue); }

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
    explicit operator bool() const noexcept { return value_ != empty(); }

    void reset(pointer value = empty()) noexcept
    {
        pointer old = std::exchange(value_, value);
        if (old != empty()) Close(old);
    }
    pointer release() noexcept { return std::exchange(value_, empty()); }
    // For out-parameters: closes what is held and hands out the slot.
    pointer* put() noexcept
    {
        reset();
        return &value_;
    }

private:
    pointer value_ = empty();
};

// Plain functions rather than the system's imported ones: an import's address is
// not a constant that a template argument may hold.
namespace close_functions {
inline void handle(HANDLE value) noexcept { ::CloseHandle(value); }
inline void find(HANDLE value) noexcept { ::FindClose(value); }
inline void registryKey(HKEY value) noexcept { ::RegCloseKey(value); }
inline void sid(PSID value) noexcept { ::FreeSid(value); }
inline void gdiObject(HGDIOBJ value) noexcept { ::DeleteObject(value); }
inline void algorithmProvider(BCRYPT_ALG_HANDLE value) noexcept { ::BCryptCloseAlgorithmProvider(value, 0); }
inline void hashObject(BCRYPT_HASH_HANDLE value) noexcept { ::BCryptDestroyHash(value); }
inline void localMemory(HLOCAL value) noexcept { ::LocalFree(value); }
inline void coTaskMemory(PWSTR value) noexcept { ::CoTaskMemFree(value); }
inline void module(HMODULE value) noexcept { ::FreeLibrary(value); }
inline void mappedView(const void* value) noexcept { ::UnmapViewOfFile(value); }
inline void privateNamespace(HANDLE value) noexcept { ::ClosePrivateNamespace(value, 0); }
inline void boundaryDescriptor(HANDLE value) noexcept { ::DeleteBoundaryDescriptor(value); }
} // namespace close_functions

using UniqueFile = UniqueHandle<HANDLE, &close_functions::handle, -1>;
using UniqueFindHandle = UniqueHandle<HANDLE, &close_functions::find, -1>;
using UniqueKernelHandle = UniqueHandle<HANDLE, &close_functions::handle>;
using UniqueRegistryKey = UniqueHandle<HKEY, &close_functions::registryKey>;
using UniqueSid = UniqueHandle<PSID, &close_functions::sid>;
using UniqueFont = UniqueHandle<HFONT, &close_functions::gdiObject>;
using UniqueBrush = UniqueHandle<HBRUSH, &close_functions::gdiObject>;
using UniqueAlgorithmProvider = UniqueHandle<BCRYPT_ALG_HANDLE, &close_functions::algorithmProvider>;
using UniqueHashObject = UniqueHandle<BCRYPT_HASH_HANDLE, &close_functions::hashObject>;
using UniqueLocalMemory = UniqueHandle<HLOCAL, &close_functions::localMemory>;
using UniqueCoTaskString = UniqueHandle<PWSTR, &close_functions::coTaskMemory>;
using UniqueModule = UniqueHandle<HMODULE, &close_functions::module>;
using UniqueMappedView = UniqueHandle<const void*, &close_functions::mappedView>;
using UniquePrivateNamespace = UniqueHandle<HANDLE, &close_functions::privateNamespace>;
using UniqueBoundaryDescriptor = UniqueHandle<HANDLE, &close_functions::boundaryDescriptor>;

} // namespace elvara
