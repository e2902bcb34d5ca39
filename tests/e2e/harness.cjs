// Shared pieces of the browser tests: the demo service, the real velmora in a fresh application
// folder, Debian's Chromium, and small bounded waits.
"use strict";

const { spawn } = require("node:child_process");
const fs = require("node:fs");
const os = require("node:os");
const path = require("node:path");
const { chromium } = require("playwright-core");

const WAIT_MS = 15000;

function required(name) {
  const value = process.env[name];
  if (!value) throw new Error(`${name} is not set; run the browser tests through ctest`);
  return value;
}

function tempDir(prefix) {
  return fs.mkdtempSync(path.join(os.tmpdir(), prefix));
}

// Resolves when Test(text) holds for the process's output so far, or rejects after Limit ms.
function watchOutput(child) {
  let text = "";
  const waiters = new Set();
  const feed = chunk => {
    text += chunk.toString();
    for (const w of waiters) w.check();
  };
  child.stdout.on("data", feed);
  child.stderr.on("data", feed);
  const exited = new Promise(resolve => child.on("exit", (code, signal) => {
    for (const w of waiters) w.fail(new Error(`process ended (${signal || code}) while waiting; output:\n${text}`));
    resolve({ code, signal });
  }));
  return {
    text: () => text,
    exited,
    waitFor(test, limit = WAIT_MS, what = "output") {
      return new Promise((resolve, reject) => {
        const w = {
          check() {
            const found = test(text);
            if (found) { clearTimeout(w.timer); waiters.delete(w); resolve(found); }
          },
          fail(err) { clearTimeout(w.timer); waiters.delete(w); reject(err); },
        };
        w.timer = setTimeout(() => w.fail(new Error(`no ${what} within ${limit} ms; output:\n${text}`)), limit);
        waiters.add(w);
        w.check();
      });
    },
  };
}

async function stopProcess(child, out) {
  if (child.exitCode !== null || child.signalCode !== null) return;
  child.kill("SIGTERM");
  const ended = await Promise.race([out.exited, new Promise(r => setTimeout(() => r(null), 5000))]);
  if (!ended) {
    child.kill("SIGKILL");
    await out.exited;
  }
}

async function startDemo(port = 0) {
  const child = spawn(required("VLM_E2E_DEMO"), ["--port", String(port)], { stdio: ["ignore", "pipe", "pipe"] });
  const out = watchOutput(child);
  const base = await out.waitFor(t => (t.match(/^(http:\/\/127\.0\.0\.1:\d+\/api\/v1)\n/) || [])[1], WAIT_MS, "demo base URL");
  let seen = 0;
  return {
    base,
    siteRoot: base.replace(/\/api\/v1$/, ""),
    // The next code the service prints for Email after the last one taken.
    async nextCode(email) {
      const pattern = new RegExp(`code for ${email.replace(/[.@]/g, "\\$&")}: (\\d{6})`, "g");
      return out.waitFor(t => {
        pattern.lastIndex = seen;
        const m = pattern.exec(t);
        if (!m) return null;
        seen = pattern.lastIndex;
        return m[1];
      }, WAIT_MS, `code for ${email}`);
    },
    stop: () => stopProcess(child, out),
  };
}

