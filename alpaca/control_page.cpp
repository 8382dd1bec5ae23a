// The hand controller page. Large targets for gloved fingers; a night mode in
// red on black, remembered by the browser. The direction pad holds a lease on
// the server while a button is pressed and renews it every 200 ms; the status
// line is the server's shared status, asked for twice a second.
#include "alpaca/control_page.h"

namespace sidera::alpaca {

const std::string& ControlPage() {
  static const std::string page = R"HTML(<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1, user-scalable=no">
<title>Sidera hand controller</title>
<style>
:root{--bg:#fff;--fg:#111;--dim:#555;--line:#bbb;--btn:#e8e8e8;--stop:#c00000;--stopfg:#fff;--on:#1b6e20}
body.night{--bg:#000;--fg:#e00000;--dim:#900000;--line:#500000;--btn:#1a0000;--stop:#700000;--stopfg:#ff4040;--on:#d00000}
*{box-sizing:border-box}
body{margin:0;padding:8px;background:var(--bg);color:var(--fg);font:17px/1.3 sans-serif;
 -webkit-user-select:none;user-select:none;-webkit-touch-callout:none}
button,select,input{font:inherit;color:var(--fg);background:var(--btn);border:2px solid var(--line);border-radius:10px;min-height:52px}
button{padding:0 10px;touch-action:none}
button.on{border-color:var(--on);font-weight:bold}
input{padding:0 8px;width:100%;-webkit-user-select:text;user-select:text}
header{display:flex;gap:6px;align-items:center}
header h1{font-size:17px;flex:1;margin:0;overflow:hidden;white-space:nowrap;text-overflow:ellipsis}
#status{margin:8px 0;padding:6px;border:1px solid var(--line);border-radius:8px;min-height:64px;font-variant-numeric:tabular-nums}
#message{min-height:1.3em;color:var(--dim);margin:4px 0}
#stop{display:block;width:100%;min-height:96px;font-size:30px;font-weight:bold;background:var(--stop);color:var(--stopfg);border-color:var(--stop)}
#pad{display:grid;grid-template-columns:repeat(3,1fr);gap:6px;margin:8px 0}
#pad button{min-height:84px;font-size:24px;font-weight:bold}
#pad button.held{border-color:var(--fg);background:var(--line)}
.row{display:flex;gap:6px;margin:6px 0}.row>*{flex:1}
#speeds button{min-height:48px}
section{border-top:1px solid var(--line);margin-top:8px;padding-top:4px}
h2{font-size:15px;margin:4px 0;color:var(--dim)}
#suggestions button{min-height:44px}
</style></head>
<body>
<header><h1 id="model">Sidera</h1><button id="connect">Connect</button><button id="night">Night</button></header>
<div id="status">…</div>
<div id="message" role="status"></div>
<button id="stop">STOP</button>
<div id="pad">
 <span></span><button id="pad-n" data-direction="n">N</button><span></span>
 <button id="pad-e" data-direction="e">E</button><span></span><button id="pad-w" data-direction="w">W</button>
 <span></span><button id="pad-s" data-direction="s">S</button><span></span>
</div>
<div class="row" id="speeds"><button data-speed="0">0.5×</button><button data-speed="1">8×</button><button data-speed="2" class="on">64×</button><button data-speed="3">480×</button></div>
<section><h2>Go to</h2>
 <div class="row"><input id="name" placeholder="Vega, M31, Jupiter…" autocomplete="off" autocapitalize="off"><button id="goto-name" style="flex:0 0 80px">Go</button></div>
 <div class="row" id="suggestions"></div>
 <div class="row"><input id="ra" placeholder="RA h (5 35 17)"><input id="dec" placeholder="Dec ° (-5 23 28)"><button id="goto-coords" style="flex:0 0 80px">Go</button></div>
 <div id="where"></div>
</section>
<section><h2>Align</h2>
 <div class="row"><input id="star" placeholder="the star centred now" autocomplete="off" autocapitalize="off"><button id="align" style="flex:0 0 110px">Add star</button></div>
 <div class="row"><button id="align-clear">New alignment</button></div>
 <ol id="residuals"></ol>
</section>
<section><h2>Mount</h2>
 <div class="row"><button id="tracking">Tracking</button><select id="rate"><option value="0">Sidereal</option><option value="1">Lunar</option><option value="2">Solar</option></select></div>
 <div class="row"><button id="park">Park</button><button id="unpark">Unpark</button></div>
</section>
<script>
"use strict";
const $ = id => document.getElementById(id);
let status = {}, speed = 2;
function say(text) { $("message").textContent = text || ""; }
async function put(command, fields) {
  try {
    const r = await fetch("/control/" + command, {method: "PUT",
      headers: {"Content-Type": "application/x-www-form-urlencoded"},
      body: new URLSearchParams(fields || {})});
    if (!r.ok) return {ok: false, message: (await r.text()).trim()};
    return await r.json();
  } catch (e) { return {ok: false, message: "no answer from the server"}; }
}
async function command(name, fields) {
  const answer = await put(name, fields);
  say(answer.message);
  refresh();
  return answer;
}

// Night mode: chosen once, remembered by this browser.
function night(on) {
  document.body.classList.toggle("night", on);
  $("night").classList.toggle("on", on);
  try { localStorage.setItem("sidera.night", on ? "1" : "0"); } catch (e) {}
}
night((() => { try { return localStorage.getItem("sidera.night") === "1"; } catch (e) { return false; } })());
$("night").onclick = () => night(!document.body.classList.contains("night"));

// The status line, from the server's shared reading.
function hms(hours, sign) {
  const neg = hours < 0; let s = Math.round(Math.abs(hours) * 3600);
  const h = Math.floor(s / 3600), m = Math.floor(s / 60) % 60; s %= 60;
  const p = n => String(n).padStart(2, "0");
  return (sign ? (neg ? "−" : "+") : "") + p(h) + (sign ? "° " : "h ") + p(m) + (sign ? "′ " : "m ") + p(s) + (sign ? "″" : "s");
}
function show(s) {
  status = s;
  $("model").textContent = s.model || "Sidera";
  $("connect").textContent = s.connected ? "Disconnect" : "Connect";
  const eq = s.equatorial !== false;
  [["pad-n", "N", "Up"], ["pad-s", "S", "Down"], ["pad-e", "E", "Left"], ["pad-w", "W", "Right"]]
    .forEach(([id, a, b]) => { $(id).textContent = eq ? a : b; });
  if (!s.connected) { $("status").textContent = "Not connected."; return; }
  $("tracking").classList.toggle("on", !!s.tracking);
  $("tracking").textContent = s.tracking ? "Tracking on" : "Tracking off";
  if (s.trackingRate !== undefined) $("rate").value = String(s.trackingRate);
  [...$("rate").options].forEach(o => { o.disabled = !(s.trackingRates || []).includes(+o.value); });
  const st = $("status");
  if (s.ra === undefined) { st.textContent = s.error || "…"; return; }
  st.dataset.ra = s.ra; st.dataset.dec = s.dec; st.dataset.slewing = s.slewing;
  const doing = s.parked ? "parked" : s.slewing ? (s.pad ? "moving" : "slewing") : s.tracking ? "tracking" : "stopped";
  st.textContent = "RA " + hms(s.ra) + "  Dec " + hms(s.dec, true);
  st.appendChild(document.createElement("br"));
  st.append("Alt " + s.alt.toFixed(1) + "°  Az " + s.az.toFixed(1) + "°  · " + doing +
            (s.lastGoto ? "  · last goto: " + s.lastGoto : "") + (s.error ? "  · " + s.error : ""));
}
let asking = false;
async function refresh() {
  if (asking) return; asking = true;
  try { show(await (await fetch("/control/status", {cache: "no-store"})).json()); }
  catch (e) { $("status").textContent = "No answer from the server."; }
  asking = false;
}
setInterval(refresh, 500); refresh();

// The direction pad: a move under a lease renewed while the button is held.
let hold = null;  // {button, lease, released}
async function press(button) {
  if (hold) return;
  const h = hold = {button: button, lease: 0, released: false, timer: 0};
  button.classList.add("held");
  const answer = await put("move", {direction: button.dataset.direction, speed: speed});
  if (!answer.ok) { say(answer.message); endHold(h); return; }
  h.lease = answer.lease;
  if (h.released) { put("release", {lease: h.lease}); return; }
  say("");
  h.timer = setInterval(async () => {
    const renewed = await put("renew", {lease: h.lease});
    if (!renewed.ok && !h.released) { say(renewed.message); endHold(h); }
  }, 200);
}
function endHold(h) {
  h.released = true; clearInterval(h.timer);
  h.button.classList.remove("held");
  if (hold === h) hold = null;
}
function release() {
  const h = hold; if (!h) return;
  endHold(h);
  if (h.lease) put("release", {lease: h.lease}).then(a => { if (!a.ok) say(a.message); refresh(); });
}
document.querySelectorAll("#pad button").forEach(b => {
  b.addEventListener("pointerdown", e => { e.preventDefault(); b.setPointerCapture(e.pointerId); press(b); });
  for (const end of ["pointerup", "pointercancel", "lostpointercapture"]) b.addEventListener(end, release);
  b.addEventListener("contextmenu", e => e.preventDefault());
});
// A finger lifted anywhere ends the hold, should the button have lost it.
for (const end of ["pointerup", "pointercancel", "touchend", "touchcancel", "mouseup"]) document.addEventListener(end, release);
document.addEventListener("visibilitychange", () => { if (document.hidden) release(); });
window.addEventListener("pagehide", release);
document.querySelectorAll("#speeds button").forEach(b => b.onclick = () => {
  speed = +b.dataset.speed;
  document.querySelectorAll("#speeds button").forEach(o => o.classList.toggle("on", o === b));
});

$("stop").addEventListener("pointerdown", e => {
  e.preventDefault();
  if (hold) endHold(hold);
  command("stop");
});
$("connect").onclick = () => command("connect", {on: !status.connected});
$("tracking").onclick = () => command("tracking", {on: !status.tracking});
$("rate").onchange = () => command("rate", {rate: $("rate").value});
$("park").onclick = () => command("park");
$("unpark").onclick = () => command("unpark");

// Goto by name (with the names the server suggests) or by coordinates; the
// altitude now is shown as a name is typed.
function suggest(names) {
  const box = $("suggestions");
  if (box.dataset.names === (names || []).join("|")) return;  // the same: keep the buttons
  box.dataset.names = (names || []).join("|"); box.textContent = "";
  (names || []).forEach(n => {
    const b = document.createElement("button"); b.textContent = n;
    b.onclick = () => { $("name").value = n; suggest([]); lookUp(); };
    box.appendChild(b);
  });
}
let lookTimer = 0;
async function lookUp() {
  const q = new URLSearchParams($("name").value ? {name: $("name").value} : {ra: $("ra").value, dec: $("dec").value});
  try {
    const a = await (await fetch("/control/where?" + q, {cache: "no-store"})).json();
    $("where").textContent = a.message; suggest(a.suggestions);
  } catch (e) {}
}
for (const id of ["name", "ra", "dec"]) $(id).addEventListener("input", () => {
  if (id !== "name") $("name").value = "";
  clearTimeout(lookTimer); lookTimer = setTimeout(lookUp, 400);
});
$("goto-name").onclick = async () => {
  const a = await command("goto", {name: $("name").value});
  suggest(a.suggestions);
  if (a.ok) $("star").value = $("name").value;  // the star to centre next
};

// Align: centre a star with the pad, then add it; every residual after the fit.
$("align").onclick = async () => {
  const a = await command("align", {name: $("star").value});
  if (!a.ok) return;
  const list = $("residuals"); list.textContent = "";
  a.stars.forEach(star => {
    const item = document.createElement("li");
    item.textContent = star.name + "  " + star.arcsec.toFixed(1) + "″" + (star.used ? "" : " (dropped)");
    list.appendChild(item);
  });
};
$("align-clear").onclick = async () => { if ((await command("align-clear")).ok) $("residuals").textContent = ""; };
$("goto-coords").onclick = () => command("goto", {ra: $("ra").value, dec: $("dec").value});
</script>
</body></html>
)HTML";
  return page;
}

}  // namespace sidera::alpaca
