# Judges a run of the driver tier (scripts/test-drivers).
#
#   awk -f check.awk RESULTS TRACE
#
# RESULTS holds the guest's lines (PHASE, MESSAGE, INFO; see guest-init),
# TRACE QEMU's trace of the 16550 registers (serial_write, serial_read), the
# FT232's requests (usb_serial_*) and its USB packets (usb_packet_state_change).
# The guest cut the trace into phases by writing each phase's number into
# the 16550's scratch register (offset 7), and 0 after it.
#
# Prints one line per phase with what was measured and "ok" or what is wrong,
# and exits 1 when anything is wrong.  Portable awk (mawk).

function hex(text,    i, c, n) {
    text = tolower(text)
    sub(/^0x/, "", text)
    sub(/,$/, "", text)
    n = 0
    for (i = 1; i <= length(text); i++) {
        c = index("0123456789abcdef", substr(text, i, 1))
        if (c == 0)
            break
        n = n * 16 + c - 1
    }
    return n
}

function bit(value, mask) {
    return int(value / mask) % 2
}

function abs(x) {
    return x < 0 ? -x : x
}

# Per cent between a speed made and the one asked for.
function off(made, wanted) {
    return abs(made - wanted) * 100 / wanted
}

function fail(id, what) {
    problems[id] = problems[id] (problems[id] == "" ? "" : "; ") what
}

function field(id, key) {
    return ((id, key) in phase) ? phase[id, key] : ""
}

BEGIN {
    Base = 115200      # the 16550's clock / 16, in baud
    Tolerance = 2      # per cent
    RequestBytes = 18  # three times "PING" CR LF
    Replies = 3
    lcr = 0; dll = 0; dlm = 0; mcr = 0
    rts = 0; dtr = 0; flow = -1; usbBaud = 0; usbData = ""
    segment = 0
}

# ---- The guest's results
FNR == NR {
    sub(/\r$/, "")
    if ($1 == "PHASE") {
        for (i = 2; i <= NF; i++) {
            split($i, kv, "=")
            key = kv[1]
            value = substr($i, length(key) + 2)
            if (key == "id") {
                id = value
                ids[++count] = id
            } else {
                phase[id, key] = value
            }
        }
    } else if ($1 == "MESSAGE") {
        split($2, kv, "=")
        text = $0
        sub(/^MESSAGE id=[0-9]+ ?/, "", text)
        message[kv[2]] = text
    } else if ($1 == "INFO") {
        for (i = 2; i <= NF; i++) {
            split($i, kv, "=")
            info[kv[1]] = substr($i, length(kv[1]) + 2)
        }
    }
    next
}

# ---- The trace.  Register and line state carry across phases, as in the
# hardware; counts are per phase.
$1 == "serial_write" && hex($4) == 7 {
    segment = hex($6)
    next
}

$1 == "serial_write" {
    addr = hex($4); value = hex($6)
    dlab = bit(lcr, 128)
    if (addr == 3) {
        lcr = value
    } else if (addr == 0 && dlab) {
        dll = value
    } else if (addr == 1 && dlab) {
        dlm = value
    } else if (addr == 4) {
        # The tty open raises DTR and RTS before the program can lower them.
        if (segment && !sent[segment] && bit(value, 1))
            openRaised[segment]++
        mcr = value
        if (segment && bit(value, 32))
            afe[segment]++
        if (segment && sent[segment] && bit(value, 1))
            dtrRaised[segment]++
    } else if (addr == 0 && segment) {
        # A byte for the line: the settings it goes out with.
        if (!sent[segment]) {
            divisor[segment] = dlm * 256 + dll
            lineControl[segment] = lcr
        }
        sent[segment]++
        if (!bit(mcr, 2) || bit(mcr, 1))
            badSend[segment]++
    }
    next
}

