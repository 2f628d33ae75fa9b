package com.velsor.test;

import com.velsor.core.orb.PravikManager;

import java.util.concurrent.atomic.AtomicInteger;

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

    private static final ReportedState state = new ReportedState(ACCEPTED);
    private static final AtomicInteger userControls = new AtomicInteger();
    private static final RecordFile records = new RecordFile();
    private static boolean slowControl;
    private static int stuckStopMillis;
    private static int stopAfter;

    private RecordingService() {
    }

    private static void record(String line) {
        records.append(line);
    }

    public static void serviceMain(String[] args) {
        records.open(args.length > 0 ? args[0] : null);
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
        state.running();
        if (relay) {
            record("relay " + PravikManager.sendServiceControl("Pravik relay target", 201));
            record("relay " + PravikManager.sendServiceControl(null, 202));
        }
        state.awaitStop();
        if (stuckStopMillis > 0) {
            Pause.of(stuckStopMillis);
        }
        record("stopping");
        if (reportStop) {
            state.stopped(exitCode);
        }
        if (throwAtEnd) {
            throw new IllegalStateException("thrown out of serviceMain on purpose");
        }
    }

    public static void serviceControl(int control) {
        record("control " + control);
        if (slowControl) {
            Pause.of(50);
        }
        if (state.answer(control, stuckStopMillis > 0 ? STUCK_STOP_WAIT_HINT : PravikManager.DEFAULT_WAIT_HINT)) {
            return;
        }
        if (control >= 128 && stopAfter > 0 && userControls.incrementAndGet() == stopAfter) {
            state.release();
            Pause.of(300);
            record("lingered");
        }
    }

    public static boolean consoleSignal(int type) {
        record("console " + type);
        return false;
    }
}
