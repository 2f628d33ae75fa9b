package com.velsor.test;

import com.velsor.core.orb.PravikManager;

import java.io.File;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.OutputStreamWriter;
import java.io.Writer;
import java.lang.management.ManagementFactory;
import java.nio.charset.StandardCharsets;

/**
 * A service for the console-mode, sender and restart tests. It appends UTF-8
 * lines to the file named by its first argument, each ending with the id of
 * its JVM, so that the lines of several instances can be told apart:
 * "start", "running", "control N", "console N", "relay true|false",
 * "restart true|false", "stopping". Console events are handled (true).
 *
 * <p>Further arguments: "-restartOnce MARKER" asks for its own restart (128)
 * once it runs, unless the file MARKER exists, which it creates first;
 * "-relayTo NAME CODE" asks for control CODE to the service NAME once it runs;
 * "-slowControl CODE" takes 8 s over control CODE and then records "slow CODE done".
 */
public final class ConsoleService {
    private static final int ACCEPTED = PravikManager.SERVICE_ACCEPT_STOP
            | PravikManager.SERVICE_ACCEPT_SHUTDOWN | PravikManager.SERVICE_ACCEPT_PAUSE_CONTINUE;

    private static final Object lock = new Object();
    private static final String id = ManagementFactory.getRuntimeMXBean().getName();
    private static String recordFile;
    private static int state = PravikManager.SERVICE_STOPPED;
    private static boolean stopRequested;
    private static Integer slowControl;

    private ConsoleService() {
    }

    private static void record(String line) {
        synchronized (ConsoleService.class) {
            if (recordFile == null) {
                return;
            }
            try (Writer out = new OutputStreamWriter(new FileOutputStream(recordFile, true), StandardCharsets.UTF_8)) {
                out.write(line + " " + id + "\n");
            } catch (IOException e) {
                throw new IllegalStateException("cannot record to " + recordFile, e);
            }
        }
    }

    public static void serviceMain(String[] args) throws IOException {
        synchronized (ConsoleService.class) {
            recordFile = args.length > 0 ? args[0] : null;
        }
        String restartMarker = null;
        String relayName = null;
        int relayCode = 0;
        Integer exitCode = null;
        for (int i = 1; i < args.length; i++) {
            if ("-restartOnce".equals(args[i]) && i + 1 < args.length) {
                restartMarker = args[++i];
            } else if ("-relayTo".equals(args[i]) && i + 2 < args.length) {
                relayName = args[++i];
                relayCode = Integer.parseInt(args[++i]);
            } else if ("-exit".equals(args[i]) && i + 1 < args.length) {
                exitCode = Integer.valueOf(args[++i]);
            } else if ("-slowControl".equals(args[i]) && i + 1 < args.length) {
                synchronized (ConsoleService.class) {
                    slowControl = Integer.parseInt(args[++i]);
                }
            }
        }
        record("start");
        PravikManager.reportStartPending(1, PravikManager.DEFAULT_WAIT_HINT);
        synchronized (lock) {
            state = PravikManager.SERVICE_RUNNING;
            PravikManager.reportRunning(ACCEPTED);
        }
        record("running");
        if (restartMarker != null && new File(restartMarker).createNewFile()) {
            record("restart " + PravikManager.sendServiceControl(null, PravikManager.CONTROL_RESTART));
        }
        if (relayName != null) {
            record("relay " + PravikManager.sendServiceControl(relayName, relayCode));
        }
        if (exitCode != null) {
            System.exit(exitCode);
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
            state = PravikManager.SERVICE_STOPPED;
        }
        record("stopping");
        PravikManager.reportStopped(0);
    }

    public static void serviceControl(int control) {
        record("control " + control);
        boolean slow;
        synchronized (ConsoleService.class) {
            slow = slowControl != null && control == slowControl;
        }
        if (slow) {
            try {
                Thread.sleep(8000);
            } catch (InterruptedException e) {
                Thread.currentThread().interrupt();
            }
            record("slow " + control + " done");
        }
        synchronized (lock) {
            switch (control) {
                case PravikManager.SERVICE_CONTROL_STOP:
                case PravikManager.SERVICE_CONTROL_SHUTDOWN:
                    if (!stopRequested) {
                        stopRequested = true;
                        state = PravikManager.SERVICE_STOP_PENDING;
                        PravikManager.reportStopPending(1, PravikManager.DEFAULT_WAIT_HINT);
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
                    break;
            }
        }
    }

    public static boolean consoleSignal(int type) {
        record("console " + type);
        return true;
    }
}
