// Headless Chromium driven over the DevTools protocol on a pipe (no package
// needed), for the browser tests: open() starts it on about:blank and
// attaches to its page; onEvent(message, send) gets the protocol's events.
'use strict';
const { spawn } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');

const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

async function open(chromium, onEvent = () => {}) {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'pclspool-chromium-'));
  const browser = spawn(chromium, [
    '--headless=new', '--remote-debugging-pipe', '--no-sandbox', '--disable-gpu',
    '--no-first-run', '--user-data-dir=' + profile, 'about:blank'],
    { stdio: ['ignore', 'ignore', 'pipe', 'pipe', 'pipe'] });
  browser.stderr.on('data', () => {});

  let nextId = 1;
  const waiting = new Map();
  let pending = Buffer.alloc(0);
  browser.stdio[4].on('data', (chunk) => {
    pending = Buffer.concat([pending, chunk]);
    for (let end; (end = pending.indexOf(0)) >= 0; pending = pending.subarray(end + 1)) {
      const message = JSON.parse(pending.subarray(0, end).toString());
      if (message.method) {
        onEvent(message, send);
        continue;
      }
      const w = waiting.get(message.id);
      if (!w) continue;
      waiting.delete(message.id);
      if (message.error) w.reject(new Error(JSON.stringify(message.error)));
      else w.resolve(message.result);
    }
  });

  let session = null;
  function send(method, params = {}) {
    const id = nextId++;
    const message = { id, method, params };
    if (session && !method.startsWith('Target.')) message.sessionId = session;
    browser.stdio[3].write(JSON.stringify(message) + '\0');
    return new Promise((resolve, reject) => waiting.set(id, { resolve, reject }));
  }
  async function evaluate(expression) {
    const r = await send('Runtime.evaluate', { expression, awaitPromise: true, returnByValue: true });
    if (r.exceptionDetails) throw new Error(expression + ': ' + JSON.stringify(r.exceptionDetails));
    return r.result.value;
  }
  async function until(expression, what, ms = 20000) {
    for (const end = Date.now() + ms; Date.now() < end; await sleep(100)) {
      try {
        if (await evaluate(expression)) return;
      } catch (e) { /* the page is being replaced */ }
    }
    throw new Error('timed out waiting for ' + what);
  }
  // Navigates, or submits a form, and waits for the new page.
  async function load(action) {
    await evaluate('window.__old = true');
    await action();
    await until('window.__old === undefined && document.readyState === "complete"', 'a new page');
  }
  const navigate = (url) => load(() => send('Page.navigate', { url }));
  // Its helpers may still write to the profile a moment after it is gone.
  async function close() {
    const gone = new Promise((r) => browser.once('exit', r));
    browser.kill('SIGKILL');
    await gone;
    fs.rmSync(profile, { recursive: true, force: true, maxRetries: 20, retryDelay: 100 });
  }

  const { targetInfos } = await send('Target.getTargets');
  const page = targetInfos.find((t) => t.type === 'page');
  session = (await send('Target.attachToTarget', { targetId: page.targetId, flatten: true })).sessionId;
  await send('Page.enable');
  return { send, evaluate, until, load, navigate, close };
}

// Runs `main(browser)` and prints one line of JSON: {"ok":true,...what it
// returned} or {"ok":false,"error":"..."}.
function run(chromium, main, onEvent) {
  let browser = null;
  open(chromium, onEvent).then(async (b) => { browser = b; return main(b); }).then((result) => {
    console.log(JSON.stringify({ ok: true, ...(result || {}) }));
  }, (e) => {
    console.log(JSON.stringify({ ok: false, error: e.message }));
  }).finally(async () => {
    if (browser) await browser.close().catch(() => {});
    process.exit(0);
  });
}

module.exports = { run, sleep };
