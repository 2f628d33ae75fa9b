package com.velsor.test;

import com.velsor.core.orb.PravikManager;

import java.io.File;
import java.io.IOException;
import java.lang.management.ManagementFactory;

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

    private static final ReportedState state = new ReportedState(ACCEPTED);
    private static final String id = ManagementFactory.getRuntimeMXBean().getName();
    private static final RecordFile records = new RecordFile();
    private static Integer slowControl;

    private ConsoleService() {
    }

    private static void record(String line) {
        records.append(line + " " + id);
    }

    public static void serviceMain(String[] args) throws IOException {
        records.open(args.length > 0 ? args[0] : null);
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
        state.running();
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
        state.awaitStop();
        record("stopping");
        state.stopped(0);
    }

    public static void serviceControl(int control) {
        record("control " + control);
        boolean slow;
        synchronized (ConsoleService.class) {
            slow = slowControl != null && control == slowControl;
        }
        if (slow) {
            Pause.of(8000);
            record("slow " + control + " done");
        }
        state.answer(control, PravikManager.DEFAULT_WAIT_HINT);
    }

    public static boolean consoleSignal(int type) {
        record("console " + type);
        return true;
    }
}
