'use strict';
// Drives headless Chromium through a freshly installed site served by
// lighttpd with the deployment's configuration (tests/e2e/e2e_test.sh
// starts both), with JavaScript off: the pages have no script and must
// need none. It checks what only a browser sees: the forms (password,
// login, settings, the ranking filter) work through their buttons, every
// link of every page shown leads to a page, the pages fit the window at a
// desktop and at a phone width, the figures by day open without script,
// and nothing of the site folder but the program is served. What the
// figures are is for the black-box tests of tests/cgi/. Settings come from
// the environment:
//   E2E_BASE    the program's address, http://127.0.0.1:PORT/stats/vazivev.cgi
//   E2E_ACCESS  the access log's path, as the settings name it
//   E2E_DATE    yesterday, yyyymmdd
//   E2E_SHOTS   the folder for the screenshot of a failure
//   E2E_EVERY_SHOT  when 1, a screenshot of every page as well
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
const yesterday = env('E2E_DATE');
const shots = env('E2E_SHOTS');
const everyShot = process.env.E2E_EVERY_SHOT === '1';
const password = 'e2e pass 1';
const desktop = { width: 1280, height: 800 };
const reportPages = ['VaziVevPages', 'VaziVevDomains', 'VaziVevReferrers', 'VaziVevAgents', 'VaziVevSystems',
  'VaziVevRobots', 'VaziVevCountries', 'VaziVevStatuses', 'VaziVevNotFound', 'VaziVevBytes', 'VaziVevHours'];
const phone = { width: 390, height: 844 };

let context;
let page;
let shotNumber = 0;
// A visitor (a password is set, and this browser is not logged in) sees
// the header without its link to the settings, and no link to the
// settings or the password anywhere.
let visitor = false;

async function shot(name) {
  if (!everyShot && name !== 'failure') return;
  shotNumber += 1;
  const file = path.join(shots, `${String(shotNumber).padStart(2, '0')}-${name}.png`);
  await page.screenshot({ path: file, fullPage: true });
}

// ---- What every page shows --------------------------------------------------

// Every link of a page that was shown, to be fetched once at the end.
const links = new Map();  // address -> the page it was first seen on

// The frame every page shares, laid out within the window: the header's
// thirteen links (twelve for a visitor) and the footer visible, the heading on the first screen,
// nothing wider than the window but a graph (which scrolls in its own
// box). Notes the page's links.
async function checkPage(what) {
  const layout = await page.evaluate(() => {
    const visible = (e) => e !== null && e.getClientRects().length > 0 && getComputedStyle(e).visibility !== 'hidden';
    const h1 = document.querySelector('h1');
    // For the message: what sticks out, or holds what sticks out of it.
    const wide = [...document.body.querySelectorAll('*')]
      .filter((e) => !e.closest('.graph') &&
        (e.getBoundingClientRect().right > window.innerWidth + 1 || e.scrollWidth > e.clientWidth + 1))
      .map((e) => e.tagName + (e.id ? '#' + e.id : ''));
    return {
      charset: document.characterSet,
      title: document.title,
      nav: [...document.querySelectorAll('header nav a')].filter(visible).length,
      footer: visible(document.querySelector('footer')),
      h1: visible(h1) && h1.getBoundingClientRect().top < window.innerHeight,
      overflow: document.documentElement.scrollWidth - window.innerWidth,
      wide,
      links: [...document.querySelectorAll('a[href]')].map((a) => a.href),
      admin: [...document.querySelectorAll('a[href*="page=VaziVevSettings"], a[href*="page=VaziVevPassword"]')]
        .filter(visible).length,
    };
  });
  assert.equal(layout.charset, 'UTF-8', `${what}: the declared charset`);
  assert.match(layout.title, / - Access statistics$/, `${what}: title`);
  assert.equal(layout.nav, visitor ? 12 : 13, `${what}: the header's links`);
  if (visitor) assert.equal(layout.admin, 0, `${what}: a visitor sees links to the settings or the password`);
  else assert.ok(layout.admin >= 2, `${what}: the administrator's links`);
  assert.ok(layout.footer, `${what}: footer`);
  assert.ok(layout.h1, `${what}: heading on the first screen`);
  assert.ok(layout.overflow <= 0, `${what}: ${layout.overflow}px wider than the window: ${layout.wide.join(' ')}`);
  for (const link of layout.links) if (!links.has(link)) links.set(link, what);
}

