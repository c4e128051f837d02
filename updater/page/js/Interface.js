// The page's way into the updater program: window.external is the program's dispatch object.

// Runs the program operation `name` with the text `param`. False when the page runs without
// the program (no JsCallFunc member); otherwise the program's answer.
function CallCoreFunc(name, param) {
    var external;
    try {
        external = window.external;
        if (external == null || external.JsCallFunc == null) {
            return false;
        }
    } catch (e) {
        return false;
    }
    return external.JsCallFunc(name, param);
}

// Ends the updater.
function CoreQuit() {
    window.external.CoreQuit();
}

// Minimises the updater's window.
function CoreMin() {
    window.external.CoreMin();
}
