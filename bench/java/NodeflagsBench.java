import quorel.im.vesk.NNMMenuManager;

/** Per-call time of UpdateMenu against its floor, in rounds that alternate
 *  between them; writes "bridge_ns floor_ns strings_ns", medians of the
 *  rounds (floor_ns: strings and the three database calls; strings_ns: the
 *  strings alone), to the file named by its argument, apart from what the
 *  bridge prints. Every call must succeed. */
public class NodeflagsBench {
    public static void main(String[] args) throws java.io.IOException {
        int calls = 200000, rounds = 9;
        NNMMenuManager manager = new NNMMenuManager();
        NodeflagsFloor floor = new NodeflagsFloor();
        if (manager.InitializeDB() != 1)
            throw new IllegalStateException("database did not open");
        long[] bridge = new long[rounds], base = new long[rounds], strings = new long[rounds];
        long ones = 0;
        for (int r = -2; r < rounds; ++r) { // two rounds of warm-up
            long t0 = System.nanoTime();
            for (int i = 0; i < calls; ++i)
                ones += manager.UpdateMenu("router-1", null, "isNodeFlagged", (i & 1) == 0);
            long t1 = System.nanoTime();
            for (int i = 0; i < calls; ++i)
                ones += floor.UpdateMenu("router-1", null, "isNodeFlagged", (i & 1) == 0);
            long t2 = System.nanoTime();
            for (int i = 0; i < calls; ++i)
                ones += floor.StringsOnly("router-1", null, "isNodeFlagged", (i & 1) == 0);
            long t3 = System.nanoTime();
            if (r >= 0) {
                bridge[r] = t1 - t0;
                base[r] = t2 - t1;
                strings[r] = t3 - t2;
            }
        }
        manager.UninitializeDB();
        if (ones != 3L * calls * (rounds + 2))
            throw new IllegalStateException("a call failed");
        java.util.Arrays.sort(bridge);
        java.util.Arrays.sort(base);
        java.util.Arrays.sort(strings);
        try (java.io.PrintWriter out = new java.io.PrintWriter(args[0], "UTF-8")) {
            out.printf(java.util.Locale.ROOT, "%.1f %.1f %.1f%n", bridge[rounds / 2] / (double) calls,
                       base[rounds / 2] / (double) calls, strings[rounds / 2] / (double) calls);
        }
    }
}
