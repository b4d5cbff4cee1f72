import java.awt.image.BufferedImage;
import java.io.ByteArrayOutputStream;
import java.io.InputStream;
import java.io.OutputStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.ArrayList;
import java.util.Enumeration;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;
import java.util.zip.ZipEntry;
import java.util.zip.ZipFile;
import java.util.zip.ZipOutputStream;
import javax.imageio.ImageIO;
import javax.microedition.rms.RecordStore;

/**
 * Runs the reader classes of the shipped template jar on books made from it.
 * Usage: java ReaderTest TEMPLATE.jar WORK_DIR
 */
public final class ReaderTest {
    private static Path template;
    private static Path work;
    private static int books;
    private static int failures;
    private static String current;

    public static void main(String[] args) throws Exception {
        template = Paths.get(args[0]);
        work = Paths.get(args[1]);
        Files.createDirectories(work);
        run("unchangedTemplate", ReaderTest::unchangedTemplate);
        run("emptyLineInTopics", ReaderTest::emptyLineInTopics);
        run("scrollByRows", ReaderTest::scrollByRows);
        run("lineEndsAreBlankCells", ReaderTest::lineEndsAreBlankCells);
        run("largeCustomFont", ReaderTest::largeCustomFont);
        run("positionsSurviveRestart", ReaderTest::positionsSurviveRestart);
        run("resumeShowsMenu", ReaderTest::resumeShowsMenu);
        run("missingFont", ReaderTest::missingFont);
        run("missingTopic", ReaderTest::missingTopic);
        run("longBookName", ReaderTest::longBookName);
        run("menuScrollsAndCuts", ReaderTest::menuScrollsAndCuts);
        run("defaultFontImage", ReaderTest::defaultFontImage);
        if (failures > 0) {
            System.out.println(failures + " check(s) failed");
            System.exit(1);
        }
        System.out.println("all reader checks passed");
    }

    private interface Case {
        void run() throws Exception;
    }

    private static void run(String name, Case c) {
        current = name;
        RecordStore.clear();
        try {
            c.run();
            System.out.println("ok   " + name);
        } catch (Throwable e) {
            failures++;
            System.out.println("FAIL " + name + ": " + e);
            e.printStackTrace(System.out);
        }
    }

    private static void check(boolean condition, String what) {
        if (!condition) {
            failures++;
            System.out.println("FAIL " + current + ": " + what);
        }
    }

    private static void same(Object expected, Object actual, String what) {
        check(expected.equals(actual), what + ": expected " + expected + ", got " + actual);
    }

    private static byte[] bytes(String s) {
        return s.getBytes(StandardCharsets.ISO_8859_1);
    }

    /** A book jar: the template with members replaced, added or (value null) removed. */
    private static Path book(Map<String, byte[]> changes) throws Exception {
        Path out = work.resolve("book" + (++books) + ".jar");
        Map<String, byte[]> members = new LinkedHashMap<>();
        try (ZipFile zip = new ZipFile(template.toFile())) {
            for (Enumeration<? extends ZipEntry> e = zip.entries(); e.hasMoreElements();) {
                ZipEntry entry = e.nextElement();
                try (InputStream in = zip.getInputStream(entry)) {
                    members.put(entry.getName(), in.readAllBytes());
                }
            }
        }
        for (Map.Entry<String, byte[]> c : changes.entrySet()) {
            if (c.getValue() == null) {
                members.remove(c.getKey());
            } else {
                members.put(c.getKey(), c.getValue());
            }
        }
        try (OutputStream file = Files.newOutputStream(out);
             ZipOutputStream zip = new ZipOutputStream(file)) {
            for (Map.Entry<String, byte[]> m : members.entrySet()) {
                zip.putNextEntry(new ZipEntry(m.getKey()));
                zip.write(m.getValue());
                zip.closeEntry();
            }
        }
        return out;
    }

    /** A book of the given topics: name, text, name, text, ... */
    private static Map<String, byte[]> topics(String appname, String... pairs) {
        Map<String, byte[]> m = new LinkedHashMap<>();
        StringBuilder names = new StringBuilder();
        StringBuilder files = new StringBuilder();
        for (int i = 0; i < pairs.length; i += 2) {
            int n = i / 2 + 1;
            names.append(pairs[i]).append("\r\n");
            files.append("/texts/itm").append(n).append("\r\n");
            m.put("texts/itm" + n, bytes(pairs[i + 1]));
        }
        m.put("topics.txt", bytes(names.toString()));
        m.put("files.txt", bytes(files.toString()));
        m.put("appname.txt", bytes(appname + "\r\n"));
        return m;
    }

