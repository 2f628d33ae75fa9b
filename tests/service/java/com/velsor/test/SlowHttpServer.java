package com.velsor.test;

import com.sun.net.httpserver.HttpServer;

import java.io.File;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.OutputStream;
import java.net.InetSocketAddress;
import java.nio.charset.StandardCharsets;
import java.util.Timer;

/**
 * A small server that knows nothing of pravik: main waits until the file named
 * by its second argument exists, then serves HTTP on 127.0.0.1 at the port of
 * its first argument and returns. With "early" as its fourth argument it
 * serves at once, answering 503 until the file exists, as a server does that
 * binds its port before it has deployed. shutdown stops it, and so do main
 * with "stop" and more words, as a launcher's main does, and the end of the
 * JVM, whose shutdown hook it registers. shutdownForgettingATimer stops it
 * too, but leaves a Timer that nobody cancels: a non-daemon thread that never
 * ends. What happens goes as lines to the file of its third argument.
 *
 * <p>Its port answers from the bind on, and a ready file may tell of readiness
 * before main has got that far: a stop may come before the server is
 * published. The stop then waits for it, or, before the server is made, leaves
 * main nothing to serve.
 */
public final class SlowHttpServer {
    private static final Object lock = new Object();
    // Guarded by lock: the server once it serves, and whether a stop came.
    private static HttpServer server;
    private static boolean stopped;
    private static volatile String recordFile;

    private SlowHttpServer() {
    }

    public static void main(String[] args) throws IOException, InterruptedException {
        if ("stop".equals(args[0])) {
            // The words one by one, as the stop got them.
            record(String.join("|", args) + "\n");
            stopServer();
            return;
        }
        recordFile = args[2];
        Runtime.getRuntime().addShutdownHook(new Thread(() -> record("hook\n")));
        final File gate = new File(args[1]);
        final boolean early = args.length > 3 && "early".equals(args[3]);
        // The test opens the gate after it has seen the service wait; the test ends the service in any case.
        while (!early && !gate.exists()) {
            Thread.sleep(50);
        }
        synchronized (lock) {
            if (stopped) {
                return;
            }
            final HttpServer http =
                    HttpServer.create(new InetSocketAddress("127.0.0.1", Integer.parseInt(args[0])), 0);
            http.createContext("/", exchange -> {
                final boolean ready = gate.exists();
                final byte[] body = (ready ? "hello\n" : "deploying\n").getBytes(StandardCharsets.UTF_8);
                exchange.sendResponseHeaders(ready ? 200 : 503, body.length);
                try (OutputStream out = exchange.getResponseBody()) {
                    out.write(body);
                }
            });
            http.start();
            server = http;
        }
    }

    static void shutdown() {
        record("shutdown\n");
        stopServer();
    }

    private static void stopServer() {
        synchronized (lock) {
            stopped = true;
            if (server != null) {
                server.stop(0);
            }
        }
    }

    static void shutdownForgettingATimer() {
        shutdown();
        new Timer("forgotten");
    }

    private static void record(String line) {
        try (OutputStream out = new FileOutputStream(recordFile, true)) {
            out.write(line.getBytes(StandardCharsets.UTF_8));
        } catch (IOException e) {
            throw new IllegalStateException(e);
        }
    }
}
