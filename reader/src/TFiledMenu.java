import javax.microedition.lcdui.Canvas;
import javax.microedition.lcdui.Command;
import javax.microedition.lcdui.CommandListener;
import javax.microedition.lcdui.Graphics;
import javax.microedition.lcdui.Image;

/**
 * The topic menu: one entry of the topic list per row, drawn with the font
 * image, the selected row framed. Up and down move the selection; the centre
 * key fires the select command.
 */
public class TFiledMenu extends Canvas {
    private final TFiledStringList entries;
    private final Image font;
    private final int cell;
    private final int glyph;
    private final CommandListener listener;
    private final Command fireCommand;
    private int first;
    private int selected;

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

    protected void paint(Graphics g) {
        int width = getWidth();
        int height = getHeight();
        g.setColor(0xFFFFFF);
        g.fillRect(0, 0, width, height);
        if (font == null) {
            drawFontError(g);
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
            drawText(g, font, cell, name, 0, name.length, 1, y, width);
            if (first + r == selected) {
                g.setColor(0x000000);
                g.drawRect(0, y - 2, columns * glyph + 1, cell + 1);
            }
        }
    }

    protected void keyPressed(int keyCode) {
        key(keyCode, true);
    }

    protected void keyRepeated(int keyCode) {
        key(keyCode, false);
    }

    private void key(int keyCode, boolean pressed) {
        if (font == null) {
            return;
        }
        int action = gameAction(this, keyCode);
        if (action == UP) {
            if (selected > 0) {
                selected--;
                if (selected < first) {
                    first = selected;
                }
                repaint();
            }
        } else if (action == DOWN) {
            if (selected + 1 < entries.getCount()) {
                selected++;
                int rows = visibleRows();
                if (selected >= first + rows) {
                    first = selected - rows + 1;
                }
                repaint();
            }
        } else if (action == FIRE && pressed && listener != null && getSelected() >= 0) {
            listener.commandAction(fireCommand, this);
        }
    }

    private int visibleRows() {
        int rows = (getHeight() - 4) / cell;
        return rows < 1 ? 1 : rows;
    }

    /** Cell size of a font image: its height div 16. */
    static int cellSize(Image font) {
        return font.getHeight() / 16;
    }

    /** The game action of a key, 0 for keys the phone does not map. */
    static int gameAction(Canvas canvas, int keyCode) {
        try {
            return canvas.getGameAction(keyCode);
        } catch (RuntimeException e) {
            return 0;
        }
    }

    static void drawFontError(Graphics g) {
        g.setColor(0x000000);
        g.drawString("Error loading font.", 1, 1, Graphics.TOP | Graphics.LEFT);
    }

    /**
     * Draws count characters of text from x, y with the font image, one glyph
     * width apart, stopping before a character that would start at or beyond
     * right. CR and LF stay blank.
     */
    static void drawText(Graphics g, Image font, int cell, char[] text, int offset, int count,
                         int x, int y, int right) {
        int glyph = cell * 3 / 4;
        int clipX = g.getClipX();
        int clipY = g.getClipY();
        int clipWidth = g.getClipWidth();
        int clipHeight = g.getClipHeight();
        for (int k = 0; k < count && x < right; k++, x += glyph) {
            int b = text[offset + k] & 0xFF;
            if (b == '\r' || b == '\n') {
                continue;
            }
            g.setClip(clipX, clipY, clipWidth, clipHeight);
            g.clipRect(x, y, glyph, cell);
            g.drawImage(font, x - cell * (b & 15), y - cell * (b >> 4),
                        Graphics.TOP | Graphics.LEFT);
        }
        g.setClip(clipX, clipY, clipWidth, clipHeight);
    }
}
