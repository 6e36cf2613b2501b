#!/usr/bin/env python3
"""Runs the installed program N times for one page, as a web server would,
and prints requests per second, the median wall time per request and the
CPU time per request (user + system of the program itself).

    bench/request_bench.py SITE [-n N] [-q QUERY]
"""
import argparse
import os
import resource
import statistics
import time


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("site")
    parser.add_argument("-n", type=int, default=1000)
    parser.add_argument("-q", "--query", default="")
    args = parser.parse_args()
    site = os.path.realpath(args.site)
    program = os.path.join(site, "vazivev.cgi")
    env = {"REQUEST_METHOD": "GET", "QUERY_STRING": args.query, "PATH": "/usr/bin:/bin"}
    os.chdir(site)  # the web server starts CGI programs in their folder
    devnull = os.open(os.devnull, os.O_RDWR)
    walls = []
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    for _ in range(args.n):
        t0 = time.perf_counter()
        pid = os.posix_spawn(program, [program], env, file_actions=[
            (os.POSIX_SPAWN_DUP2, devnull, 0), (os.POSIX_SPAWN_DUP2, devnull, 1)])
        _, status = os.waitpid(pid, 0)
        walls.append(time.perf_counter() - t0)
        if status != 0:
            raise SystemExit(f"request failed with status {status}")
    total = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    print(f"requests: {args.n}  query: '{args.query}'")
    print(f"requests per second: {args.n / total:.0f}")
    print(f"median wall time per request: {statistics.median(walls) * 1000:.2f} ms")
    print(f"CPU time per request: {cpu / args.n * 1000:.2f} ms")


if __name__ == "__main__":
    main()
