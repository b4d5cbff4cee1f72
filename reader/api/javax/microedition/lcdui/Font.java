package javax.microedition.lcdui;

public final class Font {
    private Font() { }
    public static Font getDefaultFont() { return null; }
    public int charWidth(char ch) { return 0; }
    public int getHeight() { return 0; }
}
