#pragma once
#include <string>
#include <vector>

namespace elvara {

// The applications that the Restart Manager names as holding the file (a DAW that
// has the plug-in loaded), for the user's message. Empty where the system cannot
// tell; never throws.
std::vector<std::wstring> applicationsHolding(const std::wstring& path) noexcept;

// The sentence that follows a refusal: " In use by: A, B." or nothing.
std::wstring holdersSentence(const std::vector<std::wstring>& applications);

} // namespace elvara
