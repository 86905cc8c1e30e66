#include "platform/Profile.h"

#include <cstdlib>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace tvx {

namespace {

std::string_view Trim(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!s.empty() && blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && blank(s.back()))
        s.remove_suffix(1);
    return s;
}

// One line of the file without its line end, and whether it had one.
struct Line {
    std::string_view text;
    bool ended = false;
};

std::vector<Line> SplitLines(std::string_view data) {
    std::vector<Line> lines;
    while (!data.empty()) {
        const std::size_t lf = data.find('\n');
        if (lf == std::string_view::npos) {
            lines.push_back({data, false});
            break;
        }
        std::string_view text = data.substr(0, lf);
        if (!text.empty() && text.back() == '\r')
            text.remove_suffix(1);
        lines.push_back({text, true});
        data.remove_prefix(lf + 1);
    }
    return lines;
}

// The section name of a "[name]" line, or false when the line is none.
bool SectionName(std::string_view line, std::string_view& name) {
    line = Trim(line);
    if (line.empty() || line.front() != '[')
        return false;
    const std::size_t close = line.find(']');
    name =
        Trim(line.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
    return true;
}

// The key and value of a "key=value" line, or false when the line is none.
bool KeyValue(std::string_view line, std::string_view& key, std::string_view& value) {
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos)
        return false;
    key = Trim(line.substr(0, eq));
    value = Trim(line.substr(eq + 1));
    return !key.empty();
}

// Lines [begin, end) of the first section with that name; begin is the line
// after its header. found is false when there is no such section.
struct SectionRange {
    bool found = false;
    std::size_t header = 0, begin = 0, end = 0;
};

SectionRange FindSection(const std::vector<Line>& lines, std::string_view section) {
    SectionRange range;
    std::string_view name;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (!SectionName(lines[i].text, name))
            continue;
        if (range.found) {
            range.end = i;
            return range;
        }
        if (CompareNoCase(name, Trim(section)) == 0) {
            range = {true, i, i + 1, lines.size()};
        }
    }
    return range;
}

// Index of the key's line within the range, or npos.
std::size_t FindKey(const std::vector<Line>& lines, const SectionRange& range,
                    std::string_view key) {
    std::string_view k, v;
    for (std::size_t i = range.begin; i < range.end; ++i) {
        if (KeyValue(lines[i].text, k, v) && CompareNoCase(k, Trim(key)) == 0)
            return i;
    }
    return std::string_view::npos;
}

}  // namespace

std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view defaultValue, std::string_view file) {
    std::string data;
    if (!ReadWholeFile(file, data))
        return std::string(defaultValue.substr(0, kProfileValueMax));
    const std::vector<Line> lines = SplitLines(data);
    const SectionRange range = FindSection(lines, section);
    const std::size_t at = range.found ? FindKey(lines, range, key) : std::string_view::npos;
    if (at == std::string_view::npos)
        return std::string(defaultValue.substr(0, kProfileValueMax));
    std::string_view k, value;
    KeyValue(lines[at].text, k, value);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return std::string(value.substr(0, kProfileValueMax));
}

int GetPrivateProfileInt(std::string_view section, std::string_view key, int defaultValue,
                         std::string_view file) {
    // A marker that no real value can equal tells a missing key from an empty one.
    static constexpr std::string_view kMissing("\x01missing\x01");
    const std::string text = GetPrivateProfileString(section, key, kMissing, file);
    if (text == kMissing)
        return defaultValue;
    return std::atoi(text.c_str());
}

bool WritePrivateProfileString(std::string_view section, std::string_view key,
                               std::string_view value, std::string_view file) {
    std::string data;
    ReadWholeFile(file, data);  // a missing file reads as empty and is created
    // Keep the file's own line ends: CR LF when it already uses them.
    const std::string_view eol = data.find("\r\n") != std::string::npos ? "\r\n" : "\n";
    std::vector<Line> lines = SplitLines(data);
    const std::string entry = std::string(Trim(key)) + "=" + std::string(value);
    const std::string header = "[" + std::string(Trim(section)) + "]";

    // Indices of lines to replace or insert; the rest is copied unchanged.
    std::size_t replace_at = std::string_view::npos;
    std::size_t insert_at = std::string_view::npos;
    std::vector<std::string> inserted;
    const SectionRange range = FindSection(lines, section);
    if (range.found) {
        replace_at = FindKey(lines, range, key);
        if (replace_at == std::string_view::npos) {
            // After the section's last non-blank line, so a blank separator
            // line before the next section stays where it is.
            insert_at = range.begin;
            for (std::size_t i = range.begin; i < range.end; ++i) {
                if (!Trim(lines[i].text).empty())
                    insert_at = i + 1;
            }
            inserted.push_back(entry);
        }
    } else {
        insert_at = lines.size();
        inserted.push_back(header);
        inserted.push_back(entry);
    }

    std::string out;
    out.reserve(data.size() + entry.size() + header.size() + 8);
    for (std::size_t i = 0; i <= lines.size(); ++i) {
        if (i == insert_at) {
            for (const std::string& text : inserted) {
                out += text;
                out += eol;
            }
        }
        if (i == lines.size())
            break;
        if (i == replace_at) {
            out += entry;
        } else {
            out += lines[i].text;
        }
        // A last line without a line end gets one when something follows it.
        if (lines[i].ended || i + 1 < lines.size() || insert_at == lines.size())
            out += eol;
    }
    return WriteFileAtomically(file, out);
}

}  // namespace tvx
