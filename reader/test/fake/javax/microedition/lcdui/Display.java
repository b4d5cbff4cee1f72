package javax.microedition.lcdui;

import java.util.IdentityHashMap;
import java.util.Map;
import javax.microedition.midlet.MIDlet;

public class Display {
    private static final Map<MIDlet, Display> displays = new IdentityHashMap<>();
    private Displayable current;

    private Display() {
    }

    public static synchronized Display getDisplay(MIDlet m) {
        if (m == null) {
            throw new NullPointerException();
        }
        return displays.computeIfAbsent(m, k -> new Display());
    }

    public Displayable getCurrent() {
        return current;
    }

    public void setCurrent(Displayable next) {
        if (next == null || next == current) {
            return;
        }
        if (current != null) {
            current.shown = false;
            if (current instanceof Canvas) {
                ((Canvas) current).hideNotify();
            }
        }
        current = next;
        current.shown = true;
        if (current instanceof Canvas) {
            ((Canvas) current).showNotify();
        }
    }

    /** Runs r at once: the simulated phone has one thread for events and the test. */
    public void callSerially(Runnable r) {
        r.run();
    }

    public boolean isColor() {
        return true;
    }

    public int numColors() {
        return 1 << 16;
    }

    /** Test side: forgets the displays of finished MIDlets. */
    public static synchronized void forget(MIDlet m) {
        displays.remove(m);
    }
}
