import java.io.IOException;
import java.io.InputStream;
import java.util.Timer;
import javax.microedition.lcdui.Canvas;
import javax.microedition.lcdui.Graphics;

/**
 * One topic text, shown from the byte position of its first row in one of two
 * layouts:
 * - grid: rows of exactly W bytes, CR and LF as blank cells; down stops once
 *   the end of the text is on the first row; a line one pixel high along the
 *   bottom shows how much of the text has been shown;
 * - words: a status row on top (the topic's name, how far into the topic and
 *   into the book the screen ends) over the same line; rows break at blanks
 *   (inside a word only when it is longer than a row), an LF ends a row, CR
 *   takes no room, a tab reaches the next multiple of 4 columns; down stops
 *   once the last row is at the bottom. A paragraph's first row is indented
 *   two columns, or (gap style) paragraphs are a third of a row apart; a line
 *   that starts with byte 1 is a heading, centred with a blank row after it;
 *   a scene break ("* * *", "***", "#") is centred; the book's last topic ends
 *   in a centred "* * *"; an empty topic shows a note. Letters stand at the
 *   font's own advances; a row breaks inside a word only at a soft hyphen
 *   (byte 0xAD, else taking no room), after a hyphen, or for a word longer
 *   than a row, and shows "-" where it breaks a word; no piece of a word on
 *   either side of such a break is a single letter.
 * Up and down move a row, left and right a screen less one row (so do 4 and
 * 6, * and #, and the centre key forwards), 1 goes to the start and 7 to the
 * end. In the words layout going on at the end of a topic (down, right, the
 * centre key) opens the next one, going back at its start the end of the
 * previous one; 9 and 3 open the next and the previous topic at their start
 * and 0 the options.
 *
 * The text's stream stays open while the screen is: reading on only reads
 * what is new, and a buffer keeps the last few screens, so going back reads
 * the text again only when it leaves the buffer. A words text longer than
 * PIECE bytes is stored in pieces of PIECE bytes (the resource, then the
 * resource with "_1", "_2", ...), so that a jump reads at most a piece to get
 * where it goes; a read of more than a piece first shows "Wait...".
 */
public class TScrollFixedText extends Canvas implements Runnable {
    static final int PIECE = 16384;
    private static final char[] END = "* * *".toCharArray();
    private final String resource;
    private final char[][] note;
    private final char[] title;
    private final boolean words;
    private final boolean gap;
    private final boolean endMark;
    private final LumeriaMain owner;
    private final int before;
    private final int total;
    private int length;
    private int position;
    private int kept;
    private boolean failed;
    private boolean placed;
    private boolean waiting;
    private boolean warned;
    private long written;
    private char[] flash;
    private Timer timer;
    private TMenuTicker repeater;
    private int held;

    // The bytes [start, start + count) of the text are in buf; the stream
    // stands at start + count and reads piece `piece`.
    private InputStream in;
    private byte[] buf;
    private int start;
    private int count;
    private int piece;
    private boolean atEnd;
    private int[] rows;

    /**
     * Without a font (TFiledMenu.line 0) the screen shows the font error and
     * ignores keys. resource null shows only the note, as does an empty text. length is the
     * text's size in bytes, or -1 when not known. before and total place the
     * text in the book (bytes of the texts before it, of all texts) for the
     * status row; endMark asks for the end mark after the text.
     */
    public TScrollFixedText(String resource, int position, boolean words, int length,
                            LumeriaMain owner, char[] title, char[][] note, boolean gap,
                            boolean endMark, int before, int total) {
        this.resource = resource;
        this.position = position < 0 ? 0 : position;
        this.kept = this.position;
        this.placed = !words || this.position == 0;
        this.words = words;
        this.length = length;
        this.owner = owner;
        this.title = title;
        this.note = note;
        this.gap = gap;
        this.endMark = endMark;
        this.before = before;
        this.total = total;
    }

    /** The byte offset of the first byte shown. */
    public int getPosition() {
        return position;
    }

    /** The text's size in bytes, -1 while not known. */
    public int getLength() {
        return length;
    }

    /** Closes the text's stream and stops the key repeat. */
    public void close() {
        repeat(0);
        closeStream();
    }

