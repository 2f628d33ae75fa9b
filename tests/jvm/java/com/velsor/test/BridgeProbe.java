package com.velsor.test;

import com.velsor.core.orb.PravikManager;

/** Static methods for the test JVM's own tests: arguments, results, threads, exceptions, natives. */
public final class BridgeProbe {
    private BridgeProbe() {
    }

    public static int add(int a, int b) {
        return a + b;
    }

    public static long twice(long value) {
        return value * 2;
    }

    public static double half(double value) {
        return value / 2;
    }

    public static boolean isPositive(int value) {
        return value > 0;
    }

    public static String repeat(String text, int count) {
        StringBuilder builder = new StringBuilder();
        for (int i = 0; i < count; i++) {
            builder.append(text);
        }
        return builder.toString();
    }

    public static String join(String[] parts) {
        return parts.length + ":" + String.join("|", parts);
    }

    public static String[] split(String text) {
        return text.split(",");
    }

    public static void fail(String message) {
        throw new IllegalStateException(message);
    }

    /** The id of the process that runs the JVM. */
    public static long processId() {
        String name = java.lang.management.ManagementFactory.getRuntimeMXBean().getName();
        return Long.parseLong(name.substring(0, name.indexOf('@')));
    }

    public static void exit(int code) {
        System.exit(code);
    }

    public static String currentThreadName() {
        return Thread.currentThread().getName();
    }

    public static void reportState(int state, int accepted, int exitCode, int checkPoint, int waitHint) {
        PravikManager.setServiceState(state, accepted, exitCode, checkPoint, waitHint);
    }

    public static boolean askControl(String serviceName, int control) {
        return PravikManager.sendServiceControl(serviceName, control);
    }

    /** Reports a state from a Java thread of its own, as a service's worker would. */
    public static String reportStateFromNewThread(final int state) throws InterruptedException {
        Thread worker = new Thread(new Runnable() {
            @Override
            public void run() {
                PravikManager.setServiceState(state, 0, 0, 0, 0);
            }
        }, "probe-worker");
        worker.start();
        worker.join();
        return worker.getName();
    }

    /** Asks for a control from a Java thread of its own; the native's answer. */
    public static boolean askControlFromNewThread(final String serviceName, final int control)
            throws InterruptedException {
        final boolean[] answer = new boolean[1];
        Thread worker = new Thread(new Runnable() {
            @Override
            public void run() {
                answer[0] = PravikManager.sendServiceControl(serviceName, control);
            }
        }, "probe-asker");
        worker.start();
        worker.join();
        return answer[0];
    }

    /** n levels of Java -> native -> Java calls; answers n. */
    public static int countDown(int n) {
        return n <= 0 ? 0 : 1 + nativeCountDown(n - 1);
    }

    public static String echoThroughNative(String text) {
        return nativeEcho(text);
    }

    public static native int nativeCountDown(int n);

    public static native String nativeEcho(String text);
}
