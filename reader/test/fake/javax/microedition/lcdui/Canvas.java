package javax.microedition.lcdui;

import java.awt.image.BufferedImage;

/** A canvas of a phone whose screen size the test chooses. */
public abstract class Canvas extends Displayable {
    public static final int UP = 1;
    public static final int DOWN = 6;
    public static final int LEFT = 2;
    public static final int RIGHT = 5;
    public static final int FIRE = 8;
    public static final int GAME_A = 9;
    public static final int GAME_B = 10;
    public static final int GAME_C = 11;
    public static final int GAME_D = 12;
    public static final int KEY_NUM0 = 48;
    public static final int KEY_NUM1 = 49;
    public static final int KEY_NUM2 = 50;
    public static final int KEY_NUM3 = 51;
    public static final int KEY_NUM4 = 52;
    public static final int KEY_NUM5 = 53;
    public static final int KEY_NUM6 = 54;
    public static final int KEY_NUM7 = 55;
    public static final int KEY_NUM8 = 56;
    public static final int KEY_NUM9 = 57;
    public static final int KEY_STAR = 42;
    public static final int KEY_POUND = 35;

    /** Key codes of the phone's navigation keys (as on many handsets). */
    public static final int SOFT_UP = -1;
    public static final int SOFT_DOWN = -2;
    public static final int SOFT_LEFT = -3;
    public static final int SOFT_RIGHT = -4;
    public static final int SOFT_FIRE = -5;

    private static int screenWidth = 176;
    private static int screenHeight = 208;
    private boolean repaintRequested;
    /** Test side: whether the phone sends key repeats. */
    public static boolean repeatEvents = true;
    /** Test side: the strings each serviceRepaints painted, in order. */
    public static final java.util.List<String> serviced = new java.util.ArrayList<>();

    protected Canvas() {
    }

    public static void setScreenSize(int width, int height) {
        screenWidth = width;
        screenHeight = height;
    }

    public int getWidth() {
        return screenWidth;
    }

    public int getHeight() {
        return screenHeight;
    }

    public boolean isDoubleBuffered() {
        return true;
    }

    public boolean hasRepeatEvents() {
        return repeatEvents;
    }

    public int getGameAction(int keyCode) {
        switch (keyCode) {
            case SOFT_UP: case KEY_NUM2: return UP;
            case SOFT_DOWN: case KEY_NUM8: return DOWN;
            case SOFT_LEFT: case KEY_NUM4: return LEFT;
            case SOFT_RIGHT: case KEY_NUM6: return RIGHT;
            case SOFT_FIRE: case KEY_NUM5: return FIRE;
            // As on many handsets: the corner keys are the game keys A to D.
            case KEY_NUM1: return GAME_A;
            case KEY_NUM3: return GAME_B;
            case KEY_NUM7: return GAME_C;
            case KEY_NUM9: return GAME_D;
            default:
                if (keyCode >= KEY_NUM0 && keyCode <= KEY_NUM9 || keyCode == KEY_STAR
                        || keyCode == KEY_POUND) {
                    return 0;
                }
                throw new IllegalArgumentException("no such key " + keyCode);
        }
    }

    protected void keyPressed(int keyCode) {
    }

    protected void keyRepeated(int keyCode) {
    }

    protected void keyReleased(int keyCode) {
    }

    protected void showNotify() {
    }

    protected void hideNotify() {
    }

    protected abstract void paint(Graphics g);

    public final void repaint() {
        repaintRequested = true;
    }

    public final void repaint(int x, int y, int width, int height) {
        repaintRequested = true;
    }

    /** Paints a requested repaint at once, as a phone would before going on. */
    public final void serviceRepaints() {
        if (repaintRequested && shown) {
            serviced.addAll(render().strings());
        }
    }

    /** Test side: a key pressed down (or, down false, let go) and nothing else. */
    public void key(int keyCode, boolean down) {
        if (down) {
            keyPressed(keyCode);
        } else {
            keyReleased(keyCode);
        }
    }

    /** Test side: a key pressed once, held for repeats, then released. */
    public void press(int keyCode, int repeats) {
        keyPressed(keyCode);
        for (int i = 0; i < repeats; i++) {
            keyRepeated(keyCode);
        }
        keyReleased(keyCode);
    }

    /** Test side: paints the whole screen into a new image. */
    public Graphics render() {
        BufferedImage screen = new BufferedImage(screenWidth, screenHeight,
                                                 BufferedImage.TYPE_INT_RGB);
        Graphics g = new Graphics(screen);
        repaintRequested = false;
        paint(g);
        return g;
    }

    public boolean repaintRequested() {
        return repaintRequested;
    }
}
