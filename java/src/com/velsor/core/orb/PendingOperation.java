package com.velsor.core.orb;

import java.util.concurrent.Callable;
import java.util.function.IntConsumer;

/**
 * Runs one of a service's methods on a thread of its own and, while it runs,
 * hands a rising check point to the caller's report of the pending state.
 */
final class PendingOperation {
    static final long TICK_MILLIS = 1000;

    private PendingOperation() {
    }

    /** The operation's exception, or null when it returned. */
    static Throwable run(String name, Callable<Void> operation, IntConsumer reportCheckPoint)
            throws InterruptedException {
        final Throwable[] thrown = new Throwable[1];
        final Thread worker = new Thread(() -> {
            try {
                operation.call();
            } catch (Throwable e) {
                thrown[0] = e;
            }
        }, name);
        int checkPoint = 1;
        reportCheckPoint.accept(checkPoint);
        worker.start();
        // Bounded rounds: the service control manager waits for a rising check point within the wait hint.
        worker.join(TICK_MILLIS);
        while (worker.isAlive()) {
            reportCheckPoint.accept(++checkPoint);
            worker.join(TICK_MILLIS);
        }
        // join makes the worker's write visible here.
        return thrown[0];
    }
}
