import java.util.Timer;
import javax.microedition.lcdui.Canvas;
import javax.microedition.lcdui.Command;
import javax.microedition.lcdui.CommandListener;
import javax.microedition.lcdui.Graphics;
import javax.microedition.lcdui.Image;

/**
 * The topic menu: one entry of the topic list per row, drawn with the font
 * image, the selected row framed. Up and down move the selection and wrap
 * around, left and right move it by a screen, 1 and 7 go to the first and the
 * last entry, 3 and 9 to the previous and the next one without wrapping; the
 * centre key fires the select command. A selected name wider
 * than the screen scrolls sideways on a timer so that all of it can be read.
 */
public class TFiledMenu extends Canvas {
    /** The action of key 0: the text screen's options. */
    static final int OPTIONS = 100;
    private static final char[] NO_TOPICS = "No topics".toCharArray();
    private final TFiledStringList entries;
    private final Image font;
    private final int cell;
    private final int glyph;
    private final CommandListener listener;
    private final Command fireCommand;
    private int first;
    private int selected;
    private Timer timer;
    private TMenuTicker ticker;
    private boolean visible;
    private int step;
    private int excess;

    /** font may be null: the menu then shows only the font error. */
    public TFiledMenu(TFiledStringList entries, Image font, CommandListener listener,
                      Command fireCommand) {
        this.entries = entries;
        this.font = font;
        this.cell = font == null ? 0 : cellSize(font);
        this.glyph = cell * 3 / 4;
        this.listener = listener;
        this.fireCommand = fireCommand;
    }

    /** The selected entry, or -1 when the menu has no entries. */
    public int getSelected() {
        return entries.getCount() == 0 ? -1 : selected;
    }

    /** Selects an entry and scrolls it into view; entries that do not exist are ignored. */
    public void setSelected(int entry) {
        if (entry < 0 || entry >= entries.getCount() || font == null) {
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
        g.setColor(0xFFFFFF);
        g.fillRect(0, 0, width, height);
        if (font == null) {
            drawFontError(g);
            return;
        }
        if (entries.getCount() == 0) {
            drawText(g, font, cell, NO_TOPICS, 0, NO_TOPICS.length, 1, 2, width);
            return;
        }
        int rows = visibleRows();
        int columns = (width - 4) / glyph;
        for (int r = 0; r < rows; r++) {
            char[] name = entries.getEntry(first + r);
            if (name == null) {
                break;
            }
            int y = 2 + cell * r;
            // The selected name scrolls: it holds at its start, moves a
            // character a tick and holds at its end.
            int from = first + r != selected || step < 2 ? 0 : step - 2 > excess ? excess : step - 2;
            drawText(g, font, cell, name, from, name.length - from, 1, y, width);
            if (first + r == selected) {
                g.setClip(0, 0, width, height);
                g.setColor(0x000000);
                g.drawRect(0, y - 2, columns * glyph + 1, cell + 1);
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
        excess = name == null || font == null ? 0 : name.length - (getWidth() - 4) / glyph;
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
        if (font == null || count == 0) {
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
        int rows = (getHeight() - 4) / cell;
        return rows < 1 ? 1 : rows;
    }

    /** Cell size of a font image: its height div 16. */
    static int cellSize(Image font) {
        return font.getHeight() / 16;
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
        g.setColor(0x000000);
        g.drawString("Error loading font.", 1, 1, Graphics.TOP | Graphics.LEFT);
    }

    /**
     * Draws count characters of text from x, y with the font image, one glyph
     * width apart, stopping before a character that would start at or beyond
     * right. CR and LF stay blank. The clip is left on the last cell drawn.
     */
    static void drawText(Graphics g, Image font, int cell, char[] text, int offset, int count,
                         int x, int y, int right) {
        int glyph = cell * 3 / 4;
        for (int k = 0; k < count && x < right; k++, x += glyph) {
            drawChar(g, font, cell, text[offset + k], x, y);
        }
    }

    /** One character in its cell at x, y; CR and LF are not drawn. The clip is left on the cell. */
    static void drawChar(Graphics g, Image font, int cell, int b, int x, int y) {
        b &= 0xFF;
        if (b != '\r' && b != '\n') {
            g.setClip(x, y, cell * 3 / 4, cell);
            g.drawImage(font, x - cell * (b & 15), y - cell * (b >> 4),
                        Graphics.TOP | Graphics.LEFT);
        }
    }
}
