// Renders the pages of the wizard off-screen, as the program draws them, into a folder:
// the pictures of the README. The Licence page is not among them: its licence text is a
// standard control, which only a screenshot of the window holds (docs/wizard/capture_licence.sh).
//   render_pages [--lang TAG] FOLDER        every page but Licence, in the language
//   render_pages --lang all FOLDER          the same for every language, into FOLDER\TAG
//   render_pages [--lang TAG] FOLDER TEXT   only the failure page with TEXT, as failure.png
//   render_pages [--lang TAG] FOLDER --high-contrast THEME.reg
//                                  every page in every state under a high-contrast theme whose
//                                  system colours THEME.reg holds (an export of
//                                  HKCU\Control Panel\Colors), as STATE.png
#include "app/installer.h"
#include "install/elevated_relaunch.h"
#include "install/install_worker.h"
#include "language/display_language.h"
#include "language/languages.h"
#include "ui/wizard_pages.h"
#include "unit/page_states.h"

#include <objbase.h>

#include <cstdio>
#include <functional>
#include <string>

using namespace elvara;

int wmain(int argc, wchar_t** argv)
{
    bool everyLanguage = false;
    if (argc >= 3 && std::wstring(argv[1]) == L"--lang") {
        everyLanguage = std::wstring(argv[2]) == L"all";
        const Language* language = everyLanguage ? &englishLanguage() : languageForTag(argv[2]);
        if (language == nullptr) {
            std::fputs("render_pages: unknown language\n", stderr);
            return 2;
        }
        setDisplayLanguage(*language);
        argv += 2;
        argc -= 2;
    }
    const bool highContrast = argc == 4 && std::wstring(argv[2]) == L"--high-contrast";
    if (argc != 2 && argc != 3 && !highContrast) {
        std::fputs("usage: render_pages [--lang TAG] FOLDER [FAILURE_TEXT | --high-contrast THEME.reg]\n", stderr);
        return 2;
    }
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    std::wstring folder = argv[1];
    if (highContrast) {
        try {
            const SystemColours colours = test::readColourScheme(argv[3]);
            Canvas canvas;
            for (const test::PageState& state : test::everyPageState()) {
                Installer record;
                record.highContrast = true;
                record.systemColours = colours;
                state.prepare(record);
                test::renderWizard(canvas, record, folder + L"\\" + state.name + L".png");
            }
        } catch (const std::exception& failure) {
            std::fprintf(stderr, "%s\n", failure.what());
            CoUninitialize();
            return 1;
        }
        CoUninitialize();
        return 0;
    }
    const auto render = [&](const wchar_t* name, const std::function<void(Installer&)>& prepare) {
        Installer record;
        prepare(record);
        Canvas canvas;
        canvas.renderToPng(folder + L"\\" + name + L".png", 780, 560,
                           [&](Canvas& target) { drawWizard(record, target); });
    };
    int status = 0;
    try {
        if (argc == 3) {
            render(L"failure", [&](Installer& r) {
                r.page = Finished;
                r.resultText = argv[2];
            });
            CoUninitialize();
            return 0;
        }
        for (const Language& language : languages()) {
            if (everyLanguage) {
                setDisplayLanguage(language);
                folder = std::wstring(argv[1]) + L"\\" + std::wstring(language.tag);
                CreateDirectoryW(folder.c_str(), nullptr);
            }
            render(L"1-welcome", [](Installer&) {});
            render(L"3-ready", [](Installer& r) { r.page = Ready; });
            render(L"4-installing", [](Installer& r) {
                r.page = Installing;
                r.progress = 64;
                r.animationsEnabled = false;
            });
            render(L"5-finished", [](Installer& r) {
                r.page = Finished;
                r.succeeded = true;
                r.resultText = installSuccessText;
            });
            render(L"6-needs-attention", [](Installer& r) {
                r.page = Finished;
                r.resultText = confirmationCancelledText;
            });
            if (!everyLanguage) break;
        }
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "%s\n", failure.what());
        status = 1;
    }
    CoUninitialize();
    return status;
}
