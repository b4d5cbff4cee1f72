package javax.microedition.lcdui;

public class Image {
    Image() { }
    public static Image createImage(String name) throws java.io.IOException { return null; }
    public static Image createImage(byte[] imageData, int imageOffset, int imageLength) { return null; }
    public int getHeight() { return 0; }
}
