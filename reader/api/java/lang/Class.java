package java.lang;

import java.io.InputStream;

public final class Class {
    private Class() { }
    public InputStream getResourceAsStream(String name) { return null; }
}