# A received byte taken from the 16550 once the phase has sent something:
# by then the request is out and the reply is awaited.
$1 == "serial_read" && hex($4) == 0 && !bit(lcr, 128) && segment && sent[segment] {
    read[segment]++
    if (bit(mcr, 2) || bit(mcr, 1))
        badRead[segment]++
    next
}

$1 == "usb_serial_handle_control" {
    request = hex($6); value = hex($8)
    if (request == 16385) {          # 0x4001, modem control
        if (bit(value, 512))
            rts = bit(value, 2)
        if (bit(value, 256))
            dtr = bit(value, 1)
        if (segment && !usbOut[segment] && dtr)
            openRaised[segment]++
        if (segment && usbOut[segment] && dtr)
            dtrRaised[segment]++
    } else if (request == 16393 && segment) {  # 0x4009, latency timer
        latencies[segment] = latencies[segment] (latencies[segment] == "" ? "" : ",") value
    }
    next
}

$1 == "usb_serial_set_baud" { usbBaud = $NF; next }
$1 == "usb_serial_set_data" {
    usbData = $5 $8 $11
    gsub(/,/, "", usbData)
    next
}
$1 == "usb_serial_set_flow_control" {
    flow = $NF
    if (segment && usbOut[segment] && flow != 0)
        flowLater[segment]++
    next
}

# Completed bulk packets: endpoint 2 carries bytes to the line, endpoint 1
# bytes from it (the FT232 has nothing to send otherwise and refuses).
$1 == "usb_packet_state_change" && /setup -> complete/ && segment {
    ep = $7
    sub(/,$/, "", ep)
    if (ep == 2) {
        if (!usbOut[segment]) {
            baudAtSend[segment] = usbBaud
            dataAtSend[segment] = usbData
            flowAtSend[segment] = flow
        }
        usbOut[segment]++
        if (!rts || dtr)
            badSend[segment]++
    } else if (ep == 1 && usbOut[segment]) {
        usbIn[segment]++
        if (rts || dtr)
            badRead[segment]++
    }
    next
}

# ---- Judging
function checkUartSpeed(id, baud,    div, made, got) {
    div = int(Base / baud + 0.5)
    made = Base / div
    if (off(made, baud) > Tolerance) {
        # Refused, saying what it can make instead.
        wantedText = "the port cannot make " baud " Bd; the nearest speed it can make is " \
                     int(made + 0.5) " Bd"
        if (field(id, "rc") != 2 || index(message[id], wantedText) == 0)
            fail(id, "not refused as expected (exit " field(id, "rc") ", \"" message[id] "\")")
        if (sent[id])
            fail(id, sent[id] " bytes sent on a refused port")
        return sprintf("refused (divisor %d would give %d Bd, %.1f %% off)", div, made, off(made, baud))
    }
    if (field(id, "rc") != 0 || field(id, "replies") != Replies)
        fail(id, "exit " field(id, "rc") ", " field(id, "replies") " replies")
    got = divisor[id] ? Base / divisor[id] : 0
    if (!divisor[id] || off(got, baud) > Tolerance)
        fail(id, "divisor " divisor[id])
    if ((lineControl[id] % 128) - bit(lineControl[id], 16) * 16 != 3)
        fail(id, sprintf("LCR 0x%02x is not 8N1", lineControl[id]))
    if (afe[id])
        fail(id, "automatic flow control switched on")
    if (sent[id] != RequestBytes)
        fail(id, sent[id] " bytes sent")
    if (read[id] < RequestBytes)
        fail(id, read[id] " reply bytes read")
    return sprintf("divisor %d = %.0f Bd (%.2f %%), LCR 0x%02x, %s, %d bytes out with RTS up, %d reads with RTS down",
                   divisor[id], got, off(got, baud), lineControl[id], openBlip(id),
                   sent[id] - badSend[id], read[id] - badRead[id])
}

