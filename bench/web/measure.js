// measure.js - what a visitor of the demo's page feels, measured in headless Chromium: time
// from navigation to the first frame on the canvas, the download (gzipped, with and without
// the bundled faces) and the processor share of the browser while the demo animates and
// while it is halted, against an empty page's.
//   node bench/web/measure.js [dist/web] [seconds per share, default 10]
'use strict';
const http = require('http');
const fs = require('fs');
const path = require('path');
const zlib = require('zlib');
// puppeteer-core as the web tests install it (tools/test-web.sh).
const puppeteer = require(require.resolve('puppeteer-core', { paths: [path.join(__dirname, '../../tests/web')] }));

const dir = path.resolve(process.argv[2] || 'dist/web');
const seconds = Number(process.argv[3] || 10);
const TYPES = { '.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css', '.wasm': 'application/wasm' };
const TICK = 100;  // clock ticks a second in /proc's times (USER_HZ)

function serve() {
  return new Promise(resolve => {
    const server = http.createServer((req, res) => {
      const name = new URL(req.url, 'http://x').pathname.slice(1) || 'index.html';
      const file = path.join(dir, name);
      if (!file.startsWith(dir) || !fs.existsSync(file)) { res.writeHead(404); res.end(); return; }
      res.writeHead(200, { 'Content-Type': TYPES[path.extname(file)] || 'application/octet-stream' });
      fs.createReadStream(file).pipe(res);
    });
    server.listen(0, '127.0.0.1', () => resolve(server));
  });
}

// Processor time (s) of a process and each of its descendants, by process id.
function treeSeconds(root) {
  const children = new Map();
  const times = new Map();
  for (const pid of fs.readdirSync('/proc').filter(n => /^\d+$/.test(n))) {
    try {
      const stat = fs.readFileSync(`/proc/${pid}/stat`, 'utf8');
      const f = stat.slice(stat.lastIndexOf(')') + 2).split(' ');
      const ppid = Number(f[1]);
      times.set(Number(pid), (Number(f[11]) + Number(f[12])) / TICK);
      if (!children.has(ppid)) children.set(ppid, []);
      children.get(ppid).push(Number(pid));
    } catch (e) { /* the process ended meanwhile */ }
  }
  const tree = new Map();
  const todo = [root];
  while (todo.length) {
    const p = todo.pop();
    tree.set(p, times.get(p) || 0);
    todo.push(...(children.get(p) || []));
  }
  return tree;
}

// What the processes alive at both ends used between them: one that ended meanwhile (the
// renderer of a page closed before) would otherwise take its whole past off the sum.
function usedBetween(before, after) {
  let total = 0;
  for (const [pid, t] of after) if (before.has(pid)) total += t - before.get(pid);
  return total;
}

async function share(browser, page, secs) {
  const cdp = await page.target().createCDPSession();
  await cdp.send('Performance.enable');
  const task = async () => (await cdp.send('Performance.getMetrics')).metrics.find(m => m.name === 'TaskDuration').value;
  const pid = browser.process().pid;
  const [t0, c0, w0] = [await task(), treeSeconds(pid), Date.now()];
  await new Promise(r => setTimeout(r, secs * 1000));
  const [t1, c1, w1] = [await task(), treeSeconds(pid), Date.now()];
  const wall = (w1 - w0) / 1000;
  return { browser: (100 * usedBetween(c0, c1) / wall).toFixed(1) + ' %', pageMainThread: (100 * (t1 - t0) / wall).toFixed(2) + ' %' };
}

(async () => {
  const gz = f => zlib.gzipSync(fs.readFileSync(path.join(dir, f)), { level: 9 }).length;
  const files = fs.readdirSync(dir);
  const code = files.filter(f => !f.endsWith('.data')).reduce((n, f) => n + gz(f), 0);
  const fonts = files.filter(f => f.endsWith('.data')).reduce((n, f) => n + gz(f), 0);
  console.log(`download, gzipped: ${(code / 1024).toFixed(0)} KB without the faces, ${(fonts / 1024).toFixed(0)} KB of faces`);

  const server = await serve();
  const url = `http://127.0.0.1:${server.address().port}/?seed=1`;
  const browser = await puppeteer.launch({
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium', headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--disable-dev-shm-usage'],
  });
  // Where a load's time goes: when each file had arrived, and the first frame, in ms since
  // navigation; the median of each over the cold loads.
  const loads = [];
  const runs = Number(process.env.LOADS || 7);
  for (let i = 0; i < runs; ++i) {
    const context = await browser.createBrowserContext();  // a cold cache each time
    const page = await context.newPage();
    await page.goto(url);
    await page.waitForFunction(() => Module.plotx.firstFrame !== null, { timeout: 20000 });
    loads.push(await page.evaluate(() => {
      const at = { firstFrame: Module.plotx.firstFrame };
      for (const r of performance.getEntriesByType('resource')) at[new URL(r.name).pathname.slice(1)] = r.responseEnd;
      return at;
    }));
    await context.close();
  }
  const median = key => {
    const v = loads.map(l => l[key]).filter(x => x !== undefined).sort((a, b) => a - b);
    return v.length ? v[Math.floor(v.length / 2)].toFixed(0) : '-';
  };
  const frames = loads.map(l => l.firstFrame.toFixed(0)).join(', ');
  console.log(`navigation to first frame: median ${median('firstFrame')} ms (of ${runs}: ${frames})`);
  const names = Object.keys(loads[0]).filter(k => k !== 'firstFrame');
  console.log('  files arrived (median ms): ' + names.map(n => `${n} ${median(n)}`).join(', '));

  // The floor: the same browser showing an empty page, for the shares below to be read against.
  const blank = await browser.newPage();
  console.log('empty page:', JSON.stringify(await share(browser, blank, seconds)));
  await blank.close();

  const page = await browser.newPage();
  await page.setViewport({ width: 900, height: 1300 });
  await page.goto(url);
  await page.waitForFunction(() => Module.plotx.firstFrame !== null);
  console.log('animating:', JSON.stringify(await share(browser, page, seconds)));
  await page.focus('section.window canvas');
  await page.keyboard.down('Control');
  await page.keyboard.press('KeyH');
  await page.keyboard.up('Control');
  console.log('halted:   ', JSON.stringify(await share(browser, page, seconds)));
  await browser.close();
  server.close();
})();
