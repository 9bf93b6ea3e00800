#pragma once
#include "app/unique_handle.h"
#include "graphics/canvas.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace elvara {

enum WizardPage : std::int32_t { Welcome = 0, Licence = 1, Ready = 2, Installing = 3, Finished = 4 };

// Posted once by the install worker after its last write to the result fields.
inline constexpr UINT WM_INSTALL_FINISHED = WM_APP + 1;

// The application record: one per process, shared through a pointer by the window,
// the pages, the worker and the relaunch. It stays at one address for the whole run.
struct Installer {
    Installer() = default;
    Installer(const Installer&) = delete;
    Installer& operator=(const Installer&) = delete;
    ~Installer();

    // Switches to the Installing page and starts the install worker thread.
    void execute();

    HWND window = nullptr;
    HWND licenceEdit = nullptr;
    UniqueFont licenceFont;
    UniqueBrush backgroundBrush;
    std::unique_ptr<Canvas> canvas;
    std::thread worker;
    std::mutex resultMutex;
    std::int32_t page = Welcome;
    bool licenceAccepted = false;
    std::atomic<std::uint32_t> progress{0};
    std::wstring resultText;
    bool busy = false;
    std::atomic<bool> succeeded{false};
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
