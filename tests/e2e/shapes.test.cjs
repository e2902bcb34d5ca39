// A service whose answers stray from docs/service-contract.md: members missing, null, of another
// type, unknown, lists given bare or under "data", and error answers of several kinds. Every page
// must still show what it can and say what went wrong, without a script error.
"use strict";

const http = require("node:http");
const { startVelmora, runSteps, check, openPage } = require("./harness.cjs");

const ANSWERS = {
  "/home": [200, { hero: null, stats: "many", featured_jobs: [{ slug: "bare-job", title: "Bare Job", salary: 42000, tags: "x", extra: { deep: [1] } }, null, 7], latest_alert: [] }],
  "/jobs": [200, [{ slug: "bare-job", title: "Bare Job" }, { title: "No Slug Job", city: null, country: "Chile", sponsorship_badge: false }]],
  "/jobs/bare-job": [200, { data: { unexpected: true }, job: { title: "Bare Job", description: { html: "<b>rich</b>" }, requirements: ["Patience", 3, null] } }],
  "/jobs/gone": [410, { error: "This job was withdrawn.", errors: ["Withdrawn by the employer."] }],
  "/blog": [200, { data: { posts: [{ title: "Only a title" }] } }],
  "/community": [200, { posts: [{ body: "No title, author as text", author: "Ana" }, { title: "Nested nothing", author: null }] }],
  "/scam-alerts": [500, { success: false, message: "Alerts are being updated." }],
  "/courses": [200, { courses: "none" }],
};

runSteps("shapes", async t => {
  const service = http.createServer((req, res) => {
    const [status, body] = ANSWERS[req.url.replace(/^\/api\/v1/, "")] || [404, { message: "No such page." }];
    res.writeHead(status, { "Content-Type": "application/json" });
    res.end(JSON.stringify(body));
  });
  await new Promise(resolve => service.listen(0, "127.0.0.1", resolve));
  t.onCleanup(() => new Promise(resolve => service.close(resolve)));
  const app = await startVelmora(`http://127.0.0.1:${service.address().port}/api/v1`);
  t.onCleanup(app.stop);
  const { page, pageErrors } = await openPage(t);
  const open = async hash => { await page.goto(app.url + hash); await page.locator("#view h1").first().waitFor(); };

  await t.step("home and jobs show the jobs they can and skip the rest", async () => {
    await open("#/home");
    await page.getByRole("heading", { level: 1, name: "Find your next job" }).waitFor();
    await page.locator('.job[data-job="bare-job"]').getByText("42000").waitFor();
    await open("#/jobs");
    await page.getByText("No Slug Job").waitFor();
    await page.getByText("2 open roles").waitFor();
    check(await page.locator('.job:has-text("No Slug Job") [data-save]').count() === 0, "a job without a slug offers no save");
  });

  await t.step("a job's detail lists only text members; a withdrawn one shows the service's error", async () => {
    await open("#/jobs/bare-job");
    await page.getByRole("heading", { level: 1, name: "Bare Job" }).waitFor();
    await page.getByText("Patience").waitFor();
    await page.getByText("No description was given.").waitFor();
    await open("#/jobs/gone");
    const error = page.locator(".msg.error");
    await error.getByText("This job was withdrawn.").waitFor();
    await error.getByText("Withdrawn by the employer.").waitFor();
  });

  await t.step("lists under data, authors as text, a failing page and a list of the wrong type", async () => {
    await open("#/blog");
    await page.getByText("Only a title").waitFor();
    await open("#/community");
    await page.getByText("No title, author as text").waitFor();
    await page.locator(".community-post").getByText("Ana", { exact: true }).waitFor();
    await open("#/scam-alerts");
    await page.locator(".msg.error", { hasText: "Alerts are being updated." }).waitFor();
    await open("#/courses");
    await page.getByText("No courses listed.").waitFor();
    check(pageErrors.length === 0, `script errors: ${pageErrors.join("; ")}`);
  });
});
