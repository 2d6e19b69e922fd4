package quorel.im.vesk;

/** The bridge's copy of the application's class: javac -h makes from it the header that checks every native signature of nodeflags. */
public class NNMMenuManager {
    static {
        System.loadLibrary("nodeflags");
    }

    public native int InitializeDB();

    public native int UpdateMenu(String hostName, String menuName, String fieldName, boolean value);

    public native int UninitializeDB();

    public native int CreateMenu();

    public native int InitializeUI();

    public native int UninitializeUI();
}
