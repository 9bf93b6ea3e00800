// The uninstaller of ElvaraSound Livewire Edition, registered as the UninstallString
// of the setup program's uninstall entry.
//   Uninstall.exe [/S | --quiet]    exit code 0: removed (or nothing to remove), 1: failure
#include "base/command_line.h"
#include "base/executable_path.h"
#include "base/product.h"
#include "base/std_streams.h"
#include "base/unique_handle.h"
#include "install/install_locations.h"
#include "package/crypto.h"
#include "package/text.h"
#include "uninstall.h"

#include <windows.h>

#include <algorithm>
#include <string>

namespace {

const std::wstring title = std::wstring(elvara::product::wideName) + L" \u00B7 Uninstall";

void tell(bool silent, const std::wstring& text, bool problem)
{
    if (silent)
        elvara::writeStandardError(elvara::wideToUtf8(text) + "\n");
    else
        MessageBoxW(nullptr, text.c_str(), title.c_str(), MB_OK | (problem ? MB_ICONWARNING : MB_ICONINFORMATION));
}

bool confirmed(const elvara::InstallLocations& locations)
{
    const std::wstring question =
        L"Remove " + std::wstring(elvara::product::wideName) + L" from this computer?\n\n"
        L"This deletes the ElvaraSound VST3 plugin from\n" + locations.bundleFolder +
        L"\nthe licence, documents and this uninstaller from\n" + locations.productFolder +
        L"\nand its entry in Installed apps.\n\nFiles that you added to these folders yourself are kept. "
        L"Close your DAW before you continue.";
    return MessageBoxW(nullptr, question.c_str(), title.c_str(), MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES;
}

// Copies this program to a fresh private temporary folder and starts the copy to
// delete the installed Uninstall.exe once this process has ended.
void startSelfRemoval(const std::wstring& self, const std::wstring& productFolder)
{
    wchar_t temp[MAX_PATH + 1] = {};
    if (GetTempPathW(MAX_PATH, temp) == 0) return;
    const std::wstring folder =
        std::wstring(temp) + L"ElvaraSound-uninstall-" + elvara::utf8ToWide(elvara::toLowerHex(elvara::randomBytes(8)));
    if (!CreateDirectoryW(folder.c_str(), nullptr)) return;
    const std::wstring copy = folder + L"\\Uninstall.exe";
    if (!CopyFileW(self.c_str(), copy.c_str(), TRUE)) return;
    std::wstring commandLine = L"\"" + copy + L"\" --finish-removal " + std::to_wstring(GetCurrentProcessId()) +
                               L" \"" + productFolder + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (CreateProcessW(copy.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                       &startup, &process)) {
        elvara::UniqueKernelHandle child(process.hProcess);
        elvara::UniqueKernelHandle childThread(process.hThread);
    }
}

int run()
{
    const auto arguments = elvara::commandLineArguments();
    if (arguments.size() == 3 && arguments[0] == L"--finish-removal") {
        elvara::finishSelfRemoval(std::wcstoul(arguments[1].c_str(), nullptr, 10), arguments[2]);
        return 0;
    }
    const bool silent = std::any_of(arguments.begin(), arguments.end(),
                                    [](const std::wstring& a) { return a == L"/S" || a == L"--quiet"; });
    try {
        const elvara::InstallLocations locations = elvara::resolveInstallLocations();
        if (!silent && !confirmed(locations)) return 1;
        const std::wstring self = elvara::executablePath();
        const elvara::UninstallReport report = elvara::uninstallProduct(self);
        if (report.needsSelfRemoval) startSelfRemoval(self, locations.productFolder);
        std::wstring text;
        if (report.removedSomething && !report.failed) text = std::wstring(elvara::product::wideName) + L" was removed.";
        for (const std::wstring& message : report.messages) text += (text.empty() ? L"" : L"\n\n") + message;
        if (!text.empty() && (!silent || report.failed || !report.removedSomething)) tell(silent, text, report.failed);
        return report.failed ? 1 : 0;
    } catch (const std::exception& failure) {
        std::wstring text = std::wstring(elvara::product::wideName) + L" could not be removed: ";
        try {
            text += elvara::utf8ToWide(failure.what());
        } catch (...) {
        }
        tell(silent, text, true);
        return 1;
    }
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    // Uninstallers run elevated from a folder that users can reach: never load a DLL from it.
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    return run();
}
