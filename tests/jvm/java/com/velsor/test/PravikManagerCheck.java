package com.velsor.test;

import com.velsor.core.orb.PravikManager;

/** Checks of the Java side that need no native code: constants and helpers. Exits 1 on the first failure. */
public final class PravikManagerCheck {
    private static int failures;

    private PravikManagerCheck() {
    }

    private static void check(boolean condition, String what) {
        if (!condition) {
            System.err.println("FAILED: " + what);
            failures++;
        }
    }

    private static void constantsAreTheWindowsValues() {
        check(PravikManager.SERVICE_STOPPED == 1 && PravikManager.SERVICE_START_PENDING == 2
                && PravikManager.SERVICE_STOP_PENDING == 3 && PravikManager.SERVICE_RUNNING == 4
                && PravikManager.SERVICE_CONTINUE_PENDING == 5 && PravikManager.SERVICE_PAUSE_PENDING == 6
                && PravikManager.SERVICE_PAUSED == 7, "service states");
        check(PravikManager.SERVICE_ACCEPT_STOP == 1 && PravikManager.SERVICE_ACCEPT_PAUSE_CONTINUE == 2
                && PravikManager.SERVICE_ACCEPT_SHUTDOWN == 4 && PravikManager.SERVICE_ACCEPT_PARAMCHANGE == 8
                && PravikManager.SERVICE_ACCEPT_NETBINDCHANGE == 16, "accepted-control bits");
        check(PravikManager.SERVICE_CONTROL_STOP == 1 && PravikManager.SERVICE_CONTROL_PAUSE == 2
                && PravikManager.SERVICE_CONTROL_CONTINUE == 3 && PravikManager.SERVICE_CONTROL_INTERROGATE == 4
                && PravikManager.SERVICE_CONTROL_SHUTDOWN == 5, "control codes");
        check(PravikManager.CONTROL_RESTART == 128 && PravikManager.CONTROL_CTRL_C == 250
                && PravikManager.CONTROL_CTRL_BREAK == 251, "pravik's own control codes");
        check(PravikManager.CTRL_C_EVENT == 0 && PravikManager.CTRL_BREAK_EVENT == 1
                && PravikManager.CTRL_CLOSE_EVENT == 2 && PravikManager.CTRL_LOGOFF_EVENT == 5
                && PravikManager.CTRL_SHUTDOWN_EVENT == 6, "console event types");
    }

    private static void userControlsExcludePravikOwnCodes() {
        check(!PravikManager.isUserControl(127), "127 is no user control");
        check(!PravikManager.isUserControl(128), "128 restarts");
        check(PravikManager.isUserControl(129), "129 is a user control");
        check(PravikManager.isUserControl(249), "249 is a user control");
        check(!PravikManager.isUserControl(250) && !PravikManager.isUserControl(251), "250 and 251 are console events");
        check(PravikManager.isUserControl(252) && PravikManager.isUserControl(255), "252 to 255 are user controls");
        check(!PravikManager.isUserControl(256), "256 is out of range");
    }

    private static void namesForMessages() {
        check("SERVICE_RUNNING".equals(PravikManager.stateName(4)), "state name of 4");
        check("SERVICE_STOPPED".equals(PravikManager.stateName(1)), "state name of 1");
        check("unknown state 9".equals(PravikManager.stateName(9)), "state name of 9");
        check("SERVICE_CONTROL_INTERROGATE".equals(PravikManager.controlName(4)), "control name of 4");
        check("restart".equals(PravikManager.controlName(128)), "control name of 128");
        check("user control 200".equals(PravikManager.controlName(200)), "control name of 200");
        check("unknown control 99".equals(PravikManager.controlName(99)), "control name of 99");
    }

    private static void helpersCallTheNatives() {
        // Without pravik.exe the natives are unbound: a helper that reaches one fails with that error.
        try {
            PravikManager.reportRunning(PravikManager.SERVICE_ACCEPT_STOP);
            check(false, "reportRunning reaches setServiceState");
        } catch (UnsatisfiedLinkError expected) {
            check(expected.getMessage().contains("setServiceState"), "reportRunning reaches setServiceState");
        }
        try {
            PravikManager.requestRestart();
            check(false, "requestRestart reaches sendServiceControl");
        } catch (UnsatisfiedLinkError expected) {
            check(expected.getMessage().contains("sendServiceControl"), "requestRestart reaches sendServiceControl");
        }
    }

    private static void preshutdownStopsOnlyWhenAccepted() {
        check(PravikManager.SERVICE_CONTROL_PRESHUTDOWN == 15 && PravikManager.SERVICE_ACCEPT_PRESHUTDOWN == 0x100,
                "preshutdown code and bit");
        check(PravikManager.preshutdownAccepted() == 0, "preshutdown not accepted without the property");
        System.setProperty(PravikManager.PRESHUTDOWN_PROPERTY, "180000");
        final int accepted = PravikManager.preshutdownAccepted();
        System.clearProperty(PravikManager.PRESHUTDOWN_PROPERTY);
        check(accepted == PravikManager.SERVICE_ACCEPT_PRESHUTDOWN, "preshutdown accepted with the property");
        check(PravikManager.isStopControl(15, accepted), "accepted preshutdown stops");
        check(!PravikManager.isStopControl(15, PravikManager.SERVICE_ACCEPT_STOP), "preshutdown not accepted");
        check(PravikManager.isStopControl(1, 0) && PravikManager.isStopControl(5, 0), "stop and shutdown stop");
        check(!PravikManager.isStopControl(2, accepted) && !PravikManager.isStopControl(200, accepted),
                "pause and user controls do not stop");
        check("SERVICE_CONTROL_PRESHUTDOWN".equals(PravikManager.controlName(15)), "control name of 15");
    }

    public static void main(String[] args) {
        constantsAreTheWindowsValues();
        userControlsExcludePravikOwnCodes();
        namesForMessages();
        helpersCallTheNatives();
        preshutdownStopsOnlyWhenAccepted();
        if (failures > 0) {
            System.exit(1);
        }
        System.out.println("PravikManager checks passed");
    }
}