function checkFtdiSpeed(id, baud,    made, n, values) {
    made = baudAtSend[id]
    if (field(id, "rc") != 0 || field(id, "replies") != Replies)
        fail(id, "exit " field(id, "rc") ", " field(id, "replies") " replies")
    if (made == "" || off(made, baud) > Tolerance)
        fail(id, "baud " made)
    if (dataAtSend[id] != "N81")
        fail(id, "framing " dataAtSend[id] " instead of N81")
    if (flowAtSend[id] != 0 || flowLater[id])
        fail(id, "flow control " flowAtSend[id])
    if (usbOut[id] < Replies)
        fail(id, usbOut[id] " packets sent")
    if (usbIn[id] < 1)
        fail(id, "no reply packet")
    n = split(latencies[id], values, ",")
    if (n < 2 || values[1] != 1 || values[n] != info["latency_before"])
        fail(id, "latency timer set to " latencies[id] " (expected 1, then " info["latency_before"] ")")
    return sprintf("%s Bd (%.2f %%), %s, flow %s, latency %s, %s, %d packets out with RTS up, %d in with RTS down",
                   made, off(made, baud), dataAtSend[id], flowAtSend[id], latencies[id], openBlip(id),
                   usbOut[id] - badSend[id], usbIn[id] - badRead[id])
}

# Reported, not judged: Linux raises DTR on open whenever a speed is set.
function openBlip(id) {
    return openRaised[id] ? "DTR up during the open only" : "DTR never up"
}

function nothingSent(id) {
    if (sent[id] || usbOut[id])
        fail(id, "bytes sent")
}

