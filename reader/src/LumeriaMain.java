import java.util.Enumeration;
import java.util.Hashtable;
import javax.microedition.lcdui.Command;
import javax.microedition.lcdui.CommandListener;
import javax.microedition.lcdui.Display;
import javax.microedition.lcdui.Displayable;
import javax.microedition.lcdui.Image;
import javax.microedition.lcdui.List;
import javax.microedition.lcdui.TextBox;
import javax.microedition.midlet.MIDlet;
import javax.microedition.rms.RecordStore;
import javax.microedition.rms.RecordStoreNotFoundException;

/**
 * The book reader: the topic menu, one text screen at a time, the options
 * (go to a percentage, bookmarks, find) and the reading place of every topic,
 * kept in a record store named after the book as pairs of records: key "Pos"
 * + topic id, value the byte offset; key "Last", the id of the topic read
 * last; keys "Bm0" to "Bm9", a bookmark's topic id, a blank and its offset.
 * A topic's id is the one layout.txt gives it, else its entry number; places
 * and bookmarks of ids the book no longer has are dropped. The place is
 * written whenever it moved (at most once a second while a key is held), when
 * a text is left, when the phone pauses the reader and at exit; only what
 * changed is written.
 *
 * The font: a grid book's "/images/Font.png" (cells); a words book's sizes
 * "/images/Font1.png" ... (up to three, smallest first, each with its map
 * "/images/Font1.map"), the largest that gives 20 figures a row unless the
 * reader chose one (key "Size"); night reading (key "Night") inverts the
 * palette of the image before it is decoded. A font image that cannot be
 * made gives a words book the phone's own font.
 *
 * "/layout.txt", when the book has it, holds the text layout ("words" or
 * "grid"), the paragraph style ("indent" or "gap"), the note an empty topic
 * shows, and then for each text in menu order its size in bytes and its id.
 * A menu entry without a text is the pointer to the next volume.
 */
public class LumeriaMain extends MIDlet implements CommandListener {
    private static final String LAST = "Last";
    private static final String MARK = "Bm";
    private static final int MARKS = 10;
    private final Command exitCommand = new Command("Exit", Command.EXIT, 1);
    private final Command topicsCommand = new Command("Topics", Command.BACK, 2);
    private final Command selectCommand = new Command("Select", Command.OK, 2);
    private final Command optionsCommand = new Command("Options", Command.SCREEN, 3);
    private final Command backCommand = new Command("Back", Command.BACK, 2);
    private final Command findCommand = new Command("Find", Command.OK, 1);
    private final Command deleteCommand = new Command("Delete", Command.SCREEN, 3);
    /** Keys and values as they are now, as the store holds them, and the record ids of the values. */
    private final Hashtable positions = new Hashtable();
    private final Hashtable stored = new Hashtable();
    private final Hashtable ids = new Hashtable();
    private boolean rewrite;
    private Display display;
    private int fonts;
    private int size;
    private TFiledStringList files;
    private TFiledStringList layout;
    private TFiledStringList names;
    private TFiledMenu menu;
    private TScrollFixedText text;
    private int textEntry;
    private String storeName;
    private boolean words;
    private int[] sizes;
    private String[] topicIds;
    private int total;
    private List options;
    private List list;
    private TextBox query;
    private String sought = "";
    private boolean percents;
    private int foundEntry = -1;
    private int found;

    public LumeriaMain() {
    }

    protected void startApp() {
        if (menu == null) {
            display = Display.getDisplay(this);
            TFiledStringList app = new TFiledStringList("appname.txt");
            storeName = storeName(app.getCount() > 0 ? app.getString(0) : "DefaultBook");
            loadPositions();
            files = new TFiledStringList("/files.txt");
            layout = new TFiledStringList("/layout.txt");
            names = new TFiledStringList("/topics.txt");
            words = "words".equals(layout.getString(0));
            readLayout();
            menu = new TFiledMenu(names, this, selectCommand);
            while (words && fonts < 3 && getClass().getResourceAsStream("/images/Font" + (fonts + 1) + ".map") != null) {
                fonts++;
            }
            size = number((String) positions.get("Size"));
            if (size < 1 || size > fonts) {
                // The largest size that gives a row of 20 figures.
                for (size = fonts; size > 1; size--) {
                    byte[] map = read("/images/Font" + size + ".map");
                    if (map != null && map.length > 196 && (menu.getWidth() - 2) / (1 + (map[196] & 0xFF)) >= 20) {
                        break;
                    }
                }
            }
            loadFont();
            menu.setSelected(entryOf((String) positions.get(LAST)));
            menu.addCommand(exitCommand);
            menu.addCommand(selectCommand);
            menu.setCommandListener(this);
        }
        showMenu();
    }