    private static String records(String store) {
        List<byte[]> r = RecordStore.contents(store);
        if (r == null) {
            return "none";
        }
        Map<String, String> pairs = new java.util.TreeMap<>();
        for (int i = 0; i + 1 < r.size(); i += 2) {
            pairs.put(new String(r.get(i), StandardCharsets.ISO_8859_1),
                      new String(r.get(i + 1), StandardCharsets.ISO_8859_1));
        }
        return pairs.toString() + (r.size() % 2 == 1 ? " +odd" : "");
    }

    // ---- cases ----

    static void unchangedTemplate() throws Exception {
        try (ReaderHarness h = new ReaderHarness(template, 176, 208)) {
            h.start();
            same("menu", h.kind(), "start screen");
            same(List.of(), h.menuRows(), "menu rows");
            same(List.of("Exit/7/1", "Select/4/2"), h.commands(), "menu commands");
            h.command("Select");
            h.press(ReaderHarness.FIRE);
            same("menu", h.kind(), "select on an empty menu");
            h.command("Exit");
            check(h.isDestroyed(), "Exit ends the reader");
            same("{}", records("DefaultBook"), "store of a book without a name");
            same("", h.console(), "console");
        }
    }

    static void emptyLineInTopics() throws Exception {
        Map<String, byte[]> m = topics("Tales", "x", "first text", "y", "second text", "z", "third");
        m.put("topics.txt", bytes("One\r\n\r\nTwo\r\n"));
        try (ReaderHarness h = new ReaderHarness(book(m), 176, 208)) {
            h.start();
            same(List.of("> One", "Two"), h.menuRows(), "menu rows");
            h.press(ReaderHarness.DOWN);
            same(List.of("One", "> Two"), h.menuRows(), "after down");
            h.press(ReaderHarness.DOWN);
            same(List.of("One", "> Two"), h.menuRows(), "down at the last entry");
            h.command("Select");
            same("text", h.kind(), "Select opens a text");
            same("second text", h.textRows().get(0), "text of Two");
            same(List.of("Topics/2/2", "Exit/7/1"), h.commands(), "text commands");
            h.command("Topics");
            same(List.of("One", "> Two"), h.menuRows(), "menu keeps its selection");
            h.press(ReaderHarness.UP);
            h.press(ReaderHarness.FIRE);
            same("text", h.kind(), "the centre key opens a text");
            same("first text", h.textRows().get(0), "text of One");
        }
        // A title without a line in files.txt opens nothing.
        m.put("files.txt", bytes("/texts/itm1\r\n"));
        try (ReaderHarness h = new ReaderHarness(book(m), 176, 208)) {
            h.start();
            h.press(ReaderHarness.DOWN);
            h.command("Select");
            same("menu", h.kind(), "Select without a file entry");
        }
    }

    static void scrollByRows() throws Exception {
        Map<String, byte[]> m = topics("Tales", "T", "abcdefghijklmnopqrstuvwxy");
        // 84 x 40: W = 82 div 8 = 10 columns, H = 38 div 11 = 3 rows.
        try (ReaderHarness h = new ReaderHarness(book(m), 84, 40)) {
            h.start();
            h.command("Select");
            same(List.of("abcdefghij", "klmnopqrst", "uvwxy"), h.textRows(), "first screen");
            h.press(ReaderHarness.DOWN);
            same(List.of("klmnopqrst", "uvwxy", ""), h.textRows(), "one row down");
            h.press(ReaderHarness.DOWN);
            same(List.of("uvwxy", "", ""), h.textRows(), "two rows down");
            h.press(ReaderHarness.DOWN);
            same(List.of("uvwxy", "", ""), h.textRows(), "the end stays on the first row");
            h.press(ReaderHarness.UP);
            same("klmnopqrst", h.textRows().get(0), "up");
            h.hold(ReaderHarness.UP, 3);
            same("abcdefghij", h.textRows().get(0), "up stops at the start");
        }
        // A text that fills its rows exactly never scrolls onto an empty screen.
        m = topics("Tales", "T", "abcdefghijklmnopqrst");
        try (ReaderHarness h = new ReaderHarness(book(m), 84, 40)) {
            h.start();
            h.command("Select");
            h.hold(ReaderHarness.DOWN, 4);
            same(List.of("klmnopqrst", "", ""), h.textRows(), "last row of an exact text");
        }
    }

    static void lineEndsAreBlankCells() throws Exception {
        Map<String, byte[]> m = topics("Tales", "T", "ab\r\ncd\nef\t");
        try (ReaderHarness h = new ReaderHarness(book(m), 176, 208)) {
            h.start();
            h.command("Select");
            same("ab  cd ef\0", h.textRows().get(0), "CR and LF as blank cells, a tab as a box");
        }
    }

