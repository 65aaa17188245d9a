// e2e.js - the demo's page and an example's page, end to end in headless Chromium: each
// group loads a page served from the build's folders and drives it as a person would
// (clicks, Control shortcuts, the menu bar), reading the canvases' pixels back.
//   node tests/web/e2e.js DEMO_DIR EXAMPLE_DIR PROBE_DIR   (folders made by tools/build-web.sh;
//   the probe is tests/web/input_probe.c)
// Waits are bounded polls; the fixed pauses check that a halted picture stays still and
// that a halted page asks for no timer.
'use strict';
const http = require('http');
const fs = require('fs');
const path = require('path');
const puppeteer = require('puppeteer-core');

const [demoDir, exampleDir, probeDir] = process.argv.slice(2).map(d => path.resolve(d));
const TYPES = { '.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css', '.wasm': 'application/wasm' };

function serve() {
  return new Promise(resolve => {
    const server = http.createServer((req, res) => {
      const url = new URL(req.url, 'http://x');
      const [, site, ...rest] = url.pathname.split('/');
      const root = { demo: demoDir, example: exampleDir, probe: probeDir }[site];
      const file = root && path.join(root, rest.join('/') || 'index.html');
      if (!file || !file.startsWith(root) || !fs.existsSync(file)) { res.writeHead(404); res.end(); return; }
      res.writeHead(200, { 'Content-Type': TYPES[path.extname(file)] || 'application/octet-stream' });
      fs.createReadStream(file).pipe(res);
    });
    server.listen(0, '127.0.0.1', () => resolve(server));
  });
}

async function poll(what, fn, ms = 5000) {
  const end = Date.now() + ms;
  for (;;) {
    const v = await fn();
    if (v) return v;
    if (Date.now() > end) throw new Error('timed out waiting for ' + what);
    await new Promise(r => setTimeout(r, 50));
  }
}

// In the page: where pixels of one colour lie on a window's canvas.
function colourSpot(title, rgb) {
  const c = document.querySelector(`section.window[data-title="${title}"] canvas`);
  const d = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
  let n = 0, sx = 0, sy = 0;
  for (let i = 0; i < d.length; i += 4)
    if (d[i] === rgb[0] && d[i + 1] === rgb[1] && d[i + 2] === rgb[2]) {
      const p = i / 4;
      ++n; sx += p % c.width; sy += Math.floor(p / c.width);
    }
  return n ? { n, x: sx / n, y: sy / n } : { n: 0 };
}

const SUN = [255, 255, 0], CREATURE = [0, 102, 51], SKY = [153, 255, 255];
const GRAPHICS = 'PLOTX Graphics', TEXT = 'PLOTX Text';

let lastPage = null;  // its console lines go with a failure's report
async function open(browser, url) {
  const page = await browser.newPage();
  lastPage = page;
  page.lines = [];
  page.on('console', m => page.lines.push(m.text()));
  page.on('pageerror', e => page.lines.push('page error: ' + e.message));
  await page.setViewport({ width: 900, height: 1300 });
  await page.goto(url);
  await poll('the first frame', () => page.evaluate(() => Module.plotx.firstFrame !== null), 10000);
  return page;
}

const spot = (page, rgb) => page.evaluate(colourSpot, GRAPHICS, rgb);
const canvasOf = (page, title) => page.$(`section.window[data-title="${title}"] canvas`);
async function control(page, letter) {
  await page.keyboard.down('Control');
  await page.keyboard.press('Key' + letter);
  await page.keyboard.up('Control');
}

const groups = [];
const group = (name, fn) => groups.push({ name, fn });

