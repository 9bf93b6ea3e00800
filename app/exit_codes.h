#pragma once
// The process exit codes that deployment tools understand. Plain values, free of any
// platform header.
#include <cstdint>

namespace elvara::exit_codes {

inline constexpr int success = 0;
inline constexpr int failure = 1;
inline constexpr int userCancelled = 1602;       // ERROR_INSTALL_USEREXIT
inline constexpr int anotherInstallation = 1618; // ERROR_INSTALL_ALREADY_RUNNING
inline constexpr int invalidCommandLine = 1639;  // ERROR_INVALID_COMMAND_LINE

inline constexpr std::uint32_t win32Cancelled = 1223; // ERROR_CANCELLED: the user declined the elevation prompt

// A quiet installation whose elevated copy could not be started.
constexpr int forRelaunchFailure(std::uint32_t win32Error) noexcept
{
    return win32Error == win32Cancelled ? userCancelled : failure;
}

} // namespace elvara::exit_codes
