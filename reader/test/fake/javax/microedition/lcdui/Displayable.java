package javax.microedition.lcdui;

import java.util.ArrayList;
import java.util.List;

public abstract class Displayable {
    private final List<Command> commands = new ArrayList<>();
    private CommandListener listener;
    boolean shown;

    Displayable() {
    }

    public boolean isShown() {
        return shown;
    }

    public void addCommand(Command cmd) {
        if (cmd == null) {
            throw new NullPointerException();
        }
        if (!commands.contains(cmd)) {
            commands.add(cmd);
        }
    }

    public void removeCommand(Command cmd) {
        commands.remove(cmd);
    }

    public void setCommandListener(CommandListener l) {
        listener = l;
    }

    /** Test side: the commands the phone shows for this screen. */
    public List<Command> commands() {
        return new ArrayList<>(commands);
    }

    /** Test side: a command the phone itself adds (a list's select command). */
    void fireAlways(Command c) {
        if (listener != null) {
            listener.commandAction(c, this);
        }
    }

    /** Test side: what the phone does when the user picks a command. */
    public void fire(Command c) {
        if (!commands.contains(c)) {
            throw new IllegalStateException("command not on this screen: " + c.getLabel());
        }
        if (listener != null) {
            listener.commandAction(c, this);
        }
    }
}
