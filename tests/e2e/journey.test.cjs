// One user's day with the app, against the real velmora and the demo service: sign-in with a
// second factor, jobs, saving, notes, community, sign-out, Google sign-in, and then the service
// going away while the library and the cached pages keep working.
"use strict";

const { startDemo, startVelmora, runSteps, check, openPage } = require("./harness.cjs");

const MFA_USER = { email: "mfa@velmora.test", password: "velmora-demo", name: "Jonas Lindqvist" };
const OFFLINE_TEXT = "Velmora live server is offline right now.";

runSteps("journey", async t => {
  const demo = await startDemo();
  t.onCleanup(demo.stop);
  const app = await startVelmora(demo.base);
  t.onCleanup(app.stop);
  const { browser, page, pageErrors } = await openPage(t);
  const who = page.locator("#whoName");
  const nav = name => page.locator(`nav.main a[data-nav="${name}"]`);

  await t.step("the interface opens signed out on Home", async () => {
    await page.goto(app.url);
    await page.getByRole("heading", { level: 1, name: "Work abroad with employers who sponsor your visa" }).waitFor();
    await page.locator("#whoName", { hasText: "Not signed in" }).waitFor();
    await page.locator(".job").first().waitFor();
    await t.shot(page, "01-home-signed-out.png");
  });

  await t.step("password sign-in asks for the second factor, refuses a wrong code, accepts the right one", async () => {
    await page.locator("#signInLink").click();
    await page.locator("#loginForm-email").fill(MFA_USER.email);
    await page.locator("#loginForm-password").fill(MFA_USER.password);
    await page.locator("#loginForm button[type=submit]").click();
    await page.getByText(`Enter the 6-digit code we sent to ${MFA_USER.email}.`).waitFor();
    const code = await demo.nextCode(MFA_USER.email);
    const wrong = code === "000000" ? "111111" : "000000";
    await page.locator("#mfaForm-code").fill(wrong);
    await page.locator("#mfaForm button[type=submit]").click();
    await page.locator("#mfaForm .msg.error", { hasText: "That code is not right" }).waitFor();
    await t.shot(page, "02-second-factor.png");
    await page.locator("#mfaForm-code").fill(code);
    await page.locator("#mfaForm button[type=submit]").click();
    await page.locator("#whoName", { hasText: MFA_USER.name }).waitFor();
    await page.waitForURL(/#\/home$/);
  });

  await t.step("jobs list and a job's detail", async () => {
    await nav("jobs").click();
    await page.getByRole("heading", { level: 1, name: "Jobs" }).waitFor();
    await page.locator(".job").nth(11).waitFor();
    check(await page.locator(".job").count() === 12, "the Jobs page shows the twelve sample jobs");
    await t.shot(page, "03-jobs.png");
    await page.locator("#q").fill("nurse");
    await page.keyboard.press("Enter");
    await page.getByText("1 open role for “nurse”").waitFor();
    check(await page.locator(".job").count() === 1, "the search for nurse finds one job");
    await page.locator("#q").fill("");
    await page.keyboard.press("Enter");
    await page.locator(".job").nth(11).waitFor();
    await page.getByRole("link", { name: "Backend Engineer (Go)" }).click();
    await page.getByRole("heading", { level: 1, name: "Backend Engineer (Go)" }).waitFor();
    await page.getByText("Blue Card and family visas handled by a relocation agency").waitFor();
    await t.shot(page, "04-job-detail.png");
  });

  await t.step("a job saved from its detail is on the Saved page; one saved from a card can be removed there", async () => {
    const detailSave = page.locator('[data-save="backend-engineer-go-berlin"]');
    await detailSave.click();
    await page.locator('[data-save="backend-engineer-go-berlin"][aria-pressed="true"]').waitFor();
    await page.locator("#savedCount", { hasText: "1" }).waitFor();
    await nav("jobs").click();
    await page.locator('[data-save="backend-engineer-go-berlin"][aria-pressed="true"]').waitFor();
    await page.locator('[data-save="chef-de-partie-london"]').click();
    await page.locator("#savedCount", { hasText: "2" }).waitFor();
    await nav("saved").click();
    await page.locator(".saved-job").nth(1).waitFor();
    await page.locator('.saved-job[data-job="chef-de-partie-london"] [data-unsave]').click();
    await page.locator('.saved-job[data-job="chef-de-partie-london"]').waitFor({ state: "detached" });
    const saved = page.locator('.saved-job[data-job="backend-engineer-go-berlin"]');
    await saved.getByText("Lindwerk Logistics").waitFor();
    await saved.getByText("EU Blue Card").waitFor();
    check(await page.locator(".saved-job").count() === 1, "one saved job remains");
    await t.shot(page, "05-saved.png");
  });

  await t.step("notes: a blank title is refused, a note is added, another is deleted", async () => {
    await nav("notes").click();
    await page.locator("#noteForm button[type=submit]").click();
    await page.locator("#noteMsg .msg.error", { hasText: "Title is required." }).waitFor();
    for (const [title, body] of [["Questions for Lindwerk", "Ask about the on-call rota.\nAsk about German lessons."],
                                 ["Scratch", "to be deleted"]]) {
      await page.locator("#noteTitle").fill(title);
      await page.locator("#noteBody").fill(body);
      await page.locator("#noteForm button[type=submit]").click();
      await page.locator(".note h3", { hasText: title }).waitFor();
    }
    await page.locator(".note", { hasText: "Scratch" }).getByRole("button", { name: /Delete/ }).click();
    await page.locator(".note", { hasText: "Scratch" }).waitFor({ state: "detached" });
    await page.locator(".note", { hasText: "Questions for Lindwerk" }).getByText("Ask about German lessons.").waitFor();
    await page.locator("#notesCount", { hasText: "1" }).waitFor();
    await t.shot(page, "06-notes.png");
  });

  await t.step("a post to the community appears under the signed-in user's name", async () => {
    await nav("community").click();
    await page.locator("#postTitle").fill("Moving to Berlin in March");
    await page.locator("#postBody").fill("Anyone else starting at a Berlin company in spring? Happy to share flat tips.");
    await page.locator("#postSubmit").click();
    const first = page.locator(".community-post").first();
    await first.getByText("Moving to Berlin in March").waitFor();
    await first.getByText(MFA_USER.name).waitFor();
    await t.shot(page, "07-community.png");
  });

  await t.step("blog, scam alerts and courses show the service's content", async () => {
    for (const [name, text, file] of [["blog", "How to read a job offer from abroad before you sign", "08-blog.png"],
                                      ["scam-alerts", "Certificate of Sponsorship sold for cash", "09-scam-alerts.png"],
                                      ["courses", "IELTS Academic in Six Weeks", "10-courses.png"]]) {
      await nav(name).click();
      await page.getByText(text).first().waitFor();
      await t.shot(page, file);
    }
    await nav("blog").click();
    await page.getByRole("link", { name: "How to read a job offer from abroad before you sign" }).click();
    await page.getByText("An offer letter is the first document you should read slowly.", { exact: false }).waitFor();
  });

  await t.step("sign-out returns to the signed-out state and hides the community form", async () => {
    await page.locator("#signOutBtn").click();
    await page.locator("#whoName", { hasText: "Not signed in" }).waitFor();
    await nav("community").click();
    await page.getByText("to ask a question or share your experience").waitFor();
    check(await page.locator("#postForm").count() === 0, "no post form while signed out");
  });

  await t.step("Google sign-in through the service page and the engine's callback", async () => {
    await page.locator("#signInLink").click();
    await page.locator("#googleBtn").click();
    await page.getByText("Finish signing in in your browser.").waitFor();
    const opened = await app.openedUrl();
    check(opened.startsWith(`${demo.siteRoot}/auth/google?native_callback=`), `engine opened ${opened}`);
    const tab = await browser.newPage();
    await tab.goto(opened);
    await tab.locator("#continue").waitFor();
    await t.shot(tab, "11-google-demo-page.png");
    await tab.locator("#continue").click();
    await tab.getByRole("heading", { name: "Signed In with Google!" }).waitFor();
    check(tab.url().startsWith(`${app.url}api/auth/google-callback?token=`), `callback at ${tab.url()}`);
    await t.shot(tab, "12-google-callback.png");
    await tab.close();
    await page.locator("#whoName", { hasText: "Sam Rivera" }).waitFor();
  });

  await t.step("with the service gone, cached pages show, others say offline, the library stays", async () => {
    await demo.stop();
    await nav("home").click();
    await page.getByRole("heading", { level: 1, name: "Work abroad with employers who sponsor your visa" }).waitFor();
    await nav("jobs").click();
    await page.locator(".job").nth(11).waitFor();
    await t.shot(page, "13-jobs-offline-cached.png");
    await page.getByRole("link", { name: "Dairy Farm Assistant" }).click();
    await page.locator(".msg.offline", { hasText: OFFLINE_TEXT }).waitFor();
    await page.locator("#netPill.on").waitFor();
    await t.shot(page, "14-job-detail-offline.png");
    await nav("saved").click();
    await page.locator('.saved-job[data-job="backend-engineer-go-berlin"]').waitFor();
    await nav("notes").click();
    await page.locator(".note", { hasText: "Questions for Lindwerk" }).waitFor();
    await t.shot(page, "15-notes-offline.png");
  });

  await t.step("no app state in browser storage and no script errors", async () => {
    check(await page.evaluate(() => localStorage.length) === 0, "the page wrote to localStorage");
    check(pageErrors.length === 0, `script errors: ${pageErrors.join("; ")}`);
  });
});
