package java.util;

public class Timer {
    public Timer() { }
    public void schedule(TimerTask task, long delay, long period) { }
    public void cancel() { }
}
