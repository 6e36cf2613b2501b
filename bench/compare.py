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
import datetime
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
PACKAGES = ["analog", "webalizer", "goaccess", "wrk", "lighttpd", "valgrind", "cmake", "g++", "make", "libssl-dev",
            "python3"]
# Every statistic the settings page makes, as name:Type.
STATISTICS = ["hit:Hit", "root:RootHit", "all:AllHit", "visitors:Visitors", "bytes:Bytes",
              "domains:DomainsContainer", "pages:PagesContainer", "times:TimesContainer", "agents:AgentsContainer",
              "systems:SystemsContainer", "codes:StatusContainer", "notfound:NotFoundContainer",
              "referrers:ReferrersContainer", "robots:RobotsContainer", "countries:CountriesContainer"]
# The report pages of the page set, each shown for a day, a month and a range.
REPORTS = ["VaziVevDomains", "VaziVevPages", "VaziVevHours", "VaziVevStatuses", "VaziVevNotFound", "VaziVevBytes",
           "VaziVevReferrers", "VaziVevAgents", "VaziVevSystems", "VaziVevRobots", "VaziVevCountries"]
ASSETS = ("css js mjs map gif jpg jpeg png webp avif svg ico bmp tif tiff woff woff2 ttf otf eot mp3 ogg wav flac "
          "m4a mp4 webm mov avi mkv")
CALLGRIND = {}  # (page, days of history) -> instructions
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
    run(["cmake", "--build", build_dir, "-j2"], stdout=subprocess.DEVNULL)
    run(["cmake", "--build", build_dir, "-j2", "--target", "hit_bench", "items_bench", "times_bench", "split_bench"],
        stdout=subprocess.DEVNULL)
    for name in ["floor", "measure", "trivial_cgi"]:
        run(["cc", "-O2", "-o", os.path.join(work, name), os.path.join(HERE, name + ".c")])


def row(section, what, figure, unit, reference=None, ref_label="", higher_is_better=False, target=None):
    ratio = None
    if reference:
        ratio = figure / reference if figure and reference else None
    ROWS.append((section, what, figure, unit, reference, ref_label, ratio, higher_is_better, target))
    # Said at once too, so that a run that stops half-way still tells what it measured.
    print(f"row: {section} | {what} | {figure} {unit} | {reference} {ref_label} | {ratio}", file=sys.stderr,
          flush=True)


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


# The path lighttpd serves the program at. Every request the harness makes
# names it, and the sites store it, as a web server's requests would: a new
# SCRIPT_NAME changes what counts as a page, and every day is counted again.
SCRIPT_NAME = "/stats/vazivev.cgi"


def cgi_env(query):
    return {"REQUEST_METHOD": "GET", "QUERY_STRING": query, "TZ": "UTC", "SCRIPT_NAME": SCRIPT_NAME}


def make_site(build_dir, work, label, log):
    site = os.path.join(work, "site-" + label)
    shutil.rmtree(site, ignore_errors=True)
    run(["cmake", "--install", build_dir, "--prefix", site], stdout=subprocess.DEVNULL)
    os.makedirs(os.path.join(site, "data", "vazivev"))
    shutil.copy(log, os.path.join(site, "access.log"))
    with open(os.path.join(site, "data", "vazivev", "index"), "w") as f:
        f.write(f"object vazivev : VaziVev\n LogFile={site}/access.log\n Loging=Unique\n Unit=3\n lines=30\n"
                f" ScriptPath={SCRIPT_NAME}\nend\n")
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


def full_site(build_dir, work, label):
    """A site with every statistic of the settings page, the suggested rule
    for a site of today, and its own empty access log; nothing imported."""
    site = os.path.join(work, "full-" + label)
    shutil.rmtree(site, ignore_errors=True)
    run(["cmake", "--install", build_dir, "--prefix", site], stdout=subprocess.DEVNULL)
    data = os.path.join(site, "data", "vazivev")
    os.makedirs(data)
    open(os.path.join(site, "empty.log"), "w").close()
    with open(os.path.join(data, "index"), "w") as f:
        f.write(f"object vazivev : VaziVev\n Loging=Unique\n LogFile={site}/empty.log\n Unit=3\n lines=30\n"
                f" URL=http://www.example.org\n Assets={ASSETS}\n Statuses=2xx 304\n ScriptPath={SCRIPT_NAME}\nend\n")
    for stat in STATISTICS:
        name, kind = stat.split(":")
        if kind.endswith("Container"):
            os.makedirs(os.path.join(data, name))
            path = os.path.join(data, name, "index")
        else:
            path = os.path.join(data, name)
        with open(path, "w") as f:
            f.write(f"object {name} : {kind}\nend\n")
    return site


