import java.util.Enumeration;
import java.util.Hashtable;
import javax.microedition.lcdui.Command;
import javax.microedition.lcdui.CommandListener;
import javax.microedition.lcdui.Display;
import javax.microedition.lcdui.Displayable;
import javax.microedition.lcdui.Image;
import javax.microedition.midlet.MIDlet;
import javax.microedition.rms.RecordStore;
import javax.microedition.rms.RecordStoreNotFoundException;

/**
 * The book reader: the topic menu, one text screen at a time, and the reading
 * position of every topic, kept in a record store named after the book as
 * pairs of records (key "Pos" + entry number, value the byte offset; key
 * "Last", the entry read last). Positions are written when a text is left,
 * when the phone pauses the reader, every 20 keys in a text and at exit;
 * only what changed is written.
 *
 * "/layout.txt", when the book has it, holds the text layout ("words" or
 * "grid") and then the size in bytes of each text in menu order.
 */
public class LumeriaMain extends MIDlet implements CommandListener {
    private static final String LAST = "Last";
    private final Command exitCommand = new Command("Exit", Command.EXIT, 1);
    private final Command topicsCommand = new Command("Topics", Command.BACK, 2);
    private final Command selectCommand = new Command("Select", Command.OK, 2);
    /** Keys and values as they are now, as the store holds them, and the record ids of the values. */
    private final Hashtable positions = new Hashtable();
    private final Hashtable stored = new Hashtable();
    private final Hashtable ids = new Hashtable();
    private boolean rewrite;
    private Display display;
    private Image font;
    private TFiledStringList files;
    private TFiledStringList layout;
    private TFiledMenu menu;
    private TScrollFixedText text;
    private int textEntry;
    private String storeName;

    public LumeriaMain() {
    }

    protected void startApp() {
        if (menu == null) {
            display = Display.getDisplay(this);
            loadFont();
            TFiledStringList names = new TFiledStringList("appname.txt");
            storeName = storeName(names.getCount() > 0 ? names.getString(0) : "DefaultBook");
            loadPositions();
            files = new TFiledStringList("/files.txt");
            layout = new TFiledStringList("/layout.txt");
            menu = new TFiledMenu(new TFiledStringList("/topics.txt"), font, this, selectCommand);
            menu.setSelected(number((String) positions.get(LAST)));
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
            openSelected();
        }
    }

    /** Records the position of the open text and writes what changed. */
    void keep() {
        if (text != null) {
            positions.put(key(textEntry), String.valueOf(text.getPosition()));
        }
        save();
    }

    private void showMenu() {
        leaveText();
        save();
        display.setCurrent(menu);
    }

    /** Opens the text of the selected menu entry at its stored position. */
    private void openSelected() {
        int entry = menu.getSelected();
        String resource = entry < 0 ? null : files.getString(entry);
        if (resource == null) {
            return;
        }
        text = new TScrollFixedText(resource, font, number((String) positions.get(key(entry))),
                                    "words".equals(layout.getString(0)),
                                    number(layout.getString(entry + 1)), this);
        textEntry = entry;
        positions.put(LAST, String.valueOf(entry));
        text.addCommand(topicsCommand);
        text.addCommand(exitCommand);
        text.setCommandListener(this);
        display.setCurrent(text);
    }

    /** Records the position of the open text, if any, and forgets the screen. */
    private void leaveText() {
        if (text != null) {
            positions.put(key(textEntry), String.valueOf(text.getPosition()));
            text.close();
            text = null;
        }
    }

    private static String key(int entry) {
        return "Pos" + entry;
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

    private void loadFont() {
        try {
            font = Image.createImage("/images/Font.png");
            if (TFiledMenu.cellSize(font) * 3 / 4 == 0) {
                font = null;
            }
        } catch (Exception e) {
            font = null;
        }
        if (font == null) {
            System.out.println("Can't load font 8-0");
        }
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
     * written is replaced as a whole at the next change.
     */
    private void save() {
        RecordStore store = null;
        try {
            for (Enumeration keys = positions.keys(); keys.hasMoreElements();) {
                String k = (String) keys.nextElement();
                String v = (String) positions.get(k);
                if (v.equals(stored.get(k))) {
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
