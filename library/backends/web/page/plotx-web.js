// plotx-web.js - the page side of the web backend (../web.cpp): panels for
// the program's windows with their menu bars, page input queued for the program (which
// wakes it when it waits), PLOTX.SCR kept in browser storage, script and picture files
// offered for download, URL parameters as the program's environment, a script beside the page
// played as a link to a recorded run, the log and the canvas in words for screen readers, and
// whole-number scaling of the canvases on high-density screens.
'use strict';
(function () {
  // The window layer's input messages, their parameters' bits and the menu flags, as the
  // program hands them over (web.cpp) before it creates a window.
  let WM_CLOSE, WM_SIZE, WM_KILLFOCUS, WM_KEYDOWN, WM_KEYUP, WM_SYSKEYDOWN, WM_SYSKEYUP, WM_COMMAND,
    WM_MOUSEMOVE, WM_MOUSEWHEEL, MK_LBUTTON, MK_RBUTTON, MK_SHIFT, MK_CONTROL, MK_MBUTTON, MK_ALT,
    WHEEL_DELTA, KEY_CONTROL_HELD, KEY_SHIFT_HELD, KEY_ALT_HELD, KEY_WAS_DOWN, KEY_SECOND, KEY_UP_BIT, MF_GRAYED,
    MF_DISABLED, MF_CHECKED, VK_NO_CODE;
  let BUTTON_DOWN = [], BUTTON_UP = [];  // left, middle, right
  function setConstants(c) {
    ({ WM_CLOSE, WM_SIZE, WM_KILLFOCUS, WM_KEYDOWN, WM_KEYUP, WM_SYSKEYDOWN, WM_SYSKEYUP, WM_COMMAND,
      WM_MOUSEMOVE, WM_MOUSEWHEEL, MK_LBUTTON, MK_RBUTTON, MK_SHIFT, MK_CONTROL, MK_MBUTTON, MK_ALT,
      WHEEL_DELTA, KEY_CONTROL_HELD, KEY_SHIFT_HELD, KEY_ALT_HELD, KEY_WAS_DOWN, KEY_SECOND, KEY_UP_BIT, MF_GRAYED,
      MF_DISABLED, MF_CHECKED, VK_NO_CODE } = c);
    BUTTON_DOWN = [c.WM_LBUTTONDOWN, c.WM_MBUTTONDOWN, c.WM_RBUTTONDOWN];
    BUTTON_UP = [c.WM_LBUTTONUP, c.WM_MBUTTONUP, c.WM_RBUTTONUP];
  }
  const HOME = '/plotx';           // the program's working directory, kept in browser storage
  const SCRIPT = HOME + '/PLOTX.SCR';

  const statusLine = document.getElementById('status');
  const desk = document.getElementById('windows');
  const filesNote = document.getElementById('files-note');
  const pictures = document.getElementById('pictures');
  const windows = new Map();  // window id -> panel
  let openMenu = null;        // {panel, index} of the menu shown, if any

  function setStatus(text) { statusLine.textContent = text; }

  // --- Input for the program -------------------------------------------------------------
  const plotx = {
    queue: [],     // [window, message, wParam, lParam], taken by the program's poll
    wake: null,    // set while the program waits: resumes it
    firstFrame: null,
    post(id, msg, wp, lp) {
      this.queue.push([id, msg, wp | 0, lp | 0]);
      if (this.wake) this.wake();
    },
  };

  // The second key of a pair with one key code: the layer tracks the two apart.
  const SECOND_KEYS = new Set(['ShiftRight', 'ControlRight', 'AltRight', 'NumpadEnter']);

  function keyLParam(typed, e, up) {
    return (1 | (typed << 16) | (e.ctrlKey ? KEY_CONTROL_HELD : 0) | (e.shiftKey ? KEY_SHIFT_HELD : 0) |
      (e.altKey ? KEY_ALT_HELD : 0) | (e.repeat && !up ? KEY_WAS_DOWN : 0) | (up ? KEY_UP_BIT : 0) |
      (SECOND_KEYS.has(e.code) ? KEY_SECOND : 0)) | 0;
  }

  // Buttons held after a pointer event, and the modifiers, as the MK_ bits.
  function mouseState(e) {
    return (e.buttons & 1 ? MK_LBUTTON : 0) | (e.buttons & 2 ? MK_RBUTTON : 0) | (e.buttons & 4 ? MK_MBUTTON : 0) |
      (e.shiftKey ? MK_SHIFT : 0) | (e.ctrlKey ? MK_CONTROL : 0) | (e.altKey ? MK_ALT : 0);
  }

  // The byte a key types, as the program's key translation expects it: with Control held a
  // letter gives the letter (the program makes the control code), other keys nothing.
  function typedByte(e) {
    const letter = /^Key([A-Z])$/.exec(e.code);
    if (e.ctrlKey) {
      if (!letter) return 0;
      return (e.shiftKey ? letter[1] : letter[1].toLowerCase()).charCodeAt(0);
    }
    switch (e.key) {
      case 'Enter': return 13;
      case 'Backspace': return 8;
      case 'Tab': return 9;
      case 'Escape': return 27;
    }
    if (e.key.length === 1) {
      const c = e.key.charCodeAt(0);
      if (c < 256) return c;
    }
    return 0;
  }

  function keyCode(e) {
    const k = e.keyCode;  // the reference system's key codes, as browsers still report them
    return k > 0 && k < 256 ? k : VK_NO_CODE;
  }

  // --- Menus ------------------------------------------------------------------------------
  // "&Animate\tCtrl+A" -> label with its mnemonic underlined, and the shortcut text.
  function labelParts(text) {
    const tab = text.indexOf('\t');
    const label = tab >= 0 ? text.slice(0, tab) : text;
    const key = tab >= 0 ? text.slice(tab + 1) : '';
    const frag = document.createDocumentFragment();
    let mnemonic = '';
    for (let i = 0; i < label.length; ++i) {
      if (label[i] === '&' && i + 1 < label.length) {
        ++i;
        if (label[i] !== '&' && !mnemonic) {
          mnemonic = label[i].toLowerCase();
          const u = document.createElement('u');
          u.textContent = label[i];
          frag.appendChild(u);
          continue;
        }
      }
      frag.appendChild(document.createTextNode(label[i]));
    }
    return { frag, key, mnemonic, plain: label.replace(/&(.)/g, '$1') };
  }

  // A popup inside a popup stays inside it: the lists being filled form a stack.
  function parseMenu(description) {
    const root = [];
    const open = [root];
    let current = root;
    for (const line of description.split('\n')) {
      if (!line) continue;
      const [kind, id, flags, text] = line.split('\t');
      const rest = line.split('\t').slice(3).join('\t');
      if (kind === 'P') {
        const popup = { kind, flags: +flags, text: rest, items: [] };
        current.push(popup);
        open.push(popup.items);
        current = popup.items;
      } else if (kind === 'E') {
        if (open.length > 1) open.pop();
        current = open[open.length - 1];
      } else if (kind === 'S') {
        current.push({ kind });
      } else if (kind === 'I') {
        current.push({ kind, id: +id, flags: +flags, text: text === undefined ? '' : rest });
      }
    }
    return root;
  }

  function enabled(item) { return !(item.flags & (MF_GRAYED | MF_DISABLED)); }

  function menuEntries(panel, index) {
    return Array.from(panel.menus[index].list.querySelectorAll('li[role^="menuitem"]'));
  }

  function closeMenu(refocus) {
    if (!openMenu) return;
    const { panel, index } = openMenu;
    const m = panel.menus[index];
    m.list.hidden = true;
    m.button.setAttribute('aria-expanded', 'false');
    openMenu = null;
    if (refocus === 'bar') m.button.focus();
    else if (refocus) panel.canvas.focus();
  }

  function showMenu(panel, index, focusFirst) {
    closeMenu(false);
    const m = panel.menus[index];
    if (!m) return;
    m.list.hidden = false;
    m.button.setAttribute('aria-expanded', 'true');
    openMenu = { panel, index };
    if (focusFirst) {
      const first = menuEntries(panel, index).find(li => li.getAttribute('aria-disabled') !== 'true');
      if (first) first.focus();
    }
  }

  function pick(panel, li) {
    if (!li || li.getAttribute('aria-disabled') === 'true') return;
    closeMenu(true);
    plotx.post(panel.id, WM_COMMAND, +li.dataset.command, 0);
  }

  function moveFocus(panel, index, step) {
    const items = menuEntries(panel, index).filter(li => li.getAttribute('aria-disabled') !== 'true');
    if (items.length === 0) return;
    let at = items.indexOf(document.activeElement);
    if (step === 'first') at = 0;
    else if (step === 'last') at = items.length - 1;
    else at = at < 0 ? (step > 0 ? 0 : items.length - 1) : (at + step + items.length) % items.length;
    items[at].focus();
  }

  function buildMenuBar(panel, description) {
    const wasOpen = openMenu && openMenu.panel === panel ? openMenu.index : -1;
    const focusedCommand = document.activeElement && panel.bar.contains(document.activeElement)
      ? document.activeElement.dataset.command : undefined;
    if (wasOpen >= 0) openMenu = null;
    panel.bar.textContent = '';
    panel.menus = [];
    const popups = parseMenu(description);
    panel.bar.hidden = popups.length === 0;
    popups.forEach((popup, index) => {
      if (popup.kind !== 'P') return;
      const holder = document.createElement('div');
      const button = document.createElement('button');
      button.type = 'button';
      button.setAttribute('role', 'menuitem');
      button.setAttribute('aria-haspopup', 'menu');
      button.setAttribute('aria-expanded', 'false');
      const title = labelParts(popup.text);
      button.appendChild(title.frag);
      const list = document.createElement('ul');
      list.className = 'menu';
      list.setAttribute('role', 'menu');
      list.setAttribute('aria-label', title.plain);
      list.hidden = true;
      const mnemonics = new Map();
      const addItems = (list, items) => { for (const item of items) {
        const li = document.createElement('li');
        if (item.kind === 'P') {
          // A nested popup: its title, then its entries indented under it.
          const inner = labelParts(item.text);
          li.setAttribute('role', 'none');
          li.className = 'submenu';
          const heading = document.createElement('span');
          heading.className = 'label';
          heading.appendChild(inner.frag);
          const sub = document.createElement('ul');
          sub.setAttribute('role', 'group');
          sub.setAttribute('aria-label', inner.plain);
          li.append(heading, sub);
          list.appendChild(li);
          addItems(sub, item.items);
          continue;
        }
        if (item.kind === 'S') {
          li.setAttribute('role', 'separator');
          list.appendChild(li);
          continue;
        }
        const parts = labelParts(item.text);
        const checked = (item.flags & MF_CHECKED) !== 0;
        // An entry once seen checked is a check box from then on, with its state spoken.
        if (checked) panel.checkable.add(item.id);
        const checkbox = panel.checkable.has(item.id);
        li.setAttribute('role', checkbox ? 'menuitemcheckbox' : 'menuitem');
        if (checkbox) li.setAttribute('aria-checked', String(checked));
        li.tabIndex = -1;
        li.dataset.command = String(item.id);
        if (!enabled(item)) li.setAttribute('aria-disabled', 'true');
        const mark = document.createElement('span');
        mark.className = 'mark';
        mark.textContent = checked ? '\u2713' : '';
        const label = document.createElement('span');
        label.className = 'label';
        label.appendChild(parts.frag);
        const key = document.createElement('span');
        key.className = 'key';
        key.textContent = parts.key;
        if (parts.key) li.setAttribute('aria-keyshortcuts', parts.key.replace('Ctrl', 'Control'));
        li.append(mark, label, key);
        if (parts.mnemonic && enabled(item) && !mnemonics.has(parts.mnemonic)) mnemonics.set(parts.mnemonic, li);
        li.addEventListener('click', () => pick(panel, li));
        li.addEventListener('mousemove', () => { if (enabled(item)) li.focus(); });
        list.appendChild(li);
      } };
      addItems(list, popup.items);
      button.addEventListener('mousedown', e => {
        e.preventDefault();  // keeps the focus where it is until a pick
        if (openMenu && openMenu.panel === panel && openMenu.index === index) closeMenu(false);
        else showMenu(panel, index, false);
      });
      button.addEventListener('click', e => {
        if (e.detail === 0) showMenu(panel, index, true);  // Enter or Space on the button
      });
      button.addEventListener('keydown', e => {
        if (e.key === 'ArrowDown' || e.key === 'ArrowUp') {
          e.preventDefault();
          showMenu(panel, index, true);
        } else if (e.key === 'Escape') {
          e.preventDefault();
          panel.canvas.focus();
        } else if (e.key === 'ArrowLeft' || e.key === 'ArrowRight') {
          e.preventDefault();
          const n = panel.menus.length;
          panel.menus[(index + (e.key === 'ArrowRight' ? 1 : n - 1)) % n].button.focus();
        }
      });
      list.addEventListener('keydown', e => {
        e.stopPropagation();
        if (e.key === 'ArrowDown') moveFocus(panel, index, 1);
        else if (e.key === 'ArrowUp') moveFocus(panel, index, -1);
        else if (e.key === 'Home') moveFocus(panel, index, 'first');
        else if (e.key === 'End') moveFocus(panel, index, 'last');
        else if (e.key === 'ArrowLeft' || e.key === 'ArrowRight') {
          const n = panel.menus.length;
          showMenu(panel, (index + (e.key === 'ArrowRight' ? 1 : n - 1)) % n, true);
        }
        else if (e.key === 'Enter' || e.key === ' ') pick(panel, document.activeElement);
        else if (e.key === 'Escape') closeMenu('bar');
        else if (e.key === 'Tab') { closeMenu(false); return; }
        else if (!e.ctrlKey && !e.altKey && mnemonics.has(e.key.toLowerCase())) pick(panel, mnemonics.get(e.key.toLowerCase()));
        else if (e.ctrlKey && /^Key[A-Z]$/.test(e.code)) {
          // A shortcut pressed with the menu open: it goes to the program as usual.
          closeMenu(true);
          panel.canvas.dispatchEvent(new KeyboardEvent('keydown', e));
        } else return;
        e.preventDefault();
      });
      holder.append(button, list);
      panel.bar.appendChild(holder);
      panel.menus.push({ button, list, mnemonic: title.mnemonic });
    });
    if (wasOpen >= 0 && panel.menus[wasOpen]) {
      showMenu(panel, wasOpen, false);
      const again = focusedCommand && panel.bar.querySelector(`li[data-command="${focusedCommand}"]`);
      if (again) again.focus();
    }
  }

  // An open menu closes as menus do: a press outside it, or Escape, closes it and goes no
  // further (the canvas's own pointer handling would otherwise take the press as the
  // program's). Captured on the document, ahead of every element's handlers.
  let swallowRelease = false;
  document.addEventListener('pointerdown', e => {
    if (!openMenu || openMenu.panel.bar.contains(e.target)) return;
    closeMenu(false);
    swallowRelease = true;
    e.preventDefault();
    e.stopPropagation();
  }, true);
  document.addEventListener('pointerup', e => {
    if (!swallowRelease) return;
    swallowRelease = false;
    e.preventDefault();
    e.stopPropagation();
  }, true);
  document.addEventListener('keydown', e => {
    if (!openMenu || e.key !== 'Escape') return;
    const inList = openMenu.panel.bar.contains(document.activeElement);
    if (inList) return;  // the menu's own keys close it and put the focus back
    closeMenu(true);
    e.preventDefault();
    e.stopPropagation();
  }, true);

  // --- Windows ----------------------------------------------------------------------------
  function windowCreated(id, title, hasMenu, sizable) {
    const root = document.createElement('section');
    root.className = 'window';
    root.dataset.title = title;
    root.setAttribute('aria-label', title);
    root.hidden = true;
    const head = document.createElement('div');
    head.className = 'title';
    const name = document.createElement('span');
    name.textContent = title;
    const close = document.createElement('button');
    close.type = 'button';
    close.textContent = '\u00d7';
    close.title = 'Close';
    close.setAttribute('aria-label', 'Close ' + title);
    close.addEventListener('click', () => plotx.post(id, WM_CLOSE, 0, 0));
    head.append(name, close);
    const bar = document.createElement('div');
    bar.className = 'menubar';
    bar.setAttribute('role', 'menubar');
    bar.setAttribute('aria-label', title + ' menu');
    bar.hidden = !hasMenu;
    const canvas = document.createElement('canvas');
    canvas.width = 0;
    canvas.height = 0;
    canvas.tabIndex = 0;
    canvas.setAttribute('role', 'img');
    canvas.setAttribute('aria-label', title);
    // The client area: a frame the visitor can resize when the window is sizable.
    const client = document.createElement('div');
    client.className = 'client';
    client.appendChild(canvas);
    root.append(head, bar, client);
    desk.appendChild(root);
    const panel = { id, title, root, bar, canvas, client, ctx: canvas.getContext('2d'), menus: [], checkable: new Set(),
      sizable, words: '', wordsAt: -Infinity, wordsTimer: null, lines: null };
    windows.set(id, panel);
    if (sizable) makeResizable(panel);

    // Client pixel of a pointer event, as the low and high words of lParam (signed).
    const where = e => {
      const r = canvas.getBoundingClientRect();
      const x = Math.floor((e.clientX - r.left) * canvas.width / (r.width || 1));
      const y = Math.floor((e.clientY - r.top) * canvas.height / (r.height || 1));
      return { x, y, lp: (x & 0xFFFF) | ((y & 0xFFFF) << 16) };
    };
    canvas.addEventListener('pointerdown', e => {
      if (e.button > 2) return;
      canvas.focus();
      e.preventDefault();
      canvas.setPointerCapture(e.pointerId);  // the release arrives even outside the canvas
      plotx.post(id, BUTTON_DOWN[e.button], mouseState(e), where(e).lp);
    });
    canvas.addEventListener('pointerup', e => {
      if (e.button > 2) return;
      plotx.post(id, BUTTON_UP[e.button], mouseState(e), where(e).lp);
    });
    canvas.addEventListener('pointermove', e => plotx.post(id, WM_MOUSEMOVE, mouseState(e), where(e).lp));
    canvas.addEventListener('pointerleave', e => {
      // One position outside the client area as the pointer leaves it.
      let { x, y } = where(e);
      if (x >= 0 && y >= 0 && x < canvas.width && y < canvas.height) x = -1;
      plotx.post(id, WM_MOUSEMOVE, mouseState(e), (x & 0xFFFF) | ((y & 0xFFFF) << 16));
    });
    canvas.addEventListener('contextmenu', e => e.preventDefault());  // the right button is the program's
    canvas.addEventListener('wheel', e => {
      e.preventDefault();
      // Notches of 120, positive away from the user, from pixels (about 100 a notch), lines
      // (3 a notch) or pages.
      const perUnit = [WHEEL_DELTA / 100, WHEEL_DELTA / 3, WHEEL_DELTA][e.deltaMode] || 1;
      const turn = Math.max(-32768, Math.min(32767, Math.round(-e.deltaY * perUnit)));
      if (turn !== 0) plotx.post(id, WM_MOUSEWHEEL, (mouseState(e) & 0xFFFF) | ((turn & 0xFFFF) << 16), where(e).lp);
    }, { passive: false });
    canvas.addEventListener('keydown', e => {
      // Alt with a menu's mnemonic, or F10, opens the menu bar from the keyboard.
      if ((e.altKey && !e.ctrlKey) || e.key === 'F10') {
        const i = e.key === 'F10' ? 0 : panel.menus.findIndex(m => m.mnemonic === e.key.toLowerCase());
        if (i >= 0 && panel.menus[i]) {
          e.preventDefault();
          showMenu(panel, i, true);
          return;
        }
      }
      if (e.key === 'Tab') return;  // the page's own focus movement
      // Control-letter shortcuts are the program's; the browser keeps only those it reserves.
      e.preventDefault();
      const system = e.altKey || e.key === 'Alt';
      plotx.post(id, system ? WM_SYSKEYDOWN : WM_KEYDOWN, keyCode(e), keyLParam(system ? 0 : typedByte(e), e, false));
    });
    canvas.addEventListener('keyup', e => {
      if (e.key === 'Tab') return;
      e.preventDefault();
      const system = e.altKey || e.key === 'Alt';
      plotx.post(id, system ? WM_SYSKEYUP : WM_KEYUP, keyCode(e), keyLParam(0, e, true));
    });
    canvas.addEventListener('blur', () => plotx.post(id, WM_KILLFOCUS, 0, 0));
  }

  function windowShown(id, shown) {
    const panel = windows.get(id);
    if (panel) panel.root.hidden = !shown;
  }

  function windowDestroyed(id) {
    const panel = windows.get(id);
    if (!panel) return;
    if (openMenu && openMenu.panel === panel) openMenu = null;
    if (panel.wordsTimer !== null) clearTimeout(panel.wordsTimer);
    panel.root.remove();
    windows.delete(id);
  }

  function present(id, rgba, width, height) {
    const panel = windows.get(id);
    if (!panel) return;
    const c = panel.canvas;
    if (c.width !== width || c.height !== height) {
      c.width = width;
      c.height = height;
      fitPanel(panel);
    }
    panel.ctx.putImageData(new ImageData(new Uint8ClampedArray(rgba.buffer, rgba.byteOffset, rgba.length), width, height), 0, 0);
    if (plotx.firstFrame === null) {
      plotx.firstFrame = performance.now();
      setStatus('Running. Click the picture to give it the keyboard.');
    }
  }

  function setMenu(id, description) {
    const panel = windows.get(id);
    if (!panel) return;
    buildMenuBar(panel, description);
    playbackShown(panel);
  }

  // --- Scale -------------------------------------------------------------------------------
  // Each canvas pixel is shown as a crisp block of s x s device pixels, s a whole number: the
  // screen's pixel ratio rounded as the desktop rounds its DPI (a half up: 125 % gives 1,
  // 150 % gives 2), 1..4, or PLOTX_SCALE=1..4 from the URL. The canvas keeps the program's
  // pixels; the browser enlarges it (pixelated) to s / ratio CSS pixels a pixel.
  function pageScale() {
    const asked = new URLSearchParams(location.search).get('PLOTX_SCALE');
    if (/^[1-4]$/.test(asked || '')) return +asked;
    return Math.min(4, Math.max(1, Math.floor((window.devicePixelRatio || 1) + 0.5)));
  }
  let scale = pageScale();
  const cssPixels = n => n * scale / (window.devicePixelRatio || 1);

  function fitPanel(panel) {
    const c = panel.canvas;
    c.style.width = cssPixels(c.width) + 'px';
    c.style.height = cssPixels(c.height) + 'px';
    // A size the visitor gave stays as given; any other follows the program's.
    const asked = panel.asked;
    if (!asked || asked.w !== c.width || asked.h !== c.height) {
      panel.client.style.width = c.style.width;
      panel.client.style.height = c.style.height;
    }
  }
  // A zoom or a move to another screen changes the ratio: every panel is laid out again.
  window.addEventListener('resize', () => {
    const now = pageScale();
    const ratio = window.devicePixelRatio || 1;
    if (now === scale && ratio === plotx.ratio) return;
    scale = now;
    plotx.ratio = ratio;
    for (const panel of windows.values()) { panel.asked = null; fitPanel(panel); setMinimum(panel); }
  });
  plotx.ratio = window.devicePixelRatio || 1;

  // --- Resizing ------------------------------------------------------------------------------
  // A sizable window's panel has a resize handle (its frame's corner); the size the visitor
  // drags it to goes to the program as the new client size, in client pixels, as a desktop
  // window manager's does. The program repaints at that size.
  const MIN_CLIENT_W = 120, MIN_CLIENT_H = 40;
  function setMinimum(panel) {
    if (!panel.sizable) return;
    panel.client.style.minWidth = cssPixels(MIN_CLIENT_W) + 'px';
    panel.client.style.minHeight = cssPixels(MIN_CLIENT_H) + 'px';
  }
  function makeResizable(panel) {
    panel.client.classList.add('sizable');
    setMinimum(panel);
    let pending = false;
    new ResizeObserver(() => {
      if (pending) return;
      pending = true;
      requestAnimationFrame(() => {
        pending = false;
        const box = panel.client.getBoundingClientRect();
        const w = Math.max(MIN_CLIENT_W, Math.round(box.width / cssPixels(1)));
        const h = Math.max(MIN_CLIENT_H, Math.round(box.height / cssPixels(1)));
        if (w === panel.canvas.width && h === panel.canvas.height) return;
        panel.asked = { w, h };
        plotx.post(panel.id, WM_SIZE, 0, (w & 0xFFFF) | ((h & 0xFFFF) << 16));
      });
    }).observe(panel.client);
  }

  // --- In words ------------------------------------------------------------------------------
  // The log's lines, also in a polite live region (as many as the log keeps), so a screen
  // reader reads each new line; and the canvas's text alternative: what the program drew on
  // it, as the backend sums it up, changed at most once a second.
  const LOG_LINES = 25;
  function logLine(id, text) {
    const panel = windows.get(id);
    if (!panel) return;
    if (!panel.lines) {
      panel.lines = document.createElement('div');
      panel.lines.className = 'visually-hidden';
      panel.lines.setAttribute('role', 'log');
      panel.lines.setAttribute('aria-live', 'polite');
      panel.lines.setAttribute('aria-label', panel.title + ' lines');
      panel.root.appendChild(panel.lines);
    }
    const line = document.createElement('div');
    line.textContent = text;
    panel.lines.appendChild(line);
    while (panel.lines.childElementCount > LOG_LINES) panel.lines.firstElementChild.remove();
  }

  const WORDS_MS = 1000;
  function describe(id, text) {
    const panel = windows.get(id);
    if (!panel) return;
    panel.words = text;
    if (panel.wordsTimer !== null) return;
    const apply = () => {
      panel.wordsTimer = null;
      panel.wordsAt = performance.now();
      panel.canvas.setAttribute('aria-label', panel.title + ': ' + panel.words);
    };
    const wait = panel.wordsAt + WORDS_MS - performance.now();
    if (wait <= 0) apply();
    else panel.wordsTimer = setTimeout(apply, wait);
  }

  Object.assign(plotx, { setConstants, windowCreated, windowShown, windowDestroyed, present, setMenu, logLine, describe });

  // --- Files ------------------------------------------------------------------------------
  let syncTimer = null;
  function persist() {
    if (syncTimer !== null) clearTimeout(syncTimer);
    syncTimer = setTimeout(() => {
      syncTimer = null;
      FS.syncfs(false, err => { if (err) console.warn('plotx: could not store files in the browser:', err); });
    }, 300);
  }

  function offerDownload(path, type) {
    const name = path.slice(path.lastIndexOf('/') + 1);
    let data;
    try { data = FS.readFile(path); } catch (e) { return false; }
    const url = URL.createObjectURL(new Blob([data], { type }));
    const a = document.createElement('a');
    a.href = url;
    a.download = name;
    document.body.appendChild(a);
    a.click();
    a.remove();
    setTimeout(() => URL.revokeObjectURL(url), 10000);
    return true;
  }

  function offerPicture(path) {
    const name = path.slice(path.lastIndexOf('/') + 1);
    let li = Array.from(pictures.children).find(x => x.dataset.path === path);
    if (!li) {
      li = document.createElement('li');
      li.dataset.path = path;
      const b = document.createElement('button');
      b.type = 'button';
      b.textContent = 'Download ' + name;
      b.addEventListener('click', () => offerDownload(path, /\.gif$/i.test(path) ? 'image/gif' : 'image/png'));
      li.appendChild(b);
      pictures.appendChild(li);
    }
    li.querySelector('button').title = 'Saved ' + new Date().toLocaleTimeString();
  }

  // Files the program writes: stored in the browser once written; pictures offered: the PNGs
  // PLOTX_save_canvas writes, and each GIF a capture finishes (offered when it is closed).
  const PICTURE = /\.(png|gif)$/i;
  function watchFiles() {
    const close = FS.close, rename = FS.rename, write = FS.write;
    FS.close = function (stream) {
      const path = stream && stream.path;
      const r = close.apply(this, arguments);
      if (path && path.startsWith(HOME)) {
        persist();
        if (PICTURE.test(path)) offerPicture(path);
      }
      return r;
    };
    FS.rename = function (from, to) {
      const r = rename.apply(this, arguments);
      persist();
      if (PICTURE.test(to)) offerPicture(FS.lookupPath(to).path);
      return r;
    };
    FS.write = function (stream) {
      const r = write.apply(this, arguments);
      if (stream && stream.path && stream.path.startsWith(HOME)) persist();
      return r;
    };
  }

  document.getElementById('download-script').addEventListener('click', () => {
    filesNote.textContent = offerDownload(SCRIPT, 'text/plain') ? ''
      : 'There is no PLOTX.SCR yet: record one with Run > Record Script (Ctrl+R).';
  });
  document.getElementById('load-script').addEventListener('change', async e => {
    const file = e.target.files[0];
    if (!file) return;
    const bytes = new Uint8Array(await file.arrayBuffer());
    FS.writeFile(SCRIPT, bytes);
    persist();
    filesNote.textContent = `${file.name} is now PLOTX.SCR: play it with Run > Playback Script (Ctrl+P).`;
    e.target.value = '';
  });
  window.addEventListener('pagehide', () => { if (typeof FS !== 'undefined') FS.syncfs(false, () => {}); });

  // --- A run as a link -----------------------------------------------------------------------
  // ?script=NAME loads a script kept beside the page as PLOTX.SCR; with &playback=1 (or
  // PLOTX_PLAYBACK=1) the program plays it from its start (the Run menu's Playback, switched
  // on at the start) and the visitor takes over at its end. Only a file beside the page (or in
  // a folder under it) is fetched: a link never makes the page load from elsewhere.
  const playbackBox = document.getElementById('playback');
  const playbackStatus = document.getElementById('playback-status');
  const stopButton = document.getElementById('stop-playback');
  let scriptName = 'PLOTX.SCR';  // what the status line calls the script playing
  let playbackSeen = false;

  // The URL of a script named in the page's link, or the reason it is refused.
  function scriptUrl(name) {
    const plain = /^[A-Za-z0-9_][A-Za-z0-9._-]*(\/[A-Za-z0-9_][A-Za-z0-9._-]*)*$/;
    if (!plain.test(name) || name.split('/').some(part => part === '..' || part === '.'))
      return { reason: 'only a file beside this page can be loaded (a name such as crush.scr, no address of another site)' };
    const url = new URL(name, location.href);
    const here = new URL('.', location.href);
    if (url.origin !== location.origin || !url.pathname.startsWith(here.pathname))
      return { reason: 'only a file beside this page can be loaded' };
    return { url };
  }

  function showScriptProblem(text) {
    playbackBox.classList.add('problem');
    playbackStatus.textContent = text;
  }

  // Starts fetching the linked script; the promise gives its bytes, or null after saying why.
  function fetchLinkedScript(name) {
    const { url, reason } = scriptUrl(name);
    if (!url) {
      showScriptProblem(`The script "${name}" was not loaded: ${reason}. The program runs without it.`);
      return Promise.resolve(null);
    }
    return fetch(url, { credentials: 'same-origin', redirect: 'error' })
      .then(r => {
        if (!r.ok) throw new Error(`the server answered ${r.status}${r.statusText ? ' ' + r.statusText : ''}`);
        return r.arrayBuffer();
      })
      .then(b => new Uint8Array(b))
      .catch(e => {
        const why = e instanceof TypeError ? 'it could not be fetched (' + e.message + ')' : e.message;
        showScriptProblem(`The script ${url.href} could not be loaded: ${why}. The program runs without it.`);
        return null;
      });
  }

  // The fetched script becomes PLOTX.SCR; a different PLOTX.SCR the visitor had is kept aside.
  function installLinkedScript(name, bytes) {
    let own = null;
    try { own = FS.readFile(SCRIPT); } catch (e) { /* none yet */ }
    const same = own && own.length === bytes.length && own.every((b, i) => b === bytes[i]);
    filesNote.textContent = `${name} is now PLOTX.SCR: play it with Run > Playback Script (Ctrl+P).`;
    if (own && !same) {
      FS.writeFile(SCRIPT + '.saved', own);
      filesNote.textContent = `Your own PLOTX.SCR was kept as PLOTX.SCR.saved; ${name} is now PLOTX.SCR.`;
    }
    FS.writeFile(SCRIPT, bytes);
    persist();
  }

  // The Run menu's Playback entry (the one with Ctrl+P) shows whether a script plays.
  function playbackEntry(panel) { return panel.bar.querySelector('li[aria-keyshortcuts="Control+P"]'); }

  function playbackShown(panel) {
    const li = playbackEntry(panel);
    if (!li) return;
    const playing = li.getAttribute('aria-checked') === 'true';
    stopButton.hidden = !playing;
    stopButton.dataset.window = panel.id;
    if (playing) {
      playbackSeen = true;
      playbackBox.classList.remove('problem');
      playbackStatus.textContent = `Playing the script ${scriptName}: the program takes its input from it.`;
    } else if (playbackSeen) {
      playbackSeen = false;
      playbackStatus.textContent = `The script ${scriptName} has stopped: the program is yours (Ctrl+A animates).`;
      scriptName = 'PLOTX.SCR';  // what a later playback plays, whatever the link brought
    }
  }

  // Stopping is switching Playback off, as Ctrl+P does.
  stopButton.addEventListener('click', () => {
    const panel = windows.get(+stopButton.dataset.window);
    const li = panel && playbackEntry(panel);
    if (li && li.getAttribute('aria-checked') === 'true') plotx.post(panel.id, WM_COMMAND, +li.dataset.command, 0);
    if (panel) panel.canvas.focus();  // the button goes: the keyboard goes to the program it handed over
  });

  // --- The program ------------------------------------------------------------------------
  // URL parameters: ?seed=n (PLOTX_SEED), ?echo=1 (log lines echoed to the console), and any
  // PLOTX_NAME=value as that environment variable.
  const params = new URLSearchParams(location.search);
  const env = {};
  for (const [k, v] of params) if (/^PLOTX_[A-Z_]+$/.test(k)) env[k] = v;
  if (params.has('seed')) env.PLOTX_SEED = params.get('seed');
  if (params.has('echo')) env.PLOTX_LOG_ECHO = params.get('echo') === '0' ? '0' : '1';
  if (params.has('playback')) env.PLOTX_PLAYBACK = params.get('playback') === '1' ? '1' : '0';
  const linked = params.has('script') ? params.get('script') : null;
  if (linked !== null) scriptName = linked;
  const linkedBytes = linked !== null ? fetchLinkedScript(linked) : null;

  window.Module = {
    plotx,
    print: text => console.log(text),
    printErr: text => console.warn(text),
    // Before the runtime waits for its code: reading the stored files overlaps the download
    // and compilation of the WebAssembly instead of following it.
    preInit: [() => {
      Object.assign(ENV, env);
      FS.mkdir(HOME);
      FS.mount(IDBFS, {}, HOME);
      FS.chdir(HOME);
      addRunDependency('plotx-storage');
      FS.syncfs(true, async err => {
        if (err) console.warn('plotx: browser storage is not available; files last until the page closes:', err);
        // A linked script goes in after the stored files came back, which it replaces.
        if (linkedBytes) {
          const bytes = await linkedBytes;
          if (bytes) installLinkedScript(linked, bytes);
          else delete ENV.PLOTX_PLAYBACK;  // nothing of the link's to play
        }
        removeRunDependency('plotx-storage');
      });
      watchFiles();
    }],
    postRun: [() => {
      // A program that waited returned from main to the page at its first wait; it really
      // returns only after the page resumed it for the last time: end the runtime then.
      if (typeof Asyncify !== 'undefined' && Asyncify.currData) {
        Asyncify.whenDone().then(status => {
          try { exit(status); } catch (e) { /* the exit unwinds by throwing */ }
        });
      }
    }],
    onExit: status => {
      closeMenu(false);
      document.body.classList.add('ended');
      setStatus(`The program has ended (exit status ${status}). Reload the page to run it again.`);
      FS.syncfs(false, () => {});
    },
    onAbort: what => {
      document.body.classList.add('ended');
      setStatus('The program stopped with an error: ' + what);
    },
  };
})();