group('the page loads and shows the first frame', async (browser, base) => {
  const page = await open(browser, base + '/demo/?seed=1');
  const c = await page.evaluate(t => {
    const el = document.querySelector(`section.window[data-title="${t}"] canvas`);
    const r = el.getBoundingClientRect();
    return { w: el.width, h: el.height, cssW: r.width, cssH: r.height, left: r.left, top: r.top };
  }, GRAPHICS);
  // The client area at 1:1, on whole pixels (a half-pixel offset would blur every edge).
  if (c.w !== 595 || c.h !== 493 || c.cssW !== c.w || c.cssH !== c.h || !Number.isInteger(c.left) || !Number.isInteger(c.top))
    throw new Error('canvas is not the client area at 1:1 on whole pixels: ' + JSON.stringify(c));
  for (const [name, rgb] of [['sky', SKY], ['sun', SUN], ['creature', CREATURE]])
    if ((await spot(page, rgb)).n < 100) throw new Error('no ' + name + ' on the canvas');
  const entries = await page.$$eval('.menubar li', lis => lis.length);
  if (entries !== 16) throw new Error('the Run menu has ' + entries + ' entries, not 16');
  await page.close();
});

group('a click on the road makes the creature walk there', async (browser, base) => {
  const page = await open(browser, base + '/demo/?seed=1');
  const before = await spot(page, CREATURE);
  const canvas = await canvasOf(page, GRAPHICS);
  await canvas.click({ offset: { x: 560, y: 440 } });
  await poll('the creature to walk right', async () => (await spot(page, CREATURE)).x > before.x + 40, 8000);
  await page.close();
});

group('Ctrl+H freezes the sun, Ctrl+F moves it one step, Ctrl+A resumes', async (browser, base) => {
  const page = await open(browser, base + '/demo/?seed=1');
  const canvas = await canvasOf(page, GRAPHICS);
  await canvas.focus();
  // Control-letter keys the page did not keep from the browser's own actions.
  await page.evaluate(() => {
    window.browserGot = [];
    window.addEventListener('keydown', e => { if (e.ctrlKey && e.key !== 'Control' && !e.defaultPrevented) browserGot.push(e.key); });
  });
  const start = await spot(page, SUN);
  await poll('the sun to move', async () => (await spot(page, SUN)).x !== start.x);
  await control(page, 'H');
  // The halt takes effect with the next event; then the picture must stay as it is.
  await new Promise(r => setTimeout(r, 300));
  const frozen = await spot(page, SUN);
  await new Promise(r => setTimeout(r, 600));
  if ((await spot(page, SUN)).x !== frozen.x) throw new Error('the sun moved while halted');
  await control(page, 'F');
  const stepped = await poll('one step', async () => { const s = await spot(page, SUN); return s.x !== frozen.x && s; });
  await new Promise(r => setTimeout(r, 400));
  const after = await spot(page, SUN);
  if (after.x !== stepped.x) throw new Error('Ctrl+F ran on instead of one step');
  if (Math.abs(stepped.x - frozen.x) > 10) throw new Error('one step moved the sun ' + (stepped.x - frozen.x));
  await control(page, 'A');
  await poll('the sun to move again', async () => (await spot(page, SUN)).x !== after.x);
  const kept = await page.evaluate(() => window.browserGot);
  if (kept.length) throw new Error('the browser kept ' + kept.join(', '));
  await page.close();
});

