#!/usr/bin/env python3
"""The whole performance picture in one table: the program against the
floor of log parsing, against other log analysers doing their full run on
the same log, and against a trivial C CGI program, on a generated access log
of 1,000,000 lines over 30 days and one of 10,000,000 lines over 365 days.

    bench/compare.py [--work DIR] [--build DIR] [--quick]

Installs what it needs (Debian packages, with apt-get), builds the program
(Release) in --build (default build/release), keeps the generated logs in
--work (default /tmp/vazivev-compare) between runs, and prints for every row
the figure, the reference measured in the same run and their ratio. --quick
uses logs ten times smaller, to try the script.
"""
import argparse
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.realpath(__file__))
ROOT = os.path.dirname(HERE)
PACKAGES = ["analog", "webalizer", "goaccess", "wrk", "lighttpd", "cmake", "g++", "make", "libssl-dev", "python3"]
ROWS = []


def run(cmd, **kw):
    return subprocess.run(cmd, check=True, **kw)


def out(cmd, **kw):
    return subprocess.run(cmd, check=True, stdout=subprocess.PIPE, text=True, **kw).stdout


def install():
    missing = [p for p in PACKAGES if subprocess.run(
        ["dpkg-query", "-W", "-f=${Status}", p], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
        text=True).stdout.find("install ok installed") < 0]
    if missing:
        sudo = [] if os.geteuid() == 0 else ["sudo"]
        run(sudo + ["apt-get", "update", "-qq"])
        run(sudo + ["apt-get", "install", "-y", "-qq", "--no-install-recommends"] + missing,
            env=dict(os.environ, DEBIAN_FRONTEND="noninteractive"), stdout=subprocess.DEVNULL)


def build(build_dir, work):
    run(["cmake", "-S", ROOT, "-B", build_dir, "-DCMAKE_BUILD_TYPE=Release", "-DBUILD_TESTING=OFF"],
        stdout=subprocess.DEVNULL)
    run(["cmake", "--build", build_dir, "-j2", "--target", "vazivev", "vazivev_log", "hit_bench", "items_bench",
         "times_bench", "split_bench"], stdout=subprocess.DEVNULL)
    for name in ["floor", "measure", "trivial_cgi"]:
        run(["cc", "-O2", "-o", os.path.join(work, name), os.path.join(HERE, name + ".c")])


def row(section, what, figure, unit, reference=None, ref_label="", higher_is_better=False, target=None):
    ratio = None
    if reference:
        ratio = figure / reference if figure and reference else None
    ROWS.append((section, what, figure, unit, reference, ref_label, ratio, higher_is_better, target))


def measure(work, folder, command, env, n=1):
    args = [os.path.join(work, "measure"), "-n", str(n), "-C", folder]
    for k, v in env.items():
        args += ["-e", f"{k}={v}"]
    line = out(args + ["--"] + command)
    m = dict(re.findall(r"(\w+)=([\d.]+)", line))
    return float(m["wall"]), float(m["cpu"]), int(m["rss"])


def lines_per_second(text):
    return float(re.search(r"([\d.]+) lines/s", text).group(1))


def generate(work, name, lines, days, start):
    path = os.path.join(work, name)
    if not os.path.exists(path):
        run([sys.executable, os.path.join(HERE, "gen_log.py"), path + ".part", str(lines), str(days), start, "1"])
        os.rename(path + ".part", path)
    return path


def day_file(work, log, day_text):
    # The hourly benchmark finds the day in the file's name, as QLyymmdd.
    stamp = time.strptime(day_text, "%d/%b/%Y")
    path = os.path.join(work, os.path.basename(log) + "-QL" + time.strftime("%y%m%d", stamp) + ".log")
    if not os.path.exists(path):
        with open(path + ".part", "w") as outfile:
            run(["grep", "-F", "[" + day_text + ":", log], stdout=outfile)
        os.rename(path + ".part", path)
    return path


def cgi_env(query):
    return {"REQUEST_METHOD": "GET", "QUERY_STRING": query, "TZ": "UTC"}


