package com.velsor.test;

import com.velsor.core.orb.PravikManager;

/**
 * What a test service last reported and whether it was asked to stop: serviceMain
 * and the controls on other threads read and change both under this object's lock.
 */
final class ReportedState {
    private final int accepted;
    private int state = PravikManager.SERVICE_STOPPED;
    private boolean stopRequested;

    ReportedState(int accepted) {
        this.accepted = accepted;
    }

    synchronized void running() {
        state = PravikManager.SERVICE_RUNNING;
        PravikManager.reportRunning(accepted);
    }

    synchronized void stopped(int exitCode) {
        state = PravikManager.SERVICE_STOPPED;
        PravikManager.reportStopped(exitCode);
    }

    /**
     * Answers stop and shutdown (the first with STOP_PENDING and this wait hint), pause,
     * continue and interrogate as a service should; false for any other control.
     */
    synchronized boolean answer(int control, int stopWaitHint) {
        switch (control) {
            case PravikManager.SERVICE_CONTROL_STOP:
            case PravikManager.SERVICE_CONTROL_SHUTDOWN:
                if (!stopRequested) {
                    state = PravikManager.SERVICE_STOP_PENDING;
                    PravikManager.reportStopPending(1, stopWaitHint);
                    release();
                }
                return true;
            case PravikManager.SERVICE_CONTROL_PAUSE:
                if (state == PravikManager.SERVICE_RUNNING) {
                    state = PravikManager.SERVICE_PAUSED;
                    PravikManager.reportPaused(accepted);
                }
                return true;
            case PravikManager.SERVICE_CONTROL_CONTINUE:
                if (state == PravikManager.SERVICE_PAUSED) {
                    state = PravikManager.SERVICE_RUNNING;
                    PravikManager.reportRunning(accepted);
                }
                return true;
            case PravikManager.SERVICE_CONTROL_INTERROGATE:
                if (state == PravikManager.SERVICE_PAUSED) {
                    PravikManager.reportPaused(accepted);
                } else if (state == PravikManager.SERVICE_RUNNING) {
                    PravikManager.reportRunning(accepted);
                }
                return true;
            default:
                return false;
        }
    }

    /** Ends awaitStop without a report of its own. */
    synchronized void release() {
        stopRequested = true;
        notifyAll();
    }

    /** Waits until a stop was asked for or the thread is interrupted. */
    synchronized void awaitStop() {
        while (!stopRequested) {
            try {
                wait();
            } catch (InterruptedException e) {
                Thread.currentThread().interrupt();
                return;
            }
        }
    }
}
