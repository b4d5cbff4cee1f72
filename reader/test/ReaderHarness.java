import java.awt.image.BufferedImage;
import java.io.ByteArrayOutputStream;
import java.io.FilterInputStream;
import java.io.IOException;
import java.io.InputStream;
import java.io.PrintStream;
import java.lang.reflect.Method;
import java.net.URL;
import java.net.URLClassLoader;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import javax.imageio.ImageIO;
import javax.microedition.lcdui.Canvas;
import javax.microedition.lcdui.Command;
import javax.microedition.lcdui.Display;
import javax.microedition.lcdui.Displayable;
import javax.microedition.lcdui.Graphics;
import javax.microedition.lcdui.Image;
import javax.microedition.midlet.MIDlet;
import javax.microedition.midlet.Manager;
import javax.microedition.rms.RecordStore;

/**
 * Runs the phone reader of a jar (its classes and its resources, as the phone
 * would) on a simulated phone: keys, commands, the painted screen, the console
 * and the record stores. Screens are read back by matching every cell against
 * the jar's own font image.
 *
 * The reader's classes are loaded with their java.util.Timer references
 * pointed at volm.util.Timer, whose tasks run only when the test ticks, and
 * every byte the reader reads from its jar's resources is counted.
 *
 * From the command line:
 *   java -cp HARNESS ReaderHarness --jar BOOK.jar [--size WxH] [--store DIR] ACTION...
 * with the actions
 *   up, down, left, right, fire   press a key    hold-KEY:N     hold it for N repeats
 *   key:C                 press the number key C (0-9, # or *)
 *   select, topics, exit  fire a command       pause, resume  the phone's manager
 *   command:LABEL         fire the command LABEL (Options, Back, Find, Delete)
 *   choose:LABEL          pick an entry of the list shown    type:TEXT   type into the text box
 *   show                  print the screen     menu           print every menu entry
 *   png:FILE              save the screen      tick:N         run the timers N times
 *   position              print the place kept for the topic read last
 *   restart (or kill)     a fresh start without Exit, same store
 *   bytes                 print the bytes read from resources since the last "bytes"
 * The record stores start empty, or from DIR and are saved back there at the
 * end. A cell reads as the lowest byte whose glyph looks the same. Bytes
 * outside printable ASCII print as \xNN. The exit status is 0 unless an
 * action failed.
 */
public final class ReaderHarness implements AutoCloseable {
    public static final int UP = Canvas.SOFT_UP;
    public static final int DOWN = Canvas.SOFT_DOWN;
    public static final int FIRE = Canvas.SOFT_FIRE;
    public static final int LEFT = Canvas.SOFT_LEFT;
    public static final int RIGHT = Canvas.SOFT_RIGHT;

    private final Path jar;
    private Suite loader;
    private MIDlet midlet;
    private final ByteArrayOutputStream console = new ByteArrayOutputStream();
    private Graphics lastPaint;
    private Glyphs glyphs;

    /** A reader from jar on a screen of width x height pixels; not started yet. */
    public ReaderHarness(Path jar, int width, int height) throws Exception {
        this.jar = jar;
        Canvas.setScreenSize(width, height);
        load();
    }

    private void load() throws Exception {
        volm.util.Timer.reset();
        loader = new Suite(jar.toUri().toURL(), ReaderHarness.class.getClassLoader());
        Image.setSuite(loader);
        midlet = (MIDlet) call(() -> Class.forName("LumeriaMain", true, loader)
                                            .getConstructor().newInstance());
        glyphs = null;
    }

    private interface Step {
        Object run() throws Exception;
    }

    /** Runs a step of the reader with its console output captured. */
    private Object call(Step step) throws Exception {
        PrintStream saved = System.out;
        System.setOut(new PrintStream(console, true, StandardCharsets.ISO_8859_1));
        try {
            return step.run();
        } finally {
            System.setOut(saved);
        }
    }

    public void start() throws Exception {
        call(() -> { Manager.start(midlet); return null; });
    }

    public void pause() throws Exception {
        call(() -> { Manager.pause(midlet); return null; });
    }

    /** The phone's manager ends the reader (as when the phone is switched off). */
    public void destroy() throws Exception {
        call(() -> { Manager.destroy(midlet); return null; });
    }

    /**
     * A new instance of the reader, as after the phone started it again; stores
     * stay. The old one gets no call (as when the phone killed it or lost power).
     */
    public void restart() throws Exception {
        Display.forget(midlet);
        loader.close();
        load();
        start();
    }

