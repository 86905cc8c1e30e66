#pragma once
// What --help prints for the two headless commands. The man pages
// (doc/man/*.scd) say the same at length; keep the two in step.

namespace tvxcli {

inline constexpr char kTvxGetHelp[] =
    "Usage: tvx-get [OPTIONS] ADDRESS,PATH\n"
    "       tvx-get [OPTIONS] ADDRESS PATH\n"
    "Fetches the file at ADDRESS into PATH the way tvx's download dialog does: it\n"
    "is checked first and fetched only when it is new, changed or incomplete, and\n"
    "a broken transfer continues where it stopped. A relative PATH is taken from\n"
    "the current directory; missing folders are created. A text with more than\n"
    "one comma is refused: use the two-argument form.\n"
    "\n"
    "Options:\n"
    "      --paced             read 1024 bytes per 20 ms, like the download dialog\n"
    "  -x N                    fetch a large file over up to N connections (1 to\n"
    "                          16; default: [Transfer] ConnectionsPerFile, else 4)\n"
    "      --max-time SECONDS  end the run after SECONDS as Ctrl+C does (resumable)\n"
    "      --limit-rate RATE   at most RATE bytes per second; K and M suffixes\n"
    "                          (500K, 2M)\n"
    "      --cacert FILE       trust the certificates in FILE (PEM) as well as the\n"
    "                          system's (default: [Transfer] CaFile)\n"
    "  -h, --help              show this help and exit\n"
    "      --version           show the version and exit\n"
    "\n"
    "Exit status:\n"
    "  0  the file is complete or already up to date\n"
    "  1  failed, incomplete, broken off or being downloaded by another run:\n"
    "     run the same command again to complete it\n"
    "  2  usage error\n"
    "\n"
    "See tvx-get(1).\n";

inline constexpr char kTvxSessionHelp[] =
    "Usage: tvx-session [OPTIONS]\n"
    "Runs tvx's Download command without a window in the current directory, which\n"
    "holds the download list tvx_downctrl.htm: every link whose local file exists\n"
    "(with --all, every link) is checked against its server, and what is new,\n"
    "changed or incomplete is downloaded. The work list is written to\n"
    "download.tmp; the log goes to standard output.\n"
    "\n"
    "Options:\n"
    "      --all               every link, not only those whose local file exists\n"
    "      --paced             read 1024 bytes per 20 ms, like the download dialog\n"
    "  -j N                    up to N checks and transfers at once (default:\n"
    "                          [Transfer] Connections in download.ini, else 8)\n"
    "  -x N                    fetch a large file over up to N connections (1 to\n"
    "                          16; default: [Transfer] ConnectionsPerFile, else 4)\n"
    "      --max-time SECONDS  end the session after SECONDS as Ctrl+C does\n"
    "                          (resumable)\n"
    "      --limit-rate RATE   at most RATE bytes per second; K and M suffixes\n"
    "                          (500K, 2M)\n"
    "      --cacert FILE       trust the certificates in FILE (PEM) as well as the\n"
    "                          system's (default: [Transfer] CaFile)\n"
    "  -h, --help              show this help and exit\n"
    "      --version           show the version and exit\n"
    "\n"
    "Exit status:\n"
    "  0  no errors (also when there was nothing to do)\n"
    "  1  errors were counted, a file is incomplete (broken off), links were left\n"
    "     out, or the log could not be written\n"
    "  2  no tvx_downctrl.htm here, or download.tmp cannot be written\n"
    "\n"
    "See tvx-session(1).\n";

}  // namespace tvxcli
