#include "language/help_output.h"

#include "base/std_streams.h"

#include <windows.h>

namespace elvara {

int showSwitchHelp(std::wstring_view program, std::span<const SwitchHelp> switches, const Translate& translate,
                   std::wstring_view englishTitle)
{
    if (standardOutputRedirected()) {
        const std::wstring text = switchHelpText(program, switches, [](std::wstring_view english) { return std::wstring(english); },
                                                 false);
        const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
        std::string utf8(static_cast<std::size_t>(bytes > 0 ? bytes : 0), '\0');
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), bytes, nullptr, nullptr);
        writeStandardOutput(utf8);
        return 0;
    }
    const std::wstring text = switchHelpText(program, switches, translate, true);
    MessageBoxW(nullptr, text.c_str(), translate(englishTitle).c_str(), MB_OK | MB_ICONINFORMATION);
    return 0;
}

} // namespace elvara
