package com.qzm.korvo;

/** Demo application started by the launcher: it names itself and echoes its arguments. */
public final class Korvo {
    private Korvo() {
    }

    public static void main(String[] args) {
        System.out.println("Korvo demo application");
        for (String arg : args) {
            System.out.println(arg);
        }
    }
}
