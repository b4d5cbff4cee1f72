package java.lang;

public final class String {
    public String(char[] value) { }
    public String(byte[] bytes) { }
    public String(byte[] bytes, int off, int len) { }
    public int length() { return 0; }
    public char charAt(int index) { return 0; }
    public String substring(int beginIndex) { return null; }
    public String substring(int beginIndex, int endIndex) { return null; }
    public int indexOf(int ch) { return 0; }
    public boolean startsWith(String prefix) { return false; }
    public char[] toCharArray() { return null; }
    public boolean equals(Object anObject) { return false; }
    public byte[] getBytes() { return null; }
    public static String valueOf(Object obj) { return null; }
    public static String valueOf(int i) { return null; }
}
