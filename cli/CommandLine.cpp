#include "cli/CommandLine.h"

#include "cli/Commands.h"
#include "errors/Messages.h"
#include "host/TerminationRequests.h"
#include "system/Process.h"

#include <QCoreApplication>

#include <utility>

namespace deptest::cli {

int runCommand(const Options& options, HostSettings settings, const Streams& streams, const PrinterFactory& printer)
{
    if (!options.directory.isEmpty())
        settings.applicationDirectory = absoluteHostPath(options.directory.toStdString());
    if (!options.signingKey.isEmpty())
        settings.signingKey = absoluteHostPath(options.signingKey.toStdString());
    for (const QString& key : options.trustedKeys)
        settings.trustedKeys.push_back(absoluteHostPath(key.toStdString()));
    ConsoleWindow window(options, streams.out, streams.err);
    if (options.wait) {
        // Said once; a request to end stops the wait as it stops a run.
        settings.waitForLists = [&window, &streams, said = false](const std::string& inUse) mutable {
            if (!std::exchange(said, true))
                writeLine(streams.err, QByteArray::fromStdString("deptest: " + message::waitingForLists(inUse)));
            return !window.stopRequested;
        };
    }
    ConsoleRuntime runtime(std::move(settings), streams.err, printer);
    // Ctrl+C, kill and a closing session end a run after the entry at hand.
    TerminationRequests termination;
    QObject::connect(&termination, &TerminationRequests::requested, [&window] { window.stopRequested = true; });

    int status = exitStatus::failure;
    switch (options.command) {
    case Command::Test: status = runTestCommand(options, runtime, window, streams); break;
    case Command::Generate: status = runGenerateCommand(options, runtime, window, streams); break;
    case Command::Print: status = runPrintCommand(runtime, window); break;
    case Command::Names: status = runNamesCommand(options, runtime, streams); break;
    case Command::Window: break;
    }
    // Entries lost on the way to a full disk or a closed pipe are a failure too.
    if (std::fflush(streams.out) != 0 || std::ferror(streams.out) != 0) {
        runtime.showMessage("deptest: " + std::string(message::standardOutputUnwritable));
        status = exitStatus::failure;
    }
    return status;
}

int runCommandLine(int& argc, char* argv[], const PrintSupport& printing)
{
    QStringList arguments;
    for (const std::string& argument : commandLineArguments(argc, argv))
        arguments << QString::fromStdString(argument);
    const Parsed parsed = parseArguments(arguments);
    if (!parsed.options) {
        std::FILE* stream = parsed.answerIsError ? stderr : stdout;
        writeLine(stream, parsed.answer.toUtf8());
        return parsed.status;
    }
    // Only printing draws; the other commands never load a window system.
    std::unique_ptr<QCoreApplication> application;
    if (parsed.options->command == Command::Print && printing.makeApplication)
        application = printing.makeApplication(argc, argv);
    // Without the window module nothing can print: it has said why.
    if (parsed.options->command == Command::Print && printing.makeApplication && !application)
        return exitStatus::failure;
    if (!application)
        application = std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("deptest"));
    return runCommand(*parsed.options, HostRuntime::settingsForThisMachine(), Streams {}, printing.makePrinter);
}

} // namespace deptest::cli
