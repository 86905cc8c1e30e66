#pragma once
// The rules by which the browser view catches a navigation to a file that is
// to be downloaded rather than shown, and the texts it forms for the Save
// dialog and the single-file download dialog.

#include <string>
#include <string_view>

namespace tvx {

// True when the address ends in ".zip", ".exe", ".dll", ".arj" or ".rar",
// letters A-Z compared without regard to case. Only the last four characters
// count, so a query text ending in ".zip" is caught and ".zip?x=1" is not. An
// address shorter than four characters is never caught.
bool IsInterceptedAddress(std::string_view address);

// The file name proposed for an address: everything after its last '\' or '/',
// unchanged (no decoding, query text included). The first character is never
// taken for a separator. Empty when there is no separator.
std::string FileNameOfAddress(std::string_view address);

// The path proposed in the Save dialog: the download folder and the file name
// joined by one backslash ("%s\%s"), a path text as the core keeps them.
std::string DownloadProposal(std::string_view downloadFolder, std::string_view fileName);

// The folder of a chosen path, which becomes the next download folder: the
// path with everything from its last '\' or '/' on removed, so "/a.zip" gives
// the empty text (joined with a name again it names the root). A bare name
// without any separator lies in the current directory and gives ".". In both
// cases DownloadProposal(FolderOfPath(p), name) names the file "name" beside p.
std::string FolderOfPath(std::string_view path);

// "webname,filename", the text handed to the single-file download dialog.
std::string DownloadCommandText(std::string_view address, std::string_view path);

}  // namespace tvx
