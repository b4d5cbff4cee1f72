import java.io.IOException;
import java.io.InputStream;

/**
 * The lines of one resource file of the jar. CR bytes are ignored, LF ends a
 * line, and empty lines do not count: entry i is the i-th non-empty line.
 * Every byte becomes one character of the same value; nothing is decoded.
 */
public class TFiledStringList {
    private byte[] data = new byte[0];
    private int[] starts = new int[0];
    private int count;
    private boolean found;

    /** Reads the resource; a missing or unreadable one gives no entries. */
    public TFiledStringList(String resource) {
        InputStream in = getClass().getResourceAsStream(resource);
        if (in == null) {
            return;
        }
        try {
            data = readAll(in, 0);
            found = true;
        } catch (IOException e) {
            data = new byte[0];
        } finally {
            try {
                in.close();
            } catch (IOException e) {
                // nothing was written, nothing to lose
            }
        }
        index();
    }

    /** True when the resource exists and was read completely. */
    public boolean isFound() {
        return found;
    }

    public int getCount() {
        return count;
    }

    /** Entry i as characters, or null when there is no such entry. */
    public char[] getEntry(int i) {
        if (i < 0 || i >= count) {
            return null;
        }
        int start = starts[i];
        int end = start;
        while (end < data.length && data[end] != '\r' && data[end] != '\n') {
            end++;
        }
        char[] chars = new char[end - start];
        for (int k = 0; k < chars.length; k++) {
            chars[k] = (char) (data[start + k] & 0xFF);
        }
        return chars;
    }

    /** Entry i as a string, or null when there is no such entry. */
    public String getString(int i) {
        char[] chars = getEntry(i);
        return chars == null ? null : new String(chars);
    }

    private void index() {
        boolean lineStart = true;
        for (int pos = 0; pos < data.length; pos++) {
            byte b = data[pos];
            if (b == '\n') {
                lineStart = true;
            } else if (b != '\r' && lineStart) {
                lineStart = false;
                if (count == starts.length) {
                    int[] grown = new int[count * 2 + 8];
                    System.arraycopy(starts, 0, grown, 0, count);
                    starts = grown;
                }
                starts[count++] = pos;
            }
        }
    }

    /**
     * Reads a stream to its end, or at most limit bytes when limit is above
     * zero. The result is exactly as long as what was read.
     */
    static byte[] readAll(InputStream in, int limit) throws IOException {
        byte[] buf = new byte[limit > 0 ? limit : 1024];
        int len = 0;
        while (limit <= 0 || len < limit) {
            if (len == buf.length) {
                byte[] grown = new byte[buf.length * 2];
                System.arraycopy(buf, 0, grown, 0, len);
                buf = grown;
            }
            int n = in.read(buf, len, buf.length - len);
            if (n < 0) {
                break;
            }
            len += n;
        }
        if (len == buf.length) {
            return buf;
        }
        byte[] result = new byte[len];
        System.arraycopy(buf, 0, result, 0, len);
        return result;
    }
}
