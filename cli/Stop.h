// Ctrl-C, SIGTERM, a closed terminal (SIGHUP), SIGQUIT and the other signals
// that would end the program (SIGUSR1, SIGALRM, ...) ask the running job to stop:
// the handler only notes it, and the job finishes the page or block in hand,
// so no bus cycle is ever cut short and the bus is parked at exit.
#pragma once

void CatchStopSignals();
bool StopSignalled();
