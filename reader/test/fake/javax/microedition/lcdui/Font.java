package javax.microedition.lcdui;

/** The phone's own font: every character 6 pixels wide, rows 12 high. */
public final class Font {
    private static final Font DEFAULT = new Font();

    private Font() {
    }

    public static Font getDefaultFont() {
        return DEFAULT;
    }

    public int charWidth(char ch) {
        return 6;
    }

    public int getHeight() {
        return 12;
    }
}
