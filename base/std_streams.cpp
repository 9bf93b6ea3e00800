#include "base/std_streams.h"

#include "base/report_channel.h"

#include <windows.h>

namespace elvara {

namespace {

void writeAll(DWORD which, std::string_view text) noexcept
{
    HANDLE stream = GetStdHandle(which);
    if (stream == nullptr || stream == INVALID_HANDLE_VALUE) return;
    while (!text.empty()) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(text.size() > 0x10000000 ? 0x10000000 : text.size());
        if (!WriteFile(stream, text.data(), chunk, &written, nullptr) || written == 0) return;
        text.remove_prefix(written);
    }
}

} // namespace

void writeStandardOutput(std::string_view text) noexcept
{
    if (!report_channel::send(report_channel::Kind::Output, text)) writeAll(STD_OUTPUT_HANDLE, text);
}

void writeStandardError(std::string_view text) noexcept
{
    if (!report_channel::send(report_channel::Kind::Error, text)) writeAll(STD_ERROR_HANDLE, text);
}

bool standardOutputRedirected() noexcept
{
    HANDLE stream = GetStdHandle(STD_OUTPUT_HANDLE);
    return stream != nullptr && stream != INVALID_HANDLE_VALUE && GetFileType(stream) != FILE_TYPE_UNKNOWN;
}

} // namespace elvara