    protected void pauseApp() {
        keep();
    }

    protected void destroyApp(boolean unconditional) {
        leaveText();
        save();
        if (menu != null) {
            menu.hideNotify(); // ends the timer thread of a scrolling entry
        }
    }

    public void commandAction(Command c, Displayable d) {
        if (c == exitCommand) {
            destroyApp(true);
            notifyDestroyed();
        } else if (c == topicsCommand) {
            showMenu();
        } else if (c == selectCommand) {
            open(menu.getSelected(), 0);
        } else if (c == List.SELECT_COMMAND && d == options && options.getSelectedIndex() > 3) {
            font(options.getString(options.getSelectedIndex()).startsWith("Font"));
        } else if (c == optionsCommand) {
            options();
        } else if (c == backCommand) {
            display.setCurrent(text);
        } else if (d == query) {
            find(query.getString());
        } else if (d == options) {
            option(options.getSelectedIndex());
        } else if (d == list && c == deleteCommand) {
            int i = list.getSelectedIndex();
            if (i >= 0) {
                positions.remove(MARK + mark(i));
                rewrite = true;
                save();
                bookmarks();
            }
        } else if (d == list) {
            pick(list.getSelectedIndex());
        }
    }

    /** Records the place of the open text and writes what changed. */
    void keep() {
        if (text != null && files.getString(textEntry) != null) {
            positions.put(key(textEntry), String.valueOf(text.getPosition()));
        }
        save();
    }

    /** Runs r on the screen's thread, after the events waiting there. */
    void serially(Runnable r) {
        display.callSerially(r);
    }

    private void showMenu() {
        leaveText();
        save();
        display.setCurrent(menu);
    }

    /**
     * Opens a topic: at its kept place (where 0), its start (1) or its end
     * (2). An entry without a text is the next volume's note.
     */
    private void open(int entry, int where) {
        if (entry < 0 || entry >= names.getCount()) {
            return;
        }
        String resource = files.getString(entry);
        if (resource == null && (!words || entry < names.getCount() - 1)) {
            return;
        }
        leaveText();
        int done = 0;
        for (int i = 0; i < entry && i < sizes.length; i++) {
            done += sizes[i] > 0 ? sizes[i] : 0;
        }
        char[][] note = {layout.getEntry(2)};
        if (resource == null) {
            char[] name = names.getEntry(entry);
            int skip = name.length > 2 && name[1] == ' ' ? 2 : 0;
            char[] next = new char[name.length - skip];
            System.arraycopy(name, skip, next, 0, next.length);
            note = new char[][] {"Continued in".toCharArray(), next, "(a separate".toCharArray(),
                                 "application".toCharArray(), "to install)".toCharArray()};
        } else if (note[0] == null) {
            note[0] = "Empty".toCharArray();
        }
        int place = where == 0 ? number((String) positions.get(key(entry))) : 0;
        text = new TScrollFixedText(resource, place, words,
                                    entry < sizes.length ? sizes[entry] : -1, this,
                                    names.getEntry(entry), note, "gap".equals(layout.getString(1)),
                                    words && entry == files.getCount() - 1
                                        && files.getCount() == names.getCount(),
                                    done, total);
        textEntry = entry;
        if (resource != null) {
            positions.put(LAST, id(entry));
        }
        text.addCommand(topicsCommand);
        text.addCommand(exitCommand);
        if (words) {
            text.addCommand(optionsCommand);
        }
        text.setCommandListener(this);
        display.setCurrent(text);
        if (where == 2) {
            text.keyPressed(TScrollFixedText.KEY_NUM7);
            text.keyReleased(TScrollFixedText.KEY_NUM7);
        }
        menu.setSelected(entry);
        save();
    }

    /** From the open text to the next (delta 1) or the previous topic (-1), opened as open says. */
    void go(int delta, int where) {
        int entry = textEntry + delta;
        if (entry >= 0 && entry < names.getCount()) {
            open(entry, where);
        }
    }

