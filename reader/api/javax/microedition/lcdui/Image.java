package javax.microedition.lcdui;

public class Image {
    Image() { }
    public static Image createImage(String name) throws java.io.IOException { return null; }
    public int getWidth() { return 0; }
    public int getHeight() { return 0; }
}
