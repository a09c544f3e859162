import java.net.URL;
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

/**
 * Reads a policy file the launcher wrote with the Java runtime's own policy implementation and
 * checks which code sources it grants AllPermission.
 *
 * Usage: PolicyCheck POLICY_FILE (granted=URL | denied=URL)...
 * Exit code 0 when every expectation holds, 1 when one does not, 2 on bad usage.
 */
@SuppressWarnings("removal")  // Policy is what the launched application's runtime reads
public final class PolicyCheck {
    public static void main(String[] args) throws Exception {
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
}
