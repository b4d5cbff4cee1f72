import java.util.TimerTask;

/**
 * The timer task of a screen: moves the menu's long selected name on by one
 * character a run, or repeats the key held on a text screen.
 */
class TMenuTicker extends TimerTask {
    private final Object screen;

    TMenuTicker(Object screen) {
        this.screen = screen;
    }

    public void run() {
        if (screen instanceof TFiledMenu) {
            ((TFiledMenu) screen).tick();
        } else {
            ((TScrollFixedText) screen).tick();
        }
    }
}
