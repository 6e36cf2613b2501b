#!/usr/bin/env python3
"""Writes a deterministic sample access log, the input of bench/log_bench.sh,
the demo and the tests:

    bench/gen_log.py OUTPUT LINES DAYS START SEED [common|comma]

START is yyyy-mm-dd. The same arguments always give the same file. The
layout is the common log format (the default) or the comma-separated one
("host, yy/mm/dd, h:mm:ss, /path, status, size"). Lines are in time order,
spread over each day's 24 hours (quiet at night, busiest in the evening);
clients (numeric addresses, names under generic, country and four-letter
top-level labels) and pages have a Zipf-like popularity; about a fifth of
the requests are images and a few carry a query string.
"""
import datetime
import itertools
import random
import sys

MONTHS = ["Jan", "Feb", "Mar", "Apr", "May", "Jun",
          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"]
WORDS = ["www", "mail", "proxy", "gw", "dialup", "ppp", "cache", "ns", "host",
         "net", "tokyo", "osaka", "berlin", "alpha", "beta", "office", "home",
         "lab", "dsl", "cable", "univ", "corp", "shop", "news", "info"]
COUNTRIES = ["jp", "de", "uk", "fr", "kr", "au", "ca", "nl", "it", "se"]
GENERIC = ["com", "net", "org"]


def label(rng):
    return rng.choice(WORDS) + (str(rng.randrange(100)) if rng.random() < 0.5 else "")


def make_host(rng):
    kind = rng.random()
    if kind < 0.40:  # numeric address
        return ".".join(str(rng.randrange(1, 255)) for _ in range(4))
    if kind < 0.70:  # a name under .com, .net or .org, 2 to 4 labels
        return ".".join([label(rng) for _ in range(rng.randint(1, 3))] + [rng.choice(GENERIC)])
    if kind < 0.95:  # a country label, 3 to 5 labels in all
        return ".".join([label(rng) for _ in range(rng.randint(2, 4))] + [rng.choice(COUNTRIES)])
    octets = [str(rng.randrange(1, 255)) for _ in range(4)]  # a four-letter label
    return ".".join(octets + ["in-addr", "arpa"])


def make_page(rng, k):
    depth = rng.randint(0, 3)
    folders = "".join("/" + rng.choice(WORDS) for _ in range(depth))
    if k == 0:
        return "/"
    if rng.random() < 0.1:
        return folders + "/"
    return "%s/page%d.%s" % (folders, k, rng.choice(["html", "html", "htm", "cgi"]))


def zipf_weights(n, s):
    return list(itertools.accumulate(1.0 / (k + 1) ** s for k in range(n)))


def main():
    if len(sys.argv) not in (6, 7) or (len(sys.argv) == 7 and sys.argv[6] not in ("common", "comma")):
        raise SystemExit(__doc__)
    comma = len(sys.argv) == 7 and sys.argv[6] == "comma"
    output, lines, days = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    start = datetime.date.fromisoformat(sys.argv[4])
    rng = random.Random(int(sys.argv[5]))

    hosts = [make_host(rng) for _ in range(20000)]
    pages = [make_page(rng, k) for k in range(3000)]
    images = ["/img/%s%d.%s" % (rng.choice(WORDS), k, rng.choice(["gif", "jpg", "GIF"]))
              for k in range(300)]
    host_weights = zipf_weights(len(hosts), 0.9)
    page_weights = zipf_weights(len(pages), 1.1)
    image_weights = zipf_weights(len(images), 1.0)
    # Requests per hour of the day: quiet at night, busiest in the evening.
    hour_weights = list(itertools.accumulate(
        [2, 1, 1, 1, 1, 2, 3, 5, 7, 8, 8, 8, 9, 8, 8, 8, 8, 9, 10, 11, 12, 11, 8, 4]))

    with open(output, "w", newline="\n") as out:
        for d in range(days):
            day = start + datetime.timedelta(days=d)
            count = lines // days + (1 if d < lines % days else 0)
            stamp = "%02d/%s/%04d" % (day.day, MONTHS[day.month - 1], day.year)
            hours = rng.choices(range(24), cum_weights=hour_weights, k=count)
            times = sorted(h * 3600 + rng.randrange(3600) for h in hours)
            for t in times:
                host = rng.choices(hosts, cum_weights=host_weights)[0]
                r = rng.random()
                if r < 0.20:
                    path = rng.choices(images, cum_weights=image_weights)[0]
                else:
                    path = rng.choices(pages, cum_weights=page_weights)[0]
                    if r > 0.95:
                        path = "/cgi-bin/search.cgi?q=%s&p=%d" % (rng.choice(WORDS), rng.randrange(5))
                status, size = (200, rng.randrange(200, 40000)) if rng.random() < 0.9 else \
                    rng.choice([(304, 0), (404, 512)])
                if comma:
                    out.write("%s, %02d/%02d/%02d, %d:%02d:%02d, %s, %d, %d\n" % (
                        host, day.year % 100, day.month, day.day, t // 3600, t // 60 % 60, t % 60, path, status, size))
                else:
                    out.write('%s - - [%s:%02d:%02d:%02d +0900] "GET %s HTTP/1.0" %d %d\n' % (
                        host, stamp, t // 3600, t // 60 % 60, t % 60, path, status, size))


if __name__ == "__main__":
    main()
