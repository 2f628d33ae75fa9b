package com.velsor.core.orb;

import java.lang.reflect.Constructor;
import java.util.concurrent.BlockingQueue;
import java.util.concurrent.LinkedBlockingQueue;

/**
 * Runs a {@link PravikService}: ipravikClass=com.velsor.core.orb.PravikServiceRunner
 * with the JVM option -Dpravik.service=your.ServiceClass. It reports
 * START_PENDING while start runs, RUNNING with stop, shutdown, preshutdown
 * (when installed with a preshutdownTimeout; it stops the service as stop does)
 * and (when the class overrides pause and resume) pause and continue accepted,
 * PAUSE_PENDING, PAUSED and CONTINUE_PENDING around pause and resume,
 * STOP_PENDING while stop runs, and STOPPED with exit code 0, or 1 when the
 * class cannot be created or start or stop throws (the stack trace goes to
 * System.err). Pending states carry a check point that rises every second.
 */
public final class PravikServiceRunner {
    static final int EXIT_FAILED = 1;

    private static final int HINT = PravikManager.DEFAULT_WAIT_HINT;
    // Controls go to the service thread, which runs the service's methods one at a time.
    private static final BlockingQueue<Integer> controls = new LinkedBlockingQueue<>();

    private PravikServiceRunner() {
    }

    /** Runs the service; returns after it has reported SERVICE_STOPPED. */
    public static void serviceMain(String[] args) {
        int exitCode;
        try {
            exitCode = run(args);
        } catch (InterruptedException e) {
            e.printStackTrace();
            exitCode = EXIT_FAILED;
        }
        PravikManager.reportStopped(exitCode);
    }

    /** Hands the control to the service thread and returns at once. */
    public static void serviceControl(int control) {
        controls.add(control);
    }

    /** Stop and shutdown always; preshutdown when configured; pause and continue when the class overrides both. */
    static int acceptedControls(Class<? extends PravikService> type) {
        int accepted = PravikManager.SERVICE_ACCEPT_STOP | PravikManager.SERVICE_ACCEPT_SHUTDOWN
                | PravikManager.preshutdownAccepted();
        if (overrides(type, "pause") && overrides(type, "resume")) {
            accepted |= PravikManager.SERVICE_ACCEPT_PAUSE_CONTINUE;
        }
        return accepted;
    }

    private static boolean overrides(Class<?> type, String method) {
        for (Class<?> at = type; at != null && at != PravikService.class; at = at.getSuperclass()) {
            try {
                at.getDeclaredMethod(method);
                return true;
            } catch (NoSuchMethodException notHere) {
                // Look further up.
            }
        }
        return false;
    }

    /** The service that -Dpravik.service names, made with its constructor without parameters. */
    static PravikService create(String className) throws ReflectiveOperationException {
        if (className == null || className.isEmpty()) {
            throw new IllegalArgumentException("-Dpravik.service names no service class");
        }
        final Class<? extends PravikService> type =
                Class.forName(className, true, ClassLoader.getSystemClassLoader()).asSubclass(PravikService.class);
        final Constructor<? extends PravikService> constructor = type.getDeclaredConstructor();
        constructor.setAccessible(true);
        return constructor.newInstance();
    }

    private static int run(String[] args) throws InterruptedException {
        PravikManager.reportStartPending(1, HINT);
        final PravikService service;
        try {
            service = create(System.getProperty("pravik.service"));
        } catch (ReflectiveOperationException | RuntimeException | LinkageError e) {
            System.err.println("PravikServiceRunner: the service cannot be created");
            e.printStackTrace();
            return EXIT_FAILED;
        }
        final int accepted = acceptedControls(service.getClass());
        if (failed(PendingOperation.run("pravik-start", () -> {
            service.start(args);
            return null;
        }, checkPoint -> PravikManager.reportStartPending(checkPoint, HINT)))) {
            return EXIT_FAILED;
        }
        PravikManager.reportRunning(accepted);
        final boolean pausable = (accepted & PravikManager.SERVICE_ACCEPT_PAUSE_CONTINUE) != 0;
        boolean paused = false;
        for (;;) {
            // The service runs until a control arrives: as long as the service control manager wants it.
            final int control = controls.take();
            if (PravikManager.isStopControl(control, accepted)) {
                break;
            }
            if (control == PravikManager.SERVICE_CONTROL_PAUSE || control == PravikManager.SERVICE_CONTROL_CONTINUE) {
                final boolean pause = control == PravikManager.SERVICE_CONTROL_PAUSE;
                // A pause or continue that does not apply leaves the last report standing.
                if (pausable && pause != paused) {
                    if (switchPause(service, pause)) {
                        paused = pause;
                    }
                    if (paused) {
                        PravikManager.reportPaused(accepted);
                    } else {
                        PravikManager.reportRunning(accepted);
                    }
                }
            } else if (control != PravikManager.SERVICE_CONTROL_INTERROGATE) {
                try {
                    service.control(control);
                } catch (Exception e) {
                    e.printStackTrace();
                }
            }
        }
        return failed(PendingOperation.run("pravik-stop", () -> {
            service.stop();
            return null;
        }, checkPoint -> PravikManager.reportStopPending(checkPoint, HINT))) ? EXIT_FAILED : 0;
    }

    /** Pauses or resumes the service; true when the method returned. */
    private static boolean switchPause(PravikService service, boolean pause) throws InterruptedException {
        final int pending = pause ? PravikManager.SERVICE_PAUSE_PENDING : PravikManager.SERVICE_CONTINUE_PENDING;
        return !failed(PendingOperation.run(pause ? "pravik-pause" : "pravik-resume", () -> {
            if (pause) {
                service.pause();
            } else {
                service.resume();
            }
            return null;
        }, checkPoint -> PravikManager.setServiceState(pending, 0, 0, checkPoint, HINT)));
    }

    private static boolean failed(Throwable thrown) {
        if (thrown == null) {
            return false;
        }
        thrown.printStackTrace();
        return true;
    }
}