    private void closeStream() {
        if (in != null) {
            try {
                in.close();
            } catch (IOException e) {
                // read only
            }
            in = null;
        }
    }

    /** Shows the row that holds byte p (a find, a percentage). */
    public void showAt(int p) {
        ready();
        position = rowOf(p < 0 ? 0 : p);
        placed = true;
        repaint();
    }

    /** Shows a short line on the status row until the next key. */
    public void flash(String s) {
        flash = s.toCharArray();
        repaint();
    }

    protected void paint(Graphics g) {
        int width = getWidth();
        int height = getHeight();
        int cell = TFiledMenu.line;
        g.setColor(TFiledMenu.paper);
        g.fillRect(0, 0, width, height);
        if (cell == 0) {
            TFiledMenu.drawFontError(g);
            return;
        }
        if (waiting) {
            mark(g, "Wait\u2026");
            return;
        }
        ready();
        if (!warned) {
            // Opening far into a long text: the mark first, the text at the next paint.
            warned = true;
            if (cost(position) > PIECE) {
                mark(g, "Wait\u2026");
                repaint();
                return;
            }
        }
        if (!placed) {
            // A kept place that is no row start (a changed font or text) goes
            // back to the start of its paragraph.
            placed = true;
            int row = rowOf(position);
            if (row != position) {
                position = paragraphOf(position);
            }
        }
        int h = rows();
        int shown = layout(position, h);
        if (shown == 0 && position > 0 && !failed) {
            // A position beyond the end (a text that became shorter): from the top.
            position = 0;
            shown = layout(0, h);
        }
        if (failed) {
            mark(g, "Error loading topic.");
            return;
        }
        if (words && (resource == null || length == 0)) {
            int y = top() + (rows() - note.length) / 2 * cell;
            for (int i = 0; i < note.length; i++, y += cell) {
                drawRow(g, note[i], centre(note[i]), y, width);
            }
            return;
        }
        shown = fits(0, shown);
        int y = top();
        int glyph = cell * 3 / 4;
        for (int r = 0; r < shown; r++) {
            int s = rows[r];
            int e = rows[r + 1];
            if (r > 0 && gapBefore(s)) {
                y += cell / 3;
            }
            if (endMark && s == length) {
                drawRow(g, END, centre(END), y, width);
                break;
            }
            if (!words) {
                for (int i = s, col = 0; i < e && col < columns(); i++, col++) {
                    TFiledMenu.drawChar(g, buf[i - start], 2 + glyph * col, y);
                }
                y += cell;
                continue;
            }
            int x = indent(s);
            if (heading(s) || sceneBreak(s, e)) {
                x = (room() - used(s, e)) / 2 / space() * space();
            }
            for (int i = s; i < e; i++) {
                int b = buf[i - start] & 0xFF;
                if (b == '\t') {
                    x = (x / tab() + 1) * tab();
                } else if (b != 0xAD && b != '\r' && b != '\n' && b != 1) {
                    x += TFiledMenu.drawChar(g, b, 2 + x, y);
                }
            }
            if (hyphen(e)) {
                TFiledMenu.drawChar(g, '-', 2 + x, y);
            }
            y += cell;
        }
        int end = rows[shown] > length ? length : rows[shown];
        if (words) {
            status(g, end, width);
        }
        g.setClip(0, 0, width, height);
        if (length > 0) {
            // Under the status row (words) or in the free pixels below the grid.
            g.setColor(TFiledMenu.ink);
            g.fillRect(0, words ? cell : height - 1, (int) ((long) width * end / length), 1);
        }
    }

    private static void mark(Graphics g, String s) {
        g.setColor(TFiledMenu.ink);
        g.drawString(s, 1, 1, Graphics.TOP | Graphics.LEFT);
    }

