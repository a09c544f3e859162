package com.example;

/** Unrelated class; its archive must not satisfy a lookup of the application's main class. */
public final class Other {
    private Other() {
    }

    public static String name() {
        return "other";
    }
}