def timed(command, **kw):
    start = time.monotonic()
    result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, **kw)
    return time.monotonic() - start, result


def update(site, jobs):
    """vazivev-update with --jobs when the program knows it; the seconds it
    took and whether the option was known."""
    command = [os.path.join(site, "vazivev-update")]
    seconds, result = timed(command + ["--jobs", str(jobs)])
    if result.returncode != 0 and "usage" in result.stdout:
        seconds, result = timed(command)
        known = False
    else:
        known = True
    if result.returncode != 0:
        raise SystemExit("vazivev-update failed: " + result.stdout)
    return seconds, known


def day_lines(site):
    logs = os.path.join(site, "logs")
    names = sorted(n for n in os.listdir(logs) if n.startswith("QL") and n.endswith(".log"))
    path = os.path.join(os.path.dirname(site), os.path.basename(site) + "-days.log")
    with open(path, "w") as outfile:
        run(["cat"] + [os.path.join(logs, n) for n in names], stdout=outfile)
    return path


def counted_sites(args, work, label, log, floor_of_days=None):
    """Imports `log` into two sites with every statistic, counts one on one
    core and the other with every core; rows for both. Returns the second
    site, counted."""
    one = full_site(args.build, work, label + "-1")
    seconds, result = timed([os.path.join(one, "vazivev-import"), log])
    if result.returncode != 0:
        raise SystemExit("vazivev-import failed: " + result.stdout)
    row(label, "import of the log into day files (vazivev-import)", seconds * 1000, "ms")
    both = os.path.join(work, "full-" + label)
    shutil.rmtree(both, ignore_errors=True)
    run(["cp", "-a", one, both])
    days = day_lines(one)
    lines = int(out(["wc", "-l", days]).split()[0])
    floor = floor_of_days or lines_per_second(out([os.path.join(work, "floor"), days]))
    os.remove(days)
    seconds1, known = update(one, 1)
    row(label, f"every statistic ({len(STATISTICS)}) of every day, one core (vazivev-update"
        f"{' --jobs 1' if known else ''}): {seconds1:.1f} s", lines / seconds1, "lines/s", floor,
        "floor over the day files", True, 0.3)
    seconds2, _ = update(both, os.cpu_count() or 2)
    row(label, f"every statistic of every day, every core (vazivev-update): {seconds2:.1f} s", lines / seconds2,
        "lines/s", lines / seconds1, "one core", True, 1.7)
    shutil.rmtree(one, ignore_errors=True)
    return both, seconds2


def page_set(last, month, range_from, range_to):
    """The cached pages of the page set: every report for a stored day, a
    month and a 90-day range with its previous period, the dashboard and
    the export."""
    pages = [("the dashboard", f"page=VaziVevIndex&period={last}")]
    for report in REPORTS:
        short = report[len("VaziVev"):].lower()
        pages.append((f"{short}, day", f"page={report}&period={last}"))
        pages.append((f"{short}, month", f"page={report}&period={month}"))
        pages.append((f"{short}, 90 days", f"page={report}&from={range_from}&to={range_to}"))
    pages.append(("the export of the pages, 90 days, CSV",
                  f"page=VaziVevExport&report=pages&from={range_from}&to={range_to}&format=csv"))
    return pages