    public boolean isDestroyed() {
        return Manager.isDestroyed(midlet);
    }

    public String console() {
        return new String(console.toByteArray(), StandardCharsets.ISO_8859_1);
    }

    public Displayable current() {
        return Display.getDisplay(midlet).getCurrent();
    }

    /** "menu", "text", "list TITLE", "textbox TITLE", or the class name of whatever else is shown. */
    public String kind() {
        Displayable d = current();
        String name = d == null ? "none" : d.getClass().getName();
        if (d instanceof javax.microedition.lcdui.List) {
            return "list " + ((javax.microedition.lcdui.Screen) d).title();
        }
        if (d instanceof javax.microedition.lcdui.TextBox) {
            return "textbox " + ((javax.microedition.lcdui.Screen) d).title();
        }
        return name.equals("TFiledMenu") ? "menu" : name.equals("TScrollFixedText") ? "text" : name;
    }

    /** The entries of the list shown. */
    public List<String> listItems() {
        return ((javax.microedition.lcdui.List) current()).items();
    }

    /** Picks the entry of the list shown that reads label (the centre key on it). */
    public void choose(String label) throws Exception {
        javax.microedition.lcdui.List l = (javax.microedition.lcdui.List) current();
        int i = l.items().indexOf(label);
        if (i < 0) {
            throw new IllegalStateException("no entry " + label + " in " + l.items());
        }
        call(() -> { l.choose(i); return null; });
    }

    /** Moves the selection of the list shown to the entry that reads label. */
    public void select(String label) throws Exception {
        javax.microedition.lcdui.List l = (javax.microedition.lcdui.List) current();
        l.select(l.items().indexOf(label));
    }

    /** Types s into the text box shown. */
    public void type(String s) {
        ((javax.microedition.lcdui.TextBox) current()).type(s);
    }

    private Canvas canvas() {
        Displayable d = current();
        if (!(d instanceof Canvas)) {
            throw new IllegalStateException("no canvas is shown");
        }
        return (Canvas) d;
    }

    /** The key code of a number key: '0' to '9', '#' or '*'. */
    public static int numberKey(char c) {
        if (c >= '0' && c <= '9') {
            return Canvas.KEY_NUM0 + (c - '0');
        }
        if (c == '#' || c == '*') {
            return c == '#' ? Canvas.KEY_POUND : Canvas.KEY_STAR;
        }
        throw new IllegalArgumentException("no number key " + c);
    }

    /** Runs the reader's timer tasks n times; returns how many runs there were. */
    public int tick(int n) throws Exception {
        int ran = 0;
        for (int i = 0; i < n; i++) {
            ran += (Integer) call(volm.util.Timer::tick);
        }
        return ran;
    }

    /** Bytes the reader has read (or skipped) from its jar's resources so far. */
    public long bytesRead() {
        return loader.bytesRead;
    }

    public void press(int key) throws Exception {
        hold(key, 0);
    }

    /** A key pressed down (down true) or let go, and nothing else. */
    public void key(int key, boolean down) throws Exception {
        Canvas c = canvas();
        call(() -> { c.key(key, down); return null; });
    }

    public void hold(int key, int repeats) throws Exception {
        Canvas c = canvas();
        call(() -> { c.press(key, repeats); return null; });
    }

    /** Fires the command of the shown screen with this label. */
    public void command(String label) throws Exception {
        Displayable d = current();
        for (Command c : d.commands()) {
            if (c.getLabel().equals(label)) {
                call(() -> { d.fire(c); return null; });
                return;
            }
        }
        throw new IllegalStateException("no command " + label + " on the " + kind());
    }

    /** The commands of the shown screen as "label/type/priority". */
    public List<String> commands() {
        List<String> out = new ArrayList<>();
        for (Command c : current().commands()) {
            out.add(c.getLabel() + "/" + c.getCommandType() + "/" + c.getPriority());
        }
        return out;
    }

    /** Paints the shown screen. */
    public BufferedImage screen() throws Exception {
        Canvas c = canvas();
        lastPaint = (Graphics) call(c::render);
        return lastPaint.image();
    }

    /**
     * The place the reader keeps for the topic read last (the byte offset of
     * the first row it showed there), from its record store: 0 before one is kept.
     */
    public int position() throws Exception {
        for (String store : RecordStore.listRecordStores()) {
            List<byte[]> r = RecordStore.contents(store);
            java.util.Map<String, String> pairs = new java.util.HashMap<>();
            for (int i = 0; i + 1 < r.size(); i += 2) {
                pairs.put(new String(r.get(i), StandardCharsets.ISO_8859_1),
                          new String(r.get(i + 1), StandardCharsets.ISO_8859_1));
            }
            String last = pairs.get("Last");
            if (last != null) {
                return Integer.parseInt(pairs.getOrDefault("Pos" + last, "0"));
            }
        }
        throw new IllegalStateException("no topic has been read");
    }

