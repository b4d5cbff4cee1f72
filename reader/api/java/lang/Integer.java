package java.lang;

public final class Integer {
    public Integer(int value) { }
    public static int parseInt(String s) throws NumberFormatException { return 0; }
    public static String toString(int i) { return null; }
    public int intValue() { return 0; }
}
