package com.velsor.sample;

import com.velsor.core.orb.PravikManager;

/**
 * A service class to copy: it reports START_PENDING and RUNNING, follows
 * stop, shutdown, pause, continue, interrogate and user controls, and
 * reports STOPPED before serviceMain returns.
 *
 * <p>Arguments (the service's CommandLine setting): "-console" lets it handle
 * console events (Ctrl+C, Ctrl+Break, close and shutdown stop it, logoff is
 * ignored); "-exitcode N" makes it report N as its service-specific exit code
 * when it stops.
 */
public final class SampleService {
    private static final int ACCEPTED = PravikManager.SERVICE_ACCEPT_STOP
            | PravikManager.SERVICE_ACCEPT_SHUTDOWN | PravikManager.SERVICE_ACCEPT_PAUSE_CONTINUE;

    private static final Object lock = new Object();
    private static int state = PravikManager.SERVICE_STOPPED;
    private static boolean stopRequested;
    private static volatile boolean handleConsole;

    private SampleService() {
    }

    /** Runs the service: returns only after it has reported SERVICE_STOPPED. */
    public static void serviceMain(String[] args) {
        int exitCode = 0;
        for (int i = 0; i < args.length; i++) {
            if ("-console".equals(args[i])) {
                handleConsole = true;
            } else if ("-exitcode".equals(args[i]) && i + 1 < args.length) {
                exitCode = Integer.parseInt(args[++i]);
            }
        }
        synchronized (lock) {
            state = PravikManager.SERVICE_START_PENDING;
            stopRequested = false;
        }
        PravikManager.reportStartPending(1, PravikManager.DEFAULT_WAIT_HINT);
        // A real service opens its resources here, raising the check point as it goes.
        synchronized (lock) {
            if (!stopRequested) {
                state = PravikManager.SERVICE_RUNNING;
                PravikManager.reportRunning(ACCEPTED);
            }
            while (!stopRequested) {
                try {
                    lock.wait();
                } catch (InterruptedException e) {
                    Thread.currentThread().interrupt();
                    break;
                }
            }
        }
        // A real service releases its resources here.
        synchronized (lock) {
            state = PravikManager.SERVICE_STOPPED;
        }
        PravikManager.reportStopped(exitCode);
    }

    /** Called once per control code, on a thread of pravik's; returns quickly. */
    public static void serviceControl(int control) {
        synchronized (lock) {
            switch (control) {
                case PravikManager.SERVICE_CONTROL_STOP:
                case PravikManager.SERVICE_CONTROL_SHUTDOWN:
                    requestStop();
                    break;
                case PravikManager.SERVICE_CONTROL_PAUSE:
                    if (state == PravikManager.SERVICE_RUNNING) {
                        state = PravikManager.SERVICE_PAUSED;
                        PravikManager.reportPaused(ACCEPTED);
                    }
                    break;
                case PravikManager.SERVICE_CONTROL_CONTINUE:
                    if (state == PravikManager.SERVICE_PAUSED) {
                        state = PravikManager.SERVICE_RUNNING;
                        PravikManager.reportRunning(ACCEPTED);
                    }
                    break;
                case PravikManager.SERVICE_CONTROL_INTERROGATE:
                    reportCurrentState();
                    break;
                default:
                    if (PravikManager.isUserControl(control)) {
                        System.out.println("SampleService: " + PravikManager.controlName(control));
                    }
                    break;
            }
        }
    }

    /** Optional: called once per console event; true when the event was handled here. */
    public static boolean consoleSignal(int type) {
        if (!handleConsole) {
            return false;
        }
        switch (type) {
            case PravikManager.CTRL_C_EVENT:
            case PravikManager.CTRL_BREAK_EVENT:
            case PravikManager.CTRL_CLOSE_EVENT:
            case PravikManager.CTRL_SHUTDOWN_EVENT:
                synchronized (lock) {
                    requestStop();
                }
                return true;
            case PravikManager.CTRL_LOGOFF_EVENT:
                // A service outlives the user's session.
                return true;
            default:
                return false;
        }
    }

    private static void requestStop() {
        if (!stopRequested && state != PravikManager.SERVICE_STOPPED) {
            stopRequested = true;
            state = PravikManager.SERVICE_STOP_PENDING;
            PravikManager.reportStopPending(1, PravikManager.DEFAULT_WAIT_HINT);
            lock.notifyAll();
        }
    }

    private static void reportCurrentState() {
        switch (state) {
            case PravikManager.SERVICE_RUNNING:
                PravikManager.reportRunning(ACCEPTED);
                break;
            case PravikManager.SERVICE_PAUSED:
                PravikManager.reportPaused(ACCEPTED);
                break;
            case PravikManager.SERVICE_STOP_PENDING:
                PravikManager.reportStopPending(1, PravikManager.DEFAULT_WAIT_HINT);
                break;
            case PravikManager.SERVICE_START_PENDING:
                PravikManager.reportStartPending(1, PravikManager.DEFAULT_WAIT_HINT);
                break;
            default:
                break;
        }
    }
}
