// Loads pages in headless Chromium and gives the text each shows.
//
//   node page_text.js CHROMIUM URL...
//
// Prints each page's text, then one line of JSON: {"ok":true} or
// {"ok":false,"error":"..."}.
'use strict';
const { run } = require('./cdp.js');

const [chromium, ...urls] = process.argv.slice(2);
run(chromium, async (browser) => {
  for (const url of urls) {
    await browser.navigate(url);
    console.log(await browser.evaluate('document.body.innerText'));
  }
});
