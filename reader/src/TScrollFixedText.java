import java.io.IOException;
import java.io.InputStream;
import javax.microedition.lcdui.Canvas;
import javax.microedition.lcdui.Graphics;
import javax.microedition.lcdui.Image;

/**
 * One topic text, shown from the byte position of its first row in one of two
 * layouts:
 * - grid: rows of exactly W bytes, CR and LF as blank cells; down stops once
 *   the end of the text is on the first row;
 * - words: rows break at blanks (inside a word only when it is longer than a
 *   row), an LF ends a row, CR takes no room, a tab reaches the next multiple
 *   of 4 columns; down stops once the last row is at the bottom.
 * Up and down move a row, left and right a screen less one row (so do 4 and
 * 6, * and #, and the centre key forwards), 1 goes to the start and 7 to the
 * end. A line one pixel high shows how much of the text has been shown.
 *
 * The text's stream stays open while the screen is: reading on only reads
 * what is new, and a buffer keeps the last few screens, so going back reads
 * the text from its start again only when it leaves the buffer.
 */
public class TScrollFixedText extends Canvas {
    private final String resource;
    private final Image font;
    private final int cell;
    private final int glyph;
    private final boolean words;
    private final LumeriaMain owner;
    private int length;
    private int position;
    private int presses;
    private boolean failed;

    // The bytes [start, start + count) of the text are in buf; the stream
    // stands at start + count.
    private InputStream in;
    private byte[] buf;
    private int start;
    private int count;
    private boolean atEnd;
    private int[] rows;

    /**
     * font may be null: the screen then shows the font error and ignores keys.
     * length is the text's size in bytes, or -1 when not known; owner, when
     * given, is told every 20 keys so that it can keep the position.
     */
    public TScrollFixedText(String resource, Image font, int position, boolean words, int length,
                            LumeriaMain owner) {
        this.resource = resource;
        this.font = font;
        this.cell = font == null ? 0 : TFiledMenu.cellSize(font);
        this.glyph = cell * 3 / 4;
        this.position = position < 0 ? 0 : position;
        this.words = words;
        this.length = length;
        this.owner = owner;
    }

    /** The byte offset of the first byte shown. */
    public int getPosition() {
        return position;
    }

    /** Closes the text's stream. */
    public void close() {
        if (in != null) {
            try {
                in.close();
            } catch (IOException e) {
                // read only
            }
            in = null;
        }
    }

    protected void paint(Graphics g) {
        int width = getWidth();
        int height = getHeight();
        g.setColor(0xFFFFFF);
        g.fillRect(0, 0, width, height);
        if (font == null) {
            TFiledMenu.drawFontError(g);
            return;
        }
        ready();
        int h = rows();
        int shown = layout(position, h);
        if (shown == 0 && position > 0 && !failed) {
            // A position beyond the end (a text that became shorter): from the top.
            position = 0;
            shown = layout(0, h);
        }
        if (failed) {
            g.setColor(0x000000);
            g.drawString("Error loading topic.", 1, 1, Graphics.TOP | Graphics.LEFT);
            return;
        }
        int top = words ? 2 : 0;
        int columns = columns();
        for (int r = 0; r < shown; r++) {
            int col = 0;
            for (int i = rows[r]; i < rows[r + 1]; i++) {
                int b = buf[i - start];
                if (words && (b == '\r' || b == '\n')) {
                    continue;
                }
                if (words && b == '\t') {
                    col = (col / 4 + 1) * 4;
                    continue;
                }
                if (col < columns) {
                    TFiledMenu.drawChar(g, font, cell, b, 2 + glyph * col, top + cell * r);
                }
                col++;
            }
        }
        g.setClip(0, 0, width, height);
        if (length > 0) {
            // Along the top (words) or in the free pixels below the grid.
            g.setColor(0x000000);
            g.fillRect(0, words ? 0 : height - 1, (int) ((long) width * rows[shown] / length), 1);
        }
    }

    protected void keyPressed(int keyCode) {
        key(keyCode);
    }

    protected void keyRepeated(int keyCode) {
        key(keyCode);
    }

