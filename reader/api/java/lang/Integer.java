package java.lang;

public final class Integer {
    public Integer(int value) { }
    public int intValue() { return 0; }
    public static int parseInt(String s) throws NumberFormatException { return 0; }
    public static String toHexString(int i) { return null; }
}
