package javax.microedition.midlet;

/** Test double of the MIDlet base class; Manager plays the phone's application manager. */
public abstract class MIDlet {
    boolean destroyed;

    protected MIDlet() {
    }

    protected abstract void startApp() throws MIDletStateChangeException;

    protected abstract void pauseApp();

    protected abstract void destroyApp(boolean unconditional) throws MIDletStateChangeException;

    public final void notifyDestroyed() {
        destroyed = true;
    }

    public final void notifyPaused() {
    }

    public final String getAppProperty(String key) {
        return null;
    }

    public final void resumeRequest() {
    }
}
