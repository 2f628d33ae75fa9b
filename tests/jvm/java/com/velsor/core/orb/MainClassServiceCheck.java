package com.velsor.core.orb;

import com.sun.net.httpserver.HttpServer;

import java.io.File;
import java.io.FileOutputStream;
import java.io.IOException;
import java.net.InetAddress;
import java.net.InetSocketAddress;
import java.net.ServerSocket;
import java.nio.file.Files;
import java.util.Arrays;
import java.util.Properties;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.atomic.AtomicInteger;
import java.util.jar.Attributes;
import java.util.jar.JarOutputStream;
import java.util.jar.Manifest;

/**
 * Checks of MainClassService's and PravikServiceRunner's decisions, without
 * pravik.exe (in the same package, for their package-private parts). Exits 1
 * when one fails.
 */
public final class MainClassServiceCheck {
    private static int failures;
    private static final AtomicInteger stopCalls = new AtomicInteger();

    private MainClassServiceCheck() {
    }

    private static void check(boolean condition, String what) {
        if (!condition) {
            System.err.println("FAILED: " + what);
            failures++;
        }
    }

    static final class PlainStop {
        static void halt() {
            stopCalls.incrementAndGet();
        }
    }

    static final class ArgumentStop {
        static String[] words;

        static void halt(String[] args) {
            stopCalls.addAndGet(args.length == 0 ? 10 : 1000);
            words = args;
        }
    }

    /** A service that does nothing: the cases below differ only in what they add to it. */
    abstract static class Idle extends PravikService {
        @Override
        protected void start(String[] args) {
        }

        @Override
        protected void stop() {
        }
    }

    static final class Running extends Idle {
    }

    static final class Pausable extends Idle {
        @Override
        protected void pause() {
        }

        @Override
        protected void resume() {
        }
    }

    static final class PauseOnly extends Idle {
        @Override
        protected void pause() {
        }
    }

    abstract static class PauseBase extends Idle {
        @Override
        protected void pause() {
        }
    }

    abstract static class ResumeBase extends PauseBase {
        @Override
        protected void resume() {
        }
    }

    static final class PausableFurtherUp extends ResumeBase {
    }

    private static File jarWith(Manifest manifest) throws IOException {
        final File jar = File.createTempFile("pravik-check", ".jar");
        jar.deleteOnExit();
        try (JarOutputStream out = new JarOutputStream(new FileOutputStream(jar), manifest)) {
            out.flush();
        }
        return jar;
    }

    private static void commandLineAndJar() throws IOException {
        final ProgramCommand plain = ProgramCommand.parse(new String[] {"com.example.Server", "--port", "8080"});
        check("com.example.Server".equals(plain.mainClass) && plain.arguments.length == 2
                && "--port".equals(plain.arguments[0]) && "8080".equals(plain.arguments[1]), "main class and arguments");

        final Manifest manifest = new Manifest();
        manifest.getMainAttributes().put(Attributes.Name.MANIFEST_VERSION, "1.0");
        manifest.getMainAttributes().put(Attributes.Name.MAIN_CLASS, "com.example.FromJar");
        final File jar = jarWith(manifest);
        final ProgramCommand fromJar = ProgramCommand.parse(new String[] {"-jar", jar.getPath(), "a"});
        check("com.example.FromJar".equals(fromJar.mainClass) && fromJar.arguments.length == 1
                && "a".equals(fromJar.arguments[0]), "-jar takes the manifest's Main-Class");

        final Manifest bare = new Manifest();
        bare.getMainAttributes().put(Attributes.Name.MANIFEST_VERSION, "1.0");
        check(refused(new String[] {"-jar", jarWith(bare).getPath()}), "a jar without Main-Class is refused");
        check(refused(new String[] {"-jar"}), "-jar without a file is refused");
        check(refused(new String[0]), "no words are refused");
    }

    private static boolean refused(String[] words) throws IOException {
        try {
            ProgramCommand.parse(words);
            return false;
        } catch (IllegalArgumentException expected) {
            return true;
        }
    }

    private static ProgramReadiness readiness(String key, String value, String timeout) {
        final Properties properties = new Properties();
        if (key != null) {
            properties.setProperty(key, value);
        }
        if (timeout != null) {
            properties.setProperty("pravik.ready.timeout", timeout);
        }
        return ProgramReadiness.fromProperties(properties);
    }

