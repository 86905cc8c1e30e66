#pragma once
// The start directory, the settings file download.ini in it, and the values
// that file holds: the main window's placement and the two pane sizes.

#include <string>
#include <string_view>

namespace tvx {

struct HttpSettings;

// The working directory captured once at program start. The settings file and
// the tree control file lie in it, and relative local paths of the download
// list are completed against it where the rules say so. It never changes after
// CaptureStartDirectory, whatever a file dialog does to the current directory.
extern std::string g_startDirectory;

// Captures the current directory as the start directory. When it cannot be
// determined (the folder was deleted under the process) the home folder is
// used instead; false is returned in that case so the caller can say so.
bool CaptureStartDirectory();

// "%s\download.ini" with the start directory.
std::string SettingsFilePath();

// The local path by the start-directory rule: an absolute path unchanged,
// otherwise "%s\%s" with the start directory.
std::string StartDirectoryPath(std::string_view path);

// The fields of a window placement, in the order of the "WindowPos" text.
struct WindowPlacement {
    unsigned flags = 0;    // 0, or kRestoreToMaximized
    unsigned showCmd = 0;  // kShowNormal, kShowMinimized or kShowMaximized
    int minX = -1, minY = -1;
    int maxX = -1, maxY = -1;
    int left = 0, top = 0, right = 0, bottom = 0;  // the restored (normal) rectangle

    static constexpr unsigned kRestoreToMaximized = 2;
    static constexpr unsigned kShowNormal = 1;
    static constexpr unsigned kShowMinimized = 2;
    static constexpr unsigned kShowMaximized = 3;
};

// "%u,%u,%d,%d,%d,%d,%d,%d,%d,%d" in field order.
std::string FormatWindowPlacement(const WindowPlacement& placement);

// Reads the ten numbers as sscanf does with the format above: blanks before a
// number are accepted, anything after the tenth number is ignored. False, with
// placement untouched, when fewer than ten numbers convert.
bool ParseWindowPlacement(std::string_view text, WindowPlacement& placement);

// "Settings"/"WindowPos" of the given settings file. Load returns false for a
// missing, empty or short value.
bool LoadWindowPlacement(WindowPlacement& placement, std::string_view settingsFile);
bool SaveWindowPlacement(const WindowPlacement& placement, std::string_view settingsFile);

// "SPLITTER"/"left" (width of the download list pane) and "SPLITTER"/"bottom"
// (height of the upper row above the log). A missing key reads as 0.
struct SplitterSizes {
    int left = 0;
    int bottom = 0;
};
SplitterSizes LoadSplitterSizes(std::string_view settingsFile);
bool SaveSplitterSizes(const SplitterSizes& sizes, std::string_view settingsFile);

// The transfer settings of a settings file, section "Transfer" (read, never
// written by the program): LowSpeedLimit (bytes a second) and LowSpeedTime
// (seconds): a transfer slower than the limit for that long fails and stays
// resumable; MaxRateKBps: at most that many KiB a second per transfer (0 or
// missing: no limit); CaFile: a file of further trusted certificates;
// HttpVersion: auto (the default), 1.1, 2 or 1.0 (see HttpVersion);
// Connections: checks and transfers a session runs at once (1 to
// kMaxConnections); ConnectionsPerFile: connections one large file may come
// over (1 to kMaxConnectionsPerFile); MinSplitSize: the smallest segment in
// bytes (at least kMinSplitSize; files are cut from 16 times it on);
// ChecksumFiles: 1 (the default) proves files by the SHA256SUMS and
// SHA512SUMS of their remote folder, 0 does not look for them; WantDigest: 1
// asks servers to state a file's digest (Want-Repr-Digest; 0 by default);
// RateSchedule: limits by the time of day ("08:00-18:00 500K, 18:00-08:00
// 0", see RateSchedule.h).
// Missing keys keep the values settings already holds; values below 1 are
// taken as 1.
constexpr int kMaxConnections = 32;
constexpr int kMinSplitSize = 4096;
constexpr int kMaxConnectionsPerFile = 16;
void LoadTransferSettings(HttpSettings& settings, std::string_view settingsFile);

}  // namespace tvx
