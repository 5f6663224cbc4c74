#pragma once

#include "services/FileMeasurement.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace deptest {

// The digest list, indll.sha256: the SHA-256 digest of each file of the
// reference list, one line per name in the format sha256sum writes and
// checks ("HEX  NAME", a line that starts with a backslash when its name
// holds a backslash, a line feed or a carriage return, written as \\, \n
// and \r). The reference list itself stays as other machines read it.

// The list's line for one name, with its line feed.
std::string digestLine(std::string_view name, const ContentDigest& digest);
// Lower-case hexadecimal, as sha256sum writes it.
std::string hexOf(const ContentDigest& digest);

// What the list says of one name: its digest, or why it gives none that
// can be trusted.
struct ListedDigest {
    std::optional<ContentDigest> digest;
    std::string problem;
    bool asked { false };
};

// The list as read, in pieces of any size. A line that names no file is
// counted by its number; a line whose digest is not 64 hexadecimal digits,
// and a name listed twice, leave the name without a usable digest.
class DigestList {
public:
    void add(std::string_view bytes);
    // The last line, when it has no line end.
    void finish();

    // The name's entry, marked as asked for; nothing when the list has no
    // line for it.
    const ListedDigest* find(const std::string& name);
    // The numbers of the lines that named no file.
    [[nodiscard]] const std::vector<std::size_t>& malformedLines() const { return m_malformed; }
    // The names nobody asked for, in no particular order.
    [[nodiscard]] std::vector<std::string> namesNotAsked() const;
    [[nodiscard]] std::size_t size() const { return m_entries.size(); }

private:
    void endLine();
    void addLine(std::string_view line);

    std::unordered_map<std::string, ListedDigest> m_entries;
    std::vector<std::size_t> m_malformed;
    std::string m_partial;
    bool m_overlong { false };
    std::size_t m_lineNumber { 0 };
};

} // namespace deptest