def instructions(site, query):
    """Instructions of one request (callgrind), the program alone."""
    outfile = os.path.join(site, "callgrind.out")
    env = dict(cgi_env(query), PATH="/usr/bin:/bin")
    subprocess.run(["valgrind", "--tool=callgrind", f"--callgrind-out-file={outfile}", os.path.join(site, "vazivev.cgi")],
                   cwd=site, env=env, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    text = out(["callgrind_annotate", outfile])
    os.remove(outfile)
    m = re.search(r"([\d,]+) \(100.0%\)\s+PROGRAM TOTALS", text) or re.search(r"([\d,]+)\s+PROGRAM TOTALS", text)
    return int(m.group(1).replace(",", ""))


def cached_pages(args, work, label, site, pages, history, n=101, lighttpd_pages=()):
    trivial = os.path.join(work, "trivial_cgi")
    program = os.path.join(site, "vazivev.cgi")
    for name, query in pages:
        measure(work, site, [program], cgi_env(query))  # counted and summed once
        measure(work, site, [program], cgi_env(query))
        size = page_size(site, query)
        wall, cpu, rss = measure(work, site, [program], cgi_env(query), n=n)
        twall, tcpu, trss = measure(work, work, [trivial], cgi_env(str(size)), n=n)
        row(label, f"page set, {name} ({size} bytes): wall", wall, "ms", twall, "trivial C CGI", False, 1.25)
        row(label, f"page set, {name}: CPU", cpu, "ms", tcpu, "trivial C CGI", False, 1.25)
        if shutil.which("valgrind"):
            CALLGRIND[(name, history)] = instructions(site, query)
    if not lighttpd_pages:
        return
    lighttpd_rows(work, label, site, [(n, q) for n, q in pages if n in lighttpd_pages], 3 if args.quick else 5,
                  0.8, "page set, ")


def lighttpd_rows(work, label, site, pages, seconds, target, prefix):
    """Each page and the trivial program printing as much under lighttpd,
    4 clients, in requests per second."""
    proc, port = lighttpd(work, site)
    try:
        for name, query in pages:
            size = page_size(site, query)
            rps, lat = wrk(port, "/stats/vazivev.cgi?" + query, seconds)
            trps, tlat = wrk(port, f"/stats/trivial.cgi?{size}", seconds)
            row(label, f"lighttpd, 4 clients, {prefix}{name}: requests/s (p50 {lat['50%']:.1f}, p90 {lat['90%']:.1f}, "
                f"p99 {lat['99%']:.1f} ms; trivial p50 {tlat['50%']:.1f}, p99 {tlat['99%']:.1f} ms)", rps,
                "req/s", trps, "trivial C CGI", True, target)
    finally:
        proc.send_signal(signal.SIGTERM)
        proc.wait()


def peers(work, label, log, ours, layout):
    """The other analysers' full runs over the same log against ours."""
    goaccess_format = "COMBINED" if layout == "combined" else "COMMON"
    for tool, command, target in [
            ("analog", ["analog", "-G", "+g/dev/null", f"+O{work}/analog.html", log], 0.5),
            ("webalizer", ["webalizer", "-Q", "-p", "-F", "clf", "-o", f"{work}/webalizer", log], None),
            ("goaccess", ["goaccess", log, f"--log-format={goaccess_format}", "--no-global-config",
                          "-o", f"{work}/goaccess.html"], 0.1)]:
        os.makedirs(f"{work}/webalizer", exist_ok=True)
        for f in os.listdir(f"{work}/webalizer"):
            os.remove(os.path.join(f"{work}/webalizer", f))
        twall, tcpu, trss = measure(work, work, ["/bin/sh", "-c", 'exec "$@" 2>/dev/null', "peer",
                                                 shutil.which(command[0])] + command[1:], {"TZ": "UTC"})
        row(label, f"every statistic of the month (import + vazivev-update) against {tool}'s full run "
            f"({twall:.0f} ms, {trss} KiB)", ours, "ms", twall, tool, False, target)


def gz_import(args, work, log):
    """The 365-day log as twelve monthly .gz files, imported, against
    zcat | floor over the same files."""
    folder = os.path.join(work, "gz")
    if not os.path.exists(os.path.join(folder, "done")):
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        run(["awk", "-v", f"dir={folder}", '{ split($4, d, "/"); f = dir "/" substr(d[3], 1, 4) "-" d[2] ".log"; '
             'if (f != last) { if (last != "") close(last); last = f } print > f }', log])
        run(["sh", "-c", f"gzip -6 {folder}/*.log"])
        open(os.path.join(folder, "done"), "w").close()
    files = sorted(os.path.join(folder, n) for n in os.listdir(folder) if n.endswith(".gz"))
    files.sort(key=lambda p: time.strptime(os.path.basename(p)[:8], "%Y-%b"))
    start = time.monotonic()
    run(["sh", "-c", f"zcat {' '.join(files)} | {work}/floor /dev/stdin"], stdout=subprocess.DEVNULL)
    zcat = time.monotonic() - start
    site = full_site(args.build, work, "gz")
    seconds, result = timed([os.path.join(site, "vazivev-import")] + files)
    if result.returncode != 0:
        raise SystemExit("vazivev-import failed: " + result.stdout)
    row("365d", f"import of the log as {len(files)} monthly .gz files (vazivev-import {seconds:.1f} s; "
        f"zcat | floor {zcat:.1f} s), as speed", zcat / seconds, "x", 1.0, "zcat | floor", True, 0.5)
    shutil.rmtree(site, ignore_errors=True)


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


def modern30(args, work, scale):
    """A month of today's web in the combined layout: every statistic of
    every day, one read a day, on one core and on all; the other analysers
    on the same log; the cached pages of the page set."""
    label = "modern30"
    lines = 1000000 // scale
    log = os.path.join(work, f"modern-{lines}-30d.log")
    if not os.path.exists(log):
        run([sys.executable, os.path.join(HERE, "gen_log.py"), log + ".part", str(lines), "30", "2024-01-01", "1",
             "modern"])
        os.rename(log + ".part", log)
    run(["cat", log], stdout=subprocess.DEVNULL)
    floor = lines_per_second(out([os.path.join(work, "floor"), log]))
    row(label, "floor: fgets + host, date, path", floor, "lines/s")
    full, update_seconds = counted_sites(args, work, label, log)
    imported = next(r for r in ROWS if r[0] == label and r[1].startswith("import of the log"))[2]
    peers(work, label, log, imported + update_seconds * 1000, "combined")
    pages = page_set("20240130", "2024-01", "20231102", "20240130")
    keep = ("the dashboard", "domains, day", "pages, month", "pages, 90 days", "the export of the pages, 90 days, CSV")
    cached_pages(args, work, label, full, pages, label, n=101, lighttpd_pages=keep)
    shutil.rmtree(full, ignore_errors=True)


def row_key(section, what):
    # A row's figures in its text (sizes, seconds, the peers' own times) differ between runs.
    what = re.sub(r"\s*\([^)]*\)", "", what)
    return section, re.sub(r":? [\d.]+ s$", "", what).strip()


def number(value, unit):
    if value is None:
        return ""
    if unit in ("lines/s", "KiB", "req/s") or abs(value) >= 1000:
        return f"{value:,.0f}"
    return f"{value:,.2f}" if abs(value) < 10 else f"{value:,.1f}"


def table(before_file, after_file, middle_file=None):
    """Prints the markdown table of two runs' rows: before, after, their
    references and ratios, the target and whether the after run meets it;
    with a third run, its figure and ratio between them."""
    import json
    before = {row_key(r[0], r[1]): r for r in json.load(open(before_file))["rows"]}
    middle = {row_key(r[0], r[1]): r for r in json.load(open(middle_file))["rows"]} if middle_file else None
    label = os.path.basename(middle_file).rsplit(".", 1)[0] if middle_file else ""
    data = json.load(open(after_file))
    section = None
    for r in data["rows"]:
        s, what, figure, unit, reference, ref_label, ratio, higher, target = r
        if s != section:
            section = s
            print(f"\n### {s}\n")
            if middle is None:
                print("| what | before | after | ratio before | ratio after (reference) | target |")
                print("| --- | ---: | ---: | ---: | ---: | --- |")
            else:
                print(f"| what | before | {label} | after | ratio before | ratio {label} | ratio after (reference) | target |")
                print("| --- | ---: | ---: | ---: | ---: | ---: | ---: | --- |")
        b = before.get(row_key(s, what))
        goal = ""
        if target is not None and ratio is not None:
            ok = ratio >= target if higher else ratio <= target
            goal = ("at least " if higher else "at most ") + f"{target} " + ("met" if ok else "**missed**")
        ref = f" ({number(reference, unit)} {ref_label})" if reference else ""
        ratio_of = lambda row: "" if not row or row[6] is None else f"{row[6]:.2f}"
        if middle is None:
            print(f"| {what} | {number(b[2], unit) if b else ''} | {number(figure, unit)} {unit} | "
                  f"{ratio_of(b)} | {'' if ratio is None else f'{ratio:.2f}'}{ref} | {goal} |")
        else:
            m = middle.get(row_key(s, what))
            print(f"| {what} | {number(b[2], unit) if b else ''} | {number(m[2], unit) if m else ''} | "
                  f"{number(figure, unit)} {unit} | {ratio_of(b)} | {ratio_of(m)} | "
                  f"{'' if ratio is None else f'{ratio:.2f}'}{ref} | {goal} |")
    before_calls = {(k, h): v for k, h, v in json.load(open(before_file)).get("callgrind", [])}
    calls = {(k, h): v for k, h, v in data.get("callgrind", [])}
    if calls:
        print("\n### Instructions per cached page (callgrind), 30 against 365 days of history\n")
        print("| page | before, 30 days | before, 365 days | after, 30 days | after, 365 days | after: 365 / 30 "
              "| target |")
        print("| --- | ---: | ---: | ---: | ---: | ---: | --- |")
        for (name, history), count in calls.items():
            if history != "30d":
                continue
            longer = calls.get((name, "365d"))
            ratio = longer / count if longer else None
            goal = "" if ratio is None else ("within 10 % " + ("met" if abs(ratio - 1) <= 0.1 else "**missed**"))
            b30, b365 = before_calls.get((name, "30d")), before_calls.get((name, "365d"))
            print(f"| {name} | {b30 or 0:,} | {b365 or 0:,} | {count:,} | {longer or 0:,} | "
                  f"{'' if ratio is None else f'{ratio:.2f}'} | {goal} |")
        print("\n| page, combined month (modern30) | before | after | after / before |")
        print("| --- | ---: | ---: | ---: |")
        for (name, history), count in calls.items():
            if history == "modern30":
                b = before_calls.get((name, history))
                print(f"| {name} | {b or 0:,} | {count:,} | {'' if not b else f'{count / b:.2f}'} |")


def main():
    if len(sys.argv) in (4, 5) and sys.argv[1] == "--table":
        table(sys.argv[2], sys.argv[3], sys.argv[4] if len(sys.argv) == 5 else None)
        return
    parser = argparse.ArgumentParser()
    parser.add_argument("--work", default="/tmp/vazivev-compare")
    parser.add_argument("--build", default=os.path.join(ROOT, "build", "release"))
    parser.add_argument("--quick", action="store_true")
    parser.add_argument("--sections", default="modern30,30d,365d",
                        help="which logs to run, of modern30 (a combined month), 30d and 365d")
    parser.add_argument("--json", help="also write the rows to this file")
    args = parser.parse_args()
    sections = args.sections.split(",")
    work = os.path.realpath(args.work)
    os.makedirs(work, exist_ok=True)
    install()
    build(args.build, work)
    scale = 10 if args.quick else 1
    logs = [("30d", generate(work, f"access-{1000000 // scale}-30d.log", 1000000 // scale, 30, "2024-01-01"),
             "2024-01-30", "15/Jan/2024"),
            ("365d", generate(work, f"access-{10000000 // scale}-365d.log", 10000000 // scale, 365, "2023-01-01"),
             "2023-12-31", "15/Jun/2023")]
    logs = [entry for entry in logs if entry[0] in sections]
    if "modern30" in sections:
        modern30(args, work, scale)
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
        lighttpd_rows(work, label, site, pages, 3 if args.quick else 10, 0.7, "")
        size = int(out(["du", "-sk", os.path.join(site, "data")]).split()[0])
        row(label, "size on disk of the stored statistics (data/)", size, "KiB")
        days = len(os.listdir(os.path.join(site, "logs")))
        row(label, f"size on disk of the day files ({days} days)",
            int(out(["du", "-sk", os.path.join(site, "logs")]).split()[0]), "KiB",
            os.path.getsize(log) / 1024, "the log")
        shutil.rmtree(site, ignore_errors=True)

        # Every statistic of the settings page, on one core and on all.
        full, _ = counted_sites(args, work, label, log)
        first = (datetime.datetime.strptime(last, "%Y%m%d") - datetime.timedelta(days=89)).strftime("%Y%m%d")
        pages = page_set(last, f"{last[:4]}-{last[4:6]}", first, last)
        cached_pages(args, work, label, full, pages, label, n=51)
        shutil.rmtree(full, ignore_errors=True)
        if label == "365d":
            gz_import(args, work, log)

    if CALLGRIND:
        print()
        print(f"{'instructions per cached page':60} {'30 days':>14} {'365 days':>14} {'ratio':>7}  target")
        for (name, history), count in CALLGRIND.items():
            if history != "30d":
                continue
            longer = CALLGRIND.get((name, "365d"))
            ratio = longer / count if longer else None
            goal = "" if ratio is None else ("within 10 % " + ("met" if abs(ratio - 1) <= 0.1 else "MISSED"))
            print(f"{name:60} {count:>14,} {longer or 0:>14,} {ratio or 0:>7.2f}  {goal}")
        for (name, history), count in CALLGRIND.items():
            if history == "modern30":
                print(f"{'modern30: ' + name:60} {count:>14,}")
    if args.json:
        import json
        with open(args.json, "w") as f:
            json.dump({"rows": ROWS, "callgrind": [[k[0], k[1], v] for k, v in CALLGRIND.items()]}, f)
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