    /** Strings the last paint drew with the phone's own font. */
    public List<String> strings() {
        return lastPaint == null ? List.of() : lastPaint.strings();
    }

    /** The font image of the jar, for reading screens back. */
    public Glyphs glyphs() throws IOException {
        // A words book's font with its map, as the reader holds it now.
        byte[] map = null;
        Image image = null;
        try {
            for (java.lang.reflect.Field f : Class.forName("TFiledMenu", true, loader).getDeclaredFields()) {
                if (java.lang.reflect.Modifier.isStatic(f.getModifiers())) {
                    f.setAccessible(true);
                    if (f.getType() == byte[].class) {
                        map = (byte[]) f.get(null);
                    } else if (f.getType() == Image.class) {
                        image = (Image) f.get(null);
                    }
                }
            }
        } catch (ReflectiveOperationException e) {
            throw new IOException("the reader's font: " + e);
        }
        if (map != null && image != null) {
            return new Glyphs(image.image(), map);
        }
        if (glyphs == null) {
            try (InputStream in = loader.getResourceAsStream("images/Font.png")) {
                if (in == null) {
                    throw new IOException(jar + " has no images/Font.png");
                }
                glyphs = new Glyphs(ImageIO.read(in));
            }
        }
        return glyphs;
    }

    /** True when the jar's layout.txt asks for the words layout. */
    public boolean wordsLayout() throws IOException {
        try (InputStream in = loader.findResource("layout.txt") == null ? null
                 : loader.findResource("layout.txt").openStream()) {
            return in != null && new String(in.readAllBytes(), StandardCharsets.ISO_8859_1)
                                     .startsWith("words\r\n");
        }
    }

    /**
     * The text screen's rows as bytes, trailing blanks cut: from y = 0 in the
     * grid layout, below the status row and the progress line in the words
     * layout (rows one cell apart: paragraphs without gaps).
     */
    public List<String> textRows() throws Exception {
        BufferedImage s = screen();
        Glyphs g = glyphs();
        int columns = (s.getWidth() - 2) / g.width;
        int top = wordsLayout() ? g.cell + 2 : 0;
        int rows = (s.getHeight() - (top > 0 ? top : 2)) / g.cell;
        List<String> out = new ArrayList<>();
        for (int r = 0; r < rows; r++) {
            out.add(g.read(s, 2, top + g.cell * r, columns, g.cell));
        }
        return out;
    }

    /** The words layout's status row as bytes, trailing blanks cut. */
    public String statusRow() throws Exception {
        BufferedImage s = screen();
        Glyphs g = glyphs();
        return g.read(s, 2, 0, (s.getWidth() - 2) / g.width, g.cell);
    }

    /** The row of text whose cells start at y, from x = 2. */
    public String rowAt(int y) throws Exception {
        BufferedImage s = screen();
        Glyphs g = glyphs();
        return g.read(s, 2, y, (s.getWidth() - 2) / g.width, g.cell);
    }

    /**
     * How long the progress line is in pixels (from x = 0 on its row: under
     * the status row in the words layout, the bottom row in the grid layout).
     */
    public int progress() throws Exception {
        BufferedImage s = screen();
        int y = wordsLayout() ? glyphs().cell : s.getHeight() - 1;
        int x = 0;
        while (x < s.getWidth() && (s.getRGB(x, y) & 0xFFFFFF) == 0) {
            x++;
        }
        return x;
    }

    /**
     * The menu's rows, trailing blanks cut; the selected one starts with "> ".
     * Only the columns inside the selection frame are read.
     */
    public List<String> menuRows() throws Exception {
        BufferedImage s = screen();
        Glyphs g = glyphs();
        int rows = (s.getHeight() - 4) / g.cell;
        int columns = (s.getWidth() - 4) / g.width;
        List<String> out = new ArrayList<>();
        for (int r = 0; r < rows; r++) {
            int y = 2 + g.cell * r;
            // The selection frame crosses the last two glyph rows: compare the rest.
            String row = g.read(s, 1, y, columns, g.cell - 2);
            boolean selected = s.getRGB(0, y - 2) == 0xFF000000 && s.getRGB(0, y) == 0xFF000000;
            out.add(selected ? "> " + row : row);
        }
        while (!out.isEmpty() && out.get(out.size() - 1).isEmpty()) {
            out.remove(out.size() - 1);
        }
        return out;
    }

