#include "app/command_line.h"
#include "app/exit_codes.h"

#include <gtest/gtest.h>

using namespace elvara;

TEST(RunModeSelection, Table)
{
    const struct {
        std::vector<std::wstring> arguments;
        RunMode mode;
        bool perform;
    } rows[] = {
        {{}, RunMode::Windowed, false},
        {{L"--verify-only"}, RunMode::Verification, false},
        {{L"--render-preview", L"out.png", L"--verify-only"}, RunMode::Verification, false},
        {{L"--render-preview", L"out.png"}, RunMode::Preview, false},
        {{L"--render-preview", L"out.png", L"--perform"}, RunMode::Preview, true},
        {{L"--perform"}, RunMode::Windowed, true},
        {{L"--Perform"}, RunMode::Windowed, true},
        {{L"--perform "}, RunMode::Windowed, false},
        {{L"--verify-onlyx"}, RunMode::Windowed, false},
        {{L"/S"}, RunMode::Quiet, false},
        {{L"--perform", L"--quiet"}, RunMode::Quiet, true},
        {{L"--quiet", L"--verify-only"}, RunMode::Verification, false},
        {{L"--render-preview", L"out.png", L"--quiet"}, RunMode::Preview, false},
        {{L"/s"}, RunMode::Quiet, false},
        {{L"--QUIET"}, RunMode::Quiet, false},
        {{L"/quiet"}, RunMode::Quiet, false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(selectRunMode(row.arguments), row.mode) << row.arguments.size();
        EXPECT_EQ(hasPerformSwitch(row.arguments), row.perform) << row.arguments.size();
    }
}

TEST(RunModeSelection, LogFileAndElevatedCopy)
{
    EXPECT_EQ(logFileArgument({L"--quiet"}), std::nullopt);
    EXPECT_EQ(logFileArgument({L"--log", L"C:\\a.log", L"--quiet"}), std::optional<std::wstring>(L"C:\\a.log"));
    EXPECT_EQ(logFileArgument({L"--quiet", L"--log"}), std::nullopt);
    EXPECT_EQ(logFileArgument({L"--log", L"/S"}), std::nullopt);
    EXPECT_EQ(previewFileArgument({L"--render-preview", L"a.png"}), std::optional<std::wstring>(L"a.png"));
    EXPECT_FALSE(hasElevatedCopySwitch({L"--quiet"}));
    EXPECT_TRUE(hasElevatedCopySwitch({L"--quiet", L"--elevated-copy"}));
}

TEST(RunModeSelection, Scope)
{
    EXPECT_EQ(requestedScope({L"/S"}), std::nullopt);
    EXPECT_EQ(requestedScope({L"/S", L"--scope", L"user"}), InstallScope::User);
    EXPECT_EQ(requestedScope({L"--scope", L"machine", L"--perform"}), InstallScope::Machine);
    EXPECT_EQ(requestedScope({L"--scope", L"USER"}), std::nullopt);
    EXPECT_EQ(requestedScope({L"--scope"}), std::nullopt);
    // The wizard's checkbox starts ticked only for a user who cannot elevate, or when asked.
    EXPECT_EQ(wizardScope({}, true), InstallScope::Machine);
    EXPECT_EQ(wizardScope({}, false), InstallScope::User);
    EXPECT_EQ(wizardScope({L"--scope", L"machine"}, false), InstallScope::Machine);
    EXPECT_EQ(wizardScope({L"--perform", L"--scope", L"user"}, true), InstallScope::User);
}

TEST(ExitCodes, DeclinedElevationIsCancelledByTheUser)
{
    EXPECT_EQ(exit_codes::forRelaunchFailure(1223), 1602); // ERROR_CANCELLED
    EXPECT_EQ(exit_codes::forRelaunchFailure(2), 1);
    EXPECT_EQ(exit_codes::forRelaunchFailure(0), 1);
}

// Every refusal before anything changes, with its whole text and exit code.
TEST(RunModeSelection, RefusedCommandLines)
{
    const std::optional<CommandLineError> accepted;
    const CommandLineError needsName{"--log needs a file name.", 1};
    const CommandLineError needsScope{"--scope needs machine or user.", 1};
    const auto badScope = [](const std::string& word) {
        return CommandLineError{"Unknown scope: " + word + ". Use --scope machine or --scope user.", 1};
    };
    const auto unknown = [](const std::string& word) { return CommandLineError{"Unknown option: " + word, 1639}; };
    const struct {
        std::vector<std::wstring> arguments;
        std::optional<CommandLineError> error;
    } rows[] = {
        {{L"/S", L"--log", L"C:\\a.log"}, accepted},
        {{L"--log", L"C:\\a.log", L"/quiet", L"--perform"}, accepted},
        {{L"--quiet", L"--elevated-copy"}, accepted},
        {{L"--quiet", L"--log"}, needsName},
        {{L"--quiet", L"--log", L""}, needsName},
        {{L"--log", L"--quiet"}, needsName},
        {{L"/S", L"--log", L"/S"}, needsName},
        {{L"/S", L"--log", L"--elevated-copy"}, needsName},
        {{L"--log"}, needsName},
        {{L"--log", L"/quiet"}, needsName},
        // Whatever the mode: verification and the preview refuse as the installation does.
        {{L"/S", L"--log", L"--verify-only"}, needsName},
        {{L"--verify-only", L"--log"}, needsName},
        {{L"--verify-only", L"/S", L"foo"}, unknown("foo")},
        {{L"foo", L"--verify-only"}, unknown("foo")},
        {{L"--render-preview", L"a.png", L"b.png"}, unknown("b.png")},
        {{L"--render-preview"}, CommandLineError{"--render-preview needs a file name.", 1}},
        {{L"--render-preview", L"--perform"}, CommandLineError{"--render-preview needs a file name.", 1}},
        {{L"/S", L"/D=C:\\x"}, unknown("/D=C:\\x")},
        {{L"/D=C:\\x"}, unknown("/D=C:\\x")},
        {{L"x", L"--perform", L"--log", L"a.log"}, unknown("x")},
        {{L"--quiet", L"/s"}, accepted},
        {{L"", L"/S", L""}, accepted},
        {{L"--quiet", L"--Log", L"a.log"}, accepted},
        {{L"/s", L"--LOG"}, needsName},
        {{L"/s", L"/SS"}, unknown("/SS")},
        {{L"--quiet", L"x", L"--log"}, unknown("x")},
        {{L"/S", L"\u00E9t\u00E9"}, unknown("\xC3\xA9t\xC3\xA9")},
        // The uninstaller's own switch is no switch of Setup, nor a file name.
        {{L"/S", L"--finish-removal", L"12"}, unknown("--finish-removal")},
        {{L"/S", L"--log", L"--finish-removal"}, needsName},
        {{L"/S", L"--scope", L"user", L"--log", L"a.log"}, accepted},
        {{L"--scope", L"machine", L"--perform"}, accepted},
        {{L"--quiet", L"--scope", L"everyone"}, badScope("everyone")},
        {{L"--scope", L"User"}, badScope("User")},
        {{L"--perform", L"--scope", L""}, needsScope},
        {{L"--scope", L"--quiet", L"user"}, needsScope},
        {{L"/S", L"--scope"}, needsScope},
        {{L"/S", L"--log", L"--scope", L"user"}, needsName},
        // The same request twice is one request; two different ones are refused.
        {{L"/S", L"--scope", L"user", L"--scope", L"user", L"/quiet", L"/s"}, accepted},
        {{L"/S", L"--scope", L"user", L"--scope", L"machine"}, CommandLineError{"Conflicting options: --scope user and --scope machine.", 1639}},
        {{L"/S", L"--log", L"a.log", L"--LOG", L"b.log"}, CommandLineError{"Conflicting options: --log a.log and --LOG b.log.", 1639}},
        {{L"--render-preview", L"a.png", L"--render-preview", L"b.png"}, CommandLineError{"Conflicting options: --render-preview a.png and --render-preview b.png.", 1639}},
        // The first problem in the order of the words.
        {{L"/S", L"--scope", L"nobody", L"x"}, badScope("nobody")},
        {{L"/S", L"x", L"--scope", L"nobody"}, unknown("x")},
    };
    for (const auto& row : rows) {
        std::string line;
        for (const auto& word : row.arguments) {
            line.push_back(' ');
            for (const wchar_t c : word) line.push_back(static_cast<char>(c));
        }
        EXPECT_EQ(commandLineError(row.arguments), row.error) << line;
    }
}

// The uninstaller reads its words by the same table; what it reads decides whether a
// refusal goes to a message box or to standard error.
TEST(SwitchReading, Uninstaller)
{
    const auto read = [](const std::vector<std::wstring>& words) { return readSwitches(words, SwitchProgram::Uninstaller); };
    const SwitchReading swallowed = read({L"--scope", L"/S"});
    EXPECT_TRUE(swallowed.has(SwitchMeaning::Quiet));
    EXPECT_EQ(swallowed.value(SwitchMeaning::Scope), std::nullopt);
    EXPECT_EQ(swallowed.refusal(), (CommandLineRefusal{"--scope needs machine or user.", 1}));
    EXPECT_EQ(read({L"/S", L"--log", L"--verify-only"}).refusal(), (CommandLineRefusal{"--log needs a file name.", 1}));
    EXPECT_EQ(read({L"--verify-only"}).refusal(), (CommandLineRefusal{"Unknown option: --verify-only", 1639}));
    EXPECT_EQ(read({L"--scope", L"nobody"}).refusal(),
              (CommandLineRefusal{"Unknown scope: nobody. Use --scope machine or --scope user.", 1}));
    const SwitchReading removal = read({L"--FINISH-REMOVAL", L"1234"});
    EXPECT_EQ(removal.refusal(), std::nullopt);
    EXPECT_EQ(removal.value(SwitchMeaning::FinishRemoval), std::optional<std::wstring>(L"1234"));
    const SwitchReading copy = read({L"/S", L"--elevated-copy", L"--report-pipe", L"\\\\.\\pipe\\x"});
    EXPECT_EQ(copy.refusal(), std::nullopt);
    EXPECT_TRUE(copy.has(SwitchMeaning::ElevatedCopy));
    EXPECT_EQ(copy.value(SwitchMeaning::ReportPipe), std::optional<std::wstring>(L"\\\\.\\pipe\\x"));
}

// A switch whose value is joined to it ("/NAME=VALUE") is one more row of a table.
TEST(SwitchReading, JoinedValue)
{
    constexpr std::wstring_view colours[] = {L"red", L"blue"};
    const SwitchEntry table[] = {
        {L"/S", SwitchMeaning::Quiet, SwitchProgram::Both},
        {L"/COLOUR=", SwitchMeaning::Scope, SwitchProgram::Setup, SwitchValue::Joined, "/COLOUR= needs a colour.",
         colours, "Unknown colour: {}."},
    };
    const auto read = [&](const std::vector<std::wstring>& words) {
        return readSwitches(words, SwitchProgram::Setup, table);
    };
    EXPECT_EQ(read({L"/colour=red", L"/s"}).value(SwitchMeaning::Scope), std::optional<std::wstring>(L"red"));
    EXPECT_EQ(read({L"/COLOUR="}).refusal(), (CommandLineRefusal{"/COLOUR= needs a colour.", 1}));
    EXPECT_EQ(read({L"/COLOUR=green"}).refusal(), (CommandLineRefusal{"Unknown colour: green.", 1}));
    EXPECT_EQ(read({L"/COLOUR=red", L"/COLOUR=blue"}).refusal(),
              (CommandLineRefusal{"Conflicting options: /COLOUR=red and /COLOUR=blue.", 1639}));
    EXPECT_EQ(read({L"/COLOUR"}).refusal(), (CommandLineRefusal{"Unknown option: /COLOUR", 1639}));
    EXPECT_EQ(readSwitches({L"/COLOUR=red"}, SwitchProgram::Uninstaller, table).refusal(),
              (CommandLineRefusal{"Unknown option: /COLOUR=red", 1639}));
}
