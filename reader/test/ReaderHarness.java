import java.awt.image.BufferedImage;
import java.io.ByteArrayOutputStream;
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
 * From the command line:
 *   java -cp HARNESS ReaderHarness --jar BOOK.jar [--size WxH] [--store DIR] ACTION...
 * with the actions
 *   up, down, fire        press a key          hold-down:N, hold-up:N   hold it N repeats
 *   select, topics, exit  fire a command       pause, resume            the phone's manager
 *   show                  print the screen     menu                     print every menu entry
 *   png:FILE              save the screen      restart                  a fresh start, same store
 * The record stores start empty, or from DIR and are saved back there at the
 * end. A cell reads as the lowest byte whose glyph looks the same. Bytes outside printable ASCII print as \xNN. The exit status is 0 unless
 * an action failed.
 */
public final class ReaderHarness implements AutoCloseable {
    public static final int UP = Canvas.SOFT_UP;
    public static final int DOWN = Canvas.SOFT_DOWN;
    public static final int FIRE = Canvas.SOFT_FIRE;

    private final Path jar;
    private URLClassLoader loader;
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
        loader = new URLClassLoader(new URL[] {jar.toUri().toURL()},
                                    ReaderHarness.class.getClassLoader());
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

    /** A new instance of the reader, as after the phone started it again; stores stay. */
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

    /** "menu", "text", or the class name of whatever else is shown. */
    public String kind() {
        Displayable d = current();
        String name = d == null ? "none" : d.getClass().getName();
        return name.equals("TFiledMenu") ? "menu" : name.equals("TScrollFixedText") ? "text" : name;
    }

    private Canvas canvas() {
        Displayable d = current();
        if (!(d instanceof Canvas)) {
            throw new IllegalStateException("no canvas is shown");
        }
        return (Canvas) d;
    }

    public void press(int key) throws Exception {
        hold(key, 0);
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

    /** Strings the last paint drew with the phone's own font. */
    public List<String> strings() {
        return lastPaint == null ? List.of() : lastPaint.strings();
    }

    /** The font image of the jar, for reading screens back. */
    public Glyphs glyphs() throws IOException {
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

    /** The text screen's rows as bytes, trailing blanks cut. */
    public List<String> textRows() throws Exception {
        BufferedImage s = screen();
        Glyphs g = glyphs();
        int columns = (s.getWidth() - 2) / g.width;
        int rows = (s.getHeight() - 2) / g.cell;
        List<String> out = new ArrayList<>();
        for (int r = 0; r < rows; r++) {
            out.add(g.read(s, 2, g.cell * r, columns, g.cell));
        }
        return out;
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

    /** Every menu entry from the selected one on, read by moving the selection to the end. */
    public List<String> menuEntries() throws Exception {
        List<String> entries = new ArrayList<>();
        String selected = selectedRow();
        if (selected == null) {
            return entries;
        }
        entries.add(selected);
        int[] before = pixels(screen());
        for (;;) {
            press(DOWN);
            int[] after = pixels(screen());
            if (Arrays.equals(before, after)) {
                return entries;
            }
            before = after;
            entries.add(selectedRow());
        }
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

    /** Reads cells of a screen back into bytes by matching the font image's glyphs. */
    public static final class Glyphs {
        public final int cell;
        public final int width;
        private final int[][] shapes = new int[256][];

        Glyphs(BufferedImage font) {
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

        /** count cells from x, y one glyph width apart; unknown cells read as '?'. */
        public String read(BufferedImage s, int x, int y, int count, int rows) {
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
        try (ReaderHarness h = new ReaderHarness(jar, width, height)) {
            h.start();
            for (String a : actions) {
                int repeats = a.contains(":") && a.startsWith("hold-")
                    ? Integer.parseInt(a.substring(a.indexOf(':') + 1)) : 0;
                switch (a.startsWith("hold-") ? a.substring(0, a.indexOf(':')) : a.split(":")[0]) {
                    case "up": h.press(UP); break;
                    case "down": h.press(DOWN); break;
                    case "fire": h.press(FIRE); break;
                    case "hold-up": h.hold(UP, repeats); break;
                    case "hold-down": h.hold(DOWN, repeats); break;
                    case "select": h.command("Select"); break;
                    case "topics": h.command("Topics"); break;
                    case "exit": h.command("Exit"); break;
                    case "pause": h.pause(); break;
                    case "resume": h.start(); break;
                    case "restart": h.restart(); break;
                    case "show": {
                        List<String> rows = h.kind().equals("text") ? h.textRows() : h.menuRows();
                        while (!rows.isEmpty() && rows.get(rows.size() - 1).isEmpty()) {
                            rows.remove(rows.size() - 1);
                        }
                        System.out.println("[" + h.kind() + "]");
                        for (String r : rows) {
                            System.out.println(printable(r));
                        }
                        for (String s : h.strings()) {
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