    /**
     * Every menu entry from the selected one to the last, read by moving the
     * selection down until it wraps to the first entry (the selection is then
     * moved back to the last one).
     */
    public List<String> menuEntries() throws Exception {
        List<String> entries = new ArrayList<>();
        String selected = selectedRow();
        if (selected == null) {
            return entries;
        }
        entries.add(selected);
        int[] start = pixels(screen());
        int row = selectedIndex();
        for (;;) {
            press(DOWN);
            int[] after = pixels(screen());
            int next = selectedIndex();
            if (Arrays.equals(start, after) || next < row) {
                if (entries.size() > 1 || next < row) {
                    press(UP);
                }
                return entries;
            }
            row = next;
            entries.add(selectedRow());
        }
    }

    private int selectedIndex() throws Exception {
        List<String> rows = menuRows();
        for (int i = 0; i < rows.size(); i++) {
            if (rows.get(i).startsWith("> ")) {
                return i;
            }
        }
        return -1;
    }

    /** The text of the menu's selected row, or null when no row is selected. */
    public String selectedRow() throws Exception {
        for (String r : menuRows()) {
            if (r.startsWith("> ")) {
                return unmark(r);
            }
        }
        return null;
    }

    private static String unmark(String row) {
        return row.startsWith("> ") ? row.substring(2) : row;
    }

    private static int[] pixels(BufferedImage image) {
        return image.getRGB(0, 0, image.getWidth(), image.getHeight(), null, 0, image.getWidth());
    }

    @Override
    public void close() throws IOException {
        Display.forget(midlet);
        loader.close();
    }

    /**
     * The phone's view of the jar: its classes, with java.util.Timer and
     * TimerTask swapped for the simulated ones (same-length names, so the
     * class files only change in those bytes), and its resources, counted.
     */
    private static final class Suite extends URLClassLoader {
        private static final byte[] FROM = "java/util/Timer".getBytes(StandardCharsets.US_ASCII);
        private static final byte[] TO = "volm/util/Timer".getBytes(StandardCharsets.US_ASCII);
        volatile long bytesRead;

        Suite(URL jar, ClassLoader parent) {
            super(new URL[] {jar}, parent);
        }

        @Override
        protected Class<?> findClass(String name) throws ClassNotFoundException {
            URL url = findResource(name.replace('.', '/') + ".class");
            if (url == null) {
                throw new ClassNotFoundException(name);
            }
            byte[] b;
            try (InputStream in = url.openStream()) {
                b = in.readAllBytes();
            } catch (IOException e) {
                throw new ClassNotFoundException(name, e);
            }
            for (int i = 0; i + FROM.length <= b.length; i++) {
                if (Arrays.equals(b, i, i + FROM.length, FROM, 0, FROM.length)) {
                    System.arraycopy(TO, 0, b, i, TO.length);
                }
            }
            return defineClass(name, b, 0, b.length);
        }

        @Override
        public InputStream getResourceAsStream(String name) {
            InputStream in = super.getResourceAsStream(name);
            return in == null ? null : new FilterInputStream(in) {
                @Override
                public int read() throws IOException {
                    int b = super.read();
                    if (b >= 0) {
                        bytesRead++;
                    }
                    return b;
                }

                @Override
                public int read(byte[] buf, int off, int len) throws IOException {
                    int n = super.read(buf, off, len);
                    if (n > 0) {
                        bytesRead += n;
                    }
                    return n;
                }

                @Override
                public long skip(long n) throws IOException {
                    long k = super.skip(n);
                    if (k > 0) {
                        bytesRead += k;
                    }
                    return k;
                }
            };
        }
    }

    /** Reads cells of a screen back into bytes by matching the font image's glyphs. */
    public static final class Glyphs {
        public final int cell;
        public final int width;
        private final int[][] shapes = new int[256][];
        private final BufferedImage image;
        private final byte[] map;

        /** A font of glyphs at their advances: its image and its map (height; x, row, advance per byte). */
        Glyphs(BufferedImage image, byte[] map) {
            this.image = image;
            this.map = map;
            cell = map[0] & 0xFF;
            width = advance(' ') > 0 ? advance(' ') : 1;
        }

        private int advance(int b) {
            return map[4 + 4 * b] & 0xFF;
        }

