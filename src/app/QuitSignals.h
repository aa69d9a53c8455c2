#pragma once

// Ctrl+C in the terminal (SIGINT), SIGTERM, SIGHUP (the terminal closed) and
// SIGQUIT ask the instrument to quit. The
// handler only notes the signal: the toolkit's loop sees the note and shuts
// down as Shift+Esc does, stopping the audio stream before anything is freed.
// A second signal while the first is still pending ends the process at once,
// for a shut-down that hangs.
class QuitSignals {
public:
    virtual ~QuitSignals() {}

    static void Install();
    // The signal received, or 0 when none is pending.
    static int Pending();
};
