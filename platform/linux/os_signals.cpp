// Signals: Control+C in the terminal acts as Control+C in every window, kill (SIGTERM) and a
// hang-up (SIGHUP) as a close of every window, so the applet ends through the orderly shutdown.
// The handler only sets flags; the pump applies them. A second signal before the pump has taken
// the first ends the process the default way.
#include <SDL.h>
#include <csignal>

#include "platform/linux/os_internal.h"

static volatile sig_atomic_t InterruptPending = 0;
static volatile sig_atomic_t ClosePending = 0;

static void OnSignal(int sig)
{
    // A second signal before the pump took the first: the player isn't pumping (stuck outside
    // the script), so the signal does what it does by default and ends the process.
    if (InterruptPending || ClosePending) {
        signal(sig, SIG_DFL);
        raise(sig);
        return;
    }
    if (sig == SIGINT) InterruptPending = 1;
    else ClosePending = 1;
    // Nothing else here is safe in a signal handler: waits look at the flags between slices.
}

void OsInstallSignals(void)
{
    struct sigaction sa = {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
}

int OsSignalPending(void)
{
    return InterruptPending || ClosePending;
}

void OsApplySignals(void)
{
    int interrupt = InterruptPending, close = ClosePending;
    if (!interrupt && !close) return;
    InterruptPending = 0;
    ClosePending = 0;
    int windows = 0;
    for (OsWindowRecord *w = OsWindowList(); w; w = w->next) {
        if (!w->window) continue;
        windows++;
        if (interrupt) w->ctrlC = 1;
        if (close) {
            w->closeRequested = 1;
            OsPost(w, OS_EV_CLOSE, 0, 0, 0);
        }
    }
    if (!windows && (close || (interrupt && OsCtrlCQuit))) OsSetStop();
}
