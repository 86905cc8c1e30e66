#include "app/Settings.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/Profile.h"
#include "platform/Text.h"
#include "transfer/HttpRequest.h"

namespace tvx {

std::string g_startDirectory;

bool CaptureStartDirectory() {
    g_startDirectory = CurrentDirectory();
    if (!g_startDirectory.empty())
        return true;
    const char* home = std::getenv("HOME");
    g_startDirectory = (home != nullptr && *home != '\0') ? home : "/tmp";
    return false;
}

std::string SettingsFilePath() {
    return JoinPath(g_startDirectory, "download.ini");
}

std::string StartDirectoryPath(std::string_view path) {
    if (IsAbsolutePath(path))
        return std::string(path);
    return JoinPath(g_startDirectory, path);
}

std::string FormatWindowPlacement(const WindowPlacement& p) {
    return Format("%u,%u,%d,%d,%d,%d,%d,%d,%d,%d", p.flags, p.showCmd, p.minX, p.minY, p.maxX,
                  p.maxY, p.left, p.top, p.right, p.bottom);
}

bool ParseWindowPlacement(std::string_view text, WindowPlacement& placement) {
    const std::string copy(text);
    WindowPlacement p;
    const int converted =
        std::sscanf(copy.c_str(), "%u,%u,%d,%d,%d,%d,%d,%d,%d,%d", &p.flags, &p.showCmd, &p.minX,
                    &p.minY, &p.maxX, &p.maxY, &p.left, &p.top, &p.right, &p.bottom);
    if (converted < 10)
        return false;
    placement = p;
    return true;
}

bool LoadWindowPlacement(WindowPlacement& placement, std::string_view settingsFile) {
    const std::string text = GetPrivateProfileString("Settings", "WindowPos", "", settingsFile);
    if (text.empty())
        return false;
    return ParseWindowPlacement(text, placement);
}

bool SaveWindowPlacement(const WindowPlacement& placement, std::string_view settingsFile) {
    return WritePrivateProfileString("Settings", "WindowPos", FormatWindowPlacement(placement),
                                     settingsFile);
}

SplitterSizes LoadSplitterSizes(std::string_view settingsFile) {
    SplitterSizes sizes;
    sizes.left = std::atoi(GetPrivateProfileString("SPLITTER", "left", "", settingsFile).c_str());
    sizes.bottom =
        std::atoi(GetPrivateProfileString("SPLITTER", "bottom", "", settingsFile).c_str());
    return sizes;
}

bool SaveSplitterSizes(const SplitterSizes& sizes, std::string_view settingsFile) {
    const bool left =
        WritePrivateProfileString("SPLITTER", "left", Format("%d", sizes.left), settingsFile);
    const bool bottom =
        WritePrivateProfileString("SPLITTER", "bottom", Format("%d", sizes.bottom), settingsFile);
    return left && bottom;
}

void LoadTransferSettings(HttpSettings& settings, std::string_view settingsFile) {
    const int limit = GetPrivateProfileInt("Transfer", "LowSpeedLimit",
                                           static_cast<int>(settings.lowSpeedLimit), settingsFile);
    settings.lowSpeedLimit = std::max(1, limit);
    settings.lowSpeedTime = std::max(
        1, GetPrivateProfileInt("Transfer", "LowSpeedTime", settings.lowSpeedTime, settingsFile));
    const int kilobytes = GetPrivateProfileInt("Transfer", "MaxRateKBps", 0, settingsFile);
    if (kilobytes > 0)
        settings.maxBytesPerSecond = static_cast<std::int64_t>(kilobytes) * 1024;
    const std::string caFile =
        GetPrivateProfileString("Transfer", "CaFile", settings.caFile, settingsFile);
    settings.caFile = caFile;
    // A value this program does not know keeps the version it had.
    ParseHttpVersion(GetPrivateProfileString("Transfer", "HttpVersion", "", settingsFile),
                     settings.httpVersion);
    settings.connections = std::clamp(
        GetPrivateProfileInt("Transfer", "Connections", settings.connections, settingsFile), 1,
        kMaxConnections);
    settings.connectionsPerFile =
        std::clamp(GetPrivateProfileInt("Transfer", "ConnectionsPerFile",
                                        settings.connectionsPerFile, settingsFile),
                   1, kMaxConnectionsPerFile);
    const int minSplit = GetPrivateProfileInt(
        "Transfer", "MinSplitSize", static_cast<int>(settings.minSplitSize), settingsFile);
    settings.minSplitSize = std::max(kMinSplitSize, minSplit);
    settings.checksumFiles =
        GetPrivateProfileInt("Transfer", "ChecksumFiles", settings.checksumFiles, settingsFile) != 0;
    settings.wantDigest =
        GetPrivateProfileInt("Transfer", "WantDigest", settings.wantDigest, settingsFile) != 0;
    const std::string schedule = GetPrivateProfileString("Transfer", "RateSchedule", "", settingsFile);
    std::string problem;
    if (!ParseRateSchedule(schedule, settings.rateSchedule, problem))
        settings.rateScheduleProblem = "[Transfer] RateSchedule: " + problem + "; no schedule holds";
}

}  // namespace tvx
