// The page's own behaviour: keys it keeps from the browser, the window buttons, image dragging.

// F5 (reload), Esc and Enter never reach the browser or a message box.
var SWALLOWED_KEYS = { 13: true, 27: true, 116: true };

$(document).keydown(function (e) {
    if (SWALLOWED_KEYS[e.keyCode] === true) {
        // Older engines only cancel F5 when the key code itself is cleared.
        try {
            if (window.event) {
                window.event.keyCode = 0;
            }
        } catch (ignored) {
        }
        e.preventDefault();
        e.stopPropagation();
        return false;
    }
    return true;
});

// Images of the page cannot be dragged, those of message boxes included.
$(document).on("dragstart", "img", function () {
    return false;
});

// Before a final message the close button asks first; afterwards it quits at once.
function OnQuitClicked() {
    if ($("#updatecomplete").val() == "1") {
        CoreQuit();
        return;
    }
    msgbox("close_confirm", "更新尚未完成，是否退出？", CoreQuit, null, "warning", "", "");
}

$(function () {
    $("#ui_min").click(function () {
        CoreMin();
    });
    $("#ui_quit").click(OnQuitClicked);
});
