// Firefox ESR for engines.py, driven by puppeteer-core over WebDriver
// BiDi: one JSON command a line on stdin ({"command", "argument"}), one JSON
// answer a line on stdout ({"value"} or {"error"}). Windowed, for WebGL on
// Mesa. It plays through PulseAudio where PULSE_SERVER names a server (a null
// sink keeps real time), else through the mock audio context, whose clock
// falls behind on a busy machine.
'use strict';
const puppeteer = require('puppeteer-core');
const readline = require('readline');

async function main() {
  const browser = await puppeteer.launch({
    browser: 'firefox',
    executablePath: '/usr/bin/firefox-esr',
    headless: false,
    extraPrefsFirefox: Object.assign({'webgl.force-enabled': true},
                                     process.env.PULSE_SERVER ? {} : {'media.cubeb.force_mock_context': true}),
  });
  const page = (await browser.pages())[0];
  await page.setViewport({width: 480, height: 360});
  let other = null;
  const commands = {
    get: url => page.goto(url).then(() => null),
    script: body => page.evaluate(`(() => {${body}})()`),
    click: () => page.click('#message'),
    press: key => page.keyboard.press(key),
    hide: async () => { other = await browser.newPage(); await other.bringToFront(); },
    show: async () => { await other.close(); await page.bringToFront(); },
    screenshot: path => page.screenshot({path: path}).then(() => null),
  };
  for await (const line of readline.createInterface({input: process.stdin})) {
    const {command, argument} = JSON.parse(line);
    const answer = await Promise.resolve().then(() => commands[command](argument))
        .then(value => ({value: value}), error => ({error: String(error)}));
    process.stdout.write(JSON.stringify(answer) + '\n');
  }
  await browser.close();
}

main().catch(error => {
  console.error(error);
  process.exit(1);
});