    private void key(int keyCode) {
        if (font == null || failed) {
            return;
        }
        ready();
        int page = rows() > 1 ? rows() - 1 : 1;
        int action = TFiledMenu.action(this, keyCode);
        if (action == UP) {
            position = back(position, 1);
        } else if (action == LEFT) {
            position = back(position, page);
        } else if (action == DOWN) {
            forward(1);
        } else if (action == RIGHT || action == FIRE) {
            forward(page);
        } else if (action == GAME_A) {
            position = 0;
        } else if (action == GAME_C) {
            toEnd();
        } else {
            return;
        }
        repaint();
        if (++presses % 20 == 0 && owner != null) {
            owner.keep();
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

    /** The buffer: a few screens and 4 KB more to go back in; the row starts of two screens. */
    private void ready() {
        if (buf == null) {
            rows = new int[2 * rows() + 2];
            buf = new byte[4096 + 4 * (rows() + 2) * (columns() + 1)];
        }
    }

    /** Moves down by at most n rows, as far as the layout lets the text scroll. */
    private void forward(int n) {
        int limit = words ? rows() : 1;
        int k = layout(position, n + limit) - limit;
        if (k > 0) {
            position = rows[k < n ? k : n];
        }
    }

    /** Shows the end of the text: its last screen (grid: rows counted from here). */
    private void toEnd() {
        while (!atEnd && fill(start + count, start + count + buf.length / 2)) {
            // reads on to the end, keeping half a buffer behind
        }
        if (failed || !atEnd) {
            return;
        }
        if (words) {
            position = back(length, rows());
        } else if (length > position) {
            int w = columns();
            int last = position + (length - 1 - position) / w * w;
            int up = last / w < rows() - 1 ? last / w : rows() - 1;
            position = last - up * w;
        }
    }

    /**
     * The start of the row n rows above the row that starts at p (or that
     * holds p). Words: the rows are laid out from the nearest line start at
     * least n rows' bytes before p, looked for in the bytes at hand and then
     * within half a buffer before p; in a paragraph longer than that, from
     * just after a blank.
     */
    private int back(int p, int n) {
        if (p <= 0) {
            return 0;
        }
        int w = columns();
        if (!words) {
            return p > n * w ? p - n * w : 0;
        }
        int s = p - buf.length / 2;
        if (s < 0) {
            s = 0;
        }
        int q = p - n * (w + 1);
        if (q < s) {
            q = s;
        }
        int low = start > s ? start : s;
        int t = -1;
        if (in != null && low <= q && p <= start + count) {
            t = lineStart(low, q);
            if (t == low && low > s) {
                t = -1;
            }
        }
        if (t < 0) {
            if (!fill(s, p)) {
                return p;
            }
            t = lineStart(s, q);
        }
        if (t == s && s > 0) {
            while (t < p && buf[t - start] != ' ') {
                t++;
            }
            t = t < p ? t + 1 : s;
        }
        // The last n row starts before p, in a ring.
        int k = 0;
        rows[0] = t;
        for (int e = next(t); e < p; e = next(e)) {
            rows[++k % n] = e;
        }
        return k < n ? t : rows[(k + 1) % n];
    }

    /** The last line start after from, at t or before; from when there is none. */
    private int lineStart(int from, int t) {
        while (t > from && buf[t - 1 - start] != '\n') {
            t--;
        }
        return t;
    }

    /**
     * Lays out up to n rows from the byte position from: rows[0] = from and
     * rows[k + 1] is where row k ends. Returns the number of rows before the
     * end of the text (0 when from is at or beyond it, or the text cannot be
     * read).
     */
    private int layout(int from, int n) {
        if (!fill(from, from + n * (columns() + 1) + 1)) {
            return 0;
        }
        int k = 0;
        rows[0] = from;
        while (k < n && rows[k] < start + count) {
            rows[k + 1] = next(rows[k]);
            k++;
        }
        return k;
    }

    /** Where the row that starts at s ends, within the bytes read. */
    private int next(int s) {
        int end = start + count;
        int w = columns();
        if (!words) {
            return s + w < end ? s + w : end;
        }
        int col = 0;
        int blank = -1;
        for (int i = s; i < end; i++) {
            int b = buf[i - start];
            if (b == '\n') {
                return i + 1;
            }
            if (b == '\r') {
                continue;
            }
            int room = b == '\t' ? 4 - col % 4 : 1;
            if (col + room > w) {
                // The row is full: break at this blank, after the last one, or in the word.
                return b == ' ' || b == '\t' ? i + 1 : blank > 0 ? blank : i;
            }
            if (b == ' ' || b == '\t') {
                blank = i + 1;
            }
            col += room;
        }
        return end;
    }

    /**
     * Makes the bytes [from, to) of the text readable in buf, as far as the
     * text goes (to - from must not exceed the buffer). Reading on keeps the
     * bytes just before to; going back before the buffer reads the text from
     * its start again. False (and the screen failed) when the text cannot be
     * read.
     */
    private boolean fill(int from, int to) {
        try {
            if (in == null || from < start) {
                close();
                in = getClass().getResourceAsStream(resource);
                if (in == null) {
                    failed = true;
                    return false;
                }
                start = 0;
                count = 0;
                atEnd = false;
            }
            int low = to - buf.length;
            while (start + count < to && !atEnd) {
                if (low > start) {
                    int drop = low - start < count ? low - start : count;
                    System.arraycopy(buf, drop, buf, 0, count - drop);
                    start += drop;
                    count -= drop;
                }
                int n = in.read(buf, count, buf.length - count);
                if (n <= 0) {
                    atEnd = true;
                    length = start + count;
                } else {
                    count += n;
                }
            }
            return true;
        } catch (IOException e) {
            close();
            failed = true;
            return false;
        }
    }
}
