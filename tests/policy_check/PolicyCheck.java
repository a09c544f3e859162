import java.io.File;
import java.net.URL;
import java.net.URLDecoder;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.security.AllPermission;
import java.security.CodeSource;
import java.security.Policy;
import java.security.ProtectionDomain;
import java.security.URIParameter;
import java.security.cert.Certificate;
import java.util.List;

/**
 * Reads a policy file the launcher wrote with the Java runtime's own policy implementation and
 * checks which code sources it grants AllPermission.
 *
 * Usage: PolicyCheck POLICY_FILE (granted=URL | denied=URL)...
 *        PolicyCheck --checks LIST DRIVE_C
 * LIST (UTF-8) holds lines "policy URL", the policy option's URL as the launcher passed it,
 * followed by lines "granted PATH" and "denied PATH", Windows paths of files on drive C:, whose
 * code source URLs are made the way the runtime makes them for class path entries. DRIVE_C is
 * the host folder of drive C:.
 * Exit code 0 when every expectation holds, 1 when one does not, 2 on bad usage.
 */
@SuppressWarnings("removal")  // Policy is what the launched application's runtime reads
public final class PolicyCheck {
    public static void main(String[] args) throws Exception {
        if (args.length == 3 && args[0].equals("--checks")) {
            System.exit(checkList(Paths.get(args[1]), Paths.get(args[2])));
        }
        if (args.length < 2) {
            System.err.println("usage: PolicyCheck POLICY_FILE (granted=URL | denied=URL)...");
            System.exit(2);
        }
        Path file = Paths.get(args[0]);
        if (!Files.isRegularFile(file) || Files.size(file) == 0) {
            System.out.println("FAILED: no policy file at " + file);
            System.exit(1);
        }
        // A file the parser rejects yields a policy that grants nothing, so the granted
        // expectations below fail for it too.
        Policy policy = Policy.getInstance("JavaPolicy", new URIParameter(file.toUri()));

        int failures = 0;
        for (int i = 1; i < args.length; i++) {
            int equals = args[i].indexOf('=');
            String want = equals < 0 ? "" : args[i].substring(0, equals);
            if (!want.equals("granted") && !want.equals("denied")) {
                System.err.println("not granted=URL or denied=URL: " + args[i]);
                System.exit(2);
            }
            URL url = new URL(args[i].substring(equals + 1));
            CodeSource source = new CodeSource(url, (Certificate[]) null);
            boolean granted = policy.implies(new ProtectionDomain(source, null), new AllPermission());
            boolean ok = granted == want.equals("granted");
            if (!ok) failures++;
            System.out.println((ok ? "ok      " : "FAILED  ") + (granted ? "granted " : "denied  ") + url);
        }
        if (failures > 0) {
            System.out.println(failures + " expectation(s) failed; the file read:");
            System.out.println(new String(Files.readAllBytes(file), StandardCharsets.ISO_8859_1));
            System.exit(1);
        }
        System.out.println("policy check passed: " + file);
    }

    private static boolean grants(Policy policy, URL url) {
        CodeSource source = new CodeSource(url, (Certificate[]) null);
        return policy.implies(new ProtectionDomain(source, null), new AllPermission());
    }

    private static int checkList(Path list, Path driveC) throws Exception {
        List<String> lines = Files.readAllLines(list, StandardCharsets.UTF_8);
        if (lines.isEmpty()) {
            System.out.println("FAILED: nothing to check in " + list);
            return 1;
        }
        int failures = 0;
        Policy policy = null;
        Path file = null;
        for (String line : lines) {
            int space = line.indexOf(' ');
            String kind = space < 0 ? line : line.substring(0, space);
            String value = space < 0 ? "" : line.substring(space + 1);
            if (kind.equals("policy")) {
                // The file the option names, found as the runtime finds it: the URL's file part
                // (a "#" starts the fragment, which is not part of it), its %XX escapes decoded
                // strictly as UTF-8 (a bare "%" fails). A "+" stays a "+".
                policy = null;
                file = null;
                try {
                    String path = URLDecoder.decode(new URL(value).getFile().replace("+", "%2B"), StandardCharsets.UTF_8);
                    if (path.startsWith("/C:/")) file = driveC.resolve(path.substring(4));
                } catch (Exception e) {
                    System.out.println("FAILED  the option's URL does not parse: " + value + " (" + e + ")");
                }
                if (file != null && Files.isRegularFile(file)) {
                    policy = Policy.getInstance("JavaPolicy", new URIParameter(file.toUri()));
                    System.out.println("policy  " + value);
                } else {
                    System.out.println("FAILED  no policy file where the option points: " + value);
                    failures++;
                }
            } else if (kind.equals("granted") || kind.equals("denied")) {
                URL url = new File("/" + value.replace('\\', '/')).toURI().toURL();
                boolean granted = false;
                try {
                    granted = policy != null && grants(policy, url);
                } catch (IllegalArgumentException e) {
                    System.out.println("        the parser failed: " + e.getMessage());
                }
                boolean ok = granted == kind.equals("granted");
                if (!ok) failures++;
                System.out.println((ok ? "ok      " : "FAILED  ") + (granted ? "granted " : "denied  ") + url);
                if (!ok && file != null && Files.isRegularFile(file))
                    System.out.println(new String(Files.readAllBytes(file), StandardCharsets.ISO_8859_1));
            } else if (!line.isEmpty()) {
                System.err.println("not a policy, granted or denied line: " + line);
                return 2;
            }
        }
        System.out.println(failures == 0 ? "policy checks passed: " + list : failures + " expectation(s) failed");
        return failures == 0 ? 0 : 1;
    }
}
