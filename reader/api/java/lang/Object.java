package java.lang;

public class Object {
    public Object() { }
    public final native Class getClass();
    public boolean equals(Object obj) { return false; }
}
