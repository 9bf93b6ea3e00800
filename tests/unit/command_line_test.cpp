#include "app/command_line.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <random>

using namespace elvara;

namespace {

// Splits a command line the way the entry point does, through the platform itself.
std::vector<std::wstring> split(const std::wstring& commandLine)
{
    int count = 0;
    LPWSTR* words = CommandLineToArgvW(commandLine.c_str(), &count);
    std::vector<std::wstring> arguments;
    for (int i = 1; i < count; ++i) arguments.emplace_back(words[i]);
    LocalFree(words);
    return arguments;
}

// The mode selection restated from the definition, for the random cases.
// Switches are whole words in any letter case.
std::wstring lowered(std::wstring word)
{
    for (wchar_t& c : word)
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c + (L'a' - L'A'));
    return word;
}

bool isSwitchWord(const std::wstring& word)
{
    for (const wchar_t* known : {L"--verify-only", L"--render-preview", L"--perform", L"--quiet", L"/quiet", L"/s",
                                 L"--log", L"--scope", L"--elevated-copy", L"--report-pipe", L"--finish-removal"})
        if (lowered(word) == known) return true;
    return false;
}

// A value is the next word unless that is empty or a switch.
RunMode expectedMode(const std::vector<std::wstring>& arguments)
{
    for (const auto& word : arguments)
        if (lowered(word) == L"--verify-only") return RunMode::Verification;
    for (std::size_t i = 0; i + 1 < arguments.size(); ++i)
        if (lowered(arguments[i]) == L"--render-preview" && !arguments[i + 1].empty() && !isSwitchWord(arguments[i + 1]))
            return RunMode::Preview;
    for (const auto& word : arguments)
        if (lowered(word) == L"--quiet" || lowered(word) == L"/quiet" || lowered(word) == L"/s") return RunMode::Quiet;
    return RunMode::Windowed;
}

} // namespace

TEST(CommandLine, ModeSelection)
{
    struct Case {
        const wchar_t* line;
        RunMode mode;
        bool perform;
        bool refused = false;
    };
    const Case cases[] = {
        {L"setup.exe", RunMode::Windowed, false},
        {L"setup.exe --verify-only", RunMode::Verification, false},
        {L"setup.exe --render-preview out.png --verify-only", RunMode::Verification, false},
        {L"setup.exe --perform --verify-only", RunMode::Verification, true},
        {L"setup.exe --render-preview out.png", RunMode::Preview, false},
        {L"setup.exe --render-preview \"C:\\with space\\out.png\"", RunMode::Preview, false},
        {L"setup.exe --render-preview out.png --perform", RunMode::Preview, true},
        {L"setup.exe --perform", RunMode::Windowed, true},
        {L"setup.exe --Perform", RunMode::Windowed, true},
        {L"setup.exe \"--perform \"", RunMode::Windowed, false, true},
        {L"setup.exe --performx", RunMode::Windowed, false, true},
        {L"setup.exe --VERIFY-ONLY", RunMode::Verification, false},
        {L"setup.exe \"\" --verify-only", RunMode::Verification, false},
        {L"setup.exe /S", RunMode::Quiet, false},
        {L"setup.exe --perform --quiet", RunMode::Quiet, true},
        {L"setup.exe --quiet --log C:\\setup.log", RunMode::Quiet, false},
        {L"setup.exe --quiet --verify-only", RunMode::Verification, false},
        {L"setup.exe --log --render-preview out.png", RunMode::Preview, false, true},
        {L"setup.exe /s", RunMode::Quiet, false},
        {L"setup.exe /quiet", RunMode::Quiet, false},
        {L"setup.exe /QUIET", RunMode::Quiet, false},
        {L"setup.exe --QUIET", RunMode::Quiet, false},
    };
    for (const Case& c : cases) {
        const auto arguments = split(c.line);
        EXPECT_EQ(selectRunMode(arguments), c.mode) << c.line;
        EXPECT_EQ(hasPerformSwitch(arguments), c.perform) << c.line;
        // A switch is a whole word: one with more in it is a word that Setup refuses.
        EXPECT_EQ(commandLineError(arguments).has_value(), c.refused) << c.line;
    }
}

TEST(CommandLine, HostileArgumentListsPickTheDefinedMode)
{
    const unsigned seed = 20261210;
    std::printf("hostile command lines: seed %u\n", seed);
    std::mt19937 random(seed);
    const std::wstring pieces[] = {L"--verify-only", L"--render-preview", L"--perform", L"", L"\"", L"\\", L" ",
                                   L"--", L"-", L"x", L"\xD800", L"\xDC00", L"\u00B7", L"--verify-onlyx",
                                   L"--perform\t", std::wstring(40000, L'a'), L"\"\"", L"C:\\out.png",
                                   L"--quiet", L"/S", L"/s", L"/quiet", L"/Quiet"};
    for (int round = 0; round < 3000; ++round) {
        std::vector<std::wstring> arguments(random() % 5);
        for (auto& word : arguments) {
            const int parts = static_cast<int>(random() % 3);
            for (int p = 0; p < parts; ++p) word += pieces[random() % std::size(pieces)];
        }
        EXPECT_EQ(selectRunMode(arguments), expectedMode(arguments));
        // The same words through a real command line and the platform's splitting.
        std::wstring line = L"setup.exe";
        for (const auto& word : arguments) line += L" " + word;
        const auto reparsed = split(line);
        EXPECT_EQ(selectRunMode(reparsed), expectedMode(reparsed));
    }
}
