#!/usr/bin/python3
# Counts the ThreadSanitizer reports in the log files given and prints "COUNTED QT_INTERNAL".
#
# Debian's Qt is not built with ThreadSanitizer: its mutexes are futexes the sanitizer cannot
# see, so what Qt serialises itself (its queue of posted events, the thread pool that paints
# images) is reported as races between Qt's own copies, allocations and frees. A data race in
# which both accesses are made by Qt's code (the first frame below the sanitizer's own is in a
# libQt6 library) is such a report and is not counted; every other report is, whatever it is.
import re
import sys

FRAME = re.compile(r"^\s+#\d+ .*\((?P<module>[^()+]+)\+0x[0-9a-f]+\)\s*$")
ACCESS = re.compile(r"^  (Previous )?(Atomic )?(read|write|Read|Write) ")


def access_stacks(report):
    """The module of the first frame of each access that is not the sanitizer's."""
    modules, current = [], None
    for line in report:
        if ACCESS.match(line):
            current = []
            modules.append(current)
            continue
        if current is None:
            continue
        if not line.strip():
            current = None
            continue
        frame = FRAME.match(line)
        if frame and not current and "libtsan" not in frame.group("module"):
            current.append(frame.group("module").rsplit("/", 1)[-1])
    return [m[0] if m else "" for m in modules]


def qt_internal(report):
    if "data race" not in report[0]:
        return False
    firsts = access_stacks(report)
    return len(firsts) >= 2 and all(m.startswith("libQt6") for m in firsts)


def main(paths):
    counted = internal = 0
    for path in paths:
        with open(path, errors="replace") as log:
            report = None
            for line in log:
                if line.startswith("WARNING: ThreadSanitizer"):
                    if report:
                        internal += qt_internal(report)
                        counted += not qt_internal(report)
                    report = [line]
                elif report is not None:
                    report.append(line)
            if report:
                internal += qt_internal(report)
                counted += not qt_internal(report)
    print(counted, internal)


main(sys.argv[1:])
