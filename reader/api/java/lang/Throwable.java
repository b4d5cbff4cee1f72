package java.lang;

public class Throwable extends Object {
    public Throwable() { }
    public Throwable(String s) { }
    public String getMessage() { return null; }
    public String toString() { return null; }
    public void printStackTrace() { }
}
