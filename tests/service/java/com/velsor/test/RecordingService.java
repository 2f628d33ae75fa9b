package com.velsor.test;

import com.velsor.core.orb.PravikManager;

import java.io.FileOutputStream;
import java.io.IOException;
import java.io.OutputStreamWriter;
import java.io.Writer;
import java.nio.charset.StandardCharsets;

/**
 * A service for the tests: it writes what reaches it (its arguments, every
 * control and console event) as UTF-8 lines to the file named by its first
 * argument, and reports states as a service should.
 *
 * <p>Further arguments: "-noStopReport" returns from serviceMain without
 * reporting SERVICE_STOPPED; "-throw" throws out of serviceMain instead of
 * returning; "-exitcode N" reports N when it stops; "-slowControl" takes a
 * while over each control; "-stopAfter N" ends serviceMain at the N-th user
 * control, whose serviceControl then lingers while the service stops;
 * "-relay" asks for control 201 to "Pravik relay target" and 202 to itself
 * once it runs; "-stuckStop N" answers the stop control with one
 * SERVICE_STOP_PENDING report (wait hint 1 s) and then reports nothing for N
 * milliseconds before it stops; "-env NAME" records "env NAME=" and what
 * System.getenv answers for NAME ("null" when it is not set).
 */
public final class RecordingService {
    private static final int ACCEPTED = PravikManager.SERVICE_ACCEPT_STOP
            | PravikManager.SERVICE_ACCEPT_SHUTDOWN | PravikManager.SERVICE_ACCEPT_PAUSE_CONTINUE;

    private static final int STUCK_STOP_WAIT_HINT = 1000;

    private static final Object lock = new Object();
    private static String recordFile;
    private static int state = PravikManager.SERVICE_STOPPED;
    private static boolean stopRequested;
    private static boolean slowControl;
    private static int stuckStopMillis;
    private static int stopAfter;
    private static int userControls;

    private RecordingService() {
    }

    private static void record(String line) {
        synchronized (RecordingService.class) {
            if (recordFile == null) {
                return;
            }
            try (Writer out = new OutputStreamWriter(new FileOutputStream(recordFile, true), StandardCharsets.UTF_8)) {
                out.write(line + "\n");
            } catch (IOException e) {
                throw new IllegalStateException("cannot record to " + recordFile, e);
            }
        }
    }

    public static void serviceMain(String[] args) {
        synchronized (RecordingService.class) {
            recordFile = args.length > 0 ? args[0] : null;
        }
        boolean reportStop = true;
        boolean throwAtEnd = false;
        boolean relay = false;
        int exitCode = 0;
        record("args " + args.length);
        for (int i = 0; i < args.length; i++) {
            record("arg[" + i + "]=" + args[i]);
            if ("-noStopReport".equals(args[i])) {
                reportStop = false;
            } else if ("-relay".equals(args[i])) {
                relay = true;
            } else if ("-throw".equals(args[i])) {
                throwAtEnd = true;
            } else if ("-slowControl".equals(args[i])) {
                slowControl = true;
            } else if ("-env".equals(args[i]) && i + 1 < args.length) {
                record("env " + args[i + 1] + "=" + System.getenv(args[i + 1]));
            } else if ("-exitcode".equals(args[i]) && i + 1 < args.length) {
                exitCode = Integer.parseInt(args[i + 1]);
            } else if ("-stuckStop".equals(args[i]) && i + 1 < args.length) {
                stuckStopMillis = Integer.parseInt(args[i + 1]);
            } else if ("-stopAfter".equals(args[i]) && i + 1 < args.length) {
                stopAfter = Integer.parseInt(args[i + 1]);
            }
        }
        PravikManager.reportStartPending(1, PravikManager.DEFAULT_WAIT_HINT);
        synchronized (lock) {
            state = PravikManager.SERVICE_RUNNING;
            PravikManager.reportRunning(ACCEPTED);
        }
        if (relay) {
            record("relay " + PravikManager.sendServiceControl("Pravik relay target", 201));
            record("relay " + PravikManager.sendServiceControl(null, 202));
        }
        synchronized (lock) {
            while (!stopRequested) {
                try {
                    lock.wait();
                } catch (InterruptedException e) {
                    Thread.currentThread().interrupt();
                    break;
                }
            }
        }
        if (stuckStopMillis > 0) {
            try {
                Thread.sleep(stuckStopMillis);
            } catch (InterruptedException e) {
                Thread.currentThread().interrupt();
            }
        }
        record("stopping");
        if (reportStop) {
            synchronized (lock) {
                state = PravikManager.SERVICE_STOPPED;
                PravikManager.reportStopped(exitCode);
            }
        }
        if (throwAtEnd) {
            throw new IllegalStateException("thrown out of serviceMain on purpose");
        }
    }

    public static void serviceControl(int control) {
        record("control " + control);
        if (slowControl) {
            try {
                Thread.sleep(50);
            } catch (InterruptedException e) {
                Thread.currentThread().interrupt();
            }
        }
        boolean linger = false;
        synchronized (lock) {
            switch (control) {
                case PravikManager.SERVICE_CONTROL_STOP:
                case PravikManager.SERVICE_CONTROL_SHUTDOWN:
                    if (!stopRequested) {
                        stopRequested = true;
                        state = PravikManager.SERVICE_STOP_PENDING;
                        PravikManager.reportStopPending(1,
                                stuckStopMillis > 0 ? STUCK_STOP_WAIT_HINT : PravikManager.DEFAULT_WAIT_HINT);
                        lock.notifyAll();
                    }
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
                    if (state == PravikManager.SERVICE_PAUSED) {
                        PravikManager.reportPaused(ACCEPTED);
                    } else if (state == PravikManager.SERVICE_RUNNING) {
                        PravikManager.reportRunning(ACCEPTED);
                    }
                    break;
                default:
                    if (control >= 128 && stopAfter > 0 && ++userControls == stopAfter) {
                        stopRequested = true;
                        linger = true;
                        lock.notifyAll();
                    }
                    break;
            }
        }
        if (linger) {
            try {
                Thread.sleep(300);
            } catch (InterruptedException e) {
                Thread.currentThread().interrupt();
            }
            record("lingered");
        }
    }

    public static boolean consoleSignal(int type) {
        record("console " + type);
        return false;
    }
}
