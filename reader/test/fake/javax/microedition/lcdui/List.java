package javax.microedition.lcdui;

import java.util.ArrayList;

/** A list screen; the test picks an entry as the phone's user would. */
public class List extends Screen implements Choice {
    public static final Command SELECT_COMMAND = new Command("", Command.SCREEN, 0);
    private final java.util.List<String> items = new ArrayList<>();
    private final int type;
    private int selected;

    public List(String title, int listType) {
        super(title);
        if (listType < EXCLUSIVE || listType > IMPLICIT) {
            throw new IllegalArgumentException("list type " + listType);
        }
        type = listType;
    }

    public int size() {
        return items.size();
    }

    public String getString(int elementNum) {
        return items.get(elementNum);
    }

    public int getSelectedIndex() {
        return items.isEmpty() ? -1 : selected;
    }

    public int append(String stringPart, Image imagePart) {
        if (stringPart == null) {
            throw new NullPointerException();
        }
        items.add(stringPart);
        return items.size() - 1;
    }

    public void delete(int elementNum) {
        items.remove(elementNum);
        if (selected >= items.size() && selected > 0) {
            selected--;
        }
    }

    /** Test side: the entries. */
    public java.util.List<String> items() {
        return new ArrayList<>(items);
    }

    /** Test side: moves the selection to entry i. */
    public void select(int i) {
        if (i < 0 || i >= items.size()) {
            throw new IllegalArgumentException("no entry " + i + " in " + items);
        }
        selected = i;
    }

    /** Test side: the centre key on an implicit list fires its select command. */
    public void choose(int i) {
        select(i);
        if (type == IMPLICIT) {
            fireAlways(SELECT_COMMAND);
        }
    }
}
