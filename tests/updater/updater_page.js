// The updater test build's stand-in page: every page function of the updater's page, recorded
// as "Function|argument" lines in page.log, and answered as the test describes in `answers`,
// which the test defines in front of this script:
//   answers[function] = list of replies, one taken per call:
//     "true", "false"  - window.external.JsCallFunc(function, reply), a moment after the call
//     "now:<reply>"    - the same, inside the page function (before the program waits)
//     "quit"           - window.external.CoreQuit(), a moment after the call
//     "none"           - nothing
//   answers.delay      - the moment, in milliseconds (default 100)
//   answers.onload     - list of [name, parameter] pairs sent through JsCallFunc once loaded
//   answers.completeQuit - how long after ConfirmUpdateComplete the page quits, in milliseconds
//                        (default 3000, like the real page)
if (typeof answers == "undefined") var answers = {};

function record(name, argument) { host.log(name + "|" + argument); }

function reply(name) {
  var list = answers[name];
  if (!list || list.length == 0) return;
  var answer = list.shift();
  var now = answer.indexOf("now:") == 0;
  if (now) answer = answer.substring(4);
  var act = function () {
    if (answer == "quit") {
      record("quit", name);
      window.external.CoreQuit();
    } else if (answer != "none") {
      record("answer", name + " " + answer);
      window.external.JsCallFunc(name, answer);
    }
  };
  if (now) act();
  else host.after(answers.delay || 100, act);
}

function question(name, argument) {
  record(name, argument);
  reply(name);
}

function ConfirmUpdate(key) { question("ConfirmUpdate", key); }
function ConfirmRetry(stage) { question("ConfirmRetry", stage); }
function ConfirmRetryTooTimes(count) { question("ConfirmRetryTooTimes", count); }
function ConfirmNewVersion(text) { question("ConfirmNewVersion", text); }
function ConfirmRegError(text) { question("ConfirmRegError", text); }
function ConfirmCloseIe(text) { question("ConfirmCloseIe", text); }
function ShowTitle(key) { record("ShowTitle", key); }
function ShowFailureCode(code) { record("ShowFailureCode", code); }
function InitUpdate(json) { record("InitUpdate", json); }
function ShowDownloadProcess(json) { record("ShowDownloadProcess", json); }
function ConfirmUpdateComplete(version) {
  record("ConfirmUpdateComplete", version);
  reply("ConfirmUpdateComplete");
  host.after(answers.completeQuit || 3000, function () {
    record("quit", "ConfirmUpdateComplete");
    window.external.CoreQuit();
  });
}

function onload() {
  record("onload", "");
  var calls = answers.onload || [];
  for (var i = 0; i < calls.length; ++i) window.external.JsCallFunc(calls[i][0], calls[i][1]);
}
