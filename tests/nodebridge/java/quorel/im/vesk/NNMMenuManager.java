package quorel.im.vesk;

/** Test copy of the Java class whose native half is nodeflags. */
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
