package javax.microedition.lcdui;

import java.awt.image.BufferedImage;
import java.util.ArrayList;
import java.util.List;

/**
 * Draws into an image pixel by pixel, with the MIDP rules for clipping,
 * rectangles (drawRect covers width + 1 by height + 1 pixels) and anchors.
 * Strings drawn with the phone's font are recorded and shown as small blocks.
 */
public class Graphics {
    public static final int HCENTER = 1;
    public static final int VCENTER = 2;
    public static final int LEFT = 4;
    public static final int RIGHT = 8;
    public static final int TOP = 16;
    public static final int BOTTOM = 32;
    public static final int BASELINE = 64;
    public static final int SOLID = 0;
    public static final int DOTTED = 1;

    private final BufferedImage target;
    private final List<String> strings = new ArrayList<>();
    private int color;
    private int clipX, clipY, clipWidth, clipHeight;

    Graphics(BufferedImage target) {
        this.target = target;
        clipWidth = target.getWidth();
        clipHeight = target.getHeight();
    }

    /** Test side: the painted screen. */
    public BufferedImage image() {
        return target;
    }

    /** Test side: the strings drawn with the phone's own font, in order. */
    public List<String> strings() {
        return strings;
    }

    public void setColor(int red, int green, int blue) {
        if ((red | green | blue) >>> 8 != 0) {
            throw new IllegalArgumentException("colour component out of range");
        }
        color = red << 16 | green << 8 | blue;
    }

    public void setColor(int rgb) {
        color = rgb & 0xFFFFFF;
    }

    public int getColor() {
        return color;
    }

    public int getClipX() {
        return clipX;
    }

    public int getClipY() {
        return clipY;
    }

    public int getClipWidth() {
        return clipWidth;
    }

    public int getClipHeight() {
        return clipHeight;
    }

    public void setClip(int x, int y, int width, int height) {
        clipX = x;
        clipY = y;
        clipWidth = Math.max(0, width);
        clipHeight = Math.max(0, height);
    }

    public void clipRect(int x, int y, int width, int height) {
        int right = Math.min(clipX + clipWidth, x + width);
        int bottom = Math.min(clipY + clipHeight, y + height);
        clipX = Math.max(clipX, x);
        clipY = Math.max(clipY, y);
        clipWidth = Math.max(0, right - clipX);
        clipHeight = Math.max(0, bottom - clipY);
    }

    private void plot(int x, int y, int rgb) {
        if (x >= clipX && x < clipX + clipWidth && y >= clipY && y < clipY + clipHeight
                && x >= 0 && y >= 0 && x < target.getWidth() && y < target.getHeight()) {
            target.setRGB(x, y, rgb);
        }
    }

    public void fillRect(int x, int y, int width, int height) {
        for (int j = y; j < y + height; j++) {
            for (int i = x; i < x + width; i++) {
                plot(i, j, color);
            }
        }
    }

    public void drawRect(int x, int y, int width, int height) {
        if (width < 0 || height < 0) {
            return;
        }
        for (int i = x; i <= x + width; i++) {
            plot(i, y, color);
            plot(i, y + height, color);
        }
        for (int j = y; j <= y + height; j++) {
            plot(x, j, color);
            plot(x + width, j, color);
        }
    }

    public void drawLine(int x1, int y1, int x2, int y2) {
        int steps = Math.max(Math.abs(x2 - x1), Math.abs(y2 - y1));
        for (int s = 0; s <= steps; s++) {
            int x = steps == 0 ? x1 : x1 + (x2 - x1) * s / steps;
            int y = steps == 0 ? y1 : y1 + (y2 - y1) * s / steps;
            plot(x, y, color);
        }
    }

    /** The phone's font here: 6 x 10 cells, each character a 4 x 7 block. */
    public void drawString(String str, int x, int y, int anchor) {
        strings.add(str);
        int width = 6 * str.length();
        x -= (anchor & HCENTER) != 0 ? width / 2 : (anchor & RIGHT) != 0 ? width : 0;
        y -= (anchor & VCENTER) != 0 ? 5 : (anchor & (BOTTOM | BASELINE)) != 0 ? 10 : 0;
        for (int k = 0; k < str.length(); k++) {
            if (str.charAt(k) != ' ') {
                for (int j = 1; j < 8; j++) {
                    for (int i = 0; i < 4; i++) {
                        plot(x + 6 * k + i, y + j, color);
                    }
                }
            }
        }
    }

    /** A character of the phone's font; the strings record it as drawn alone. */
    public void drawChar(char character, int x, int y, int anchor) {
        drawString(String.valueOf(character), x, y, anchor);
    }

    public void drawImage(Image img, int x, int y, int anchor) {
        BufferedImage source = img.pixels();
        int width = source.getWidth();
        int height = source.getHeight();
        if (anchor == 0) {
            anchor = TOP | LEFT;
        }
        x -= (anchor & HCENTER) != 0 ? width / 2 : (anchor & RIGHT) != 0 ? width : 0;
        y -= (anchor & VCENTER) != 0 ? height / 2 : (anchor & BOTTOM) != 0 ? height : 0;
        int fromX = Math.max(0, clipX - x);
        int fromY = Math.max(0, clipY - y);
        int toX = Math.min(width, clipX + clipWidth - x);
        int toY = Math.min(height, clipY + clipHeight - y);
        for (int j = fromY; j < toY; j++) {
            for (int i = fromX; i < toX; i++) {
                int argb = source.getRGB(i, j);
                if ((argb >>> 24) >= 0x80) {
                    plot(x + i, y + j, argb & 0xFFFFFF);
                }
            }
        }
    }
}
