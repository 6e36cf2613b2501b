'use strict';
// Drives headless Chromium through a freshly installed site served by
// lighttpd (tests/e2e/e2e_test.sh starts both): sets the administrator
// password and logs in, saves and changes the settings, walks every page
// and checks the figures they show against a count of the access log made
// here, line by line, from the counting rules. Keeps a screenshot of each
// page. Settings come from the environment:
//   E2E_BASE    the program's address, http://127.0.0.1:PORT/stats/vazivev.cgi
//   E2E_LOG     the generated access log as written (before any split)
//   E2E_LAYOUT  common or comma
//   E2E_ACCESS  the access log's path, as the settings name it
//   E2E_DATE    yesterday, yyyymmdd
//   E2E_SHOTS   the folder for the screenshots
const { chromium } = require('playwright-core');
const assert = require('assert/strict');
const fs = require('fs');
const http = require('http');
const os = require('os');
const path = require('path');

const env = (name) => {
  const value = process.env[name];
  if (!value) throw new Error(`${name} is not set`);
  return value;
};
const base = env('E2E_BASE');
const layout = env('E2E_LAYOUT');
const yesterday = env('E2E_DATE');
const shots = env('E2E_SHOTS');
const password = 'e2e pass 1';

// ---- The independent count ------------------------------------------------

const MONTHS = ['Jan', 'Feb', 'Mar', 'Apr', 'May', 'Jun', 'Jul', 'Aug', 'Sep', 'Oct', 'Nov', 'Dec'];

// One request of the log: its day (yyyymmdd), hour, client host and path.
// The common layout: host ident user [dd/Mon/yyyy:hh:mm:ss zone] "GET path ..."
// with the path cut at "?"; the comma one: host, yy/mm/dd, h:mm:ss, path, ...
// with the path kept whole.
function parseLine(line) {
  if (layout === 'common') {
    const m = /^(\S+) \S+ \S+ \[(\d\d)\/(\w\w\w)\/(\d\d\d\d):(\d\d):\d\d:\d\d [^\]]*\] "\S+ ([^" ]+)/.exec(line);
    assert.ok(m, `unreadable line: ${line}`);
    const month = String(MONTHS.indexOf(m[3]) + 1).padStart(2, '0');
    return { day: m[4] + month + m[2], hour: Number(m[5]), host: m[1], path: m[6].split('?')[0] };
  }
  const f = line.split(', ');
  assert.ok(f.length >= 4, `unreadable line: ${line}`);
  const [yy, mm, dd] = f[1].split('/');
  return { day: '20' + yy + mm + dd, hour: Number(f[2].split(':')[0]), host: f[0], path: f[3] };
}

const isImage = (p) => /\.(gif|jpe?g)$/i.test(p);

// The domain of a host under Unit 3: a numeric address whole; a name under
// a four-letter last label whole; under a three-letter one its last two
// labels; else its last three.
function domainOf(host) {
  if (/[0-9]$/.test(host)) return host;
  const labels = host.split('.');
  const top = labels[labels.length - 1].length;
  if (top === 4) return host;
  return labels.slice(-(top === 3 ? 2 : 3)).join('.');
}

// Day -> list of page requests {hour, domain, path}.
const days = new Map();
for (const line of fs.readFileSync(env('E2E_LOG'), 'latin1').split('\n')) {
  if (line === '') continue;
  const r = parseLine(line);
  if (isImage(r.path)) continue;
  if (!days.has(r.day)) days.set(r.day, []);
  days.get(r.day).push({ hour: r.hour, domain: domainOf(r.host), path: r.path });
}

function tally(requests, key, keep = () => true) {
  const counts = new Map();
  for (const r of requests) if (keep(r)) counts.set(key(r), (counts.get(key(r)) || 0) + 1);
  return counts;
}
const dayRequests = (day) => days.get(day) || [];

// Calendar days as yyyymmdd, in UTC so that no time zone moves them.
const toDate = (d) => new Date(Date.UTC(+d.slice(0, 4), +d.slice(4, 6) - 1, +d.slice(6, 8)));
const fromDate = (t) => t.toISOString().slice(0, 10).replace(/-/g, '');
const addDays = (d, n) => fromDate(new Date(toDate(d).getTime() + n * 86400000));
// "The month up to" a day: from the day after the same date one month
// earlier; from the 1st when the earlier month has no such date or the day
// is the last of its month.
function monthStart(d) {
  const t = toDate(d);
  const back = new Date(Date.UTC(t.getUTCFullYear(), t.getUTCMonth() - 1, t.getUTCDate()));
  const lastOfMonth = addDays(d, 1).slice(6) === '01';
  if (back.getUTCDate() !== t.getUTCDate() || lastOfMonth) return d.slice(0, 6) + '01';
  return addDays(fromDate(back), 1);
}
function daysFrom(first, last) {
  const out = [];
  for (let d = first; d <= last; d = addDays(d, 1)) out.push(d);
  return out;
}