    /** The status row: the name cut to fit with "...", then the topic's and the book's percentage. */
    private void status(Graphics g, int end, int width) {
        if (flash != null) {
            drawRow(g, flash, 0, 0, width);
            return;
        }
        char[] right = (percent(end, length) + "% " + percent(before + end, total) + "%").toCharArray();
        int room = room() - widthOf(right) - space();
        if (room < 4 * space()) {
            right = (percent(end, length) + "%").toCharArray();
            room = room() - widthOf(right) - space();
        }
        char[] left = title;
        if (left != null && room > 0) {
            if (widthOf(left) > room) {
                // As many characters as fit with the "..." after them.
                int k = 0;
                int x = TFiledMenu.width(0x85);
                while (k < left.length && x + TFiledMenu.width(left[k]) <= room) {
                    x += TFiledMenu.width(left[k++]);
                }
                char[] cut = new char[k + 1];
                System.arraycopy(left, 0, cut, 0, k);
                cut[k] = (char) 0x85;
                left = cut;
            }
            drawRow(g, left, 0, 0, width);
        }
        drawRow(g, right, (room() - widthOf(right)) / space() * space(), 0, width);
    }

    /** Where a line starts to stand centred, on the grid of blanks. */
    private int centre(char[] text) {
        int x = (room() - widthOf(text)) / 2;
        return x > 0 ? x / space() * space() : 0;
    }

    private static int widthOf(char[] text) {
        int w = 0;
        for (int i = 0; i < text.length; i++) {
            w += TFiledMenu.width(text[i]);
        }
        return w;
    }

    private static int percent(int part, int whole) {
        return whole <= 0 ? 0 : (int) ((long) part * 100 / whole);
    }

    private void drawRow(Graphics g, char[] text, int x, int y, int width) {
        TFiledMenu.drawText(g, text, 0, text.length, 2 + (x > 0 ? x : 0), y, width);
    }

    protected void keyPressed(int keyCode) {
        flash = null;
        if (!hasRepeatEvents()) {
            repeat(keyCode);
        }
        key(keyCode, true);
    }

    protected void keyRepeated(int keyCode) {
        key(keyCode, false);
    }

    protected void keyReleased(int keyCode) {
        repeat(0);
        keep();
    }

    /** One step of a held key on a phone that sends no repeats: from the timer's thread to the screen's. */
    void tick() {
        if (owner != null) {
            owner.serially(this);
        }
    }

    public void run() {
        if (held != 0) {
            key(held, false);
        }
    }

    /** Starts (a key code) or stops (0) the reader's own repeat of a held key. */
    private void repeat(int keyCode) {
        if (repeater != null) {
            repeater.cancel();
            repeater = null;
        }
        held = keyCode;
        int action = TFiledMenu.action(this, keyCode);
        if (keyCode != 0 && (action == DOWN || action == RIGHT || action == UP || action == LEFT)) {
            if (timer == null) {
                timer = new Timer();
            }
            repeater = new TMenuTicker(this);
            timer.schedule(repeater, 500, 150);
        } else if (timer != null && keyCode == 0) {
            timer.cancel();
            timer = null;
        }
    }

    /** Has the place written when it moved: at once, or while a key is held at most once a second. */
    private void keep() {
        if (position != kept && owner != null) {
            kept = position;
            written = System.currentTimeMillis();
            owner.keep();
        }
    }

