package javax.microedition.lcdui;

public interface Choice {
    int EXCLUSIVE = 1;
    int MULTIPLE = 2;
    int IMPLICIT = 3;

    int size();
    String getString(int elementNum);
    int getSelectedIndex();
    int append(String stringPart, Image imagePart);
    void delete(int elementNum);
}
