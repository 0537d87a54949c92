#!/usr/bin/python3
# Counts the ThreadSanitizer reports in the log files given and prints "COUNTED QT_INTERNAL".
#
# Debian's Qt is not built with ThreadSanitizer: its mutexes are futexes the sanitizer cannot
# see, so what Qt serialises itself (its queue of posted events, the thread pool that paints
# images) is reported as races between Qt's own copies, allocations and frees, and so is a call
# queued to the window's thread: written by the worker before Qt queues it, read by the window
# after Qt takes it from the queue, both under Qt's lock. Not counted are data races whose
# accesses are all made by Qt's code (the first frame below the sanitizer's own is in a libQt6
# library, or in GLib, which runs Qt's event loops; an access whose stack the sanitizer lost is
# not looked at) and races on the memory of
# a queued call: allocated by QMetaObject::invokeMethod, destroyed with what it holds by Qt when
# the call is done, or built by the posting thread and read by the call on the window's thread.
# Every other report is counted.
import re
import sys

FRAME = re.compile(r"^\s+#\d+ .*\((?P<module>[^()+]+)\+0x[0-9a-f]+\)\s*$")
ACCESS = re.compile(r"^  (Previous )?(Atomic )?(read|write|Read|Write) ")
LOCATION = re.compile(r"^  Location is heap block ")
QUEUED_CALL = re.compile(r"QMetaObject::invokeMethod|_ZN11QMetaObject12invokeMethod| invokeMethod<")
CALL_BUILDING = r" invokeMethod<| QFunctorSlotObject|QCallableObject|_M_init_functor<|_M_create<|#\d+ <lambda> "


def access_stacks(report):
    """The module of the first frame of each access that is not the sanitizer's."""
    modules = []
    for frames in access_frames(report):
        found = [FRAME.match(f).group("module") for f in frames if "libtsan" not in f]
        modules.append(found[0].rsplit("/", 1)[-1] if found else "")
    return modules


def queued_call(report):
    """True when the memory raced on was allocated by the queueing of a call."""
    frames = None
    for line in report:
        if LOCATION.match(line):
            frames = []
            continue
        if frames is None:
            continue
        if not line.strip():
            break
        if FRAME.match(line) and "libtsan" not in line:
            return bool(QUEUED_CALL.search(line))
    return False


def queued_call_freed(report):
    """True when an access is Qt destroying a queued call and what it holds: the call's own
    code (the slot object) run by the event's destructor, or by the queueing that dropped its
    reference; Qt runs it only to destroy the call."""
    for frames in access_frames(report):
        for before, frame in zip(frames, frames[1:]):
            if ("invokeMethodImpl" in frame or "~QMetaCallEvent" in frame) and slot_object(before):
                return True
    return False


def access_frames(report):
    """The frames of each access, in order; an empty list where the sanitizer lost the stack."""
    stacks, frames = [], None
    for line in report:
        if ACCESS.match(line):
            frames = []
            stacks.append(frames)
            continue
        if frames is None:
            continue
        if FRAME.match(line):
            frames.append(line)
        elif not line.strip():
            frames = None
    return stacks


def slot_object(frame):
    """The frame is the queued call's own code. In a long run the sanitizer's symbolizer now and
    then gives a frame its function but not its file (`<null>`), so the slot object is known by
    its name too."""
    return "qobjectdefs_impl.h" in frame or "QtPrivate::QFunctorSlotObject<" in frame


def runs_queued_call(frames):
    """The access is made by a call that Qt delivered from its queue to the window's thread."""
    return any(
        slot_object(frame) and "QObject::event" in after for frame, after in zip(frames, frames[1:])
    )


def builds_queued_call(frames):
    """The access is the posting thread building the call it queues: the call's object, its
    std::function, or the copy of what it captured."""
    return any(re.search(CALL_BUILDING, frame) for frame in frames[:6])


def hand_off(report):
    stacks = access_frames(report)
    return len(stacks) == 2 and any(
        runs_queued_call(a) and builds_queued_call(b) for a, b in (stacks, stacks[::-1])
    )


def qt_internal(report):
    if "data race" not in report[0]:
        return False
    known = [m for m in access_stacks(report) if m]
    return (
        (bool(known) and all(m.startswith(("libQt6", "libglib-2.0")) for m in known))
        or queued_call(report)
        or queued_call_freed(report)
        or hand_off(report)
    )


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
