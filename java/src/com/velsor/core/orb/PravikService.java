package com.velsor.core.orb;

/**
 * The base class of a service that reports no state itself: extend it,
 * implement start and stop, and run it with
 * ipravikClass=com.velsor.core.orb.PravikServiceRunner and the JVM option
 * -Dpravik.service=your.ServiceClass. {@link PravikServiceRunner} creates it
 * with its constructor without parameters and reports every state: pending
 * states with a rising check point while a method runs, RUNNING, PAUSED and
 * STOPPED (exit code 0, or 1 when start or stop throws).
 *
 * <p>The methods run one at a time, on threads of the runner's. The service
 * accepts pause and continue only when the class overrides both pause and
 * resume.
 */
public abstract class PravikService {
    /** Starts the service with the words of commandLineParms; the service is RUNNING once this returns. */
    protected abstract void start(String[] args) throws Exception;

    /** Stops the service; it is STOPPED once this returns. */
    protected abstract void stop() throws Exception;

    /** Pauses the service; override it together with resume to accept pause and continue. */
    protected void pause() throws Exception {
    }

    /** Resumes the paused service. */
    protected void resume() throws Exception {
    }

    /** A user control code (129 to 249, 252 to 255) or another code the runner does not handle. */
    protected void control(int code) throws Exception {
    }
}
