package com.velsor.test;

/** A test service's deliberate wait, which an interrupt cuts short. */
final class Pause {
    private Pause() {
    }

    static void of(long milliseconds) {
        try {
            Thread.sleep(milliseconds);
        } catch (InterruptedException e) {
            Thread.currentThread().interrupt();
        }
    }
}
