package com.velsor.test;

/** A class name outside ASCII; it behaves as RecordingService. */
public final class GrüßeService {
    private GrüßeService() {
    }

    public static void serviceMain(String[] args) {
        RecordingService.serviceMain(args);
    }

    public static void serviceControl(int control) {
        RecordingService.serviceControl(control);
    }
}
