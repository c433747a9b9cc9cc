// Drives the app's web pages in headless Chromium, over the DevTools
// protocol on a pipe (no package needed), as an administrator does: signs
// in when the browser is asked to (HTTP Basic, answered through the
// protocol as a user answers the browser's dialog), changes the password
// the server made at its first start on the Security page, then on the
// Watermarks page sees the Add form's picture, finds the number fields
// limited by the browser, adds a watermark text, waits for its picture and
// saves it, and changes an existing text through its Change link.
//
//   node watermark_page.js CHROMIUM BASE-URL FIRST-PASSWORD PASSWORD TEXT PICTURE-FILE
//
// Prints one line of JSON: {"ok":true} or {"ok":false,"error":"..."}; the
// picture the page showed goes to PICTURE-FILE.
'use strict';
const fs = require('fs');
const { run, sleep } = require('./cdp.js');

const [chromium, base, firstPassword, password, text, pictureFile] = process.argv.slice(2);
let signIn = firstPassword;  // what the administrator types when asked

// Every request is let through; a request for credentials is answered.
function onEvent(message, send) {
  const p = message.params;
  if (message.method === 'Fetch.requestPaused') {
    send('Fetch.continueRequest', { requestId: p.requestId }).catch(() => {});
  } else if (message.method === 'Fetch.authRequired') {
    send('Fetch.continueWithAuth', { requestId: p.requestId, authChallengeResponse: {
      response: 'ProvideCredentials', username: 'admin', password: signIn } }).catch(() => {});
  }
}

run(chromium, async ({ send, evaluate, until, load }) => {
  const fill = async (fields) => {
    for (const [name, value] of Object.entries(fields)) {
      await evaluate(`(() => { const e = document.querySelector('[name="${name}"]');
        if (e.type === 'checkbox') e.checked = ${JSON.stringify(value)}; else e.value = ${JSON.stringify(value)};
        e.dispatchEvent(new Event('input', { bubbles: true })); })()`);
    }
  };
  const submit = (field) =>
    evaluate(`document.querySelector('[name="${field}"]').form.submit()`);
  const status = () => evaluate('(document.getElementById("status") || {}).textContent');

  await send('Fetch.enable', { handleAuthRequests: true, patterns: [{ urlPattern: '*' }] });

  // The password the server made, changed on the Security page.
  await load(() => send('Page.navigate', { url: base + '/security' }));
  await fill({ old_password: firstPassword, new_password: password, new_password2: password });
  await load(() => submit('new_password'));
  if ((await status()) !== 'Password changed.') throw new Error('password not changed: ' + (await status()));
  signIn = password;

  // The top bar is a menu, not one word that reads as the title.
  await load(() => send('Page.navigate', { url: base + '/watermarks' }));
  const menu = await evaluate(`[...document.querySelectorAll('.header .nav a.btn, .header .nav span.active')]
      .map((a) => a.textContent.trim()).filter((t) => t)`);
  if (menu.length < 3 || !menu.includes('Watermarks')) throw new Error('top bar: ' + JSON.stringify(menu));

  // The Add form shows a page before anything is typed.
  await until(`(() => { const i = document.getElementById('preview');
      return i.complete && i.naturalWidth > 0; })()`, 'the Add form\'s picture');

  // Every number field has limits the browser holds to: a value beyond
  // one is invalid, and the form is not sent.
  const numbers = await evaluate(`(() => {
      const form = document.querySelector('input[name=action][value=save]').form;
      const out = [];
      for (const e of form.querySelectorAll('input[type=number]')) {
        const before = e.value;
        e.value = String(Number(e.max) + 1);
        const over = e.validity.rangeOverflow && !form.checkValidity();
        e.value = String(Number(e.min) - 1);
        const under = e.validity.rangeUnderflow && !form.checkValidity();
        e.value = before;
        out.push(e.name + (e.min !== '' && e.max !== '' && over && under ? ':held' : ':free'));
      }
      return out; })()`);
  if (numbers.length < 6 || numbers.some((n) => n.endsWith(':free'))) {
    throw new Error('number fields: ' + JSON.stringify(numbers));
  }
  await fill({ height: '5000' });
  await evaluate(`window.__kept = true; document.querySelector('[name="text"]').form.requestSubmit()`);
  await sleep(500);
  if (!(await evaluate('window.__kept === true'))) throw new Error('a height of 5000 was sent');

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
  const listed = await evaluate(`[...document.querySelectorAll('td.text')].map((t) => t.textContent)`);
  if ((await status()) !== 'Saved.' || !listed.includes(text)) {
    throw new Error('not saved: ' + (await status()) + ' / ' + JSON.stringify(listed));
  }

  // An existing text changed through its Change link.
  await load(() => evaluate(`[...document.querySelectorAll('#texts tr')]
      .find((r) => (r.querySelector('td.text') || {}).textContent === 'DRAFT')
      .querySelector('a.btn').click()`));
  const form = await evaluate(`[document.querySelector('h2.title').textContent,
      document.querySelector('[name="text"]').value]`);
  if (form[0] !== 'Change the watermark text' || form[1] !== 'DRAFT') {
    throw new Error('the Change link opened ' + JSON.stringify(form));
  }
  await fill({ angle: '300' });
  await load(() => submit('text'));
  const angle = await evaluate(`[...document.querySelectorAll('#texts tr')]
      .find((r) => (r.querySelector('td.text') || {}).textContent === 'DRAFT').cells[3].textContent`);
  if ((await status()) !== 'Saved.' || angle !== '30.0\u00b0') {
    throw new Error('DRAFT not changed: ' + (await status()) + ' / ' + angle);
  }
}, onEvent);
