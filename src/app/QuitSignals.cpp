#include "app/QuitSignals.h"

#include <csignal>
#include <initializer_list>

namespace {

// Written by the handler, read by the toolkit thread: the one kind of object a
// signal handler may set.
volatile std::sig_atomic_t pendingSignal = 0;

void OnQuitSignal(int signal)
{
    if (pendingSignal != 0) {
        std::signal(signal, SIG_DFL);
        std::raise(signal);
        return;
    }
    pendingSignal = signal;
}

}  // namespace

void QuitSignals::Install()
{
    struct sigaction action = {};
    action.sa_handler = OnQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    // A closed terminal sends SIGHUP and Ctrl+\ SIGQUIT: both end the
    // program as cleanly as Ctrl+C, rather than leaving a recording unfinished.
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
        sigaction(signal, &action, nullptr);
}

int QuitSignals::Pending()
{
    return pendingSignal;
}
