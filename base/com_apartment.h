#pragma once
#include <objbase.h>

namespace elvara {

// The single-threaded apartment of the main thread, entered once and left once on
// every path. Modes leave it before their Installer record is destroyed.
class ComApartment {
public:
    explicit ComApartment(bool enter = true) noexcept : entered_(enter)
    {
        if (enter) CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    }
    ~ComApartment() { leave(); }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

    void leave() noexcept
    {
        if (entered_) CoUninitialize();
        entered_ = false;
    }

private:
    bool entered_;
};

} // namespace elvara
