// Functions the updater program calls on the page, and the texts they show.

// Stage titles (ShowTitle).
var STAGE_TITLES = {
    backupFiles: "备份助手文件",
    copyUpdateFiles: "拷贝更新文件",
    copyUpdateLoader: "拷贝更新程序",
    updateReg: "更新注册表信息",
    runAssistant: "准备启动助手",
    readyrun: "准备环境",
    runsetupexe: "准备运行更新程序",
    waitsetup: "正在等待更新程序结束，结束后将自动关闭"
};

// Stage failures, inserted into the retry question.
var STAGE_FAILURES = {
    initLocalFiles: "初始化本地文件失败",
    downloadNewFiles: "下载更新文件失败",
    backupFiles: "备份助手文件失败",
    copyUpdateFiles: "拷贝更新文件失败",
    copyUpdateLoader: "拷贝更新更新程序失败",
    installedFolder: "安装目录可被非管理员修改，请重新安装",
    trustState: "保存更新的安全数据失败",
    trustUnreachable: "无法获取更新的安全数据",
    trustExpired: "更新的安全数据已过期",
    trustClockAhead: "本机时间超前，更新的安全数据显示为已过期，请校准时间后重试",
    trustRolledBack: "更新的安全数据比已有的旧",
    trustThreshold: "更新的安全数据签名不足",
    trustLength: "更新文件超出允许的大小",
    trustHash: "更新文件校验失败",
    trustInvalid: "更新的安全数据无效",
    trustNotListed: "更新文件不在安全数据中"
};

// Update questions.
var UPDATE_QUESTIONS = {
    update: "助手有新版本，是否更新？",
    lostfile: "助手文件损坏，是否更新？"
};

// Shown for stages without a text of their own.
var DEFAULT_TITLE = "正在更新您的网银助手，请稍等";
var DEFAULT_RETRY_QUESTION = "更新失败，是否重试？";

// The code the customer reads out to the helpdesk, set by ShowFailureCode just before the retry
// question and shown beside its text; a program that sends none leaves the question as it was.
var failureCode = "";

// Width of the progress bar when it is full; InitUpdate may change it.
var progressWidth = 650;
var downloadCount = 0;

function ConfirmUpdate(key) {
    var question = lookupText(UPDATE_QUESTIONS, key, UPDATE_QUESTIONS.update);
    msgbox("update_confirm", question, function (param) {
        CallCoreFunc("ConfirmUpdate", param);
        removeMsgbox("update_confirm");
    }, CoreQuit, "ask", "true", "");
}

function ShowFailureCode(code) {
    failureCode = typeof code === "string" ? code : "";
}

function ConfirmRetry(stage) {
    var failure = lookupText(STAGE_FAILURES, stage, null);
    var question = failure === null ? DEFAULT_RETRY_QUESTION : "更新失败(" + failure + ")，是否重试？";
    if (failureCode !== "") question += "（错误代码：" + failureCode + "）";
    failureCode = "";
    msgbox("retry_confirm", question, function (param) {
        setUpdateComplete("0");
        CallCoreFunc("ConfirmRetry", param);
        removeMsgbox("retry_confirm");
    }, CoreQuit, "error", "true", "");
}

function ConfirmUpdateComplete(version) {
    setUpdateComplete("1");
    msgbox("updatecomplete_confirm", "您的助手已升级到版本" + version + " 即将退出更新",
           null, null, "success", "", "");
    setTimeout(CoreQuit, 3000);
}

function ConfirmRetryTooTimes(count) {
    var answer = function (param) {
        CallCoreFunc("ConfirmRetryTooTimes", param);
        removeMsgbox("retrytootimes_confirm");
    };
    msgbox("retrytootimes_confirm", "您已经更新多次，请下载最新的安装包并退出更新",
           answer, answer, "warning", "true", "false");
}

function ConfirmNewVersion() {
    setUpdateComplete("1");
    msgbox("newversion_confirm", "您已安装了最新的助手版本", null, CoreQuit, "success", "", "");
}

function ConfirmRegError() {
    setUpdateComplete("1");
    msgbox("regerror_confirm", "注册表损坏或未安装助手，请重新安装助手", null, CoreQuit, "error", "", "");
}

function ConfirmCloseIe() {
    var answer = function (param) {
        CallCoreFunc("ConfirmCloseIe", param);
        removeMsgbox("closeie_confirm");
    };
    msgbox("closeie_confirm", "请关闭IE浏览器，否则会影响更新", answer, answer, "warning", "true", "false");
}

function ShowTitle(key) {
    $("#title").text(lookupText(STAGE_TITLES, key, DEFAULT_TITLE));
    $("#text").text("");
    $("#progress").text("");
}

// The text: {"downloadCount":N,"progressWidth":N,"removeCount":N}
function InitUpdate(json) {
    var info = parseJsonObject(json);
    var count = toInteger(info.downloadCount);
    var width = toInteger(info.progressWidth);
    if (count !== null) {
        downloadCount = count;
    }
    if (width !== null && width >= 0) {
        progressWidth = width;
    }
    $(".ui_progress").css("width", "0px");
}

// The text: {"allcount":"N","filename":"...","filesize":"...","nowpos":"N"}
function ShowDownloadProcess(json) {
    var info = parseJsonObject(json);
    var allcount = toInteger(info.allcount);
    var nowpos = toInteger(info.nowpos);
    var filename = textOf(info.filename);
    var filesize = textOf(info.filesize);
    // Without a sensible count there is no share to show; the bar stays empty.
    var share = (allcount !== null && nowpos !== null && allcount > 0) ? nowpos / allcount : 0;
    share = Math.max(0, Math.min(1, share));
    var floatvar = share * 100;
    var percent = Math.round(floatvar * 100) / 100 + "%";
    $(".ui_progress").css("width", Math.floor(share * progressWidth) + "px");
    $("#title").text("正在下载文件:");
    $("#text").text(filename + "(" + filesize + ")");
    $("#progress").text("下载进度:" + percent + "(" + textOf(info.nowpos) + "/" + textOf(info.allcount) + ")");
}
