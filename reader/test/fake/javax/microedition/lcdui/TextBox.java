package javax.microedition.lcdui;

/** A text box; the test types into it. */
public class TextBox extends Screen {
    private final int maxSize;
    private String text;

    public TextBox(String title, String text, int maxSize, int constraints) {
        super(title);
        if (maxSize <= 0 || text != null && text.length() > maxSize) {
            throw new IllegalArgumentException("text box size " + maxSize);
        }
        this.maxSize = maxSize;
        this.text = text == null ? "" : text;
    }

    public String getString() {
        return text;
    }

    /** Test side: what the user typed, as the phone limits it. */
    public void type(String s) {
        text = s.length() > maxSize ? s.substring(0, maxSize) : s;
    }
}
