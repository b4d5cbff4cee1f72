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
 * Usage: java ReaderTest TEMPLATE.jar WORK_DIR [SCENARIO]
 * With SCENARIO only that scenario runs (CTest runs each on its own); a name
 * that no scenario has fails.
 */
public final class ReaderTest {
    private static Path template;
    private static Path work;
    private static int books;
    private static int failures;
    private static String current;
    private static String only;
    private static int ran;

    public static void main(String[] args) throws Exception {
        template = Paths.get(args[0]);
        work = Paths.get(args[1]);
        only = args.length > 2 ? args[2] : null;
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
        run("gridKeys", ReaderTest::gridKeys);
        run("wordsLayout", ReaderTest::wordsLayout);
        run("wordsKeysRetraceRows", ReaderTest::wordsKeysRetraceRows);
        run("progressLine", ReaderTest::progressLine);
        run("menuKeysWrapAndPage", ReaderTest::menuKeysWrapAndPage);
        run("menuScrollsLongName", ReaderTest::menuScrollsLongName);
        run("positionsAfterTopicsThenKill", ReaderTest::positionsAfterTopicsThenKill);
        run("positionsAfterPauseAndKeys", ReaderTest::positionsAfterPauseAndKeys);
        run("failingRecordStore", ReaderTest::failingRecordStore);
        run("bytesReadPerPage", ReaderTest::bytesReadPerPage);
        run("topicToTopic", ReaderTest::topicToTopic);
        run("volumePointer", ReaderTest::volumePointer);
        run("paragraphsHeadingsBreaks", ReaderTest::paragraphsHeadingsBreaks);
        run("placesByTopicId", ReaderTest::placesByTopicId);
        run("statusRow", ReaderTest::statusRow);
        run("goToPercent", ReaderTest::goToPercent);
        run("bookmarks", ReaderTest::bookmarks);
        run("findAcrossTopics", ReaderTest::findAcrossTopics);
        run("keyRepeatTimer", ReaderTest::keyRepeatTimer);
        run("storeSize", ReaderTest::storeSize);
        run("lettersAtTheirWidths", ReaderTest::lettersAtTheirWidths);
        run("hyphens", ReaderTest::hyphens);
        run("sizeAndNight", ReaderTest::sizeAndNight);
        run("phoneFontFallback", ReaderTest::phoneFontFallback);
        if (ran == 0) {
            System.out.println("FAIL no scenario is called " + only);
            System.exit(1);
        }
        if (failures > 0) {
            System.out.println(failures + " check(s) failed");
            System.exit(1);
        }
        System.out.println(only == null ? "all reader checks passed" : "ok, " + only);
    }

    private interface Case {
        void run() throws Exception;
    }

