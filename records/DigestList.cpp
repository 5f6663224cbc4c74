#include "records/DigestList.h"

#include "records/DataFiles.h"

#include <algorithm>

namespace deptest {

namespace {

constexpr std::string_view hexDigits = "0123456789abcdef";
constexpr std::size_t hexLength = 64;
// A line longer than the longest name a path can hold, escaped, names no
// file: it is not kept whole, so a list of one endless line takes no more
// memory than this.
constexpr std::size_t longestLine = hexLength + 2 + std::size_t { 2 } * 32767 * 3;

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::optional<ContentDigest> digestFromHex(std::string_view text)
{
    if (text.size() != hexLength)
        return std::nullopt;
    ContentDigest digest {};
    for (std::size_t i = 0; i < digest.size(); ++i) {
        const int high = hexValue(text[2 * i]);
        const int low = hexValue(text[2 * i + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        digest[i] = static_cast<std::uint8_t>(high * 16 + low);
    }
    return digest;
}

// The name of an escaped line as it is; nothing when an escape is unknown.
std::optional<std::string> unescaped(std::string_view name)
{
    std::string plain;
    plain.reserve(name.size());
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (name[i] != '\\') {
            plain += name[i];
            continue;
        }
        if (++i == name.size())
            return std::nullopt;
        switch (name[i]) {
        case '\\': plain += '\\'; break;
        case 'n': plain += '\n'; break;
        case 'r': plain += '\r'; break;
        default: return std::nullopt;
        }
    }
    return plain;
}

} // namespace

std::string hexOf(const ContentDigest& digest)
{
    std::string text;
    text.reserve(hexLength);
    for (const std::uint8_t byte : digest) {
        text += hexDigits[byte >> 4];
        text += hexDigits[byte & 0x0f];
    }
    return text;
}

std::string digestLine(std::string_view name, const ContentDigest& digest)
{
    const bool escaped = name.find_first_of("\\\n\r") != std::string_view::npos;
    std::string line;
    line.reserve(hexLength + name.size() + 4);
    if (escaped)
        line += '\\';
    line += hexOf(digest);
    line += "  ";
    for (const char c : name) {
        if (escaped && c == '\\')
            line += "\\\\";
        else if (escaped && c == '\n')
            line += "\\n";
        else if (escaped && c == '\r')
            line += "\\r";
        else
            line += c;
    }
    line += '\n';
    return line;
}

void DigestList::add(std::string_view bytes)
{
    while (!bytes.empty()) {
        const std::size_t end = bytes.find('\n');
        const std::string_view piece = bytes.substr(0, end);
        if (m_partial.size() + piece.size() > longestLine)
            m_overlong = true;
        else
            m_partial.append(piece);
        if (end == std::string_view::npos)
            return;
        bytes.remove_prefix(end + 1);
        endLine();
    }
}

void DigestList::finish()
{
    if (!m_partial.empty() || m_overlong)
        endLine();
}

void DigestList::endLine()
{
    ++m_lineNumber;
    if (m_overlong)
        m_malformed.push_back(m_lineNumber);
    else
        addLine(m_partial);
    m_partial.clear();
    m_overlong = false;
}

void DigestList::addLine(std::string_view line)
{
    // A list saved on Windows ends its lines with a carriage return too.
    if (line.ends_with('\r'))
        line.remove_suffix(1);
    if (line.empty())
        return;
    const bool escaped = line.front() == '\\';
    if (escaped)
        line.remove_prefix(1);
    // "DIGEST  NAME", or "DIGEST *NAME" for a file read as binary.
    const std::size_t space = line.find(' ');
    if (space == std::string_view::npos || space + 2 >= line.size()
        || (line[space + 1] != ' ' && line[space + 1] != '*')) {
        m_malformed.push_back(m_lineNumber);
        return;
    }
    std::optional<std::string> name = std::string(line.substr(space + 2));
    if (escaped)
        name = unescaped(*name);
    if (!name) {
        m_malformed.push_back(m_lineNumber);
        return;
    }
    const auto [entry, added] = m_entries.try_emplace(std::move(*name));
    if (!added) {
        entry->second.digest.reset();
        entry->second.problem = "listed twice in " + std::string(dataFile::nameOf(dataFile::digestList));
        return;
    }
    entry->second.digest = digestFromHex(line.substr(0, space));
    if (!entry->second.digest)
        entry->second.problem
            = "its digest in " + std::string(dataFile::nameOf(dataFile::digestList)) + " is not 64 hexadecimal digits";
}

const ListedDigest* DigestList::find(const std::string& name)
{
    const auto found = m_entries.find(name);
    if (found == m_entries.end())
        return nullptr;
    found->second.asked = true;
    return &found->second;
}

std::vector<std::string> DigestList::namesNotAsked() const
{
    std::vector<std::string> names;
    for (const auto& [name, entry] : m_entries) {
        if (!entry.asked)
            names.push_back(name);
    }
    return names;
}

} // namespace deptest
