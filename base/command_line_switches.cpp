#include "base/command_line_switches.h"

#include "base/switch_words.h"

#include <algorithm>

namespace elvara {

namespace {

constexpr std::wstring_view scopeWords[] = {L"machine", L"user"};

constexpr SwitchEntry switches[] = {
    {L"--quiet", SwitchMeaning::Quiet, SwitchProgram::Both},
    {L"/quiet", SwitchMeaning::Quiet, SwitchProgram::Both},
    {L"/S", SwitchMeaning::Quiet, SwitchProgram::Both},
    {L"--log", SwitchMeaning::Log, SwitchProgram::Both, SwitchValue::NextWord, logNeedsFileNameText},
    {L"--scope", SwitchMeaning::Scope, SwitchProgram::Both, SwitchValue::NextWord, "--scope needs machine or user.",
     scopeWords, "Unknown scope: {}. Use --scope machine or --scope user."},
    {L"--perform", SwitchMeaning::Perform, SwitchProgram::Setup},
    {L"--verify-only", SwitchMeaning::VerifyOnly, SwitchProgram::Setup},
    {L"--render-preview", SwitchMeaning::RenderPreview, SwitchProgram::Setup, SwitchValue::NextWord,
     "--render-preview needs a file name."},
    // Only in the copies that the programs start elevated, and in the uninstaller's copy
    // that removes it after it has ended.
    {L"--elevated-copy", SwitchMeaning::ElevatedCopy, SwitchProgram::Both},
    {L"--report-pipe", SwitchMeaning::ReportPipe, SwitchProgram::Both, SwitchValue::NextWord,
     "--report-pipe needs a pipe name."},
    {L"--finish-removal", SwitchMeaning::FinishRemoval, SwitchProgram::Uninstaller, SwitchValue::NextWord,
     "--finish-removal needs a process."},
};

bool isFor(const SwitchEntry& entry, SwitchProgram program) noexcept
{
    return (static_cast<unsigned>(entry.programs) & static_cast<unsigned>(program)) != 0;
}

bool matches(const SwitchEntry& entry, std::wstring_view word) noexcept
{
    if (entry.value == SwitchValue::Joined)
        return word.size() >= entry.word.size() && switchIs(word.substr(0, entry.word.size()), entry.word);
    return switchIs(word, entry.word);
}

const SwitchEntry* entryFor(std::span<const SwitchEntry> table, std::wstring_view word, SwitchProgram program) noexcept
{
    const auto found = std::find_if(table.begin(), table.end(), [&](const SwitchEntry& entry) {
        return isFor(entry, program) && matches(entry, word);
    });
    return found == table.end() ? nullptr : &*found;
}

// The refusal's texts are UTF-8; a control character or a broken surrogate shows as '?'.
std::string printable(std::wstring_view word)
{
    std::string text;
    for (std::size_t i = 0; i < word.size(); ++i) {
        std::uint32_t c = static_cast<std::uint16_t>(word[i]);
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < word.size() && word[i + 1] >= 0xDC00 && word[i + 1] <= 0xDFFF)
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<std::uint16_t>(word[++i]) - 0xDC00);
        else if (c < 0x20 || c == 0x7F || (c >= 0xD800 && c <= 0xDFFF))
            c = '?';
        if (c < 0x80) {
            text += static_cast<char>(c);
        } else if (c < 0x800) {
            text += static_cast<char>(0xC0 | (c >> 6));
            text += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            text += static_cast<char>(0xE0 | (c >> 12));
            text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            text += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            text += static_cast<char>(0xF0 | (c >> 18));
            text += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            text += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return text;
}

std::string withWord(std::string_view text, std::wstring_view word)
{
    std::string result(text);
    if (const auto at = result.find("{}"); at != std::string::npos) result.replace(at, 2, printable(word));
    return result;
}

} // namespace

std::span<const SwitchEntry> commandLineSwitches() noexcept { return switches; }

bool SwitchReading::has(SwitchMeaning meaning) const noexcept
{
    return std::any_of(given_.begin(), given_.end(), [meaning](const Given& given) { return given.meaning == meaning; });
}

std::optional<std::wstring> SwitchReading::value(SwitchMeaning meaning) const
{
    for (const Given& given : given_)
        if (given.meaning == meaning && given.value) return given.value;
    return std::nullopt;
}

SwitchReading readSwitches(const std::vector<std::wstring>& words, SwitchProgram program,
                           std::span<const SwitchEntry> table)
{
    SwitchReading reading;
    const auto refuse = [&reading](std::string text, int exitCode) {
        if (!reading.refusal_) reading.refusal_ = CommandLineRefusal{std::move(text), exitCode};
    };
    const auto isAnySwitch = [table](std::wstring_view word) {
        return entryFor(table, word, SwitchProgram::Both) != nullptr;
    };
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::wstring& word = words[i];
        if (word.empty()) continue; // says nothing: a tool's template with an empty variable
        const SwitchEntry* entry = entryFor(table, word, program);
        if (entry == nullptr) {
            refuse("Unknown option: " + printable(word), invalidCommandLineExitCode);
            continue;
        }
        SwitchReading::Given given{entry->meaning, word, std::nullopt};
        std::wstring written = word;
        if (entry->value == SwitchValue::NextWord) {
            if (i + 1 < words.size() && !words[i + 1].empty() && !isAnySwitch(words[i + 1])) {
                given.value = words[++i];
                written += L" " + *given.value;
            } else {
                if (i + 1 < words.size() && words[i + 1].empty()) ++i; // an empty word is no switch
                refuse(std::string(entry->needsValueText), refusedValueExitCode);
            }
        } else if (entry->value == SwitchValue::Joined) {
            given.value = word.substr(entry->word.size());
            if (given.value->empty()) {
                given.value.reset();
                refuse(std::string(entry->needsValueText), refusedValueExitCode);
            }
        }
        if (given.value && !entry->choices.empty() &&
            std::find(entry->choices.begin(), entry->choices.end(), *given.value) == entry->choices.end()) {
            refuse(withWord(entry->unknownChoiceText, *given.value), refusedValueExitCode);
            given.value.reset();
        }
        if (given.value) {
            const auto earlier = std::find_if(reading.given_.begin(), reading.given_.end(), [&](const auto& other) {
                return other.meaning == given.meaning && other.value && *other.value != *given.value;
            });
            if (earlier != reading.given_.end()) {
                refuse("Conflicting options: " + printable(earlier->written) + " and " + printable(written) + ".",
                       invalidCommandLineExitCode);
                continue;
            }
        }
        given.written = std::move(written);
        reading.given_.push_back(std::move(given));
    }
    return reading;
}

} // namespace elvara
