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
// The installation without any user interface: the result on the standard streams
// and in the exit code (0, 1, 1602 declined elevation, 1618 another installation).
int runQuietMode(const std::vector<std::wstring>& arguments);

} // namespace elvara
