/** Floors for the bridge benchmark, with UpdateMenu's signature:
 *  UpdateMenu only borrows and releases the two strings; DatabaseOnly also
 *  makes the three database calls, without copying or printing. */
public class NodeflagsFloor {
    static {
        System.loadLibrary("nodeflags_floor");
    }

    public native int UpdateMenu(String hostName, String menuName, String fieldName, boolean value);

    public native int DatabaseOnly(String hostName, String menuName, String fieldName, boolean value);
}