group('the menu bar works by mouse and by keyboard', async (browser, base) => {
  const page = await open(browser, base + '/demo/?seed=1');
  const logging = () => page.$eval('.menubar li[data-command="4"]', li => li.getAttribute('aria-checked') === 'true');
  if (await logging()) throw new Error('the demo starts with logging off');
  // By mouse: Run, then Logging; the program sets the check mark.
  await page.click('.menubar button');
  await page.click('.menubar li[data-command="4"]');
  await poll('the Logging mark', logging);
  const shortcut = await page.$eval('.menubar li[data-command="4"] .key', s => s.textContent);
  if (shortcut !== 'Ctrl+L') throw new Error('shortcut text ' + shortcut);
  const disabled = await page.$$eval('.menubar li[aria-disabled="true"]', l => l.length);
  if (disabled !== 4) throw new Error(disabled + ' entries are greyed, not 4');
  // By keyboard: Alt+R opens the menu from the canvas, H (the mnemonic) halts.
  const canvas = await canvasOf(page, GRAPHICS);
  await canvas.focus();
  await page.keyboard.down('Alt');
  await page.keyboard.press('KeyR');
  await page.keyboard.up('Alt');
  await poll('the menu to open', () => page.$eval('.menu', m => !m.hidden));
  await page.keyboard.press('KeyH');
  await poll('the menu to close', () => page.$eval('.menu', m => m.hidden));
  await new Promise(r => setTimeout(r, 300));
  const frozen = await spot(page, SUN);
  await new Promise(r => setTimeout(r, 500));
  if ((await spot(page, SUN)).x !== frozen.x) throw new Error('Halt animation from the keyboard did not halt');
  // A menu opened with the mouse closes as menus do: Escape, or a press outside it.
  await page.click('.menubar button');
  await poll('the menu to open by mouse', () => page.$eval('.menu', m => !m.hidden));
  await page.keyboard.press('Escape');
  await poll('Escape to close the menu', () => page.$eval('.menu', m => m.hidden));
  await page.click('.menubar button');
  await poll('the menu to open again', () => page.$eval('.menu', m => !m.hidden));
  const box = await canvas.boundingBox();
  await page.mouse.click(box.x + box.width - 20, box.y + box.height - 20);  // clear of the open menu
  await poll('a press outside to close the menu', () => page.$eval('.menu', m => m.hidden));
  await page.close();
});

group('Ctrl+L fills the log panel with the frame\'s lines, echoed to the console', async (browser, base) => {
  const page = await open(browser, base + '/demo/?seed=1&echo=1');
  const canvas = await canvasOf(page, GRAPHICS);
  await canvas.focus();
  await control(page, 'L');
  // Every one of the 25 rows of 13 pixels holds ink (dark text on white).
  const rowsWithInk = () => page.evaluate(t => {
    const c = document.querySelector(`section.window[data-title="${t}"] canvas`);
    const d = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
    let rows = 0;
    for (let line = 0; line < 25; ++line) {
      let ink = false;
      for (let y = line * 13; y < line * 13 + 13 && !ink; ++y)
        for (let x = 0; x < c.width && !ink; ++x) ink = d[(y * c.width + x) * 4] < 128;
      if (ink) ++rows;
    }
    return { rows, height: c.height };
  }, TEXT);
  const r = await poll('a full log panel', async () => { const v = await rowsWithInk(); return v.rows === 25 && v; });
  if (r.height !== 325) throw new Error('the log panel is ' + r.height + ' pixels high, not 25 lines');
  if (!page.lines.some(l => /^yellow circle at \(-?\d+,-?\d+\), radius \d+$/.test(l))) throw new Error('no log line on the console: ' + page.lines.slice(-3));
  await page.close();
});

group('a recording made in the page is kept across a reload and plays back', async (browser, base) => {
  let page = await open(browser, base + '/demo/?seed=1');
  const canvas = await canvasOf(page, GRAPHICS);
  await canvas.focus();
  await control(page, 'R');
  await poll('the Record mark', () => page.$eval('.menubar li[data-command="5"]', li => li.getAttribute('aria-checked') === 'true'));
  await canvas.click({ offset: { x: 560, y: 440 } });
  const recorded = () => page.evaluate(() => { try { return FS.readFile('/plotx/PLOTX.SCR', { encoding: 'utf8' }); } catch (e) { return ''; } });
  await poll('the click in the recording', async () => /PLOTX_MOUSE/.test(await recorded()));
  await control(page, 'R');
  const script = await poll('the recording to end', () => page.evaluate(() => {
    const li = document.querySelector('.menubar li[data-command="5"]');
    return li.getAttribute('aria-checked') !== 'true' && FS.readFile('/plotx/PLOTX.SCR', { encoding: 'utf8' });
  }));
  if (!/^(PLOTX_PERIODIC\(\d+\);\n)?PLOTX_MOUSE\(\d+, -?\d+\);\n(PLOTX_PERIODIC\(\d+\);\n)?$/.test(script)) throw new Error('no click in the recording: ' + script.slice(0, 200));
  // Stored in the browser: still there after a reload, and it plays back.
  await new Promise(r => setTimeout(r, 500));  // the storage write is debounced by 300 ms
  await page.close();
  page = await open(browser, base + '/demo/?seed=1&echo=1');
  const kept = await page.evaluate(() => FS.readFile('/plotx/PLOTX.SCR', { encoding: 'utf8' }));
  if (kept !== script) throw new Error('the script did not survive the reload');
  const before = await spot(page, CREATURE);
  await (await canvasOf(page, GRAPHICS)).focus();
  // Playback halts the animation and plays the script to its end; animating again then
  // walks the creature to where the replayed click sent it.
  await control(page, 'P');
  await poll('the end of the playback', () => page.lines.includes('EOF encountered in script file PLOTX.SCR'));
  await control(page, 'A');
  await poll('the replayed click to move the creature', async () => (await spot(page, CREATURE)).x > before.x + 40, 8000);
  await page.close();
});