    /** The options of the text screen: with two sizes or more "Font size", with a palette "Night". */
    void options() {
        options = list("Options", new String[] {"Go to %", "Add bookmark", "Bookmarks", "Find"});
        if (fonts > 1) {
            options.append("Font size", null);
        }
        if (fonts > 0 && TFiledMenu.image != null) {
            options.append("Night", null);
        }
    }

    /**
     * The next font size (sizes) or night reading on or off, kept with the
     * places; the open text shows the row that holds the words it showed.
     */
    void font(boolean sizes) {
        if (sizes ? fonts < 2 : fonts < 1 || TFiledMenu.image == null) {
            return;
        }
        if (sizes) {
            size = size % fonts + 1;
            positions.put("Size", String.valueOf(size));
        } else {
            positions.put("Night", "1".equals(positions.get("Night")) ? "0" : "1");
        }
        int entry = textEntry;
        int at = text.getPosition();
        loadFont();
        open(entry, 1);
        text.showAt(at);
        keep();
    }

    private List list(String title, String[] items) {
        List l = new List(title, List.IMPLICIT);
        for (int i = 0; i < items.length; i++) {
            l.append(items[i], null);
        }
        l.addCommand(backCommand);
        l.setCommandListener(this);
        display.setCurrent(l);
        return l;
    }

    private void option(int i) {
        if (i == 0) {
            String[] steps = new String[11];
            for (int k = 0; k <= 10; k++) {
                steps[k] = k * 10 + "%";
            }
            list = list("Go to %", steps);
            percents = true;
        } else if (i == 1) {
            int free = 0;
            while (free < MARKS && positions.get(MARK + free) != null) {
                free++;
            }
            if (free == MARKS) {
                // Full: the oldest makes room.
                for (int k = 1; k < MARKS; k++) {
                    positions.put(MARK + (k - 1), positions.get(MARK + k));
                }
                free = MARKS - 1;
            }
            positions.put(MARK + free, id(textEntry) + " " + text.getPosition());
            save();
            display.setCurrent(text);
            text.flash("Bookmark added");
        } else if (i == 2) {
            bookmarks();
        } else if (i == 3) {
            query = new TextBox("Find", sought, 40, 0);
            query.addCommand(findCommand);
            query.addCommand(backCommand);
            query.setCommandListener(this);
            display.setCurrent(query);
        }
    }

    /** The bookmarks, each named by its topic and how far into it it is. */
    private void bookmarks() {
        String[] items = new String[count()];
        for (int i = 0; i < items.length; i++) {
            String v = (String) positions.get(MARK + mark(i));
            int entry = entryOf(v.substring(0, v.indexOf(' ')));
            int size = entry >= 0 && entry < sizes.length ? sizes[entry] : 0;
            int at = number(v.substring(v.indexOf(' ') + 1));
            items[i] = names.getString(entry) + " " + (size > 0 ? (int) ((long) at * 100 / size) : 0) + "%";
        }
        list = list("Bookmarks", items);
        percents = false;
        list.addCommand(deleteCommand);
    }

    private int count() {
        int n = 0;
        for (int k = 0; k < MARKS; k++) {
            n += positions.get(MARK + k) != null ? 1 : 0;
        }
        return n;
    }

    /** The slot of the i-th bookmark there is. */
    private int mark(int i) {
        for (int k = 0; k < MARKS; k++) {
            if (positions.get(MARK + k) != null && i-- == 0) {
                return k;
            }
        }
        return -1;
    }

    /** A choice of the list shown: a percentage or a bookmark. */
    private void pick(int i) {
        if (i < 0) {
            return;
        }
        if (percents) {
            int size = text.getLength();
            display.setCurrent(text);
            text.showAt((int) ((long) (size > 0 ? size : 0) * i * 10 / 100));
            keep();
            return;
        }
        String v = (String) positions.get(MARK + mark(i));
        int entry = entryOf(v.substring(0, v.indexOf(' ')));
        if (entry >= 0) {
            open(entry, 1);
            text.showAt(number(v.substring(v.indexOf(' ') + 1)));
            keep();
        }
    }

