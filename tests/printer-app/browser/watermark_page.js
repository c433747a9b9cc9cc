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
const fs = require('fs');
const { run } = require('./cdp.js');

const [chromium, base, password, text, pictureFile] = process.argv.slice(2);
let until, evaluate, load, send;

async function fill(fields) {
  for (const [name, value] of Object.entries(fields)) {
    await evaluate(`(() => { const e = document.querySelector('[name="${name}"]');
      if (e.type === 'checkbox') e.checked = ${JSON.stringify(value)}; else e.value = ${JSON.stringify(value)};
      e.dispatchEvent(new Event('input', { bubbles: true })); })()`);
  }
}

const submit = (field) =>
  evaluate(`document.querySelector('[name="${field}"]').form.submit()`);

run(chromium, async (browser) => {
  ({ until, evaluate, load, send } = browser);

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
});
