#pragma once
#include "base/unique_handle.h"
#include "graphics/canvas.h"
#include "install/install_status.h"
#include "ui/page_description.h"
#include "ui/palette.h"

#include <windows.h>
#include <oleacc.h>
#include <wrl/client.h>

#include <cstdint>
#include <memory>
#include <string_view>
#include <thread>

namespace elvara {

inline constexpr wchar_t installWorkerThreadName[] = L"ElvaraSound install";

// Everything the window, its pages and its worker share for one run of the wizard.
// It stays at one address for the whole run; the worker writes only InstallStatus.
struct WizardState : InstallStatus {
    WizardState() = default;
    WizardState(const WizardState&) = delete;
    WizardState& operator=(const WizardState&) = delete;
    ~WizardState();

    // Switches to the Installing page and starts the install worker thread.
    void execute();

    HWND licenceEdit = nullptr;
    // The licence shown, UTF-8; empty: the one embedded at build time (Product/EULA.txt).
    std::string_view licenceSource;
    UniqueFont licenceFont;
    UniqueBrush backgroundBrush;
    std::unique_ptr<Canvas> canvas;
    std::thread worker;
    std::int32_t page = Welcome;
    bool licenceAccepted = false;
    bool busy = false;
    bool animationsEnabled = true;
    // Windows' high-contrast state and its system colours, as last read (ui/appearance.h).
    bool highContrast = false;
    SystemColours systemColours;
    bool hoverPrimary = false;
    bool hoverBack = false;
    bool mouseTracked = false;
    float primaryHighlight = 0.0f;
    float backHighlight = 0.0f;
    std::uint64_t lastTick = 0;
    bool animationTimerRunning = false;
    std::uint32_t drawnProgress = 0;
    // The keyboard focus among the page's items, and whether its ring is drawn
    // (after keyboard use, not after mouse use).
    ItemKind focus = ItemKind::None;
    bool focusVisible = false;
    // The window's DPI: design units times dpi / 96 are pixels.
    unsigned dpi = 96;
    // The page's object for assistive technology; created at its first request.
    Microsoft::WRL::ComPtr<IAccessible> accessible;
};

enum class FolderPaths { Skip, Resolve };
// The current page's facts, each shared field read once; the install folders are
// looked up only when asked for (they may fail with "Windows install folder unavailable").
PageFacts readPageFacts(WizardState& record, FolderPaths folders);
inline std::vector<PageItem> describeCurrentPage(WizardState& record, FolderPaths folders)
{
    return describePage(readPageFacts(record, folders));
}

} // namespace elvara