def make_site(build_dir, work, label, log):
    site = os.path.join(work, "site-" + label)
    shutil.rmtree(site, ignore_errors=True)
    run(["cmake", "--install", build_dir, "--prefix", site], stdout=subprocess.DEVNULL)
    os.makedirs(os.path.join(site, "data", "vazivev"))
    shutil.copy(log, os.path.join(site, "access.log"))
    with open(os.path.join(site, "data", "vazivev", "index"), "w") as f:
        f.write(f"object vazivev : VaziVev\n LogFile={site}/access.log\n Loging=Unique\n Unit=3\n lines=30\nend\n")
    for name, kind in [("hit", "Hit"), ("root", "RootHit")]:
        with open(os.path.join(site, "data", "vazivev", name), "w") as f:
            f.write(f"object {name} : {kind}\nend\n")
    for name, kind in [("domains", "DomainsContainer"), ("pages", "PagesContainer"), ("times", "TimesContainer")]:
        os.makedirs(os.path.join(site, "data", "vazivev", name))
        with open(os.path.join(site, "data", "vazivev", name, "index"), "w") as f:
            f.write(f"object {name} : {kind}\nend\n")
    with open(os.path.join(site, "page", "MonthGraph.html"), "w") as f:
        f.write("<html><body>\n'$System.vazivev.hit.Accumulate $Date\n'$System.vazivev.hit.Graph green\n"
                "</body></html>\n")
    return site


def page_size(site, query):
    env = dict(cgi_env(query), PATH="/usr/bin:/bin")
    return len(subprocess.run([os.path.join(site, "vazivev.cgi")], cwd=site, env=env, check=True,
                              stdout=subprocess.PIPE).stdout)


def free_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def lighttpd(work, site):
    docroot = os.path.join(work, "htdocs")
    os.makedirs(docroot, exist_ok=True)
    shutil.copy(os.path.join(work, "trivial_cgi"), os.path.join(site, "trivial.cgi"))
    port = free_port()
    conf = os.path.join(work, "lighttpd.conf")
    with open(conf, "w") as f:
        f.write(f'server.document-root = "{docroot}"\nserver.bind = "127.0.0.1"\nserver.port = {port}\n'
                f'server.errorlog = "{work}/lighttpd.err"\nserver.modules = ("mod_alias", "mod_cgi", "mod_setenv")\n'
                f'setenv.add-environment = ("TZ" => "UTC")\n'
                f'alias.url = ("/stats/" => "{site}/")\ncgi.assign = (".cgi" => "")\n')
    proc = subprocess.Popen(["lighttpd", "-D", "-f", conf])
    for _ in range(50):
        try:
            socket.create_connection(("127.0.0.1", port), timeout=0.2).close()
            return proc, port
        except OSError:
            time.sleep(0.1)
    proc.kill()
    raise SystemExit("lighttpd did not start")


