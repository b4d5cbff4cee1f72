package javax.microedition.midlet;

/** Drives a MIDlet through its life cycle as the phone does. */
public final class Manager {
    private Manager() {
    }

    public static void start(MIDlet m) throws MIDletStateChangeException {
        m.startApp();
    }

    public static void pause(MIDlet m) {
        m.pauseApp();
    }

    public static void destroy(MIDlet m) throws MIDletStateChangeException {
        m.destroyApp(true);
        m.destroyed = true;
    }

    public static boolean isDestroyed(MIDlet m) {
        return m.destroyed;
    }
}
