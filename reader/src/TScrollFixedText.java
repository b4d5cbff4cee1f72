import java.io.IOException;
import java.io.InputStream;
import javax.microedition.lcdui.Canvas;
import javax.microedition.lcdui.Graphics;
import javax.microedition.lcdui.Image;

/**
 * One topic text in a fixed grid: W x H bytes from the current byte position,
 * cut into rows of exactly W bytes, CR and LF as blank cells. Up and down
 * scroll by one row; down stops once the end of the text is on the first row.
 */
public class TScrollFixedText extends Canvas {
    private final String resource;
    private final Image font;
    private final int cell;
    private final int glyph;
    private int position;
    private int loadedPosition = -1;
    private char[] window = new char[0];
    private boolean failed;

    /** font may be null: the screen then shows the font error and ignores keys. */
    public TScrollFixedText(String resource, Image font, int position) {
        this.resource = resource;
        this.font = font;
        this.cell = font == null ? 0 : TFiledMenu.cellSize(font);
        this.glyph = cell * 3 / 4;
        this.position = position < 0 ? 0 : position;
    }

    /** The byte offset of the first byte shown. */
    public int getPosition() {
        return position;
    }

    protected void paint(Graphics g) {
        int width = getWidth();
        g.setColor(0xFFFFFF);
        g.fillRect(0, 0, width, getHeight());
        if (font == null) {
            TFiledMenu.drawFontError(g);
            return;
        }
        load();
        if (failed) {
            g.setColor(0x000000);
            g.drawString("Error loading topic.", 1, 1, Graphics.TOP | Graphics.LEFT);
            return;
        }
        int columns = columns();
        int shown = columns * rows();
        if (shown > window.length) {
            shown = window.length;
        }
        for (int k = 0, y = 0; k < shown; k += columns, y += cell) {
            int count = shown - k < columns ? shown - k : columns;
            TFiledMenu.drawText(g, font, cell, window, k, count, 2, y, width);
        }
    }

    protected void keyPressed(int keyCode) {
        key(keyCode);
    }

    protected void keyRepeated(int keyCode) {
        key(keyCode);
    }

    private void key(int keyCode) {
        if (font == null) {
            return;
        }
        int action = TFiledMenu.gameAction(this, keyCode);
        if (action == UP) {
            if (position > 0) {
                position = position > columns() ? position - columns() : 0;
                repaint();
            }
        } else if (action == DOWN) {
            load();
            // Only move while another row follows the first one.
            if (!failed && window.length > columns()) {
                position += columns();
                repaint();
            }
        }
    }

    private int columns() {
        int columns = (getWidth() - 2) / glyph;
        return columns < 1 ? 1 : columns;
    }

    private int rows() {
        int rows = (getHeight() - 2) / cell;
        return rows < 1 ? 1 : rows;
    }

    /**
     * Reads the bytes shown at the current position, plus the start of the
     * next row when the screen has only one, so that down knows whether the
     * text goes on. A position beyond the end (a text that became shorter)
     * starts the text again from the top.
     */
    private void load() {
        if (loadedPosition == position && !failed) {
            return;
        }
        int columns = columns();
        int want = columns * rows();
        if (want <= columns) {
            want = columns + 1;
        }
        byte[] bytes = read(position, want);
        if (bytes != null && bytes.length == 0 && position > 0) {
            position = 0;
            bytes = read(0, want);
        }
        if (bytes == null) {
            failed = true;
            window = new char[0];
            return;
        }
        failed = false;
        loadedPosition = position;
        window = new char[bytes.length];
        for (int k = 0; k < bytes.length; k++) {
            window[k] = (char) (bytes[k] & 0xFF);
        }
    }

    /** At most count bytes from offset, or null when the text cannot be read. */
    private byte[] read(int offset, int count) {
        InputStream in = getClass().getResourceAsStream(resource);
        if (in == null) {
            return null;
        }
        try {
            long rest = offset;
            while (rest > 0) {
                long skipped = in.skip(rest);
                if (skipped <= 0) {
                    if (in.read() < 0) {
                        break;
                    }
                    skipped = 1;
                }
                rest -= skipped;
            }
            if (rest > 0) {
                return new byte[0];
            }
            return TFiledStringList.readAll(in, count);
        } catch (IOException e) {
            return null;
        } finally {
            try {
                in.close();
            } catch (IOException e) {
                // read only
            }
        }
    }
}
