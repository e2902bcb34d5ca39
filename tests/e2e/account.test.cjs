// The other ways in and their refusals, as a keyboard user sees them: a refused password,
// registration with its field errors, e-mail codes, the half-width window, and sign-in while the
// service is unreachable.
"use strict";

const { startDemo, startVelmora, runSteps, check, openPage } = require("./harness.cjs");

runSteps("account", async t => {
  let demo = await startDemo();
  t.onCleanup(() => demo.stop());
  const app = await startVelmora(demo.base);
  t.onCleanup(app.stop);
  const { page } = await openPage(t);
  const signOut = async () => {
    await page.locator("#signOutBtn").click();
    await page.locator("#whoName", { hasText: "Not signed in" }).waitFor();
  };

  await t.step("keyboard only: a refused password shows the service's message", async () => {
    await page.goto(app.url + "#/account");
    await page.locator("#loginForm-email:focus").waitFor();
    await page.keyboard.type("demo@velmora.test");
    await page.keyboard.press("Tab");
    await page.keyboard.type("not-the-password");
    await page.keyboard.press("Enter");
    await page.locator("#loginForm .msg.error", { hasText: "The e-mail or password is incorrect." }).waitFor();
    await t.shot(page, "01-sign-in-refused.png");
    check(await page.locator("#whoName").innerText() === "Not signed in", "a refused password signs nobody in");
  });

  await t.step("registration lists the field errors, then creates the account and signs in", async () => {
    await page.locator("#tab-register").click();
    await page.locator("#registerForm-email").fill("not-an-address");
    await page.locator("#registerForm-password").fill("short");
    await page.locator("#registerForm button[type=submit]").click();
    await page.locator("#registerForm .msg.error", { hasText: "Please correct the highlighted fields." }).waitFor();
    await page.locator('#registerForm-password[aria-invalid="true"] + .field-error', { hasText: "Use at least 8 characters." }).waitFor();
    await page.locator('#registerForm-name[aria-invalid="true"] + .field-error', { hasText: "Enter your name." }).waitFor();
    await t.shot(page, "02-register-errors.png");
    await page.locator("#registerForm-name").fill("Lena Fischer");
    await page.locator("#registerForm-email").fill("lena@example.org");
    await page.locator("#registerForm-password").fill("a-long-password");
    await page.locator("#registerForm button[type=submit]").click();
    await page.locator("#whoName", { hasText: "Lena Fischer" }).waitFor();
    await signOut();
  });

  await t.step("registering the same address again is refused", async () => {
    await page.goto(app.url + "#/account/register");
    await page.locator("#registerForm-name").fill("Lena F.");
    await page.locator("#registerForm-email").fill("lena@example.org");
    await page.locator("#registerForm-password").fill("another-password");
    await page.locator("#registerForm button[type=submit]").click();
    await page.locator("#registerForm-email + .field-error", { hasText: "An account with this e-mail already exists." }).waitFor();
  });

  await t.step("e-mail code: an unknown address is refused, a known one signs in with its code", async () => {
    await page.locator("#tab-code").click();
    await page.locator("#codeRequestForm-email").fill("nobody@example.org");
    await page.locator("#codeRequestForm button[type=submit]").click();
    await page.locator("#codeRequestForm .msg.error", { hasText: "No Velmora account uses that e-mail address." }).waitFor();
    await page.locator("#codeRequestForm-email").fill("demo@velmora.test");
    await page.locator("#codeRequestForm button[type=submit]").click();
    await page.getByText("We sent a 6-digit code to demo@velmora.test.").waitFor();
    await page.locator("#codeVerifyForm-code").fill(await demo.nextCode("demo@velmora.test"));
    await t.shot(page, "03-email-code.png");
    await page.locator("#codeVerifyForm button[type=submit]").click();
    await page.locator("#whoName", { hasText: "Amara Okafor" }).waitFor();
  });

  await t.step("an empty community post shows the service's validation message", async () => {
    await page.locator('nav.main a[data-nav="community"]').click();
    await page.locator("#postTitle").fill("Hi");
    await page.locator("#postSubmit").click();
    await page.locator("#postMsg .msg.error", { hasText: "Your post needs a title and a message." }).waitFor();
  });

  await t.step("at half the window's width every page link stays reachable without sideways scrolling", async () => {
    await page.setViewportSize({ width: 670, height: 860 });
    await page.locator('nav.main a[data-nav="jobs"]').click();
    await page.locator(".job").first().waitFor();
    for (const name of ["home", "jobs", "blog", "community", "scam-alerts", "courses", "saved", "notes"]) {
      check(await page.locator(`nav.main a[data-nav="${name}"]`).isVisible(), `${name} link visible at half width`);
    }
    const overflow = await page.evaluate(() => document.documentElement.scrollWidth - window.innerWidth);
    check(overflow <= 0, `the page scrolls sideways by ${overflow}px at half width`);
    await t.shot(page, "04-jobs-half-width.png");
    await page.setViewportSize({ width: 1340, height: 860 });
  });

  await t.step("a session the service has forgotten ends when the interface starts again", async () => {
    await demo.stop();
    demo = await startDemo(Number(new URL(demo.base).port));
    await page.reload();
    await page.locator("#whoName", { hasText: "Not signed in" }).waitFor();
  });

  await t.step("with the service unreachable, sign-out still works and sign-in says why it cannot", async () => {
    await page.locator("#signInLink").click();
    await page.locator("#tab-code").click();
    await page.locator("#codeRequestForm-email").fill("demo@velmora.test");
    await page.locator("#codeRequestForm button[type=submit]").click();
    await page.locator("#codeVerifyForm-code").fill(await demo.nextCode("demo@velmora.test"));
    await page.locator("#codeVerifyForm button[type=submit]").click();
    await page.locator("#whoName", { hasText: "Amara Okafor" }).waitFor();
    await demo.stop();
    await signOut();
    await page.locator("#signInLink").click();
    await page.locator("#loginForm-email").fill("demo@velmora.test");
    await page.locator("#loginForm-password").fill("velmora-demo");
    await page.locator("#loginForm button[type=submit]").click();
    await page.locator("#loginForm .msg", { hasText: "Unable to reach" }).waitFor();
    await t.shot(page, "05-sign-in-offline.png");
  });
});
