#include "app/help_mode.h"

#include "base/product.h"
#include "base/std_streams.h"
#include "language/help_output.h"
#include "ui/setup_texts.h"

#include <windows.h>

namespace elvara {

namespace {

constexpr SwitchHelp setupSwitches[] = {
    {L"(none)", L"the wizard: Welcome, Licence, Ready, then the installation"},
    {L"--quiet, /quiet, /S", L"installs without any window; the result on standard output, the exit code for tools"},
    {L"--scope machine|user", L"for all users (the default) or only for the user who runs it"},
    {L"--log FILE", L"appends a log of the run to FILE"},
    {L"--lang TAG, /LANG=TAG", languageMeaning},
    {L"--verify-only", L"checks the embedded package and prints one line; nothing is changed"},
    {L"--render-preview FILE.png", L"draws the first page into a PNG file"},
    {L"--perform", L"opens on the Installing page and installs at once"},
    {L"--version", L"prints the version"},
    {L"--help, /?", L"shows this help"},
};

// The name the program was started by: a download may have renamed it.
std::wstring ownFileName()
{
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    const std::wstring full(path, length);
    const std::size_t slash = full.find_last_of(L"\\/");
    return slash == std::wstring::npos ? full : full.substr(slash + 1);
}

} // namespace

int runHelpMode() { return showSwitchHelp(ownFileName(), setupSwitches, shown, L"ElvaraSound \u00B7 Setup"); }

int runVersionMode()
{
    writeStandardOutput(std::string(product::name) + " " + std::string(product::version) + "\n");
    return 0;
}

} // namespace elvara
