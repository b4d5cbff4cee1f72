import java.util.Timer;
import javax.microedition.lcdui.Canvas;
import javax.microedition.lcdui.Command;
import javax.microedition.lcdui.CommandListener;
import javax.microedition.lcdui.Font;
import javax.microedition.lcdui.Graphics;
import javax.microedition.lcdui.Image;

/**
 * The topic menu: one entry of the topic list per row, drawn with the book's
 * font, the selected row framed. Up and down move the selection and wrap
 * around, left and right move it by a screen, 1 and 7 go to the first and the
 * last entry, 3 and 9 to the previous and the next one without wrapping; the
 * centre key fires the select command. A selected name wider
 * than the screen scrolls sideways on a timer so that all of it can be read.
 *
 * The book's font, for every screen: an image of glyphs, either cells of a
 * 16 x 16 grid (drawn 3/4 of a cell apart) or, with a map, a rectangle of the
 * line's height and the glyph's advance for each byte, where a byte of
 * advance 0 takes no room; or, when no image could be made, the phone's own
 * font, its characters the Windows-1251 bytes' ones.
 */
public class TFiledMenu extends Canvas {
    /** The action of key 0: the text screen's options. */
    static final int OPTIONS = 100;
    private static final char[] NO_TOPICS = "No topics".toCharArray();
    /** The font: the image, its map (1 + 4 * 256 bytes: height; x, row and advance per byte) or none, the phone's font. */
    static Image image;
    static byte[] map;
    static Font phone;
    /** The height of a row of text (0: no font at all), the paper's colour, the ink's. */
    static int line;
    static int paper = 0xFFFFFF;
    static int ink;
    private final TFiledStringList entries;
    private final CommandListener listener;
    private final Command fireCommand;
    private int first;
    private int selected;
    private Timer timer;
    private TMenuTicker ticker;
    private boolean visible;
    private int step;
    private int excess;

    /** Without a font (line 0) the menu shows only the font error. */
    public TFiledMenu(TFiledStringList entries, CommandListener listener, Command fireCommand) {
        this.entries = entries;
        this.listener = listener;
        this.fireCommand = fireCommand;
    }

    /** The selected entry, or -1 when the menu has no entries. */
    public int getSelected() {
        return entries.getCount() == 0 ? -1 : selected;
    }

    /** Selects an entry and scrolls it into view; entries that do not exist are ignored. */
    public void setSelected(int entry) {
        if (entry < 0 || entry >= entries.getCount() || line == 0) {
            return;
        }
        selected = entry;
        int rows = visibleRows();
        if (selected < first) {
            first = selected;
        } else if (selected >= first + rows) {
            first = selected - rows + 1;
        }
        restartTicker();
        repaint();
    }

    protected void paint(Graphics g) {
        int width = getWidth();
        int height = getHeight();
        g.setColor(paper);
        g.fillRect(0, 0, width, height);
        if (line == 0) {
            drawFontError(g);
            return;
        }
        if (entries.getCount() == 0) {
            drawText(g, NO_TOPICS, 0, NO_TOPICS.length, 1, 2, width);
            return;
        }
        int rows = visibleRows();
        int frame = map == null && phone == null ? (width - 4) / (line * 3 / 4) * (line * 3 / 4) : width - 4;
        for (int r = 0; r < rows; r++) {
            char[] name = entries.getEntry(first + r);
            if (name == null) {
                break;
            }
            int y = 2 + line * r;
            // The selected name scrolls: it holds at its start, moves a
            // character a tick and holds at its end.
            int from = first + r != selected || step < 2 ? 0 : step - 2 > excess ? excess : step - 2;
            drawText(g, name, from, name.length - from, 1, y, width);
            if (first + r == selected) {
                g.setClip(0, 0, width, height);
                g.setColor(ink);
                g.drawRect(0, y - 2, frame + 1, line + 1);
            }
        }
    }

    protected void showNotify() {
        visible = true;
        restartTicker();
    }

    protected void hideNotify() {
        visible = false;
        restartTicker();
        if (timer != null) {
            timer.cancel();
            timer = null;
        }
    }

    /** Starts the sideways scrolling of the selected name when it is wider than the screen. */
    private void restartTicker() {
        if (ticker != null) {
            ticker.cancel();
            ticker = null;
        }
        step = 0;
        char[] name = entries.getEntry(selected);
        excess = 0;
        if (name != null && line > 0) {
            // The characters that do not fit, counted from the end.
            int x = 1;
            int k = 0;
            while (k < name.length && x + width(name[k]) <= getWidth() - 3) {
                x += width(name[k++]);
            }
            excess = name.length - k;
        }
        if (excess > 0 && visible) {
            if (timer == null) {
                timer = new Timer();
            }
            ticker = new TMenuTicker(this);
            timer.schedule(ticker, 400, 300);
        }
    }

    /** One step of the scrolling name; runs on the timer's thread. */
    void tick() {
        if (++step > excess + 4) {
            step = 0;
        }
        repaint();
    }

    protected void keyPressed(int keyCode) {
        key(keyCode, true);
    }

    protected void keyRepeated(int keyCode) {
        key(keyCode, false);
    }

