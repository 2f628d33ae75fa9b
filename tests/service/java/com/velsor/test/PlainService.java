package com.velsor.test;

/** Has both required methods and no tie to the manager class: for a class path without it. */
public final class PlainService {
    private PlainService() {
    }

    public static void serviceMain(String[] args) {
    }

    public static void serviceControl(int control) {
    }
}
