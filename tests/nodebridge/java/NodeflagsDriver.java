import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.atomic.AtomicInteger;
import quorel.im.vesk.NNMMenuManager;

/**
 * Calls the native methods as its arguments say and writes each result to
 * standard error, leaving standard output to the bridge alone.
 *
 *   init | done | createmenu | initui | uninitui
 *   halt                        end the JVM at once, flushing nothing
 *   update HOST FIELD VALUE     VALUE: true or false
 *   threads N COUNT HOSTPREFIX FIELD   N threads, each COUNT updates of
 *                                      HOSTPREFIX + its number, alternating
 *
 * A name is taken as written, except: "null" is a null reference,
 * "rep:C:N[:REST]" is the character C N times (then the name REST), and \\uXXXX is one UTF-16 unit.
 */
public class NodeflagsDriver {
    static String name(String word) {
        if (word.equals("null"))
            return null;
        if (word.startsWith("rep:")) {
            String[] parts = word.split(":", 4);
            String head = parts[1].repeat(Integer.parseInt(parts[2]));
            return parts.length == 4 ? head + name(parts[3]) : head;
        }
        StringBuilder out = new StringBuilder();
        for (int i = 0; i < word.length(); ++i) {
            if (word.startsWith("\\u", i)) {
                out.append((char) Integer.parseInt(word.substring(i + 2, i + 6), 16));
                i += 5;
            } else
                out.append(word.charAt(i));
        }
        return out.toString();
    }

    public static void main(String[] args) throws Exception {
        NNMMenuManager manager = new NNMMenuManager();
        for (int i = 0; i < args.length; ++i) {
            switch (args[i]) {
            case "init": System.err.println("init=" + manager.InitializeDB()); break;
            case "done": System.err.println("done=" + manager.UninitializeDB()); break;
            case "createmenu": System.err.println("createmenu=" + manager.CreateMenu()); break;
            case "initui": System.err.println("initui=" + manager.InitializeUI()); break;
            case "uninitui": System.err.println("uninitui=" + manager.UninitializeUI()); break;
            case "halt": Runtime.getRuntime().halt(3); break;
            case "update": {
                String host = name(args[++i]);
                String field = name(args[++i]);
                boolean value = Boolean.parseBoolean(args[++i]);
                System.err.println("update=" + manager.UpdateMenu(host, "menu", field, value));
                break;
            }
            case "threads": {
                int threads = Integer.parseInt(args[++i]);
                int count = Integer.parseInt(args[++i]);
                String prefix = args[++i];
                String field = args[++i];
                AtomicInteger ones = new AtomicInteger();
                List<Thread> running = new ArrayList<>();
                for (int t = 0; t < threads; ++t) {
                    String host = prefix + t;
                    Thread thread = new Thread(() -> {
                        for (int k = 0; k < count; ++k)
                            ones.addAndGet(manager.UpdateMenu(host, null, field, k % 2 == 0));
                    });
                    running.add(thread);
                    thread.start();
                }
                for (Thread thread : running)
                    thread.join();
                System.err.println("threads=" + ones.get());
                break;
            }
            default:
                throw new IllegalArgumentException(args[i]);
            }
        }
    }
}
