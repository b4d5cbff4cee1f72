package javax.microedition.lcdui;

import java.awt.image.BufferedImage;
import java.io.IOException;
import java.io.InputStream;
import javax.imageio.ImageIO;

/** Images decoded with ImageIO from the MIDlet's own jar. */
public class Image {
    private static ClassLoader suite = Image.class.getClassLoader();
    private final BufferedImage pixels;

    private Image(BufferedImage pixels) {
        this.pixels = pixels;
    }

    /** Test side: the jar whose resources createImage(String) reads. */
    public static void setSuite(ClassLoader loader) {
        suite = loader;
    }

    public static Image createImage(String name) throws IOException {
        if (name == null) {
            throw new NullPointerException();
        }
        String path = name.startsWith("/") ? name.substring(1) : name;
        try (InputStream in = suite.getResourceAsStream(path)) {
            if (in == null) {
                throw new IOException("no resource " + name);
            }
            BufferedImage image = ImageIO.read(in);
            if (image == null) {
                throw new IOException("not an image: " + name);
            }
            return new Image(image);
        }
    }

    public static Image createImage(byte[] data, int offset, int length) {
        try {
            BufferedImage image = ImageIO.read(new java.io.ByteArrayInputStream(data, offset, length));
            if (image == null) {
                throw new IllegalArgumentException("not an image");
            }
            return new Image(image);
        } catch (IOException e) {
            throw new IllegalArgumentException(e.getMessage());
        }
    }

    public int getWidth() {
        return pixels.getWidth();
    }

    public int getHeight() {
        return pixels.getHeight();
    }

    public boolean isMutable() {
        return false;
    }

    /** Test side: the decoded pixels. */
    public BufferedImage image() {
        return pixels;
    }

    BufferedImage pixels() {
        return pixels;
    }
}
