// Page-to-page round trips through the browser bridge (headless Chromium, the
// extension, the page library, qelt-bridge.exe under Wine) against an echo
// host behind the same browser, extension and library: warm ver, readCard
// plus the eleven card properties, and the cold start (Wine's server
// running, no host yet, the page loaded, until connect() resolves).
// Medians of interleaved rounds, three repetitions, the spread of the
// medians, and each ratio against its target. Run by benchmarks/browser/run.sh.
// Usage: node bridge-rounds.mjs ECHO_EXE [ROUNDS=200] [COLD_ROUNDS=200] [REPETITIONS=3]
import { Run } from "../../tests/browser/harness.js";

const [echoExe, rounds = "200", coldRounds = "200", repetitions = "3"] = process.argv.slice(2);
const ROUNDS = Number(rounds), COLD = Number(coldRounds), REPS = Number(repetitions);
const CARD = ["serialNumber", "ICCardID", "issuerName", "subjectName", "name", "idno", "usage", "email",
              "notBefore", "notAfter", "cardIssType"];

const median = (xs) => {
  const s = [...xs].sort((a, b) => a - b);
  return s.length % 2 ? s[(s.length - 1) / 2] : (s[s.length / 2 - 1] + s[s.length / 2]) / 2;
};

// Prints one figure's repetitions and returns whether its ratio met the target.
function report(title, reps, target) {
  const bridge = reps.map((r) => median(r.bridge)), echo = reps.map((r) => median(r.echo));
  const ratios = reps.map((_, i) => bridge[i] / echo[i]);
  const ratio = median(ratios);
  const ms = (xs) => xs.map((x) => x.toFixed(3)).join(" ");
  const spread = (xs) => `${Math.min(...xs).toFixed(3)}-${Math.max(...xs).toFixed(3)}`;
  console.log(`${title}`);
  console.log(`  bridge  medians ${ms(bridge)} ms  (spread ${spread(bridge)})`);
  console.log(`  echo    medians ${ms(echo)} ms  (spread ${spread(echo)})`);
  console.log(`  ratio   ${ratio.toFixed(3)}x  (each repetition: ${ratios.map((r) => r.toFixed(3)).join(" ")}; target <= ${target}x)`);
  return ratio <= target;
}

const run = new Run();
let status = 0;
try {
  await run.setup();
  const chromium = await run.launch("chromium");
  const page = await chromium.open("allowed", "tests/browser/pages/reader.html");
  await page.evaluate(async () => { window.L = await import("/bridge/page/qelt-reader.js"); });
  console.log(`QELT_ARCH=${run.arch}, ${await chromium.browser.version()}, ${ROUNDS} rounds (cold: ${COLD}) x ${REPS}`);

  // Two readers side by side: one whose host is the bridge, one the echo.
  run.setHostExe();
  await page.evaluate(async () => { window.B = await window.L.connect(); });
  run.setHostExe(echoExe);
  await page.evaluate(async () => { window.E = await window.L.connect(); });

  const warm = (calls) => page.evaluate(async (n, names) => {
    const one = async (reader) => {
      const start = performance.now();
      for (const name of names) {
        if (name === "readCard") await reader.readCard();
        else await reader[name];
      }
      return performance.now() - start;
    };
    const out = { bridge: [], echo: [] };
    for (let i = 0; i < n; i++) {
      // Alternate which goes first, so neither always follows the other.
      if (i % 2) { out.echo.push(await one(window.E)); out.bridge.push(await one(window.B)); }
      else { out.bridge.push(await one(window.B)); out.echo.push(await one(window.E)); }
    }
    return out;
  }, ROUNDS, calls);

  const verReps = [], cardReps = [], coldReps = [];
  for (let r = 0; r < REPS; r++) verReps.push(await warm(["ver"]));
  for (let r = 0; r < REPS; r++) cardReps.push(await warm(["readCard", ...CARD]));
  await page.evaluate(() => { window.B.close(); window.E.close(); });

  const cold = async () => {
    const ms = await page.evaluate(async () => {
      const start = performance.now();
      const reader = await window.L.connect();
      const took = performance.now() - start;
      reader.close();
      return took;
    });
    // The closed host is gone before the next starts.
    for (let i = 0; i < 100 && run.hostPids().some((pid) => Run.alive(pid)); i++) await new Promise((r) => setTimeout(r, 20));
    return ms;
  };
  for (let r = 0; r < REPS; r++) {
    const out = { bridge: [], echo: [] };
    for (let i = 0; i < COLD; i++) {
      for (const [side, exe] of i % 2 ? [["echo", echoExe], ["bridge", run.bridge]] : [["bridge", run.bridge], ["echo", echoExe]]) {
        run.setHostExe(exe);
        out[side].push(await cold());
      }
    }
    coldReps.push(out);
  }

  const met = [report("warm ver, one round trip", verReps, 1.2),
               report("readCard plus the eleven properties (twelve round trips)", cardReps, 1.2),
               report("cold start: connect() until the reader is ready", coldReps, 1.5)];
  if (met.includes(false)) status = 1;
  if (ROUNDS < 200 || COLD < 200 || REPS < 3) console.log("note: fewer than 200 rounds or 3 repetitions: a smoke run");
} catch (e) {
  console.error(`bridge-rounds: ${e.stack || e}`);
  status = 2;
} finally {
  await run.cleanup();
}
process.exit(status);