// The real program, copied with the built interface into a fresh application folder and run
// headless. A stand-in xdg-open records the addresses the program asks the desktop to open.
async function startVelmora(apiBase) {
  const appDir = tempDir("velmora-e2e-app-");
  fs.copyFileSync(required("VLM_E2E_VELMORA"), path.join(appDir, "velmora"));
  fs.chmodSync(path.join(appDir, "velmora"), 0o755);
  fs.cpSync(required("VLM_E2E_UI"), path.join(appDir, "ui"), { recursive: true });
  const binDir = tempDir("velmora-e2e-bin-");
  const opened = path.join(binDir, "opened.txt");
  fs.writeFileSync(path.join(binDir, "xdg-open"), `#!/bin/sh\nprintf '%s\\n' "$1" >> '${opened}'\n`, { mode: 0o755 });
  const env = { ...process.env, VLM_API_BASE: apiBase, PATH: `${binDir}:${process.env.PATH}` };
  delete env.DISPLAY;
  delete env.WAYLAND_DISPLAY;
  const child = spawn(path.join(appDir, "velmora"), ["--headless"], { cwd: appDir, env, stdio: ["ignore", "pipe", "pipe"] });
  const out = watchOutput(child);
  const url = await out.waitFor(t => (t.match(/listening at (http:\/\/127\.0\.0\.1:\d+\/)/) || [])[1], WAIT_MS, "banner");
  return {
    url,
    appDir,
    async openedUrl() {
      const deadline = Date.now() + WAIT_MS;
      while (Date.now() < deadline) {
        if (fs.existsSync(opened)) {
          const lines = fs.readFileSync(opened, "utf8").trim().split("\n").filter(Boolean);
          if (lines.length) return lines[lines.length - 1];
        }
        await new Promise(r => setTimeout(r, 100));
      }
      throw new Error("velmora opened no address within the limit");
    },
    async stop() {
      await stopProcess(child, out);
      for (const dir of [appDir, binDir]) fs.rmSync(dir, { recursive: true, force: true });
    },
  };
}

async function startBrowser(viewport = { width: 1340, height: 860 }) {
  const profile = tempDir("velmora-e2e-profile-");
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: process.env.VLM_E2E_CHROMIUM || "/usr/bin/chromium",
    headless: true,
    viewport,
    args: ["--no-sandbox", "--disable-gpu", "--no-first-run", "--disable-background-networking",
           "--disable-component-update", "--disable-sync"],
  });
  context.setDefaultTimeout(WAIT_MS);
  // The profile goes once the browser has exited, which close() waits for.
  const close = context.close.bind(context);
  context.close = async () => {
    await close();
    fs.rmSync(profile, { recursive: true, force: true, maxRetries: 3 });
  };
  return context;
}

// Runs the named steps in order; on failure keeps a screenshot of the page and exits non-zero.
async function runSteps(name, body) {
  const artifacts = path.join(required("VLM_E2E_ARTIFACTS"), name);
  fs.rmSync(artifacts, { recursive: true, force: true });
  fs.mkdirSync(artifacts, { recursive: true });
  const cleanups = [];
  let current = "setup";
  let page = null;
  const t = {
    artifacts,
    onCleanup: fn => cleanups.unshift(fn),
    usePage: p => { page = p; },
    async step(title, fn) {
      current = title;
      const started = Date.now();
      await fn();
      console.log(`ok   ${title} (${Date.now() - started} ms)`);
    },
    async shot(p, file) {
      await p.screenshot({ path: path.join(artifacts, file) });
    },
  };
  let failed = false;
  try {
    await body(t);
  } catch (err) {
    failed = true;
    console.error(`FAIL ${current}\n${err && err.stack ? err.stack : err}`);
    if (page) await page.screenshot({ path: path.join(artifacts, "failure.png") }).catch(() => {});
  }
  for (const fn of cleanups) await fn().catch(e => console.error(`cleanup: ${e}`));
  console.log(failed ? `${name}: FAILED` : `${name}: passed; screenshots in ${artifacts}`);
  process.exit(failed ? 1 : 0);
}

function check(condition, message) {
  if (!condition) throw new Error(message);
}

// A fresh browser with one page that the test's screenshots use, closed when the test ends;
// script errors on the page are collected in pageErrors.
async function openPage(t) {
  const browser = await startBrowser();
  t.onCleanup(() => browser.close());
  const page = browser.pages()[0] || await browser.newPage();
  t.usePage(page);
  const pageErrors = [];
  page.on("pageerror", e => pageErrors.push(String(e)));
  return { browser, page, pageErrors };
}

module.exports = { startDemo, startVelmora, startBrowser, openPage, runSteps, check, WAIT_MS };