def wrk(port, path, seconds):
    text = out(["wrk", "-t2", "-c4", f"-d{seconds}s", "--latency", f"http://127.0.0.1:{port}{path}"])
    rps = float(re.search(r"Requests/sec:\s+([\d.]+)", text).group(1))
    lat = {}
    for p in ("50%", "90%", "99%"):
        m = re.search(r"\s" + p + r"\s+([\d.]+)(us|ms|s)", text)
        value = float(m.group(1)) * {"us": 0.001, "ms": 1, "s": 1000}[m.group(2)]
        lat[p] = value
    return rps, lat


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--work", default="/tmp/vazivev-compare")
    parser.add_argument("--build", default=os.path.join(ROOT, "build", "release"))
    parser.add_argument("--quick", action="store_true")
    args = parser.parse_args()
    work = os.path.realpath(args.work)
    os.makedirs(work, exist_ok=True)
    install()
    build(args.build, work)
    scale = 10 if args.quick else 1
    logs = [("30d", generate(work, f"access-{1000000 // scale}-30d.log", 1000000 // scale, 30, "2024-01-01"),
             "2024-01-30", "15/Jan/2024"),
            ("365d", generate(work, f"access-{10000000 // scale}-365d.log", 10000000 // scale, 365, "2023-01-01"),
             "2023-12-31", "15/Jun/2023")]
    for label, log, last_day, sample_day in logs:
        last = last_day.replace("-", "")
        today = str(int(last) + 1) if not last.endswith("31") or last[4:6] != "12" else str(int(last[:4]) + 1) + "0101"
        total_lines = int(out(["wc", "-l", log]).split()[0])
        run(["cat", log], stdout=subprocess.DEVNULL)  # into the page cache
        floor = lines_per_second(out([os.path.join(work, "floor"), log]))
        row(label, "floor: fgets + host, date, path", floor, "lines/s")
        split = lines_per_second(out([os.path.join(args.build, "split_bench"), log, today, "3"]))
        row(label, "split of the whole log into day files", split, "lines/s", floor, "floor", True, 0.5)
        if os.path.isdir("/dev/shm"):
            # The same on a tmpfs, where syncing costs nothing: the split's CPU part.
            shm = lines_per_second(out([os.path.join(args.build, "split_bench"), log, today, "3"],
                                       env=dict(os.environ, TMPDIR="/dev/shm")))
            row(label, "split of the whole log into day files on a tmpfs (no disk)", shm, "lines/s", floor, "floor")
        day = day_file(work, log, sample_day)
        floor1 = sorted(lines_per_second(out([os.path.join(work, "floor"), day])) for _ in range(9))[4]
        hits = out([os.path.join(args.build, "hit_bench"), day, "11"])
        items = out([os.path.join(args.build, "items_bench"), day, "11"])
        dstamp = time.strptime(sample_day, "%d/%b/%Y")
        times = out([os.path.join(args.build, "times_bench"), day, time.strftime("%Y%m%d", dstamp), "11"])
        for name, text, key in [("hits", hits, "hit "), ("top-page hits", hits, "roothit"),
                                ("domains", items, "domains"), ("pages", items, "pages"), ("hours", times, "times")]:
            line = next(l for l in text.splitlines() if l.startswith(key))
            row(label, f"first count of a day: {name}", lines_per_second(line), "lines/s", floor1, "floor, same day",
                True, 0.5)

        site = make_site(args.build, work, label, log)
        wall, cpu, rss = measure(work, site, [os.path.join(site, "vazivev.cgi")], cgi_env("page=VaziVevIndex&Date=" + last))
        row(label, f"the request that splits the log ({total_lines} lines), then counts a month of hits", wall, "ms")
        row(label, "the request that splits the log: its peak memory", rss, "KiB")
        query = f"page=VaziVevDomains&scope=month&Date={last}"
        wall, cpu, rss = measure(work, site, [os.path.join(site, "vazivev.cgi")], cgi_env(query))
        row(label, "cold month: domain ranking of 30 uncounted days (wall)", wall, "ms")
        row(label, "cold month: its CPU time", cpu, "ms")
        row(label, "cold month: its peak memory", rss, "KiB")
        cold = wall
        if label == "30d":
            for tool, command in [
                    ("analog", ["analog", "-G", "+g/dev/null", f"+O{work}/analog.html", log]),
                    ("webalizer", ["webalizer", "-Q", "-p", "-F", "clf", "-o", f"{work}/webalizer", log]),
                    ("goaccess", ["goaccess", log, "--log-format=COMMON", "--no-global-config",
                                  "-o", f"{work}/goaccess.html"])]:
                os.makedirs(f"{work}/webalizer", exist_ok=True)
                for f in os.listdir(f"{work}/webalizer"):
                    os.remove(os.path.join(f"{work}/webalizer", f))
                twall, tcpu, trss = measure(work, work, [shutil.which(command[0])] + command[1:], {"TZ": "UTC"})
                row(label, f"cold month against {tool}'s full run ({twall:.0f} ms, {trss} KiB)", cold, "ms", twall,
                    tool, False, 0.2 if tool == "analog" else 1.0)

        # Every day counted and stored: the month rankings of the whole log.
        year, month = int(last[:4]), int(last[4:6])
        months = 1 if label == "30d" else 12
        for k in range(months):
            y, m = year, month - k
            while m < 1:
                m, y = m + 12, y - 1
            end = f"{y:04d}{m:02d}" + str([31, 29 if y % 4 == 0 else 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31][m - 1])
            if int(end) > int(last):
                end = last
            for kind in ("VaziVevDomains", "VaziVevPages"):
                measure(work, site, [os.path.join(site, "vazivev.cgi")], cgi_env(f"page={kind}&scope=month&Date={end}"))
            measure(work, site, [os.path.join(site, "vazivev.cgi")], cgi_env(f"page=VaziVevIndex&Date={end}"))
        total_file = os.path.join(site, "data", "vazivev", "domains", "total")
        if os.path.exists(total_file):
            os.remove(total_file)
        query = f"page=VaziVevDomains&scope=all&Date={last}"
        wall, cpu, rss = measure(work, site, [os.path.join(site, "vazivev.cgi")], cgi_env(query))
        row(label, "all-time domain ranking, first time (sums every stored day)", wall, "ms")
        row(label, "all-time domain ranking, first time: peak memory", rss, "KiB")
        wall, cpu, rss = measure(work, site, [os.path.join(site, "vazivev.cgi")], cgi_env(query), n=21)
        row(label, "all-time domain ranking from its cache", wall, "ms")
        row(label, "all-time domain ranking from its cache: peak memory", rss, "KiB")

        # Cached pages against a trivial C CGI program printing as much.
        pages = [("a stored day's domain ranking", f"page=VaziVevDomains&Date={last}"),
                 ("the month graph", f"page=MonthGraph&Date={last}"),
                 ("the index", f"page=VaziVevIndex&Date={last}")]
        trivial = os.path.join(work, "trivial_cgi")
        for name, query in pages:
            measure(work, site, [os.path.join(site, "vazivev.cgi")], cgi_env(query))  # counted once
            size = page_size(site, query)
            wall, cpu, rss = measure(work, site, [os.path.join(site, "vazivev.cgi")], cgi_env(query), n=301)
            twall, tcpu, trss = measure(work, work, [trivial], cgi_env(str(size)), n=301)
            row(label, f"cached page, {name} ({size} bytes): wall", wall, "ms", twall, "trivial C CGI", False, 1.5)
            row(label, f"cached page, {name}: CPU", cpu, "ms", tcpu, "trivial C CGI", False, 1.5)
            row(label, f"cached page, {name}: peak memory", rss, "KiB", trss, "trivial C CGI")
        proc, port = lighttpd(work, site)
        try:
            seconds = 3 if args.quick else 10
            for name, query in pages:
                size = page_size(site, query)
                rps, lat = wrk(port, "/stats/vazivev.cgi?" + query, seconds)
                trps, tlat = wrk(port, f"/stats/trivial.cgi?{size}", seconds)
                row(label, f"lighttpd, 4 clients, {name}: requests/s (p50 {lat['50%']:.1f}, p90 {lat['90%']:.1f}, "
                    f"p99 {lat['99%']:.1f} ms; trivial p50 {tlat['50%']:.1f}, p99 {tlat['99%']:.1f} ms)", rps,
                    "req/s", trps, "trivial C CGI", True, 0.7)
        finally:
            proc.send_signal(signal.SIGTERM)
            proc.wait()
        size = int(out(["du", "-sk", os.path.join(site, "data")]).split()[0])
        row(label, "size on disk of the stored statistics (data/)", size, "KiB")
        days = len(os.listdir(os.path.join(site, "logs")))
        row(label, f"size on disk of the day files ({days} days)",
            int(out(["du", "-sk", os.path.join(site, "logs")]).split()[0]), "KiB",
            os.path.getsize(log) / 1024, "the log")

    print()
    print(f"{'log':5} {'what':130} {'figure':>14} {'reference':>14} {'ratio':>7}  target")
    for section, what, figure, unit, reference, ref_label, ratio, higher, target in ROWS:
        fig = f"{figure:,.1f} {unit}" if isinstance(figure, float) else f"{figure:,} {unit}"
        ref = "" if reference is None else (f"{reference:,.1f}" if isinstance(reference, float) else f"{reference:,}")
        rat = "" if ratio is None else f"{ratio:.2f}"
        goal = ""
        if target is not None and ratio is not None:
            ok = ratio >= target if higher else ratio <= target
            goal = ("at least " if higher else "at most ") + f"{target} {'met' if ok else 'MISSED'}"
        print(f"{section:5} {what[:130]:130} {fig:>14} {ref:>14} {rat:>7}  {goal} {ref_label}")


if __name__ == "__main__":
    main()
