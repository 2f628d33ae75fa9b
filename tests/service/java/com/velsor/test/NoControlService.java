package com.velsor.test;

import java.io.FileOutputStream;
import java.io.IOException;

/** Lacks serviceControl: its serviceMain must never run (it would create the file named first). */
public final class NoControlService {
    private NoControlService() {
    }

    public static void serviceMain(String[] args) throws IOException {
        new FileOutputStream(args[0]).close();
    }
}
