/** Floors for the bridge benchmark, with UpdateMenu's signature:
 *  UpdateMenu borrows and releases the two strings and makes the same three
 *  database calls as the bridge, without copying or printing; StringsOnly
 *  only borrows and releases the two strings. */
public class NodeflagsFloor {
    static {
        System.loadLibrary("nodeflags_floor");
    }

    public native int UpdateMenu(String hostName, String menuName, String fieldName, boolean value);

    public native int StringsOnly(String hostName, String menuName, String fieldName, boolean value);
}
