package com.velsor.core.orb;

/**
 * The Java side of pravik: a service class reports its state and asks for
 * controls through the two native methods, which pravik.exe binds when it
 * starts the service. The constants carry the Windows values unchanged.
 *
 * <p>A service class has three static methods that pravik calls:
 * {@code serviceMain(String[])} (required; the service runs while it runs),
 * {@code serviceControl(int)} (required; one call per control code, on a
 * thread of its own) and {@code consoleSignal(int)} (optional; returns true
 * when it handled the console event).
 */
public final class PravikManager {
    // Service states (SERVICE_STATUS.dwCurrentState).
    public static final int SERVICE_STOPPED = 1;
    public static final int SERVICE_START_PENDING = 2;
    public static final int SERVICE_STOP_PENDING = 3;
    public static final int SERVICE_RUNNING = 4;
    public static final int SERVICE_CONTINUE_PENDING = 5;
    public static final int SERVICE_PAUSE_PENDING = 6;
    public static final int SERVICE_PAUSED = 7;

    // Accepted-control bits (SERVICE_STATUS.dwControlsAccepted).
    public static final int SERVICE_ACCEPT_STOP = 0x00000001;
    public static final int SERVICE_ACCEPT_PAUSE_CONTINUE = 0x00000002;
    public static final int SERVICE_ACCEPT_SHUTDOWN = 0x00000004;
    public static final int SERVICE_ACCEPT_PARAMCHANGE = 0x00000008;
    public static final int SERVICE_ACCEPT_NETBINDCHANGE = 0x00000010;
    public static final int SERVICE_ACCEPT_PRESHUTDOWN = 0x00000100;

    // Control codes that serviceControl receives.
    public static final int SERVICE_CONTROL_STOP = 1;
    public static final int SERVICE_CONTROL_PAUSE = 2;
    public static final int SERVICE_CONTROL_CONTINUE = 3;
    public static final int SERVICE_CONTROL_INTERROGATE = 4;
    public static final int SERVICE_CONTROL_SHUTDOWN = 5;
    public static final int SERVICE_CONTROL_PARAMCHANGE = 6;
    /** Sent before SERVICE_CONTROL_SHUTDOWN, with preshutdownTimeout rather than seconds to stop. */
    public static final int SERVICE_CONTROL_PRESHUTDOWN = 15;

    /** Set by pravik (to the preshutdownTimeout) when the service is installed with one. */
    public static final String PRESHUTDOWN_PROPERTY = "pravik.preshutdown";

    /** User-defined control codes span 128 to 255; pravik keeps three of them for itself. */
    public static final int USER_CONTROL_FIRST = 128;
    public static final int USER_CONTROL_LAST = 255;
    /** Restarts the service instead of being delivered to it. */
    public static final int CONTROL_RESTART = 128;
    /** Becomes a Ctrl+C console event instead of reaching serviceControl. */
    public static final int CONTROL_CTRL_C = 250;
    /** Becomes a Ctrl+Break event (a thread dump on most JVMs) instead of reaching serviceControl. */
    public static final int CONTROL_CTRL_BREAK = 251;

    // Console event types that consoleSignal receives.
    public static final int CTRL_C_EVENT = 0;
    public static final int CTRL_BREAK_EVENT = 1;
    public static final int CTRL_CLOSE_EVENT = 2;
    public static final int CTRL_LOGOFF_EVENT = 5;
    public static final int CTRL_SHUTDOWN_EVENT = 6;

    /** Wait hint used by the helpers that report a pending state, in milliseconds. */
    public static final int DEFAULT_WAIT_HINT = 3000;

    private PravikManager() {
    }

    /**
     * Reports the service's status to the service control manager (in console
     * mode pravik only records it). The values go through unchanged.
     */
    public static native void setServiceState(int currentState, int controlsAccepted,
            int serviceSpecificExitCode, int checkPoint, int waitHint);

    /**
     * Sends a control code to the named service, or to this service when the
     * name is null, through a further instance of pravik. Returns true when
     * the control was handed over.
     */
    public static native boolean sendServiceControl(String serviceName, int control);

    /** Start-up is under way; raise the check point on every call while it lasts. */
    public static void reportStartPending(int checkPoint, int waitHint) {
        setServiceState(SERVICE_START_PENDING, 0, 0, checkPoint, waitHint);
    }

