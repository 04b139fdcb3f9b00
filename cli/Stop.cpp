#include "cli/Stop.h"

#include <signal.h>

#include <initializer_list>

namespace {

volatile sig_atomic_t stopSignalled = 0;

void NoteStop(int) { stopSignalled = 1; }

// A signal the starting shell set to be ignored stays ignored: nohup's
// SIGHUP, a background job's SIGINT.
void Catch(int signal, const struct sigaction& action, bool unlessIgnored) {
    struct sigaction before {};
    if (unlessIgnored && sigaction(signal, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) return;
    sigaction(signal, &action, nullptr);
}

}  // namespace

void CatchStopSignals() {
    struct sigaction action {};
    action.sa_handler = NoteStop;
    sigemptyset(&action.sa_mask);
    // Restarted, not failed: a dump write cut by the signal would otherwise
    // end the job as a file error.
    action.sa_flags = SA_RESTART;
    Catch(SIGINT, action, true);
    Catch(SIGTERM, action, false);
    Catch(SIGHUP, action, true);
    Catch(SIGQUIT, action, true);
    // Every other signal that would end the program by default ends the
    // job instead: killed outright, it would leave its temporary dump behind
    // and the bus unparked, WP# high.
    for (int other : {SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF, SIGIO, SIGPWR}) Catch(other, action, false);
    // A file grown past the size limit is a file error: the write that went
    // past it fails with EFBIG and the job reports it, instead of the signal
    // ending the program with the file half written.
    signal(SIGXFSZ, SIG_IGN);
    // A reader of the log that goes away (`| head`) must not kill the
    // program in the middle of a bus cycle; the log is then lost, the job
    // goes on.
    signal(SIGPIPE, SIG_IGN);
}

bool StopSignalled() { return stopSignalled != 0; }
