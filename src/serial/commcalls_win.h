#pragma once

// Internal to SerialPort on Windows: the system calls through which the port
// reaches a COM device's driver, in one table.  The port calls nothing else
// on the device, so a test can put a driver of its own behind the port (one
// that refuses part of the line settings, say) by filling the table with
// its own functions, and put the system's back afterwards.  Nothing outside
// tests changes it.

#include <windows.h>

namespace quorlink::serial {

struct CommCalls
{
    decltype(&::CreateFileA) createFile;
    decltype(&::CloseHandle) closeHandle;
    decltype(&::GetCommTimeouts) getCommTimeouts;
    decltype(&::SetCommTimeouts) setCommTimeouts;
    decltype(&::GetCommState) getCommState;
    decltype(&::SetCommState) setCommState;
    decltype(&::GetCommModemStatus) getCommModemStatus;
    decltype(&::EscapeCommFunction) escapeCommFunction;
    decltype(&::ClearCommError) clearCommError;
    decltype(&::PurgeComm) purgeComm;
    decltype(&::ReadFile) readFile;
    decltype(&::WriteFile) writeFile;

    // The system's own functions.
    static CommCalls system();
};

// The calls every SerialPort uses from its next operation on.
CommCalls& commCalls();

} // namespace quorlink::serial