END {
    expected = 17 * 2 + 1 + 1 + 2 + 2 + 2 + 1 + 1 + 1
    if (count != expected)
        printf "MISSING: %d phases reported, %d expected%s\n", count, expected,
               info["error"] != "" ? " (" info["error"] ")" : ""
    for (i = 1; i <= count; i++) {
        id = ids[i]
        kind = field(id, "kind")
        driver = field(id, "driver")
        detail = ""
        if (kind == "speed") {
            baud = field(id, "baud")
            detail = driver == "uart" ? checkUartSpeed(id, baud) : checkFtdiSpeed(id, baud)
            label = sprintf("%-4s %6d Bd", driver, baud)
        } else if (kind == "spdhi") {
            # The divisor for 38400 Bd is 3; under spd_hi it would be 2.
            detail = checkUartSpeed(id, field(id, "baud"))
            if (field(id, "flag_after") != "spd_hi")
                fail(id, "flag after the run: " field(id, "flag_after"))
            detail = "spd_hi: " detail ", flag " field(id, "flag_after") " after"
            label = "uart 38400 spd_hi"
        } else if (kind == "latency") {
            if (field(id, "during") != 1 || field(id, "after") != info["latency_before"])
                fail(id, "latency_timer " field(id, "during") " while open, " field(id, "after") " after")
            if (field(id, "lock_while_open") != 1 || field(id, "lock_left") != 0)
                fail(id, "own lock file: " field(id, "lock_while_open") " while open, " \
                         field(id, "lock_left") " after")
            n = split(latencies[id], values, ",")
            if (n < 2 || values[1] != 1 || values[n] != info["latency_before"])
                fail(id, "latency requests " latencies[id])
            detail = sprintf("latency_timer %s before, %s while open, %s after; requests 0x4009 with %s",
                             info["latency_before"], field(id, "during"), field(id, "after"), latencies[id])
            label = "ftdi latency"
        } else if (kind == "held") {
            if (field(id, "rc") != 2 || index(message[id], "the port is in use by ") == 0 ||
                index(message[id], "(pid " field(id, "holder") ")") == 0)
                fail(id, "exit " field(id, "rc") ", \"" message[id] "\"")
            nothingSent(id)
            detail = message[id]
            label = driver " held open"
        } else if (kind == "lock") {
            if (field(id, "rc") != 2 || index(message[id], "locking failed: the port is in use by init (pid 1)") == 0)
                fail(id, "exit " field(id, "rc") ", \"" message[id] "\"")
            nothingSent(id)
            detail = message[id]
            label = driver " live lock"
        } else if (kind == "stale") {
            if (field(id, "rc") != 0 || field(id, "replies") != Replies || field(id, "lock_left") != 0)
                fail(id, "exit " field(id, "rc") ", lock left " field(id, "lock_left"))
            detail = "lock of an ended process taken over, none left after"
            label = driver " stale lock"
        } else if (kind == "listports") {
            if (field(id, "rc") != 0 || field(id, "com2") != "/dev/ttyS1=yes" ||
                field(id, "com3") != "/dev/ttyS2=no" || field(id, "usb") != "COM17=yes" ||
                field(id, "usb_line") != 1 || info["ttyS2_type"] != 0)
                fail(id, "listed " field(id, "com2") " " field(id, "com3") " usb " field(id, "usb") \
                         " with " field(id, "usb_line") " [Ports] line")
            detail = "COM2 " field(id, "com2") ", COM3 " field(id, "com3") " (type " info["ttyS2_type"] \
                     "), the FT232 " field(id, "usb")
            label = "list-ports"
        } else if (kind == "listed") {
            if (field(id, "port") != "COM17")
                fail(id, "run on " field(id, "port"))
            detail = field(id, "port") ": " checkFtdiSpeed(id, 9600)
            label = "ftdi as COM17"
        } else if (kind == "nouart") {
            if (field(id, "rc") != 2 || index(message[id], "does not respond") == 0)
                fail(id, "exit " field(id, "rc") ", \"" message[id] "\"")
            detail = message[id]
            label = "ttyS2 open"
        } else if (kind == "stopped") {
            n = split(latencies[id], values, ",")
            if (field(id, "rc") != 143 || field(id, "replies") != 1 ||
                message[id] != "quorlink-batch: stopped by SIGTERM during line 2 of 3" ||
                field(id, "took_cs") + 0 >= 100 || field(id, "during") != 1 ||
                field(id, "after") != info["latency_before"] || field(id, "lock_left") != 0 ||
                values[n] != info["latency_before"])
                fail(id, "exit " field(id, "rc") " after " field(id, "took_cs") "0 ms, \"" message[id] \
                         "\", latency " field(id, "during") " then " field(id, "after") \
                         " (requests " latencies[id] "), lock left " field(id, "lock_left"))
            detail = sprintf("exit %s %.2f s after SIGTERM, latency_timer %s then %s: %s", field(id, "rc"),
                             field(id, "took_cs") / 100, field(id, "during"), field(id, "after"), message[id])
            label = "ftdi SIGTERM"
        } else if (kind == "unplug") {
            if (field(id, "rc") != 2 || message[id] != "quorlink-batch: port lost during line 2 of 4" ||
                field(id, "took_cs") + 0 >= 1000 || field(id, "device_gone") != 1 || field(id, "lock_left") != 0)
                fail(id, "exit " field(id, "rc") " after " field(id, "took_cs") "0 ms, \"" message[id] \
                         "\", gone " field(id, "device_gone") ", lock left " field(id, "lock_left"))
            detail = sprintf("exit %s after %.2f s: %s", field(id, "rc"), field(id, "took_cs") / 100, message[id])
            label = "ftdi unplugged"
        } else {
            fail(id, "unknown phase " kind)
        }
        if (badSend[id])
            fail(id, badSend[id] " bytes or packets sent without RTS up and DTR down")
        if (badRead[id])
            fail(id, badRead[id] " reply bytes or packets while RTS or DTR was up")
        if (dtrRaised[id])
            fail(id, "DTR raised during the run")
        printf "%-18s %s: %s\n", label, problems[id] == "" ? "ok" : "FAILED", detail
        if (problems[id] != "")
            printf "%-18s   %s\n", "", problems[id]
    }
    bad = count != expected
    for (id in problems)
        if (problems[id] != "")
            bad = 1
    exit bad
}
