#include "package/package_format.h"

namespace elvara::package_format {

namespace {

bool isNameByte(char c) noexcept
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '/' || c == '_';
}

} // namespace

bool isAcceptableEntryName(std::string_view name) noexcept
{
    if (!name.starts_with(bundlePrefix) && !name.starts_with(productPrefix)) return false;
    if (name.find("..") != std::string_view::npos) return false;
    if (name.find("//") != std::string_view::npos) return false;
    if (name.ends_with('/')) return false;
    for (char c : name) {
        if (!isNameByte(c)) return false;
    }
    return true;
}

} // namespace elvara::package_format