group('a halted page sets no timer, and a key still reaches it at once', async (browser, base) => {
  const page = await browser.newPage();
  // Every timer the page asks for, counted from before the page's own scripts run.
  await page.evaluateOnNewDocument(() => {
    window.timersAsked = 0;
    for (const name of ['setTimeout', 'setInterval']) {
      const real = window[name];
      window[name] = function () { ++window.timersAsked; return real.apply(this, arguments); };
    }
  });
  const errors = [];
  page.on('console', m => { if (m.type() === 'error') errors.push(m.text()); });
  page.on('pageerror', e => errors.push(e.message));
  await page.goto(base + '/demo/?seed=1');
  await poll('the first frame', () => page.evaluate(() => Module.plotx.firstFrame !== null), 10000);
  await (await canvasOf(page, GRAPHICS)).focus();
  await control(page, 'H');
  await poll('the program to wait with nothing due', () => page.evaluate(() => Module.plotx.idle));
  const before = await page.evaluate(() => window.timersAsked);
  const frozen = await spot(page, SUN);
  await new Promise(r => setTimeout(r, 2000));
  const asked = await page.evaluate(() => window.timersAsked) - before;
  if (asked !== 0) throw new Error(`the halted page asked for ${asked} timers in 2 s`);
  await control(page, 'F');
  await poll('one step', async () => (await spot(page, SUN)).x !== frozen.x, 2000);
  if (errors.length) throw new Error('console errors: ' + errors.join('; '));
  await page.close();
});

group('a long playback paints as it plays, and Ctrl+P stops it', async (browser, base) => {
  const page = await open(browser, base + '/demo/?seed=1&echo=1');
  await page.evaluate(() => {
    FS.writeFile('/plotx/PLOTX.SCR', 'PLOTX_KBD(32);\n'.repeat(10000));
    window.frames = 0;
    const count = () => { ++window.frames; requestAnimationFrame(count); };
    requestAnimationFrame(count);
  });
  const playing = () => page.$eval('.menubar li[data-command="6"]', li => li.getAttribute('aria-checked') === 'true');
  const ended = () => page.lines.includes('EOF encountered in script file PLOTX.SCR');
  await (await canvasOf(page, GRAPHICS)).focus();
  // Ctrl+P part way stops it: the program goes back to waiting, and the rest of the lines
  // never play.
  await control(page, 'P');
  await poll('the Playback mark', playing, 20000);
  await control(page, 'P');
  await poll('the Playback mark to go', async () => !(await playing()), 5000);
  await poll('the program to wait with nothing due', () => page.evaluate(() => Module.plotx.idle), 5000);
  if (ended()) throw new Error('Ctrl+P did not stop the playback');
  // Then the whole script, from its start: the mark shows while it plays, and the page
  // keeps painting.
  const t0 = Date.now();
  const frames0 = await page.evaluate(() => window.frames);
  await control(page, 'P');
  await poll('the Playback mark again', playing, 20000);
  await poll('the end of the playback', ended, 120000);
  const ms = Date.now() - t0, frames = await page.evaluate(() => window.frames) - frames0;
  if (process.env.E2E_VERBOSE) console.log(`     playback: ${ms} ms, ${frames} frames`);
  if (frames < Math.max(3, ms / 250)) throw new Error(`${frames} frames painted in the ${ms} ms the playback took`);
  if (await playing()) throw new Error('the Playback mark stayed after the end');
  await page.close();
});

