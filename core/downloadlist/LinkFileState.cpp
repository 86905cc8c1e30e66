#include "downloadlist/LinkFileState.h"

#include <sys/stat.h>

#include "downloadlist/LinkCompletion.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "transfer/CTransfer.h"
#include "transfer/ControlFile.h"
#include "transfer/FileTime.h"

namespace tvx {

std::string FormatThousands(std::int64_t value) {
    // Built from the unsigned magnitude, so the most negative value works too.
    const bool negative = value < 0;
    std::uint64_t magnitude =
        negative ? ~static_cast<std::uint64_t>(value) + 1 : static_cast<std::uint64_t>(value);
    std::string reversed;
    int digits = 0;
    do {
        if (digits > 0 && digits % 3 == 0)
            reversed += ',';
        reversed += static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
        ++digits;
    } while (magnitude != 0);
    if (negative)
        reversed += '-';
    return std::string(reversed.rbegin(), reversed.rend());
}

std::string LocalFileStateText(const std::string& nativePath) {
    struct stat st {};
    if (nativePath.empty() || ::stat(nativePath.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return "not on disk";
    const std::string controlPath = ControlFilePath(nativePath);
    struct stat control {};
    if (!controlPath.empty() && ::stat(controlPath.c_str(), &control) == 0) {
        // A record of an older program is not checked by the reader; its
        // counts must make sense to be shown.
        ControlState state;
        if (!ReadControlFile(controlPath, state) || state.length < 0 || state.prefix < 0 ||
            state.prefix > state.length) {
            return "incomplete (transfer record unreadable)";
        }
        return "incomplete (" + FormatThousands(OnDisk(state)) + " of " +
               FormatThousands(state.length) + " bytes)";
    }
    const LocalFileInfo info = GetLocalFileInfo(nativePath);
    const DateFields d = SplitDateNumber(info.date);
    return Format("complete (%s bytes, %04d-%02d-%02d %02d:%02d)",
                  FormatThousands(info.length).c_str(), d.year, d.month, d.day, d.hour, d.minute);
}

std::string LinkToolTipText(const LinkRecord& header, const LinkRecord& link) {
    const std::string native = ToNativePath(StartDirectoryLocalPath(link));
    return CompleteAddress(header, link) + "\n" + native + "\n" + LocalFileStateText(native);
}

}  // namespace tvx
