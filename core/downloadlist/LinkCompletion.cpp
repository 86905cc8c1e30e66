#include "downloadlist/LinkCompletion.h"

#include "app/Settings.h"
#include "platform/Paths.h"

namespace tvx {

std::string CompleteAddress(const LinkRecord& header, const LinkRecord& link) {
    if (HasAbsoluteAddress(link.Address()))
        return std::string(link.Address());
    std::string address(header.Address());
    address += link.Address();
    return address;
}

std::string LoadTimeLocalPath(const LinkRecord& header, const LinkRecord& link) {
    if (IsAbsolutePath(link.Path()))
        return std::string(link.Path());
    return JoinPath(header.Path(), link.Path());
}

std::string StartDirectoryLocalPath(const LinkRecord& link) {
    return StartDirectoryPath(link.Path());
}

}  // namespace tvx
