#pragma once
#include "base/unique_handle.h"
#include "graphics/canvas.h"
#include "install/install_status.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <thread>

namespace elvara {

enum WizardPage : std::int32_t { Welcome = 0, Licence = 1, Ready = 2, Installing = 3, Finished = 4 };

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
    UniqueFont licenceFont;
    UniqueBrush backgroundBrush;
    std::unique_ptr<Canvas> canvas;
    std::thread worker;
    std::int32_t page = Welcome;
    bool licenceAccepted = false;
    bool busy = false;
    bool animationsEnabled = true;
    bool hoverPrimary = false;
    bool hoverBack = false;
    bool mouseTracked = false;
    float primaryHighlight = 0.0f;
    float backHighlight = 0.0f;
    std::uint64_t lastTick = 0;
    std::uint32_t drawnProgress = 0;
};

} // namespace elvara