// ---- The browser ------------------------------------------------------------

let page;
let shotNumber = 0;

async function shot(name) {
  shotNumber += 1;
  const file = path.join(shots, `${layout}-${String(shotNumber).padStart(2, '0')}-${name}.png`);
  await page.screenshot({ path: file, fullPage: true });
}

// Loads a page (a query string, or '' for the default) and checks the status.
async function open(query) {
  const response = await page.goto(base + query);
  assert.equal(response.status(), 200, query);
}

// Clicks what navigates to another page and waits for it.
async function follow(selector) {
  const [response] = await Promise.all([page.waitForNavigation(), page.click(selector)]);
  assert.equal(response.status(), 200, selector);
}

const text = (selector) => page.textContent(selector).then((t) => t.trim());
const number = (selector) => text(selector).then(Number);
const heading = () => text('h1');

async function rows(selector) {
  return page.$$eval(`${selector} tr`, (trs) =>
    trs.slice(1).map((tr) => Array.from(tr.cells, (td) => td.textContent.trim())));
}

// A ranking table (#ranking: #, name, requests, share) against counts: the
// number of names it reports (#count, all of them even under a filter); its
// rows are the most frequent names, largest first, as many as the limit
// lets through, each once, with its own count and its share of the first
// row. Names of equal count may come in any order: a row is checked against
// its own count and against the count of its rank.
async function checkRanking(counts, limit, what, total = counts.size) {
  assert.equal(await number('#count'), total, `${what}: names`);
  const table = await rows('table#ranking');
  const sorted = [...counts.values()].sort((a, b) => b - a);
  assert.equal(table.length, Math.min(limit, counts.size), `${what}: rows`);
  table.forEach(([index, name, hits, share], i) => {
    assert.equal(Number(index), i + 1, `${what}: row number`);
    assert.equal(Number(hits), counts.get(name), `${what}: requests of ${name}`);
    assert.equal(Number(hits), sorted[i], `${what}: row ${i + 1} out of order`);
    assert.equal(share, `${Math.floor((Number(hits) * 100) / sorted[0])}%`, `${what}: share of ${name}`);
  });
  assert.equal(new Set(table.map((row) => row[1])).size, table.length, `${what}: a name listed twice`);
  return table;
}

// ---- Plain HTTP: what must never be served -------------------------------------

function status(urlPath) {
  const url = new URL(base);
  return new Promise((resolve, reject) => {
    // The path goes out as written: no client-side clean-up of "..".
    const request = http.get({ host: url.hostname, port: url.port, path: urlPath }, (response) => {
      response.resume();
      resolve(response.statusCode);
    });
    request.on('error', reject);
  });
}

async function checkClosed() {
  const program = new URL(base).pathname;
  const folder = program.slice(0, program.lastIndexOf('/') + 1);
  assert.equal(await status(program), 200);
  const closed = [
    'data/', 'data/vazivev/index', 'data/admin', 'logs/', `logs/QL${yesterday.slice(2)}.log`, 'page/',
    'page/VaziVevIndex.html', 'page/parts/head.html', 'vazivev.txt', 'access.log', 'vazivev.log', 'vazivev-log', '',
  ].map((p) => folder + p);
  closed.push(`${program}/../data/vazivev/index`, `${program}/%2e%2e/data/vazivev/index`,
    `${program}%2f..%2fdata%2fvazivev%2findex`, '/data/vazivev/index', '/page/VaziVevIndex.html',
    `${folder}vazivev.cgi.txt`);
  for (const p of closed) {
    const code = await status(p);
    assert.ok(code === 403 || code === 404, `${p} answered ${code}`);
  }
}

// ---- The walk -----------------------------------------------------------------

