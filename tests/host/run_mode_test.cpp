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
        {{L"--render-preview", L"--perform"}, RunMode::Preview, true},
        {{L"--render-preview"}, RunMode::Windowed, false},
        {{L"--render-preview", L"a", L"b"}, RunMode::Windowed, false},
        {{L"x", L"--render-preview"}, RunMode::Windowed, false},
        {{L"--perform"}, RunMode::Windowed, true},
        {{L"--Perform"}, RunMode::Windowed, true},
        {{L"--perform "}, RunMode::Windowed, false},
        {{L"--verify-onlyx"}, RunMode::Windowed, false},
        {{L"/S"}, RunMode::Quiet, false},
        {{L"--perform", L"--quiet"}, RunMode::Quiet, true},
        {{L"--quiet", L"--verify-only"}, RunMode::Verification, false},
        {{L"--render-preview", L"--quiet"}, RunMode::Preview, false},
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
    EXPECT_EQ(logFileArgument({L"--quiet", L"--log"}), std::optional<std::wstring>(L""));
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

TEST(RunModeSelection, RefusedCommandLines)
{
    const std::optional<CommandLineError> accepted;
    const CommandLineError needsName{"--log needs a file name.", 1};
    const auto badScope = [](const std::wstring& word) {
        return CommandLineError{"Unknown scope: " + std::string(word.begin(), word.end()) +
                                    ". Use --scope machine or --scope user.",
                                1};
    };
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
        {{L"/S", L"/D=C:\\x"}, CommandLineError{"Unknown option: /D=C:\\x", 1639}},
        {{L"--quiet", L"/s"}, accepted},
        {{L"--quiet", L"--Log", L"a.log"}, accepted},
        {{L"/s", L"--LOG"}, needsName},
        {{L"/s", L"/SS"}, CommandLineError{"Unknown option: /SS", 1639}},
        {{L"--quiet", L"x", L"--log"}, CommandLineError{"Unknown option: x", 1639}},
        {{L"/D=C:\\x"}, accepted},
        {{L"x", L"--perform", L"--log", L"a.log"}, accepted},
        {{L"/S", L"--scope", L"user", L"--log", L"a.log"}, accepted},
        {{L"--scope", L"machine", L"--perform"}, accepted},
        {{L"--quiet", L"--scope", L"everyone"}, badScope(L"everyone")},
        {{L"--scope", L"User"}, badScope(L"User")},
        {{L"--perform", L"--scope", L""}, badScope(L"")},
        {{L"--scope", L"--quiet", L"user"}, badScope(L"--quiet")},
        {{L"/S", L"--scope"}, badScope(L"")},
        {{L"/S", L"--log", L"--scope", L"user"}, needsName},
    };
    for (const auto& row : rows) {
        const auto error = commandLineError(row.arguments, selectRunMode(row.arguments));
        ASSERT_EQ(error.has_value(), row.error.has_value()) << row.arguments.size();
        if (error) {
            EXPECT_EQ(error->text, row.error->text);
            EXPECT_EQ(error->exitCode, row.error->exitCode) << error->text;
        }
    }
}
