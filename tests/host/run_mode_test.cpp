#include "app/command_line.h"

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
    };
    for (const auto& row : rows) {
        EXPECT_EQ(selectRunMode(row.arguments), row.mode) << row.arguments.size();
        EXPECT_EQ(hasPerformSwitch(row.arguments), row.perform) << row.arguments.size();
    }
}