async function walk() {
  const lines = { first: 30, changed: 25 };

  // Nothing set up yet: the default page says so.
  await open('');
  assert.ok(await page.isVisible('#setup'), 'the default page before the settings');
  await shot('day-not-set-up');

  // The password: a mistyped confirmation is refused by an error page.
  await follow('footer a[href*="page=VaziVevPassword"]');
  assert.equal(await heading(), 'Administrator password');
  await page.fill('#newpassword', password);
  await page.fill('#confirm', password + 'x');
  await follow('#change');
  assert.equal(await heading(), 'Passwords differ');
  assert.ok(await page.isVisible('#error'));
  await shot('error-passwords-differ');
  await open('?page=VaziVevPassword');
  await shot('password');
  await page.fill('#newpassword', password);
  await page.fill('#confirm', password);
  await follow('#change');
  assert.ok(await page.isVisible('#changed'), 'password changed');
  await shot('password-changed');

  // Logged out, the settings show the login page; a wrong password is
  // refused, the right one leads on to the settings.
  await page.context().clearCookies();
  await follow('header a[href*="page=VaziVevSettings"]');
  assert.equal(await heading(), 'Administrator login');
  await shot('login');
  await page.fill('#password', 'not it');
  await follow('#login');
  assert.equal(await heading(), 'Wrong password');
  await shot('error-wrong-password');
  await open('?page=VaziVevSettings');
  assert.equal(await heading(), 'Administrator login');
  await page.fill('#password', password);
  await follow('#login');
  assert.ok(await page.isVisible('#loggedin'), 'logged in');
  await shot('welcome');
  await follow('#continue');
  assert.equal(await heading(), 'Settings');
  assert.ok(!(await page.isVisible('#nopassword')), 'a password is set');

  // The first save makes the statistics, with the rows a ranking lists as
  // the form proposes them; then that setting changes.
  assert.equal(await page.inputValue('#lines'), String(lines.first));
  await page.selectOption('#Loging', 'Unique');
  await page.fill('#LogFile', env('E2E_ACCESS'));
  await page.selectOption('#Unit', '3');
  await page.fill('#RootPath', '');
  await follow('#save');
  assert.ok(await page.isVisible('#saved'), 'settings saved');
  const requests = dayRequests(yesterday);
  await follow('header a[href*="page=VaziVevDomains"]');
  await checkRanking(tally(requests, (r) => r.domain), lines.first, 'domains before the change');
  await follow('header a[href*="page=VaziVevSettings"]');
  await page.fill('#lines', String(lines.changed));
  await follow('#save');
  assert.ok(await page.isVisible('#saved'), 'settings saved again');
  await open('?page=VaziVevSettings');
  assert.equal(await page.inputValue('#lines'), String(lines.changed));
  assert.equal(await page.inputValue('#LogFile'), env('E2E_ACCESS'));
  assert.equal(await page.inputValue('#Loging'), 'Unique');
  await shot('settings');
  const limit = lines.changed;

  // The day: yesterday by default. The first request splits the log.
  await open('');
  const today = yesterday;
  const before = addDays(today, -1);
  assert.equal(await number('#hits'), requests.length, 'page requests of the day');
  assert.equal(await number('#tophits'), tally(requests, (r) => r.path).get('/') || 0, 'top page requests');
  const selected = await text('#selected');
  const t = toDate(today);
  assert.match(selected, new RegExp(`${MONTHS[t.getUTCMonth()]} ${t.getUTCDate()}, ${t.getUTCFullYear()}$`));
  // The figures by day of the month up to it.
  const window = daysFrom(monthStart(today), today).filter((d) => days.has(d));
  const byDay = await rows('table#days');
  assert.deepEqual(byDay.map(([d, n]) => [d.split('/').map(Number).join('/'), Number(n)]),
    window.map((d) => [[+d.slice(0, 4), +d.slice(4, 6), +d.slice(6)].join('/'), dayRequests(d).length]));
  await page.click('summary');
  await shot('day');

  // The day before, by its link.
  await follow('#prevday');
  assert.equal(await number('#hits'), dayRequests(before).length, 'page requests of the day before');
  assert.equal(await number('#tophits'), tally(dayRequests(before), (r) => r.path).get('/') || 0);
  await shot('day-before');

  // A day before the log began, and one in the future.
  const first = [...days.keys()].sort()[0];
  await open(`?Date=${addDays(first, -3)}`);
  assert.ok(await page.isVisible('#nodata'), 'a day without data');
  await shot('day-without-data');
  await open(`?Date=${addDays(today, 5)}`);
  assert.match(await text('#daystatus'), /future/);
  await open(`?Date=${today}`);

  // Rankings: the day, the month up to it, everything counted so far.
  const counted = { domains: new Set(), pages: new Set() };
  for (const kind of ['domains', 'pages']) {
    const key = kind === 'domains' ? (r) => r.domain : (r) => r.path;
    const name = kind === 'domains' ? 'Domains' : 'Pages';
    await follow(`header a[href*="page=VaziVev${name}"]`);
    const dayCounts = tally(requests, key);
    await checkRanking(dayCounts, limit, `${kind} of the day`);
    counted[kind].add(today);
    await shot(`${kind}-day`);

    await follow('#scope-month');
    const monthDays = daysFrom(monthStart(today), today);
    const monthCounts = tally(monthDays.flatMap(dayRequests), key);
    await checkRanking(monthCounts, limit, `${kind} of the month`);
    const from = (await text('#from')).split('/').map(Number);
    assert.deepEqual(from, [+monthDays[0].slice(0, 4), +monthDays[0].slice(4, 6), +monthDays[0].slice(6)]);
    monthDays.forEach((d) => counted[kind].add(d));
    await shot(`${kind}-month`);

    await follow('#scope-all');
    const allCounts = tally([...counted[kind]].flatMap(dayRequests), key);
    await checkRanking(allCounts, limit, `${kind} counted so far`);
    await shot(`${kind}-all`);

    // The filter keeps the names holding the text, the share counted from
    // the first of them; the number of names stays that of the whole day.
    await follow('#scope-day');
    const filter = kind === 'domains' ? '.jp' : 'page1';
    await page.fill('#text', filter);
    await follow('form[role=search] input[type=submit]');
    assert.match(await text('#count >> xpath=..'), new RegExp(`in all.*containing .${filter.replace('.', '\\.')}.`));
    const kept = new Map([...dayCounts].filter(([n]) => n.includes(filter)));
    assert.ok(kept.size > 0 && kept.size < dayCounts.size, `${kind}: the filter "${filter}" keeps some names`);
    await checkRanking(kept, limit, `${kind} holding ${filter}`, dayCounts.size);
    await shot(`${kind}-filtered`);
  }

  // The cross-tabs, reached by clicking ranking rows: the pages one domain
  // requested that day, then the domains that requested one of those pages.
  await follow('header a[href*="page=VaziVevDomains"]');
  const domainRows = await rows('table#ranking');
  const domain = domainRows[1][1];
  await follow('table#ranking tr:nth-child(3) td.name a');
  assert.equal(await heading(), `Pages requested from ${domain}`);
  assert.equal(await text('#which'), domain);
  const pagesOfDomain = tally(requests, (r) => r.path, (r) => r.domain.toLowerCase() === domain.toLowerCase());
  const crossRows = await checkRanking(pagesOfDomain, limit, `pages of ${domain}`);
  await shot('domain-pages');
  // The day before, the same domain.
  await follow('#prevday');
  assert.equal(await text('#which'), domain);
  const pagesBefore = tally(dayRequests(before), (r) => r.path, (r) => r.domain.toLowerCase() === domain.toLowerCase());
  if (pagesBefore.size === 0) assert.ok(await page.isVisible('#nodata'));
  else await checkRanking(pagesBefore, limit, `pages of ${domain} the day before`);
  await page.goBack();
  const pagePath = crossRows[0][1];
  await follow('table#ranking tr:nth-child(2) td.name a');
  assert.equal(await text('#which'), pagePath);
  await checkRanking(tally(requests, (r) => r.domain, (r) => r.path.toLowerCase() === pagePath.toLowerCase()),
    limit, `domains of ${pagePath}`);
  await shot('page-domains');

  // The same from the page ranking's first row.
  await follow('header a[href*="page=VaziVevPages"]');
  const topPath = (await rows('table#ranking'))[0][1];
  await follow('table#ranking tr:nth-child(2) td.name a');
  assert.equal(await text('#which'), topPath);
  await checkRanking(tally(requests, (r) => r.domain, (r) => r.path.toLowerCase() === topPath.toLowerCase()),
    limit, `domains of ${topPath}`);

  // Requests by hour.
  await follow('header a[href*="page=VaziVevHours"]');
  const hours = await rows('table#hours');
  const byHour = tally(requests, (r) => r.hour);
  assert.deepEqual(hours.map(([h, n]) => [h, Number(n)]),
    Array.from({ length: 24 }, (_, h) => [`${h}:00`, byHour.get(h) || 0]));
  await shot('hours');

  // A page that does not exist, and an error page asked for by name.
  const missing = await page.goto(`${base}?page=NoSuchPage`);
  assert.match(await missing.text(), /File not found/);
  await open('?page=ErrorBusy');
  assert.equal(await heading(), 'Busy');
  await shot('error-busy');

  // Logged out again: a protected page shows the login page in its place.
  await page.context().clearCookies();
  await open('?page=VaziVevPassword');
  assert.equal(await heading(), 'Administrator login');

  await checkClosed();
}

(async () => {
  fs.mkdirSync(shots, { recursive: true });
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'vazivev-chromium-'));
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: '/usr/bin/chromium',
    headless: true,
    viewport: { width: 1000, height: 800 },
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
  let failed = false;
  try {
    page = context.pages()[0] || (await context.newPage());
    page.setDefaultTimeout(20000);
    await walk();
  } catch (error) {
    failed = true;
    console.error(error);
    if (page) await shot('failure').catch(() => {});
  } finally {
    await context.close();
    fs.rmSync(profile, { recursive: true, force: true });
  }
  console.log(`${layout}: ${failed ? 'FAILED' : 'ok'}, ${shotNumber} screenshots in ${shots}`);
  process.exit(failed ? 1 : 0);
})();
