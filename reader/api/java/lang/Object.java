package java.lang;

public class Object {
    public Object() { }
    public final native Class getClass();
}
