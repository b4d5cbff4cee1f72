import java.util.TimerTask;

/** The timer task that moves the menu's long selected name on by one character a run. */
class TMenuTicker extends TimerTask {
    private final TFiledMenu menu;

    TMenuTicker(TFiledMenu menu) {
        this.menu = menu;
    }

    public void run() {
        menu.tick();
    }
}
