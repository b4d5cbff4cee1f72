package javax.microedition.lcdui;

public class Graphics {
    public static final int LEFT = 4;
    public static final int TOP = 16;

    Graphics() { }
    public void setColor(int rgb) { }
    public int getClipX() { return 0; }
    public int getClipY() { return 0; }
    public int getClipWidth() { return 0; }
    public int getClipHeight() { return 0; }
    public void clipRect(int x, int y, int width, int height) { }
    public void setClip(int x, int y, int width, int height) { }
    public void fillRect(int x, int y, int width, int height) { }
    public void drawRect(int x, int y, int width, int height) { }
    public void drawString(String str, int x, int y, int anchor) { }
    public void drawChar(char character, int x, int y, int anchor) { }
    public void drawImage(Image img, int x, int y, int anchor) { }
}
