package javax.microedition.lcdui;

public class List extends Screen implements Choice {
    public static final Command SELECT_COMMAND = null;

    public List(String title, int listType) { }
    public int size() { return 0; }
    public String getString(int elementNum) { return null; }
    public int getSelectedIndex() { return 0; }
    public int append(String stringPart, Image imagePart) { return 0; }
    public void delete(int elementNum) { }
}
