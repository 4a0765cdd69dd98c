/* Publishes the focused window's class, app id and process id on the
 * session bus for Zimbrel: method Get and signal Changed on
 * com.corvane.native.Focus. It never reads a window title.
 * The module form GNOME Shell 45 and later load; the same behaviour as
 * data/gnome-shell/zimbrel-focus@native.corvane.com for 43 and 44. */
import Gio from 'gi://Gio';
import GLib from 'gi://GLib';
import Shell from 'gi://Shell';
import {Extension} from 'resource:///org/gnome/shell/extensions/extension.js';

const BUS_NAME = 'com.corvane.native.Focus';
const OBJECT_PATH = '/com/corvane/native/Focus';
const INTERFACE = `
<node>
  <interface name="com.corvane.native.Focus">
    <method name="Get">
      <arg type="s" direction="out" name="wmClass"/>
      <arg type="s" direction="out" name="appId"/>
      <arg type="u" direction="out" name="pid"/>
    </method>
    <signal name="Changed">
      <arg type="s" name="wmClass"/>
      <arg type="s" name="appId"/>
      <arg type="u" name="pid"/>
    </signal>
  </interface>
</node>`;

export default class FocusReporter extends Extension {
    enable() {
        this._last = null;
        this._window = null;
        this._classChangedId = 0;
        this._object = Gio.DBusExportedObject.wrapJSObject(INTERFACE, this);
        this._object.export(Gio.DBus.session, OBJECT_PATH);
        this._nameId = Gio.bus_own_name_on_connection(Gio.DBus.session, BUS_NAME,
            Gio.BusNameOwnerFlags.NONE, null, null);
        this._focusId = global.display.connect('notify::focus-window', () => this._follow());
        this._follow();
    }

    disable() {
        global.display.disconnect(this._focusId);
        this._watch(null);
        Gio.bus_unown_name(this._nameId);
        this._object.unexport();
        this._object = null;
    }

    Get() {
        return this._current();
    }

    // An Xwayland window may set its class only after it got focus.
    _watch(window) {
        if (this._window && this._classChangedId) {
            try {
                this._window.disconnect(this._classChangedId);
            } catch (e) {
                // The window is already gone, and its handlers with it.
            }
        }
        this._window = window;
        this._classChangedId = window ? window.connect('notify::wm-class', () => this._report()) : 0;
    }

    _follow() {
        this._watch(global.display.focus_window);
        this._report();
    }

    _current() {
        const window = global.display.focus_window;
        if (!window)
            return ['', '', 0];
        const app = Shell.WindowTracker.get_default().get_window_app(window);
        let appId = app ? app.get_id() || '' : '';
        // Windows without a desktop entry get a made-up "window:" id.
        if (appId.startsWith('window:'))
            appId = '';
        if (appId.endsWith('.desktop'))
            appId = appId.slice(0, -'.desktop'.length);
        const pid = window.get_pid();
        return [window.get_wm_class() || '', appId, pid > 0 ? pid : 0];
    }

    _report() {
        const current = this._current();
        const key = current.join('\n');
        if (key === this._last)
            return;
        this._last = key;
        this._object.emit_signal('Changed', new GLib.Variant('(ssu)', current));
    }
}
