#pragma once

// Resource ids of the programs' resource script (packaging/windows/program.rc.in)
// that the code loads; the script includes this file too.  A plain #define:
// the resource compiler knows no C++.

// The program's icon.  The lowest id, so that Explorer shows it for the file.
#define QUORLINK_ICON_ID 1