group('Quit ends the program and the page says so', async (browser, base) => {
  const page = await open(browser, base + '/demo/?seed=1');
  await (await canvasOf(page, GRAPHICS)).focus();
  await control(page, 'Q');
  await poll('the end', () => page.$eval('#status', s => /program has ended/.test(s.textContent)));
  await page.close();
});

group('an example built with build-web.sh runs and offers its picture and its GIF', async (browser, base) => {
  const page = await open(browser, base + '/example/?PLOTX_GIF=run.gif');
  await poll('the end', () => page.$eval('#status', s => /exit status 0/.test(s.textContent)));
  const png = await page.evaluate(() => Array.from(FS.readFile('/plotx/picture.png').slice(0, 8)));
  if (png.join() !== '137,80,78,71,13,10,26,10') throw new Error('picture.png is not a PNG');
  const gif = await page.evaluate(() => String.fromCharCode(...FS.readFile('/plotx/run.gif').slice(0, 6)));
  if (gif !== 'GIF89a') throw new Error('run.gif is not a GIF');
  const offers = await page.$$eval('#pictures button', bs => bs.map(b => b.textContent).sort().join());
  if (offers !== 'Download picture.png,Download run.gif') throw new Error('offers read ' + offers);
  await page.close();
});

group('the richer wait gets every button, motion, the wheel and key downs and ups', async (browser, base) => {
  const page = await open(browser, base + '/probe/?echo=1');
  const canvas = await canvasOf(page, GRAPHICS);
  const box = await canvas.boundingBox();
  // Client (307, 236) is canvas (10, 10): the origin is the client area's middle.
  const at = (x, y) => [box.x + 297 + x, box.y + 246 - y];
  const seen = re => poll(String(re), () => page.lines.some(l => re.test(l)));
  await page.mouse.move(...at(10, 10));
  await seen(/^event 6 10 10 0 0 0$/);
  await page.mouse.down({ button: 'right' });
  await page.mouse.up({ button: 'right' });
  await seen(/^event 1 10 10 3 0 0$/);
  await seen(/^event 5 10 10 3 0 0$/);
  await page.mouse.click(...at(10, 10), { button: 'middle' });
  await seen(/^event 1 10 10 2 0 0$/);
  await page.mouse.wheel({ deltaY: -100 });
  await seen(/^event 7 10 10 1 0 0$/);
  await page.keyboard.down('Shift');
  await page.mouse.click(...at(-20, 5));
  await page.keyboard.up('Shift');
  await seen(/^event 1 -20 5 1 0 1$/);
  await page.keyboard.press('ArrowLeft');
  await seen(/^event 8 -20 5 0 256 0$/);
  await seen(/^event 9 -20 5 0 256 0$/);
  await page.close();
});

(async () => {
  const server = await serve();
  const base = 'http://127.0.0.1:' + server.address().port;
  const browser = await puppeteer.launch({
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium', headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--disable-dev-shm-usage'],
  });
  let failed = 0;
  const only = process.env.E2E_ONLY;  // a part of a group's name: run just those
  const chosen = groups.filter(x => !only || x.name.includes(only));
  for (const g of chosen) {
    const context = await browser.createBrowserContext();  // fresh storage for each group
    const t0 = Date.now();
    try {
      await g.fn(context, base);
      console.log(`ok   ${g.name} (${Date.now() - t0} ms)`);
    } catch (e) {
      ++failed;
      console.log(`FAIL ${g.name}: ${e.message}`);
      if (lastPage) console.log('     last console lines:\n       ' + lastPage.lines.slice(-8).join('\n       '));
    }
    await context.close();
  }
  await browser.close();
  server.close();
  console.log(failed ? `${failed} of ${chosen.length} groups failed` : `all ${chosen.length} groups passed`);
  process.exit(failed ? 1 : 0);
})();
