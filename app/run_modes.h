#pragma once
#include "base/com_apartment.h"

#include <string>
#include <vector>

namespace elvara {

// Each returns the process exit code and leaves the apartment before its record
// is destroyed; failures propagate to the entry point.
int runVerificationMode(ComApartment& apartment);
int runPreviewMode(ComApartment& apartment, const std::wstring& outputPath);
int runWindowedMode(ComApartment& apartment, const std::vector<std::wstring>& arguments);

} // namespace elvara