    /** Looks for what from just after the place on, through the topics that follow. */
    private void find(String what) {
        sought = what;
        display.setCurrent(text);
        if (what.length() == 0) {
            return;
        }
        char[] c = what.toCharArray();
        byte[] b = new byte[c.length];
        for (int i = 0; i < c.length; i++) {
            // The phone's characters as the book's Windows-1251 bytes.
            int u = c[i];
            b[i] = (byte) (u >= 0x410 && u <= 0x44F ? u - 0x350 : u == 0x401 ? 0xA8 : u == 0x451 ? 0xB8 : u);
        }
        // On from the place, or from just after what was found last when that is still ahead.
        int from = text.getPosition() + 1;
        if (foundEntry == textEntry && found >= from) {
            from = found + 1;
        }
        int at = text.find(b, from);
        int entry = textEntry;
        while (at < 0 && ++entry < files.getCount()) {
            TScrollFixedText t = new TScrollFixedText(files.getString(entry), 0, words,
                                                      entry < sizes.length ? sizes[entry] : -1,
                                                      null, null, null, false, false, 0, 0);
            at = t.find(b, 0);
            t.close();
        }
        if (at < 0) {
            text.flash("Not found");
            return;
        }
        if (entry != textEntry) {
            open(entry, 1);
        }
        foundEntry = entry;
        found = at;
        text.showAt(at);
        keep();
    }

    /** Records the place of the open text, if any, and forgets the screen. */
    private void leaveText() {
        if (text != null) {
            if (files.getString(textEntry) != null) {
                positions.put(key(textEntry), String.valueOf(text.getPosition()));
            }
            text.close();
            text = null;
        }
    }

    /** Sizes and ids from layout.txt; places and bookmarks of ids no longer there are dropped. */
    private void readLayout() {
        int entries = files.getCount();
        sizes = new int[entries];
        topicIds = new String[entries];
        total = 0;
        boolean known = false;
        for (int i = 0; i < entries; i++) {
            String line = layout.getString(i + 3);
            int blank = line == null ? -1 : line.indexOf(' ');
            sizes[i] = number(blank < 0 ? line : line.substring(0, blank));
            total += sizes[i] > 0 ? sizes[i] : 0;
            if (blank > 0) {
                topicIds[i] = line.substring(blank + 1);
                known = true;
            }
        }
        if (!known) {
            return;
        }
        String[] gone = new String[positions.size()];
        int n = 0;
        for (Enumeration keys = positions.keys(); keys.hasMoreElements();) {
            String k = (String) keys.nextElement();
            String v = (String) positions.get(k);
            String id = k.startsWith("Pos") ? k.substring(3) : k.startsWith(MARK) && v.indexOf(' ') > 0
                ? v.substring(0, v.indexOf(' ')) : k.equals(LAST) ? v : null;
            if (id != null && entryOf(id) < 0) {
                gone[n++] = k;
            }
        }
        while (n > 0) {
            positions.remove(gone[--n]);
            rewrite = true;
        }
    }

    /** The topic's id: from layout.txt, else its entry number. */
    private String id(int entry) {
        return entry < topicIds.length && topicIds[entry] != null ? topicIds[entry] : String.valueOf(entry);
    }

    /** The entry of a topic id, or -1. */
    private int entryOf(String id) {
        for (int i = 0; id != null && i < files.getCount(); i++) {
            if (id.equals(id(i))) {
                return i;
            }
        }
        return -1;
    }

    private String key(int entry) {
        return "Pos" + id(entry);
    }

    /** A decimal number, or -1 for none. */
    private static int number(String s) {
        try {
            return s == null ? -1 : Integer.parseInt(s);
        } catch (NumberFormatException e) {
            return -1;
        }
    }

    /**
     * The record store's name: the book name, or for a name longer than the
     * 32 characters a phone allows, its first 23 characters, "~" and a hash
     * of the whole name in hexadecimal.
     */
    static String storeName(String book) {
        if (book.length() <= 32) {
            return book;
        }
        int hash = 0;
        for (int i = 0; i < book.length(); i++) {
            hash = 31 * hash + book.charAt(i);
        }
        return book.substring(0, 23) + "~" + Integer.toHexString(hash);
    }

    /** A whole resource of the jar, or null when there is none or it cannot be read. */
    private byte[] read(String resource) {
        java.io.InputStream in = getClass().getResourceAsStream(resource);
        try {
            return in == null ? null : TFiledStringList.readAll(in, 0);
        } catch (java.io.IOException e) {
            return null;
        } finally {
            try {
                if (in != null) {
                    in.close();
                }
            } catch (java.io.IOException e) {
                // read only
            }
        }
    }

