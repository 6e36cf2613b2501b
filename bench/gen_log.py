#!/usr/bin/env python3
"""Writes a deterministic sample access log, the input of bench/log_bench.sh,
the demo and the tests:

    bench/gen_log.py OUTPUT LINES DAYS START SEED [common|comma|modern]

START is yyyy-mm-dd. The same arguments always give the same file. The
layout is the common log format (the default) or the comma-separated one
("host, yy/mm/dd, h:mm:ss, /path, status, size"), or "modern": a log of
today's web in the combined layout, with IPv4 and IPv6 clients, browser and
robot user agents (search engines, AI crawlers, SEO tools, monitors, feed
readers), referrers from the site itself (www.example.org) and from other
sites, stylesheets, scripts and images after each page, redirects,
not-modified answers without bytes, broken links and scanners' probes. Lines are in time order,
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


BROWSERS = [
    "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/131.0.0.0 Safari/537.36",
    "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/131.0.0.0 Safari/537.36 Edg/131.0.0.0",
    "Mozilla/5.0 (Windows NT 10.0; Win64; x64; rv:133.0) Gecko/20100101 Firefox/133.0",
    "Mozilla/5.0 (Macintosh; Intel Mac OS X 10_15_7) AppleWebKit/605.1.15 (KHTML, like Gecko) Version/18.1 Safari/605.1.15",
    "Mozilla/5.0 (Macintosh; Intel Mac OS X 10_15_7) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/130.0.0.0 Safari/537.36",
    "Mozilla/5.0 (X11; Linux x86_64; rv:128.0) Gecko/20100101 Firefox/128.0",
    "Mozilla/5.0 (iPhone; CPU iPhone OS 18_1 like Mac OS X) AppleWebKit/605.1.15 (KHTML, like Gecko) Version/18.1 Mobile/15E148 Safari/604.1",
    "Mozilla/5.0 (Linux; Android 14; Pixel 8) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/131.0.0.0 Mobile Safari/537.36",
    "Mozilla/5.0 (Linux; Android 13; SM-A536B) AppleWebKit/537.36 (KHTML, like Gecko) SamsungBrowser/26.0 Chrome/122.0.0.0 Mobile Safari/537.36",
]
ROBOTS = [
    "Mozilla/5.0 (compatible; Googlebot/2.1; +http://www.google.com/bot.html)",
    "Mozilla/5.0 (compatible; bingbot/2.0; +http://www.bing.com/bingbot.htm)",
    "Mozilla/5.0 AppleWebKit/537.36 (KHTML, like Gecko; compatible; GPTBot/1.2; +https://openai.com/gptbot)",
    "Mozilla/5.0 AppleWebKit/537.36 (KHTML, like Gecko; compatible; ClaudeBot/1.0; +claudebot@anthropic.com)",
    "Mozilla/5.0 AppleWebKit/537.36 (KHTML, like Gecko; compatible; PerplexityBot/1.0; +https://perplexity.ai/perplexitybot)",
    "Mozilla/5.0 (compatible; AhrefsBot/7.0; +http://ahrefs.com/robot/)",
    "Mozilla/5.0 (compatible; SemrushBot/7~bl; +http://www.semrush.com/bot.html)",
    "Mozilla/5.0+(compatible; UptimeRobot/2.0; http://www.uptimerobot.com/)",
    "Feedly/1.0 (+http://www.feedly.com/fetcher.html; 12 subscribers)",
]
SCANNER = "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/81.0.4044.129 Safari/537.36"
PROBES = ["/.env", "/wp-login.php", "/xmlrpc.php", "/.git/config", "/admin/config.php", "/vendor/phpunit/phpunit/src/Util/PHP/eval-stdin.php"]
REFERRERS = ["https://www.google.com/", "https://www.bing.com/", "https://news.ycombinator.com/item?id=42001",
             "https://t.co/x1Y2z3", "https://blog.example.co.jp/2026/11/links.html", "https://www.example.co.uk/news/",
             "https://www.heise.de/forum/", "https://duckduckgo.com/", "android-app://com.google.android.gm/"]
ASSETS = ["/static/app.css", "/static/app.js", "/static/app.js.map", "/img/logo.svg", "/img/banner.webp",
          "/img/photo1.jpg", "/img/photo2.avif", "/fonts/inter.woff2", "/favicon.ico"]


def modern_line(rng, client, agent, stamp, t, path, status, size, referrer):
    return '%s - - [%s:%02d:%02d:%02d +0900] "GET %s HTTP/%s" %d %s "%s" "%s"\n' % (
        client, stamp, t // 3600, t // 60 % 60, t % 60, path, rng.choice(["1.1", "2.0"]), status,
        "-" if size is None else size, referrer, agent)


def modern_visit(rng, client, pages, page_weights, stamp, t):
    """The lines of one request of a modern log: a page by a browser with
    its assets, a robot's fetch, or a scanner's probe."""
    r = rng.random()
    if r < 0.04:  # a scanner, without a referrer
        return [modern_line(rng, client, SCANNER, stamp, t, rng.choice(PROBES), 404, 153, "-")]
    if r < 0.30:  # a robot: pages, robots.txt, sometimes an image
        agent = rng.choice(ROBOTS)
        path = "/robots.txt" if rng.random() < 0.1 else rng.choices(pages, cum_weights=page_weights)[0]
        return [modern_line(rng, client, agent, stamp, t, path, 200, rng.randrange(2000, 40000), "-")]
    agent = rng.choice(BROWSERS)
    path = rng.choices(pages, cum_weights=page_weights)[0]
    referrer = rng.choice(REFERRERS) if rng.random() < 0.3 else "-"
    status, size = 200, rng.randrange(2000, 40000)
    q = rng.random()
    if q < 0.03:
        status, size = 301, 162
    elif q < 0.06:
        status, size = 404, 512  # a broken link, followed from the site or from elsewhere
        referrer = "https://www.example.org/" if rng.random() < 0.6 else referrer
    elif q < 0.065:
        status, size = 500, 1200
    lines = [modern_line(rng, client, agent, stamp, t, path, status, size, referrer)]
    if status == 200:
        own = "https://www.example.org" + path
        for asset in rng.sample(ASSETS, rng.randint(1, 4)):
            cached = rng.random() < 0.3
            lines.append(modern_line(rng, client, agent, stamp, min(t + 1, 86399), asset, 304 if cached else 200,
                                     None if cached else rng.randrange(300, 200000), own))
    return lines


def main():
    if len(sys.argv) not in (6, 7) or (len(sys.argv) == 7 and sys.argv[6] not in ("common", "comma", "modern")):
        raise SystemExit(__doc__)
    comma = len(sys.argv) == 7 and sys.argv[6] == "comma"
    modern = len(sys.argv) == 7 and sys.argv[6] == "modern"
    output, lines, days = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    start = datetime.date.fromisoformat(sys.argv[4])
    rng = random.Random(int(sys.argv[5]))

    hosts = [make_host(rng) for _ in range(20000)]
    if modern:  # web servers log addresses: IPv4 and a share of IPv6
        hosts = [".".join(str(rng.randrange(1, 255)) for _ in range(4)) if rng.random() < 0.8 else
                 "2001:db8:%x::%x" % (rng.randrange(0x10000), rng.randrange(1, 0x10000)) for _ in range(20000)]
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
            written = 0
            for t in times:
                host = rng.choices(hosts, cum_weights=host_weights)[0]
                if modern:
                    # A visit is about 2.3 lines: every time of the day has
                    # its share of visits, and the day ends at its count.
                    if written >= count or rng.random() > 1 / 2.3:
                        continue
                    visit = modern_visit(rng, host, pages, page_weights, stamp, t)[:count - written]
                    out.write("".join(visit))
                    written += len(visit)
                    continue
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
            while modern and written < count:  # the last minute, a monitor's checks
                out.write(modern_line(rng, rng.choice(hosts), ROBOTS[7], stamp, 86399, "/", 200, 512, "-"))
                written += 1


if __name__ == "__main__":
    main()