// Loads a page (a query string, or '' for the default) and checks it and
// the HTTP status it answered with.
async function open(query, what = query || 'default page', expected = 200) {
  const response = await page.goto(base + query);
  assert.equal(response.status(), expected, what);
  await checkPage(what);
}

// Clicks what navigates to another page, waits for it and checks it.
async function follow(selector, expected = 200) {
  const [response] = await Promise.all([page.waitForNavigation(), page.click(selector)]);
  assert.equal(response.status(), expected, selector);
  await checkPage(`after ${selector}`);
}

const text = (selector) => page.textContent(selector).then((t) => t.trim());
const heading = () => text('h1');
const rankingNames = () => page.$$eval('table#ranking td.name', (tds) => tds.map((td) => td.textContent.trim()));

// A GET through the browser's cookies. lighttpd closes a kept-alive
// connection after 5 idle seconds, and one reused just then is reset: such a
// request is sent once more on a fresh connection.
async function fetchLink(link) {
  try {
    return await context.request.get(link);
  } catch (error) {
    if (!String(error).includes('ECONNRESET')) throw error;
    return context.request.get(link, { headers: { Connection: 'close' } });
  }
}

// The labels of every chart on the page: each one's text lies within its
// own box, and no two boxes overlap; the bars of one chart have one width.
async function checkCharts(where) {
  const faults = await page.$$eval('div.chart', (charts) => charts.flatMap((chart, c) => {
    const found = [];
    const labels = [...chart.querySelectorAll('.chart-label')].filter((l) => l.textContent.trim() !== '');
    const boxes = labels.map((l) => l.getBoundingClientRect());
    labels.forEach((l, i) => {
      if (l.scrollWidth > l.clientWidth + 1 && !getComputedStyle(l).textOverflow.includes('ellipsis')) {
        found.push(`chart ${c}: label "${l.textContent}" spills out of its box`);
      }
      if (i > 0 && boxes[i].left < boxes[i - 1].right - 0.5) {
        found.push(`chart ${c}: labels "${labels[i - 1].textContent}" and "${l.textContent}" overlap`);
      }
    });
    const widths = [...chart.querySelectorAll('.chart-bar')].map((b) => Math.round(b.getBoundingClientRect().width * 10));
    if (new Set(widths).size > 2) found.push(`chart ${c}: bars of ${new Set(widths).size} widths`);
    return found;
  }));
  assert.deepEqual(faults, [], `charts on ${where}`);
}

