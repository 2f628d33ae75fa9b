package com.velsor.test;

import com.velsor.core.orb.PravikManager;

/**
 * A service that misbehaves on purpose, for the fault tests. It writes what
 * happens to it as UTF-8 lines to the file named by its first argument; the
 * second names the fault:
 *
 * <ul>
 * <li>"-throwInControl": every user control (128 and up) throws out of
 * serviceControl; stop and shutdown work as they should.</li>
 * <li>"-blockInControl MS": every user control blocks serviceControl for MS
 * milliseconds.</li>
 * <li>"-neverRunning MS": serviceMain reports no state at all and returns after
 * MS milliseconds.</li>
 * <li>"-throwAtStart": serviceMain throws before it reports any state.</li>
 * <li>"-printAndFail": serviceMain prints a line to System.out and a stack
 * trace to System.err, then reports STOPPED with code 1.</li>
 * <li>"-reportStorm N": at STOP, N threads start reporting STOP_PENDING in a
 * loop that never ends, while serviceMain reports STOPPED and returns.</li>
 * <li>"-exit N": serviceMain reports RUNNING, then calls System.exit(N).</li>
 * <li>"-printLines N": serviceMain reports RUNNING, prints N numbered lines of
 * 100 bytes to System.out in writes that end mid-line, then calls
 * System.exit(0).</li>
 * <li>"-shutdownHook": a shutdown hook records "hook ran"; otherwise the service
 * runs and stops as it should.</li>
 * <li>"-printAtEnd": the stop prints a last line to System.out, and a
 * shutdown hook prints one a second later.</li>
 * <li>"-neverStop": STOP is recorded and otherwise ignored.</li>
 * <li>"-blockOnStop": serviceControl never returns from STOP.</li>
 * </ul>
 */
public final class FaultyService {
    private static final ReportedState state = new ReportedState(PravikManager.SERVICE_ACCEPT_STOP);
    private static final RecordFile records = new RecordFile();
    private static String fault = "";
    private static long milliseconds;

    private FaultyService() {
    }

    private static void record(String line) {
        records.append(line);
    }

    public static void serviceMain(String[] args) {
        synchronized (FaultyService.class) {
            records.open(args[0]);
            fault = args.length > 1 ? args[1] : "";
            milliseconds = args.length > 2 ? Long.parseLong(args[2]) : 0;
        }
        record("started " + fault);
        if ("-throwAtStart".equals(fault)) {
            throw new IllegalStateException("thrown before any state was reported, on purpose");
        }
        if ("-printAndFail".equals(fault)) {
            System.out.println("printed to System.out");
            new IllegalStateException("printed to System.err on purpose").printStackTrace();
            PravikManager.reportStopped(1);
            return;
        }
        if ("-neverRunning".equals(fault)) {
            Pause.of(milliseconds);
            record("returning");
            return;
        }
        if ("-shutdownHook".equals(fault)) {
            Runtime.getRuntime().addShutdownHook(new Thread(() -> record("hook ran")));
        }
        if ("-printAtEnd".equals(fault)) {
            Runtime.getRuntime().addShutdownHook(new Thread(() -> {
                Pause.of(1000);
                System.out.println("the hook's line");
            }));
        }
        state.running();
        if ("-exit".equals(fault)) {
            System.exit((int) milliseconds);
        }
        if ("-printLines".equals(fault)) {
            printLines((int) milliseconds);
            System.exit(0);
        }
        state.awaitStop();
        record("stopping");
        if ("-printAtEnd".equals(fault)) {
            System.out.println("the stop's last line");
        }
        state.stopped(0);
    }

    private static void printLines(int count) {
        char[] filler = new char[85];
        java.util.Arrays.fill(filler, 'x');
        StringBuilder block = new StringBuilder();
        for (int number = 1; number <= count; number++) {
            block.append(String.format("line %08d ", number)).append(filler).append('\n');
            // 7 bytes short of a whole number of lines: the next write ends them.
            if (block.length() > 10000) {
                System.out.print(block.substring(0, block.length() - 7));
                block.delete(0, block.length() - 7);
            }
        }
        System.out.print(block);
        System.out.flush();
    }

    private static void startReportStorm(int threads) {
        for (int i = 0; i < threads; i++) {
            Thread reporter = new Thread(() -> {
                for (int checkPoint = 2; ; checkPoint++) {
                    PravikManager.reportStopPending(checkPoint, PravikManager.DEFAULT_WAIT_HINT);
                }
            }, "report-storm-" + i);
            reporter.setDaemon(true);
            reporter.start();
        }
    }

    public static void serviceControl(int control) {
        record("control " + control);
        if (control == PravikManager.SERVICE_CONTROL_STOP && "-neverStop".equals(fault)) {
            return;
        }
        if (control == PravikManager.SERVICE_CONTROL_STOP && "-blockOnStop".equals(fault)) {
            for (;;) {
                Pause.of(60000);
            }
        }
        if (control == PravikManager.SERVICE_CONTROL_STOP || control == PravikManager.SERVICE_CONTROL_SHUTDOWN) {
            // Every stop is answered, not only the first.
            PravikManager.reportStopPending(1, PravikManager.DEFAULT_WAIT_HINT);
            if ("-reportStorm".equals(fault)) {
                startReportStorm((int) milliseconds);
            }
            state.release();
        } else if (control >= 128 && "-throwInControl".equals(fault)) {
            throw new IllegalStateException("thrown out of serviceControl on purpose: " + control);
        } else if (control >= 128 && "-blockInControl".equals(fault)) {
            Pause.of(milliseconds);
            record("unblocked " + control);
        }
    }
}
