// dr7326g-cli station: a download station that runs until it is stopped.
// Every pager that arrives (plugged in on USB, or an emulator's socket) is
// identified, its parameters read, its clock checked, its history downloaded
// and stored in the archive, and the archive synchronised with the lab's
// server; one line per pager and step on stdout, and a command run after each
// contact. POSIX only.
#pragma once

struct PagerCommandContext;

int runStation(PagerCommandContext &context);