    private static void readinessByPortFileAndTimeout() throws Exception {
        final ProgramReadiness entered = readiness(null, null, null);
        check(entered.timeoutMillis == 120000, "the timeout is 120000 ms by default");
        check(!entered.isReady(false) && entered.isReady(true), "without properties, ready when main is entered");

        int port;
        try (ServerSocket server = new ServerSocket(0, 1, InetAddress.getByName("127.0.0.1"))) {
            port = server.getLocalPort();
            check(readiness("pravik.ready.port", Integer.toString(port), null).isReady(true), "ready when the port answers");
        }
        // The same port, closed now: never ready, so the timeout ends the wait.
        check(readiness("pravik.ready.port", Integer.toString(port), "300").await(() -> true, () -> false, checkPoint -> { })
                == ProgramReadiness.Outcome.TIMED_OUT, "a port that never answers times out");

        final File file = new File(Files.createTempDirectory("pravik-check").toFile(), "ready");
        final ProgramReadiness byFile = readiness("pravik.ready.file", file.getPath(), null);
        check(!byFile.isReady(true), "not ready while the file is missing");
        // The file appears at the third round: the wait ends at the next, after check points 1, 2, 3.
        final AtomicInteger lastCheckPoint = new AtomicInteger();
        final ProgramReadiness.Outcome outcome = byFile.await(() -> true, () -> false, checkPoint -> {
            check(checkPoint == lastCheckPoint.get() + 1, "check points rise by one");
            lastCheckPoint.set(checkPoint);
            if (checkPoint == 3) {
                try {
                    check(file.createNewFile(), "the file is made");
                } catch (IOException e) {
                    throw new IllegalStateException(e);
                }
            }
        });
        check(outcome == ProgramReadiness.Outcome.READY && lastCheckPoint.get() == 3, "ready once the file exists");
        check(file.delete() && file.getParentFile().delete(), "clean up");

        check(readiness(null, null, "0").await(() -> true, () -> true, checkPoint -> { })
                == ProgramReadiness.Outcome.ENDED, "a program that has ended is not waited for");
    }

    private static void readinessByUrl() throws IOException {
        check(refusedUrl("https://127.0.0.1:8443/") && refusedUrl("ftp://127.0.0.1/") && refusedUrl("127.0.0.1:8080")
                && refusedUrl("http://127.0.0.1:70000/"), "only plain http URLs with a host and a TCP port");
        final HttpServer http = HttpServer.create(new InetSocketAddress("127.0.0.1", 0), 0);
        final AtomicInteger status = new AtomicInteger(503);
        http.createContext("/", exchange -> {
            // Where a redirect would lead nothing answers.
            exchange.getResponseHeaders().set("Location", "http://127.0.0.1:1/");
            exchange.sendResponseHeaders(status.get(), -1);
            exchange.close();
        });
        http.start();
        final ProgramReadiness byUrl = readiness("pravik.ready.url",
                "http://127.0.0.1:" + http.getAddress().getPort() + "/app", null);
        check(!byUrl.isReady(true), "not ready while the URL answers 503");
        status.set(302);
        check(byUrl.isReady(true), "ready once it answers below 400, the redirect not followed");
        check(!byUrl.isReady(false), "and main has been entered");
        check(("port " + http.getAddress().getPort() + " already answers before com.example.Server started")
                .equals(byUrl.claim("com.example.Server")), "a URL's port that already answers is not the program's");
        http.stop(0);
        check(byUrl.claim("com.example.Server") == null, "a URL's port that is free is the program's");
    }

    private static boolean refusedUrl(String url) {
        try {
            readiness("pravik.ready.url", url, null);
            return false;
        } catch (IllegalArgumentException expected) {
            return true;
        }
    }

    private static void staleSignalsAreNotTheProgramsOwn() throws IOException {
        final File file = new File(Files.createTempDirectory("pravik-check").toFile(), "ready");
        check(file.createNewFile(), "a ready file is left from before");
        check(readiness("pravik.ready.file", file.getPath(), null).claim("com.example.Server") == null && !file.exists(),
                "a ready file left from before is deleted");
        check(file.mkdir() && new File(file, "inside").createNewFile(), "a ready path that cannot be deleted");
        final String undeleted = readiness("pravik.ready.file", file.getPath(), null).claim("com.example.Server");
        check(undeleted != null && undeleted.startsWith("the ready file " + file + " is left from before and cannot "
                + "be deleted"), "a ready file that cannot be deleted is named");
        try (ServerSocket server = new ServerSocket(0, 1, InetAddress.getByName("127.0.0.1"))) {
            check(("port " + server.getLocalPort() + " already answers before com.example.Server started").equals(
                    readiness("pravik.ready.port", Integer.toString(server.getLocalPort()), null)
                            .claim("com.example.Server")), "a ready port that already answers is not the program's");
        }
        check(new File(file, "inside").delete() && file.delete() && file.getParentFile().delete(), "clean up");
    }

    private static void splitAsCommandLineParms(String text, String... words) {
        check(Arrays.equals(CommandLineSplit.split(text), words), "split " + text);
    }

