#include "browser/Interception.h"

#include "platform/Paths.h"
#include "platform/Text.h"

namespace tvx {

bool IsInterceptedAddress(std::string_view address) {
    if (address.size() < 4)
        return false;
    const std::string ending = AsciiLowered(address.substr(address.size() - 4));
    for (const char* extension : {".zip", ".exe", ".dll", ".arj", ".rar"}) {
        if (ending == extension)
            return true;
    }
    return false;
}

std::string FileNameOfAddress(std::string_view address) {
    const std::size_t separator = LastSeparator(address);
    if (separator == std::string_view::npos)
        return std::string();
    return std::string(address.substr(separator + 1));
}

std::string DownloadProposal(std::string_view downloadFolder, std::string_view fileName) {
    return JoinPath(downloadFolder, fileName);
}

std::string FolderOfPath(std::string_view path) {
    const std::size_t separator = path.find_last_of("\\/");
    if (separator == std::string_view::npos)
        return ".";
    return std::string(path.substr(0, separator));
}

std::string DownloadCommandText(std::string_view address, std::string_view path) {
    std::string text(address);
    text += ',';
    text += path;
    return text;
}

}  // namespace tvx
