/** The floor for the bridge benchmark: a native method with UpdateMenu's
 *  signature that only borrows and releases the two strings. */
public class NodeflagsFloor {
    static {
        System.loadLibrary("nodeflags_floor");
    }

    public native int UpdateMenu(String hostName, String menuName, String fieldName, boolean value);
}
