#include "app/quiet_relaunch.h"

#include <gtest/gtest.h>

using namespace elvara;

// The exit code that the caller of a quiet installation gets from each way the
// elevated copy can fail to start or end, through the relaunch itself.
TEST(QuietRelaunch, ExitCodeForEachOutcome)
{
    const struct {
        ElevatedRun run;
        int exitCode;
    } rows[] = {
        {{false, ERROR_CANCELLED, 1}, 1602},
        {{false, ERROR_FILE_NOT_FOUND, 1}, 1},
        {{true, ERROR_SUCCESS, 0}, 0},
        {{true, ERROR_SUCCESS, 1618}, 1618},
    };
    for (const auto& row : rows) {
        std::wstring passed;
        const int exitCode = relaunchElevatedAndWait([&](const std::wstring& parameters) {
            passed = parameters;
            return row.run;
        });
        EXPECT_EQ(exitCode, row.exitCode) << row.run.startError << " " << row.run.exitCode;
        // The copy speaks and records the language of this run (English when none was chosen).
        EXPECT_EQ(passed, L"--quiet --elevated-copy --lang en");
    }
}
