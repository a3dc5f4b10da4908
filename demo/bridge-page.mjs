// The demo's browser part: examples/reader-page-bridge.html in headless
// Chromium, reaching the control through the extension and qelt-bridge.exe
// under Wine. It reads the card, checks a PIN (right, then wrong) and
// validates the certificate, prints what the page shows and saves a
// screenshot. Run by tests/browser/run.sh --demo (tools/run-demo.sh does).
// Usage: node demo/bridge-page.mjs SCREENSHOT.png
import fs from "node:fs";
import path from "node:path";

import { Run } from "../tests/browser/harness.js";

const screenshot = path.resolve(process.argv[2] || "bridge-page.png");
const run = new Run();
let status = 0;
try {
  await run.setup();
  const chromium = await run.launch("chromium");
  const page = await chromium.open("allowed", "examples/reader-page-bridge.html");
  await page.setViewport({ width: 900, height: 420 });
  const log = () => page.$eval("#log", (element) => element.textContent);
  // Each button adds its lines to the page's log.
  const press = async (button, lines) => {
    const before = (await log()).split("\n").length;
    await page.click("#" + button);
    await page.waitForFunction((n) => document.getElementById("log").textContent.split("\n").length >= n,
                               { timeout: 30000 }, before + lines);
  };
  await press("readCard", 7);
  await page.type("#pin", "1234");
  await press("checkPin", 1);
  await page.$eval("#pin", (pin) => { pin.value = "0000"; });
  await press("checkPin", 1);
  await press("checkXKMS", 1);
  await press("showProxy", 1);
  console.log(`The page ${page.url()} in ${await chromium.browser.version()}, showing:`);
  for (const line of (await log()).trimEnd().split("\n")) console.log("  " + line);
  fs.mkdirSync(path.dirname(screenshot), { recursive: true });
  await page.screenshot({ path: screenshot, fullPage: true });
  console.log(`Screenshot: ${screenshot}`);
} catch (e) {
  console.error(`bridge demo: ${e.stack || e}`);
  status = 1;
} finally {
  await run.cleanup();
}
process.exit(status);
