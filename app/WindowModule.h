#pragma once

#include <memory>

class QCoreApplication;

namespace deptest {

class Printer;

// What the program needs of the window system: the window itself, and an
// application object and a printer for printing from a shell. They live in
// a module of their own, loaded only by the commands that use them, so that
// a command run from a shell loads no window system and starts as fast as
// Qt Core allows.
struct WindowModule {
    int (*runWindow)(int& argc, char** argv);
    std::unique_ptr<QCoreApplication> (*makePrintingApplication)(int& argc, char** argv);
    std::unique_ptr<Printer> (*makePrinter)();
};

// The window module: loaded from lib/ beside the executable where it is a
// module of its own, linked into the executable where it is not (Windows).
// Null, with the reason on standard error, when it cannot be loaded.
const WindowModule* windowModule();

// Why the window cannot be shown here, or null: where the window system is
// a display server's (X11, Wayland) and none is named, Qt would abort while
// it looks for one.
const char* missingDisplay();

// Chooses where printing from a shell draws, before its application object
// is made: where the window system is a display server's, offscreen unless
// the user chose a platform, so no display is needed; on Windows, Windows'
// own, which the print engine draws through without showing a window.
void preparePrintingWithoutWindow();

} // namespace deptest

// The module's one exported symbol.
extern "C" const deptest::WindowModule* deptestWindowModule();
