package com.velsor.test;

/** Lacks serviceMain. */
public final class NoMainService {
    private NoMainService() {
    }

    public static void serviceControl(int control) {
    }
}
