#pragma once

#include "generate/ReferenceGeneration.h"
#include "host/HostRuntime.h"
#include "verify/OrderedLookups.h"

#include <QString>
#include <QStringList>

#include <cstdio>
#include <functional>
#include <memory>
#include <optional>

class QCoreApplication;

namespace deptest {

class Printer;

namespace cli {

// What the program answers a shell with.
namespace exitStatus {
inline constexpr int ok = 0; // every entry matched, every name was found, the report printed
inline constexpr int differences = 1; // some entries did not match or some names were not found
inline constexpr int failure = 2; // the command could not do its work
} // namespace exitStatus

enum class Command { Window, Test, Generate, Print, Names };

struct Options {
    Command command { Command::Window };
    bool appDirOnly { false };
    bool json { false };
    bool verbose { false };
    // Wait for the lists while another run is using them.
    bool wait { false };
    // How many files' lookups are under way at once (--jobs).
    int jobs { chosenLookupJobs };
    // With --generate: the digest list made (--digest) or removed
    // (--no-digest); kept current while it is there otherwise.
    DigestChoice digests { DigestChoice::AsFound };
    // With --test: public key files trusted besides the system's folder of
    // trusted keys (--trust).
    QStringList trustedKeys;
    // With --generate: the secret key that signs the new lists (--sign).
    QString signingKey;
    // Stands in for the executable's directory when not empty.
    QString directory;
    // The programs whose name list is made, where it goes (the name list
    // in the directory when empty, "-" for standard output), and whether
    // LD_LIBRARY_PATH is searched as the loader would.
    QStringList programs;
    QString output;
    bool libraryPath { false };
};

// The arguments as understood, or what to answer instead of running a
// command (help, version or a one-line error) and the exit status with it.
struct Parsed {
    std::optional<Options> options;
    QString answer;
    bool answerIsError { false };
    int status { exitStatus::ok };
};

// Parses the arguments, the program's name first. No application object is needed.
Parsed parseArguments(const QStringList& arguments);

// Where the commands write: entries to `out`, messages to `err`.
struct Streams {
    std::FILE* out { stdout };
    std::FILE* err { stderr };
};

using PrinterFactory = std::function<std::unique_ptr<Printer>()>;

// Runs a command without a window on the machine `settings` describes
// (the directory option replaces its application directory) and returns
// its exit status. Needs a Qt application object; printing also needs the
// printer the factory makes.
int runCommand(const Options& options, HostSettings settings, const Streams& streams, const PrinterFactory& printer);

// What printing needs beyond Qt Core: an application object that can
// draw, and the default printer. Either may be missing or make nothing:
// then the application is Qt Core's and every job fails as without a
// printer.
struct PrintSupport {
    std::function<std::unique_ptr<QCoreApplication>(int&, char**)> makeApplication;
    PrinterFactory makePrinter;
};

// The program run from a shell with arguments: parses them, makes the
// application object the command needs (no window system unless it
// prints) and runs the command. Returns the exit status.
int runCommandLine(int& argc, char* argv[], const PrintSupport& printing);

} // namespace cli
} // namespace deptest
