// Loads pages in headless Chromium and gives the text each shows.
//
//   node page_text.js CHROMIUM URL...
//
// Prints one line of JSON: {"ok":true,"texts":["...",...]} or
// {"ok":false,"error":"..."}.
'use strict';
const { run } = require('./cdp.js');

const [chromium, ...urls] = process.argv.slice(2);
run(chromium, async (browser) => {
  const texts = [];
  for (const url of urls) {
    await browser.navigate(url);
    texts.push(await browser.evaluate('document.body.innerText'));
  }
  return { texts };
});
