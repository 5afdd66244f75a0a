#!/usr/bin/python3
"""The same POP3 commands as the client benchmark, sent by Python's poplib.

Usage: poplib_check.py HOST PORT USER PASSWORD steady|first COUNT
Prints "wall_seconds cpu_seconds user_cpu_seconds" of the command loop (after login, before
QUIT).
"""
import os
import poplib
import sys
import time

host, port, user, password, mode, count = sys.argv[1:7]
count = int(count)
p = poplib.POP3(host, int(port))
p.user(user)
p.pass_(password)
wall0, cpu0, user0 = time.perf_counter(), time.process_time(), os.times().user
p.stat()
for n in range(1, count + 1):
    p.uidl(n)
    if mode == "first":
        p.list(n)
        p.top(n, 0)
        p.uidl(n)
print(time.perf_counter() - wall0, time.process_time() - cpu0, os.times().user - user0)
p.quit()
