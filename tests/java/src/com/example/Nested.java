package com.example;

/** Held only by an archive in a subfolder of the application's lib folder. */
public final class Nested {
    @Override
    public String toString() {
        return "com.example.Nested from a nested archive";
    }
}