    // The cases of tests/jvm/CommandLineSplitTest.cpp, which checks the split of commandLineParms.
    private static void commandLineSplit() {
        splitAsCommandLineParms("-a \"b c\" d\\ e", "-a", "b c", "d e");
        splitAsCommandLineParms("x=\"a b\"y z", "x=a by", "z");
        splitAsCommandLineParms("a  b", "a", "", "b");
        splitAsCommandLineParms(" a", "", "a");
        splitAsCommandLineParms("a ", "a", "");
        splitAsCommandLineParms("", "");
        splitAsCommandLineParms("   ", "", "", "", "");
        splitAsCommandLineParms("a\tb c", "a\tb", "c");
        splitAsCommandLineParms("say\\\"hi\\\"", "say\"hi\"");
        splitAsCommandLineParms("C:\\\\dir", "C:\\dir");
        splitAsCommandLineParms("\"in \\\" quotes\"", "in \" quotes");
        splitAsCommandLineParms("end\\", "end");
        splitAsCommandLineParms("C:\\dir", "C:dir");
        splitAsCommandLineParms("a \"b c  d", "a", "b c  d");
        splitAsCommandLineParms("\"\"", "");
        splitAsCommandLineParms("\"\" x", "", "x");
        splitAsCommandLineParms("\u00e4\u00f6 \u20ac\u4e2d", "\u00e4\u00f6", "\u20ac\u4e2d");
    }

    private static void stopMethodLookup() throws Throwable {
        final ClassLoader loader = MainClassServiceCheck.class.getClassLoader();
        final String prefix = MainClassServiceCheck.class.getName();
        ProgramStop.of(prefix + "$PlainStop.halt", loader).run();
        check(stopCalls.get() == 1, "a stop method without parameters is called");
        ProgramStop.of(prefix + "$ArgumentStop.halt", loader).run();
        check(stopCalls.get() == 11, "a stop method with String[] gets an empty array");
        ProgramStop.of(prefix + "$ArgumentStop.halt stop \"right now\"", loader).run();
        check(stopCalls.get() == 1011 && Arrays.equals(ArgumentStop.words, new String[] {"stop", "right now"}),
                "a stop method gets the words after the first blank, split as commandLineParms is");
        check(noStopMethod(prefix + "$PlainStop.halt stop", loader), "words need a stop method with String[]");
        check(noStopMethod(prefix + "$PlainStop.missing", loader), "a missing stop method is reported");
    }

    /** Whether ProgramStop reports that the text names no stop method it can call. */
    private static boolean noStopMethod(String stop, ClassLoader loader) throws Throwable {
        try {
            ProgramStop.of(stop, loader);
            return false;
        } catch (NoSuchMethodException expected) {
            return true;
        }
    }

    private static void acceptedControlsFollowOverriding() {
        final int stopAndShutdown = PravikManager.SERVICE_ACCEPT_STOP | PravikManager.SERVICE_ACCEPT_SHUTDOWN;
        final int all = stopAndShutdown | PravikManager.SERVICE_ACCEPT_PAUSE_CONTINUE;
        check(PravikServiceRunner.acceptedControls(Running.class) == stopAndShutdown, "start and stop only");
        check(PravikServiceRunner.acceptedControls(Pausable.class) == all, "pause and resume overridden");
        check(PravikServiceRunner.acceptedControls(PauseOnly.class) == stopAndShutdown,
                "pause without resume");
        check(PravikServiceRunner.acceptedControls(PausableFurtherUp.class) == all, "overridden further up");
        // pravik sets the property when the service is installed with a preshutdownTimeout.
        System.setProperty(PravikManager.PRESHUTDOWN_PROPERTY, "60000");
        check(PravikServiceRunner.acceptedControls(Pausable.class) == (all | PravikManager.SERVICE_ACCEPT_PRESHUTDOWN),
                "preshutdown accepted when configured");
        System.clearProperty(PravikManager.PRESHUTDOWN_PROPERTY);
    }

    private static void nonDaemonThreadsOfTheProgramOnly() throws InterruptedException {
        final ProgramThreads threads = new ProgramThreads("check");
        check(threads.anyNonDaemon() == null, "a new program has no threads");
        final CountDownLatch release = new CountDownLatch(1);
        final Thread worker = threads.start("worker", () -> {
            try {
                release.await();
            } catch (InterruptedException e) {
                Thread.currentThread().interrupt();
            }
        });
        final Thread daemon = new Thread(threads.group, () -> {
            try {
                release.await();
            } catch (InterruptedException e) {
                Thread.currentThread().interrupt();
            }
        });
        daemon.setDaemon(true);
        daemon.start();
        check(threads.anyNonDaemon() == worker, "the program's non-daemon thread is left");
        release.countDown();
        worker.join();
        daemon.join();
        // This thread is not the program's, and runs on.
        check(threads.anyNonDaemon() == null, "none left once it ended");
    }

    public static void main(String[] args) throws Throwable {
        commandLineAndJar();
        readinessByPortFileAndTimeout();
        readinessByUrl();
        staleSignalsAreNotTheProgramsOwn();
        commandLineSplit();
        stopMethodLookup();
        acceptedControlsFollowOverriding();
        nonDaemonThreadsOfTheProgramOnly();
        if (failures > 0) {
            System.exit(1);
        }
        System.out.println("MainClassService checks passed");
    }
}
