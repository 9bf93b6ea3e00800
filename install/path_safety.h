#pragma once
#include <string>

namespace elvara {

// Refuses a path that is not absolute, that has a "." or ".." component, or that
// leads through an existing link of any kind. Never resolves or normalises.
void ensureSafeInstallPath(const std::wstring& path);

} // namespace elvara
