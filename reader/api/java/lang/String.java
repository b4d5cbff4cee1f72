package java.lang;

public final class String {
    public String() { }
    public String(char[] value) { }
    public String(char[] value, int offset, int count) { }
    public String(byte[] bytes) { }
    public int length() { return 0; }
    public char charAt(int index) { return 0; }
    public byte[] getBytes() { return null; }
    public boolean equals(Object anObject) { return false; }
    public int hashCode() { return 0; }
    public String toString() { return null; }
    public static String valueOf(Object obj) { return null; }
    public static String valueOf(int i) { return null; }
}
