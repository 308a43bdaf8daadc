#pragma once

#include <functional>

// The one way the program ends with a status for its launcher
// (1 stop, 10 restart after an update, 11 start the demo program).
class ProgramExit
{
public:
    using Handler = std::function<void(int status)>;

    // Records the status and hands it to the handler; the default handler leaves the
    // event loop so that main() returns the status normally.
    static void exit(int status);

    // The status of the last exit() call, or -1.
    static int lastStatus();

    // Replaces the handler (tests record instead of leaving); an empty handler restores
    // the default. Also clears lastStatus().
    static void setHandler(Handler handler);
};