    private void key(int keyCode, boolean pressed) {
        int count = entries.getCount();
        if (line == 0 || count == 0) {
            return;
        }
        int rows = visibleRows();
        int last = count - 1;
        int s = selected;
        int action = action(this, keyCode);
        if (action == UP) {
            s = s > 0 ? s - 1 : last;
        } else if (action == DOWN) {
            s = s < last ? s + 1 : 0;
        } else if (action == LEFT) {
            s = s == 0 ? last : s > rows ? s - rows : 0;
        } else if (action == RIGHT) {
            s = s == last ? 0 : s + rows < last ? s + rows : last;
        } else if (action == GAME_A) {
            s = 0;
        } else if (action == GAME_C) {
            s = last;
        } else if (action == GAME_B || action == GAME_D) {
            s = action == GAME_B ? (s > 0 ? s - 1 : 0) : s < last ? s + 1 : last;
        } else {
            if (action == FIRE && pressed && listener != null) {
                listener.commandAction(fireCommand, this);
            }
            return;
        }
        setSelected(s);
    }

    private int visibleRows() {
        int rows = (getHeight() - 4) / line;
        return rows < 1 ? 1 : rows;
    }

    /**
     * What a key does on both screens: the phone's game action, with the
     * number keys fixed as 2 up, 8 down, 4 and * left, 6 and # right, 5 fire,
     * 1 GAME_A (to the start) and 7 GAME_C (to the end), 3 GAME_B and 9
     * GAME_D (the previous and the next topic), 0 OPTIONS; 0 for other keys.
     */
    static int action(Canvas canvas, int keyCode) {
        switch (keyCode) {
            case KEY_NUM2: return UP;
            case KEY_NUM8: return DOWN;
            case KEY_NUM4: case KEY_STAR: return LEFT;
            case KEY_NUM6: case KEY_POUND: return RIGHT;
            case KEY_NUM5: return FIRE;
            case KEY_NUM1: return GAME_A;
            case KEY_NUM7: return GAME_C;
            case KEY_NUM3: return GAME_B;
            case KEY_NUM9: return GAME_D;
            case KEY_NUM0: return OPTIONS;
            default:
                try {
                    return canvas.getGameAction(keyCode);
                } catch (RuntimeException e) {
                    return 0;
                }
        }
    }

    static void drawFontError(Graphics g) {
        g.setColor(ink);
        g.drawString("Error loading font.", 1, 1, Graphics.TOP | Graphics.LEFT);
    }

    /**
     * Takes a font image: with a map (or null for cells of a 16 x 16 grid);
     * false when it has no room for glyphs.
     */
    static boolean useImage(Image font, byte[] glyphs) {
        image = font;
        map = glyphs;
        phone = null;
        line = glyphs != null ? glyphs[0] & 0xFF : font.getHeight() / 16;
        return line * 3 / 4 > 0;
    }

    /** Takes the phone's own font. */
    static void usePhoneFont() {
        image = null;
        map = null;
        phone = Font.getDefaultFont();
        line = phone.getHeight();
    }

    /** The room a byte takes on a row (cells: the same for every byte). */
    static int width(int b) {
        b &= 0xFF;
        if (map != null) {
            return map[4 + 4 * b] & 0xFF;
        }
        return phone != null ? (b < 32 || b == 0xAD ? 0 : phone.charWidth(unicode(b))) : line * 3 / 4;
    }

    /** The phone's character for a Windows-1251 byte. */
    static char unicode(int b) {
        return (char) (b >= 0xC0 ? b + 0x350 : b == 0xA8 ? 0x401 : b == 0xB8 ? 0x451 : b == 0x85 ? 0x2026
                       : b == 0x96 ? 0x2013 : b == 0x97 ? 0x2014 : b == 0xB9 ? 0x2116 : b);
    }

    /**
     * Draws count characters of text from x, y, each at its advance, stopping
     * before a character that would start at or beyond right. The clip is
     * left on the last one drawn.
     */
    static void drawText(Graphics g, char[] text, int offset, int count, int x, int y, int right) {
        for (int k = 0; k < count && x < right; k++) {
            x += drawChar(g, text[offset + k], x, y);
        }
    }

    /**
     * One character at x, y (its cell or rectangle; CR and LF, and bytes the
     * map lacks, are not drawn); returns its advance. The clip is left on it.
     */
    static int drawChar(Graphics g, int b, int x, int y) {
        b &= 0xFF;
        int w = width(b);
        if (phone != null) {
            g.setColor(ink);
            g.drawChar(unicode(b), x, y, Graphics.TOP | Graphics.LEFT);
        } else if (w > 0 && b != '\r' && b != '\n') {
            g.setClip(x, y, w, line);
            if (map == null) {
                g.drawImage(image, x - line * (b & 15), y - line * (b >> 4), Graphics.TOP | Graphics.LEFT);
            } else {
                int i = 1 + 4 * b;
                g.drawImage(image, x - ((map[i] & 0xFF) << 8 | map[i + 1] & 0xFF), y - line * (map[i + 2] & 0xFF),
                            Graphics.TOP | Graphics.LEFT);
            }
        }
        return w;
    }
}
