// Test desktop only: GNOME Shell opens its overview when it starts, and in
// the overview no window takes focus. This closes it once start-up is done.
'use strict';

const Main = imports.ui.main;

class NoOverview {
    enable() {
        if (Main.layoutManager._startingUp)
            this._id = Main.layoutManager.connect('startup-complete', () => Main.overview.hide());
        else
            Main.overview.hide();
    }

    disable() {
        if (this._id)
            Main.layoutManager.disconnect(this._id);
        this._id = 0;
    }
}

function init() {
    return new NoOverview();
}
