package com.velsor.core.orb;

import java.lang.reflect.InvocationTargetException;
import java.lang.reflect.Method;
import java.lang.reflect.Modifier;

/**
 * Runs an unmodified Java program as the service: name this class in
 * ipravikClass and the program in commandLineParms, either its main class and
 * arguments ("com.example.Server --port 8080") or "-jar", a jar file whose
 * manifest's Main-Class is the main class, and the arguments. The jar must
 * be on the class path as well.
 *
 * <p>main runs on a thread of its own. The service reports START_PENDING
 * with a rising check point until the program is ready, then RUNNING and
 * accepts stop and shutdown. Ready means main has been entered and, when the
 * JVM options ask for them, a TCP connection to 127.0.0.1 on
 * -Dpravik.ready.port=n succeeds, the file -Dpravik.ready.file=path exists
 * and a GET of -Dpravik.ready.url=http://host:port/path answers with a status
 * below 400 (plain http only; a redirect is not followed). A program that is
 * not ready within -Dpravik.ready.timeout=ms (default 120000) ends the service
 * with exit code 27. So do a ready file left from before that cannot be
 * deleted (one that can is deleted before main is called) and a ready port or
 * URL port that already answers before main is called ("port n already
 * answers before class started" on System.err).
 *
 * <p>Stop and shutdown call the static method that -Dpravik.stop=class.method
 * names (without parameters, or with one String[], which gets the words
 * after the value's first blank, "-Dpravik.stop=class.method stop", split as
 * commandLineParms is, or else an empty array: words need a String[] method);
 * without it they call System.exit(0), so that the program's shutdown
 * hooks run and pravik reports SERVICE_STOPPED when the JVM exits, within the
 * service's stop budget. The service ends with exit code 0 once no non-daemon
 * thread of the program is left, main's included: a main that returns while
 * other threads of the program run leaves the service RUNNING until they end.
 * A program that cannot be started (no main class, a jar without Main-Class, a
 * class or method that is not found, a malformed property, a ready URL that
 * is not plain http), a main that throws and a stop method that throws end
 * the service with exit code 1 and the stack trace on System.err.
 */
public final class MainClassService {
    /** The service-specific exit code of a program that was not ready in time, or whose signals were not its own. */
    public static final int EXIT_NOT_READY = 27;
    /** The service-specific exit code of a program that could not start or threw. */
    public static final int EXIT_FAILED = 1;

    // Read once the JVM runs, when pravik has set its system properties.
    private static final int ACCEPTED = PravikManager.SERVICE_ACCEPT_STOP | PravikManager.SERVICE_ACCEPT_SHUTDOWN
            | PravikManager.preshutdownAccepted();
    private static final long WAIT_MILLIS = 250;

    private static final Object lock = new Object();
    // Guarded by lock: the state as reported, whether a stop was asked for, its last check point, and the program.
    private static int state = PravikManager.SERVICE_STOPPED;
    private static int stopCheckPoint;
    private static ProgramThreads program;
    private static ProgramStop programStop;
    // Written by the program's threads, read by the service thread.
    private static volatile boolean mainEntered;
    private static volatile Throwable failure;

    private MainClassService() {
    }

    /** Runs the program; returns after it has reported SERVICE_STOPPED. */
    public static void serviceMain(String[] args) {
        int exitCode;
        try {
            exitCode = run(args);
        } catch (InterruptedException e) {
            fail(e);
            exitCode = EXIT_FAILED;
        }
        synchronized (lock) {
            state = PravikManager.SERVICE_STOPPED;
            PravikManager.reportStopped(exitCode);
        }
    }

    /**
     * Stop, shutdown and (when accepted) preshutdown stop the program once; every other control is left to the
     * service control manager.
     */
    public static void serviceControl(int control) {
        if (!PravikManager.isStopControl(control, ACCEPTED)) {
            return;
        }
        synchronized (lock) {
            if (state != PravikManager.SERVICE_RUNNING) {
                return;
            }
            state = PravikManager.SERVICE_STOP_PENDING;
            stopCheckPoint = 1;
            PravikManager.reportStopPending(stopCheckPoint, PravikManager.DEFAULT_WAIT_HINT);
            // On a thread of the program's, so that the control returns at once and the stop counts as the program's work.
            final ProgramStop stop = programStop;
            program.start("pravik-stop", () -> {
                try {
                    stop.run();
                } catch (Throwable e) {
                    fail(e);
                }
            });
        }
    }

