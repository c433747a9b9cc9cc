// Drives the app's web pages in headless Chromium, over the DevTools
// protocol on a pipe (no package needed): sets the administrator password
// on PAPPL's Security page, logs in on the Watermarks page, adds a
// watermark text, waits for its picture and saves it.
//
//   node watermark_page.js CHROMIUM BASE-URL PASSWORD TEXT PICTURE-FILE
//
// Prints one line of JSON: {"ok":true} or {"ok":false,"error":"..."}; the
// picture the page showed goes to PICTURE-FILE.
'use strict';
const { spawn } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');

const [chromium, base, password, text, pictureFile] = process.argv.slice(2);
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

const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

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

async function fill(fields) {
  for (const [name, value] of Object.entries(fields)) {
    await evaluate(`(() => { const e = document.querySelector('[name="${name}"]');
      if (e.type === 'checkbox') e.checked = ${JSON.stringify(value)}; else e.value = ${JSON.stringify(value)};
      e.dispatchEvent(new Event('input', { bubbles: true })); })()`);
  }
}

const submit = (field) =>
  evaluate(`document.querySelector('[name="${field}"]').form.submit()`);

async function main() {
  const { targetInfos } = await send('Target.getTargets');
  const page = targetInfos.find((t) => t.type === 'page');
  session = (await send('Target.attachToTarget', { targetId: page.targetId, flatten: true })).sessionId;
  await send('Page.enable');

  // The first password, while none is set: PAPPL's Security page.
  await load(() => send('Page.navigate', { url: base + '/security' }));
  await fill({ new_password: password, new_password2: password });
  await load(() => submit('new_password'));

  // The watermarks page now asks for it.
  await load(() => send('Page.navigate', { url: base + '/watermarks' }));
  if (!(await evaluate('!!document.querySelector(\'input[name="password"]\')'))) {
    throw new Error('no login form on the watermarks page');
  }
  await fill({ password });
  await load(() => submit('password'));
  if (!(await evaluate('!!document.querySelector(\'input[name="text"]\')'))) {
    throw new Error('no form to add a text after logging in');
  }

  // A new text; its picture follows the form.
  await fill({ text, face: 'Arial', height: '-110', angle: '450', weight: '700', dark: '6',
               centred: true });
  await until(`(() => { const i = document.getElementById('preview');
      return i.src.includes(${JSON.stringify(encodeURIComponent(text).replace(/%20/g, '+'))}) &&
             i.complete && i.naturalWidth > 0; })()`, 'the picture of the new text');
  const png = await evaluate(`(async () => {
      const r = await fetch(document.getElementById('preview').src);
      const bytes = new Uint8Array(await r.arrayBuffer());
      let s = ''; for (const b of bytes) s += String.fromCharCode(b);
      return btoa(s); })()`);
  fs.writeFileSync(pictureFile, Buffer.from(png, 'base64'));

  await load(() => submit('text'));
  const status = await evaluate('(document.getElementById("status") || {}).textContent');
  const listed = await evaluate(`[...document.querySelectorAll('td.text')].map((t) => t.textContent)`);
  if (status !== 'Saved.' || !listed.includes(text)) {
    throw new Error("not saved: " + status + " / " + JSON.stringify(listed) + " " + (await evaluate("document.body.innerText")).slice(0, 400));
  }
}

main().then(() => {
  console.log(JSON.stringify({ ok: true }));
}, (e) => {
  console.log(JSON.stringify({ ok: false, error: e.message }));
}).finally(() => {
  browser.kill('SIGKILL');
  fs.rmSync(profile, { recursive: true, force: true });
  process.exit(0);
});