// Every link noted on the way answers with a page of the site (with the
// cookies of the browser: logged in), not an error page. Links elsewhere,
// such as to the document root, answer at all.
async function checkLinks() {
  const program = new URL(base);
  for (const [link, where] of links) {
    const url = new URL(link);
    assert.equal(url.host, program.host, `a link off the site on ${where}: ${link}`);
    const response = await fetchLink(link);
    assert.equal(response.status(), 200, `${link} (on ${where})`);
    if (url.pathname !== program.pathname) continue;
    const body = await response.text();
    if (url.searchParams.get('page') === 'VaziVevExport') {
      // Data, not a page: CSV or JSON of the report.
      const type = response.headers()['content-type'];
      if (url.searchParams.get('format') === 'json') {
        assert.match(type, /^application\/json/, `${link} (on ${where})`);
        JSON.parse(body);
      } else {
        assert.match(type, /^text\/csv/, `${link} (on ${where})`);
      }
      continue;
    }
    assert.match(body, /<h1>/, `${link} (on ${where}) is no page`);
    assert.doesNotMatch(body, /id="error"/, `${link} (on ${where}) leads to an error page`);
  }
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

// The page requests of every month of the sample log, as the months table
// shows them ("2026/11" -> count): every complete day, by the settings'
// rule (extensions that are no pages, the response codes that count).
function monthsOfTheLog(log, assets, statuses) {
  const months = {};
  const extensions = new Set(assets.toLowerCase().split(/[\s,]+/).filter(Boolean));
  const codes = statuses.split(/[\s,]+/).filter(Boolean);
  const counts = (status) => codes.length === 0 ||
    codes.some((code) => code === status || (/^\dxx$/i.test(code) && code[0] === status[0]));
  const today = new Date().toISOString().slice(0, 10).replace(/-/g, '');
  const names = ['Jan', 'Feb', 'Mar', 'Apr', 'May', 'Jun', 'Jul', 'Aug', 'Sep', 'Oct', 'Nov', 'Dec'];
  for (const line of log.split('\n')) {
    const m = /\[(\d\d)\/(\w{3})\/(\d{4}):[^\]]*\] "\S+ (\S+)[^"]*" (\d{3}) /.exec(line);
    if (!m) continue;
    const month = names.indexOf(m[2]) + 1;
    const day = `${m[3]}${String(month).padStart(2, '0')}${m[1]}`;
    const file = m[4].split('?')[0].split('/').pop();
    const extension = file.includes('.') ? file.split('.').pop().toLowerCase() : '';
    const asset = extensions.size === 0 ? /^(gif|jpe?g)$/.test(extension) : extensions.has(extension);
    if (day >= today || asset || !counts(m[5])) continue;
    const key = `${m[3]}/${month}`;
    months[key] = (months[key] || 0) + 1;
  }
  return months;
}

