#!/usr/bin/env python3
"""Writes the access log of a busy site, the input of bench/busy_bench.sh:

    bench/gen_busy.py OUTPUT LINES_PER_DAY DAYS START [busy|hostile]

START is yyyy-mm-dd; the same arguments always give the same file, in the
combined layout and in time order. "busy" (the default): each day's paths
come from a catalogue of LINES_PER_DAY / 2 pages with a long tail (the
n-th page about as popular as 1/n), so a day of a million requests holds
a few hundred thousand distinct paths, from about fifty thousand clients.
"hostile": every request of the month asks for a path of its own, so each
day holds LINES_PER_DAY distinct paths and a month's sum DAYS times as many.
"""
import datetime
import random
import sys

MONTHS = ["Jan", "Feb", "Mar", "Apr", "May", "Jun",
          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"]
AGENTS = [
    "Mozilla/5.0 (X11; Linux x86_64) Chrome/120.0",
    "Mozilla/5.0 (Windows NT 10.0) Firefox/121.0",
    "Mozilla/5.0 (iPhone) Safari/604.1",
]


def main():
    out, per_day, days, start = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
    hostile = len(sys.argv) > 5 and sys.argv[5] == "hostile"
    rng = random.Random(22)
    first = datetime.date.fromisoformat(start)
    pages = max(1, per_day // 2)
    clients = ["10.%d.%d.%d" % (n >> 16 & 255, n >> 8 & 255, n & 255) for n in range(50000)]
    with open(out, "w") as f:
        for d in range(days):
            day = first + datetime.timedelta(days=d)
            stamp = "%02d/%s/%04d" % (day.day, MONTHS[day.month - 1], day.year)
            lines = []
            for i in range(per_day):
                second = i * 86400 // per_day
                if hostile:
                    path = "/h/%d/%d/item" % (d, i)
                else:
                    # About 1/n: the log-uniform index of the catalogue.
                    path = "/p/%d.html" % int(pages ** rng.random())
                lines.append('%s - - [%s:%02d:%02d:%02d +0000] "GET %s HTTP/1.1" 200 %d "-" "%s"\n' % (
                    clients[int(50000 ** rng.random()) - 1], stamp, second // 3600, second // 60 % 60,
                    second % 60, path, 500 + i % 20000, AGENTS[i % 3]))
                if len(lines) >= 65536:
                    f.writelines(lines)
                    lines = []
            f.writelines(lines)


main()