        private boolean at(BufferedImage s, int b, int x, int y, int rows) {
            int gx = (map[1 + 4 * b] & 0xFF) << 8 | map[2 + 4 * b] & 0xFF;
            int gy = cell * (map[3 + 4 * b] & 0xFF);
            for (int j = 0; j < rows; j++) {
                for (int i = 0; i < advance(b); i++) {
                    int g = gx + i < image.getWidth() && gy + j < image.getHeight()
                        ? image.getRGB(gx + i, gy + j) | 0xFF000000 : 0xFFFFFFFF;
                    if (g != pixel(s, x + i, y + j)) {
                        return false;
                    }
                }
            }
            return true;
        }

        private boolean blank(BufferedImage s, int x, int y, int w, int rows) {
            for (int j = 0; j < rows; j++) {
                for (int i = 0; i < w; i++) {
                    if (pixel(s, x + i, y + j) != 0xFFFFFFFF) {
                        return false;
                    }
                }
            }
            return true;
        }

        /** A row of glyphs at their advances from x, y to right: blanks a space wide read as ' '. */
        private String readMapped(BufferedImage s, int x, int y, int rows, int right) {
            StringBuilder out = new StringBuilder();
            while (x < right) {
                if (blank(s, x, y, width, rows)) {
                    out.append(' ');
                    x += width;
                    continue;
                }
                int found = -1;
                for (int b = 0x21; b < 256 && found < 0; b++) {
                    if (advance(b) > 0 && at(s, b, x, y, rows)) {
                        found = b;
                    }
                }
                if (found >= 0) {
                    out.append((char) found);
                    x += advance(found);
                } else {
                    if (!blank(s, x, y, 1, rows)) {
                        out.append('?');
                    }
                    x++;
                }
            }
            int end = out.length();
            while (end > 0 && out.charAt(end - 1) == ' ') {
                end--;
            }
            return out.substring(0, end);
        }

        Glyphs(BufferedImage font) {
            image = null;
            map = null;
            cell = font.getHeight() / 16;
            width = cell * 3 / 4;
            for (int b = 0; b < 256; b++) {
                shapes[b] = new int[width * cell];
                for (int y = 0; y < cell; y++) {
                    for (int x = 0; x < width; x++) {
                        int px = cell * (b % 16) + x;
                        int py = cell * (b / 16) + y;
                        shapes[b][y * width + x] = px < font.getWidth()
                            ? font.getRGB(px, py) | 0xFF000000 : 0xFFFFFFFF;
                    }
                }
            }
        }

        /**
         * The byte whose glyph is at x, y, comparing its top rows only: ' ' for
         * a blank cell, the lowest byte of equal glyphs, -1 for no glyph.
         */
        public int recognise(BufferedImage s, int x, int y, int rows) {
            boolean blank = true;
            for (int j = 0; j < rows && blank; j++) {
                for (int i = 0; i < width && blank; i++) {
                    blank = pixel(s, x + i, y + j) == 0xFFFFFFFF;
                }
            }
            if (blank) {
                return ' ';
            }
            for (int b = 0; b < 256; b++) {         // the lowest byte of equal glyphs
                if (matches(shapes[b], s, x, y, rows)) {
                    return b;
                }
            }
            return -1;
        }

        private boolean matches(int[] shape, BufferedImage s, int x, int y, int rows) {
            for (int j = 0; j < rows; j++) {
                for (int i = 0; i < width; i++) {
                    if (shape[j * width + i] != pixel(s, x + i, y + j)) {
                        return false;
                    }
                }
            }
            return true;
        }

        private static int pixel(BufferedImage s, int x, int y) {
            return x < s.getWidth() && y < s.getHeight() ? s.getRGB(x, y) | 0xFF000000 : 0xFFFFFFFF;
        }

        /** count cells from x, y one glyph width apart (a mapped font: the whole row); unknown cells read as '?'. */
        public String read(BufferedImage s, int x, int y, int count, int rows) {
            if (map != null) {
                return readMapped(s, x, y, rows, Math.min(s.getWidth(), x + count * width));
            }
            StringBuilder out = new StringBuilder();
            for (int c = 0; c < count && x + c * width < s.getWidth(); c++) {
                int b = recognise(s, x + c * width, y, rows);
                out.append(b < 0 ? '?' : (char) b);
            }
            int end = out.length();
            while (end > 0 && out.charAt(end - 1) == ' ') {
                end--;
            }
            return out.substring(0, end);
        }
    }

    // ---- command line ----

