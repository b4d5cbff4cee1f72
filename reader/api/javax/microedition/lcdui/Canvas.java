package javax.microedition.lcdui;

public abstract class Canvas extends Displayable {
    public static final int UP = 1;
    public static final int DOWN = 6;
    public static final int FIRE = 8;

    protected Canvas() { }
    public int getWidth() { return 0; }
    public int getHeight() { return 0; }
    public int getGameAction(int keyCode) { return 0; }
    protected void keyPressed(int keyCode) { }
    protected void keyRepeated(int keyCode) { }
    protected abstract void paint(Graphics g);
    public final void repaint() { }
}
