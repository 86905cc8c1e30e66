#pragma once
// Option values shared by the headless commands.

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Interrupt.h"
#include "app/Settings.h"
#include "transfer/HttpRequest.h"

namespace tvxcli {

// A rate in bytes a second: digits, then optionally K (1024) or M (1024 *
// 1024), as curl and wget take it. 0 when the text is no such rate.
inline std::int64_t ParseRate(const char* text) {
    if (text == nullptr || *text < '0' || *text > '9')
        return 0;
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text, &end, 10);
    std::int64_t unit = 1;
    if (*end == 'k' || *end == 'K')
        unit = 1024, ++end;
    else if (*end == 'm' || *end == 'M')
        unit = 1024 * 1024, ++end;
    if (*end != '\0' || value == 0 || value > (1ULL << 40) / static_cast<unsigned long long>(unit))
        return 0;
    return static_cast<std::int64_t>(value) * unit;
}

// The options both commands take.
struct TransferOptions {
    bool paced = false;          // --paced: 1024 bytes per 20 ms
    unsigned maxTime = 0;        // --max-time SECONDS; 0: no bound
    std::int64_t maxRate = 0;    // --limit-rate RATE in bytes a second; 0: none
    int connectionsPerFile = 0;  // -x N; 0: as download.ini says
    std::string caFile;          // --cacert FILE; "": as download.ini says
};

// The options given override what download.ini says.
inline void ApplyTransferOptions(const TransferOptions& options, tvx::HttpSettings& settings) {
    // A limit given for this run holds all day.
    if (options.maxRate != 0) {
        settings.maxBytesPerSecond = options.maxRate;
        settings.rateSchedule.clear();
    }
    if (options.connectionsPerFile != 0)
        settings.connectionsPerFile = options.connectionsPerFile;
    if (!options.caFile.empty())
        settings.caFile = options.caFile;
}

enum class OptionUse { NotOurs, Taken, Bad };

// Takes argv[i] when it is one of the transfer options, with its value
// (i then stands on the value). Bad after saying on standard error why the
// value is no good.
inline OptionUse TakeTransferOption(const char* program, int argc, char** argv, int& i,
                                    TransferOptions& options) {
    const char* name = argv[i];
    if (std::strcmp(name, "--paced") == 0) {
        options.paced = true;
        return OptionUse::Taken;
    }
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    if (std::strcmp(name, "--limit-rate") == 0) {
        ++i;
        options.maxRate = ParseRate(value);
        if (options.maxRate != 0)
            return OptionUse::Taken;
        std::fprintf(stderr,
                     "%s: --limit-rate takes bytes a second, with K or M for 1024 or 1048576 "
                     "(500K, 2M)\n",
                     program);
        return OptionUse::Bad;
    }
    if (std::strcmp(name, "-x") == 0) {
        ++i;
        const unsigned n = ParseSeconds(value);
        if (n != 0 && n <= static_cast<unsigned>(tvx::kMaxConnectionsPerFile)) {
            options.connectionsPerFile = static_cast<int>(n);
            return OptionUse::Taken;
        }
        std::fprintf(stderr, "%s: -x takes a number from 1 to %d\n", program,
                     tvx::kMaxConnectionsPerFile);
        return OptionUse::Bad;
    }
    if (std::strcmp(name, "--cacert") == 0) {
        ++i;
        // Said now, rather than as a failure of every secure connection.
        std::FILE* file = value != nullptr ? std::fopen(value, "rb") : nullptr;
        if (file != nullptr) {
            std::fclose(file);
            options.caFile = value;
            return OptionUse::Taken;
        }
        if (value == nullptr)
            std::fprintf(stderr, "%s: --cacert takes a file of trusted certificates (PEM)\n",
                         program);
        else
            std::fprintf(stderr, "%s: --cacert %s: %s\n", program, value, std::strerror(errno));
        return OptionUse::Bad;
    }
    if (std::strcmp(name, "--max-time") == 0) {
        ++i;
        options.maxTime = ParseSeconds(value);
        if (options.maxTime != 0)
            return OptionUse::Taken;
        std::fprintf(stderr, "%s: --max-time takes a whole number of seconds\n", program);
        return OptionUse::Bad;
    }
    return OptionUse::NotOurs;
}

}  // namespace tvxcli
