package javax.microedition.rms;

import java.io.DataInputStream;
import java.io.DataOutputStream;
import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;
import java.util.TreeMap;

/**
 * The phone's record stores, kept in memory for the whole test run (so they
 * outlive a MIDlet's exit and restart) and optionally saved to a folder.
 * Names are limited to 32 characters as on the phone; a store that is open
 * cannot be deleted.
 */
public class RecordStore {
    private static final Map<String, Records> stores = new LinkedHashMap<>();
    /** Test side: while set, opening any store fails as on a phone whose storage is broken. */
    public static volatile boolean failing;

    private static final class Records {
        final TreeMap<Integer, byte[]> records = new TreeMap<>();
        int nextId = 1;
        int openCount;
        int writes;
    }

    private final String name;
    private final Records data;
    private boolean open = true;

    private RecordStore(String name, Records data) {
        this.name = name;
        this.data = data;
    }

    public static synchronized RecordStore openRecordStore(String name, boolean create)
            throws RecordStoreException {
        if (name == null) {
            throw new NullPointerException();
        }
        if (name.length() == 0 || name.length() > 32) {
            throw new IllegalArgumentException("record store name of " + name.length()
                                               + " characters");
        }
        if (failing) {
            throw new RecordStoreException("storage fails");
        }
        Records data = stores.get(name);
        if (data == null) {
            if (!create) {
                throw new RecordStoreNotFoundException(name);
            }
            data = new Records();
            stores.put(name, data);
        }
        data.openCount++;
        return new RecordStore(name, data);
    }

    public static synchronized void deleteRecordStore(String name) throws RecordStoreException {
        Records data = stores.get(name);
        if (data == null) {
            throw new RecordStoreNotFoundException(name);
        }
        if (data.openCount > 0) {
            throw new RecordStoreException("record store is open: " + name);
        }
        stores.remove(name);
    }

    public static synchronized String[] listRecordStores() {
        return stores.isEmpty() ? null : stores.keySet().toArray(new String[0]);
    }

    private void checkOpen() throws RecordStoreNotOpenException {
        if (!open) {
            throw new RecordStoreNotOpenException(name);
        }
    }

    public void closeRecordStore() throws RecordStoreException {
        synchronized (RecordStore.class) {
            checkOpen();
            open = false;
            data.openCount--;
        }
    }

    public String getName() throws RecordStoreNotOpenException {
        checkOpen();
        return name;
    }

    public int getNumRecords() throws RecordStoreNotOpenException {
        checkOpen();
        return data.records.size();
    }

    public int getNextRecordID() throws RecordStoreException {
        checkOpen();
        return data.nextId;
    }

    public byte[] getRecord(int id) throws RecordStoreException {
        checkOpen();
        byte[] r = data.records.get(id);
        if (r == null) {
            throw new InvalidRecordIDException("record " + id);
        }
        return r.length == 0 ? null : r.clone();
    }

    public int addRecord(byte[] bytes, int offset, int count) throws RecordStoreException {
        checkOpen();
        byte[] r = new byte[count];
        if (count > 0) {
            System.arraycopy(bytes, offset, r, 0, count);
        }
        data.records.put(data.nextId, r);
        data.writes++;
        return data.nextId++;
    }

    public void setRecord(int id, byte[] bytes, int offset, int count) throws RecordStoreException {
        checkOpen();
        if (!data.records.containsKey(id)) {
            throw new InvalidRecordIDException("record " + id);
        }
        byte[] r = new byte[count];
        if (count > 0) {
            System.arraycopy(bytes, offset, r, 0, count);
        }
        data.records.put(id, r);
        data.writes++;
    }

    public void deleteRecord(int id) throws RecordStoreException {
        checkOpen();
        if (data.records.remove(id) == null) {
            throw new InvalidRecordIDException("record " + id);
        }
    }

    // ---- test side ----

    /** The records of a store in id order, or null when there is no such store. */
    public static synchronized List<byte[]> contents(String name) {
        Records data = stores.get(name);
        return data == null ? null : new ArrayList<>(data.records.values());
    }

    /** Puts a store in place as records 1, 2, ... */
    public static synchronized void put(String name, List<byte[]> records) {
        Records data = new Records();
        for (byte[] r : records) {
            data.records.put(data.nextId++, r.clone());
        }
        stores.put(name, data);
    }

    /** How many records were added or set in a store since it was made (0 when there is none). */
    public static synchronized int writes(String name) {
        Records data = stores.get(name);
        return data == null ? 0 : data.writes;
    }

    public static synchronized void clear() {
        stores.clear();
    }

    /** Loads every store saved by saveTo from folder (a missing folder holds none). */
    public static synchronized void loadFrom(Path folder) throws IOException {
        clear();
        if (!Files.isDirectory(folder)) {
            return;
        }
        try (var files = Files.list(folder)) {
            for (Path file : (Iterable<Path>) files.sorted()::iterator) {
                try (InputStream raw = Files.newInputStream(file);
                     DataInputStream in = new DataInputStream(raw)) {
                    String name = in.readUTF();
                    List<byte[]> records = new ArrayList<>();
                    for (int n = in.readInt(); n > 0; n--) {
                        byte[] r = new byte[in.readInt()];
                        in.readFully(r);
                        records.add(r);
                    }
                    put(name, records);
                }
            }
        }
    }

    /** Saves every store into folder, one file per store. */
    public static synchronized void saveTo(Path folder) throws IOException {
        Files.createDirectories(folder);
        try (var files = Files.list(folder)) {
            for (Path old : (Iterable<Path>) files::iterator) {
                if (old.getFileName().toString().endsWith(".rms")) {
                    Files.delete(old);
                }
            }
        }
        int n = 0;
        for (Map.Entry<String, Records> e : stores.entrySet()) {
            Path file = folder.resolve(String.format("store%03d.rms", n++));
            try (OutputStream raw = Files.newOutputStream(file);
                 DataOutputStream out = new DataOutputStream(raw)) {
                out.writeUTF(e.getKey());
                out.writeInt(e.getValue().records.size());
                for (byte[] r : e.getValue().records.values()) {
                    out.writeInt(r.length);
                    out.write(r);
                }
            }
        }
    }
}
