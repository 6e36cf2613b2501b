#!/usr/bin/env python3
"""Template rendering benchmark: installs the built program into a scratch
site, adds a page whose 1,000-row loop writes several references and tests
a condition on every row, and times whole requests for it with
bench/request_bench.py (requests per second, median time per request).

    bench/script_bench.py BUILD [-n N]

BUILD is a configured and built build directory (a normal build, not a
sanitizer one, gives the figures worth quoting).
"""
import argparse
import os
import subprocess
import sys
import tempfile

PAGE = """<html><body>
'set $date = System.Date
<h1>$title</h1>
<table>
'for $i = 1 to 1000
'if $i = $mark
<tr class=mark><td>$i</td><td>$title</td><td>$date.Year-$date.Month</td><td>$_raw</td></tr>
'elif $even
<tr><td>$i</td><td>$title</td><td>$System.Date.Day</td><td>$raw</td></tr>
'else
<tr><td>$i</td><td>$title</td><td>$i.Hour00</td><td>$raw</td></tr>
'endif
'next
</table>
</body></html>
"""


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("-n", type=int, default=300)
    args = parser.parse_args()
    here = os.path.dirname(os.path.realpath(__file__))
    with tempfile.TemporaryDirectory(prefix="script-bench-") as site:
        subprocess.run(["cmake", "--install", args.build, "--prefix", site],
                       check=True, stdout=subprocess.DEVNULL)
        with open(os.path.join(site, "page", "Bench.html"), "w") as f:
            f.write(PAGE)
        query = "page=Bench&title=Rows&mark=500&even=1&raw=%3Cb%3E"
        return subprocess.run([sys.executable, os.path.join(here, "request_bench.py"),
                               site, "-n", str(args.n), "-q", query]).returncode


if __name__ == "__main__":
    sys.exit(main())
