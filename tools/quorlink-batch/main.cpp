// quorlink-batch: the window's transfer run from the command line.
//
// Sends every line of SOURCE to the device with CR LF and collects the
// replies, with the same framing, time-out and code page as the window.
// Options left out come from the user's settings file, so a run behaves as
// the window would.

#include "batchrun.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    return quorlink::batch::main(argc, argv);
}