async function walk() {
  const sampleLog = fs.readFileSync(env('E2E_ACCESS'), 'latin1');
  // Nothing set up yet: the default page says so.
  await open('');
  assert.ok(await page.isVisible('#setup'), 'the default page before the settings');
  await shot('day-not-set-up');

  // The password: a mistyped confirmation is refused by an error page.
  await follow('footer a[href*="page=VaziVevPassword"]');
  assert.equal(await heading(), 'Administrator password');
  await page.fill('#newpassword', password);
  await page.fill('#confirm', password + 'x');
  await follow('#change', 400);
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

  // Logged out, a visitor sees no link to the settings or the password,
  // and the settings show the login page; a wrong password is refused,
  // the right one leads on to the settings.
  await context.clearCookies();
  visitor = true;
  await open('', 'the default page for a visitor');
  await open('?page=VaziVevSettings');
  assert.equal(await heading(), 'Administrator login');
  await shot('login');
  await page.fill('#password', 'not it');
  await follow('#login', 403);
  assert.equal(await heading(), 'Wrong password');
  await shot('error-wrong-password');
  await open('?page=VaziVevSettings');
  assert.equal(await heading(), 'Administrator login');
  await page.fill('#password', password);
  visitor = false;
  await follow('#login');
  assert.ok(await page.isVisible('#loggedin'), 'logged in');
  await shot('welcome');
  await follow('#continue');
  assert.equal(await heading(), 'Settings');
  assert.ok(!(await page.isVisible('#nopassword')), 'a password is set');

  // The settings are saved by their button and shown again as saved; the
  // rankings then list as many rows as the form said.
  const rowLimit = 7;
  await page.selectOption('#Loging', 'Unique');
  await page.fill('#LogFile', env('E2E_ACCESS'));
  await page.selectOption('#Unit', '3');
  await page.fill('#RootPath', '');
  await page.fill('#lines', String(rowLimit));
  const logMonths = monthsOfTheLog(sampleLog, await page.inputValue('#Assets'), await page.inputValue('#Statuses'));
  await follow('#save');
  assert.ok(await page.isVisible('#saved'), 'settings saved');
  await open('?page=VaziVevSettings');
  assert.equal(await page.inputValue('#lines'), String(rowLimit));
  assert.equal(await page.inputValue('#LogFile'), env('E2E_ACCESS'));
  assert.equal(await page.inputValue('#Loging'), 'Unique');
  assert.equal(await page.inputValue('#Unit'), '3');
  await shot('settings');

  // The dashboard: yesterday by default (the first request splits the
  // log). The figures by day stay folded until their summary is clicked.
  await follow('header a.home');
  assert.equal(await heading(), 'Dashboard');
  assert.match(await text('#hits'), /^[1-9][0-9]*$/, 'page requests of the day');
  assert.match(await text('#hits-before'), /^[0-9]+$/, 'page requests of the day before');
  // The months of the very first page: every month its true sum.
  const shown = await page.$$eval('table#months tr', (rows) =>
    rows.slice(1).map((row) => [row.cells[0].textContent, Number(row.cells[1].textContent)]));
  assert.deepEqual(Object.fromEntries(shown), logMonths, 'the months of the first page');
  assert.ok(!(await page.isVisible('#uncounted')), 'no day left out');
  assert.ok(!(await page.isVisible('table#days')), 'the figures by day start folded');
  await page.click('summary');
  assert.ok(await page.isVisible('table#days'), 'the summary opens the figures by day');
  await shot('dashboard');
  await follow('#back');
  assert.match(await text('#hits'), /^[0-9]+$/, 'page requests of the day before');
  await shot('dashboard-day-before');
  // The date fields choose any range; the presets name the usual ones.
  const from = `${yesterday.slice(0, 4)}-${yesterday.slice(4, 6)}-01`;
  const to = `${yesterday.slice(0, 4)}-${yesterday.slice(4, 6)}-${yesterday.slice(6)}`;
  await page.fill('#from', from);
  await page.fill('#to', to);
  await follow('#show-period');
  assert.equal(await page.inputValue('#from'), from, 'the range keeps its first day');
  assert.equal(await page.inputValue('#to'), to, 'the range keeps its last day');
  assert.match(await text('#hits'), /^[1-9][0-9]*$/, 'page requests of the range');
  await shot('dashboard-range');
  assert.ok((await page.$$('div.chart')).length >= 2, 'the dashboard draws its charts');
  await checkCharts('the dashboard of a range');
  // The dashboard's figures are the export's.
  for (const [report, id] of [['hit', '#hits'], ['visitors', '#visitors'], ['all', '#allhits']]) {
    const exported = await fetchLink(`${base}?page=VaziVevExport&report=${report}&from=${from}&to=${to}&format=json`);
    assert.equal(String((await exported.json()).total), await text(id), `${report}: the dashboard and the export`);
  }
  for (const preset of ['last7', 'last30', 'thismonth', 'lastmonth', 'thisyear', 'all', 'yesterday']) {
    await follow(`#preset-${preset}`);
    assert.match(await text('#hits'), /^[0-9]+$/, `page requests of ${preset}`);
  }
  await open('?Date=19990101', 'a day without data');
  assert.ok(await page.isVisible('#nodata'), 'a day without data');
  await shot('day-without-data');
  const t = new Date(Date.UTC(+yesterday.slice(0, 4), +yesterday.slice(4, 6) - 1, +yesterday.slice(6) + 6));
  await open(`?period=${t.toISOString().slice(0, 10)}`, 'a future day');
  assert.match(await text('#periodstatus'), /future/);
  assert.ok(!(await page.isVisible('#next')), 'no way further into the future');
  await open('?Date=20261332', 'a day that is none', 400);
  assert.equal(await heading(), 'Invalid date');
  await follow('#yesterday');
  assert.ok(!(await page.isVisible('#error')), 'the invalid date leads to a page of the statistics');

  // Rankings over periods, by the presets (one kind: the other comes from
  // the same template), and the filter form: what it keeps holds the
  // text, which the period links carry on.
  for (const [kind, filter, presets] of [['Domains', '.jp', ['last30', 'all']], ['Pages', 'page1', []]]) {
    await open(`?page=VaziVev${kind}&Date=${yesterday}`, kind);
    const names = await rankingNames();
    assert.equal(names.length, rowLimit, `${kind}: rows as set`);
    await shot(`${kind.toLowerCase()}-day`);
    for (const preset of presets) {
      await follow(`#preset-${preset}`);
      assert.ok((await rankingNames()).length > 0, `${kind} over ${preset}`);
      await shot(`${kind.toLowerCase()}-${preset}`);
    }
    if (presets.length > 0) await follow('#preset-yesterday');
    await page.fill('#text', filter);
    await follow('form[role=search] input[type=submit]');
    assert.equal(await page.inputValue('#text'), filter, `${kind}: the filter stays in its field`);
    const kept = await rankingNames();
    assert.ok(kept.length > 0 && kept.every((n) => n.includes(filter)), `${kind} holding ${filter}: ${kept}`);
    assert.ok((await page.getAttribute('#back', 'href')).includes(`text=${encodeURIComponent(filter)}`),
      `${kind}: the period links keep the filter`);
    await shot(`${kind.toLowerCase()}-filtered`);
  }

  // The cross-tabs, reached by clicking a ranking row: the pages one domain
  // requested, then the domains that requested the first of those.
  await open(`?page=VaziVevDomains&Date=${yesterday}`, 'Domains');
  const domain = (await rankingNames())[1];
  await follow('table#ranking tr:nth-child(3) td.name a');
  assert.equal(await heading(), `Pages requested from ${domain}`);
  assert.equal(await text('#which'), domain);
  await shot('domain-pages');
  const pagePath = (await rankingNames())[0];
  await follow('table#ranking tr:nth-child(2) td.name a');
  assert.equal(await text('#which'), pagePath);
  await shot('page-domains');

  // A path written in UTF-8 reads as written, and its link gives its row.
  await open(`?page=VaziVevPages&Date=${yesterday}&text=%25C3%25A9`, 'a UTF-8 path');
  assert.deepEqual(await rankingNames(), ['/caf\u00e9/\u65e5\u672c.html']);
  await follow('table#ranking tr:nth-child(2) td.name a');
  assert.equal(await text('#which'), '/caf\u00e9/\u65e5\u672c.html');
  assert.deepEqual(await rankingNames(), ['example.org']);

  await follow('header a[href*="page=VaziVevHours"]');
  assert.ok(await page.isVisible('table#hours'));
  await shot('hours');

  // A page that does not exist, and an error page asked for by name.
  await open('?page=NoSuchPage', 'a page that does not exist', 404);
  assert.equal(await heading(), 'Not found');
  await open('?page=ErrorBusy');
  assert.equal(await heading(), 'Busy');
  await shot('error-busy');

  // Every link seen so far leads to a page.
  await checkLinks();

  // At a phone's width the same pages still fit.
  await page.setViewportSize(phone);
  for (const [query, name] of [['?period=last30', 'dashboard'], ['?page=VaziVevDomains&period=last30', 'domains'],
    [`?page=VaziVevHours&Date=${yesterday}`, 'hours'], ['?page=VaziVevSettings', 'settings']]) {
    await open(query, `${name} on a phone`);
    await checkCharts(`${name} on a phone`);
    await shot(`${name}-phone`);
  }
  // Every report over the last 30 days, at both widths: it fits, its
  // charts read right.
  for (const [width, viewport] of [['phone', phone], ['desktop', desktop]]) {
    await page.setViewportSize(viewport);
    for (const report of reportPages) {
      await open(`?page=${report}&period=last30`, `${report} on a ${width}`);
      await checkCharts(`${report} on a ${width}`);
      await shot(`${report.replace('VaziVev', '').toLowerCase()}-${width}`);
    }
  }
  await page.setViewportSize(desktop);

  // Logged out by the footer's link and its button: a visitor again, and a
  // protected page shows the login page in its place.
  await follow('footer #logout');
  assert.equal(await heading(), 'Log out');
  visitor = true;
  await follow('#dologout');
  assert.ok(await page.isVisible('#loggedout'), 'logged out');
  await shot('logged-out');
  await open('', 'the default page after the logout');
  await open('?page=VaziVevPassword');
  assert.equal(await heading(), 'Administrator login');

  await checkClosed();
}

(async () => {
  fs.mkdirSync(shots, { recursive: true });
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'vazivev-chromium-'));
  context = await chromium.launchPersistentContext(profile, {
    executablePath: '/usr/bin/chromium',
    headless: true,
    javaScriptEnabled: false,
    viewport: desktop,
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
  console.log(`${failed ? 'FAILED' : 'ok'}: ${links.size} links followed, ${shotNumber} screenshots in ${shots}`);
  process.exit(failed ? 1 : 0);
})();