    private static void run(String name, Case c) {
        if (only != null && !only.equals(name))
            return;
        ran++;
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
            same(List.of("No topics"), h.menuRows(), "menu rows");
            same(List.of("Exit/7/1", "Select/4/2"), h.commands(), "menu commands");
            h.command("Select");
            h.press(ReaderHarness.FIRE);
            h.press(ReaderHarness.DOWN);
            h.press(ReaderHarness.RIGHT);
            same("menu", h.kind(), "select on an empty menu");
            same(List.of("No topics"), h.menuRows(), "keys on an empty menu");
            h.command("Exit");
            check(h.isDestroyed(), "Exit ends the reader");
            same("none", records("DefaultBook"), "nothing to keep, nothing written");
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
            same(List.of("> One", "Two"), h.menuRows(), "down at the last entry wraps");
            h.press(ReaderHarness.UP);
            same(List.of("One", "> Two"), h.menuRows(), "up at the first entry wraps");
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
        RecordStore.clear();
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
            same("{Last=0, Pos0=10, Pos1=20}", records("Tales"), "written at every move");
            h.command("Exit");
            same("{Last=0, Pos0=10, Pos1=20}", records("Tales"), "positions at exit");
            h.restart();
            same(List.of("> One", "Two"), h.menuRows(), "the menu opens on the topic read last");
            h.command("Select");
            h.press(ReaderHarness.DOWN);
            openNextTopic(h);
            h.press(ReaderHarness.UP);
            h.destroy();
            same("{Last=1, Pos0=20, Pos1=10}", records("Tales"), "positions after a restart");
            same("", h.console(), "console");
        }
        // Positions beyond a text that became shorter start it from the top.
        RecordStore.put("Tales", List.of(bytes("Pos0"), bytes("500"), bytes("Pos1"), bytes("x")));
        try (ReaderHarness h = new ReaderHarness(jar, 84, 40)) {
            h.start();
            h.command("Select");
            same("0123456789", h.textRows().get(0), "position beyond the end");
            openNextTopic(h);
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
            same("{Last=0, Pos0=0}", records("Tales"), "position of the text");
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

    /** Names over the 32 characters a record store may have: prefix, "~", hash. */
    static void longBookName() throws Exception {
        String name = "A".repeat(30) + "-one";
        String other = "A".repeat(30) + "-two";
        Path jar = book(topics(name, "One", "0123456789abcdefghijklmnopqrstuvwxyz"));
        String store;
        try (ReaderHarness h = new ReaderHarness(jar, 84, 40)) {
            h.start();
            h.command("Select");
            h.press(ReaderHarness.DOWN);
            h.command("Exit");
            same("", h.console(), "console");
            List<String> stores = storeNames();
            same(1, stores.size(), "stores: " + stores);
            store = stores.get(0);
            check(store.length() <= 32, "store name length of " + store);
            check(store.startsWith("A".repeat(23) + "~"), "store name " + store);
            same("{Last=0, Pos0=10}", records(store), "positions kept");
        }
        try (ReaderHarness h = new ReaderHarness(jar, 84, 40)) {
            h.start();
            h.command("Select");
            same("abcdefghij", h.textRows().get(0), "position after a restart");
        }
        // Another long name with the same start keeps its own store.
        try (ReaderHarness h = new ReaderHarness(book(topics(other, "One", "0123456789abc")), 84, 40)) {
            h.start();
            h.command("Select");
            same("0123456789", h.textRows().get(0), "another book starts at the top");
            h.command("Exit");
        }
        same(2, storeNames().size(), "two stores");
        // A name of exactly 32 characters is used as it is.
        String exact = "B".repeat(32);
        try (ReaderHarness h = new ReaderHarness(book(topics(exact, "One", "0123456789abc")), 84, 40)) {
            h.start();
            h.command("Select");
            h.command("Exit");
        }
        same("{Last=0, Pos0=0}", records(exact), "32-character name");
    }

    private static List<String> storeNames() {
        String[] names = RecordStore.listRecordStores();
        return names == null ? List.of() : List.of(names);
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
            h.press(ReaderHarness.numberKey('1'));
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

    // ---- layouts, keys, progress, menu, positions, reading cost ----

    /**
     * Adds layout.txt: the layout, the paragraph style (indent), the empty
     * topic's note, then the size and the id ("t" and the entry number) of
     * each text in topic order.
     */
    private static Map<String, byte[]> layout(String kind, Map<String, byte[]> m) {
        return layout(kind, "indent", m);
    }

    private static final int PIECE = 16384;

    private static Map<String, byte[]> layout(String kind, String style, Map<String, byte[]> m) {
        StringBuilder b = new StringBuilder(kind).append("\r\n").append(style).append("\r\nEmpty\r\n");
        for (int n = 1; m.containsKey("texts/itm" + n); n++) {
            byte[] text = m.get("texts/itm" + n);
            b.append(text.length).append(" t").append(n).append("\r\n");
            // Words: a long text in pieces of 16384 bytes.
            for (int k = 1; kind.equals("words") && k * PIECE < text.length; k++) {
                m.put("texts/itm" + n + "_" + k,
                      java.util.Arrays.copyOfRange(text, k * PIECE, Math.min(text.length, (k + 1) * PIECE)));
            }
            if (kind.equals("words") && text.length > PIECE) {
                m.put("texts/itm" + n, java.util.Arrays.copyOf(text, PIECE));
            }
        }
        m.put("layout.txt", bytes(b.toString()));
        return m;
    }

    private static int key(char c) {
        return ReaderHarness.numberKey(c);
    }

    private static String top(ReaderHarness h) throws Exception {
        return h.textRows().get(0);
    }

    /** Back to the topics, down to the next one, and opened. */
    private static void openNextTopic(ReaderHarness h) throws Exception {
        h.command("Topics");
        h.press(ReaderHarness.DOWN);
        h.command("Select");
    }

    /** 26 rows of 10 letters: row k is letter k. Grid, 84 x 40: 10 columns, 3 rows, a page is 2 rows. */
    static void gridKeys() throws Exception {
        StringBuilder t = new StringBuilder();
        for (char c = 'a'; c <= 'z'; c++) {
            t.append(String.valueOf(c).repeat(10));
        }
        try (ReaderHarness h = new ReaderHarness(book(topics("Tales", "T", t.toString())), 84, 40)) {
            h.start();
            h.command("Select");
            String[][] steps = {
                {"right", "c"}, {"6", "e"}, {"#", "g"}, {"fire", "i"}, {"5", "k"},
                {"hold-right", "q"}, {"left", "o"}, {"4", "m"}, {"*", "k"}, {"hold-left", "e"},
                {"up", "d"}, {"2", "c"}, {"down", "d"}, {"8", "e"}, {"hold-down", "h"},
                {"3", "h"}, {"9", "h"}, {"0", "h"},
                {"7", "x"}, {"right", "z"}, {"right", "z"}, {"down", "z"}, {"1", "a"}, {"up", "a"},
                {"left", "a"},
            };
            for (String[] step : steps) {
                String k = step[0];
                if (k.startsWith("hold-")) {
                    int code = k.endsWith("right") ? ReaderHarness.RIGHT
                        : k.endsWith("left") ? ReaderHarness.LEFT : ReaderHarness.DOWN;
                    h.hold(code, 2);
                } else if (k.length() == 1) {
                    h.press(key(k.charAt(0)));
                } else {
                    h.press(k.equals("right") ? ReaderHarness.RIGHT : k.equals("left") ? ReaderHarness.LEFT
                            : k.equals("up") ? ReaderHarness.UP : k.equals("down") ? ReaderHarness.DOWN
                            : ReaderHarness.FIRE);
                }
                same(step[1].repeat(10), top(h), "first row after " + k);
            }
            h.press(key('7'));
            same(List.of("x".repeat(10), "y".repeat(10), "z".repeat(10)), h.textRows(),
                 "7 shows the last screen");
        }
    }

    /** Words, 84 x 46: the status row, then 10 columns and 3 rows; paragraphs indented 2 columns. */
    static void wordsLayout() throws Exception {
        Map<String, byte[]> m = layout("words", topics("Tales",
            "Fox", "The quick brown fox jumps over the lazy dog",
            "Long", "abcdefghijklmnopqrstuvwxyz end",
            "Lines", "ab\r\ncd\n\nef",
            "Tabs", "\tx\ty\nabcdefghi\tz"));
        try (ReaderHarness h = new ReaderHarness(book(m), 84, 46)) {
            h.start();
            h.command("Select");
            same(List.of("  The", "quick", "brown fox"), h.textRows(),
                 "an indented first row; rows break at blanks, a word at the row end moves down");
            h.press(ReaderHarness.DOWN);
            same(List.of("quick", "brown fox", "jumps over"), h.textRows(), "one row down");
            h.hold(ReaderHarness.DOWN, 1);
            same(List.of("jumps over", "the lazy", "dog"), h.textRows(), "the last row at the bottom");
            h.press(ReaderHarness.UP);
            same("brown fox", top(h), "up");
            h.press(key('1'));
            same("  The", top(h), "1");
            h.press(ReaderHarness.RIGHT);
            same("brown fox", top(h), "a page of 2 rows");
            h.press(ReaderHarness.LEFT);
            same("  The", top(h), "back a page");
            h.press(key('7'));
            same(List.of("jumps over", "the lazy", "dog"), h.textRows(), "7");
            openNextTopic(h);
            same(List.of("  abcdefg-", "hijklmnop-", "qrstuvwxyz"), h.textRows(),
                 "a word longer than a row breaks inside, with a hyphen");
            openNextTopic(h);
            same(List.of("  ab", "  cd", ""), h.textRows(), "CR LF and LF end rows, each line a paragraph");
            h.press(ReaderHarness.DOWN);
            same(List.of("  cd", "", "  ef"), h.textRows(), "an empty line is a row");
            openNextTopic(h);
            same(List.of("    x   y", "  abcdefg-", "hi  z"), h.textRows(),
                 "tabs reach the next multiple of 4 columns; a text's own blanks are not indented; "
                 + "no single letter after a break");
            h.command("Exit");
            same("{Last=t4, Post1=20, Post2=0, Post3=4, Post4=0}", records("Tales"),
                 "places are byte offsets of the first row, by topic id");
        }
        // A kept place that is no row start (a changed font or text) opens at its paragraph's start.
        RecordStore.clear();
        RecordStore.put("Tales", List.of(bytes("Post1"), bytes("13")));
        try (ReaderHarness h = new ReaderHarness(book(m), 84, 46)) {
            h.start();
            h.command("Select");
            same(List.of("  The", "quick", "brown fox"), h.textRows(), "from byte 13");
        }
        m.put("texts/itm1", bytes("One.\nThe quick brown fox jumps over the lazy dog"));
        m = layout("words", m);
        RecordStore.put("Tales", List.of(bytes("Post1"), bytes("27")));
        try (ReaderHarness h = new ReaderHarness(book(m), 84, 46)) {
            h.start();
            h.command("Select");
            same(List.of("  The", "quick", "brown fox"), h.textRows(), "from byte 27, in the second paragraph");
            h.press(ReaderHarness.UP);
            same("  One.", top(h), "and up from there by rows");
        }
    }

    /**
     * Down then up, and page down then page up, retrace the same screens in
     * the words layout, paragraphs of every length.
     */
    static void wordsKeysRetraceRows() throws Exception {
        java.util.Random random = new java.util.Random(15);
        StringBuilder t = new StringBuilder();
        while (t.length() < 30000) {
            int words = random.nextInt(4) == 0 ? random.nextInt(3) : random.nextInt(200);
            for (int w = 0; w < words; w++) {
                int len = random.nextInt(20) == 0 ? 10 + random.nextInt(20) : 1 + random.nextInt(8);
                for (int c = 0; c < len; c++) {
                    t.append((char) ('a' + random.nextInt(26)));
                }
                t.append(random.nextInt(15) == 0 ? "  " : random.nextInt(30) == 0 ? "\t" : " ");
            }
            t.append(random.nextInt(5) == 0 ? "\r\n" : "\n");
        }
        // A paragraph far longer than the reader looks back for a line start.
        StringBuilder tail = new StringBuilder("START ");
        for (int w = 0; w < 3000; w++) {
            tail.append(w % 7 == 0 ? "a" : "w" + w).append(' ');
        }
        Path jar = book(layout("words", topics("Tales", "T", t.toString(), "Tail", tail.toString())));
        try (ReaderHarness h = new ReaderHarness(jar, 84, 40)) {
            h.start();
            h.command("Select");
            for (int[] keys : new int[][] {{ReaderHarness.DOWN, ReaderHarness.UP},
                                           {ReaderHarness.RIGHT, ReaderHarness.LEFT}}) {
                List<Integer> screens = new ArrayList<>();
                for (int i = 0; i < 600; i++) {
                    screens.add(java.util.Arrays.hashCode(pixels(h)));
                    h.press(keys[0]);
                }
                for (int i = 599; i >= 0; i--) {
                    h.press(keys[1]);
                    int now = java.util.Arrays.hashCode(pixels(h));
                    if (now != screens.get(i)) {
                        check(false, "screen " + i + " differs on the way back with key " + keys[1]);
                        break;
                    }
                }
            }
            // In the long paragraph going up still reaches the start, a row at a time.
            openNextTopic(h);
            h.press(key('7'));
            int presses = 0;
            int[] before = pixels(h);
            while (!top(h).startsWith("  START") && presses < 5000) {
                h.press(ReaderHarness.UP);
                int[] after = pixels(h);
                if (java.util.Arrays.equals(before, after)) {
                    check(false, "up does not move in the long paragraph");
                    break;
                }
                before = after;
                presses++;
            }
            check(presses > 1000 && presses < 5000, "rows up the long paragraph: " + presses);
            same("  START a", top(h), "its start");
        }
    }

    private static int[] pixels(ReaderHarness h) throws Exception {
        BufferedImage s = h.screen();
        return s.getRGB(0, 0, s.getWidth(), s.getHeight(), null, 0, s.getWidth());
    }

    static void progressLine() throws Exception {
        String fox = "The quick brown fox jumps over the lazy dog"; // 43 bytes
        try (ReaderHarness h = new ReaderHarness(book(layout("words", topics("Tales", "T", fox))), 84, 46)) {
            h.start();
            h.command("Select");
            // The first screen ends after "brown fox " (20 bytes).
            same(84 * 20 / 43, h.progress(), "words: what has been shown, under the status row");
            h.press(key('7'));
            same(84, h.progress(), "words: at the end");
        }
        String hundred = "0123456789".repeat(10);
        RecordStore.clear();
        try (ReaderHarness h = new ReaderHarness(book(layout("grid", topics("Tales", "T", hundred))), 84, 40)) {
            h.start();
            h.command("Select");
            same(84 * 30 / 100, h.progress(), "grid: along the bottom");
            h.press(ReaderHarness.RIGHT);
            same(84 * 50 / 100, h.progress(), "grid: a page on");
            same("0123456789", top(h), "the text rows are left as they are");
        }
        // Without layout.txt the size is known only once the text was read to its end.
        String big = "0123456789".repeat(1000);
        try (ReaderHarness h = new ReaderHarness(book(topics("Tales", "T", big)), 84, 40)) {
            h.start();
            h.command("Select");
            same(0, h.progress(), "size not known yet");
            h.press(key('7'));
            same(84, h.progress(), "size known at the end");
        }
    }

    /** 30 topics on 100 x 48: 4 rows. */
    static void menuKeysWrapAndPage() throws Exception {
        List<String> pairs = new ArrayList<>();
        for (int i = 1; i <= 30; i++) {
            pairs.add("Topic " + i);
            pairs.add("text " + i);
        }
        try (ReaderHarness h = new ReaderHarness(book(topics("Tales", pairs.toArray(new String[0]))),
                                                 100, 48)) {
            h.start();
            same("Topic 1", h.selectedRow(), "start");
            h.press(ReaderHarness.UP);
            same(List.of("Topic 27", "Topic 28", "Topic 29", "> Topic 30"), h.menuRows(),
                 "up at the first entry goes to the last");
            h.press(ReaderHarness.DOWN);
            same(List.of("> Topic 1", "Topic 2", "Topic 3", "Topic 4"), h.menuRows(),
                 "down at the last entry goes to the first");
            Object[][] steps = {
                {ReaderHarness.RIGHT, "Topic 5"}, {key('6'), "Topic 9"}, {key('#'), "Topic 13"},
                {ReaderHarness.LEFT, "Topic 9"}, {key('4'), "Topic 5"}, {key('*'), "Topic 1"},
                {ReaderHarness.LEFT, "Topic 30"}, {ReaderHarness.RIGHT, "Topic 1"},
                {key('7'), "Topic 30"}, {key('*'), "Topic 26"}, {key('#'), "Topic 30"},
                {key('1'), "Topic 1"}, {key('8'), "Topic 2"}, {key('2'), "Topic 1"},
            };
            for (Object[] step : steps) {
                h.press((Integer) step[0]);
                same(step[1], h.selectedRow(), "after key " + step[0]);
            }
            h.hold(ReaderHarness.DOWN, 2);
            same("Topic 4", h.selectedRow(), "a held key repeats");
            h.press(key('5'));
            same("text 4", top(h), "5 opens the selected topic");
        }
    }

    /** 100 x 48: 12 columns inside the selection frame. */
    static void menuScrollsLongName() throws Exception {
        String name = "Topic 2 with a name far too long for this screen";
        int excess = name.length() - 12;
        Path jar = book(topics("Tales", "Topic 1", "one", name, "two", "Topic 3", "three"));
        try (ReaderHarness h = new ReaderHarness(jar, 100, 48)) {
            h.start();
            same(0, volm.util.Timer.scheduledTasks(), "no timer while the selected name fits");
            same(List.of("> Topic 1", "Topic 2 with", "Topic 3"), h.menuRows(), "unselected names are cut");
            h.press(ReaderHarness.DOWN);
            same(1, volm.util.Timer.scheduledTasks(), "a timer for the long selected name");
            h.tick(2);
            same("Topic 2 with", h.selectedRow(), "it holds at the start");
            h.tick(1);
            same(name.substring(1, 13).trim(), h.selectedRow(), "a character on");
            h.tick(excess - 1);
            same(name.substring(excess).stripTrailing(), h.selectedRow(), "its end");
            h.tick(2);
            same(name.substring(excess).stripTrailing(), h.selectedRow(), "it holds at the end");
            h.tick(1);
            same("Topic 2 with", h.selectedRow(), "and starts again");
            h.press(ReaderHarness.FIRE);
            same(0, volm.util.Timer.scheduledTasks(), "no timer while a text is shown");
            h.command("Topics");
            same(1, volm.util.Timer.scheduledTasks(), "the timer again in the menu");
            h.press(ReaderHarness.DOWN);
            same(0, volm.util.Timer.scheduledTasks(), "none for a short name");
            same(List.of("Topic 1", "Topic 2 with", "> Topic 3"), h.menuRows(), "the long name is cut again");
            h.press(ReaderHarness.UP);
            same(1, volm.util.Timer.scheduledTasks(), "the long name again");
            h.command("Exit");
            same(0, volm.util.Timer.scheduledTasks(), "none after Exit");
        }
    }

    private static String paragraphs(int count) {
        StringBuilder t = new StringBuilder();
        for (int i = 0; i < count; i++) {
            t.append("Paragraph ").append(i).append(" has a few words to wrap.\n");
        }
        return t.toString();
    }

    /** After Topics and a restart without Exit: the menu on that topic, the same screen. */
    static void positionsAfterTopicsThenKill() throws Exception {
        for (String kind : new String[] {"words", "grid"}) {
            RecordStore.clear();
            Path jar = book(layout(kind, topics("Tales", "One", paragraphs(50), "Two", paragraphs(80))));
            List<String> screen;
            try (ReaderHarness h = new ReaderHarness(jar, 100, 70)) {
                h.start();
                h.press(ReaderHarness.DOWN);
                h.command("Select");
                h.press(ReaderHarness.RIGHT);
                h.press(ReaderHarness.RIGHT);
                h.press(ReaderHarness.DOWN);
                screen = h.textRows();
                h.command("Topics");
                h.restart();
                same("Two", h.selectedRow(), kind + ": the menu opens on the topic read last");
                h.command("Select");
                same(screen, h.textRows(), kind + ": Select brings back the same screen");
            }
        }
    }

    static void positionsAfterPauseAndKeys() throws Exception {
        Path jar = book(layout("words", topics("Tales", "One", paragraphs(200), "Two", "short")));
        try (ReaderHarness h = new ReaderHarness(jar, 100, 70)) {
            h.start();
            h.command("Select");
            h.press(ReaderHarness.RIGHT);
            List<String> screen = h.textRows();
            h.pause();
            h.restart();
            h.command("Select");
            same(screen, h.textRows(), "the screen after a pause and a kill");
            int writes = RecordStore.writes("Tales");
            h.press(ReaderHarness.DOWN);
            same(writes + 1, RecordStore.writes("Tales"), "every move is written");
            screen = h.textRows();
            h.restart();
            h.command("Select");
            same(screen, h.textRows(), "the screen after a key and a kill");
            writes = RecordStore.writes("Tales");
            h.hold(ReaderHarness.DOWN, 18);
            check(RecordStore.writes("Tales") - writes <= 2,
                  "a held key writes at most once a second and when let go: " + (RecordStore.writes("Tales") - writes));
            screen = h.textRows();
            h.restart();
            h.command("Select");
            same(screen, h.textRows(), "the screen after a held key and a kill");
            writes = RecordStore.writes("Tales");
            h.command("Topics");
            h.command("Select");
            h.pause();
            h.command("Topics");
            same(writes, RecordStore.writes("Tales"), "what did not change is not written again");
            same("{Last=t1, Post1=" + positionOf(h) + "}", records("Tales"), "one record set");
            same(4, RecordStore.contents("Tales").size(), "two pairs of records");
        }
    }

    private static String positionOf(ReaderHarness h) {
        List<byte[]> r = RecordStore.contents("Tales");
        for (int i = 0; i + 1 < r.size(); i += 2) {
            if (new String(r.get(i), StandardCharsets.ISO_8859_1).equals("Post1")) {
                return new String(r.get(i + 1), StandardCharsets.ISO_8859_1);
            }
        }
        return "?";
    }

    /** A record store that fails never stops reading; it is written anew once it works. */
    static void failingRecordStore() throws Exception {
        Path jar = book(layout("words", topics("Tales", "One", paragraphs(40), "Two", paragraphs(40))));
        RecordStore.put("Tales", List.of(bytes("Post1"), bytes("30")));
        RecordStore.failing = true;
        try (ReaderHarness h = new ReaderHarness(jar, 100, 70)) {
            h.start();
            check(h.console().contains("Can't load properties"), "console: " + h.console());
            h.command("Select");
            same("  Paragraph", top(h), "read from the top");
            h.press(ReaderHarness.RIGHT);
            h.command("Topics");
            check(h.console().contains("Can't save properties"), "console: " + h.console());
            h.press(ReaderHarness.DOWN);
            h.command("Select");
            same("  Paragraph", top(h), "reading goes on");
            RecordStore.failing = false;
            h.press(ReaderHarness.RIGHT);
            h.command("Topics");
            same(6, RecordStore.contents("Tales").size(), "the store written anew, old records gone");
            check(records("Tales").matches("\\{Last=t2, Post1=\\d+, Post2=\\d+\\}"), records("Tales"));
        } finally {
            RecordStore.failing = false;
        }
    }

    /**
     * Bytes read from the jar per page down at 1%, 50% and 99% of a 1 MB
     * topic, 176 x 208 with the default font: the same within 2x at every
     * depth, and about a screen.
     */
    static void bytesReadPerPage() throws Exception {
        StringBuilder t = new StringBuilder();
        for (int i = 0; t.length() < (1 << 20); i++) {
            t.append("Line ").append(i).append(" of a long topic, with some words to wrap around.\n");
        }
        for (String kind : new String[] {"words", "grid"}) {
            Path jar = book(layout(kind, topics("Tales", "Big", t.toString())));
            StringBuilder report = new StringBuilder("bytes read per page down (" + kind + "):");
            long min = Long.MAX_VALUE;
            long max = 0;
            for (int percent : new int[] {1, 50, 99}) {
                RecordStore.clear();
                RecordStore.put("Tales", List.of(bytes("Post1"), bytes(String.valueOf(t.length() / 100 * percent))));
                try (ReaderHarness h = new ReaderHarness(jar, 176, 208)) {
                    h.start();
                    h.command("Select");
                    h.screen();
                    // Far into a text read from its start: "Wait..." first.
                    same(kind.equals("grid") && percent > 1, h.strings().contains("Wait\u2026"),
                         kind + " " + percent + "%: the wait mark");
                    h.screen();
                    long before = h.bytesRead();
                    for (int i = 0; i < 10; i++) {
                        h.press(ReaderHarness.RIGHT);
                        h.screen();
                    }
                    long per = (h.bytesRead() - before) / 10;
                    // Going back reads the text from its start again once it leaves the buffer.
                    before = h.bytesRead();
                    for (int i = 0; i < 40; i++) {
                        h.press(ReaderHarness.LEFT);
                        h.screen();
                    }
                    long back = (h.bytesRead() - before) / 40;
                    report.append(String.format(" %d%%: %d (page up %d)", percent, per, back));
                    min = Math.min(min, per);
                    max = Math.max(max, per);
                }
            }
            System.out.println(report);
            check(max <= 2 * min, report.toString());
            check(max < 2048, report.toString());
        }
    }

    // ---- reading a whole book (words layout) ----

    /** Three topics of paragraphs, 100 x 70: 12 columns, 5 rows. */
    private static Map<String, byte[]> threeTopics() {
        return layout("words", topics("Tales", "One", paragraphs(6), "Two", paragraphs(7), "Three", paragraphs(5)));
    }

    static void topicToTopic() throws Exception {
        Path jar = book(threeTopics());
        try (ReaderHarness h = new ReaderHarness(jar, 100, 70)) {
            h.start();
            h.press(ReaderHarness.DOWN);
            h.command("Select");
            int[] twoFromMenu = pixels(h);
            h.press(ReaderHarness.DOWN);
            h.press(ReaderHarness.DOWN);
            int[] twoKept = pixels(h);
            h.command("Topics");
            h.press(ReaderHarness.UP);
            h.command("Select");
            h.press(key('7'));
            List<String> endOfOne = h.textRows();
            for (int k : new int[] {ReaderHarness.DOWN, ReaderHarness.RIGHT, ReaderHarness.FIRE, key('5')}) {
                h.command("Topics");
                h.press(key('1'));
                h.command("Select");
                h.press(key('7'));
                h.press(k);
                same("text", h.kind(), "key " + k);
                check(java.util.Arrays.equals(twoKept, pixels(h)),
                      "key " + k + " at the end of One shows Two as the menu opens it");
            }
            h.press(ReaderHarness.UP);
            h.press(ReaderHarness.UP);
            same("  Paragraph", top(h), "Two's start");
            h.press(ReaderHarness.UP);
            same(endOfOne, h.textRows(), "up at the start of Two: the end of One");
            h.press(key('1'));
            List<String> startOfOne = h.textRows();
            h.press(ReaderHarness.LEFT);
            same(startOfOne, h.textRows(), "left at the start of the first topic stays");
            h.press(key('9'));
            check(java.util.Arrays.equals(twoFromMenu, pixels(h)), "9: the start of Two");
            h.press(key('9'));
            h.press(key('3'));
            check(java.util.Arrays.equals(twoFromMenu, pixels(h)), "3: the start of Two again");
            h.press(key('9'));
            h.press(key('7'));
            List<String> last = h.textRows();
            same("   * * *", last.get(last.size() - 1), "the end mark after the last topic");
            h.press(ReaderHarness.DOWN);
            h.press(ReaderHarness.RIGHT);
            same(last, h.textRows(), "and no further");
            h.command("Topics");
            same("Three", h.selectedRow(), "the menu follows the topic read");
            h.press(key('3'));
            same("Two", h.selectedRow(), "3 in the menu");
            h.press(key('9'));
            h.press(key('9'));
            same("Three", h.selectedRow(), "9 in the menu stops at the last entry");
        }
        // The grid layout keeps its keys: nothing beyond the ends of a topic.
        Map<String, byte[]> grid = layout("grid", topics("Tales", "One", "abc", "Two", "def"));
        try (ReaderHarness h = new ReaderHarness(book(grid), 100, 70)) {
            h.start();
            h.command("Select");
            for (char c : new char[] {'9', '0', '5', '8'}) {
                h.press(key(c));
            }
            same("abc", top(h), "grid: 9, 0 and going on stay in the topic");
        }
    }

    static void volumePointer() throws Exception {
        Map<String, byte[]> m = threeTopics();
        m.put("topics.txt", bytes("One\r\nTwo\r\nThree\r\n\u00bb Tales 2\r\n"));
        try (ReaderHarness h = new ReaderHarness(book(m), 100, 70)) {
            h.start();
            h.press(key('7'));
            h.command("Select");
            List<String> note = h.textRows();
            same("text", h.kind(), "the pointer entry opens a screen");
            same(List.of("Continued in", "  Tales 2", "(a separate", "application", "to install)"), note, "the note");
            check(String.join("|", note).contains("Tales 2"), "names the next volume: " + note);
            h.command("Topics");
            h.press(ReaderHarness.UP);
            h.command("Select");
            h.press(key('7'));
            List<String> end = h.textRows();
            check(!end.contains("   * * *"), "no end mark in a volume that goes on: " + end);
            h.press(ReaderHarness.DOWN);
            same(note, h.textRows(), "going on past the last topic shows the same note");
            h.press(ReaderHarness.DOWN);
            same(note, h.textRows(), "and stays there");
            h.press(ReaderHarness.UP);
            same(end, h.textRows(), "up goes back to the end of the last topic");
            h.command("Exit");
            check(!records("Tales").contains("Pos3") && records("Tales").contains("Last=t3"),
                  "the note keeps no place: " + records("Tales"));
        }
    }

    static void paragraphsHeadingsBreaks() throws Exception {
        String text = "\u0001Part\nOne two.\n* * *\n  Own blanks\n#\nA\n\nB";
        // 100 x 125: 12 columns, 10 rows.
        try (ReaderHarness h = new ReaderHarness(book(layout("words", topics("Tales", "T", text))), 100, 125)) {
            h.start();
            h.command("Select");
            same(List.of("    Part", "", "  One two.", "   * * *", "  Own blanks", "     #", "  A", "", "  B",
                         "   * * *"),
                 h.textRows(), "heading centred with a blank row, scene breaks centred, own blanks kept");
        }
        // Gap style: no indent, a third of a row between paragraphs.
        RecordStore.clear();
        try (ReaderHarness h = new ReaderHarness(book(layout("words", "gap",
                 topics("Tales", "T", "One two three four five six\nSeven"))), 100, 125)) {
            h.start();
            h.command("Select");
            int top = h.glyphs().cell + 2;
            int cell = h.glyphs().cell;
            same("One two", h.rowAt(top).substring(0, 7), "no indent");
            same("three four", h.rowAt(top + cell), "a row of the same paragraph right below");
            same("Seven", h.rowAt(top + 3 * cell + cell / 3), "the next paragraph a third of a row lower");
        }
        // An empty topic shows the book's note.
        RecordStore.clear();
        Map<String, byte[]> m = layout("words", topics("Tales", "Empty one", "", "T", "text"));
        m.put("layout.txt", bytes(new String(m.get("layout.txt"), StandardCharsets.ISO_8859_1)
                                      .replace("Empty", "\u00cf\u00f3\u00f1\u00f2\u00ee")));
        try (ReaderHarness h = new ReaderHarness(book(m), 100, 70)) {
            h.start();
            h.command("Select");
            // (Read back as the lowest byte of each glyph: "y", "c" and "o" for the Cyrillic letters.)
            check(h.textRows().contains("   \u00cfyc\u00f2o"), "the note: " + h.textRows());
            h.press(ReaderHarness.DOWN);
            same("  text", top(h), "down goes on to the next topic");
        }
    }

    static void placesByTopicId() throws Exception {
        Map<String, byte[]> v1 = layout("words", topics("Tales", "One", paragraphs(40), "Two", paragraphs(60)));
        List<String> screen;
        try (ReaderHarness h = new ReaderHarness(book(v1), 100, 70)) {
            h.start();
            h.press(ReaderHarness.DOWN);
            h.command("Select");
            for (int page = 1; page <= 3; page++) {
                h.press(ReaderHarness.RIGHT);
                List<String> now = h.textRows();
                h.restart();
                same("Two", h.selectedRow(), "after page " + page + " and a kill: the menu on Two");
                h.command("Select");
                same(now, h.textRows(), "after page " + page + " and a kill: the same screen");
            }
            screen = h.textRows();
        }
        // A topic inserted before it, the new jar installed over the old one: ids t1, t9, t2.
        Map<String, byte[]> v2 = topics("Tales", "One", paragraphs(40), "New", paragraphs(10), "Two", paragraphs(60));
        v2 = layout("words", v2);
        v2.put("layout.txt", bytes(new String(v2.get("layout.txt"), StandardCharsets.ISO_8859_1)
                                       .replace(" t2\r\n", " t9\r\n").replace(" t3\r\n", " t2\r\n")));
        try (ReaderHarness h = new ReaderHarness(book(v2), 100, 70)) {
            h.start();
            same("Two", h.selectedRow(), "the menu opens on the topic read last");
            h.command("Select");
            same(screen, h.textRows(), "the topic opens at its own place");
            h.command("Topics");
            h.press(ReaderHarness.UP);
            h.command("Select");
            same("  Paragraph", top(h), "the new topic from its start");
        }
        // A topic removed: its place is dropped from the store.
        Map<String, byte[]> v3 = layout("words", topics("Tales", "One", paragraphs(40)));
        try (ReaderHarness h = new ReaderHarness(book(v3), 100, 70)) {
            h.start();
            h.command("Select");
            h.press(ReaderHarness.DOWN);
            h.command("Exit");
            same("{Last=t1, Post1=" + positionOf(h) + "}", records("Tales"), "only the places of ids there are");
        }
    }

    static void statusRow() throws Exception {
        Path jar = book(layout("words", topics("Tales", "Short", paragraphs(3),
                                                "A name longer than the row", paragraphs(30))));
        try (ReaderHarness h = new ReaderHarness(jar, 176, 208)) {
            h.start();
            h.command("Select");
            same("Short", h.statusRow().substring(0, 5), "the name");
            int first = paragraphs(3).length();
            check(h.statusRow().endsWith(" 100% " + first * 100 / (first + paragraphs(30).length()) + "%"),
                  "the topic's and the book's percentage: " + h.statusRow());
            h.command("Topics");
            h.press(ReaderHarness.DOWN);
            h.command("Select");
            String s = h.statusRow();
            check(s.matches("A name longe\u0085 +\\d+% \\d+%"), "cut with an ellipsis: " + s);
            h.press(key('7'));
            check(h.statusRow().endsWith(" 100% 100%"), "at the end: " + h.statusRow());
        }
        // On a narrow screen only the topic's percentage.
        RecordStore.clear();
        try (ReaderHarness h = new ReaderHarness(jar, 60, 60)) {
            h.start();
            h.command("Select");
            check(h.statusRow().matches("Sh\u0085 +\\d+%"), "compact: " + h.statusRow());
        }
    }

    /** The kept place of topic t1, from the store. */
    private static int placeOf(ReaderHarness h) throws Exception {
        h.command("Topics");
        return Integer.parseInt(positionOf(h));
    }

    static void goToPercent() throws Exception {
        String text = paragraphs(400);
        try (ReaderHarness h = new ReaderHarness(book(layout("words", topics("Tales", "T", text))), 128, 128)) {
            h.start();
            h.command("Select");
            h.command("Options");
            same("list Options", h.kind(), "Options");
            same(List.of("Go to %", "Add bookmark", "Bookmarks", "Find"), h.listItems(), "the options");
            h.command("Back");
            same("text", h.kind(), "Back");
            h.press(key('0'));
            same("list Options", h.kind(), "0 opens the options");
            h.choose("Go to %");
            same(11, h.listItems().size(), "0% to 100% in steps of 10");
            h.choose("50%");
            same("text", h.kind(), "back on the text");
            int at = placeOf(h);
            check(at <= text.length() / 2 && at > text.length() / 2 - 400, "50% lands near the middle: " + at);
            h.command("Select");
            h.command("Options");
            h.choose("Go to %");
            h.choose("100%");
            h.press(ReaderHarness.DOWN);
            check(h.textRows().contains("   * * *") || String.join("", h.textRows()).contains("* * *"),
                  "100%: the end: " + h.textRows());
        }
    }

    static void bookmarks() throws Exception {
        Path jar = book(layout("words", topics("Tales", "One", paragraphs(100), "Two", paragraphs(100))));
        try (ReaderHarness h = new ReaderHarness(jar, 128, 128)) {
            h.start();
            h.command("Select");
            h.press(key('0'));
            h.choose("Add bookmark");
            same("text", h.kind(), "back on the text");
            check(h.statusRow().startsWith("Bookmark"), h.statusRow());
            for (int i = 0; i < 10; i++) {
                h.press(ReaderHarness.RIGHT);
            }
            List<String> marked = h.textRows();
            h.press(key('0'));
            h.choose("Add bookmark");
            h.press(key('9'));
            h.press(key('0'));
            h.choose("Add bookmark");
            h.press(key('0'));
            h.choose("Bookmarks");
            List<String> items = h.listItems();
            same(3, items.size(), "three bookmarks: " + items);
            same("One 0%", items.get(0), "named by topic and percentage");
            check(items.get(1).startsWith("One ") && !items.get(1).equals("One 0%"), items.get(1));
            same("Two 0%", items.get(2), "the third");
            h.choose(items.get(1));
            same("text", h.kind(), "a bookmark opens");
            same(marked, h.textRows(), "at its place");
            h.press(key('0'));
            h.choose("Bookmarks");
            h.select(items.get(0));
            h.command("Delete");
            same(List.of(items.get(1), items.get(2)), h.listItems(), "deleted");
            h.command("Delete");
            h.command("Delete");
            same(List.of(), h.listItems(), "all deleted");
            h.command("Back");
            h.command("Exit");
            check(!records("Tales").contains("Bm"), "none left in the store: " + records("Tales"));
            // At most ten: the oldest makes room.
            h.restart();
            h.command("Select");
            for (int i = 0; i < 12; i++) {
                h.press(ReaderHarness.RIGHT);
                h.press(key('0'));
                h.choose("Add bookmark");
            }
            h.press(key('0'));
            h.choose("Bookmarks");
            same(10, h.listItems().size(), "ten kept");
        }
    }

    static void findAcrossTopics() throws Exception {
        Map<String, byte[]> m = layout("words", topics("Tales",
            "One", paragraphs(30), "Two", paragraphs(30),
            "Three", paragraphs(20) + "Here is the Needle.\n\u00c5\u00eb\u00ea\u00e0 \u00b8\u00eb\u00ea\u00e0 \u00a8\u00cb\u00ca\u00c0\n"));
        try (ReaderHarness h = new ReaderHarness(book(m), 128, 128)) {
            h.start();
            h.command("Select");
            h.press(key('0'));
            h.choose("Find");
            same("textbox Find", h.kind(), "a text box");
            h.type("nEEDLE");
            h.command("Find");
            same("text", h.kind(), "found");
            same("Three", h.statusRow().substring(0, 5), "two topics on");
            same("Needle.", top(h), "the row that holds it on top");
            // Cyrillic in either case: "ёлка" finds "Ёлка" after "Елка".
            h.press(key('0'));
            h.choose("Find");
            h.type("\u0451\u041b\u041a\u0410");
            h.command("Find");
            // (Read back as the lowest byte of each glyph: Latin "a" and "K" for the Cyrillic letters.)
            check(top(h).contains("\u00b8\u00eb\u00eaa"), "found in lower case: " + top(h));
            h.press(key('0'));
            h.choose("Find");
            h.command("Find");
            check(top(h).contains("\u00a8\u00cbKA"), "found again further on, in upper case: " + top(h));
            h.press(key('0'));
            h.choose("Find");
            h.type("no such words");
            h.command("Find");
            check(h.statusRow().startsWith("Not found"), "not found: " + h.statusRow());
        }
    }

    static void keyRepeatTimer() throws Exception {
        Path jar = book(layout("words", topics("Tales", "T", paragraphs(100))));
        javax.microedition.lcdui.Canvas.repeatEvents = false;
        try (ReaderHarness h = new ReaderHarness(jar, 128, 128)) {
            h.start();
            h.command("Select");
            h.key(ReaderHarness.DOWN, true);
            List<String> once = h.textRows();
            h.tick(5);
            List<String> held = h.textRows();
            check(!once.equals(held), "a held down moves on by the reader's timer");
            h.key(ReaderHarness.DOWN, false);
            h.tick(5);
            same(held, h.textRows(), "and stops when let go");
            same(0, volm.util.Timer.scheduledTasks(), "no timer left");
        } finally {
            javax.microedition.lcdui.Canvas.repeatEvents = true;
        }
    }

    /** A 300-topic book with 20 places and 5 bookmarks keeps its store small. */
    static void storeSize() throws Exception {
        List<String> pairs = new ArrayList<>();
        for (int i = 1; i <= 300; i++) {
            pairs.add("Topic " + i);
            pairs.add(paragraphs(30));
        }
        Map<String, byte[]> m = layout("words", topics("Tales", pairs.toArray(new String[0])));
        m.put("layout.txt", bytes(new String(m.get("layout.txt"), StandardCharsets.ISO_8859_1)
                                      .replaceAll(" t(\\d+)\r\n", " 7fa3c9e$1\r\n")));
        try (ReaderHarness h = new ReaderHarness(book(m), 128, 128)) {
            h.start();
            for (int t = 0; t < 20; t++) {
                h.command("Select");
                h.press(ReaderHarness.RIGHT);
                if (t < 5) {
                    h.press(key('0'));
                    h.choose("Add bookmark");
                }
                h.press(key('9'));
                h.command("Topics");
                for (int k = 0; k < 13; k++) {
                    h.press(ReaderHarness.DOWN);
                }
            }
            h.command("Exit");
        }
        int bytes = 0;
        for (byte[] r : RecordStore.contents("Tales")) {
            bytes += r.length;
        }
        System.out.println("store of 300 topics, 20 places and 5 bookmarks: " + bytes + " bytes in "
                           + RecordStore.contents("Tales").size() + " records");
        check(bytes < 2048, "store bytes " + bytes);
    }

    // ---- type ----

    /**
     * Adds a words book's font of size k: the template's cells, scaled, as a
     * paletted image (white paper, navy ink) with its map: every byte 8 x scale
     * pixels wide, those of narrow 4 x scale, control bytes and soft hyphens none.
     */
    private static void mapFont(Map<String, byte[]> m, int k, int scale, String narrow) throws Exception {
        BufferedImage cells;
        try (ZipFile zip = new ZipFile(template.toFile());
             InputStream in = zip.getInputStream(zip.getEntry("images/Font.png"))) {
            cells = ImageIO.read(in);
        }
        java.awt.image.IndexColorModel palette = new java.awt.image.IndexColorModel(
            1, 2, new byte[] {(byte) 0xFF, 0}, new byte[] {(byte) 0xFF, 0}, new byte[] {(byte) 0xFF, (byte) 0x80});
        BufferedImage font = new BufferedImage(176 * scale, 176 * scale, BufferedImage.TYPE_BYTE_BINARY, palette);
        for (int y = 0; y < font.getHeight(); y++) {
            for (int x = 0; x < font.getWidth(); x++) {
                font.setRGB(x, y, (cells.getRGB(x / scale, y / scale) & 0xFFFFFF) == 0xFFFFFF ? 0xFFFFFF : 0x000080);
            }
        }
        ByteArrayOutputStream png = new ByteArrayOutputStream();
        ImageIO.write(font, "png", png);
        byte[] map = new byte[1 + 4 * 256];
        map[0] = (byte) (11 * scale);
        for (int b = 0; b < 256; b++) {
            int x = 11 * scale * (b % 16);
            map[1 + 4 * b] = (byte) (x >> 8);
            map[2 + 4 * b] = (byte) x;
            map[3 + 4 * b] = (byte) (b / 16);
            map[4 + 4 * b] = (byte) (b < 32 || b == 0xAD ? 0 : narrow.indexOf(b) >= 0 ? 4 * scale : 8 * scale);
        }
        m.put("images/Font" + k + ".png", png.toByteArray());
        m.put("images/Font" + k + ".map", map);
    }

    private static int place(String store, String key) {
        List<byte[]> r = RecordStore.contents(store);
        for (int i = 0; r != null && i + 1 < r.size(); i += 2) {
            if (new String(r.get(i), StandardCharsets.ISO_8859_1).equals(key)) {
                return Integer.parseInt(new String(r.get(i + 1), StandardCharsets.ISO_8859_1));
            }
        }
        return -1;
    }

    static void lettersAtTheirWidths() throws Exception {
        String is = "i".repeat(200);
        for (String narrow : new String[] {"", "i"}) {
            RecordStore.clear();
            Map<String, byte[]> m = layout("words", topics("Tales", "T", is));
            mapFont(m, 1, 1, narrow);
            try (ReaderHarness h = new ReaderHarness(book(m), 100, 70)) {
                h.start();
                h.command("Select");
                h.press(ReaderHarness.DOWN);
                h.command("Topics");
                // 98 pixels, 16 of them the indent, 8 kept for the hyphen; then
                // one letter fewer, so that the next piece is no single letter.
                same(narrow.isEmpty() ? 9 : 18, place("Tales", "Post1"),
                     "letters on the first row, " + (narrow.isEmpty() ? "8" : "4") + " pixels each");
            }
        }
        // Letters of 8 pixels, "-" of 4, a row of 84: ten letters and the
        // hyphen would fit, but an eleven-letter word would leave one alone.
        RecordStore.clear();
        Map<String, byte[]> m = layout("words", "gap", topics("Tales", "T", "abcdefghijk next\n" + paragraphs(10)));
        mapFont(m, 1, 1, "-");
        try (ReaderHarness h = new ReaderHarness(book(m), 86, 70)) {
            h.start();
            h.command("Select");
            h.press(ReaderHarness.DOWN);
            h.command("Topics");
            same(9, place("Tales", "Post1"), "no single letter after the break");
        }
    }

    /** 84 x 46, gap style (no indent): 10 columns. */
    static void hyphens() throws Exception {
        Map<String, byte[]> m = layout("words", "gap", topics("Tales",
            "Soft", "aaaa bb\u00adcc\u00addd\u00adee",
            "Hard", "aaaa north-eastern",
            "Fits", "aaaa bb\u00adcc"));
        try (ReaderHarness h = new ReaderHarness(book(m), 84, 46)) {
            h.start();
            h.command("Select");
            same(List.of("aaaa bbcc-", "ddee", ""), h.textRows(), "a break at a soft hyphen shows \"-\"");
            openNextTopic(h);
            same(List.of("aaaa", "north-", "eastern"), h.textRows(), "a break after a hyphen");
            openNextTopic(h);
            same(List.of("aaaa bbcc", "  * * *", ""), h.textRows(), "a soft hyphen takes no room");
        }
    }

    static void sizeAndNight() throws Exception {
        Map<String, byte[]> m = layout("words", topics("Tales", "T", paragraphs(60)));
        mapFont(m, 1, 1, "");
        mapFont(m, 2, 2, "");
        // 128 x 160: 15 columns of 8 pixels, under 20: the larger size is not the default.
        try (ReaderHarness h = new ReaderHarness(book(m), 128, 160)) {
            h.start();
            h.command("Select");
            h.press(ReaderHarness.RIGHT);
            int[] small = pixels(h);
            same(0xFFFFFF, h.screen().getRGB(127, 159) & 0xFFFFFF, "white paper");
            h.press(key('0'));
            same(List.of("Go to %", "Add bookmark", "Bookmarks", "Find", "Font size", "Night"), h.listItems(),
                 "the options with two sizes and a palette");
            h.choose("Font size");
            same("text", h.kind(), "back on the text");
            check(!java.util.Arrays.equals(small, pixels(h)), "the larger size");
            h.press(key('#'));
            same(0x000000, h.screen().getRGB(127, 159) & 0xFFFFFF, "# for night: black paper");
            int[] night = pixels(h);
            h.restart();
            h.command("Select");
            check(java.util.Arrays.equals(night, pixels(h)), "size, night and place kept after a restart");
            h.press(key('*'));
            h.press(key('0'));
            h.choose("Night");
            check(java.util.Arrays.equals(small, pixels(h)), "* and Night: back to the small size by day");
        }
    }

    static void phoneFontFallback() throws Exception {
        Map<String, byte[]> m = layout("words", topics("Tales", "T", "The quick brown fox"));
        mapFont(m, 1, 1, "");
        m.put("images/Font1.png", bytes("not a picture"));
        try (ReaderHarness h = new ReaderHarness(book(m), 128, 128)) {
            h.start();
            check(h.console().contains("The phone's own font instead"), "console: " + h.console());
            h.command("Select");
            h.screen();
            String drawn = String.join("", h.strings());
            check(drawn.contains("Thequick") || drawn.contains("The quick"), "drawn with the phone's font: " + drawn);
        }
    }
}
