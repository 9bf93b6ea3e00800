#include "app/command_line.h"

namespace elvara {

namespace {

SwitchReading read(const std::vector<std::wstring>& arguments)
{
    return readSwitches(arguments, SwitchProgram::Setup);
}

} // namespace

RunMode selectRunMode(const std::vector<std::wstring>& arguments)
{
    const SwitchReading reading = read(arguments);
    if (reading.has(SwitchMeaning::VerifyOnly)) return RunMode::Verification;
    if (reading.value(SwitchMeaning::RenderPreview)) return RunMode::Preview;
    if (reading.has(SwitchMeaning::Quiet)) return RunMode::Quiet;
    return RunMode::Windowed;
}

bool hasPerformSwitch(const std::vector<std::wstring>& arguments) { return read(arguments).has(SwitchMeaning::Perform); }

bool hasElevatedCopySwitch(const std::vector<std::wstring>& arguments)
{
    return read(arguments).has(SwitchMeaning::ElevatedCopy);
}

std::optional<std::wstring> logFileArgument(const std::vector<std::wstring>& arguments)
{
    return read(arguments).value(SwitchMeaning::Log);
}

std::optional<std::wstring> previewFileArgument(const std::vector<std::wstring>& arguments)
{
    return read(arguments).value(SwitchMeaning::RenderPreview);
}

std::optional<InstallScope> requestedScope(const std::vector<std::wstring>& arguments)
{
    const auto word = read(arguments).value(SwitchMeaning::Scope);
    return word ? scopeFromWord(*word) : std::nullopt;
}

InstallScope wizardScope(const std::vector<std::wstring>& arguments, bool mayElevateThemselves)
{
    return requestedScope(arguments).value_or(mayElevateThemselves ? InstallScope::Machine : InstallScope::User);
}

std::optional<std::wstring> reportPipeArgument(const std::vector<std::wstring>& arguments)
{
    const SwitchReading reading = read(arguments);
    if (!reading.has(SwitchMeaning::ElevatedCopy)) return std::nullopt;
    return reading.value(SwitchMeaning::ReportPipe);
}

std::optional<CommandLineError> commandLineError(const std::vector<std::wstring>& arguments)
{
    return read(arguments).refusal();
}

} // namespace elvara
