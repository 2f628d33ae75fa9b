package com.velsor.core.orb;

import java.io.File;
import java.io.IOException;
import java.net.HttpURLConnection;
import java.net.InetSocketAddress;
import java.net.MalformedURLException;
import java.net.Proxy;
import java.net.Socket;
import java.net.URI;
import java.net.URISyntaxException;
import java.net.URL;
import java.nio.file.Files;
import java.nio.file.InvalidPathException;
import java.util.Properties;
import java.util.function.BooleanSupplier;
import java.util.function.IntConsumer;

/**
 * When a program that {@link MainClassService} runs counts as ready: once its
 * main has been entered and, when the system properties ask for them, a TCP
 * connection to 127.0.0.1 on "pravik.ready.port" succeeds, the file
 * "pravik.ready.file" exists and a GET of the plain http URL
 * "pravik.ready.url" answers with a status below 400 (a redirect is not
 * followed). "pravik.ready.timeout" (milliseconds, default 120000) bounds the
 * wait. Only the program may give these signals: see {@link #claim}.
 */
final class ProgramReadiness {
    static final long DEFAULT_TIMEOUT_MILLIS = 120000;
    static final long POLL_MILLIS = 250;
    // Bounds each connection and each answer, so that one round of the wait cannot hang.
    private static final int CONNECT_TIMEOUT_MILLIS = 1000;
    private static final String LOOPBACK = "127.0.0.1";

    enum Outcome { READY, TIMED_OUT, ENDED }

    final int port;
    final File file;
    final URL url;
    final long timeoutMillis;

    ProgramReadiness(int port, File file, URL url, long timeoutMillis) {
        this.port = port;
        this.file = file;
        this.url = url;
        this.timeoutMillis = timeoutMillis;
    }

    /** The signals that the properties choose; NumberFormatException or IllegalArgumentException for a bad value. */
    static ProgramReadiness fromProperties(Properties properties) {
        final String port = properties.getProperty("pravik.ready.port");
        final String file = properties.getProperty("pravik.ready.file");
        final String url = properties.getProperty("pravik.ready.url");
        final String timeout = properties.getProperty("pravik.ready.timeout");
        final int portNumber = port == null ? 0 : Integer.parseInt(port.trim());
        if (port != null && (portNumber < 1 || portNumber > 65535)) {
            throw new IllegalArgumentException("pravik.ready.port " + port + " is no TCP port");
        }
        final long timeoutMillis = timeout == null ? DEFAULT_TIMEOUT_MILLIS : Long.parseLong(timeout.trim());
        if (timeoutMillis < 0) {
            throw new IllegalArgumentException("pravik.ready.timeout " + timeout + " is negative");
        }
        return new ProgramReadiness(portNumber, file == null ? null : new File(file), url == null ? null : httpUrl(url),
                timeoutMillis);
    }

    /** The URL of the text when it is a plain http one with a host; IllegalArgumentException for any other. */
    private static URL httpUrl(String text) {
        try {
            final URI uri = new URI(text.trim());
            // -1: the scheme's own port.
            final int port = uri.getPort();
            if ("http".equalsIgnoreCase(uri.getScheme()) && uri.getHost() != null && port != 0 && port <= 65535) {
                return uri.toURL();
            }
        } catch (URISyntaxException | MalformedURLException e) {
            throw new IllegalArgumentException("pravik.ready.url " + text + " is no URL", e);
        }
        throw new IllegalArgumentException("pravik.ready.url " + text
                + " is refused: only plain http URLs with a host are polled (http://host:port/path; no https)");
    }

    /**
     * Makes the signals the program's own before its main is called: deletes a
     * ready file left from before, and makes sure that nothing answers yet on
     * the ready port or the URL's. Why the program must not start, or null.
     */
    String claim(String program) {
        if (file != null) {
            try {
                Files.deleteIfExists(file.toPath());
            } catch (IOException | InvalidPathException e) {
                return "the ready file " + file + " is left from before and cannot be deleted: " + e;
            }
        }
        if (port != 0 && answers(LOOPBACK, port)) {
            return alreadyAnswers(port, program);
        }
        if (url != null) {
            final int urlPort = url.getPort() == -1 ? url.getDefaultPort() : url.getPort();
            if (answers(url.getHost(), urlPort)) {
                return alreadyAnswers(urlPort, program);
            }
        }
        return null;
    }

    private static String alreadyAnswers(int port, String program) {
        return "port " + port + " already answers before " + program + " started";
    }

    boolean isReady(boolean mainEntered) {
        return mainEntered && (file == null || file.exists()) && (port == 0 || answers(LOOPBACK, port))
                && (url == null || urlAnswers());
    }

    private static boolean answers(String host, int port) {
        try (Socket socket = new Socket()) {
            socket.connect(new InetSocketAddress(host, port), CONNECT_TIMEOUT_MILLIS);
            return true;
        } catch (IOException notYet) {
            return false;
        }
    }

    private boolean urlAnswers() {
        try {
            // The program is asked itself, never through a proxy.
            final HttpURLConnection connection = (HttpURLConnection) url.openConnection(Proxy.NO_PROXY);
            try {
                connection.setInstanceFollowRedirects(false);
                connection.setUseCaches(false);
                connection.setConnectTimeout(CONNECT_TIMEOUT_MILLIS);
                connection.setReadTimeout(CONNECT_TIMEOUT_MILLIS);
                // -1 for an answer that is no HTTP.
                final int status = connection.getResponseCode();
                return status >= 100 && status < 400;
            } finally {
                connection.disconnect();
            }
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
