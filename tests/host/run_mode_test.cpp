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
        {{L"--Perform"}, RunMode::Windowed, false},
        {{L"--perform "}, RunMode::Windowed, false},
        {{L"--verify-onlyx"}, RunMode::Windowed, false},
        {{L"/S"}, RunMode::Quiet, false},
        {{L"--perform", L"--quiet"}, RunMode::Quiet, true},
        {{L"--quiet", L"--verify-only"}, RunMode::Verification, false},
        {{L"--render-preview", L"--quiet"}, RunMode::Preview, false},
        {{L"/s"}, RunMode::Windowed, false},
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

TEST(ExitCodes, DeclinedElevationIsCancelledByTheUser)
{
    EXPECT_EQ(exit_codes::forRelaunchFailure(1223), 1602); // ERROR_CANCELLED
    EXPECT_EQ(exit_codes::forRelaunchFailure(2), 1);
    EXPECT_EQ(exit_codes::forRelaunchFailure(0), 1);
}