    private void loadFont() {
        boolean made = false;
        try {
            if (fonts > 0) {
                byte[] png = read("/images/Font" + size + ".png");
                TFiledMenu.paper = palette(png, "1".equals(positions.get("Night")));
                made = TFiledMenu.useImage(Image.createImage(png, 0, png.length),
                                           read("/images/Font" + size + ".map"));
            } else {
                made = TFiledMenu.useImage(Image.createImage("/images/Font.png"), null);
            }
        } catch (Exception e) {
            made = false;
        }
        TFiledMenu.ink = TFiledMenu.paper ^ 0xFFFFFF;
        if (!made) {
            System.out.println("Can't load font 8-0");
            TFiledMenu.line = 0;
            if (words) {
                System.out.println("The phone's own font instead");
                TFiledMenu.paper = 0xFFFFFF;
                TFiledMenu.ink = 0;
                TFiledMenu.usePhoneFont();
            }
        }
    }

    /**
     * The paper's colour of a paletted PNG: its palette's first entry, after
     * inverting the whole palette for night reading (the chunk's CRC made
     * anew); white for an image without a palette.
     */
    private static int palette(byte[] png, boolean night) {
        for (int at = 8; at + 12 <= png.length;) {
            int n = (png[at] & 0xFF) << 24 | (png[at + 1] & 0xFF) << 16 | (png[at + 2] & 0xFF) << 8 | png[at + 3] & 0xFF;
            if (png[at + 4] == 'P' && png[at + 5] == 'L' && png[at + 6] == 'T' && png[at + 7] == 'E' && n >= 3) {
                for (int i = at + 8; night && i < at + 8 + n; i++) {
                    png[i] = (byte) ~png[i];
                }
                int c = -1;
                for (int i = at + 4; i < at + 8 + n; i++) {
                    c ^= png[i] & 0xFF;
                    for (int k = 0; k < 8; k++) {
                        c = c >>> 1 ^ 0xEDB88320 & -(c & 1);
                    }
                }
                for (int k = 0; k < 4; k++) {
                    png[at + 8 + n + k] = (byte) (~c >>> 24 - 8 * k);
                }
                return (png[at + 8] & 0xFF) << 16 | (png[at + 9] & 0xFF) << 8 | png[at + 10] & 0xFF;
            }
            at += n + 12;
        }
        return 0xFFFFFF;
    }

    private void loadPositions() {
        RecordStore store = null;
        try {
            store = RecordStore.openRecordStore(storeName, false);
            int count = store.getNumRecords();
            for (int id = 1; id + 1 <= count; id += 2) {
                String k = string(store.getRecord(id));
                String v = string(store.getRecord(id + 1));
                positions.put(k, v);
                stored.put(k, v);
                ids.put(k, new Integer(id + 1));
            }
        } catch (RecordStoreNotFoundException e) {
            // first start of this book: no positions yet
        } catch (Exception e) {
            System.out.println("Can't load properties");
            rewrite = true;
        } finally {
            close(store);
        }
    }

    /**
     * Writes the keys whose values changed: a value over its record, a new
     * key as two records at the end. A store that could not be read or
     * written, or lost a key, is replaced as a whole at the next change.
     */
    private void save() {
        RecordStore store = null;
        try {
            for (Enumeration keys = positions.keys(); keys.hasMoreElements();) {
                String k = (String) keys.nextElement();
                String v = (String) positions.get(k);
                if (v.equals(stored.get(k)) && !rewrite) {
                    continue;
                }
                if (store == null) {
                    if (rewrite) {
                        rewrite = false;
                        stored.clear();
                        ids.clear();
                        try {
                            RecordStore.deleteRecordStore(storeName);
                        } catch (RecordStoreNotFoundException e) {
                            // nothing stored yet
                        }
                        save();
                        return;
                    }
                    store = RecordStore.openRecordStore(storeName, true);
                }
                byte[] vb = v.getBytes();
                Integer id = (Integer) ids.get(k);
                if (id != null) {
                    store.setRecord(id.intValue(), vb, 0, vb.length);
                } else {
                    byte[] kb = k.getBytes();
                    store.addRecord(kb, 0, kb.length);
                    ids.put(k, new Integer(store.addRecord(vb, 0, vb.length)));
                }
                stored.put(k, v);
            }
        } catch (Exception e) {
            System.out.println("Can't save properties");
            rewrite = true;
        } finally {
            close(store);
        }
    }

    private static String string(byte[] bytes) {
        return bytes == null ? "" : new String(bytes);
    }

    private static void close(RecordStore store) {
        if (store != null) {
            try {
                store.closeRecordStore();
            } catch (Exception e) {
                // the records are written or were never read
            }
        }
    }
}
