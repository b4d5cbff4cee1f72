package volm.util;

import java.util.ArrayList;
import java.util.List;

/**
 * Stands in for java.util.Timer in the reader's classes (the simulated phone
 * points their references here when it loads them): scheduled tasks run only
 * when the test ticks, one run per task and tick, on the test's thread.
 */
public class Timer {
    private static final List<TimerTask> scheduled = new ArrayList<>();
    private boolean cancelled;

    public Timer() {
    }

    public void schedule(TimerTask task, long delay) {
        schedule(task, delay, 0);
    }

    public synchronized void schedule(TimerTask task, long delay, long period) {
        if (task == null) {
            throw new NullPointerException();
        }
        if (delay < 0 || period < 0) {
            throw new IllegalArgumentException("negative delay or period");
        }
        if (cancelled || task.timer != null || task.cancelled) {
            throw new IllegalStateException("timer cancelled or task already scheduled");
        }
        task.timer = this;
        task.period = period;
        synchronized (Timer.class) {
            scheduled.add(task);
        }
    }

    public void cancel() {
        cancelled = true;
        synchronized (Timer.class) {
            scheduled.removeIf(t -> t.timer == this);
        }
    }

    // ---- test side ----

    /** Runs every scheduled task once (a one-shot task then ends); returns how many ran. */
    public static int tick() {
        List<TimerTask> due;
        synchronized (Timer.class) {
            due = new ArrayList<>(scheduled);
        }
        int ran = 0;
        for (TimerTask t : due) {
            if (t.cancelled) {
                continue;
            }
            if (t.period == 0) {
                t.cancel();
            }
            t.run();
            ran++;
        }
        return ran;
    }

    /** Tasks waiting to run. */
    public static synchronized int scheduledTasks() {
        return scheduled.size();
    }

    /** Forgets every task (the MIDlet that scheduled them is gone). */
    public static synchronized void reset() {
        scheduled.clear();
    }

    static synchronized void remove(TimerTask task) {
        scheduled.remove(task);
    }
}
