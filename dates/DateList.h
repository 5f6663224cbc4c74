#pragma once

#include "dates/DateReader.h"
#include "system/CodePages.h"

#include <QDate>
#include <QLocale>

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace deptest {

// Texts as keys, found by their bytes without a copy.
struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const { return std::hash<std::string_view> {}(text); }
};
template <typename Value> using TextMap = std::unordered_map<std::string, Value, TextHash, std::equal_to<>>;

// The list-level decision: one reference list's language, code page and
// order of slashed dates come from its texts as a whole. After study()
// they come from all of them, fixed before the first is read; without it,
// from those read so far. A new list starts again from this machine's
// language and code page.
class DateList {
public:
    explicit DateList(const QLocale& machine);

    // Looks at all of a list's date texts before any is read, starting
    // from nothing that an earlier list showed.
    void study(std::span<const std::string> texts);
    // The day a text of the list names; invalid when it names none.
    QDate read(std::string_view bytes);
    // The same for a text the study read for good, decided once; none for
    // the others (numbers alone, whose order the list decides, and text
    // that is not UTF-8).
    std::optional<QDate> studiedDay(std::string_view bytes);
    // The code page the list's text that is not UTF-8 is written in.
    [[nodiscard]] int codePage() const { return m_codePage; }

private:
    struct Votes {
        std::unordered_map<int, int> languages; // by QLocale::Language
        std::unordered_map<int, int> codePages;
        int dayFirst { 0 };
        int monthFirst { 0 };
        std::unordered_map<int, int> orders; // short orders of the locales writing the texts
        int writers { 0 };
    };

    DateReader::Reading readLegacy(std::string_view bytes, bool learning);
    // The readings left when a language the list's texts speak against is
    // set aside (unless a weekday name confirms it).
    [[nodiscard]] std::vector<DateReader::Candidate> trusted(std::vector<DateReader::Candidate> candidates) const;
    void learnFrom(const QString& text, const std::vector<DateReader::Candidate>& candidates);
    void settle();
    [[nodiscard]] std::optional<Order> orderOfLeaders() const;

    DateReader m_reader;
    int m_machineCodePage;
    ListFacts m_facts;
    Votes m_votes;
    int m_codePage;
    CodePages m_converters; // for the lists' texts that are not UTF-8
    bool m_studied { false };
    // Languages that read fewer of the list's texts of a month name and
    // two numbers than no language reads: the list is written in one the
    // catalogue lacks, and their names in it are other words of that one.
    LanguageSet m_doubted;
    // Each text the study met; for those whose reading does not depend on
    // the list, what it found, so that each is read and decided once.
    struct Studied {
        bool readings { false };
        bool decided { false };
        std::vector<DateReader::Candidate> candidates;
        QDate day;
    };
    TextMap<Studied> m_studiedTexts;
};

} // namespace deptest
