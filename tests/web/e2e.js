// e2e.js - the demo's page and an example's page, end to end in headless Chromium: each
// group loads a page served from the build's folders and drives it as a person would
// (clicks, Control shortcuts, the menu bar, a link to a recorded run, the keyboard alone, a
// high-density screen), reading the canvases' pixels and the page's words back.
//   node tests/web/e2e.js DEMO_DIR EXAMPLE_DIR PROBE_DIR   (folders made by tools/build-web.sh;
//   the probe is tests/input/probe.c, which plays tests/input/scenario.txt)
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
async function open(browser, url, deviceScaleFactor = 1, watch = () => {}) {
  const page = await browser.newPage();
  watch(page);
  lastPage = page;
  page.lines = [];
  page.errors = [];  // console errors and uncaught exceptions
  page.on('console', m => { page.lines.push(m.text()); if (m.type() === 'error') page.errors.push(m.text()); });
  page.on('pageerror', e => { page.lines.push('page error: ' + e.message); page.errors.push(e.message); });
  await page.setViewport({ width: 900, height: 1300, deviceScaleFactor });
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

// axe-core's findings on the page as it is now: "rule (count): first element" each.
async function axeFindings(page) {
  if (!(await page.evaluate(() => typeof axe !== 'undefined'))) await page.addScriptTag({ path: require.resolve('axe-core/axe.min.js') });
  return page.evaluate(async () => (await axe.run(document)).violations.map(v => `${v.id} (${v.nodes.length}): ${v.nodes[0].target}`));
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

// A fixed-seed run of random input (clicks, the wheel, the Run menu's shortcuts, keys): the page
// stays alive and answers, and the last four states of the script file it wrote (a page load
// each) play to their end in a fresh page.
group('a random session keeps the page alive, and the recordings it wrote play to their end', async (browser, base) => {
  let page = await open(browser, base + '/demo/?seed=1');
  const canvas = await canvasOf(page, GRAPHICS);
  await canvas.focus();
  let seed = 1;
  const rnd = n => { seed = (Math.imul(seed, 1103515245) + 12345) >>> 0; return (seed >>> 8) % n; };
  const KEYS = ['a', 'k', ' ', 'Enter', 'Backspace', 'ArrowLeft', 'ArrowRight', 'ArrowUp', 'ArrowDown'];
  const script = () => page.evaluate(() => { try { return FS.readFile('/plotx/PLOTX.SCR', { encoding: 'utf8' }); } catch (e) { return ''; } });
  const recordings = [];
  let steps = 0;
  for (const end = Date.now() + Number(process.env.E2E_RANDOM_MS || 45000); Date.now() < end; ++steps) {
    const r = rnd(10);
    if (r < 3) {
      // Where the canvas is now: notes appearing above it move it, and a click on its panel's
      // close button would end the program, as it should.
      const box = await canvas.boundingBox();
      await page.mouse.click(box.x + rnd(Math.floor(box.width)), box.y + rnd(Math.floor(box.height)));
    }
    else if (r < 4) await page.mouse.wheel({ deltaY: rnd(2) ? 100 : -100 });
    else if (r < 7) await control(page, 'AHFLRPO'[rnd(7)]);
    else await page.keyboard.press(KEYS[rnd(KEYS.length)]);
    if (steps % 40 === 39) {
      const now = await script();  // the page answers
      if (now && now !== recordings[recordings.length - 1]) recordings.push(now);
      await canvas.focus();
    }
  }
  if (await page.evaluate(() => document.body.classList.contains('ended')))
    throw new Error(`the program ended after ${steps} steps: ` + await page.evaluate(() => document.getElementById('status').textContent));
  if (page.errors.length) throw new Error('errors on the page: ' + page.errors.slice(0, 3).join('; '));
  await page.close();
  for (const [i, text] of recordings.slice(-4).entries()) {
    page = await open(browser, base + '/demo/?seed=1&echo=1');
    await page.evaluate(t => FS.writeFile('/plotx/PLOTX.SCR', t), text);
    await (await canvasOf(page, GRAPHICS)).focus();
    await control(page, 'P');
    await poll(`recording ${i} played to its end`, () => page.lines.includes('EOF encountered in script file PLOTX.SCR'), 30000);
    if (page.lines.some(l => /cannot read/.test(l))) throw new Error(`recording ${i} has a line playback cannot read`);
    await page.close();
  }
  if (process.env.E2E_VERBOSE) console.log(`     ${steps} random steps, ${recordings.length} recordings`);
  if (!recordings.length) throw new Error('the session wrote no recording');
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

// The input scenario every backend plays (see that file for its steps), as a person's
// mouse and keyboard give it to the probe's page.
function readScenario(file) {
  const steps = [];
  fs.readFileSync(file, 'utf8').split('\n').forEach((raw, i) => {
    const line = raw.trim();
    if (!line || line.startsWith('#')) return;
    if (line.startsWith('>')) steps[steps.length - 1].expected.push(line.slice(1).trim());
    else if (line.startsWith('skip ')) {
      const [, platform, reason] = /^skip (\S+) (.*)$/.exec(line);
      steps[steps.length - 1].skips[platform] = reason;
    } else {
      const [verb, ...args] = line.split(/\s+/);
      steps.push({ where: `scenario.txt:${i + 1} ${line}`, verb, args, expected: [], skips: {} });
    }
  });
  return steps;
}
const WEB_KEYS = { Left: 'ArrowLeft', Return: 'Enter', BackSpace: 'Backspace', shift: 'Shift', ctrl: 'Control' };
const LATIN1 = { eacute: '\u00e9', ssharp: '\u00df' };  // no key of the US layout types them
const BUTTONS = { 1: 'left', 2: 'middle', 3: 'right' };

group('the input scenario (tests/input/scenario.txt)', async (browser, base) => {
  const page = await open(browser, base + '/probe/');
  const canvas = await canvasOf(page, GRAPHICS);
  const box = await canvas.boundingBox();
  const cdp = await page.target().createCDPSession();
  let taken = 0;
  // The next probe line is the one wanted; pointer motion not asked for, and the page's
  // own console lines, are let pass.
  const expect = (want, where) => poll(`${where}: "${want}"`, () => {
    while (taken < page.lines.length) {
      const got = page.lines[taken++];
      if (got === want) return true;
      if (/^[A-Z_]+( -?\d+){6}$/.test(got) && !got.startsWith('MOUSE_MOVE '))
        throw new Error(`${where}: the probe printed "${got}" where "${want}" was due`);
    }
    return false;
  });
  const press = async (name, down) => {
    if (LATIN1[name]) {
      const text = down ? { text: LATIN1[name], unmodifiedText: LATIN1[name] } : {};
      await cdp.send('Input.dispatchKeyEvent', { type: down ? 'keyDown' : 'keyUp', key: LATIN1[name], ...text });
    } else {
      // A letter or digit by its key, so that Shift gives the shifted character.
      const key = /^[a-z]$/.test(name) ? 'Key' + name.toUpperCase() : /^\d$/.test(name) ? 'Digit' + name : name;
      await page.keyboard[down ? 'down' : 'up'](WEB_KEYS[name] || key);
    }
  };
  const steps = {
    move: async (x, y) => page.mouse.move(box.x + 297 + Number(x), box.y + 246 - Number(y)),
    click: async b => { await page.mouse.down({ button: BUTTONS[b] }); await page.mouse.up({ button: BUTTONS[b] }); },
    wheel: async n => page.mouse.wheel({ deltaY: -100 * Number(n) }),
    key: async keys => {
      for (const k of keys.split('+')) await press(k, true);
      for (const k of keys.split('+')) await press(k, false);
    },
    down: async k => press(k, true),
    up: async k => press(k, false),
    blur: async () => page.evaluate(() => document.activeElement.blur()),  // to the page itself
    focus: async () => canvas.focus(),
    // The title bar's button, pressed where it is: the pointer stays on the canvas.
    close: async () => page.$eval(`section.window[data-title="${GRAPHICS}"] .title button`, b => b.click()),
  };
  await canvas.focus();
  let ran = 0, skipped = 0;
  for (const s of readScenario(path.join(__dirname, '..', 'input', 'scenario.txt'))) {
    if (s.skips.web) {
      console.log(`     skip ${s.where}: ${s.skips.web}`);
      ++skipped;
      continue;
    }
    if (!steps[s.verb]) throw new Error('no such step: ' + s.where);
    await steps[s.verb](...s.args);
    for (const line of s.expected) await expect(line, s.where);
    ++ran;
  }
  await poll('the end', () => page.$eval('#status', st => /exit status 0/.test(st.textContent)));
  console.log(`     ${ran} steps run, ${skipped} skipped`);
  await page.close();
});

// In the page: whether a crushed car lies on the canvas: its two black blocks, 13 pixels wide
// with 7 between them, seen as such on three rows in a row (what is drawn after them may cover
// some of their pixels; the creature's black foot is one block, text strokes are thinner).
function crushedCar(title) {
  const c = document.querySelector(`section.window[data-title="${title}"] canvas`);
  const d = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
  const black = (x, y) => { const i = (y * c.width + x) * 4; return d[i] === 0 && d[i + 1] === 0 && d[i + 2] === 0; };
  let rows = 0, at = -1;
  for (let y = 0; y < c.height; ++y) {
    const runs = [];
    for (let x = 0; x < c.width;) {
      if (!black(x, y)) { ++x; continue; }
      const start = x;
      while (x < c.width && black(x, y)) ++x;
      runs.push([start, x]);
    }
    let found = -1;
    for (let i = 0; i + 1 < runs.length && found < 0; ++i) {
      const [a0, a1] = runs[i], [b0, b1] = runs[i + 1];
      if (a1 - a0 >= 10 && b1 - b0 >= 10 && b0 - a1 >= 5 && b0 - a1 <= 9) found = a1;
    }
    rows = found >= 0 && (rows === 0 || Math.abs(found - at) <= 1) ? rows + 1 : found >= 0 ? 1 : 0;
    at = found;
    if (rows >= 3) return true;
  }
  return false;
}

group('a link to a script beside the page plays the recorded run, then the visitor has it', async (browser, base) => {
  const page = await open(browser, base + '/demo/?script=crush.scr&playback=1&seed=1');
  await poll('the line saying a script plays', () => page.$eval('#playback-status', p => /Playing the script crush\.scr/.test(p.textContent)));
  if (!(await page.$eval('#stop-playback', b => !b.hidden))) throw new Error('no button to stop the playback');
  const found = await axeFindings(page);
  if (found.length) throw new Error('axe finds, while the script plays, ' + found.join('; '));
  if (await page.evaluate(crushedCar, GRAPHICS)) throw new Error('a car is crushed before the script played');
  // The session: the creature walks to the road at (-100, -100), pixel column 197, and
  // crushes a car; no input.
  await poll('the end of the script', () => page.$eval('#playback-status', p => /has stopped: the program is yours/.test(p.textContent)), 20000);
  if (await page.$eval('#stop-playback', b => !b.hidden)) throw new Error('the stop button stays after the end');
  const creature = await spot(page, CREATURE);
  if (Math.abs(creature.x - 197) > 30) throw new Error('the creature is not on the road: ' + JSON.stringify(creature));
  if (!(await page.evaluate(crushedCar, GRAPHICS))) throw new Error('no crushed car after the script');
  // Taken over: Ctrl+A animates again.
  const sun = await spot(page, SUN);
  await (await canvasOf(page, GRAPHICS)).focus();
  await control(page, 'A');
  await poll('the sun to move after the script', async () => (await spot(page, SUN)).x !== sun.x);
  if (page.errors.length) throw new Error('console errors: ' + page.errors.join('; '));
  await page.close();
});

group('the stop button switches a linked playback off; the visitor\'s own script is kept aside', async (browser, base) => {
  const own = 'PLOTX_KBD(49);\n';
  const first = await open(browser, base + '/demo/?seed=1');
  await first.evaluate(text => new Promise(done => { FS.writeFile('/plotx/PLOTX.SCR', text); FS.syncfs(false, done); }), own);
  await first.close();
  const page = await open(browser, base + '/demo/?script=crush.scr&PLOTX_PLAYBACK=1&seed=1');
  const kept = await page.evaluate(() => FS.readFile('/plotx/PLOTX.SCR.saved', { encoding: 'utf8' }));
  if (kept !== own) throw new Error('the visitor\'s PLOTX.SCR was not kept: ' + kept);
  await poll('the stop button', () => page.$eval('#stop-playback', b => !b.hidden));
  await page.click('#stop-playback');
  if (await page.evaluate(() => document.activeElement.tagName) !== 'CANVAS') throw new Error('the keyboard did not go to the picture');
  await poll('Playback off', () => page.$eval('.menubar li[aria-keyshortcuts="Control+P"]', li => li.getAttribute('aria-checked') === 'false'));
  await poll('the line to say so', () => page.$eval('#playback-status', p => /has stopped/.test(p.textContent)));
  if (await page.$eval('#stop-playback', b => !b.hidden)) throw new Error('the stop button stays after the stop');
  await page.close();
});

group('a script that cannot be had is named on the page with the reason, and the program runs', async (browser, base) => {
  for (const [script, reason] of [['missing.scr', /missing\.scr could not be loaded: the server answered 404/],
    ['http://elsewhere.invalid/crush.scr', /"http:\/\/elsewhere\.invalid\/crush\.scr" was not loaded: only a file beside this page/],
    ['../demo/crush.scr', /was not loaded: only a file beside this page/]]) {
    const requests = [];
    const opened = await open(browser, base + '/demo/?playback=1&seed=1&script=' + encodeURIComponent(script), 1,
      p => p.on('request', r => requests.push(r.url())));
    const said = await opened.$eval('#playback-status', p => p.textContent);
    if (!reason.test(said)) throw new Error(`for ${script} the page says: ${said}`);
    if (await opened.$eval('#playback-status', p => getComputedStyle(p).display === 'none' || !p.offsetHeight)) throw new Error('the message is not visible');
    if (await opened.$eval('.menubar li[aria-keyshortcuts="Control+P"]', li => li.getAttribute('aria-checked') === 'true'))
      throw new Error('the stored script plays in place of the missing one');
    if (requests.some(u => !u.startsWith(base))) throw new Error('the page fetched from elsewhere: ' + requests);
    const found = await axeFindings(opened);
    if (found.length) throw new Error('axe finds, with the message shown, ' + found.join('; '));
    await opened.close();
  }
});

group('a screen reader hears the log and the canvas, and the Run menu works by keyboard alone', async (browser, base) => {
  const page = await open(browser, base + '/demo/?seed=1');
  const label = () => page.$eval(`section.window[data-title="${GRAPHICS}"] canvas`, c => c.getAttribute('aria-label'));
  // Each shape named with its colour, counted, and the texts drawn.
  const words = await poll('the canvas in words', async () => { const l = await label(); return /shapes:/.test(l) && l; });
  if (!/^PLOTX Graphics: \d+ shapes: an ice blue rectangle, a yellow circle, .*, \d+ forest green triangles, .*text "PLOTX Demo: the creature and the traffic"/.test(words))
    throw new Error('the canvas reads ' + words);
  const canvas = await canvasOf(page, GRAPHICS);
  await canvas.focus();
  await control(page, 'L');
  const log = `section.window[data-title="${TEXT}"] [role="log"][aria-live="polite"]`;
  await poll('log lines in the live region', () => page.$$eval(log + ' > div', ds => ds.some(d => /^[a-z% ]+ (triangle|rectangle|circle) at \(-?\d+,-?\d+\)/.test(d.textContent))));
  if ((await page.$$eval(log + ' > div', ds => ds.length)) > 25) throw new Error('the live region keeps more than the log');
  await control(page, 'L');
  // F10 opens the Run menu at its first entry; arrows move, Escape goes back to the bar,
  // Enter on a check box flips it and puts the focus back on the picture.
  await canvas.focus();
  await page.keyboard.press('F10');
  const focused = () => page.evaluate(() => { const a = document.activeElement; return { role: a.getAttribute('role'), text: a.textContent, checked: a.getAttribute('aria-checked'), tag: a.tagName }; });
  if ((await focused()).text !== 'Animate' + 'Ctrl+A') throw new Error('F10 focused ' + JSON.stringify(await focused()));
  for (let i = 0; i < 3; ++i) await page.keyboard.press('ArrowDown');
  const logging = await focused();
  if (logging.role !== 'menuitemcheckbox' || logging.checked !== 'false' || !/Logging/.test(logging.text)) throw new Error('Logging reads ' + JSON.stringify(logging));
  await page.keyboard.press('End');
  if (!/Quit/.test((await focused()).text)) throw new Error('End did not reach Quit, the last entry that can be picked');
  await page.keyboard.press('Escape');
  if ((await focused()).role !== 'menuitem' || !(await page.$eval('.menu', m => m.hidden))) throw new Error('Escape did not close the menu onto the bar');
  await page.keyboard.press('ArrowDown');
  for (let i = 0; i < 3; ++i) await page.keyboard.press('ArrowDown');
  await page.keyboard.press('Enter');
  await poll('Logging checked', () => page.$eval('.menubar li[data-command="4"]', li => li.getAttribute('aria-checked') === 'true'));
  if ((await focused()).tag !== 'CANVAS') throw new Error('the focus did not return to the picture');
  const roles = await page.$$eval('.menubar, .menubar [role]', es => es.map(e => e.getAttribute('role')));
  for (const r of ['menubar', 'menu', 'menuitem', 'menuitemcheckbox', 'separator'])
    if (!roles.includes(r)) throw new Error('no ' + r + ' in the menu bar');
  // axe-core's rules, with the menu open and closed: nothing found.
  for (const open of [false, true]) {
    if (open) await page.click('.menubar button');
    const found = await axeFindings(page);
    if (found.length) throw new Error('axe finds ' + found.join('; '));
  }
  if (page.errors.length) throw new Error('console errors: ' + page.errors.join('; '));
  await page.close();
});

group('the log panel resizes and the program repaints it at the size given', async (browser, base) => {
  const page = await open(browser, base + '/demo/?seed=1');
  const text = `section.window[data-title="${TEXT}"]`;
  const before = await page.$eval(text + ' canvas', c => ({ w: c.width, h: c.height }));
  // The frame's corner, dragged 150 pixels right and 60 down.
  const box = await (await page.$(text + ' .client')).boundingBox();
  await page.mouse.move(box.x + box.width - 3, box.y + box.height - 3);
  await page.mouse.down();
  await page.mouse.move(box.x + box.width + 147, box.y + box.height + 57, { steps: 5 });
  await page.mouse.up();
  const after = await poll('the repaint at the new size', () => page.$eval(text + ' canvas', (c, b) => c.width !== b.w && { w: c.width, h: c.height }, before));
  if (Math.abs(after.w - before.w - 150) > 2 || Math.abs(after.h - before.h - 60) > 2) throw new Error(`resized from ${JSON.stringify(before)} to ${JSON.stringify(after)}`);
  // The log still fills it: a line at the bottom row once logging runs.
  await (await canvasOf(page, GRAPHICS)).focus();
  await control(page, 'L');
  await poll('a line at the new bottom', () => page.$eval(text + ' canvas', c => {
    const d = c.getContext('2d').getImageData(0, c.height - 13, c.width, 13).data;
    for (let i = 0; i < d.length; i += 4) if (d[i] < 128) return true;
    return false;
  }));
  await page.close();
});

group('on a screen of device scale 2 each canvas pixel is a crisp 2 x 2 block, and a click reaches its pixel', async (browser, base) => {
  const page = await open(browser, base + '/probe/?echo=1', 2);
  const canvas = await canvasOf(page, GRAPHICS);
  const box = await canvas.boundingBox();
  const size = await page.evaluate(t => { const c = document.querySelector(`section.window[data-title="${t}"] canvas`); return { w: c.width, h: c.height }; }, GRAPHICS);
  if (box.width !== size.w || box.height !== size.h) throw new Error('the canvas is not one CSS pixel a pixel at scale 2: ' + JSON.stringify(box));
  const shot = await canvas.screenshot({ encoding: 'base64' });
  // Decoded by the browser, compared block by block with the canvas's own pixels.
  const bad = await page.evaluate(async (t, png) => {
    const c = document.querySelector(`section.window[data-title="${t}"] canvas`);
    const own = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
    const img = await createImageBitmap(await (await fetch('data:image/png;base64,' + png)).blob());
    if (img.width !== 2 * c.width || img.height !== 2 * c.height) return `screenshot ${img.width}x${img.height}`;
    const o = new OffscreenCanvas(img.width, img.height).getContext('2d');
    o.drawImage(img, 0, 0);
    const shot = o.getImageData(0, 0, img.width, img.height).data;
    let wrong = 0;
    for (let y = 0; y < img.height; ++y)
      for (let x = 0; x < img.width; ++x) {
        const s = (y * img.width + x) * 4, p = ((y >> 1) * c.width + (x >> 1)) * 4;
        if (shot[s] !== own[p] || shot[s + 1] !== own[p + 1] || shot[s + 2] !== own[p + 2]) ++wrong;
      }
    return wrong ? `${wrong} device pixels differ from their canvas pixel` : '';
  }, GRAPHICS, shot);
  if (bad) throw new Error(bad);
  // A click at the middle of the block of client (307, 236), which the probe calls (10, 10),
  // and at the middle of the next block to the right.
  await page.mouse.click(box.x + 307.5, box.y + 236.5);
  await poll('the click at (10, 10)', () => page.lines.some(l => /^MOUSE 10 10 1 0 /.test(l)));
  await page.mouse.click(box.x + 308.5, box.y + 236.5);
  await poll('the click at (11, 10)', () => page.lines.some(l => /^MOUSE 11 10 1 0 /.test(l)));
  await page.close();
  // PLOTX_SCALE picks the scale: 3 device pixels a pixel is 1.5 CSS pixels at this ratio.
  const scaled = await open(browser, base + '/probe/?PLOTX_SCALE=3', 2);
  const wide = await (await canvasOf(scaled, GRAPHICS)).boundingBox();
  if (wide.width !== size.w * 1.5) throw new Error('PLOTX_SCALE=3 shows the canvas ' + wide.width + ' CSS pixels wide');
  await scaled.close();
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
