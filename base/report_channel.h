#pragma once
// How an elevated copy hands its results back to the unelevated process that started
// it: standard output, standard error and log lines as records over a pipe that the
// caller created. The copy so never opens a file that a standard user named, and the
// caller prints and logs what the copy reports as if it had run itself.
#include "base/unique_handle.h"

#include <string>
#include <string_view>

namespace elvara::report_channel {

enum class Kind : char { Output = 'O', Error = 'E', Log = 'L' };

inline constexpr wchar_t pipePrefix[] = L"\\\\.\\pipe\\";

// In the copy: from now on every text for the standard streams and every log line
// goes to the pipe instead. False when NAME is no pipe or cannot be opened.
bool connect(const std::wstring& name);
bool isConnected() noexcept;
// False when the copy has no channel; the text is then the caller's to write.
bool send(Kind kind, std::string_view text) noexcept;

// In the caller: a new pipe with a name of its own, for one copy to connect to.
struct Listener {
    std::wstring name;
    UniqueFile pipe;
};
Listener listen();
// Waits for the copy to connect, then hands each record on to this process's own
// streams and log until the copy closes its end. Never throws.
void forwardUntilClosed(const Listener& listener) noexcept;
// Ends a forwardUntilClosed whose copy never connected (it ended or never started).
void release(const Listener& listener) noexcept;

} // namespace elvara::report_channel
