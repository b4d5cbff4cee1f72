package volm.util;

/** Stands in for java.util.TimerTask; see Timer. */
public abstract class TimerTask implements Runnable {
    Timer timer;
    long period;
    boolean cancelled;

    protected TimerTask() {
    }

    public abstract void run();

    /** True when the task was scheduled and would have run again. */
    public boolean cancel() {
        boolean was = timer != null && !cancelled;
        cancelled = true;
        Timer.remove(this);
        return was;
    }

    public long scheduledExecutionTime() {
        return 0;
    }
}