    static String printable(String s) {
        StringBuilder out = new StringBuilder();
        for (char c : s.toCharArray()) {
            if (c >= 0x20 && c < 0x7F && c != '\\') {
                out.append(c);
            } else {
                out.append(String.format("\\x%02X", (int) c));
            }
        }
        return out.toString();
    }

    public static void main(String[] args) throws Exception {
        Path jar = null;
        Path store = null;
        int width = 176;
        int height = 208;
        List<String> actions = new ArrayList<>();
        for (int i = 0; i < args.length; i++) {
            switch (args[i]) {
                case "--jar": jar = Paths.get(args[++i]); break;
                case "--store": store = Paths.get(args[++i]); break;
                case "--size": {
                    String[] wh = args[++i].split("x");
                    width = Integer.parseInt(wh[0]);
                    height = Integer.parseInt(wh[1]);
                    break;
                }
                case "--dump-menu": actions.add("menu"); break;
                default: actions.add(args[i]);
            }
        }
        if (jar == null) {
            System.err.println("usage: ReaderHarness --jar BOOK.jar [--size WxH] [--store DIR] ACTION...");
            System.exit(2);
        }
        if (store != null) {
            RecordStore.loadFrom(store);
        }
        int status = 0;
        long counted = 0;
        try (ReaderHarness h = new ReaderHarness(jar, width, height)) {
            h.start();
            for (String a : actions) {
                int repeats = a.contains(":") && a.startsWith("hold-")
                    ? Integer.parseInt(a.substring(a.indexOf(':') + 1)) : 0;
                switch (a.startsWith("hold-") ? a.substring(0, a.indexOf(':')) : a.split(":")[0]) {
                    case "up": h.press(UP); break;
                    case "down": h.press(DOWN); break;
                    case "fire": h.press(FIRE); break;
                    case "left": h.press(LEFT); break;
                    case "right": h.press(RIGHT); break;
                    case "key": h.press(numberKey(a.charAt(a.length() - 1))); break;
                    case "hold-up": h.hold(UP, repeats); break;
                    case "hold-down": h.hold(DOWN, repeats); break;
                    case "hold-left": h.hold(LEFT, repeats); break;
                    case "hold-right": h.hold(RIGHT, repeats); break;
                    case "tick": h.tick(Integer.parseInt(a.substring(5))); break;
                    case "select": h.command("Select"); break;
                    case "topics": h.command("Topics"); break;
                    case "exit": h.command("Exit"); break;
                    case "command": h.command(a.substring(8)); break;
                    case "choose": h.choose(a.substring(7)); break;
                    case "type": h.type(a.substring(5)); break;
                    case "pause": h.pause(); break;
                    case "resume": h.start(); break;
                    case "kill":
                    case "restart": h.restart(); break;
                    case "bytes": {
                        System.out.println("bytes read: " + (h.bytesRead() - counted));
                        counted = h.bytesRead();
                        break;
                    }
                    case "show": {
                        List<String> rows = h.kind().equals("text") ? h.textRows()
                            : h.kind().equals("menu") ? h.menuRows() : new ArrayList<>();
                        if (h.kind().startsWith("list")) {
                            rows = h.listItems();
                        }
                        while (!rows.isEmpty() && rows.get(rows.size() - 1).isEmpty()) {
                            rows.remove(rows.size() - 1);
                        }
                        System.out.println("[" + h.kind() + "]");
                        for (String r : rows) {
                            System.out.println(printable(r));
                        }
                        if (h.kind().equals("text") && h.wordsLayout()) {
                            System.out.println("(status: " + printable(h.statusRow()) + ")");
                        }
                        for (String s : h.kind().startsWith("list") ? List.<String>of() : h.strings()) {
                            System.out.println("(" + s + ")");
                        }
                        break;
                    }
                    case "menu":
                        for (String e : h.menuEntries()) {
                            System.out.println(printable(e));
                        }
                        break;
                    case "png":
                        ImageIO.write(h.screen(), "png", Paths.get(a.substring(4)).toFile());
                        break;
                    case "position":
                        System.out.println("position: " + h.position());
                        break;
                    default:
                        throw new IllegalArgumentException("unknown action " + a);
                }
                if (h.isDestroyed()) {
                    break;
                }
            }
            String console = h.console();
            if (!console.isEmpty()) {
                System.err.print(console);
            }
        } catch (Exception e) {
            System.err.println("ReaderHarness: " + e);
            status = 1;
        }
        if (store != null) {
            RecordStore.saveTo(store);
        }
        System.exit(status);
    }
}
