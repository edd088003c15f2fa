#!/usr/bin/python3
"""Runs a program on a pseudo-terminal, as a person at a console would, and answers it.

    console_session.py [--answer PROMPT=REPLY]... [--timeout S] -- PROGRAM [ARGS...]

Each --answer types REPLY and Enter once PROMPT has been shown, in the order given.
Prints what the console showed (terminal control sequences removed) and exits with the
program's exit status; 124 when it is still running after the timeout (it is killed).
"""
import os
import pty
import re
import select
import signal
import sys
import time


def main():
    args = sys.argv[1:]
    answers, timeout = [], 60.0
    while args and args[0] != "--":
        if args[0] == "--answer":
            prompt, _, reply = args[1].partition("=")
            answers.append((prompt.encode(), reply.encode()))
        elif args[0] == "--timeout":
            timeout = float(args[1])
        else:
            sys.exit(__doc__)
        args = args[2:]
    if len(args) < 2:
        sys.exit(__doc__)

    pid, fd = pty.fork()
    if pid == 0:
        os.execvp(args[1], args[1:])
    shown = b""
    answered = 0  # bytes of shown already matched by earlier answers
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        ready, _, _ = select.select([fd], [], [], 0.5)
        if ready:
            try:
                data = os.read(fd, 4096)
            except OSError:
                data = b""
            if not data:
                break  # the program closed the console
            shown += data
        if answers:
            at = shown.find(answers[0][0], answered)
            if at >= 0:
                # A moment for the console to be reading before the keys arrive.
                time.sleep(1)
                os.write(fd, answers[0][1] + b"\r")
                answered = at + len(answers[0][0])
                answers.pop(0)
    timed_out = time.monotonic() >= deadline
    if timed_out:
        os.kill(pid, signal.SIGKILL)
    _, status = os.waitpid(pid, 0)
    text = re.sub(rb"\x1b\[[0-9;?]*[A-Za-z]|\r", b"", shown).decode("utf-8", "replace")
    print(text)
    sys.exit(124 if timed_out else os.waitstatus_to_exitcode(status))


if __name__ == "__main__":
    main()