    private void key(int keyCode, boolean pressed) {
        if (TFiledMenu.line == 0 || failed) {
            return;
        }
        ready();
        int action = TFiledMenu.action(this, keyCode);
        if (words && owner != null && pressed) {
            if (keyCode == KEY_STAR || keyCode == KEY_POUND) {
                // The next font size, and night reading on or off.
                owner.font(keyCode == KEY_STAR);
                return;
            }
            if (action == TFiledMenu.OPTIONS) {
                owner.options();
                return;
            }
            if (action == GAME_B || action == GAME_D) {
                owner.go(action == GAME_D ? 1 : -1, 1);
                return;
            }
        }
        int page = fits(0, layout(position, rows())) - 1;
        if (page < 1) {
            page = 1;
        }
        int was = position;
        boolean back = action == UP || action == LEFT;
        if (resource == null || words && length == 0) {
            // A note: only going on or back.
        } else if (action == UP) {
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
        if (position == was && words && owner != null && pressed
                && (back || action == DOWN || action == RIGHT || action == FIRE)) {
            owner.go(back ? -1 : 1, back ? 2 : 0);
            return;
        }
        repaint();
        if (!pressed && System.currentTimeMillis() - written >= 1000) {
            keep();
        }
    }

    /** Text rows from here: below the status row in the words layout. */
    private int top() {
        return words ? TFiledMenu.line + 2 : 0;
    }

    /** Grid: the cells of a row. */
    private int columns() {
        int columns = (getWidth() - 2) / (TFiledMenu.line * 3 / 4);
        return columns < 1 ? 1 : columns;
    }

    /** Words: the pixels of a row. */
    private int room() {
        return getWidth() - 2;
    }

    /** Words: at most the bytes of a row (the narrowest letters, soft hyphens between them). */
    private int perRow() {
        if (!words) {
            return columns() + 1;
        }
        int narrow = TFiledMenu.width('.');
        int w = TFiledMenu.width('i');
        narrow = w > 0 && w < narrow || narrow == 0 ? w : narrow;
        return room() / (narrow > 0 ? narrow : 1) * 3 / 2 + 2;
    }

    private static int space() {
        int w = TFiledMenu.width(' ');
        return w > 0 ? w : 1;
    }

    private static int tab() {
        return 4 * space();
    }

    private int rows() {
        int rows = (getHeight() - (words ? top() : 2)) / TFiledMenu.line;
        return rows < 1 ? 1 : rows;
    }

    /** How many of the laid-out rows from row k on fit on the screen (at least one). */
    private int fits(int k, int n) {
        int cell = TFiledMenu.line;
        int y = top() + cell;
        int fit = 1;
        for (int r = k + 1; r < n; r++) {
            y += cell + (gapBefore(rows[r]) ? cell / 3 : 0);
            if (y > getHeight()) {
                break;
            }
            fit++;
        }
        return n - k < fit ? n - k : fit;
    }

    private boolean gapBefore(int s) {
        return gap && words && s < length && lineStart(s);
    }

    /** The buffer: a few screens and 4 KB more to go back in; the row starts of two screens. */
    private void ready() {
        if (buf == null) {
            rows = new int[2 * rows() + 3];
            buf = new byte[4096 + 4 * (rows() + 2) * perRow()];
        }
    }

    /** Moves down by at most n rows, as far as the layout lets the text scroll. */
    private void forward(int n) {
        if (!words) {
            int k = layout(position, n + 1) - 1;
            if (k > 0) {
                position = rows[k < n ? k : n];
            }
            return;
        }
        int all = layout(position, n + rows());
        int k = n < all ? n : all - 1;
        if (all < n + rows()) {
            // The end is near: no further than where the last row is at the bottom.
            int s = 0;
            while (s < k && s + fits(s, all) < all) {
                s++;
            }
            k = s < k ? s : k;
        }
        if (k > 0) {
            position = rows[k];
        }
    }

    /** Shows the end of the text: its last screen (grid: rows counted from here). */
    private void toEnd() {
        if (length < 0 || !words) {
            wait(length < 0 ? PIECE + 1 : length - start - count);
            while (!atEnd && fill(start + count, start + count + buf.length / 2)) {
                // reads on to the end, keeping half a buffer behind
            }
            waiting = false;
        }
        if (failed || length < 0) {
            return;
        }
        if (words) {
            position = back(length, rows());
            forward(rows());
        } else if (length > position) {
            int w = columns();
            int last = position + (length - 1 - position) / w * w;
            int up = last / w < rows() - 1 ? last / w : rows() - 1;
            position = last - up * w;
        }
    }

    /** About how many bytes must be read to show the text from p. */
    private int cost(int p) {
        boolean pieces = words && length > PIECE;
        if (in != null && p > start && p <= start + count) {
            return 0;
        }
        if (in != null && p > start + count && !(pieces && p > start + count + PIECE)) {
            return p - start - count;
        }
        return pieces ? p % PIECE : p;
    }

    /** Shows "Wait..." now when a read of more than a piece lies ahead. */
    private void wait(int bytes) {
        if (bytes > PIECE) {
            waiting = true;
            repaint();
            serviceRepaints();
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
        int w = words ? 0 : columns();
        if (!words) {
            return p > n * w ? p - n * w : 0;
        }
        int s = p - buf.length / 2;
        if (s < 0) {
            s = 0;
        }
        int q = p - n * perRow();
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
        if (t == s && s > 0 && !lineStart(s)) {
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

    /** The start of the row that holds p (grid: p itself). */
    private int rowOf(int p) {
        if (!words || p <= 0) {
            return p;
        }
        int r = back(p, 1);
        for (int e = r; e <= p && e < start + count; e = next(e)) {
            r = e;
        }
        return r;
    }

    /** The start of the paragraph that holds p, when it lies within half a buffer. */
    private int paragraphOf(int p) {
        int s = p - buf.length / 2;
        if (!fill(s < 0 ? 0 : s, p)) {
            return 0;
        }
        return lineStart(s < 0 ? 0 : s, p);
    }

    /** The last line start after from, at t or before; from when there is none. */
    private int lineStart(int from, int t) {
        while (t > from && buf[t - 1 - start] != '\n') {
            t--;
        }
        return t;
    }

    /** True when s starts a line (the byte before it is at hand or s is 0). */
    private boolean lineStart(int s) {
        return s == 0 || s > start && s <= start + count && buf[s - 1 - start] == '\n';
    }

    /** True when the line that holds s (its start at most 256 bytes back) is a heading. */
    private boolean heading(int s) {
        int l = s;
        while (l > start && l > s - 256 && buf[l - 1 - start] != '\n') {
            l--;
        }
        return (l == 0 || l > start && buf[l - 1 - start] == '\n') && l < start + count
            && buf[l - start] == 1;
    }

    /** The pixels a paragraph's first row is indented by: two figures' widths. */
    private int indent(int s) {
        if (gap || !lineStart(s) || s >= start + count) {
            return 0;
        }
        int b = buf[s - start];
        return b == ' ' || b == '\t' || b == '\r' || b == '\n' || b == 1 ? 0 : 2 * TFiledMenu.width('0');
    }

    /** True for a whole line that is a scene break: "* * *", "***" or "#", blanks around it. */
    private boolean sceneBreak(int s, int e) {
        if (!lineStart(s) || e - s > 12 || e < start + count && buf[e - 1 - start] != '\n') {
            return false;
        }
        int stars = 0;
        int other = 0;
        for (int i = s; i < e; i++) {
            int c = buf[i - start];
            if (c == '*') {
                stars++;
            } else if (c == '#') {
                stars += 3;
                other++;
            } else if (c != ' ' && c != '\r' && c != '\n' && c != '\t') {
                other += 2;
            }
        }
        return stars == 3 && other < 2;
    }

    /** The pixels the bytes [s, e) take, trailing blanks not counted, a hyphen at a broken word's end counted. */
    private int used(int s, int e) {
        int x = 0;
        int end = 0;
        for (int i = s; i < e; i++) {
            int b = buf[i - start] & 0xFF;
            if (b == '\t') {
                x = (x / tab() + 1) * tab();
            } else if (b != 0xAD && b != '\r' && b != '\n' && b != 1) {
                x += TFiledMenu.width(b);
                if (b != ' ') {
                    end = x;
                }
            }
        }
        return hyphen(e) ? end + TFiledMenu.width('-') : end;
    }

    /** True for a letter, a figure or a sign that belongs to a word (no blank, line end, mark or hyphen). */
    private boolean inWord(int i) {
        if (i < start || i >= start + count) {
            return false;
        }
        int b = buf[i - start] & 0xFF;
        return b > ' ' && b != '-' && b != 0xAD && b != 0xA0;
    }

    /** True when a row that ends at e breaks a word: after a soft hyphen, or between two letters. */
    private boolean hyphen(int e) {
        return e > start && e <= start + count && (buf[e - 1 - start] & 0xFF) == 0xAD || inWord(e - 1) && inWord(e);
    }

    /**
     * Lays out up to n rows from the byte position from: rows[0] = from and
     * rows[k + 1] is where row k ends. Returns the number of rows before the
     * end of the text (0 when from is at or beyond it, or the text cannot be
     * read); the end mark is a row of its own, at the text's length.
     */
    private int layout(int from, int n) {
        if (!fill(from, from + n * perRow() + 1)) {
            return 0;
        }
        int k = 0;
        rows[0] = from;
        while (k < n && rows[k] < start + count) {
            rows[k + 1] = next(rows[k]);
            k++;
        }
        if (endMark && k < n && rows[k] == length && (k > 0 || from == length)) {
            rows[++k] = length + 1;
        }
        return k;
    }

    /** Where the row that starts at s ends, within the bytes read. */
    private int next(int s) {
        int end = start + count;
        if (!words) {
            int w = columns();
            return s + w < end ? s + w : end;
        }
        boolean head = heading(s);
        int room = room();
        int dash = TFiledMenu.width('-');
        int x = indent(s);
        int blank = -1;  // a break after a blank
        int soft = -1;   // a break after a soft hyphen or a hyphen, with room for what it shows
        int fit = -1;    // the last break inside a word that leaves room for "-"
        for (int i = s; i < end; i++) {
            int b = buf[i - start] & 0xFF;
            if (b == '\n') {
                // A heading's line end is a blank row of its own.
                return head && i > s ? i : i + 1;
            }
            if (b == 0xAD) {
                if (x + dash <= room) {
                    soft = i + 1;
                }
                continue;
            }
            int w = b == '\t' ? tab() - x % tab() : b == '\r' || b == 1 ? 0 : TFiledMenu.width(b);
            if (x + w > room) {
                // The row is full: break at this blank, at the last break point, or in the word.
                if (b == ' ' || b == '\t') {
                    return i + 1;
                }
                int at = blank > soft ? blank : soft;
                if (at > s) {
                    return at;
                }
                // A word longer than a row: no single letter left on either side.
                at = fit > s ? fit : i > s ? i : s + 1;
                if (at - s > 2 && inWord(at) && !inWord(at + 1) && at + 1 < end) {
                    at--;
                }
                return at;
            }
            x += w;
            if (b == ' ' || b == '\t') {
                blank = i + 1;
            } else if (b == '-' && inWord(i - 1) && inWord(i + 1)) {
                soft = i + 1;
            }
            if (inWord(i) && inWord(i + 1) && x + dash <= room) {
                fit = i + 1;
            }
        }
        return end;
    }

    /**
     * Finds the bytes of what (Windows-1251 letters in either case) from byte
     * from on; returns where they start, or -1.
     */
    int find(byte[] what, int from) {
        ready();
        int half = buf.length / 2;
        for (int p = from < 0 ? 0 : from; fill(p, p + half); p += half - what.length) {
            int end = start + count;
            for (int i = p; i + what.length <= end; i++) {
                int k = 0;
                while (k < what.length && fold(buf[i + k - start]) == fold(what[k])) {
                    k++;
                }
                if (k == what.length) {
                    return i;
                }
            }
            if (end < p + half) {
                break;
            }
        }
        return -1;
    }

    /** A Windows-1251 byte in lower case. */
    static int fold(int b) {
        b &= 0xFF;
        return b >= 'A' && b <= 'Z' || b >= 0xC0 && b <= 0xDF ? b + 32 : b == 0xA8 ? 0xB8 : b;
    }

    /**
     * Makes the bytes [from, to) of the text readable in buf, as far as the
     * text goes (to - from must not exceed the buffer), with the byte before
     * from where there is one. Reading on keeps the bytes just before to;
     * going back before the buffer, or far ahead of it, reads again from the
     * start of the piece that holds from. False (and the screen failed) when
     * the text cannot be read.
     */
    private boolean fill(int from, int to) {
        if (resource == null) {
            atEnd = true;
            return true;
        }
        try {
            int need = from > 0 ? from - 1 : 0;
            boolean pieces = words && length > PIECE;
            if (in == null || need < start || pieces && need > start + count + PIECE) {
                closeStream();
                open(pieces ? need / PIECE : 0);
                if (in == null) {
                    failed = true;
                    return false;
                }
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
                if (n > 0) {
                    count += n;
                } else if (pieces && start + count == (piece + 1) * PIECE && start + count < length) {
                    in.close();
                    in = getClass().getResourceAsStream(resource + "_" + ++piece);
                    if (in == null) {
                        throw new IOException();
                    }
                } else {
                    atEnd = true;
                    length = start + count;
                }
            }
            return true;
        } catch (IOException e) {
            closeStream();
            failed = true;
            return false;
        }
    }

    private void open(int k) {
        in = getClass().getResourceAsStream(k == 0 ? resource : resource + "_" + k);
        piece = k;
        start = k * PIECE;
        count = 0;
        atEnd = false;
    }
}