    /** The service runs and accepts the given controls. */
    public static void reportRunning(int controlsAccepted) {
        setServiceState(SERVICE_RUNNING, controlsAccepted, 0, 0, 0);
    }

    /** The service is paused and accepts the given controls. */
    public static void reportPaused(int controlsAccepted) {
        setServiceState(SERVICE_PAUSED, controlsAccepted, 0, 0, 0);
    }

    /** Shutting down is under way; raise the check point on every call while it lasts. */
    public static void reportStopPending(int checkPoint, int waitHint) {
        setServiceState(SERVICE_STOP_PENDING, 0, 0, checkPoint, waitHint);
    }

    /**
     * The service has stopped; a nonzero code is its service-specific exit code. The service control manager sees
     * SERVICE_STOPPED once the JVM has shut down and the output is in its files, SERVICE_STOP_PENDING until then;
     * later reports are dropped.
     */
    public static void reportStopped(int exitCode) {
        setServiceState(SERVICE_STOPPED, 0, exitCode, 0, 0);
    }

    /** Asks pravik to restart this service. */
    public static boolean requestRestart() {
        return sendServiceControl(null, CONTROL_RESTART);
    }

    /** Asks pravik to stop this service. */
    public static boolean requestStop() {
        return sendServiceControl(null, SERVICE_CONTROL_STOP);
    }

    /** SERVICE_ACCEPT_PRESHUTDOWN when the service is installed with a preshutdownTimeout, else 0. */
    public static int preshutdownAccepted() {
        return System.getProperty(PRESHUTDOWN_PROPERTY) != null ? SERVICE_ACCEPT_PRESHUTDOWN : 0;
    }

    /** True for a control that ends the service: stop, shutdown, and preshutdown when it is accepted. */
    public static boolean isStopControl(int control, int accepted) {
        return control == SERVICE_CONTROL_STOP || control == SERVICE_CONTROL_SHUTDOWN
                || (control == SERVICE_CONTROL_PRESHUTDOWN && (accepted & SERVICE_ACCEPT_PRESHUTDOWN) != 0);
    }

    /** True for a code of the user range that serviceControl can receive (not one of pravik's own). */
    public static boolean isUserControl(int control) {
        return control >= USER_CONTROL_FIRST && control <= USER_CONTROL_LAST
                && control != CONTROL_RESTART && control != CONTROL_CTRL_C && control != CONTROL_CTRL_BREAK;
    }

    /** The Windows name of a service state, for messages. */
    public static String stateName(int state) {
        switch (state) {
            case SERVICE_STOPPED: return "SERVICE_STOPPED";
            case SERVICE_START_PENDING: return "SERVICE_START_PENDING";
            case SERVICE_STOP_PENDING: return "SERVICE_STOP_PENDING";
            case SERVICE_RUNNING: return "SERVICE_RUNNING";
            case SERVICE_CONTINUE_PENDING: return "SERVICE_CONTINUE_PENDING";
            case SERVICE_PAUSE_PENDING: return "SERVICE_PAUSE_PENDING";
            case SERVICE_PAUSED: return "SERVICE_PAUSED";
            default: return "unknown state " + state;
        }
    }

    /** The name of a control code, for messages. */
    public static String controlName(int control) {
        switch (control) {
            case SERVICE_CONTROL_STOP: return "SERVICE_CONTROL_STOP";
            case SERVICE_CONTROL_PAUSE: return "SERVICE_CONTROL_PAUSE";
            case SERVICE_CONTROL_CONTINUE: return "SERVICE_CONTROL_CONTINUE";
            case SERVICE_CONTROL_INTERROGATE: return "SERVICE_CONTROL_INTERROGATE";
            case SERVICE_CONTROL_SHUTDOWN: return "SERVICE_CONTROL_SHUTDOWN";
            case SERVICE_CONTROL_PARAMCHANGE: return "SERVICE_CONTROL_PARAMCHANGE";
            case SERVICE_CONTROL_PRESHUTDOWN: return "SERVICE_CONTROL_PRESHUTDOWN";
            case CONTROL_RESTART: return "restart";
            case CONTROL_CTRL_C: return "CTRL_C_EVENT";
            case CONTROL_CTRL_BREAK: return "CTRL_BREAK_EVENT";
            default:
                return isUserControl(control) ? "user control " + control : "unknown control " + control;
        }
    }
}
