package com.velsor.core.orb;

import java.io.File;
import java.io.IOException;
import java.net.InetSocketAddress;
import java.net.Socket;
import java.util.Properties;
import java.util.function.BooleanSupplier;
import java.util.function.IntConsumer;

/**
 * When a program that {@link MainClassService} runs counts as ready: once its
 * main has been entered and, when the system properties ask for them, a TCP
 * connection to 127.0.0.1 on "pravik.ready.port" succeeds and the file
 * "pravik.ready.file" exists. "pravik.ready.timeout" (milliseconds, default
 * 120000) bounds the wait.
 */
final class ProgramReadiness {
    static final long DEFAULT_TIMEOUT_MILLIS = 120000;
    static final long POLL_MILLIS = 250;
    private static final int CONNECT_TIMEOUT_MILLIS = 1000;

    enum Outcome { READY, TIMED_OUT, ENDED }

    final int port;
    final File file;
    final long timeoutMillis;

    ProgramReadiness(int port, File file, long timeoutMillis) {
        this.port = port;
        this.file = file;
        this.timeoutMillis = timeoutMillis;
    }

    /** The signals that the properties choose; NumberFormatException or IllegalArgumentException for a bad value. */
    static ProgramReadiness fromProperties(Properties properties) {
        final String port = properties.getProperty("pravik.ready.port");
        final String file = properties.getProperty("pravik.ready.file");
        final String timeout = properties.getProperty("pravik.ready.timeout");
        final int portNumber = port == null ? 0 : Integer.parseInt(port.trim());
        if (port != null && (portNumber < 1 || portNumber > 65535)) {
            throw new IllegalArgumentException("pravik.ready.port " + port + " is no TCP port");
        }
        final long timeoutMillis = timeout == null ? DEFAULT_TIMEOUT_MILLIS : Long.parseLong(timeout.trim());
        if (timeoutMillis < 0) {
            throw new IllegalArgumentException("pravik.ready.timeout " + timeout + " is negative");
        }
        return new ProgramReadiness(portNumber, file == null ? null : new File(file), timeoutMillis);
    }

    boolean isReady(boolean mainEntered) {
        return mainEntered && (file == null || file.exists()) && (port == 0 || portAnswers());
    }

    private boolean portAnswers() {
        try (Socket socket = new Socket()) {
            socket.connect(new InetSocketAddress("127.0.0.1", port), CONNECT_TIMEOUT_MILLIS);
            return true;
        } catch (IOException notYet) {
            return false;
        }
    }

    /**
     * Polls until the program is ready, has ended, or the timeout has passed;
     * tick receives a check point that rises with every round.
     */
    Outcome await(BooleanSupplier mainEntered, BooleanSupplier ended, IntConsumer tick) throws InterruptedException {
        final long start = System.nanoTime();
        for (int checkPoint = 1;; checkPoint++) {
            if (ended.getAsBoolean()) {
                return Outcome.ENDED;
            }
            if (isReady(mainEntered.getAsBoolean())) {
                return Outcome.READY;
            }
            if ((System.nanoTime() - start) / 1000000 >= timeoutMillis) {
                return Outcome.TIMED_OUT;
            }
            tick.accept(checkPoint);
            Thread.sleep(POLL_MILLIS);
        }
    }
}
