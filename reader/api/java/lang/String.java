package java.lang;

public final class String {
    public String(char[] value) { }
    public String(byte[] bytes) { }
    public byte[] getBytes() { return null; }
    public static String valueOf(int i) { return null; }
}
