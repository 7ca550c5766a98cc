// The status page fpd serves at /: the printers, their state and queue, the day's documents
// from each printer's journal, and a test print. The till token is typed in and kept only
// in the tab's session storage; every value is shown as text, never as markup.
#include "http_service.h"

namespace fpd {

const char* const kStatusPage = R"html(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>fpd: printers</title>
<style>
body { font-family: sans-serif; margin: 1.5em; }
table { border-collapse: collapse; margin-bottom: 1.5em; }
th, td { border: 1px solid #bbb; padding: 0.25em 0.6em; text-align: left; }
.ready { color: #070; } .offline { color: #a00; }
</style>
</head>
<body>
<h1>fpd</h1>
<form id="login">
  <label>Till token <input id="token" type="password" autocomplete="off" size="40"></label>
  <button type="submit">Show</button>
</form>
<p id="message"></p>
<h2>Printers</h2>
<table id="printers"><thead><tr><th>Printer</th><th>State</th><th>Busy</th><th>Queued</th><th>Serial</th><th>Last error</th><th></th></tr></thead><tbody></tbody></table>
<h2>Today's documents</h2>
<table id="documents"><thead><tr><th>Printer</th><th>Time (UTC)</th><th>Kind</th><th>State</th><th>Number</th><th>Total</th><th>Message</th></tr></thead><tbody></tbody></table>
<script src="/status.js"></script>
</body>
</html>
)html";

const char* const kStatusScript = R"js("use strict";
const tokenInput = document.getElementById("token");
const message = document.getElementById("message");
tokenInput.value = sessionStorage.getItem("fpd-token") || "";

function headers() {
  return { "Authorization": "Bearer " + tokenInput.value, "Accept": "application/json" };
}

function cell(row, text) {
  const td = document.createElement("td");
  td.textContent = text === undefined || text === null ? "" : String(text);
  row.appendChild(td);
  return td;
}

function startOfTodayUtc() {
  const d = new Date();
  d.setHours(0, 0, 0, 0);
  return d.toISOString().slice(0, 19) + "Z";
}

async function getJson(path) {
  const response = await fetch(path, { headers: headers() });
  const body = await response.json().catch(() => ({}));
  if (!response.ok) throw new Error(body.error || ("HTTP " + response.status));
  return body;
}

async function testPrint(name) {
  message.textContent = "Printing a test page on " + name + "...";
  const body = "<NFReceipt><Lines><Text><Value>fpd test print</Value><Alignment>center</Alignment></Text>" +
               "<Text><Value>" + new Date().toISOString() + "</Value><Alignment>center</Alignment></Text>" +
               "</Lines></NFReceipt>";
  try {
    const response = await fetch("/v1/printers/" + encodeURIComponent(name) + "/PRINTNFR",
                                 { method: "POST", headers: headers(), body: body });
    const result = await response.json();
    if (!response.ok) message.textContent = "Not printed: " + result.error;
    else if (result.Error === "True") message.textContent = "The printer refused: " + result.ErrorText;
    else message.textContent = "Printed a test page on " + name +
                               (result.NFReceiptNumber ? " (number " + result.NFReceiptNumber + ")" : "") + ".";
  } catch (e) {
    message.textContent = "Not printed: " + e.message;
  }
  refresh();
}

async function refresh() {
  sessionStorage.setItem("fpd-token", tokenInput.value);
  const printers = document.querySelector("#printers tbody");
  const documents = document.querySelector("#documents tbody");
  try {
    const list = (await getJson("/v1/printers")).printers;
    printers.replaceChildren();
    documents.replaceChildren();
    for (const p of list) {
      const row = printers.insertRow();
      cell(row, p.name);
      cell(row, p.state).className = p.state;
      cell(row, p.busy ? "yes" : "no");
      cell(row, p.queued + " / " + p.queue_limit);
      cell(row, p.serial_number);
      cell(row, p.last_error);
      const button = document.createElement("button");
      button.textContent = "Test print";
      button.className = "test-print";
      button.dataset.printer = p.name;
      button.addEventListener("click", () => testPrint(p.name));
      cell(row, "").appendChild(button);
      try {
        const journal = await getJson("/v1/printers/" + encodeURIComponent(p.name) +
                                      "/documents?since=" + encodeURIComponent(startOfTodayUtc()));
        for (const d of journal.documents) {
          const r = documents.insertRow();
          for (const v of [p.name, d.created, d.kind, d.state, d.number, d.total, d.message]) cell(r, v);
        }
      } catch (e) {
        const r = documents.insertRow();
        for (const v of [p.name, "", "", "", "", "", e.message]) cell(r, v);
      }
    }
    if (!message.textContent.startsWith("Print")) message.textContent = "";
  } catch (e) {
    message.textContent = e.message;
  }
}

document.getElementById("login").addEventListener("submit", (event) => {
  event.preventDefault();
  refresh();
});
if (tokenInput.value) refresh();
setInterval(() => { if (tokenInput.value) refresh(); }, 10000);
)js";

}  // namespace fpd