    /** A 256 x 256 font: each cell filled with its own colour. */
    static void largeCustomFont() throws Exception {
        BufferedImage font = new BufferedImage(256, 256, BufferedImage.TYPE_INT_RGB);
        for (int y = 0; y < 256; y++) {
            for (int x = 0; x < 256; x++) {
                int b = (y / 16) * 16 + x / 16;
                font.setRGB(x, y, b == ' ' ? 0xFFFFFF : 0x010000 * b + 0x000100 * (x % 16) + 7);
            }
        }
        ByteArrayOutputStream png = new ByteArrayOutputStream();
        ImageIO.write(font, "png", png);
        Map<String, byte[]> m = topics("Tales", "AB", "AB\nC");
        m.put("images/Font.png", png.toByteArray());
        try (ReaderHarness h = new ReaderHarness(book(m), 176, 208)) {
            h.start();
            BufferedImage s = h.screen();
            // Menu: the first entry at x = 1, y = 2; glyphs 12 wide, cut from 16-pixel cells.
            same(0x410007, s.getRGB(1, 2) & 0xFFFFFF, "A's cell starts at (1, 2)");
            same(0x410B07, s.getRGB(12, 2) & 0xFFFFFF, "A's twelfth column");
            same(0x420007, s.getRGB(13, 2) & 0xFFFFFF, "B follows 12 pixels on");
            same(0x420B07, s.getRGB(24, 16) & 0xFFFFFF, "B's last shown column");
            h.command("Select");
            s = h.screen();
            same(0x410007, s.getRGB(2, 0) & 0xFFFFFF, "text starts at (2, 0)");
            same(0x420007, s.getRGB(14, 15) & 0xFFFFFF, "B at 2 + 12");
            same(0xFFFFFF, s.getRGB(26, 0) & 0xFFFFFF, "LF is blank");
            same(0x430007, s.getRGB(38, 0) & 0xFFFFFF, "C after the LF cell");
            same(0xFFFFFF, s.getRGB(2, 16) & 0xFFFFFF, "second row is empty");
        }
    }

    static void positionsSurviveRestart() throws Exception {
        String text = "0123456789".repeat(10);
        Path jar = book(topics("Tales", "One", text, "Two", text));
        try (ReaderHarness h = new ReaderHarness(jar, 84, 40)) {
            h.start();
            h.press(ReaderHarness.DOWN);
            h.command("Select");
            h.hold(ReaderHarness.DOWN, 1);
            h.command("Topics");
            h.press(ReaderHarness.UP);
            h.command("Select");
            h.press(ReaderHarness.DOWN);
            same("none", records("Tales"), "nothing is written before exit");
            h.command("Exit");
            same("{Pos0=10, Pos1=20}", records("Tales"), "positions at exit");
            h.restart();
            h.command("Select");
            h.press(ReaderHarness.DOWN);
            h.command("Topics");
            h.press(ReaderHarness.DOWN);
            h.command("Select");
            h.press(ReaderHarness.UP);
            h.destroy();
            same("{Pos0=20, Pos1=10}", records("Tales"), "positions after a restart");
            same("", h.console(), "console");
        }
        // Positions beyond a text that became shorter start it from the top.
        RecordStore.put("Tales", List.of(bytes("Pos0"), bytes("500"), bytes("Pos1"), bytes("x")));
        try (ReaderHarness h = new ReaderHarness(jar, 84, 40)) {
            h.start();
            h.command("Select");
            same("0123456789", h.textRows().get(0), "position beyond the end");
            h.command("Topics");
            h.press(ReaderHarness.DOWN);
            h.command("Select");
            same("0123456789", h.textRows().get(0), "position that is not a number");
        }
    }

    static void resumeShowsMenu() throws Exception {
        Path jar = book(topics("Tales", "One", "0123456789".repeat(5)));
        try (ReaderHarness h = new ReaderHarness(jar, 84, 40)) {
            h.start();
            h.command("Select");
            h.press(ReaderHarness.DOWN);
            h.pause();
            h.start();
            same("menu", h.kind(), "resume shows the menu");
            h.command("Select");
            same("0123456789", h.textRows().get(0), "position kept at resume");
            h.press(ReaderHarness.DOWN);
            same("0123456789", h.textRows().get(0), "second row of the text");
        }
    }

    static void missingFont() throws Exception {
        Map<String, byte[]> m = topics("Tales", "One", "text");
        m.put("images/Font.png", null);
        try (ReaderHarness h = new ReaderHarness(book(m), 176, 208)) {
            h.start();
            h.screen();
            same(List.of("Error loading font."), h.strings(), "menu without a font");
            check(h.console().contains("Can't load font 8-0"), "console: " + h.console());
            h.press(ReaderHarness.FIRE);
            same("menu", h.kind(), "keys are ignored");
            h.command("Select");
            same("text", h.kind(), "Select still opens the text");
            h.press(ReaderHarness.DOWN);
            h.screen();
            same(List.of("Error loading font."), h.strings(), "text without a font");
            h.command("Exit");
            same("{Pos0=0}", records("Tales"), "position of the text");
        }
        m.put("images/Font.png", bytes("not a picture"));
        try (ReaderHarness h = new ReaderHarness(book(m), 176, 208)) {
            h.start();
            h.screen();
            same(List.of("Error loading font."), h.strings(), "unreadable font image");
        }
    }

