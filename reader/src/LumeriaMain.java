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
 * pairs of records (key "Pos" + entry number, value the byte offset).
 */
public class LumeriaMain extends MIDlet implements CommandListener {
    private final Command exitCommand = new Command("Exit", Command.EXIT, 1);
    private final Command topicsCommand = new Command("Topics", Command.BACK, 2);
    private final Command selectCommand = new Command("Select", Command.OK, 2);
    private final Hashtable positions = new Hashtable();
    private Display display;
    private Image font;
    private TFiledStringList files;
    private TFiledMenu menu;
    private TScrollFixedText text;
    private int textEntry;
    private String bookName;
    private boolean saved;

    public LumeriaMain() {
    }

    protected void startApp() {
        if (menu == null) {
            display = Display.getDisplay(this);
            loadFont();
            TFiledStringList names = new TFiledStringList("appname.txt");
            bookName = names.getCount() > 0 ? names.getString(0) : "DefaultBook";
            loadPositions();
            files = new TFiledStringList("/files.txt");
            menu = new TFiledMenu(new TFiledStringList("/topics.txt"), font, this, selectCommand);
            menu.addCommand(exitCommand);
            menu.addCommand(selectCommand);
            menu.setCommandListener(this);
        }
        showMenu();
    }

    protected void pauseApp() {
    }

    protected void destroyApp(boolean unconditional) {
        leaveText();
        savePositions();
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

    private void showMenu() {
        leaveText();
        display.setCurrent(menu);
    }

    /** Opens the text of the selected menu entry at its stored position. */
    private void openSelected() {
        int entry = menu.getSelected();
        String resource = entry < 0 ? null : files.getString(entry);
        if (resource == null) {
            return;
        }
        int position = 0;
        String stored = (String) positions.get(key(entry));
        if (stored != null) {
            try {
                position = Integer.parseInt(stored);
            } catch (NumberFormatException e) {
                position = 0;
            }
        }
        text = new TScrollFixedText(resource, font, position);
        textEntry = entry;
        text.addCommand(topicsCommand);
        text.addCommand(exitCommand);
        text.setCommandListener(this);
        display.setCurrent(text);
    }

    /** Records the position of the open text, if any, and forgets the screen. */
    private void leaveText() {
        if (text != null) {
            positions.put(key(textEntry), String.valueOf(text.getPosition()));
            text = null;
        }
    }

    private static String key(int entry) {
        return "Pos" + entry;
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
            store = RecordStore.openRecordStore(bookName, false);
            int count = store.getNumRecords();
            for (int id = 1; id + 1 <= count; id += 2) {
                positions.put(string(store.getRecord(id)), string(store.getRecord(id + 1)));
            }
        } catch (RecordStoreNotFoundException e) {
            // first start of this book: no positions yet
        } catch (Exception e) {
            System.out.println("Can't load properties");
        } finally {
            close(store);
        }
    }

    /** Replaces the record store with the positions held now; runs once. */
    private void savePositions() {
        if (saved) {
            return;
        }
        saved = true;
        RecordStore store = null;
        try {
            try {
                RecordStore.deleteRecordStore(bookName);
            } catch (RecordStoreNotFoundException e) {
                // nothing stored yet
            }
            store = RecordStore.openRecordStore(bookName, true);
            for (Enumeration keys = positions.keys(); keys.hasMoreElements();) {
                String k = (String) keys.nextElement();
                byte[] kb = k.getBytes();
                byte[] vb = ((String) positions.get(k)).getBytes();
                store.addRecord(kb, 0, kb.length);
                store.addRecord(vb, 0, vb.length);
            }
        } catch (Exception e) {
            System.out.println("Can't save properties");
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
