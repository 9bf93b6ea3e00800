#pragma once
// The switches of Setup and the uninstaller in one table, and the one reading of an
// argument list against it that both programs use, so that both answer a command line
// alike. Adding a switch is one row of the table (and its meaning). Platform-free.
//
// The reading's rules:
// - a switch matches a whole word without regard to letter case ("/s" is "/S"); a switch
//   whose value is joined to it ("/NAME=VALUE") matches the word's start;
// - a value is the next word unless that word is a switch of either program, which is
//   then read as a switch: a value never swallows another switch;
// - a switch given again with another value is refused; given again with the same one,
//   or a switch without a value given twice, is the same request;
// - every word that is no switch of the program is refused, in every mode (an empty
//   word says nothing and is passed over);
// - the first problem in the order of the words is the refusal, and the reading goes on
//   to the end, so that a refusal of an unattended run is still known to be unattended.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace elvara {

enum class SwitchProgram : std::uint8_t { Setup = 1, Uninstaller = 2, Both = 3 };

// What a switch asks for; spellings of one request ("/S", "/quiet", "--quiet") share it.
enum class SwitchMeaning : std::uint8_t {
    Quiet,
    Log,
    Scope,
    Perform,
    VerifyOnly,
    RenderPreview,
    ElevatedCopy,
    ReportPipe,
    FinishRemoval,
};

enum class SwitchValue : std::uint8_t {
    None,
    NextWord, // "--log FILE"
    Joined,   // "/NAME=VALUE": the table's word is "/NAME="
};

struct SwitchEntry {
    std::wstring_view word;
    SwitchMeaning meaning;
    SwitchProgram programs;
    SwitchValue value = SwitchValue::None;
    // The refusal when the value is missing or is another switch.
    std::string_view needsValueText = {};
    // The only values allowed (none: any word), and the refusal of another, where "{}"
    // stands for the word given.
    std::span<const std::wstring_view> choices = {};
    std::string_view unknownChoiceText = {};
};

// Both programs' switches.
std::span<const SwitchEntry> commandLineSwitches() noexcept;

// Deployment tools know these codes: a value that is wrong fails the run (1), a command
// line that cannot be meant as written is ERROR_INVALID_COMMAND_LINE.
inline constexpr int refusedValueExitCode = 1;
inline constexpr int invalidCommandLineExitCode = 1639;

inline constexpr char logNeedsFileNameText[] = "--log needs a file name.";

struct CommandLineRefusal {
    std::string text;
    int exitCode;
    bool operator==(const CommandLineRefusal&) const = default;
};

class SwitchReading {
public:
    bool has(SwitchMeaning meaning) const noexcept;
    // The value given; none when the switch is absent or its value was refused.
    std::optional<std::wstring> value(SwitchMeaning meaning) const;
    const std::optional<CommandLineRefusal>& refusal() const noexcept { return refusal_; }

private:
    friend SwitchReading readSwitches(const std::vector<std::wstring>&, SwitchProgram, std::span<const SwitchEntry>);
    struct Given {
        SwitchMeaning meaning;
        std::wstring written; // the switch as the command line spells it
        std::optional<std::wstring> value;
    };
    std::vector<Given> given_;
    std::optional<CommandLineRefusal> refusal_;
};

SwitchReading readSwitches(const std::vector<std::wstring>& words, SwitchProgram program,
                           std::span<const SwitchEntry> table = commandLineSwitches());

} // namespace elvara