    static void missingTopic() throws Exception {
        Map<String, byte[]> m = topics("Tales", "One", "text", "Two", "more");
        m.put("texts/itm2", null);
        try (ReaderHarness h = new ReaderHarness(book(m), 176, 208)) {
            h.start();
            h.press(ReaderHarness.DOWN);
            h.command("Select");
            h.screen();
            same(List.of("Error loading topic."), h.strings(), "missing text");
            h.press(ReaderHarness.DOWN);
            h.screen();
            same(List.of("Error loading topic."), h.strings(), "still missing after a key");
        }
    }

    static void longBookName() throws Exception {
        String name = "A".repeat(33);
        RecordStore.put(name.substring(0, 32), List.of(bytes("Pos0"), bytes("10")));
        try (ReaderHarness h = new ReaderHarness(book(topics(name, "One", "0123456789abc")),
                                                 84, 40)) {
            h.start();
            h.command("Select");
            same("0123456789", h.textRows().get(0), "no positions for a 33-character name");
            h.command("Exit");
            check(h.console().contains("Can't load properties"), "console: " + h.console());
            check(h.console().contains("Can't save properties"), "console: " + h.console());
            check(h.isDestroyed(), "exit goes on");
        }
    }

    static void menuScrollsAndCuts() throws Exception {
        List<String> pairs = new ArrayList<>();
        for (int i = 1; i <= 30; i++) {
            pairs.add("Topic " + i + (i == 2 ? " with a name far too long for this screen" : ""));
            pairs.add("text " + i);
        }
        // 100 x 48: 4 rows, names cut at the right edge (12 glyphs from x = 1).
        try (ReaderHarness h = new ReaderHarness(book(topics("Tales", pairs.toArray(new String[0]))),
                                                 100, 48)) {
            h.start();
            same(List.of("> Topic 1", "Topic 2 with", "Topic 3", "Topic 4"), h.menuRows(), "first rows");
            h.hold(ReaderHarness.DOWN, 4);
            same(List.of("Topic 3", "Topic 4", "Topic 5", "> Topic 6"), h.menuRows(), "scrolled");
            h.hold(ReaderHarness.UP, 3);
            same(List.of("> Topic 2 with", "Topic 3", "Topic 4", "Topic 5"), h.menuRows(),
                 "scrolled back");
            h.press(ReaderHarness.FIRE);
            same("text 2", h.textRows().get(0), "the centre key opens the selected text");
            h.command("Topics");
            h.hold(ReaderHarness.UP, 5);
            List<String> all = h.menuEntries();
            same(30, all.size(), "entries found by scrolling");
            same("Topic 30", all.get(29), "last entry");
        }
    }

    static void defaultFontImage() throws Exception {
        BufferedImage font;
        try (ZipFile zip = new ZipFile(template.toFile());
             InputStream in = zip.getInputStream(zip.getEntry("images/Font.png"))) {
            font = ImageIO.read(in);
        }
        same(176, font.getWidth(), "width");
        same(176, font.getHeight(), "height");
        check(!font.getColorModel().hasAlpha(), "no alpha channel");
        for (int y = 0; y < 176; y++) {
            for (int x = 0; x < 176; x++) {
                int rgb = font.getRGB(x, y) & 0xFFFFFF;
                if (rgb != 0xFFFFFF && rgb != 0x000080) {
                    check(false, String.format("pixel (%d, %d) is %06X", x, y, rgb));
                    return;
                }
                if (rgb != 0xFFFFFF && x % 11 >= 8) {
                    check(false, String.format("byte %02X has ink beyond 8 columns",
                                               y / 11 * 16 + x / 11));
                    return;
                }
            }
        }
        // Printable ASCII reads back as itself; blanks and control codes as expected.
        ReaderHarness.Glyphs g = new ReaderHarness.Glyphs(font);
        for (int b = 0x21; b < 0x7F; b++) {
            same(b, g.recognise(font, 11 * (b % 16), 11 * (b / 16), 11), "glyph of " + (char) b);
        }
        same((int) ' ', g.recognise(font, 11 * 0, 11 * 10, 11), "0xA0 is blank");
        same(0x20, g.recognise(font, 11 * 0, 11 * 2, 11), "0x20 is blank");
        same(0x00, g.recognise(font, 11 * 1, 11 * 0, 11), "0x01 shows the control box");
        same(0x00, g.recognise(font, 11 * 15, 11 * 7, 11), "0x7F shows the control box");
        same(0x00, g.recognise(font, 11 * 8, 11 * 9, 11), "0x98 shows the control box");
    }
}
