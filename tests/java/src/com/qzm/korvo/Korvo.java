package com.qzm.korvo;

import java.io.File;
import java.io.FileOutputStream;

/**
 * Demo application started by the launcher. It reports what it received: the arguments (as text
 * and as UTF-16 code units), the working directory, the class path, the heap limit, a class that
 * only an archive under lib holds, and a worker thread that ends after main has returned.
 *
 * The environment variable KORVO_APP_MODE chooses: unset for the report; "quiet" returns at once;
 * "throw" ends main with an exception; "hold" keeps the worker until the file named by
 * KORVO_APP_RELEASE exists; "relative" also writes relative.txt, a relative path, first.
 */
public final class Korvo {
    private Korvo() {
    }

    static void print(String line) {
        System.out.println(line);
        System.out.flush();
    }

    static String hex(String text) {
        StringBuilder units = new StringBuilder();
        for (int i = 0; i < text.length(); ++i) {
            String unit = Integer.toHexString(text.charAt(i));
            for (int pad = unit.length(); pad < 4; ++pad) {
                units.append('0');
            }
            units.append(unit);
        }
        return units.toString();
    }

    public static void main(String[] args) throws Exception {
        final String mode = System.getenv("KORVO_APP_MODE");
        if ("quiet".equals(mode)) {
            return;
        }
        if ("relative".equals(mode)) {
            new FileOutputStream("relative.txt").close();
        }
        print("Korvo demo application");
        print("user.dir=" + System.getProperty("user.dir"));
        print("java.class.path=" + System.getProperty("java.class.path"));
        print("maxMemory=" + Runtime.getRuntime().maxMemory());
        print("args=" + args.length);
        for (int i = 0; i < args.length; ++i) {
            print("arg[" + i + "]=" + args[i]);
            print("arghex[" + i + "]=" + hex(args[i]));
        }
        try {
            print("nested=" + Class.forName("com.example.Nested").newInstance());
        } catch (ClassNotFoundException e) {
            print("nested=not found");
        }
        if ("throw".equals(mode)) {
            throw new IllegalStateException("main gave up on purpose");
        }

        final String release = System.getenv("KORVO_APP_RELEASE");
        Thread worker = new Thread(new Runnable() {
            public void run() {
                try {
                    if ("hold".equals(mode) && release != null) {
                        while (!new File(release).exists()) {
                            Thread.sleep(20);
                        }
                    } else {
                        Thread.sleep(300);
                    }
                } catch (InterruptedException e) {
                    print("worker: interrupted");
                }
                print("worker: ending after main");
            }
        }, "worker");
        worker.setDaemon(false);
        worker.start();
        print("main: returning");
    }
}
