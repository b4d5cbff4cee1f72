package javax.microedition.lcdui;

public abstract class Screen extends Displayable {
    private final String title;

    Screen(String title) {
        this.title = title;
    }

    /** Test side: the screen's title. */
    public String title() {
        return title;
    }
}
