#pragma once
// Recording owners and small helpers for the transfer tests.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Sandbox.h"
#include "transfer/CTransfer.h"

namespace tvxtest {

class RecordingUi : public tvx::Ui {
public:
    void MessageBox(const std::string& text) override { messages.push_back(text); }
    void Notice(const std::string& text) override { notices.push_back(text); }
    std::vector<std::string> messages, notices;
};

// Collects log text as the log pane would show it: "\n" where a line ends.
class RecordingLog : public tvx::Log {
public:
    void Write(const std::string& text, bool lineEnd) override {
        text_ += text;
        if (lineEnd)
            text_ += "\n";
    }
    const std::string& Text() const { return text_; }

private:
    std::string text_;
};

class RecordingProgress : public tvx::Progress {
public:
    void SetRange(int l, int h) override {
        low = l;
        high = h;
    }
    void SetPos(int p) override {
        pos = p;
        history.push_back(p);
    }
    int low = -1, high = -1, pos = -1;
    std::vector<int> history;
};

class RecordingAnimation : public tvx::Animation {
public:
    void Play() override { ++plays; }
    void Stop() override { ++stops; }
    int plays = 0, stops = 0;
};

// A sandbox with an engine wired to recording owners.
class TransferTest : public Sandbox {
protected:
    void SetUp() override;
    std::unique_ptr<tvx::CTransfer> Make(tvx::ReportMode mode = tvx::ReportMode::SingleFile,
                                         bool paced = true);
    // Reads chunks until the transfer ends; returns the sizes of the reads
    // that moved bytes, followed by the final 0.
    std::vector<long> Drain(tvx::CTransfer& transfer);
    // Transfers the source to the destination for `chunks` reads that moved
    // bytes, then breaks off, leaving a partial file and its control file.
    void BreakAfter(const std::string& source, const std::string& destination, int chunks);
    // The record in the control file, or false when there is none.
    bool ReadControl(const std::string& path, tvx::ControlRecord& record);

    tvx::HttpSettings settings;
    RecordingUi ui;
    RecordingLog log;
    RecordingProgress bar, sessionBar;
    RecordingAnimation animation;
    tvx::SessionTotals totals;
};

// Bytes that differ from position to position, so a splice shows.
std::string Pattern(std::size_t n, unsigned seed = 1);
std::int64_t FileSize(const std::string& path);
// The date number of a file's modification time read as GMT (what a server
// announces in Last-Modified).
double GmtDateNumber(const std::string& path);

}  // namespace tvxtest
