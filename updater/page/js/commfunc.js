// Shared helpers of the page: the message box, text look-up and argument parsing.

// Shows the message box `id` with `content` and the image `./img/<icon>.gif`. The close image
// runs closeAction(closeParam), or removes the box when there is no close action; the OK image
// is shown only with an okAction and runs okAction(okParam). A box of the same id is replaced.
function msgbox(id, content, okAction, closeAction, icon, okParam, closeParam) {
    removeMsgbox(id);
    var box = $("<div class='msgbox'></div>").attr("id", id);
    var panel = $("<div class='msgbox_panel'></div>").appendTo(box);
    $("<img class='msgbox_icon' alt=''>").attr("src", "./img/" + icon + ".gif").appendTo(panel);
    $("<div class='msgbox_text'></div>").text(content).appendTo(panel);
    var buttons = $("<div class='msgbox_buttons'></div>").appendTo(panel);
    if (okAction) {
        $("<img class='msgbox_ok' src='./img/msgbox_ok.gif' title='确定' alt=''>")
            .click(function () { okAction(okParam); })
            .appendTo(buttons);
    }
    $("<img class='msgbox_close' src='./img/msgbox_close.gif' title='关闭' alt=''>")
        .click(function () {
            if (closeAction) {
                closeAction(closeParam);
            } else {
                removeMsgbox(id);
            }
        })
        .appendTo(buttons);
    box.appendTo(document.body);
    return box;
}

function removeMsgbox(id) {
    $(document.getElementById(id)).remove();
}

function setUpdateComplete(value) {
    $("#updatecomplete").val(value);
}

// The text of `key` in `table`, or `fallback` when the table has no such key of its own.
function lookupText(table, key, fallback) {
    if (typeof key === "string" && Object.prototype.hasOwnProperty.call(table, key)) {
        return table[key];
    }
    return fallback;
}

// The object of a JSON text; an empty object for anything else.
function parseJsonObject(text) {
    var value = null;
    try {
        value = $.parseJSON(String(text));
    } catch (e) {
        value = null;
    }
    return (value !== null && typeof value === "object") ? value : {};
}

// The integer of a number or a decimal text, or null.
function toInteger(value) {
    if (typeof value === "number") {
        return isFinite(value) ? Math.floor(value) : null;
    }
    if (typeof value === "string" && /^\s*-?\d+\s*$/.test(value)) {
        return parseInt(value, 10);
    }
    return null;
}

// The text a member shows: a text as it is, a number as its digits, anything else (an object,
// a list, true or false, null) as an empty text.
function textOf(value) {
    if (typeof value === "string") {
        return value;
    }
    return (typeof value === "number" && isFinite(value)) ? String(value) : "";
}
