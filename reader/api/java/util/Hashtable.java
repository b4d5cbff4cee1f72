package java.util;

public class Hashtable {
    public Hashtable() { }
    public synchronized Object get(Object key) { return null; }
    public synchronized Object put(Object key, Object value) { return null; }
    public synchronized Object remove(Object key) { return null; }
    public int size() { return 0; }
    public synchronized Enumeration keys() { return null; }
    public synchronized void clear() { }
}