    private static int run(String[] args) throws InterruptedException {
        PravikManager.reportStartPending(1, PravikManager.DEFAULT_WAIT_HINT);
        final ProgramCommand command;
        final ProgramReadiness readiness;
        final ProgramStop stop;
        final Method main;
        try {
            command = ProgramCommand.parse(args);
            readiness = ProgramReadiness.fromProperties(System.getProperties());
            final ClassLoader loader = ClassLoader.getSystemClassLoader();
            stop = ProgramStop.of(System.getProperty("pravik.stop"), loader);
            main = mainMethod(command.mainClass, loader);
        } catch (Exception | LinkageError e) {
            System.err.println("MainClassService: the program cannot be started");
            e.printStackTrace();
            return EXIT_FAILED;
        }
        final String unclaimed = readiness.claim(command.mainClass);
        if (unclaimed != null) {
            System.err.println("MainClassService: " + unclaimed);
            return EXIT_NOT_READY;
        }
        final ProgramThreads threads = new ProgramThreads("program " + command.mainClass);
        synchronized (lock) {
            state = PravikManager.SERVICE_START_PENDING;
            program = threads;
            programStop = stop;
        }
        threads.start("main", () -> runMain(main, command.arguments));
        final ProgramReadiness.Outcome outcome = readiness.await(() -> mainEntered,
                () -> failure != null || threads.anyNonDaemon() == null,
                checkPoint -> PravikManager.reportStartPending(checkPoint + 1, PravikManager.DEFAULT_WAIT_HINT));
        if (outcome == ProgramReadiness.Outcome.TIMED_OUT) {
            System.err.println("MainClassService: " + command.mainClass + " was not ready within "
                    + readiness.timeoutMillis + " ms");
            return EXIT_NOT_READY;
        }
        if (outcome == ProgramReadiness.Outcome.READY) {
            synchronized (lock) {
                state = PravikManager.SERVICE_RUNNING;
                PravikManager.reportRunning(ACCEPTED);
            }
        }
        return awaitEnd(threads);
    }

    /** Waits until the program has no non-daemon thread left or has failed; raises the check point while it stops. */
    private static int awaitEnd(ProgramThreads threads) throws InterruptedException {
        for (;;) {
            if (failure != null) {
                return EXIT_FAILED;
            }
            final Thread left = threads.anyNonDaemon();
            if (left == null) {
                return failure != null ? EXIT_FAILED : 0;
            }
            // Bounded, to notice a failure of another thread and to show progress while stopping.
            left.join(WAIT_MILLIS);
            synchronized (lock) {
                if (state == PravikManager.SERVICE_STOP_PENDING) {
                    PravikManager.reportStopPending(++stopCheckPoint, PravikManager.DEFAULT_WAIT_HINT);
                }
            }
        }
    }

    /** The public static void main(String[]) of the class, without initialising it yet. */
    static Method mainMethod(String className, ClassLoader loader) throws ReflectiveOperationException {
        final Method main = Class.forName(className, false, loader).getMethod("main", String[].class);
        if (!Modifier.isStatic(main.getModifiers()) || main.getReturnType() != void.class) {
            throw new NoSuchMethodException(className + ".main is not static void");
        }
        // A main class need not be public.
        main.setAccessible(true);
        return main;
    }

    private static void runMain(Method main, String[] arguments) {
        mainEntered = true;
        try {
            main.invoke(null, (Object) arguments);
        } catch (InvocationTargetException e) {
            fail(e.getCause());
        } catch (IllegalAccessException e) {
            fail(e);
        }
    }

    private static void fail(Throwable e) {
        e.printStackTrace();
        // The first failure is the one reported; main and the stop may fail at once.
        synchronized (MainClassService.class) {
            if (failure == null) {
                failure = e;
            }
        }
    }
}
