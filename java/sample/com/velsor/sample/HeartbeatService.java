package com.velsor.sample;

import com.velsor.core.orb.PravikService;

import java.util.concurrent.Executors;
import java.util.concurrent.ScheduledExecutorService;
import java.util.concurrent.ScheduledFuture;
import java.util.concurrent.TimeUnit;

/**
 * A service on the base class, to copy: it writes a heartbeat line to
 * System.out every few seconds (the first argument, default 5) and reports no
 * state itself. Run it with ipravikClass=com.velsor.core.orb.PravikServiceRunner
 * and -Dpravik.service=com.velsor.sample.HeartbeatService; since it
 * overrides pause and resume, it accepts pause and continue too.
 */
public final class HeartbeatService extends PravikService {
    private final ScheduledExecutorService timer = Executors.newSingleThreadScheduledExecutor();
    private ScheduledFuture<?> beat;
    private long seconds = 5;

    @Override
    protected void start(String[] args) {
        if (args.length > 0) {
            seconds = Long.parseLong(args[0]);
        }
        resume();
    }

    @Override
    protected void stop() throws InterruptedException {
        timer.shutdownNow();
        timer.awaitTermination(10, TimeUnit.SECONDS);
    }

    @Override
    protected void pause() {
        beat.cancel(false);
    }

    @Override
    protected void resume() {
        beat = timer.scheduleAtFixedRate(() -> System.out.println("HeartbeatService: alive"), 0, seconds,
                TimeUnit.SECONDS);
    }

    @Override
    protected void control(int code) {
        System.out.println("HeartbeatService: user control " + code);
    }
}
