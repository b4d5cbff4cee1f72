package javax.microedition.lcdui;

public class TextBox extends Screen {
    public TextBox(String title, String text, int maxSize, int constraints) { }
    public String getString() { return null; }
}
