#include "cli/CommandLine.h"

#include "names/NameListCommand.h"
#include "records/DataFiles.h"
#include "verify/OrderedLookups.h"

#include <QCommandLineParser>
#include <QRegularExpression>

namespace deptest::cli {

namespace {

constexpr auto exitStatusHelp
    = "\nExit status:\n"
      "  0  every entry matched, every name was found, or the report printed\n"
      "  1  some entries did not match, or some names were not found\n"
      "  2  the command could not do its work (a missing or unreadable list, a\n"
      "     write failure, no printer, bad options, or a stop on request)\n"
      "\nA reference list made without deptest, from a shell or PowerShell:\n"
      "  find . -maxdepth 1 -type f ! -name indll.txt ! -name .deptest-tidy -printf "
      "'\"%f\",\"%s\",\"%TY-%Tm-%TdT%TT%Tz\"\\n' > indll.txt\n"
      "  Get-ChildItem -File -Exclude indll.txt | ForEach-Object { '\"{0}\",\"{1}\",\"{2:o}\"' -f $_.Name, $_.Length, "
      "$_.LastWriteTime } | Set-Content indll.txt\n"
      "A time with its zone (Z, UTC, GMT, UT, +05:30) counts by its day in this machine's zone;\n"
      "one without, by the day written; other zone names (CET, EST) are not read.\n";

// The options, in the order the help lists them.
QString digestListName() { return QString::fromLatin1(dataFile::nameOf(dataFile::digestList)); }

struct Switches {
    const QCommandLineOption test { QStringLiteral("test"),
        QStringLiteral("Compare every entry of indll.txt with this machine; write the exceptions to outdll.txt.") };
    const QCommandLineOption appDirOnly { QStringLiteral("app-dir-only"),
        QStringLiteral("With --test: search the application directory only.") };
    const QCommandLineOption generate { QStringLiteral("generate"),
        QStringLiteral("Measure the files named in dlls.txt; write indll.txt and the names not found to dllerr.txt.") };
    const QCommandLineOption digest { QStringLiteral("digest"),
        QStringLiteral("With --generate: also write the SHA-256 digest of each file found to %1, which "
                       "later generations keep current and --test then compares contents with.")
            .arg(digestListName()) };
    const QCommandLineOption noDigest { QStringLiteral("no-digest"),
        QStringLiteral("With --generate: remove %1 with the new lists.").arg(digestListName()) };
    const QCommandLineOption trust { QStringLiteral("trust"),
        QStringLiteral("With --test: trust the minisign public key in FILE besides those of the system's folder "
                       "of trusted keys; may be given more than once. Where any key is trusted, a list whose "
                       "signature (indll.txt.minisig) does not verify gives no verdict."),
        QStringLiteral("FILE") };
    const QCommandLineOption sign { QStringLiteral("sign"),
        QStringLiteral(
            "With --generate: sign the new lists with the minisign secret key in FILE (its password "
            "from the terminal, or from standard input when that is not one); DEPTEST_SIGNING_KEY names one for "
            "Ctrl+B and --generate."),
        QStringLiteral("FILE") };
    const QCommandLineOption print { QStringLiteral("print"),
        QStringLiteral("Print the report of outdll.txt on the default printer.") };
    const QCommandLineOption dir { QStringLiteral("dir"),
        QStringLiteral("Use DIR in place of the program's directory, for the data files and the application "
                       "directory search."),
        QStringLiteral("DIR") };
    const QCommandLineOption json { QStringLiteral("json"),
        QStringLiteral("With --test or --generate: one JSON object per entry on standard output.") };
    const QCommandLineOption wait { QStringLiteral("wait"),
        QStringLiteral("With --test or --generate: when another run is using the lists of the directory, wait for "
                       "it to end instead of stopping with status 2 (for scheduled checks).") };
    const QCommandLineOption jobs { QStringLiteral("jobs"),
        QStringLiteral("With --test or --generate: keep N files' lookups (searches, measurements, digests) under way "
                       "at once, 1 to %1; 1 looks each up in turn. Slow shares and cold disks gain most; a spinning "
                       "local disk may prefer fewer. Default: %2 where a folder searched is on a network share or a "
                       "user-space file system, otherwise one per processor (2 to %2).")
            .arg(mostLookupJobs)
            .arg(remoteLookupJobs),
        QStringLiteral("N") };
    const QCommandLineOption verbose { QStringLiteral("verbose"),
        QStringLiteral("Also list matching entries and found names, and a summary.") };
    const QCommandLineOption namesOf { QStringList { QStringLiteral("names-of") },
        QStringLiteral("Write dlls.txt with the files the programs FILE... need, as their loaders find them; more "
                       "files may follow as arguments."),
        QStringLiteral("FILE") };
    const QCommandLineOption output { QStringLiteral("output"),
        QStringLiteral("With --names-of: write the name list to FILE, or to standard output for -."),
        QStringLiteral("FILE") };
    const QCommandLineOption libraryPath { QStringLiteral("library-path"),
        QStringLiteral("With --names-of: search LD_LIBRARY_PATH too, as the loader would.") };
};

// Each reads its options into `options` and says why they do not go
// together, if they do not.
using OptionReader = std::optional<QString> (*)(const QCommandLineParser&, const Switches&, Options&);

// The command, and for --names-of its own options.
std::optional<QString> readCommand(const QCommandLineParser& parser, const Switches& switches, Options& options)
{
    int commands = 0;
    for (const auto& [option, command] :
        { std::pair { &switches.test, Command::Test }, std::pair { &switches.generate, Command::Generate },
            std::pair { &switches.print, Command::Print }, std::pair { &switches.namesOf, Command::Names } }) {
        if (parser.isSet(*option)) {
            options.command = command;
            ++commands;
        }
    }
    if (commands != 1) {
        return names::canReadNameLists() ? QStringLiteral("give one of --test, --generate, --print and --names-of")
                                         : QStringLiteral("give one of --test, --generate and --print");
    }
    if (options.command == Command::Names) {
        options.programs = parser.values(switches.namesOf) + parser.positionalArguments();
        options.output = parser.value(switches.output);
        options.libraryPath = parser.isSet(switches.libraryPath);
        if (parser.isSet(switches.json) || parser.isSet(switches.verbose) || parser.isSet(switches.appDirOnly)
            || parser.isSet(switches.digest) || parser.isSet(switches.noDigest) || parser.isSet(switches.wait)
            || parser.isSet(switches.trust) || parser.isSet(switches.sign) || parser.isSet(switches.jobs))
            return QStringLiteral("--names-of takes --dir, --output and --library-path only");
    } else if (parser.isSet(switches.output) || parser.isSet(switches.libraryPath)) {
        return QStringLiteral("--output and --library-path go with --names-of");
    }
    return std::nullopt;
}

// What a test or a generation reads and writes: the directories searched,
// what is written, the digests.
std::optional<QString> readListOptions(const QCommandLineParser& parser, const Switches& switches, Options& options)
{
    options.appDirOnly = parser.isSet(switches.appDirOnly);
    options.json = parser.isSet(switches.json);
    options.verbose = parser.isSet(switches.verbose);
    if (options.appDirOnly && options.command != Command::Test)
        return QStringLiteral("--app-dir-only goes with --test");
    if (parser.isSet(switches.digest) && parser.isSet(switches.noDigest))
        return QStringLiteral("give --digest or --no-digest, not both");
    if ((parser.isSet(switches.digest) || parser.isSet(switches.noDigest)) && options.command != Command::Generate)
        return QStringLiteral("--digest and --no-digest go with --generate");
    if (parser.isSet(switches.digest))
        options.digests = DigestChoice::Make;
    if (parser.isSet(switches.noDigest))
        options.digests = DigestChoice::Remove;
    return std::nullopt;
}

// The keys: those a test trusts, the one a generation signs with.
std::optional<QString> readKeyOptions(const QCommandLineParser& parser, const Switches& switches, Options& options)
{
    options.trustedKeys = parser.values(switches.trust);
    if (!options.trustedKeys.isEmpty() && options.command != Command::Test)
        return QStringLiteral("--trust goes with --test");
    if (options.trustedKeys.contains(QString()))
        return QStringLiteral("--trust needs a key file");
    if (parser.isSet(switches.sign)) {
        if (options.command != Command::Generate)
            return QStringLiteral("--sign goes with --generate");
        options.signingKey = parser.value(switches.sign);
        if (options.signingKey.isEmpty())
            return QStringLiteral("--sign needs a key file");
    }
    return std::nullopt;
}

// How the command runs: its output, whether it waits, its jobs, its
// directory.
std::optional<QString> readRunOptions(const QCommandLineParser& parser, const Switches& switches, Options& options)
{
    if (options.json && options.command == Command::Print)
        return QStringLiteral("--json goes with --test or --generate");
    options.wait = parser.isSet(switches.wait);
    if (options.wait && options.command == Command::Print)
        return QStringLiteral("--wait goes with --test or --generate");
    if (parser.isSet(switches.jobs)) {
        if (options.command != Command::Test && options.command != Command::Generate)
            return QStringLiteral("--jobs goes with --test or --generate");
        bool number = false;
        options.jobs = parser.value(switches.jobs).toInt(&number);
        if (!number || options.jobs < 1 || options.jobs > mostLookupJobs)
            return QStringLiteral("--jobs needs a number from 1 to %1").arg(mostLookupJobs);
    }
    if (parser.isSet(switches.dir)) {
        options.directory = parser.value(switches.dir);
        if (options.directory.isEmpty())
            return QStringLiteral("--dir needs a directory");
    }
    return std::nullopt;
}

// The command and its options into `options`; why they do not go
// together, if they do not.
std::optional<QString> readOptions(const QCommandLineParser& parser, const Switches& switches, Options& options)
{
    for (const OptionReader read : { readCommand, readListOptions, readKeyOptions, readRunOptions }) {
        if (std::optional<QString> why = read(parser, switches, options))
            return why;
    }
    return std::nullopt;
}

} // namespace

Parsed parseArguments(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Checks that the files an application depends on are present on this machine with the same size and date "
        "as on a reference machine. Without arguments, opens the window."));
    const Switches switches;
    parser.addOptions({ switches.test, switches.appDirOnly, switches.trust, switches.generate, switches.digest,
        switches.noDigest, switches.sign, switches.print, switches.dir, switches.json, switches.wait, switches.jobs,
        switches.verbose });
    if (names::canReadNameLists())
        parser.addOptions({ switches.namesOf, switches.output, switches.libraryPath });
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();

    const auto error = [](const QString& text) {
        return Parsed { std::nullopt, QStringLiteral("deptest: %1 (see deptest --help)").arg(text), true,
            exitStatus::failure };
    };
    if (!parser.parse(arguments))
        return error(parser.errorText());
    if (!parser.positionalArguments().isEmpty() && !parser.isSet(switches.namesOf))
        return error(QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().constFirst()));
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        QString text = parser.helpText();
        text.replace(QRegularExpression(QStringLiteral("^Usage: \\S+")), QStringLiteral("Usage: deptest"));
        return { std::nullopt, text + QLatin1String(exitStatusHelp), false, exitStatus::ok };
    }
    if (parser.isSet(version))
        return { std::nullopt, QStringLiteral("deptest " DEPTEST_VERSION), false, exitStatus::ok };
    Options options;
    if (const std::optional<QString> wrong = readOptions(parser, switches, options))
        return error(*wrong);
    return { options, {}, false, exitStatus::ok };
}

} // namespace deptest::cli
